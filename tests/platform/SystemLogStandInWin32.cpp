// Until the event log's Windows half is built: the default escaped-error
// handler (platform/MainLoop.cpp) writes to the system log, so the main
// loop's test needs one to link. Entries go to standard error.

#include <cstdio>

#include "platform/SystemLog.h"

namespace tavo {

void SetSystemLogIdent(const std::string&) {}

void WriteSystemLog(TSysLogLevel, const std::string& aText) {
  std::fprintf(stderr, "system log: %s\n", aText.c_str());
}

}  // namespace tavo
