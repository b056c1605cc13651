#include "TestMainLoop.h"

namespace tavo::test {

struct TestMainLoop::Job {
  const std::function<void()>* Proc;
  std::exception_ptr Error;
  bool Done = false;
  bool Cancelled = false;
  std::condition_variable DoneCv;
};

TestMainLoop::TestMainLoop() : fMainId(std::this_thread::get_id()) {
  SetMainThread(this);
}

TestMainLoop::~TestMainLoop() {
  BeginShutdown();
  UninstallMainThread(this);
}

void TestMainLoop::Synchronize(const std::function<void()>& aProc) {
  if (std::this_thread::get_id() == fMainId) {
    aProc();
    return;
  }
  ++fnHandOffs;
  Job job;
  job.Proc = &aProc;
  std::unique_lock lock(fMutex);
  if (fbShutdown)
    throw EShutdown();
  fQueue.push_back(&job);
  ++fnWaiting;
  fWake.notify_all();
  job.DoneCv.wait(lock, [&] { return job.Done; });
  --fnWaiting;
  if (job.Cancelled)
    throw EShutdown();
  if (job.Error)
    std::rethrow_exception(job.Error);
}

void TestMainLoop::ProcessPending() {
  for (;;) {
    Job* job = nullptr;
    {
      std::lock_guard lock(fMutex);
      if (fQueue.empty())
        return;
      job = fQueue.front();
      fQueue.pop_front();
    }
    try {
      (*job->Proc)();
    } catch (...) {
      job->Error = std::current_exception();
    }
    std::lock_guard lock(fMutex);
    job->Done = true;
    job->DoneCv.notify_all();
  }
}

bool TestMainLoop::RunUntil(const std::function<bool()>& aDone,
                            std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    ProcessPending();
    if (aDone())
      return true;
    std::unique_lock lock(fMutex);
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    // Wake for new work, or poll the condition every few milliseconds.
    fWake.wait_for(lock, std::chrono::milliseconds(5), [&] { return !fQueue.empty(); });
  }
}

void TestMainLoop::BeginShutdown() {
  std::lock_guard lock(fMutex);
  fbShutdown = true;
  for (Job* job : fQueue) {
    job->Cancelled = true;
    job->Done = true;
    job->DoneCv.notify_all();
  }
  fQueue.clear();
}

}  // namespace tavo::test
