#pragma once
// The guard between Qt and our code. Qt must never see an exception: every
// entry from the event loop (the posted start-up event, timer ticks,
// procedures handed over by other threads, the console's buttons) runs
// through Guarded(), and the application's notify() catches whatever still
// gets through. An escaping error goes to the handler of the run mode: the
// console's exception hook in desktop mode, the system log in service mode
// (and standard error as well in a --foreground run).
//
// Main thread only.

#include <QCoreApplication>
#include <exception>
#include <functional>
#include <string>

namespace tavo {

using TEscapedErrorHandler = std::function<void(const std::string& aText)>;

// Installs the handler for escaping errors (empty: ServiceErrorHandler).
void SetEscapedErrorHandler(TEscapedErrorHandler aHandler);
// Hands aText to the installed handler. Never throws: a handler that fails
// falls back to standard error.
void ReportEscapedError(const std::string& aText) noexcept;
// Service mode: an error entry in the system log; in a --foreground run the
// same text also goes to standard error.
void ServiceErrorHandler(const std::string& aText);
// Writes aText where a service's system-log entries go (system log, and
// standard error in a --foreground run).
void WriteServiceLog(const std::string& aText, bool aError);

// Runs aProc; an exception it raises is reported and does not propagate.
// Returns false when one was raised.
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

// QCoreApplication whose notify() is guarded: the event loop of service and
// foreground runs.
class TTavoCoreApplication : public QCoreApplication {
 public:
  TTavoCoreApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}
  bool notify(QObject* aReceiver, QEvent* aEvent) override;
};

// The body of a guarded notify(), for application classes of other kinds.
template <class TBaseApp>
bool GuardedNotify(TBaseApp& aApp, QObject* aReceiver, QEvent* aEvent) noexcept {
  bool handled = false;
  Guarded([&] { handled = aApp.TBaseApp::notify(aReceiver, aEvent); });
  return handled;
}

}  // namespace tavo
