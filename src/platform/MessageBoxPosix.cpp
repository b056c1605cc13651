#include <cstdio>

#include "platform/MessageBox.h"
#include "platform/SystemLog.h"

namespace tavo {

void ShowSystemMessageBox(TMsgBoxIcon aIcon, const std::string& aText) {
  std::fprintf(stderr, "%s\n", aText.c_str());
  std::fflush(stderr);
  WriteSystemLog(aIcon == TMsgBoxIcon::eError     ? TSysLogLevel::eError
                 : aIcon == TMsgBoxIcon::eWarning ? TSysLogLevel::eWarning
                                                  : TSysLogLevel::eInfo,
                 aText);
}

}  // namespace tavo
