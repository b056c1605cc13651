#include <windows.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "ProcessTestSupport.h"

namespace tavo::test {
namespace {

std::filesystem::path Utf8Path(const std::string& aPath) {
  return std::filesystem::path(std::u8string(aPath.begin(), aPath.end()));
}

}  // namespace

int WaitForPidFile(const std::string& aMarker, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    int pid = -1;
    std::ifstream in(Utf8Path(aMarker));
    if (in >> pid && pid > 0)
      return pid;
    if (std::chrono::steady_clock::now() >= deadline)
      return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ProcessGone(int aPid) {
  if (aPid <= 0)
    return true;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(aPid));
  if (!process)
    return ::GetLastError() == ERROR_INVALID_PARAMETER;
  // An ended process stays known while someone holds a handle on it.
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

void CopyExecutable(const std::string& aFrom, const std::string& aTo) {
  std::filesystem::copy_file(Utf8Path(aFrom), Utf8Path(aTo),
                             std::filesystem::copy_options::overwrite_existing);
}

// Beside the tests' folders: build-windows/tests/support/, where this
// module's sleeper is built, seen from build-windows/tests/<layer>/.
std::string SleeperPath() {
  std::wstring self(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (n == 0 || n >= self.size())
    throw std::runtime_error("GetModuleFileNameW failed");
  self.resize(n);
  const std::filesystem::path sleeper =
      std::filesystem::path(self).parent_path().parent_path() / "support" / "tavo_test_sleeper.exe";
  const std::u8string text = sleeper.lexically_normal().u8string();
  return std::string(text.begin(), text.end());
}

void KillOnExit::Add(int aPid) {
  if (aPid <= 0)
    return;
  const HANDLE process =
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(aPid));
  if (!process) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_INVALID_PARAMETER)
      return;  // already gone: nothing to end
    throw std::runtime_error("OpenProcess(" + std::to_string(aPid) +
                             ") failed: " + std::to_string(error));
  }
  fPidFds.push_back(reinterpret_cast<std::intptr_t>(process));
}

KillOnExit::~KillOnExit() {
  for (const std::intptr_t value : fPidFds) {
    const auto process = reinterpret_cast<HANDLE>(value);
    ::TerminateProcess(process, 1);
    // Its executable stays locked until it has gone, and the test's folder
    // goes next.
    ::WaitForSingleObject(process, 5000);
    ::CloseHandle(process);
  }
}

}  // namespace tavo::test
