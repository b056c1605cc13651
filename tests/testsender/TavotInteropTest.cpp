// The real tavot, without a display, against net-snmp's snmptrapd and a
// UDP socket on 127.0.0.1.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetSnmpPeer.h"
#include "TavotTrapdRows.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "UdpListener.h"
#include "snmp/SnmpDefaults.h"

namespace tavo {
namespace {

// No display: a QApplication on xcb would abort here.
const std::vector<std::string> kNoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"};

test::RunResult Tavot(const test::TempDir& aDir, const std::vector<std::string>& aArgs) {
  std::vector<std::string> argv = {std::string(TAVOT_EXE)};
  argv.insert(argv.end(), aArgs.begin(), aArgs.end());
  return test::RunProgram(argv, aDir.File("tavot"), std::chrono::seconds(20), kNoDisplay);
}

// The same rows run against tavot.exe under Wine (WineE2ETest).
TEST(TavotInteropTest, SnmptrapdLogsTheTrapsOfEachRow) {
  for (const test::TavotTrapdRow& row : test::TavotTrapdRows()) {
    SCOPED_TRACE(row.Name);
    test::TempDir dir;
    test::SnmpTrapd trapd(dir.Path(), row.TrapdConfig, row.TrapdArgs);
    std::vector<std::string> args = row.Args;
    args.insert(args.end(), {"--port", std::to_string(trapd.Port())});
    const test::RunResult r = Tavot(dir, args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, row.Printed);
    EXPECT_EQ(test::MissingFromTrapdLog(trapd, row), "") << trapd.Log();
  }
}

// An inform nobody answers goes out again, the same bytes each time; one
// the receiver refuses ends with its report.
TEST(TavotInteropTest, UnansweredInformsAreSentAgainThenGivenUp) {
  test::TempDir dir;
  test::UdpListener listener;
  test::RunResult r = Tavot(dir, {"--v2c", "--inform", "--port", std::to_string(listener.Port()),
                                  "--timeout", "0.2", "--retries", "2"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "tavot: inform 1 not answered: no answer from 127.0.0.1:" +
                       std::to_string(listener.Port()) + " after 3 tries\n");
  const std::string first = listener.Receive();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(listener.Receive(), first);
  EXPECT_EQ(listener.Receive(), first);
  EXPECT_TRUE(listener.Quiet());

  test::SnmpTrapd trapd(dir.Path(), std::string("createUser ") + kDefaultTrapUserName + " MD5 " +
                                        kDefaultTrapUserPassword + "\nauthUser log " +
                                        kDefaultTrapUserName + "\n");
  r = Tavot(dir, {"--v3", "--inform", "--port", std::to_string(trapd.Port()), "--password",
                  "not-the-password", "--timeout", "0.5", "--retries", "1"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "tavot: inform 1 not answered: the receiver reported: wrong digest\n");
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
