#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "ScratchFolder.h"
#include "platform/ChildProcess.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// What the program's C runtime makes of the command line again.
std::vector<std::string> SplitAsWindowsDoes(const std::string& aLine) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(Utf8ToWide(aLine).c_str(), &count);
  std::vector<std::string> args;
  for (int i = 0; argv && i < count; ++i)
    args.push_back(WideToUtf8(argv[i]));
  ::LocalFree(argv);
  return args;
}

TEST(ChildProcessWin32Test, TheCommandLineGivesEveryArgumentBack) {
  const std::vector<std::string> cases[] = {
      {"C:\\Program Files\\Agent\\agent.exe", "plain", "with blank", ""},
      {"agent", "a\"b", "\"", "\\\"", "trailing\\", "two\\\\", "c:\\dir\\", "c:\\dir with blank\\"},
      {"agent", "tab\there", "a\\\\\"b", "\\\\\\", "\xc3\xa4 \xe2\x82\xac"},
  };
  for (const auto& argv : cases)
    EXPECT_EQ(SplitAsWindowsDoes(QuotedCommandLine(argv)), argv) << QuotedCommandLine(argv);
  EXPECT_EQ(QuotedCommandLine({"cmd", "/c", "echo"}), "cmd /c echo");
}

TEST(ChildProcessWin32Test, RunProcessGivesOutputAndExitStatus) {
  const TRunResult echo = RunProcess({"cmd", "/c", "echo one two"}, 30000, true);
  EXPECT_EQ(echo.Error, 0);
  EXPECT_EQ(echo.ExitStatus, 0);
  EXPECT_EQ(echo.Output, "one two\r\n");
  const TRunResult status = RunProcess({"cmd", "/c", "exit 7"}, 30000);
  EXPECT_EQ(status.Error, 0);
  EXPECT_EQ(status.ExitStatus, 7);
  EXPECT_EQ(status.Output, "");
}

TEST(ChildProcessWin32Test, FailuresAndTimeOuts) {
  test::ScratchFolder dir;
  EXPECT_EQ(RunProcess({dir.File("missing.exe")}, 1000).Error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RunProcess({"tavo-no-such-program"}, 1000).Error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SpawnDetached({"tavo-no-such-program"}), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SpawnDetached({}), ERROR_INVALID_PARAMETER);
  int error = 0;
  EXPECT_EQ(FindProgram("tavo-no-such-program", &error), "");
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FindProgram("cmd").empty());

  // The sleeper would sleep a minute: cut off, and gone when the call returns.
  const std::string program = dir.File("slow.exe");
  test::CopyExecutable(test::SleeperPath(), program);
  const TRunResult slow = RunProcess({program}, 300);
  EXPECT_EQ(slow.Error, ETIMEDOUT);
  const int pid = test::WaitForPidFile(program + ".pid", std::chrono::milliseconds(0));
  if (pid > 0) {
    EXPECT_TRUE(test::ProcessGone(pid));
  }
}

}  // namespace
}  // namespace tavo
