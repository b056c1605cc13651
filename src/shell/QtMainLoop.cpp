#include "shell/QtMainLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/StopSignals.h"

namespace tavo {
namespace {

using TClock = std::chrono::steady_clock;

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kPostedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// The longest the main thread runs hand-offs in one go before other events
// (timers, signals, the console) get their turn. While it runs them, new
// hand-offs join its queue without another wake-up.
constexpr auto kMainSlice = std::chrono::milliseconds(5);

enum TJobState : int { eWaiting, eRunning, eDone, eAbandoned };

struct TJob {
  const std::function<void()>* Proc = nullptr;
  std::exception_ptr Error;
  std::atomic<int> State{eWaiting};
};

}  // namespace

struct TQtMainLoop::TShared {
  std::mutex Mutex;
  std::condition_variable Done;  // a job finished or was abandoned
  std::deque<std::shared_ptr<TJob>> Queue;
  bool bShutdown = false;
  bool bWakePosted = false;  // a wake event is on its way to the main thread
  bool bDraining = false;    // the main thread is taking jobs up right now
  int nRunningJobs = 0;      // ... and runs one, which may open a nested event loop

  // Under Mutex: every job still queued is given up.
  void AbandonQueued() {
    for (auto& job : Queue)
      job->State = eAbandoned;
    Queue.clear();
    Done.notify_all();
  }
};

namespace {

// Wakes the main thread for the queued jobs. Destroyed undelivered (the loop
// is gone), it gives the queued jobs up, so no worker waits for ever.
class TWakeEvent final : public QEvent {
 public:
  explicit TWakeEvent(std::shared_ptr<TQtMainLoop::TShared> aShared)
      : QEvent(kWakeEvent), TShared(std::move(aShared)) {}
  ~TWakeEvent() override {
    if (bDelivered)
      return;
    std::lock_guard lock(TShared->Mutex);
    TShared->bWakePosted = false;
    TShared->AbandonQueued();
  }
  std::shared_ptr<TQtMainLoop::TShared> TShared;
  bool bDelivered = false;
};

// A procedure posted to the loop; discarded undelivered, it never runs.
class TPostedEvent final : public QEvent {
 public:
  explicit TPostedEvent(std::function<void()> aProc)
      : QEvent(kPostedEvent), Proc(std::move(aProc)) {}
  std::function<void()> Proc;
};

class TQtLoopTimer final : public IMainLoopTimer {
 public:
  explicit TQtLoopTimer(std::function<void()> aOnTick) : fOnTick(std::move(aOnTick)) {
    QObject::connect(&fTimer, &QTimer::timeout, &fTimer, [this] { Guarded(fOnTick); });
  }
  void Start(int aIntervalMs) override { fTimer.start(aIntervalMs); }
  void Stop() override { fTimer.stop(); }
  bool Active() const override { return fTimer.isActive(); }
  int Interval() const override { return fTimer.interval(); }

