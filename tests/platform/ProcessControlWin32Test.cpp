#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "ScratchFolder.h"
#include "platform/ChildProcess.h"
#include "platform/ProcessControl.h"

namespace tavo {
namespace {

TProcessEntry Process(const std::string& aExe) {
  TProcessEntry p;
  p.Pid = 4242;
  p.ExePath = aExe;
  return p;
}

TEST(ExecutableMatcherTest, ProgramsMatchByFileNameAsWindowsComparesThem) {
  const TExecutableMatcher m("C:\\Tools\\Agent.exe");
  struct Case {
    const char* Exe;
    bool Expected;
  };
  const Case cases[] = {
      {"Agent.exe", true},   {"AGENT.EXE", true},
      {"agent.exe", true},   {"D:\\other\\agent.exe", true},
      {"Agent.exe2", false}, {"Agent", false},
      {"xAgent.exe", false}, {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(m.Matches(Process(c.Exe)), c.Expected) << c.Exe;
  // Any folder form names the same file name; case folds beyond ASCII.
  for (const char* program :
       {"agent.exe", "C:agent.exe", "\\\\host\\share\\agent.exe", "relative/dir/agent.exe"}) {
    EXPECT_TRUE(TExecutableMatcher(program).Matches(Process("Agent.exe"))) << program;
  }
  EXPECT_TRUE(TExecutableMatcher("C:\\\xc3\x84rger.exe").Matches(Process("\xc3\xa4RGER.EXE")));
  EXPECT_FALSE(TExecutableMatcher("C:\\").Matches(Process("")));
}

TEST(Win32ProcessControlTest, RequestEndRefusesUsAndPidsBelowOne) {
  TWin32ProcessControl control;
  for (const int pid : {CurrentProcessId(), 0, -1}) {
    const TEndRequest refused = control.RequestEnd(pid);
    EXPECT_EQ(refused.Error, ERROR_ACCESS_DENIED) << pid;
    EXPECT_EQ(refused.Process, nullptr) << pid;
  }
}

// A copy of the sleeper under a name of its own, started by the test: the
// snapshot finds it by that name and the request ends it at once.
TEST(Win32ProcessControlTest, AProgramStartedHereIsFoundByNameAndTerminated) {
  test::ScratchFolder dir;
  const std::string program =
      dir.File("TavoSleeper-" + std::to_string(CurrentProcessId()) + ".exe");
  test::CopyExecutable(test::SleeperPath(), program);
  test::KillOnExit cleanup;
  ASSERT_EQ(SpawnDetached({program}), 0);
  const int pid = test::WaitForPidFile(program + ".pid");
  ASSERT_GT(pid, 0);
  cleanup.Add(pid);

  TWin32ProcessControl control;
  const TExecutableMatcher matcher(program);
  std::vector<TProcessEntry> found;
  for (const TProcessEntry& p : control.Snapshot()) {
    EXPECT_NE(p.Pid, CurrentProcessId());
    if (matcher.Matches(p))
      found.push_back(p);
  }
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Pid, pid);
  EXPECT_EQ(found[0].ExePath, "TavoSleeper-" + std::to_string(CurrentProcessId()) + ".exe");

  TEndRequest request = control.RequestEnd(pid);
  EXPECT_EQ(request.Error, 0);
  ASSERT_NE(request.Process, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + test::kProcessWait;
  while (!test::ProcessGone(pid) && std::chrono::steady_clock::now() < deadline)
    ::Sleep(10);
  EXPECT_TRUE(test::ProcessGone(pid));
  EXPECT_FALSE(request.Process->EndForGood());  // nothing left to end
  const auto snapshot = control.Snapshot();
  EXPECT_TRUE(std::none_of(snapshot.begin(), snapshot.end(),
                           [&](const TProcessEntry& p) { return matcher.Matches(p); }));
}

}  // namespace
}  // namespace tavo
