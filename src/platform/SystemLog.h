#pragma once
// The system log: syslog(3), which journald collects; on Windows the event
// log (ReportEventW, the Application log), with a message table linked into
// every program so that the Event Viewer shows the text. Where no system log
// runs, entries are dropped silently, which is why callers that must be
// heard also write to standard error. Any thread; tests install a log that
// records.

#include <string>

namespace tavo {

enum class TSysLogLevel { eInfo, eWarning, eError };

// Sets the identifier entries carry by default (default: the executable's
// file name, on Windows with its extension: the event source "tavo.exe").
void SetSystemLogIdent(const std::string& aIdent);
// The identifier set, or empty for the default.
std::string SystemLogIdent();
// The identifier an entry with aSource carries: aSource, or when that is
// empty the one set above, or the executable's file name.
std::string SystemLogSource(const std::string& aSource = {});
// An entry under aSource (empty: the default identifier). The service host
// writes under the executable's name and the service object under the
// service's name, so an operator can tell whose entry it is.
void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource = {});

class ISystemLog {
 public:
  virtual ~ISystemLog() = default;
  // aSource as SystemLogSource resolved it.
  virtual void Write(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource) = 0;
};
// Installs aLog (not owned) for every entry; nullptr restores the system's.
// Only while no other thread writes.
void SetSystemLog(ISystemLog* aLog);

}  // namespace tavo
