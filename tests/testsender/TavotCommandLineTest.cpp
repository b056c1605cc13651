#include "testsender/TavotCommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ByteText.h"
#include "UdpListener.h"
#include "platform/TextCodec.h"
#include "snmp/SnmpSecurity.h"

namespace tavo {
namespace {

struct TavotRun {
  int Status;
  std::string Out;
  std::string Err;
};

TavotRun Tavot(const std::vector<std::string>& aArgs) {
  std::ostringstream out, err;
  const int status = RunTavotCommandLine("tavot", aArgs, out, err);
  return {status, out.str(), err.str()};
}

TEST(TavotCommandLineTest, DefaultsAreTheWindows) {
  const TTavotOptions o = ParseTavotCommandLine({"--v1"});
  EXPECT_EQ(o.SnmpVersion, 1);
  EXPECT_EQ(o.Count, 1);
  EXPECT_EQ(o.Settings.Host, "127.0.0.1");
  EXPECT_EQ(o.Settings.Port, "55162");
  EXPECT_EQ(o.Settings.Community, "public");
  EXPECT_EQ(o.Settings.UserName, "TavoSnmpTrap");
  EXPECT_EQ(o.Settings.UserPwd, "4TorfBalunixe!");
  EXPECT_EQ(o.Settings.Flags, TV3Flags::AuthNoPriv);
  EXPECT_EQ(o.Settings.PrivPwd, "QuastelbrinkSorgenlaufwer");
  EXPECT_EQ(o.Settings.Oid, "1.3.6.4.1.52814.8424");
  EXPECT_EQ(o.Settings.MsgId, "100");
  EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(o.Settings.MsgText)), o.Settings.MsgText);
  EXPECT_EQ(test::Hex(Utf8ToCp1252(o.Settings.MsgText).substr(34)),
            "C4 E4 E0 DC F6 E9 20 80 24 A3");
}

TEST(TavotCommandLineTest, OptionsSetTheFields) {
  const TTavotOptions o =
      ParseTavotCommandLine({"--v3",     "--host",      "h",
                             "--port=1", "--community", "c",
                             "--user",   "u",           "--password=p",
                             "--level",  "authpriv",    "--priv-password",
                             "pp",       "--oid",       "1.2",
                             "--id",     "7",           "--text",
                             "",         "--count=3",   "--engine-id=0x80000000010203ff"});
  EXPECT_EQ(o.SnmpVersion, 3);
  EXPECT_EQ(o.Count, 3);
  EXPECT_EQ(o.Settings.Host, "h");
  EXPECT_EQ(o.Settings.Port, "1");
  EXPECT_EQ(o.Settings.Community, "c");
  EXPECT_EQ(o.Settings.UserName, "u");
  EXPECT_EQ(o.Settings.UserPwd, "p");
  EXPECT_EQ(o.Settings.Flags, TV3Flags::AuthPriv);
  EXPECT_EQ(o.Settings.PrivPwd, "pp");
  EXPECT_EQ(o.Settings.Oid, "1.2");
  EXPECT_EQ(o.Settings.MsgId, "7");
  EXPECT_EQ(o.Settings.MsgText, "");
  EXPECT_EQ(test::Hex(o.Settings.EngineId), "80 00 00 00 01 02 03 FF");
  EXPECT_EQ(ParseTavotCommandLine({"--v3"}).Settings.EngineId, "");
  EXPECT_EQ(ParseTavotCommandLine({"--v3", "--engine-id", "0102030405"}).Settings.EngineId,
            "\x01\x02\x03\x04\x05");
  EXPECT_EQ(ParseTavotCommandLine({"--v3", "--engine-id", ""}).Settings.EngineId, "");

  const TTavotOptions inform =
      ParseTavotCommandLine({"--v2c", "--inform", "--timeout", "0.25", "--retries=0",
                             "--auth-protocol", "sha-384", "--priv-protocol", "AES256C"});
  EXPECT_EQ(inform.SnmpVersion, 2);
  EXPECT_TRUE(inform.bInform);
  EXPECT_EQ(inform.Inform.TimeoutMs, 250);
  EXPECT_EQ(inform.Inform.Retries, 0);
  EXPECT_EQ(inform.Settings.AuthMode, TV3Auth::AuthSHA384);
  EXPECT_EQ(inform.Settings.PrivMode, TV3Priv::PrivAES256C);
  const TTavotOptions defaults = ParseTavotCommandLine({"--v3"});
  EXPECT_FALSE(defaults.bInform);
  EXPECT_EQ(defaults.Inform.TimeoutMs, 1000);
  EXPECT_EQ(defaults.Inform.Retries, 5);
  EXPECT_EQ(defaults.Settings.AuthMode, TV3Auth::AuthMD5);
  EXPECT_EQ(defaults.Settings.PrivMode, TV3Priv::PrivDES);
  EXPECT_EQ(ParseTavotCommandLine({"--v3", "--timeout", "3600"}).Inform.TimeoutMs, 3600000);
}

