#include "platform/SystemLog.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

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

// Sources in use at once: the executable's and the service's name.
constexpr std::size_t kMaxSources = 4;

std::mutex gMutex;
std::string gIdent;
// Registered sources, the most recently used last.
std::vector<std::pair<std::string, HANDLE>> gSources;
ISystemLog* gInstalled = nullptr;

std::string DefaultIdent() {
  return ExtractFileName(ExecutablePath());
}

std::string SourceLocked(const std::string& aSource) {
  if (!aSource.empty())
    return aSource;
  return gIdent.empty() ? DefaultIdent() : gIdent;
}

void DeregisterAll() {
  for (const auto& source : gSources)
    ::DeregisterEventSource(source.second);
  gSources.clear();
}

// The event source's handle for aName, registered on first use; nullptr
// when the event log refuses it.
HANDLE SourceHandle(const std::string& aName) {
  for (auto it = gSources.begin(); it != gSources.end(); ++it) {
    if (it->first == aName) {
      std::rotate(it, it + 1, gSources.end());
      return gSources.back().second;
    }
  }
  const HANDLE handle = ::RegisterEventSourceW(nullptr, Utf8ToWide(aName).c_str());
  if (!handle)
    return nullptr;
  if (gSources.size() >= kMaxSources) {
    ::DeregisterEventSource(gSources.front().second);
    gSources.erase(gSources.begin());
  }
  gSources.emplace_back(aName, handle);
  return handle;
}

}  // namespace

void SetSystemLogIdent(const std::string& aIdent) {
  std::lock_guard lock(gMutex);
  gIdent = aIdent;
  DeregisterAll();
}

std::string SystemLogIdent() {
  std::lock_guard lock(gMutex);
  return gIdent;
}

std::string SystemLogSource(const std::string& aSource) {
  std::lock_guard lock(gMutex);
  return SourceLocked(aSource);
}

void SetSystemLog(ISystemLog* aLog) {
  gInstalled = aLog;
}

void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource) {
  if (gInstalled) {
    gInstalled->Write(aLevel, aText, SystemLogSource(aSource));
    return;
  }
  std::lock_guard lock(gMutex);
  const HANDLE source = SourceHandle(SourceLocked(aSource));
  if (!source)
    return;
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
  ::ReportEventW(source, type, 0, id, nullptr, 1, 0, strings, nullptr);
}

}  // namespace tavo
