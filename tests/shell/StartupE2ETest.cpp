// The real tavo: start lines, level filter, check cycle clean-up, a missing
// configuration, --check, the command line and an orderly stop.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "platform/Files.h"

#include "TavoE2E.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The whole start, from the separator through "Initialization done", with a
// recipient and a client loaded, with and without a receiver port; then the
// closing line last.
TEST(StartupE2ETest, StartLinesInOrderAndTheClosingLineLast) {
  struct Case {
    const char* name;
    bool receiver;
  };
  for (const Case& c : {Case{"receiver", true}, Case{"no receiver", false}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::uint16_t port = FreeUdpPort();
    const std::string receiver =
        c.receiver ? "[SnmpTrapReceiver]\nHost=127.0.0.1\nPort=" + std::to_string(port) +
                         "\nCommunity=public\n"
                   : "[SnmpTrapReceiver]\nCommunity=public\n";
    dir.Write("trap.txt", "100\r\nSubject\r\n%TEXT\r\n");
    TavoRun tavo(dir, "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n" + receiver +
                          "[Recipients]\nManager=Type=SnmpTrapV1;Host=127.0.0.1;Port=9162\n"
                          "[Client App]\nName=App\nOidMsgId=1.3.6.4.1.52814.8424.1\n"
                          "100=Seen;0;1;Send;Manager;trap.txt\n");
    tavo.Start();
    ASSERT_TRUE(tavo.WaitForLine("Initialization done")) << tavo.Dump();
    if (c.receiver) {
      EXPECT_TRUE(WaitForUdpPortTaken(port));
    }

    std::vector<std::string> expected = {
        "Info:  ------------------------------",
        "Info:  Service start: Tavo V1.11.03 ",
        "Info:  Log file name: " + tavo.LogPath(),
        "Trace: Load recipient(s)...",
        "Info:  Recipient \"Manager\": Host=127.0.0.1:9162; Community=public",
        "Trace: Load client(s)...",
        "Info:  Loaded message \"App-100\": \"Seen\" - Threshold=0; Count=1; Command=Send; "
        "Recipient=Manager; Template=" +
            dir.File("trap.txt"),
    };
    if (c.receiver) {
      expected.push_back("Trace: Initialize SNMP trap receiver");
      expected.push_back(
          "Warning: SNMP trap receiver uses the built-in SNMPv3 password(s); set UserPassword "
          "and PrivacyPassword in [SnmpTrapReceiver]");
      expected.push_back("Info:  SNMP trap receiver listening on 127.0.0.1:" +
                         std::to_string(port));
    } else {
      expected.push_back("Trace: Skip SNMP trap receiver");
    }
    expected.push_back("Trace: Initialization done");

    ASSERT_TRUE(tavo.Stop(SIGTERM));
    EXPECT_EQ(tavo.Process().ExitStatus(), 0);
    const auto lines = tavo.Lines();
    ASSERT_GE(lines.size(), expected.size()) << tavo.Dump();
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()),
                ElementsAreArray(expected))
        << tavo.Dump();
    EXPECT_EQ(tavo.Count("Trace: Initialization done"), 1);
    EXPECT_EQ(lines.back(), "Info:  Service closed");
  }
}

TEST(StartupE2ETest, SigintStopsInOrderToo) {
  TempDir dir;
  TavoRun tavo(dir, "[General]\nCheckInterval=1\n");
  tavo.Start();
  ASSERT_TRUE(tavo.WaitForLine("Initialization done")) << tavo.Dump();
  ASSERT_TRUE(tavo.Stop(SIGINT));
  EXPECT_EQ(tavo.Process().ExitStatus(), 0);
  EXPECT_EQ(tavo.Lines().back(), "Info:  Service closed");
}

