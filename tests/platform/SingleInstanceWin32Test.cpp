// The single instance on Windows: the named mutex is seen by every process
// and freed with its holder, whether it lets go or just ends. The other
// process is this test program again, running only the probe below.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/SingleInstance.h"

namespace tavo {
namespace {

constexpr wchar_t kProbeName[] = L"TAVO_TEST_PROBE_NAME";
constexpr wchar_t kProbeHolds[] = L"TAVO_TEST_PROBE_HOLDS";
// The probe's exit codes.
constexpr DWORD kProbeAcquired = 10;
constexpr DWORD kProbeTaken = 11;
constexpr DWORD kProbeFailed = 12;

std::string Name(const std::string& aSuffix) {
  return "SingleInstanceWin32Test-" + std::to_string(::GetCurrentProcessId()) + "-" + aSuffix;
}

std::wstring Wide(const std::string& aAscii) {
  return std::wstring(aAscii.begin(), aAscii.end());
}

// Runs the probe in a process of its own on aName; with aHold it ends
// without letting go. Its exit code, or 0 when it did not run or end.
DWORD RunProbe(const std::string& aName, bool aHold = false) {
  wchar_t self[MAX_PATH];
  if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
    return 0;
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=SingleInstanceProbe.Acquire";
  ::SetEnvironmentVariableW(kProbeName, Wide(aName).c_str());
  ::SetEnvironmentVariableW(kProbeHolds, aHold ? L"1" : nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &si, &pi);
  ::SetEnvironmentVariableW(kProbeName, nullptr);
  ::SetEnvironmentVariableW(kProbeHolds, nullptr);
  if (!started)
    return 0;
  DWORD code = 0;
  if (::WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(pi.hProcess, &code);
  } else {
    ::TerminateProcess(pi.hProcess, 1);  // ours, started above
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return code;
}

TEST(SingleInstanceTest, AnotherProcessFindsTheNameTakenUntilItsHolderLetsGoOrEnds) {
  const std::string name = Name("process");
  TSingleInstanceLock lock;
  ASSERT_EQ(lock.Acquire(name), 0);
  EXPECT_EQ(RunProbe(name), kProbeTaken);
  lock.Release();
  EXPECT_EQ(RunProbe(name), kProbeAcquired);

  // A holder that ends without letting go frees the name all the same.
  EXPECT_EQ(RunProbe(name, true), kProbeAcquired);
  EXPECT_EQ(lock.Acquire(name), 0);
}

// The other process's side; skipped unless RunProbe started it.
TEST(SingleInstanceProbe, Acquire) {
  wchar_t name[256];
  const DWORD n = ::GetEnvironmentVariableW(kProbeName, name, 256);
  if (n == 0 || n >= 256)
    GTEST_SKIP() << "run by the test above";
  TSingleInstanceLock lock;
  const int result = lock.Acquire(std::string(name, name + n));
  const DWORD code = result == 0                             ? kProbeAcquired
                     : result == TSingleInstanceLock::kTaken ? kProbeTaken
                                                             : kProbeFailed;
  if (::GetEnvironmentVariableW(kProbeHolds, name, 256) == 0)
    lock.Release();
  // At once, past gtest's own end, which would overwrite the code.
  ::ExitProcess(code);
}

}  // namespace
}  // namespace tavo
