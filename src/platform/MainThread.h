#pragma once
// The blocking hand-off to the main thread, as the core sees it. A worker
// thread (trap receiver, mail worker) hands a procedure to the main thread
// and waits until it has run there. The shell implements it on the Qt event
// loop; tests use the std-only loop of tests/support.

#include <functional>

#include "platform/Errors.h"

namespace tavo {

// Raised by Synchronize once shutdown has begun: the procedure did not run.
class EShutdown : public Exception {
 public:
  EShutdown() : Exception("The main thread is shutting down") {}
};

class IMainThread {
 public:
  virtual ~IMainThread() = default;
  // Runs aProc on the main thread and returns when it has finished. An
  // exception aProc raises is rethrown in the caller. Called on the main
  // thread itself, it runs aProc directly. After shutdown has begun it
  // throws EShutdown at once and aProc never runs.
  virtual void Synchronize(const std::function<void()>& aProc) = 0;
};

// The process's main thread, or nullptr before the shell (or a test) has
// installed one. Install it before any worker starts.
IMainThread* MainThread();
void SetMainThread(IMainThread* aMainThread);

}  // namespace tavo
