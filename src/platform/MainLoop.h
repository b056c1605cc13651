#pragma once
// The main thread's event loop, as the controller and the run paths see it:
// procedures posted to run later, timers that tick through the loop, running
// the loop until it is told to quit, stop requests from outside the process,
// and the blocking hand-off of platform/MainThread.h, so that one object is
// both. On Linux the shell implements it on Qt's event loop
// (shell/QtMainLoop.h); tests use the std-only loop of tests/support.
//
// Main thread only (the thread that made the loop), but for Synchronize,
// which any thread may call as MainThread.h says. Nothing runs inside the
// call that queues it: posted procedures, ticks, stop requests and hand-offs
// run while the loop runs.
//
// The guard: no exception leaves an entry from the loop. A posted procedure,
// a tick or a stop request that raises is caught, its text goes to
// ReportEscapedError (the run mode's handler) and the loop goes on. A
// hand-off carries its exception back to the waiting worker instead.

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/MainThread.h"

namespace tavo {

using TEscapedErrorHandler = std::function<void(const std::string& aText)>;

// Installs the handler for escaping errors, main thread only. Empty
// restores the default: an error entry in the system log.
void SetEscapedErrorHandler(TEscapedErrorHandler aHandler);
// Hands aText to the installed handler. Never throws: a handler that fails
// falls back to standard error.
void ReportEscapedError(const std::string& aText) noexcept;

// Runs aProc; an exception it raises is reported and does not propagate.
// Returns false when one was raised. Every loop runs its entries through it.
template <class F>
bool Guarded(F&& aProc) noexcept {
  try {
    aProc();
    return true;
  } catch (const std::exception& e) {
    ReportEscapedError(e.what());
  } catch (...) {
    ReportEscapedError("Unknown exception");
  }
  return false;
}

// A timer of the loop: while it is active its tick runs on the loop, guarded,
// once per interval. Ticks do not pile up: a loop held up for several
// intervals gives one tick, and the next comes an interval or less later.
// Made by IMainLoop::CreateTimer, stopped; main thread only; freed (which
// stops it) before its loop.
class IMainLoopTimer {
 public:
  virtual ~IMainLoopTimer() = default;
  // Starts the timer, or starts it again: the first tick comes aIntervalMs
  // after this call. aIntervalMs > 0.
  virtual void Start(int aIntervalMs) = 0;
  // No tick after this call, not even one that was due.
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
  // The interval of the last Start, in milliseconds; 0 before the first.
  virtual int Interval() const = 0;
};

class IMainLoop : public IMainThread {
 public:
  // Queues aProc to run on the loop after everything queued before it:
  // posted procedures run in the order they were posted, never inside this
  // call. One still queued when the loop goes is dropped unrun.
  virtual void Post(std::function<void()> aProc) = 0;
  // A timer whose ticks call aOnTick.
  virtual std::unique_ptr<IMainLoopTimer> CreateTimer(std::function<void()> aOnTick) = 0;
  // Runs the loop until Quit. Not from inside the loop.
  virtual void Run() = 0;
  // Called from an entry while Run runs, Run returns once that entry has
  // returned (what was queued before may still run first; what is still
  // queued then stays queued). Outside Run it does nothing.
  virtual void Quit() = 0;
  // From now on each stop request from outside the process (SIGINT and
  // SIGTERM on Linux) runs aOnStop on the loop, guarded. A later call
  // replaces it; an empty one leaves requests without effect. false when
  // they cannot be watched: they keep their default action, the end of the
  // process.
  virtual bool WatchStopRequests(std::function<void()> aOnStop) = 0;
  // Begins the hand-off's shutdown (MainThread.h): every waiting worker is
  // released with EShutdown, later hand-offs fail at once. Posts and timers
  // go on. The loop's destructor begins it too.
  virtual void BeginShutdown() = 0;
};

}  // namespace tavo
