#include "shell/RunMode.h"

namespace tavo {
namespace {
TRunMode gRunMode = TRunMode::eDesktop;
bool gbForeground = false;
}  // namespace

void SetRunMode(TRunMode aMode, bool aForeground) {
  gRunMode = aMode;
  gbForeground = aForeground;
}

TRunMode RunMode() {
  return gRunMode;
}
bool RunAsService() {
  return gRunMode != TRunMode::eDesktop;
}
bool IsServiceInstallation() {
  return gRunMode == TRunMode::eServiceInstallation;
}
bool IsForeground() {
  return gbForeground;
}

}  // namespace tavo
