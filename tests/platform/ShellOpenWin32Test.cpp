#include <windows.h>

#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "ScratchFolder.h"
#include "platform/ShellOpen.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// The shell starts a program; it is ended again through the handle taken
// once it has written its pid.
TEST(Win32ShellOpenerTest, AProgramIsStarted) {
  test::ScratchFolder dir;
  const std::string program = dir.File("Opened Sleeper.exe");  // a blank to quote
  test::CopyExecutable(test::SleeperPath(), program);
  test::KillOnExit cleanup;
  const TShellResult r = TWin32ShellOpener().Open(program);
  EXPECT_TRUE(r.Success);
  EXPECT_EQ(r.ErrorCode, 0);
  const int pid = test::WaitForPidFile(program + ".pid");
  EXPECT_GT(pid, 0);
  cleanup.Add(pid);
}

TEST(Win32ShellOpenerTest, ABareNameRunsTheFileInOurFolder) {
  test::ScratchFolder dir;
  const std::string program = dir.File("tavo-bare.exe");
  test::CopyExecutable(test::SleeperPath(), program);
  wchar_t old[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, old), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
  test::KillOnExit cleanup;
  const TShellResult r = TWin32ShellOpener().Open("tavo-bare.exe");
  ::SetCurrentDirectoryW(old);
  EXPECT_TRUE(r.Success);
  const int pid = test::WaitForPidFile(program + ".pid");
  EXPECT_GT(pid, 0);
  cleanup.Add(pid);
}

TEST(Win32ShellOpenerTest, FailuresCarryTheSystemsCode) {
  test::ScratchFolder dir;
  const TShellResult missing = TWin32ShellOpener().Open(dir.File("missing.exe"));
  EXPECT_FALSE(missing.Success);
  EXPECT_EQ(missing.ErrorCode, ERROR_FILE_NOT_FOUND);
  const TShellResult empty = TWin32ShellOpener().Open("");
  EXPECT_FALSE(empty.Success);
  EXPECT_NE(empty.ErrorCode, 0);
}

}  // namespace
}  // namespace tavo
