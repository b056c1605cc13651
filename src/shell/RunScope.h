#pragma once
// What every run of the controller shares (desktop, foreground, service),
// in the order it must end. Made on the main thread over the run's main
// loop, which installed the hand-off and outlives the scope; it installs the
// machine's real system power (reboot, ending the process) and the
// escaped-error handler of the run mode.
//
// Hold() takes what the loop drives (the controller, or the desktop session
// over it). End() — or the destructor — first drops the raw fallback of an
// accepted reboot (the end in order is under way), then begins the
// hand-off's shutdown, so that every waiting worker is released and none
// can reach the controller while it goes; then it frees what it holds, and
// only then removes the hooks, which the controller's closing line may
// still need.

#include <memory>
#include <utility>

#include "platform/MainLoop.h"
#include "platform/SystemPower.h"

namespace tavo {

class TRunScope {
 public:
  // aRealPower false leaves the refusing default in place (an install or
  // uninstall run reboots nothing). An empty aErrors leaves the handler to
  // the run (the desktop session installs its own).
  TRunScope(IMainLoop& aLoop, bool aRealPower, TEscapedErrorHandler aErrors = {});
  ~TRunScope() { End(); }
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;

  template <class T>
  T& Hold(std::unique_ptr<T> aHeld) {
    T& held = *aHeld;
    fHeld = std::shared_ptr<void>(std::move(aHeld));
    return held;
  }
  void End();

 private:
  IMainLoop& fLoop;
  TPlatformSystemPower fPower;
  std::shared_ptr<void> fHeld;
  bool fbEnded = false;
};

}  // namespace tavo
