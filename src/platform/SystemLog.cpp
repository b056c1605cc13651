#include "platform/SystemLog.h"

#include <errno.h>
#include <syslog.h>

#include <mutex>

namespace tavo {
namespace {
std::mutex gMutex;
std::string gIdent;
// openlog keeps the pointer: the text must outlive the next openlog.
std::string gOpenIdent;
bool gOpen = false;
ISystemLog* gInstalled = nullptr;

std::string SourceLocked(const std::string& aSource) {
  if (!aSource.empty())
    return aSource;
  return gIdent.empty() ? std::string(program_invocation_short_name) : gIdent;
}
}  // namespace

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

void SetSystemLogIdent(const std::string& aIdent) {
  std::lock_guard lock(gMutex);
  gIdent = aIdent;
}

void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText, const std::string& aSource) {
  if (gInstalled) {
    gInstalled->Write(aLevel, aText, SystemLogSource(aSource));
    return;
  }
  std::lock_guard lock(gMutex);
  // syslog has one identifier per process: an entry under another one
  // opens the log again under it.
  const std::string ident = SourceLocked(aSource);
  if (!gOpen || ident != gOpenIdent) {
    gOpenIdent = ident;
    ::openlog(gOpenIdent.c_str(), LOG_PID, LOG_DAEMON);
    gOpen = true;
  }
  const int prio = aLevel == TSysLogLevel::eError     ? LOG_ERR
                   : aLevel == TSysLogLevel::eWarning ? LOG_WARNING
                                                      : LOG_INFO;
  ::syslog(prio, "%s", aText.c_str());
}

}  // namespace tavo
