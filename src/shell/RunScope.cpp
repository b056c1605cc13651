#include "shell/RunScope.h"

namespace tavo {

TRunScope::TRunScope(IMainLoop& aLoop, bool aRealPower, TEscapedErrorHandler aErrors)
    : fLoop(aLoop) {
  if (aRealPower)
    SetSystemPower(&fPower);
  if (aErrors)
    SetEscapedErrorHandler(std::move(aErrors));
}

void TRunScope::End() {
  if (fbEnded)
    return;
  fbEnded = true;
  // Ending in order is what an accepted reboot waits for: its raw fallback
  // must not cut into it.
  fPower.CancelPendingReboot();
  fLoop.BeginShutdown();
  fHeld.reset();
  SetEscapedErrorHandler(nullptr);
  SetSystemPower(nullptr);
}

}  // namespace tavo