TEST(StartupE2ETest, LevelWarningKeepsTheBannerOutAndANegativeIntervalIsRefused) {
  TempDir dir;
  TavoRun tavo(dir, "[Logging]\nLevel=warning\n[General]\nCheckInterval=-5\n");
  tavo.Start();
  ASSERT_TRUE(tavo.WaitForLine("Error: ")) << tavo.Dump();
  ASSERT_TRUE(tavo.Stop());
  EXPECT_THAT(tavo.Lines(),
              ElementsAre("Error: Invalid check interval -5: the periodic check is off"));
}

TEST(StartupE2ETest, BackupBannerAndTheFirstCycleCleansUp) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("bak").c_str(), 0755), 0);
  const std::string old = dir.Write("bak/tavo.230101000000.bak", "old\r\n");
  SetFileAge(old, -std::chrono::hours(24 * 9));
  dir.Write("bak/tavo.recent.bak", "recent\r\n");
  TavoRun tavo(dir,
               "[Logging]\nBackupDirectory=bak\nBackupRetainDays=7\n"
               "[General]\nCheckInterval=1\n");
  tavo.Start();
  ASSERT_TRUE(tavo.WaitForLine("Backup directory cleaned up")) << tavo.Dump();
  ASSERT_TRUE(tavo.Stop());
  EXPECT_EQ(tavo.Count("Info:  Log backup directory: " + dir.File("bak") + "/"), 1);
  EXPECT_EQ(tavo.Count("Info:  Log backup files retain for 7 days"), 1);
  EXPECT_EQ(tavo.Count("Info:  Backup directory cleaned up 1 file(s)"), 1) << tavo.Dump();
  EXPECT_FALSE(FileExists(old));
  EXPECT_TRUE(FileExists(dir.File("bak/tavo.recent.bak")));
}

TEST(StartupE2ETest, MissingConfigurationIsReportedOnStandardErrorAndTavoStaysUpIdle) {
  TempDir dir;
  TavoRun tavo(dir, "");
  const std::string missing = dir.File("absent.ini");
  ChildProcess process({TAVO_EXE, "--foreground", "--config", missing}, dir.File("run"));
  ASSERT_TRUE(WaitFor(
      [&] { return process.Stderr().find("File not found: " + missing) != std::string::npos; },
      10s))
      << process.Stderr();
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(process.Running());
  process.Signal(SIGTERM);
  ASSERT_TRUE(process.WaitExit(6s));
  EXPECT_EQ(process.ExitStatus(), 0);
  const auto lines = LogLinesOf(ReadWholeFile(dir.File("absent.log")));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[1], "Info:  Service start: Tavo V1.11.03 ");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Trace: Initialization done"), 0);
  EXPECT_EQ(lines.back(), "Info:  Service closed");
}

TEST(StartupE2ETest, CheckPrintsTheMessagesAndSetsTheExitStatus) {
  TempDir dir;
  dir.Write("good.ini", "[General]\nCheckInterval=5\n");
  dir.Write("bad.ini",
            "[General]\nCheckInterval=-1\n"
            "[SnmpTrapReceiver]\nPort=70000\n");
  dir.Write("protocols.ini",
            "[SnmpTrapReceiver]\nPort=55162\nAuthProtocol=SHA-2\nPrivProtocol=aes\n");
  const RunResult good =
      RunProgram({TAVO_EXE, "--check", "--config", dir.File("good.ini")}, dir.File("good"));
  EXPECT_EQ(good.Status, 0) << good.Out;
  EXPECT_NE(good.Out.find("Trace: Initialization done"), std::string::npos) << good.Out;
  const RunResult bad =
      RunProgram({TAVO_EXE, "--check", "--config", dir.File("bad.ini")}, dir.File("bad"));
  EXPECT_EQ(bad.Status, 1) << bad.Out;
  EXPECT_NE(bad.Out.find("Error: Invalid check interval -1"), std::string::npos) << bad.Out;
  // Its low 16 bits would be another port than the one shown.
  EXPECT_NE(bad.Out.find("Error: Invalid SNMP trap receiver port 70000"), std::string::npos);
  const RunResult protocols = RunProgram(
      {TAVO_EXE, "--check", "--config", dir.File("protocols.ini")}, dir.File("protocols"));
  EXPECT_EQ(protocols.Status, 1);
  EXPECT_NE(protocols.Out.find(
                "Error: Unknown AuthProtocol \"SHA-2\" in [SnmpTrapReceiver]: MD5 is used"),
            std::string::npos)
      << protocols.Out;
  EXPECT_EQ(protocols.Out.find("PrivProtocol"), std::string::npos);  // "aes" is AES
  const RunResult missing =
      RunProgram({TAVO_EXE, "--check", "--config", dir.File("none.ini")}, dir.File("none"));
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Out.find("Fatal: File not found: " + dir.File("none.ini")), std::string::npos)
      << missing.Out;
  // A check starts nothing: no log file appears.
  EXPECT_FALSE(FileExists(dir.File("good.log")));
}

