#pragma once
// The blocking hand-off to the main thread on the Qt event loop. A worker
// thread's procedure is posted to this object as an event, runs inside the
// main thread's event loop, and the worker waits until it has finished; its
// exception is carried back and rethrown in the worker. On the main thread
// itself the procedure runs directly (a blocking call to one's own thread
// would deadlock).
//
// Create it on the main thread, after the application object. BeginShutdown
// (main thread) releases every waiting worker with EShutdown and makes later
// hand-offs fail at once; so do procedures whose event is discarded unrun.
// Installs itself as the process's IMainThread while it lives; its
// destructor begins the shutdown and returns once no worker is inside.

#include <QObject>
#include <memory>

#include "platform/MainThread.h"

namespace tavo {

class TQtMainThread final : public QObject, public IMainThread {
 public:
  TQtMainThread();
  ~TQtMainThread() override;

  void Synchronize(const std::function<void()>& aProc) override;
  void BeginShutdown();

  struct TShared;  // the state workers wait on; outlives this object

 protected:
  bool event(QEvent* aEvent) override;

 private:
  std::shared_ptr<TShared> fShared;
};

}  // namespace tavo
