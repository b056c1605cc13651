// The real tavo in its run modes: install and uninstall runs, the single
// instance, a service run under a notify socket, and a service start
// without a service manager. systemctl, the unit directory and the notify
// socket are stand-ins in the test's folder; no display is offered.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <thread>

#include "FakeSystemctl.h"
#include "NotifySocket.h"
#include "ProcessTestSupport.h"
#include "TavoE2E.h"
#include "platform/Files.h"
#include "platform/ProcessUser.h"
#include "platform/SystemdUnit.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

const std::vector<std::string> kNoDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "NOTIFY_SOCKET="};

std::vector<std::string> Env(std::vector<std::string> aExtra) {
  std::vector<std::string> env = kNoDisplay;
  for (auto& e : aExtra) {
    // A later entry for the same variable replaces the default.
    const std::string name = e.substr(0, e.find('=') + 1);
    std::erase_if(env, [&](const std::string& x) { return x.rfind(name, 0) == 0; });
    env.push_back(std::move(e));
  }
  return env;
}

std::string RealPath(const std::string& aPath) {
  char buf[PATH_MAX];
  return ::realpath(aPath.c_str(), buf) ? buf : aPath;
}

std::vector<std::string> LogOf(const std::string& aPath) {
  try {
    return LogLinesOf(ReadWholeFile(aPath));
  } catch (...) {
    return {};
  }
}

long CountLines(const std::string& aLog, const std::string& aLine) {
  const auto lines = LogOf(aLog);
  return std::count(lines.begin(), lines.end(), aLine);
}

bool HasLine(const std::string& aLog, const std::string& aLine) {
  return CountLines(aLog, aLine) > 0;
}

