#pragma once
// A std-only main thread for tests. The thread that constructs it is the
// main thread; it runs handed-over procedures while it waits in RunUntil()
// or ProcessPending(). Installs itself as the process's IMainThread for its
// lifetime; its destructor begins the shutdown and returns once no caller
// that entered through SynchronizeMain is inside.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/MainThread.h"

namespace tavo::test {

class TestMainLoop final : public IMainThread {
 public:
  TestMainLoop();
  ~TestMainLoop() override;

  void Synchronize(const std::function<void()>& aProc) override;

  // Runs handed-over procedures until aDone() is true or aTimeout passes.
  // Returns aDone()'s last value.
  bool RunUntil(const std::function<bool()>& aDone,
                std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  // Runs what is queued now, without waiting.
  void ProcessPending();
  // From now on Synchronize fails at once with EShutdown; waiting callers
  // are released with EShutdown too.
  void BeginShutdown();
  // Procedures handed over from other threads so far.
  std::size_t HandOffs() const { return fnHandOffs.load(); }
  // Callers from other threads waiting in Synchronize right now.
  std::size_t Waiting() const { return fnWaiting.load(); }

 private:
  struct Job;
  std::thread::id fMainId;
  std::mutex fMutex;
  std::condition_variable fWake;
  std::deque<Job*> fQueue;
  bool fbShutdown = false;
  std::atomic<std::size_t> fnHandOffs{0};
  std::atomic<std::size_t> fnWaiting{0};
};

}  // namespace tavo::test
