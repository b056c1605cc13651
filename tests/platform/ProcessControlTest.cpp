#include "platform/ProcessControl.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/Files.h"

namespace tavo {
namespace {

using test::TempDir;

std::string Executable(const TempDir& aDir, const std::string& aName, const std::string& aText) {
  const std::string path = aDir.Write(aName, aText);
  ::chmod(path.c_str(), 0755);
  return path;
}

TProcessEntry Process(const std::string& aExe, std::vector<std::string> aArgs = {},
                      const std::string& aCwd = "/") {
  TProcessEntry p;
  p.Pid = 4242;
  p.ExePath = aExe;
  p.Args = std::move(aArgs);
  p.Cwd = aCwd;
  return p;
}

TEST(ExecutableMatcherTest, ProgramsMatchByFileNameIgnoringCaseAnywhere) {
  TempDir dir;
  const std::string program = Executable(dir, "Agent.bin",
                                         "\x7f"
                                         "ELF not really");
  const TExecutableMatcher m(program);
  EXPECT_TRUE(m.Matches(Process(program)));
  EXPECT_TRUE(m.Matches(Process("/opt/other/AGENT.BIN")));
  EXPECT_FALSE(m.Matches(Process("/opt/other/Agent.bin2")));
  EXPECT_FALSE(m.Matches(Process("/usr/bin/dash", {"/bin/sh", program})));
  // A path that is not there still matches by name (the caller checks it exists).
  EXPECT_TRUE(TExecutableMatcher(dir.File("gone/agent.bin")).Matches(Process(program)));
}

TEST(ExecutableMatcherTest, ScriptsMatchOnlyTheirInterpreterRunningThatScript) {
  TempDir dir;
  const std::string script = Executable(dir, "watch.sh", "#!/bin/sh -e\nsleep 1\n");
  const std::string copy = Executable(dir, "other.sh", "#!/bin/sh -e\nsleep 1\n");
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath("/bin/sh", resolved), nullptr);
  const std::string interpreter = resolved;
  const TExecutableMatcher m(script);

  struct Case {
    TProcessEntry P;
    bool Expected;
    const char* What;
  };
  const Case cases[] = {
      {Process(interpreter, {"/bin/sh", "-e", script}), true, "as the kernel starts it"},
      {Process(interpreter, {"sh", "watch.sh"}, dir.Path()), true, "relative to its folder"},
      {Process(interpreter, {"sh", "./sub/../watch.sh"}, dir.Path()), false, "no such folder"},
      {Process(interpreter, {"sh", "watch.sh"}, ""), false, "folder unknown"},
      {Process(interpreter, {"/bin/sh", copy}), false, "another script"},
      {Process(interpreter, {"/bin/sh", "-c", "sleep 9"}), false, "a command string"},
      {Process(interpreter, {"/bin/sh"}), false, "the interpreter alone"},
      {Process("/usr/bin/vi", {"vi", script}), false, "an editor on the script"},
      {Process(dir.File("WATCH.SH")), true, "a program of the script's name"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(m.Matches(c.P), c.Expected) << c.What;
}

// A process runs what a link leads to: the configured link is matched by
// its target's name, and a link to a script by the script it leads to.
TEST(ExecutableMatcherTest, LinksAreResolvedBeforeTheNameIsTaken) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("bin").c_str(), 0755), 0);
  const std::string program = Executable(dir, "bin/Agent.bin",
                                         "\x7f"
                                         "ELF not really");
  const std::string script = Executable(dir, "bin/watch.sh", "#!/bin/sh\nsleep 1\n");
  ASSERT_EQ(::symlink("bin/Agent.bin", dir.File("agent").c_str()), 0);
  ASSERT_EQ(::symlink(script.c_str(), dir.File("watch").c_str()), 0);
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath("/bin/sh", resolved), nullptr);
  const TExecutableMatcher linkedProgram(dir.File("agent"));
  const TExecutableMatcher linkedScript(dir.File("watch"));

  struct Case {
    const TExecutableMatcher& M;
    TProcessEntry P;
    bool Expected;
    const char* What;
  };
  const Case cases[] = {
      {linkedProgram, Process(program), true, "the target"},
      {linkedProgram, Process("/opt/other/AGENT.BIN"), true, "the target's name elsewhere"},
      {linkedProgram, Process("/opt/other/agent"), false, "the link's name"},
      {linkedScript, Process(resolved, {"/bin/sh", dir.File("watch")}), true, "run by the link"},
      {linkedScript, Process(resolved, {"/bin/sh", script}), true, "run by its own path"},
      {linkedScript, Process(dir.File("watch.sh")), true, "a program of the script's name"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.M.Matches(c.P), c.Expected) << c.What;
}

TEST(ExecutableMatcherTest, EnvShebangNamesTheInterpreter) {
  TempDir dir;
  const std::string script = Executable(dir, "job", "#!/usr/bin/env -S sh -e\nsleep 1\n");
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath("/bin/sh", resolved), nullptr);
  const TExecutableMatcher m(script);
  EXPECT_TRUE(m.Matches(Process(resolved, {"sh", "-e", script})));
  EXPECT_FALSE(m.Matches(Process(resolved, {"sh", "-e", "/etc/hostname"})));
  EXPECT_FALSE(m.Matches(Process("/usr/bin/env", {"env", "job"})));
}

