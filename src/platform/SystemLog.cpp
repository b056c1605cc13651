#include "platform/SystemLog.h"

#include <syslog.h>

#include <mutex>

namespace tavo {
namespace {
std::mutex gMutex;
std::string gIdent;  // openlog keeps the pointer: the text must outlive it
bool gOpen = false;
ISystemLog* gInstalled = nullptr;
}  // namespace

std::string SystemLogIdent() {
  std::lock_guard lock(gMutex);
  return gIdent;
}

void SetSystemLog(ISystemLog* aLog) {
  gInstalled = aLog;
}

void SetSystemLogIdent(const std::string& aIdent) {
  std::lock_guard lock(gMutex);
  gIdent = aIdent;
  ::openlog(gIdent.c_str(), LOG_PID, LOG_DAEMON);
  gOpen = true;
}

void WriteSystemLog(TSysLogLevel aLevel, const std::string& aText) {
  if (gInstalled) {
    gInstalled->Write(aLevel, aText);
    return;
  }
  std::lock_guard lock(gMutex);
  if (!gOpen) {
    ::openlog(nullptr, LOG_PID, LOG_DAEMON);
    gOpen = true;
  }
  const int prio = aLevel == TSysLogLevel::eError     ? LOG_ERR
                   : aLevel == TSysLogLevel::eWarning ? LOG_WARNING
                                                      : LOG_INFO;
  ::syslog(prio, "%s", aText.c_str());
}

}  // namespace tavo
