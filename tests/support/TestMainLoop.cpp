#include "TestMainLoop.h"

#include <algorithm>
#include <vector>

namespace tavo::test {

struct TestMainLoop::Job {
  const std::function<void()>* Proc;
  std::exception_ptr Error;
  bool Done = false;
  bool Cancelled = false;
  std::condition_variable DoneCv;
};

struct TestMainLoop::TimerState {
  std::function<void()> OnTick;
  int Interval = 0;
  bool Active = false;
  Clock::time_point Due;
};

class TestMainLoop::Timer final : public IMainLoopTimer {
 public:
  Timer(TestMainLoop& aLoop, std::function<void()> aOnTick) : fLoop(aLoop) {
    fState.OnTick = std::move(aOnTick);
    fiId = ++fLoop.fiNextTimer;
    fLoop.fTimers.emplace(fiId, &fState);
  }
  ~Timer() override { fLoop.fTimers.erase(fiId); }
  void Start(int aIntervalMs) override {
    fState.Interval = aIntervalMs;
    fState.Active = true;
    fState.Due = Clock::now() + std::chrono::milliseconds(aIntervalMs);
  }
  void Stop() override { fState.Active = false; }
  bool Active() const override { return fState.Active; }
  int Interval() const override { return fState.Interval; }

 private:
  TestMainLoop& fLoop;
  TimerState fState;
  int fiId = 0;
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

void TestMainLoop::Post(std::function<void()> aProc) {
  fPosted.push_back(std::move(aProc));
}

std::unique_ptr<IMainLoopTimer> TestMainLoop::CreateTimer(std::function<void()> aOnTick) {
  return std::make_unique<Timer>(*this, std::move(aOnTick));
}

bool TestMainLoop::WatchStopRequests(std::function<void()> aOnStop) {
  fOnStop = std::move(aOnStop);
  return true;
}

void TestMainLoop::RequestStop() {
  Post([this] {
    const std::function<void()> onStop = fOnStop;
    if (onStop)
      onStop();
  });
}

void TestMainLoop::RunHandOffs() {
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

bool TestMainLoop::RunPosted() {
  // What is posted meanwhile waits for the next pass.
  for (std::size_t n = fPosted.size(); n > 0 && !fPosted.empty(); --n) {
    const std::function<void()> proc = std::move(fPosted.front());
    fPosted.pop_front();
    Guarded(proc);
    if (QuitAsked())
      return false;
  }
  return true;
}

bool TestMainLoop::RunDueTicks() {
  std::vector<int> ids;
  for (const auto& [id, state] : fTimers)
    ids.push_back(id);
  for (const int id : ids) {
    // A tick may free or stop any timer, its own too.
    const auto it = fTimers.find(id);
    if (it == fTimers.end())
      continue;
    TimerState& timer = *it->second;
    const Clock::time_point now = Clock::now();
    if (!timer.Active || timer.Due > now)
      continue;
    // One tick however late it is, the next an interval on.
    timer.Due += std::chrono::milliseconds(timer.Interval);
    if (timer.Due <= now)
      timer.Due = now + std::chrono::milliseconds(timer.Interval);
    const std::function<void()> onTick = timer.OnTick;
    Guarded(onTick);
    if (QuitAsked())
      return false;
  }
  return true;
}

void TestMainLoop::ProcessPending() {
  RunHandOffs();
  if (QuitAsked() || !RunPosted())
    return;
  RunDueTicks();
}

void TestMainLoop::WaitForWork(Clock::time_point aLimit) {
  if (!fPosted.empty())
    return;
  Clock::time_point until = aLimit;
  for (const auto& [id, state] : fTimers) {
    if (state->Active)
      until = std::min(until, state->Due);
  }
  std::unique_lock lock(fMutex);
  fWake.wait_until(lock, until, [&] { return !fQueue.empty(); });
}

void TestMainLoop::Run() {
  fbRunning = true;
  fbQuit = false;
  const Clock::time_point limit = Clock::now() + kRunLimit;
  while (!fbQuit && Clock::now() < limit) {
    ProcessPending();
    if (!fbQuit)
      WaitForWork(limit);
  }
  fbRunning = false;
  fbQuit = false;
}

void TestMainLoop::Quit() {
  if (fbRunning)
    fbQuit = true;
}

bool TestMainLoop::RunUntil(const std::function<bool()>& aDone,
                            std::chrono::milliseconds aTimeout) {
  const auto deadline = Clock::now() + aTimeout;
  for (;;) {
    ProcessPending();
    if (aDone())
      return true;
    if (Clock::now() >= deadline)
      return false;
    // Wake for new work, or poll the condition every few milliseconds.
    WaitForWork(std::min(deadline, Clock::now() + std::chrono::milliseconds(5)));
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
