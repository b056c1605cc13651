// The real tavot, without a display, against net-snmp's snmptrapd and a
// UDP socket on 127.0.0.1.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteText.h"
#include "NetSnmpPeer.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "platform/TextCodec.h"

namespace tavo {
namespace {

// No display: a QApplication on xcb would abort here.
const std::vector<std::string> kNoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};

test::RunResult Tavot(const test::TempDir& aDir, const std::vector<std::string>& aArgs) {
  std::vector<std::string> argv = {std::string(TAVOT_EXE)};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  return test::RunProgram(argv, aDir.File("tavot"), std::chrono::seconds(20), kNoDisplay);
}

TEST(TavotInteropTest, SnmptrapdLogsTheDefaultTextBytesIntact) {
  test::TempDir dir;
  test::SnmpTrapd trapd(dir.Path(), "authCommunity log public\n");
  const test::RunResult r = Tavot(dir, {"--v1", "--port", std::to_string(trapd.Port())});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Traps sent: 1\n");
  ASSERT_TRUE(trapd.WaitForLog(".1.3.6.4.1.52814.8424.1 = INTEGER: 100")) << trapd.Log();
  const std::string log = trapd.Log();
  EXPECT_NE(log.find("TRAP, SNMP v1, community public"), std::string::npos) << log;
  EXPECT_NE(log.find(".1.3.6.4.1.52814.8424.0 Enterprise Specific Trap (8424)"), std::string::npos)
      << log;
  // Windows-1252 is no UTF-8, so snmptrapd shows the text as hex.
  const std::string text = Utf8ToCp1252(
      "Text mit Umlauten & Sonderzeichen \xC3\x84\xC3\xA4\xC3\xA0\xC3\x9C\xC3\xB6\xC3\xA9 "
      "\xE2\x82\xAC$\xC2\xA3");
  EXPECT_NE(test::WithoutWhitespace(log).find(".1.3.6.4.1.52814.8424.2=Hex-STRING:" +
                                              test::WithoutWhitespace(test::Hex(text))),
            std::string::npos)
      << log;
}

TEST(TavotInteropTest, ExitStatusAndMessages) {
  test::TempDir dir;
  test::UdpListener listener;
  test::RunResult r =
      Tavot(dir, {"--v3", "--port", std::to_string(listener.Port()), "--count", "2"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_FALSE(listener.Receive().empty());
  EXPECT_FALSE(listener.Receive().empty());

  r = Tavot(dir, {"--v3", "--port", std::to_string(listener.Port()), "--password", ""});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "tavot: trap 1 not sent: SNMPv3 authentication password is empty\n");
  EXPECT_TRUE(listener.Quiet());

  r = Tavot(dir, {"--v1", "--host", "no-such-host.invalid"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Cannot resolve \"no-such-host.invalid\""), std::string::npos) << r.Err;

  r = Tavot(dir, {"--level", "x"});
  EXPECT_EQ(r.Status, 2);
  r = Tavot(dir, {"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("--priv-password"), std::string::npos);
}

}  // namespace
}  // namespace tavo
