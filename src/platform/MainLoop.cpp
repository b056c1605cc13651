#include "platform/MainLoop.h"

#include <cstdio>

#include "platform/SystemLog.h"

namespace tavo {
namespace {
TEscapedErrorHandler gHandler;
}  // namespace

void SetEscapedErrorHandler(TEscapedErrorHandler aHandler) {
  gHandler = std::move(aHandler);
}

void ReportEscapedError(const std::string& aText) noexcept {
  try {
    if (gHandler) {
      gHandler(aText);
    } else {
      WriteSystemLog(TSysLogLevel::eError, aText);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n(while reporting it: %s)\n", aText.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "%s\n", aText.c_str());
  }
}

}  // namespace tavo
