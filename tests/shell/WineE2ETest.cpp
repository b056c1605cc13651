// The Windows build's tavo.exe under Wine, driven from Linux: a --foreground
// run receives a trap sent by net-snmp's snmptrap on 127.0.0.1, counts it,
// reports it as an SNMPv1 trap, and ends in order on SIGINT, which Wine
// hands to the console's Ctrl+C handler; and the service under Wine's
// service control manager, installed, started, refusing a second instance,
// stopped and removed; a Restart action ending a test program under Wine
// and starting it again; tavot.exe's traps logged by snmptrapd. The report
// table shared with the Linux build is in ReportE2ETest. Skipped when the Windows build or Wine is
// not there.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "NetSnmpPeer.h"
#include "ProcessTestSupport.h"
#include "TavoE2E.h"
#include "TavotTrapdRows.h"
#include "UdpListener.h"
#include "WineRun.h"
#include "snmp/SnmpMessage.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

using namespace wine;

constexpr const char* kBase = "1.3.6.4.1.52814.8424";

TEST(WineE2ETest, ForegroundCountsATrapAndEndsInOrderOnSigint) {
  TAVO_SKIP_WITHOUT_WINE();
  TempDir dir;
  const PrefixCleared cleared(dir);
  const auto env = Environment();
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
  UseWine(tavo);
  tavo.Start();
  ASSERT_TRUE(
      tavo.WaitForLine("SNMP trap receiver listening on 127.0.0.1:" + std::to_string(port), 60s))
      << tavo.Dump() << tavo.Process().Stderr();
  ASSERT_TRUE(WaitForUdpPortTaken(port, 10s));

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
}