 private:
  std::function<void()> fOnTick;
  QTimer fTimer;
};

}  // namespace

TQtMainLoop::TQtMainLoop() : fShared(std::make_shared<TShared>()) {
  SetMainThread(this);
}

TQtMainLoop::~TQtMainLoop() {
  BeginShutdown();
  // Workers released just now may still be on their way out of Synchronize.
  UninstallMainThread(this);
}

void TQtMainLoop::Post(std::function<void()> aProc) {
  QCoreApplication::postEvent(this, new TPostedEvent(std::move(aProc)));
}

std::unique_ptr<IMainLoopTimer> TQtMainLoop::CreateTimer(std::function<void()> aOnTick) {
  return std::make_unique<TQtLoopTimer>(std::move(aOnTick));
}

void TQtMainLoop::Run() {
  QCoreApplication::exec();
}

void TQtMainLoop::Quit() {
  QCoreApplication::quit();
}

bool TQtMainLoop::WatchStopRequests(std::function<void()> aOnStop) {
  fOnStop = std::move(aOnStop);
  if (fStopNotifier)
    return true;
  if (fbStopWatchFailed)
    return false;
  const int handle = InstallStopSignalHandle();
  if (handle < 0) {
    fbStopWatchFailed = true;
    return false;
  }
  fStopNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
  connect(fStopNotifier.get(), &QSocketNotifier::activated, this, [this] {
    DrainStopSignalHandle();
    // A copy: the procedure may replace itself.
    const std::function<void()> onStop = fOnStop;
    if (onStop)
      Guarded(onStop);
  });
  return true;
}

void TQtMainLoop::Synchronize(const std::function<void()>& aProc) {
  if (QThread::currentThread() == thread()) {
    aProc();
    return;
  }
  // TShared with the queue: a job given up at shutdown may outlive this call.
  auto job = std::make_shared<TJob>();
  job->Proc = &aProc;
  bool post = false;
  {
    std::lock_guard lock(fShared->Mutex);
    if (fShared->bShutdown)
      throw EShutdown();
    fShared->Queue.push_back(job);
    // A main thread between jobs takes this one up too; one inside a job
    // (perhaps in a modal box's loop) needs the event.
    if ((!fShared->bDraining || fShared->nRunningJobs > 0) && !fShared->bWakePosted) {
      fShared->bWakePosted = true;
      post = true;
    }
  }
  if (post)
    QCoreApplication::postEvent(this, new TWakeEvent(fShared));

  {
    std::unique_lock lock(fShared->Mutex);
    fShared->Done.wait(lock, [&] {
      const int state = job->State.load(std::memory_order_acquire);
      return state == eDone || state == eAbandoned;
    });
  }
  if (job->State == eAbandoned)
    throw EShutdown();
  if (job->Error)
    std::rethrow_exception(job->Error);
}

bool TQtMainLoop::event(QEvent* aEvent) {
  if (aEvent->type() == kPostedEvent) {
    Guarded(static_cast<TPostedEvent*>(aEvent)->Proc);
    return true;
  }
  if (aEvent->type() != kWakeEvent)
    return QObject::event(aEvent);
  static_cast<TWakeEvent*>(aEvent)->bDelivered = true;
  RunHandOffs();
  return true;
}

void TQtMainLoop::RunHandOffs() {
  {
    std::lock_guard lock(fShared->Mutex);
    fShared->bWakePosted = false;
    fShared->bDraining = true;
  }
  const auto sliceEnd = TClock::now() + kMainSlice;
  for (;;) {
    std::shared_ptr<TJob> job;
    {
      std::lock_guard lock(fShared->Mutex);
      if (fShared->Queue.empty()) {
        fShared->bDraining = false;
        return;
      }
      job = std::move(fShared->Queue.front());
      fShared->Queue.pop_front();
      job->State = eRunning;
      ++fShared->nRunningJobs;
    }
    std::exception_ptr error;
    try {
      (*job->Proc)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(fShared->Mutex);
      --fShared->nRunningJobs;
      job->Error = error;
      job->State.store(eDone, std::memory_order_release);
    }
    fShared->Done.notify_all();
    if (TClock::now() >= sliceEnd) {
      // Let other events in; the rest follows with a new wake event.
      bool post = false;
      {
        std::lock_guard lock(fShared->Mutex);
        fShared->bDraining = false;
        if (!fShared->Queue.empty() && !fShared->bWakePosted) {
          fShared->bWakePosted = true;
          post = true;
        }
      }
      if (post)
        QCoreApplication::postEvent(this, new TWakeEvent(fShared));
      return;
    }
  }
}

void TQtMainLoop::BeginShutdown() {
  std::lock_guard lock(fShared->Mutex);
  fShared->bShutdown = true;
  fShared->AbandonQueued();
}

bool TTavoCoreApplication::notify(QObject* aReceiver, QEvent* aEvent) {
  return GuardedNotify<QCoreApplication>(*this, aReceiver, aEvent);
}

}  // namespace tavo
