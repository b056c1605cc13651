#pragma once
// The system log: syslog(3), which journald collects. Where no system log
// runs, entries are dropped silently, which is why callers that must be
// heard also write to standard error.

#include <string>

namespace tavo {

enum class TSysLogLevel { eInfo, eWarning, eError };

// Sets the identifier entries carry (default: the executable's file name).
void SetSystemLogIdent(const std::string& aIdent);
void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText);

}  // namespace tavo