// Wine ends the services when the last other process of the prefix ends
// and starts the automatic ones again with the next: a keeper process holds
// the session for the test's length. Wine stores no failure actions, and
// its sc changes no binary path, so /AnyAccount goes in through the
// registry (its user is the Unix one, never SYSTEM), read at the service
// manager's next start.
TEST(WineE2ETest, TheServiceRunsUnderWinesServiceControlManager) {
  TAVO_SKIP_WITHOUT_WINE();
  TempDir dir;
  const PrefixCleared cleared(dir);
  const auto env = Environment();
  ASSERT_EQ(RunProgram({kWine, "wineboot", "--init"}, dir.File("boot"), 180s, env).Status, 0);
  const std::uint16_t port = FreeUdpPort();
  TavoRun tavo(dir,
               "[SnmpTrapReceiver]\nHost=127.0.0.1\nBindAddress=127.0.0.1\n"
               "Community=public\nPort=" +
                   std::to_string(port) + "\n");
  auto wine = [&](std::vector<std::string> aArgs, const std::string& aName,
                  const std::vector<std::string>& aEnv) {
    aArgs.insert(aArgs.begin(), kWine);
    return RunProgram(aArgs, dir.File(aName), 60s, aEnv);
  };
  const std::string exe = WinePath(TAVO_WINDOWS_EXE);
  const std::string ini = WinePath(tavo.IniPath());
  ASSERT_EQ(wine({exe, "/install", "/SILENT", "--config", ini}, "install", env).Status, 0);
  const std::string key = kServiceKey;
  const RunResult query = wine({"reg", "query", key}, "query", env);
  EXPECT_NE(query.Out.find(exe + " --config " + ini), std::string::npos) << query.Out;
  EXPECT_NE(query.Out.find("Start    REG_DWORD    0x2"), std::string::npos) << query.Out;
  EXPECT_NE(query.Out.find("Type    REG_DWORD    0x10"), std::string::npos) << query.Out;
  // The event sources of the service object and the host, with tavo.exe's
  // message table.
  const std::string sources = "HKLM\\System\\CurrentControlSet\\Services\\EventLog\\Application\\";
  for (const std::string source : {"ORVO_Tavo", "tavo.exe"}) {
    const RunResult found = wine({"reg", "query", sources + source}, "source", env);
    EXPECT_NE(found.Out.find("EventMessageFile    REG_EXPAND_SZ    " + exe + "\r\n"),
              std::string::npos)
        << source << ": " << found.Out;
    EXPECT_NE(found.Out.find("TypesSupported    REG_DWORD    0x7"), std::string::npos) << found.Out;
  }
  ASSERT_EQ(wine({"reg", "add", key, "/v", "ImagePath", "/t", "REG_SZ", "/d",
                  exe + " --config " + ini + " /AnyAccount", "/f"},
                 "anyaccount", env)
                .Status,
            0);

  // Wine's service manager reads the changed path only at its next start.
  RunProgram({kWineServer, "-k"}, dir.File("restart"), 30s, env);
  ChildProcess keeper({kWine, "ping", "-n", "200", "127.0.0.1"}, dir.File("keeper"), env);
  // The session's start starts the service already (automatic start);
  // net start then finds it running.
  const RunResult started = wine({"net", "start", "ORVO_Tavo"}, "start", env);
  ASSERT_TRUE(started.Status == 0 || started.Out.find("already running") != std::string::npos)
      << started.Out << started.Err << tavo.Dump();
  ASSERT_TRUE(
      tavo.WaitForLine("SNMP trap receiver listening on 127.0.0.1:" + std::to_string(port), 30s))
      << tavo.Dump();
  EXPECT_EQ(tavo.Count("Service start: "), 1) << tavo.Dump();
  const RunResult sent =
      RunSnmpTrap(dir.Path(), SnmpV1TrapArgs({.Target = "127.0.0.1:" + std::to_string(port),
                                              .Community = "public",
                                              .Enterprise = std::string(kBase) + ".0",
                                              .Specific = "8424"}));
  ASSERT_EQ(sent.Status, 0) << sent.Err;
  EXPECT_TRUE(tavo.WaitForLine("SNMP trap packet received from 127.0.0.1", 20s)) << tavo.Dump();

  // A second instance is refused by the named mutex; the refusal goes to
  // standard error and the event log, which Wine's debug channels show,
  // under the executable's name (the service's name is the service
  // object's, AppServiceToolsWin32Test).
  const RunResult second = wine({exe, "--foreground", "--config", ini}, "second",
                                Environment("-all,err+eventlog,fixme+advapi"));
  EXPECT_EQ(second.Status, 1);
  EXPECT_NE(second.Err.find("err:eventlog:ReportEventW L\"App \\\"Tavo\\\" already running!\""),
            std::string::npos)
      << second.Err;
  EXPECT_NE(second.Err.find("RegisterEventSourceW ((null),L\"tavo.exe\")"), std::string::npos)
      << second.Err;
  EXPECT_EQ(second.Err.find("RegisterEventSourceW ((null),L\"ORVO_Tavo\")"), std::string::npos)
      << second.Err;

  ASSERT_EQ(wine({"net", "stop", "ORVO_Tavo"}, "stop", env).Status, 0);
  // The install run closed its lines with one already.
  ASSERT_TRUE(WaitFor([&] { return tavo.Count("Service closed") == 2; }, 20s)) << tavo.Dump();
  EXPECT_EQ(tavo.Lines().back(), "Info:  Service closed");
  // The stopped state comes before the controller's end: the name is free
  // a moment later.
  EXPECT_TRUE(WaitFor(
      [&] {
        return wine({exe, "/uninstall", "/SILENT"}, "uninstall", env).Status == 0;
      },
      20s));
  EXPECT_NE(wine({"reg", "query", key}, "gone", env).Status, 0);
  for (const std::string source : {"ORVO_Tavo", "tavo.exe"})
    EXPECT_NE(wine({"reg", "query", sources + source}, "source-gone", env).Status, 0) << source;
  keeper.Signal(SIGKILL);
  keeper.WaitExit(10s);
}