TEST(TavotCommandLineTest, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--host", "h"},
      {"--v1", "--v3"},
      {"--v1", "--port"},
      {"--v1", "--level", "Auth"},
      {"--v1", "--count", "0"},
      {"--v1", "--count", "1000001"},
      {"--v1", "--count", "x"},
      {"--v3", "--engine-id", "0x"},
      {"--v3", "--engine-id", "01020304"},   // 4 bytes: too short
      {"--v3", "--engine-id", "010203040"},  // odd
      {"--v3", "--engine-id", "01020304zz"},
      {"--v3", "--engine-id", std::string(66, 'a')},  // 33 bytes: too long
      {"--v1", "--v2c"},
      {"--v1", "--inform"},
      {"--v2c", "--timeout", "0"},
      {"--v2c", "--timeout", "3600.001"},
      {"--v2c", "--timeout", "1."},
      {"--v2c", "--timeout", "-1"},
      {"--v2c", "--timeout", "0.0001"},
      {"--v2c", "--retries", "101"},
      {"--v2c", "--retries", "x"},
      {"--v3", "--auth-protocol", "SHA-2"},
      {"--v3", "--priv-protocol", "AES-512"},
      {"--v1", "--bogus"},
      {"--v1", "extra"},
      {"--v1=yes"},
  };
  for (const auto& args : cases) {
    const TavotRun r = Tavot(args);
    EXPECT_EQ(r.Status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.Err.find("Try 'tavot --help'."), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
}

TEST(TavotCommandLineTest, HelpListsTheOptions) {
  const TavotRun r = Tavot({"--help"});
  EXPECT_EQ(r.Status, 0);
  for (const char* option : {"--v1",
                             "--v2c",
                             "--v3",
                             "--inform",
                             "--timeout",
                             "--retries",
                             "--host",
                             "--port",
                             "--community",
                             "--user",
                             "--password",
                             "--level",
                             "--priv-password",
                             "--auth-protocol",
                             "--priv-protocol",
                             "--engine-id",
                             "--oid",
                             "--id",
                             "--text",
                             "--count",
                             "--help"}) {
    EXPECT_NE(r.Out.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
}

TEST(TavotCommandLineTest, SendsCountTrapsOneDatagramEach) {
  test::UdpListener listener;
  const TavotRun r =
      Tavot({"--v1", "--port", std::to_string(listener.Port()), "--count", "3", "--id", "abc"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Traps sent: 3\n");
  for (int i = 0; i < 3; ++i) {
    TSNMPRec rec;
    ASSERT_TRUE(rec.DecodeBuf(listener.Receive())) << i;
    EXPECT_EQ(rec.FOldTrapSpec, 8424);
    EXPECT_EQ(rec.MIBGet("1.3.6.4.1.52814.8424.1"), "0");  // "abc" is no number
  }
  EXPECT_TRUE(listener.Quiet());
}

TEST(TavotCommandLineTest, SendsAtEveryLevel) {
  for (const char* level : {"NoAuthNoPriv", "AuthNoPriv", "AuthPriv"}) {
    test::UdpListener listener;
    const TavotRun r = Tavot({"--v3", "--port", std::to_string(listener.Port()), "--level", level,
                              "--text", "x\xC3\xA9"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string bytes = listener.Receive();
    TSNMPRec rec;
    rec.FPrivPassword = "QuastelbrinkSorgenlaufwer";  // the default receiver's
    ASSERT_TRUE(rec.DecodeBuf(bytes)) << level;
    EXPECT_STREQ(kSecurityLevelNames[static_cast<int>(rec.FFlags)], level);
    EXPECT_EQ(test::Hex(rec.MIBGet("1.3.6.4.1.52814.8424.2")), "78 E9") << level;
    if (rec.FFlags != TV3Flags::NoAuthNoPriv) {
      EXPECT_TRUE(VerifyAuthentication(bytes, TV3Auth::AuthMD5, "4TorfBalunixe!")) << level;
    }
  }
}

TEST(TavotCommandLineTest, FailuresGiveAReasonAndStatusOne) {
  test::UdpListener listener;
  const std::string port = std::to_string(listener.Port());
  struct Case {
    std::vector<std::string> Args;
    const char* Reason;
  };
  const std::vector<Case> cases = {
      {{"--v3", "--port", port, "--password", ""},
       "tavot: trap 1 not sent: SNMPv3 authentication password is empty\n"},
      {{"--v3", "--port", port, "--level", "AuthPriv", "--priv-password", ""},
       "tavot: trap 1 not sent: SNMPv3 privacy password is empty\n"},
      {{"--v1", "--host", "no-such-host.invalid", "--count", "5"},
       "tavot: trap 1 not sent to no-such-host.invalid:55162: Cannot resolve"},
      {{"--v1", "--port", "99999"},
       "tavot: trap 1 not sent to 127.0.0.1:99999: \"99999\" is not a port number\n"},
      {{"--v1", "--port", "0"}, "is not a port number"},
  };
  for (const Case& c : cases) {
    const TavotRun r = Tavot(c.Args);
    EXPECT_EQ(r.Status, 1) << c.Reason;
    EXPECT_NE(r.Err.find(c.Reason), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
  EXPECT_TRUE(listener.Quiet());
}

}  // namespace
}  // namespace tavo
