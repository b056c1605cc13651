#include "platform/SystemLog.h"

#include <windows.h>

#include <mutex>

#include "platform/Paths.h"
#include "platform/WideText.h"

namespace tavo {
namespace {

// The ids of SystemLogMessages.mc, severity bits included: the Event Viewer
// looks an entry's text up by the whole id.
constexpr DWORD kEventInfo = 0x40000001;
constexpr DWORD kEventWarning = 0x80000002;
constexpr DWORD kEventError = 0xC0000003;

// ReportEventW takes at most 31,839 characters per string.
constexpr std::size_t kMaxEventText = 31000;

std::mutex gMutex;
std::string gIdent;
HANDLE ghSource = nullptr;  // registered under gIdent, or the default
ISystemLog* gInstalled = nullptr;

std::string DefaultIdent() {
  const std::string name = ExtractFileName(ExecutablePath());
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

void SetSystemLogIdent(const std::string& aIdent) {
  std::lock_guard lock(gMutex);
  gIdent = aIdent;
  if (ghSource) {
    ::DeregisterEventSource(ghSource);
    ghSource = nullptr;
  }
}

std::string SystemLogIdent() {
  std::lock_guard lock(gMutex);
  return gIdent;
}

void SetSystemLog(ISystemLog* aLog) {
  gInstalled = aLog;
}

void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText) {
  if (gInstalled) {
    gInstalled->Write(aLevel, aText);
    return;
  }
  std::lock_guard lock(gMutex);
  if (!ghSource) {
    const std::string ident = gIdent.empty() ? DefaultIdent() : gIdent;
    ghSource = ::RegisterEventSourceW(nullptr, Utf8ToWide(ident).c_str());
    if (!ghSource)
      return;
  }
  std::wstring text = Utf8ToWide(aText.substr(0, kMaxEventText));
  // The Event Viewer reads "%%n" in an insert as a parameter message to
  // look up: a received text must not pick what it shows.
  for (std::size_t at = text.find(L"%%"); at != std::wstring::npos; at = text.find(L"%%", at + 2))
    text.insert(at + 1, 1, L' ');
  const wchar_t* strings[] = {text.c_str()};
  const WORD type = aLevel == TSysLogLevel::eError     ? EVENTLOG_ERROR_TYPE
                    : aLevel == TSysLogLevel::eWarning ? EVENTLOG_WARNING_TYPE
                                                       : EVENTLOG_INFORMATION_TYPE;
  const DWORD id = aLevel == TSysLogLevel::eError     ? kEventError
                   : aLevel == TSysLogLevel::eWarning ? kEventWarning
                                                      : kEventInfo;
  ::ReportEventW(ghSource, type, 0, id, nullptr, 1, 0, strings, nullptr);
}

}  // namespace tavo
