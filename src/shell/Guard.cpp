#include "shell/Guard.h"

#include <cstdio>

#include "platform/SystemLog.h"
#include "shell/RunMode.h"

namespace tavo {

void WriteServiceLog(const std::string& aText, bool aError, const std::string& aSource) {
  WriteSystemLog(aError ? TSysLogLevel::eError : TSysLogLevel::eInfo, aText, aSource);
  if (IsForeground()) {
    std::fprintf(stderr, "%s\n", aText.c_str());
    std::fflush(stderr);
  }
}

void ServiceErrorHandler(const std::string& aText) {
  WriteServiceLog(aText, true);
}

}  // namespace tavo
