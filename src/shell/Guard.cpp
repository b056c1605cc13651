#include "shell/Guard.h"

#include <cstdio>

#include "platform/SystemLog.h"
#include "shell/RunMode.h"

namespace tavo {
namespace {
TEscapedErrorHandler gHandler;
}  // namespace

void SetEscapedErrorHandler(TEscapedErrorHandler aHandler) {
  gHandler = std::move(aHandler);
}

void WriteServiceLog(const std::string& aText, bool aError) {
  WriteSystemLog(aError ? TSysLogLevel::eError : TSysLogLevel::eInfo, aText);
  if (IsForeground()) {
    std::fprintf(stderr, "%s\n", aText.c_str());
    std::fflush(stderr);
  }
}

void ServiceErrorHandler(const std::string& aText) {
  WriteServiceLog(aText, true);
}

void ReportEscapedError(const std::string& aText) noexcept {
  try {
    if (gHandler) {
      gHandler(aText);
    } else {
      ServiceErrorHandler(aText);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n(while reporting it: %s)\n", aText.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "%s\n", aText.c_str());
  }
}

bool TTavoCoreApplication::notify(QObject* aReceiver, QEvent* aEvent) {
  return GuardedNotify<QCoreApplication>(*this, aReceiver, aEvent);
}

}  // namespace tavo
