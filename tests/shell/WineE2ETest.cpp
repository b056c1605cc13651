// The Windows build's tavo.exe under Wine, driven from Linux: a --foreground
// run receives a trap sent by net-snmp's snmptrap on 127.0.0.1, counts it,
// reports it as an SNMPv1 trap, and ends in order on SIGINT, which Wine
// hands to the console's Ctrl+C handler. Skipped when the Windows build or
// Wine is not there.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "NetSnmpPeer.h"
#include "TavoE2E.h"
#include "UdpListener.h"
#include "snmp/SnmpMessage.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver64";
constexpr const char* kBase = "1.3.6.4.1.52814.8424";

// A prefix of this build's own, booted once and kept for later runs: a
// prefix of the Windows build's tests may be ended under us.
std::vector<std::string> WineEnvironment() {
  return {std::string("WINEPREFIX=") + TAVO_WINE_E2E_PREFIX, "WINEDEBUG=-all",
          "WINEDLLOVERRIDES=mscoree,mshtml="};
}

TEST(WineE2ETest, ForegroundCountsATrapAndEndsInOrderOnSigint) {
  if (!std::filesystem::exists(TAVO_WINDOWS_EXE))
    GTEST_SKIP() << TAVO_WINDOWS_EXE << " is not there: run scripts/build-windows first";
  if (!std::filesystem::exists(kWine))
    GTEST_SKIP() << kWine << " is not there: install wine64 (scripts/setup)";
  TempDir dir;
  const auto env = WineEnvironment();
  ASSERT_EQ(RunProgram({kWine, "wineboot", "--init"}, dir.File("boot"), 180s, env).Status, 0);

  UdpListener manager;
  const std::uint16_t port = FreeUdpPort();
  dir.Write("seen.txt", "100\r\nSeen %CLIENT_NAME\r\n%TEXT\r\n");
  TavoRun tavo(dir,
               "[General]\nCheckInterval=1\n[SnmpTrapReceiver]\nHost=127.0.0.1\n"
               "BindAddress=127.0.0.1\nCommunity=public\nPort=" +
                   std::to_string(port) +
                   "\n[Recipients]\nManager=Type=SnmpTrapV1;Host=127.0.0.1;Port=" +
                   std::to_string(manager.Port()) + "\n[Client App]\nName=App\nOidMsgId=" + kBase +
                   ".1\nOidMsgText=" + kBase + ".2\n100=Seen;0;0;Send;Manager;seen.txt\n");
  tavo.Launcher = {kWine};
  tavo.Program = TAVO_WINDOWS_EXE;
  tavo.Env = env;
  tavo.Start();
  ASSERT_TRUE(
      tavo.WaitForLine("SNMP trap receiver listening on 127.0.0.1:" + std::to_string(port), 60s))
      << tavo.Dump() << tavo.Process().Stderr();

  const RunResult sent = RunSnmpTrap(
      dir.Path(), SnmpV1TrapArgs({.Target = "127.0.0.1:" + std::to_string(port),
                                  .Community = "public",
                                  .Enterprise = std::string(kBase) + ".0",
                                  .Specific = "8424",
                                  .Bindings = {std::string(kBase) + ".1", "i", "100",
                                               std::string(kBase) + ".2", "s", "from Linux"}}));
  ASSERT_EQ(sent.Status, 0) << sent.Err;
  TSNMPRec report;
  ASSERT_TRUE(report.DecodeBuf(manager.Receive(20s))) << tavo.Dump();
  EXPECT_EQ(report.MIBGet("1.3.6.4.1.52814.8423.2"), "Seen App");
  EXPECT_EQ(tavo.Count("SNMP trap packet received from 127.0.0.1: Version=0"), 1) << tavo.Dump();
  EXPECT_EQ(tavo.Count("Report \"App-100\": Counter = 1 > 0"), 1) << tavo.Dump();

  ASSERT_TRUE(tavo.Stop(SIGINT, 20s)) << tavo.Dump();
  EXPECT_EQ(tavo.Process().ExitStatus(), 0);
  const auto lines = tavo.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  // The prefix's server, which only our processes used, goes too.
  RunProgram({kWineServer, "-k"}, dir.File("wineserver"), 30s, env);
}

}  // namespace
}  // namespace tavo::test
