#include "platform/MessageBox.h"

#include <cstdio>

#include "platform/SystemLog.h"

namespace tavo {
namespace {

void DefaultBox(TMsgBoxIcon aIcon, const std::string& aText) {
  std::fprintf(stderr, "%s\n", aText.c_str());
  std::fflush(stderr);
  WriteSystemLog(aIcon == TMsgBoxIcon::eError     ? TSysLogLevel::eError
                 : aIcon == TMsgBoxIcon::eWarning ? TSysLogLevel::eWarning
                                                  : TSysLogLevel::eInfo,
                 aText);
}

TMessageBoxHandler gHandler;

}  // namespace

void ShowMessageBox(TMsgBoxIcon aIcon, const std::string& aText) {
  if (gHandler) {
    gHandler(aIcon, aText);
  } else {
    DefaultBox(aIcon, aText);
  }
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler aHandler) {
  auto previous = std::move(gHandler);
  gHandler = std::move(aHandler);
  return previous;
}

}  // namespace tavo