TEST(LinuxProcessControlTest, SnapshotListsOurChildButNeverUs) {
  TempDir dir;
  test::ChildProcess child({"/bin/sleep", "30"}, dir.File("sleep"));
  TLinuxProcessControl control;
  std::vector<TProcessEntry> snapshot;
  ASSERT_TRUE(test::WaitFor(
      [&] {
        snapshot = control.Snapshot();
        return std::any_of(snapshot.begin(), snapshot.end(), [&](const TProcessEntry& p) {
          return p.Pid == child.Pid() && !p.Args.empty() && p.Args[0] == "/bin/sleep";
        });
      },
      test::kProcessWait));
  const auto it = std::find_if(snapshot.begin(), snapshot.end(),
                               [&](const TProcessEntry& p) { return p.Pid == child.Pid(); });
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath("/bin/sleep", resolved), nullptr);
  EXPECT_EQ(it->ExePath, resolved);
  EXPECT_EQ(it->Args, (std::vector<std::string>{"/bin/sleep", "30"}));
  EXPECT_FALSE(it->Cwd.empty());
  EXPECT_TRUE(std::none_of(snapshot.begin(), snapshot.end(),
                           [](const TProcessEntry& p) { return p.Pid == CurrentProcessId(); }));
}

TEST(LinuxProcessControlTest, RequestEndRefusesUsAndGroupsAndTakesGoneAsEnded) {
  TempDir dir;
  test::ChildProcess child({"/bin/sleep", "30"}, dir.File("sleep"));
  TLinuxProcessControl control;
  for (const int pid : {CurrentProcessId(), 0, -1}) {
    const TEndRequest refused = control.RequestEnd(pid);
    EXPECT_EQ(refused.Error, EPERM) << pid;
    EXPECT_EQ(refused.Process, nullptr) << pid;
  }
  TEndRequest asked = control.RequestEnd(child.Pid());
  EXPECT_EQ(asked.Error, 0);
  ASSERT_NE(asked.Process, nullptr);
  ASSERT_TRUE(child.WaitExit(test::kProcessWait));
  EXPECT_EQ(child.ExitStatus(), -SIGTERM);
  EXPECT_FALSE(asked.Process->EndForGood());  // nothing left to end
  // Gone and reaped: already gone counts as ended.
  const TEndRequest gone = control.RequestEnd(child.Pid());
  EXPECT_EQ(gone.Error, 0);
  EXPECT_EQ(gone.Process, nullptr);
}

// SIGTERM first; the final step kills only what is still there, and a
// program that ends on SIGTERM by itself never sees SIGKILL.
TEST(LinuxProcessControlTest, EndForGoodKillsOnlyWhatOutlivedTheRequest) {
  struct Case {
    const char* What;
    std::string Trap;  // the shell's answer to SIGTERM
    bool Killed;       // EndForGood had to end it
    int Status;        // as ChildProcess::ExitStatus
  };
  const Case cases[] = {
      {"default action", "", false, -SIGTERM},
      {"exits cleanly", "trap 'echo term > term; exit 0' TERM;", false, 0},
      {"carries on", "trap 'echo term > term' TERM;", true, -SIGKILL},
  };
  TLinuxProcessControl control;
  for (const Case& c : cases) {
    TempDir dir;
    const std::string script = "cd '" + dir.Path() + "'; " + c.Trap +
                               " echo > ready; i=0; "
                               "while [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done";
    test::ChildProcess child({"/bin/sh", "-c", script}, dir.File("sh"));
    ASSERT_TRUE(test::WaitFor([&] { return FileExists(dir.File("ready")); }, test::kProcessWait))
        << c.What;
    TEndRequest request = control.RequestEnd(child.Pid());
    ASSERT_EQ(request.Error, 0) << c.What;
    ASSERT_NE(request.Process, nullptr) << c.What;
    if (c.Killed) {
      // It has had the signal and goes on.
      ASSERT_TRUE(test::WaitFor([&] { return FileExists(dir.File("term")); }, test::kProcessWait));
      EXPECT_TRUE(child.Running()) << c.What;
    } else {
      ASSERT_TRUE(child.WaitExit(test::kProcessWait)) << c.What;
    }
    EXPECT_EQ(request.Process->EndForGood(), c.Killed) << c.What;
    ASSERT_TRUE(child.WaitExit(test::kProcessWait)) << c.What;
    EXPECT_EQ(child.ExitStatus(), c.Status) << c.What;
    EXPECT_EQ(FileExists(dir.File("term")), !c.Trap.empty()) << c.What;
  }
}

// The tests' clean-up helper: it ends what it was given through the pidfd it
// took then, and ignores pids that name nothing.
TEST(KillOnExitTest, EndsTheProcessesItWasGiven) {
  TempDir dir;
  test::ChildProcess child({"/bin/sleep", "30"}, dir.File("sleep"));
  {
    test::KillOnExit cleanup;
    cleanup.Add(child.Pid());
    cleanup.Add(0);
    cleanup.Add(-1);
  }
  ASSERT_TRUE(child.WaitExit(test::kProcessWait));
  EXPECT_EQ(child.ExitStatus(), -SIGKILL);
}

}  // namespace
}  // namespace tavo
