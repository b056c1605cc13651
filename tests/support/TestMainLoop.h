#pragma once
// A std-only main loop for tests (platform/MainLoop.h). The thread that
// constructs it is the main thread; the loop's entries — handed-over
// procedures, posted procedures, timer ticks, stop requests — run while that
// thread is in Run(), RunUntil() or ProcessPending(). Installs itself as the
// process's IMainThread for its lifetime; its destructor begins the shutdown
// and returns once no caller that entered through SynchronizeMain is inside.
// Free its timers first.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MainLoop.h"

namespace tavo::test {

class TestMainLoop final : public IMainLoop {
 public:
  // The longest Run() runs without a Quit, so that no test hangs in it.
  static constexpr std::chrono::seconds kRunLimit{60};

  TestMainLoop();
  ~TestMainLoop() override;

  void Synchronize(const std::function<void()>& aProc) override;
  void Post(std::function<void()> aProc) override;
  std::unique_ptr<IMainLoopTimer> CreateTimer(std::function<void()> aOnTick) override;
  void Run() override;
  void Quit() override;
  // Keeps aOnStop for RequestStop(); no signal is touched.
  bool WatchStopRequests(std::function<void()> aOnStop) override;
  // From now on Synchronize fails at once with EShutdown; waiting callers
  // are released with EShutdown too.
  void BeginShutdown() override;

  // Runs the loop's entries until aDone() is true or aTimeout passes.
  // Returns aDone()'s last value.
  bool RunUntil(const std::function<bool()>& aDone,
                std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  // Runs what is due now, without waiting: the hand-offs, the procedures
  // posted so far, the ticks that are due.
  void ProcessPending();
  // A stop request from outside, as a signal gives it: the procedure of
  // WatchStopRequests runs on the loop.
  void RequestStop();
  // Procedures handed over from other threads so far.
  std::size_t HandOffs() const { return fnHandOffs.load(); }
  // Callers from other threads waiting in Synchronize right now.
  std::size_t Waiting() const { return fnWaiting.load(); }

 private:
  struct Job;
  struct TimerState;
  class Timer;
  using Clock = std::chrono::steady_clock;

  void RunHandOffs();
  // false when a Quit ended the pass early.
  bool RunPosted();
  bool RunDueTicks();
  // Waits until a hand-off comes, a timer is due or aLimit passes.
  void WaitForWork(Clock::time_point aLimit);
  bool QuitAsked() const { return fbRunning && fbQuit; }

  std::thread::id fMainId;
  std::mutex fMutex;
  std::condition_variable fWake;
  std::deque<Job*> fQueue;
  bool fbShutdown = false;
  std::atomic<std::size_t> fnHandOffs{0};
  std::atomic<std::size_t> fnWaiting{0};
  // The main thread's own, without a lock.
  std::deque<std::function<void()>> fPosted;
  std::map<int, TimerState*> fTimers;
  int fiNextTimer = 0;
  std::function<void()> fOnStop;
  bool fbRunning = false;
  bool fbQuit = false;
};

}  // namespace tavo::test
