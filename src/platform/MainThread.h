#pragma once
// The blocking hand-off to the main thread, as the core sees it. A worker
// thread (trap receiver, mail worker) hands a procedure to the main thread
// and waits until it has run there. The shell implements it on the Qt event
// loop; tests use the std-only loop of tests/support.
//
// The process has one slot for the hand-off. Workers reach it only through
// SynchronizeMain, which counts the calls inside each hand-off, so a
// hand-off object is never freed under a worker: its destructor begins its
// shutdown and then calls UninstallMainThread, which returns only when every
// call that entered it has left. Since a hand-off fails fast with EShutdown
// once its shutdown has begun, that wait is short and cannot deadlock.

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
// installed one. Install it before any worker starts. The pointer is for
// checking that one is installed; a worker that keeps it may outlive the
// object, so workers hand over through SynchronizeMain instead.
IMainThread* MainThread();
void SetMainThread(IMainThread* aMainThread);

// Any thread: Synchronize on the hand-off installed now, which cannot be
// freed until this call has left it. Throws EShutdown when none is
// installed (never installed, or gone at shutdown); otherwise whatever
// Synchronize throws.
void SynchronizeMain(const std::function<void()>& aProc);

// For a hand-off's destructor, on the main thread, after its shutdown has
// begun: uninstalls aMainThread if it is the one installed (one replaced
// earlier stays replaced), then waits until every call that entered it
// through SynchronizeMain has left. Calling it while aMainThread still
// serves hand-offs, or from inside a procedure handed over through it,
// waits for ever.
void UninstallMainThread(IMainThread* aMainThread);

}  // namespace tavo
