#pragma once
// The main loop (platform/MainLoop.h) on Qt's event loop, and the guarded
// application object every Qt run makes first.
//
// Posted procedures are events posted to this object, so they keep their
// order among every other posted event; a timer is a QTimer; Run and Quit
// are QCoreApplication's exec() and quit() (which ends a modal box's nested
// loop too); stop requests arrive through a QSocketNotifier on the handle of
// platform/StopSignals.h.
//
// The blocking hand-off: a worker thread's procedure is posted to this
// object as an event, runs inside the main thread's event loop, and the
// worker waits until it has finished; its exception is carried back and
// rethrown in the worker. On the main thread itself the procedure runs
// directly (a blocking call to one's own thread would deadlock).
//
// Create it on the main thread, after the application object, and free it
// before that. BeginShutdown (main thread) releases every waiting worker
// with EShutdown and makes later hand-offs fail at once; so do procedures
// whose event is discarded unrun. Installs itself as the process's
// IMainThread while it lives; its destructor begins the shutdown and returns
// once no worker is inside.

#include <QCoreApplication>
#include <QObject>
#include <functional>
#include <memory>

#include "platform/MainLoop.h"

class QSocketNotifier;

namespace tavo {

class TQtMainLoop final : public QObject, public IMainLoop {
 public:
  TQtMainLoop();
  ~TQtMainLoop() override;

  void Synchronize(const std::function<void()>& aProc) override;
  void Post(std::function<void()> aProc) override;
  std::unique_ptr<IMainLoopTimer> CreateTimer(std::function<void()> aOnTick) override;
  void Run() override;
  void Quit() override;
  bool WatchStopRequests(std::function<void()> aOnStop) override;
  void BeginShutdown() override;

  struct TShared;  // the state workers wait on; outlives this object

 protected:
  bool event(QEvent* aEvent) override;

 private:
  void RunHandOffs();

  std::shared_ptr<TShared> fShared;
  std::unique_ptr<QSocketNotifier> fStopNotifier;
  std::function<void()> fOnStop;
  bool fbStopWatchFailed = false;
};

// Qt must never see an exception. Beside the loop's own guard, the
// application's notify() catches whatever still gets through (a console
// handler, a Qt callback) and reports it (ReportEscapedError).

// QCoreApplication whose notify() is guarded: the event loop of service,
// foreground and --check runs.
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