TEST(StartupE2ETest, TheReceiverWarnsOfBuiltInPasswordsAndRefusesAnInvalidBindAddress) {
  TempDir dir;
  const char* kWarning = "Warning: SNMP trap receiver uses the built-in SNMPv3 password(s)";
  struct Case {
    const char* Name;
    std::string Keys;
    bool Warned;
    std::string Error;  // empty: none
  };
  const Case cases[] = {
      {"passwords left out", "", true, ""},
      {"the example's passwords written out",
       "UserPassword=4TorfBalunixe!\nPrivacyPassword=QuastelbrinkSorgenlaufwer\n", true, ""},
      {"one of them changed", "UserPassword=own-secret-1\n", true, ""},
      {"both changed", "UserPassword=own-secret-1\nPrivacyPassword=own-secret-2\n", false, ""},
      {"a bind address", "UserPassword=a1\nPrivacyPassword=b2\nBindAddress=127.0.0.1\n", false, ""},
      {"an invalid bind address", "UserPassword=a1\nPrivacyPassword=b2\nBindAddress=10.1.2\n",
       false, "Error: Invalid BindAddress \"10.1.2\" in [SnmpTrapReceiver]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    dir.Write("r.ini", "[SnmpTrapReceiver]\nPort=55162\n" + c.Keys);
    const RunResult r =
        RunProgram({TAVO_EXE, "--check", "--config", dir.File("r.ini")}, dir.File("r"));
    EXPECT_EQ(r.Out.find(kWarning) != std::string::npos, c.Warned) << r.Out;
    EXPECT_EQ(r.Status, c.Error.empty() ? 0 : 1) << r.Out;
    if (!c.Error.empty()) {
      EXPECT_NE(r.Out.find(c.Error), std::string::npos) << r.Out;
      EXPECT_EQ(r.Out.find("would listen"), std::string::npos) << "not started";
    }
  }
}

TEST(StartupE2ETest, CommandLine) {
  TempDir dir;
  const RunResult version = RunProgram({TAVO_EXE, "--version"}, dir.File("v"));
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "tavo 1.11.03\n");
  const RunResult help = RunProgram({TAVO_EXE, "--help"}, dir.File("h"));
  EXPECT_EQ(help.Status, 0);
  for (const char* option : {"--config FILE", "--foreground", "--check", "--version"}) {
    EXPECT_NE(help.Out.find(option), std::string::npos) << option;
  }
  const RunResult unknown = RunProgram({TAVO_EXE, "--frobnicate"}, dir.File("u"));
  EXPECT_EQ(unknown.Status, 2);
  EXPECT_NE(unknown.Err.find("unknown argument \"--frobnicate\""), std::string::npos);
  const RunResult noFile = RunProgram({TAVO_EXE, "--config"}, dir.File("c"));
  EXPECT_EQ(noFile.Status, 2);
  EXPECT_NE(noFile.Err.find("--config needs a file name"), std::string::npos);
}

}  // namespace
}  // namespace tavo::test