TEST(ServiceE2ETest, InstallAndUninstallRunsWriteTheUnitAndOnlyTheirThreeLogLines) {
  TempDir dir;
  FakeSystemctl fake(dir);
  const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
  const auto env = Env({fake.SystemctlEnv(), fake.UnitDirEnv(), fake.PackageUnitDirEnv()});
  int runs = 0;
  const auto run = [&](std::vector<std::string> aSwitches) {
    std::vector<std::string> argv = {TAVO_EXE, "--config", ini};
    argv.insert(argv.end(), aSwitches.begin(), aSwitches.end());
    return RunProgram(argv, dir.File("run" + std::to_string(++runs)), 30s, env);
  };

  RunResult r = run({"-install"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "Service installed successfully\n");
  const std::string unit = dir.Read("units/ORVO_Tavo.service");
  EXPECT_EQ(unit,
            ServiceUnitText({"ORVO_Tavo", "ORVO_Tavo", {RealPath(TAVO_EXE), "--config", ini}}));
  EXPECT_THAT(unit, HasSubstr("\nExecStart=" + RealPath(TAVO_EXE) + " --config " + ini + "\n"));
  EXPECT_THAT(unit, HasSubstr("\nType=notify\n"));
  // systemd watches the service: restarted after a failure or a hung main thread.
  EXPECT_THAT(unit, HasSubstr("\nRestart=on-failure\nRestartSec=10\nWatchdogSec=60\n"));
  EXPECT_EQ(fake.Calls(), "daemon-reload\nenable ORVO_Tavo.service\n");

  r = run({"/INSTALL", "/silent"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Service \"ORVO_Tavo\" failed to install with error: \"" + fake.UnitPath() +
                       ": File exists (17)\"\n");
  EXPECT_EQ(dir.Read("units/ORVO_Tavo.service"), unit);

  r = run({"\\uninstall", "-SILENT"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_FALSE(FileExists(fake.UnitPath()));

  r = run({"-Uninstall"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Service \"ORVO_Tavo\" failed to uninstall with error: \"" + fake.UnitPath() +
                       ": No such file or directory (2)\"\n");
  EXPECT_EQ(fake.Calls(),
            "daemon-reload\nenable ORVO_Tavo.service\ndisable ORVO_Tavo.service\ndaemon-reload\n");

  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i) {
    expected.insert(expected.end(), {"Info:  ------------------------------",
                                     "Info:  Service installation/deinstallation: Tavo V1.11.03 ",
                                     "Info:  Service closed"});
  }
  EXPECT_THAT(LogOf(dir.File("tavo.log")), ElementsAreArray(expected));
}

// Where the package's unit stands, the package manages the service: install
// and uninstall runs say so and touch nothing, not even a log file.
TEST(ServiceE2ETest, WhereAPackageManagesTheServiceInstallAndUninstallChangeNothing) {
  TempDir dir;
  FakeSystemctl fake(dir);
  const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
  const std::string packaged = dir.Write("package-units/ORVO_Tavo.service", "[Service]\n");
  const auto env = Env({fake.SystemctlEnv(), fake.UnitDirEnv(), fake.PackageUnitDirEnv()});
  int runs = 0;
  const auto run = [&](const std::string& aSwitch) {
    return RunProgram({TAVO_EXE, "--config", ini, aSwitch},
                      dir.File("run" + std::to_string(++runs)), 30s, env);
  };
  for (const char* sw : {"-install", "/uninstall"}) {
    SCOPED_TRACE(sw);
    const RunResult r = run(sw);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Service \"ORVO_Tavo\" is managed by its package (" + fake.PackageUnitPath() +
                         "): -install and -uninstall change nothing; use \"systemctl enable "
                         "--now ORVO_Tavo\" or \"systemctl disable --now ORVO_Tavo\", or "
                         "remove the package\n");
  }
  EXPECT_FALSE(FileExists(fake.UnitPath()));
  EXPECT_EQ(dir.Read("package-units/ORVO_Tavo.service"), "[Service]\n");
  EXPECT_EQ(fake.Calls(), "");
  EXPECT_FALSE(FileExists(dir.File("tavo.log")));

  // Without the package's unit, the build's own install works again.
  ASSERT_TRUE(DeleteFile(packaged));
  const RunResult r = run("-install");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(FileExists(fake.UnitPath()));
}

TEST(ServiceE2ETest, AProgramPathWithABlankIsQuotedInTheUnit) {
  TempDir dir;
  FakeSystemctl fake(dir);
  ASSERT_EQ(::mkdir(dir.File("my tools").c_str(), 0755), 0);
  const std::string program = dir.File("my tools/tavo");
  CopyExecutable(TAVO_EXE, program);
  const RunResult r =
      RunProgram({program, "-install", "/SILENT"}, dir.File("run"), 30s,
                 Env({fake.SystemctlEnv(), fake.UnitDirEnv(), fake.PackageUnitDirEnv()}));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_THAT(dir.Read("units/ORVO_Tavo.service"),
              HasSubstr("\nExecStart=\"" + RealPath(program) + "\"\n"));
  // Without --config the configuration and the log stand beside the program.
  EXPECT_EQ(LogOf(dir.File("my tools/tavo.log")).size(), 3u);
}

TEST(ServiceE2ETest, ASecondStartIsRefusedWithoutTouchingTheLogFile) {
  TempDir dir;
  FakeSystemctl fake(dir);
  const std::string ini =
      dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n");
  const std::string log = dir.File("tavo.log");
  const std::string instance = "ServiceE2ETest-" + std::to_string(::getpid());
  const auto env = Env({"TAVO_INSTANCE=" + instance, "QT_QPA_PLATFORM=offscreen",
                        fake.SystemctlEnv(), fake.UnitDirEnv(), fake.PackageUnitDirEnv()});
  const std::vector<std::string> foreground = {TAVO_EXE, "--foreground", "--config", ini};

  auto first = std::make_unique<ChildProcess>(foreground, dir.File("first"), env);
  ASSERT_TRUE(WaitFor([&] { return HasLine(log, "Trace: Initialization done"); }, 20s))
      << first->Stderr();
  const std::string before = ReadWholeFile(log);

  const std::string refused = "App \"" + instance + "\" already running!\n";
  int n = 0;
  for (const std::vector<std::string>& argv :
       {foreground, {TAVO_EXE, "--config", ini}, {TAVO_EXE, "--config", ini, "-install"}}) {
    SCOPED_TRACE(argv.back());
    const RunResult r = RunProgram(argv, dir.File("second" + std::to_string(++n)), 20s, env);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, refused);
  }
  EXPECT_FALSE(FileExists(fake.UnitPath()));
  EXPECT_EQ(fake.Calls(), "");
  // --check starts nothing and takes no lock.
  const RunResult check =
      RunProgram({TAVO_EXE, "--check", "--config", ini}, dir.File("check"), 20s, env);
  EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  EXPECT_EQ(ReadWholeFile(log), before) << "no refused start wrote a line";

  // The kernel gives the name back even when the holder is killed.
  first->Signal(SIGKILL);
  ASSERT_TRUE(first->WaitExit(10s));
  first.reset();
  ChildProcess third(foreground, dir.File("third"), env);
  ASSERT_TRUE(WaitFor([&] { return CountLines(log, "Trace: Initialization done") == 2; }, 20s))
      << third.Stderr();
  third.Signal(SIGTERM);
  ASSERT_TRUE(third.WaitExit(10s));
  EXPECT_EQ(third.ExitStatus(), 0);
  EXPECT_EQ(LogOf(log).back(), "Info:  Service closed");
}

TEST(ServiceE2ETest, UnderTheServiceManagerItReportsReadyAndStoppingAndClosesTheLog) {
  TempDir dir;
  FakeSystemctl fake(dir);
  NotifySocket notify(dir.File("notify"));
  // The installed unit names the account we run as: the service route.
  dir.Write("units/ORVO_Tavo.service", "[Service]\nType=notify\nUser=" + ProcessUserName() + "\n");
  const std::string ini =
      dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n[General]\nCheckInterval=1\n");
  const std::string log = dir.File("tavo.log");
  ChildProcess tavo({TAVO_EXE, "--config", ini}, dir.File("tavo"),
                    Env({notify.Env(), fake.UnitDirEnv(), fake.PackageUnitDirEnv(),
                         fake.SystemctlEnv(), "QT_QPA_PLATFORM=offscreen"}));

  EXPECT_EQ(notify.Receive(20s), "STATUS=Start pending") << tavo.Stderr();
  EXPECT_EQ(notify.Receive(20s), "READY=1\nSTATUS=Running");
  EXPECT_TRUE(HasLine(log, "Trace: Initialization done")) << "ready after the start-up";
  tavo.Signal(SIGTERM);
  EXPECT_EQ(notify.Receive(10s), "STOPPING=1\nSTATUS=Stop pending");
  EXPECT_EQ(notify.Receive(10s), "STATUS=Stopped");
  ASSERT_TRUE(tavo.WaitExit(10s));
  EXPECT_EQ(tavo.ExitStatus(), 0) << tavo.Stderr();
  const auto lines = LogOf(log);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "Info:  Service start: Tavo V1.11.03 ");
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  EXPECT_EQ(fake.Calls(), "");
}

TEST(ServiceE2ETest, WithAWatchdogTheMainThreadSendsKeepAlivesAndNoneWithoutIt) {
  struct {
    const char* Name;
    std::vector<std::string> Watchdog;
    bool KeepAlives;
  } cases[] = {
      // 600 ms: a keep-alive every 200 ms.
      {"a watchdog", {"WATCHDOG_USEC=600000"}, true},
      {"a watchdog for us by pid", {"WATCHDOG_USEC=600000", "WATCHDOG_PID=self"}, true},
      {"no watchdog", {}, false},
      {"a watchdog for another process", {"WATCHDOG_USEC=600000", "WATCHDOG_PID=1"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    FakeSystemctl fake(dir);
    NotifySocket notify(dir.File("notify"));
    dir.Write("units/ORVO_Tavo.service",
              "[Service]\nType=notify\nUser=" + ProcessUserName() + "\n");
    const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
    std::vector<std::string> env = {notify.Env(), fake.UnitDirEnv(), fake.PackageUnitDirEnv(),
                                    fake.SystemctlEnv(), "QT_QPA_PLATFORM=offscreen"};
    bool selfPid = false;
    for (const std::string& v : c.Watchdog) {
      if (v == "WATCHDOG_PID=self")
        selfPid = true;
      else
        env.push_back(v);
    }
    // The pid is known only once the child runs: a shell sets it and execs.
    std::vector<std::string> argv = {TAVO_EXE, "--config", ini};
    if (selfPid)
      argv = {"/bin/sh", "-c", "WATCHDOG_PID=$$ exec \"$0\" \"$@\"", TAVO_EXE, "--config", ini};
    ChildProcess tavo(argv, dir.File("tavo"), Env(env));
    std::vector<std::string> reports;
    auto receiveUntil = [&](const std::string& aReport) {
      for (;;) {
        const auto r = notify.Receive(10s);
        if (!r)
          return false;
        reports.push_back(*r);
        if (*r == aReport)
          return true;
      }
    };
    ASSERT_TRUE(receiveUntil("READY=1\nSTATUS=Running")) << tavo.Stderr();
    std::this_thread::sleep_for(1s);
    tavo.Signal(SIGTERM);
    ASSERT_TRUE(receiveUntil("STATUS=Stopped"));
    ASSERT_TRUE(tavo.WaitExit(10s));
    const auto keepAlives = std::count(reports.begin(), reports.end(), "WATCHDOG=1");
    if (c.KeepAlives)
      EXPECT_GE(keepAlives, 2) << ::testing::PrintToString(reports);
    else
      EXPECT_EQ(keepAlives, 0) << ::testing::PrintToString(reports);
    EXPECT_EQ(LogOf(dir.File("tavo.log")).back(), "Info:  Service closed");
  }
}

TEST(ServiceE2ETest, AnyAccountWithoutAServiceManagerSaysSoAndEnds) {
  TempDir dir;
  const std::string ini = dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n");
  const RunResult r =
      RunProgram({TAVO_EXE, "/AnyAccount", "--config", ini}, dir.File("run"), 20s, Env({}));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err,
            "The service process could not connect to the service manager (NOTIFY_SOCKET is not "
            "set)\n");
  const auto lines = LogOf(dir.File("tavo.log"));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Info:  Service start: Tavo V1.11.03 ");
  EXPECT_EQ(lines.back(), "Info:  Service closed");
  EXPECT_FALSE(HasLine(dir.File("tavo.log"), "Trace: Initialization done"));
}

}  // namespace
}  // namespace tavo::test
