#include "shell/QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace tavo {
namespace {

const QEvent::Type kSyncEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

enum class TJobState { eWaiting, eRunning, eDone, eAbandoned };

struct TJob {
  const std::function<void()>* Proc = nullptr;
  std::exception_ptr Error;
  TJobState State = TJobState::eWaiting;
};

}  // namespace

struct TQtMainThread::Shared {
  std::mutex Mutex;
  std::condition_variable Done;
  bool bShutdown = false;
};

namespace {

// Carries one job; a job whose event is destroyed before it ran (the loop
// is gone) is abandoned, so its worker never waits for ever.
class TSyncEvent final : public QEvent {
 public:
  TSyncEvent(std::shared_ptr<TQtMainThread::Shared> aShared, std::shared_ptr<TJob> aJob)
      : QEvent(kSyncEvent), Shared(std::move(aShared)), Job(aJob) {}
  ~TSyncEvent() override {
    std::lock_guard lock(Shared->Mutex);
    if (Job->State == TJobState::eWaiting) {
      Job->State = TJobState::eAbandoned;
      Shared->Done.notify_all();
    }
  }
  std::shared_ptr<TQtMainThread::Shared> Shared;
  std::shared_ptr<TJob> Job;
};

}  // namespace

TQtMainThread::TQtMainThread() : fShared(std::make_shared<Shared>()) {
  SetMainThread(this);
}

TQtMainThread::~TQtMainThread() {
  BeginShutdown();
  if (MainThread() == this)
    SetMainThread(nullptr);
}

void TQtMainThread::Synchronize(const std::function<void()>& aProc) {
  if (QThread::currentThread() == thread()) {
    aProc();
    return;
  }
  // Shared with the event: a job abandoned at shutdown may outlive this call.
  auto job = std::make_shared<TJob>();
  job->Proc = &aProc;
  {
    std::lock_guard lock(fShared->Mutex);
    if (fShared->bShutdown)
      throw EShutdown();
  }
  QCoreApplication::postEvent(this, new TSyncEvent(fShared, job));
  std::unique_lock lock(fShared->Mutex);
  fShared->Done.wait(lock, [&] {
    return job->State == TJobState::eDone || job->State == TJobState::eAbandoned ||
           (fShared->bShutdown && job->State == TJobState::eWaiting);
  });
  if (job->State == TJobState::eWaiting) {
    // Shutdown began before the main thread took the job up: it never runs.
    job->State = TJobState::eAbandoned;
  }
  if (job->State == TJobState::eAbandoned)
    throw EShutdown();
  if (job->Error)
    std::rethrow_exception(job->Error);
}

bool TQtMainThread::event(QEvent* aEvent) {
  if (aEvent->type() != kSyncEvent)
    return QObject::event(aEvent);
  auto* sync = static_cast<TSyncEvent*>(aEvent);
  TJob* job = sync->Job.get();
  {
    std::lock_guard lock(fShared->Mutex);
    if (job->State != TJobState::eWaiting)
      return true;  // abandoned at shutdown
    job->State = TJobState::eRunning;
  }
  std::exception_ptr error;
  try {
    (*job->Proc)();
  } catch (...) {
    error = std::current_exception();
  }
  std::lock_guard lock(fShared->Mutex);
  job->Error = error;
  job->State = TJobState::eDone;
  fShared->Done.notify_all();
  return true;
}

void TQtMainThread::BeginShutdown() {
  std::lock_guard lock(fShared->Mutex);
  fShared->bShutdown = true;
  fShared->Done.notify_all();
}

}  // namespace tavo
