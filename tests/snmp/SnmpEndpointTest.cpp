#include "snmp/SnmpEndpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "SampleTraps.h"
#include "TestProcess.h"
#include "UdpListener.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

using test::UdpListener;

// The sample SNMPv1 trap with TavoT's bindings.
void FillV1(TSNMPRec& aQuery) {
  test::SetSampleSender(aQuery, test::SampleV1());
  test::AddTavotBindings(aQuery);
}

TEST(SnmpEndpointTest, NewEndpoint) {
  TSNMPSend snmp;
  EXPECT_EQ(snmp.FTargetHost, "127.0.0.1");
  EXPECT_EQ(snmp.FTargetPort, "161");
  EXPECT_EQ(snmp.FIPInterface, "0.0.0.0");
  EXPECT_EQ(snmp.FTimeout, 5000);
  EXPECT_FALSE(snmp.Sock().IsOpen());
  EXPECT_EQ(snmp.Query().FID, 1);
  EXPECT_EQ(snmp.Reply().FCommunity, "public");
}

TEST(SnmpEndpointTest, SendsOneDatagramFromAnEphemeralPort) {
  UdpListener listener;
  for (int i = 0; i < 2; ++i) {
    TSNMPSend snmp;
    snmp.FTargetPort = std::to_string(listener.Port());
    FillV1(snmp.Query());
    ASSERT_TRUE(snmp.SendTrap());
    TSocketAddress from;
    const std::string bytes = listener.Receive(std::chrono::seconds(5), &from);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes, snmp.FBuffer);
    EXPECT_EQ(from.Host(), "127.0.0.1");
    EXPECT_NE(from.Port(), 0);
    TSNMPRec rec;
    ASSERT_TRUE(rec.DecodeBuf(bytes));
    EXPECT_EQ(rec.FOldTrapSpec, 8424);
    EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "100");
  }
  EXPECT_TRUE(listener.Quiet());
}

TEST(SnmpEndpointTest, BindsTheGivenLocalInterface) {
  UdpListener listener;
  TSNMPSend snmp;
  snmp.FTargetPort = std::to_string(listener.Port());
  snmp.FIPInterface = "127.0.0.1";
  FillV1(snmp.Query());
  ASSERT_TRUE(snmp.SendTrap());
  TSocketAddress from;
  ASSERT_FALSE(listener.Receive(std::chrono::seconds(5), &from).empty());
  EXPECT_EQ(from.Host(), "127.0.0.1");
}

TEST(SnmpEndpointTest, NobodyListeningStillCountsAsSent) {
  TSNMPSend snmp;
  snmp.FTargetPort = std::to_string(test::FreeUdpPort());
  FillV1(snmp.Query());
  EXPECT_TRUE(snmp.SendTrap());
}

TEST(SnmpEndpointTest, SocketErrorsGiveFalse) {
  struct Case {
    const char* Host;
    const char* Port;
    const char* Interface;
  };
  const Case cases[] = {
      {"no-such-host.invalid", "162", "0.0.0.0"},
      {"", "162", "0.0.0.0"},
      {"127.0.0.1", "snmp-trap", "0.0.0.0"},
      {"127.0.0.1", "65536", "0.0.0.0"},
      {"127.0.0.1", "", "0.0.0.0"},
      {"127.0.0.1", "0", "0.0.0.0"},
#ifndef _WIN32
      // Wine binds an address that the machine does not have; Windows and
      // Linux refuse it.
      {"127.0.0.1", "162", "192.0.2.77"},  // an address this machine does not have
#endif
  };
  for (const Case& c : cases) {
    TSNMPSend snmp;
    snmp.FTargetHost = c.Host;
    snmp.FTargetPort = c.Port;
    snmp.FIPInterface = c.Interface;
    FillV1(snmp.Query());
    bool result = true;
    EXPECT_NO_THROW(result = snmp.SendTrap()) << c.Host << ":" << c.Port;
    EXPECT_FALSE(result) << c.Host << ":" << c.Port << " via " << c.Interface;
    EXPECT_FALSE(snmp.FBuffer.empty());  // encoded all the same
  }
}

TEST(SnmpEndpointTest, EncodingErrorsReachTheCallerAndNothingIsSent) {
  UdpListener listener;
  for (const char* host : {"127.0.0.1", "no-such-host.invalid"}) {
    TSNMPSend snmp;
    snmp.FTargetHost = host;
    snmp.FTargetPort = std::to_string(listener.Port());
    test::SampleTrap sample = test::SampleV3(TV3Flags::AuthNoPriv);
    sample.AuthPassword.clear();
    test::SetSampleSender(snmp.Query(), sample);
    EXPECT_THROW(snmp.SendTrap(), ESnmpError) << host;
  }
  EXPECT_TRUE(listener.Quiet());
}

TEST(SnmpEndpointTest, PortText) {
  std::uint16_t port = 1;
  EXPECT_TRUE(ParsePortText("0", port));
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(ParsePortText("65535", port));
  EXPECT_EQ(port, 65535);
  EXPECT_TRUE(ParsePortText("00162", port));
  EXPECT_EQ(port, 162);
  for (const char* bad : {"", "-1", "65536", "+5", " 5", "5x", "999999"}) {
    EXPECT_FALSE(ParsePortText(bad, port)) << bad;
  }
}

}  // namespace
}  // namespace tavo
