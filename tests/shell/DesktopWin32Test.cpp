// tavo.exe's desktop start under Wine on the virtual display: without
// switches it opens the console; a second start is refused with the box
// and ends; closing the window ends the first in order. The programs are
// started by the test, under an instance name of its own, and ended by it
// should anything go wrong.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "TestSupport.h"
#include "Win32Gui.h"
#include "platform/WideText.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

struct TWindowSearch {
  DWORD ProcessId;
  const wchar_t* Class;
  HWND Found = nullptr;
};

BOOL CALLBACK FindProcessWindow(HWND aWindow, LPARAM aSearch) {
  auto* search = reinterpret_cast<TWindowSearch*>(aSearch);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(aWindow, &pid);
  wchar_t name[64] = {};
  ::GetClassNameW(aWindow, name, 64);
  if (pid == search->ProcessId && ::IsWindowVisible(aWindow) &&
      ::lstrcmpW(name, search->Class) == 0) {
    search->Found = aWindow;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level window of aClass in the process, within aTimeout.
HWND WaitForWindow(DWORD aProcessId, const wchar_t* aClass, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  do {
    TWindowSearch search{aProcessId, aClass};
    ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    if (search.Found)
      return search.Found;
    ::Sleep(50);
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

// tavo.exe started by the test; ended by it when the test did not end it.
class TavoExe {
 public:
  explicit TavoExe(const std::string& aConfig) {
    std::wstring command =
        L"\"" + Utf8ToWide(TAVO_EXE) + L"\" --config \"" + Utf8ToWide(aConfig) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    fbStarted = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &fInfo) != FALSE;
  }
  ~TavoExe() {
    if (!fbStarted)
      return;
    if (::WaitForSingleObject(fInfo.hProcess, 0) == WAIT_TIMEOUT)
      ::TerminateProcess(fInfo.hProcess, 99);
    ::CloseHandle(fInfo.hThread);
    ::CloseHandle(fInfo.hProcess);
  }
  TavoExe(const TavoExe&) = delete;
  TavoExe& operator=(const TavoExe&) = delete;

  bool Started() const { return fbStarted; }
  DWORD Id() const { return fInfo.dwProcessId; }
  // The exit code within aTimeout; -1 while it still runs.
  long ExitCode(std::chrono::milliseconds aTimeout) const {
    if (::WaitForSingleObject(fInfo.hProcess, static_cast<DWORD>(aTimeout.count())) !=
        WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(fInfo.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION fInfo{};
  bool fbStarted = false;
};

bool LogHas(const TempDir& aDir, const std::string& aLine) {
  try {
    for (const std::string& line : LogLinesOf(ReadWholeFile(aDir.File("tavo.log")))) {
      if (line == aLine)
        return true;
    }
  } catch (...) {
  }
  return false;
}

TEST(DesktopWin32Test, DesktopStartASecondStartRefusedWithItsBoxAndClosingTheWindow) {
  ::SetEnvironmentVariableW(L"TAVO_INSTANCE", L"TavoDesktopTest");
  TempDir dir;
  const std::string config =
      dir.Write("tavo.ini", "[Logging]\nLevel=Trace\n[General]\nCheckInterval=0\n");

  TavoExe first(config);
  ASSERT_TRUE(first.Started());
  const HWND console = WaitForWindow(first.Id(), L"TfrmMain", 20s);
  ASSERT_NE(console, nullptr) << "no console window";
  EXPECT_EQ(WindowText(console), "Tavo V1.11.03 ");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!LogHas(dir, "Trace: Initialization done") && std::chrono::steady_clock::now() < deadline)
    ::Sleep(50);
  ASSERT_TRUE(LogHas(dir, "Trace: Initialization done"));

  TavoExe second(config);
  ASSERT_TRUE(second.Started());
  const HWND box = WaitForWindow(second.Id(), L"#32770", 20s);
  ASSERT_NE(box, nullptr) << "no box for the refused start";
  bool said = false;
  for (const std::string& text : ChildTexts(box, L"Static"))
    said = said || text == "App \"TavoDesktopTest\" already running!";
  EXPECT_TRUE(said);
  CloseDialog(box, true);
  EXPECT_EQ(second.ExitCode(10s), 1);
  EXPECT_EQ(WaitForWindow(second.Id(), L"TfrmMain", 0ms), nullptr)
      << "a refused start has no window";

  ::PostMessageW(console, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.ExitCode(20s), 0);
  const auto lines = LogLinesOf(ReadWholeFile(dir.File("tavo.log")));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Info:  Application closed");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Info:  ------------------------------"), 1)
      << "the refused start wrote nothing";
}

}  // namespace
}  // namespace tavo::test