// A Restart action under Wine: the client's program, a test program this
// test starts under Wine, is ended at once (TerminateProcess: Windows has
// no two-phase end) and started again by tavo.exe at the next cycle.
TEST(WineE2ETest, ARestartEndsTheClientsProgramAndStartsItAgain) {
  TAVO_SKIP_WITHOUT_WINE();
  const std::string sleeper = WindowsBuildFile("tests/support/tavo_test_sleeper.exe");
  TAVO_SKIP_WITHOUT_FILE(sleeper, "run scripts/build-windows first");
  TempDir dir;
  const PrefixCleared prefix(dir);
  ASSERT_TRUE(prefix.Boot());
  const auto env = Environment();
  // A name of its own, since tavo ends every process of the program's name;
  // the sleeper writes its Windows pid to "<its path>.pid".
  const std::string program = dir.File("restart-agent-" + std::to_string(::getpid()) + ".exe");
  std::filesystem::copy_file(sleeper, program);
  const std::string pidFile = program + ".pid";
  ChildProcess first({kWine, program}, dir.File("first"), env);
  const int firstPid = WaitForPidFile(pidFile, 60s);
  ASSERT_GT(firstPid, 0) << first.Stderr();
  std::filesystem::remove(pidFile);

  const std::uint16_t port = FreeUdpPort();
  TavoRun tavo(dir,
               "[General]\nCheckInterval=1\n[SnmpTrapReceiver]\nHost=127.0.0.1\n"
               "BindAddress=127.0.0.1\nCommunity=public\nPort=" +
                   std::to_string(port) + "\n[Client Agent]\nName=Agent\nExecutable=" +
                   WinePath(program) + "\nOidMsgId=" + kBase + ".1\n100=Restart;0;0;Restart\n");
  UseWine(tavo);
  tavo.Start();
  ASSERT_TRUE(tavo.WaitForLine("Trace: Initialization done", 60s))
      << tavo.Dump() << tavo.Process().Stderr();
  ASSERT_TRUE(WaitForUdpPortTaken(port, 30s));
  const RunResult sent = RunProgram({TAVOT_EXE, "--v1", "--host", "127.0.0.1", "--port",
                                     std::to_string(port), "--oid", kBase, "--id", "100"},
                                    dir.File("tavot"));
  ASSERT_EQ(sent.Status, 0) << sent.Err;

  ASSERT_TRUE(tavo.WaitForLine("Info:  Start client \"Agent\"", 30s)) << tavo.Dump();
  EXPECT_TRUE(first.WaitExit(20s)) << "the first program still runs";
  const int second = WaitForPidFile(pidFile, 30s);
  ASSERT_GT(second, 0) << tavo.Dump();
  EXPECT_NE(second, firstPid);
  const auto lines = tavo.Lines();
  const auto terminate =
      std::find(lines.begin(), lines.end(), "Info:  Terminate client \"Agent\" to restart...");
  const auto start = std::find(lines.begin(), lines.end(), "Info:  Start client \"Agent\"");
  EXPECT_LT(terminate, start) << tavo.Dump();
  EXPECT_EQ(tavo.Count("Info:  Terminate client \"Agent\" to restart..."), 1) << tavo.Dump();
  EXPECT_EQ(tavo.Count("Info:  Start client \"Agent\""), 1) << tavo.Dump();

  ASSERT_TRUE(tavo.Stop(SIGINT, 20s)) << tavo.Dump();
  EXPECT_EQ(tavo.Lines().back(), "Info:  Service closed");
  // The second program ends with the prefix's processes (PrefixCleared).
}

// The rows of the Linux tavot's interop test (TavotTrapdRows.h).
TEST(WineE2ETest, TavotSendsTrapsThatSnmptrapdLogs) {
  TAVO_SKIP_WITHOUT_WINE();
  const std::string tavot = WindowsBuildFile("tavot.exe");
  TAVO_SKIP_WITHOUT_FILE(tavot, "run scripts/build-windows first");
  TempDir dir;
  const PrefixCleared cleared(dir);
  const auto env = Environment();
  for (const TavotTrapdRow& row : TavotTrapdRows()) {
    SCOPED_TRACE(row.Name);
    SnmpTrapd trapd(dir.Path(), row.TrapdConfig, row.TrapdArgs);
    std::vector<std::string> args = {kWine, tavot};
    args.insert(args.end(), row.Args.begin(), row.Args.end());
    args.insert(args.end(), {"--port", std::to_string(trapd.Port())});
    const RunResult sent = RunProgram(args, dir.File("tavot-" + row.Name), 60s, env);
    ASSERT_EQ(sent.Status, 0) << sent.Err;
    // A Windows text stream.
    EXPECT_EQ(sent.Out, row.Printed.substr(0, row.Printed.size() - 1) + "\r\n");
    EXPECT_EQ(MissingFromTrapdLog(trapd, row), "") << trapd.Log();
  }
}

}  // namespace
}  // namespace tavo::test
