#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "platform/Paths.h"
#include "platform/ProcessControl.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

TWin32ProcessControl gWin32Control;
IProcessControl* gControl = &gWin32Control;

// The exit code a terminated client shows, as Task Manager's "End task" gives.
constexpr UINT kTerminatedExitCode = 1;

// Windows compares file names ordinally, ignoring case, over all of
// Unicode rather than ASCII alone.
bool SameFileName(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty())
    return false;
  const std::wstring wa = Utf8ToWide(a);
  const std::wstring wb = Utf8ToWide(b);
  return ::CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

class THandleEndingProcess final : public IEndingProcess {
 public:
  explicit THandleEndingProcess(HANDLE aProcess) : fhProcess(aProcess) {}
  ~THandleEndingProcess() override { ::CloseHandle(fhProcess); }
  THandleEndingProcess(const THandleEndingProcess&) = delete;
  THandleEndingProcess& operator=(const THandleEndingProcess&) = delete;

  bool EndForGood() override {
    if (::WaitForSingleObject(fhProcess, 0) != WAIT_TIMEOUT)
      return false;  // the request's termination has taken effect
    // TerminateProcess only starts the end; one that has not finished in a
    // whole cycle is asked again and waited for, so that the program started
    // next does not meet its old process.
    if (!::TerminateProcess(fhProcess, kTerminatedExitCode))
      return false;
    ::WaitForSingleObject(fhProcess, kEndWaitMs);
    return true;
  }

 private:
  HANDLE fhProcess;
};

}  // namespace

std::vector<TProcessEntry> TWin32ProcessControl::Snapshot() {
  std::vector<TProcessEntry> processes;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return processes;
  const DWORD self = ::GetCurrentProcessId();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    // Pid 0 is the idle process, which runs no executable.
    if (entry.th32ProcessID == 0 || entry.th32ProcessID == self || entry.szExeFile[0] == L'\0')
      continue;
    TProcessEntry p;
    p.Pid = static_cast<int>(entry.th32ProcessID);
    p.ExePath = WideToUtf8(entry.szExeFile);
    processes.push_back(std::move(p));
  }
  ::CloseHandle(snapshot);
  return processes;
}

TEndRequest TWin32ProcessControl::RequestEnd(int aPid) {
  TEndRequest request;
  if (aPid <= 0 || aPid == CurrentProcessId()) {
    request.Error = ERROR_ACCESS_DENIED;
    return request;
  }
  // One handle for both steps: it keeps naming this process even after its
  // pid has been handed to another one.
  const HANDLE process =
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(aPid));
  if (!process) {
    const DWORD err = ::GetLastError();
    // A pid that names no process any more: gone already counts as ended.
    request.Error = err == ERROR_INVALID_PARAMETER ? 0 : static_cast<int>(err);
    return request;
  }
  if (!::TerminateProcess(process, kTerminatedExitCode)) {
    const DWORD err = ::GetLastError();
    // Ended between the snapshot and now: access is denied to a process
    // that is already exiting.
    const bool gone = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    request.Error = gone ? 0 : static_cast<int>(err);
    return request;
  }
  request.Process = std::make_unique<THandleEndingProcess>(process);
  return request;
}

IProcessControl& ProcessControl() {
  return *gControl;
}
void SetProcessControl(IProcessControl* aControl) {
  gControl = aControl ? aControl : &gWin32Control;
}

int CurrentProcessId() {
  return static_cast<int>(::GetCurrentProcessId());
}

// --- TExecutableMatcher -------------------------------------------------------

TExecutableMatcher::TExecutableMatcher(const std::string& aExecutable)
    : fsFileName(ExtractFileName(aExecutable)) {}

bool TExecutableMatcher::IsInterpreter(const TProcessEntry&) const {
  return false;
}

bool TExecutableMatcher::RunsScript(const TProcessEntry&) const {
  return false;
}

bool TExecutableMatcher::Matches(const TProcessEntry& aProcess) const {
  return SameFileName(ExtractFileName(aProcess.ExePath), fsFileName);
}

}  // namespace tavo
