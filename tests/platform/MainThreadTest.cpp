// The main-thread contract over the std-only loop the tests use, and the
// process-wide slot: SynchronizeMain without a hand-off, and an uninstall
// that waits for the calls still inside.

#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "MainThreadContract.h"
#include "TestMainLoop.h"
#include "TestProcess.h"

namespace tavo::test {
namespace {

using namespace std::chrono_literals;

struct TestMainLoopAdaptor {
  using Loop = TestMainLoop;
  static std::unique_ptr<Loop> Make() { return std::make_unique<Loop>(); }
  static bool RunUntil(Loop& aLoop, const std::function<bool()>& aDone,
                       std::chrono::milliseconds aTimeout) {
    return aLoop.RunUntil(aDone, aTimeout);
  }
  static void BeginShutdown(Loop& aLoop) { aLoop.BeginShutdown(); }
  static void ProcessPending(Loop& aLoop) { aLoop.ProcessPending(); }
};

// A hand-off that holds every caller until Open(), running the procedure on
// the caller's thread: it shows who waits for whom.
class GatedHandOff final : public IMainThread {
 public:
  void Synchronize(const std::function<void()>& aProc) override {
    std::unique_lock lock(fMutex);
    ++fnInside;
    fOpened.wait_for(lock, 10s, [&] { return fbOpen; });
    aProc();
    --fnInside;
    ++fnLeft;
  }
  void Open() {
    std::lock_guard lock(fMutex);
    fbOpen = true;
    fOpened.notify_all();
  }
  int Inside() {
    std::lock_guard lock(fMutex);
    return fnInside;
  }
  int Left() {
    std::lock_guard lock(fMutex);
    return fnLeft;
  }

 private:
  std::mutex fMutex;
  std::condition_variable fOpened;
  bool fbOpen = false;
  int fnInside = 0;
  int fnLeft = 0;
};

TEST(SynchronizeMainTest, WithoutAHandOffItFailsAtOnce) {
  SetMainThread(nullptr);
  bool ran = false;
  EXPECT_THROW(SynchronizeMain([&] { ran = true; }), EShutdown);
  EXPECT_FALSE(ran);
}

TEST(SynchronizeMainTest, UninstallReturnsOnlyOnceTheCallsInsideHaveLeft) {
  for (const bool replacedFirst : {false, true}) {
    SCOPED_TRACE(replacedFirst ? "replaced before the uninstall" : "uninstalled while installed");
    GatedHandOff gated;
    GatedHandOff next;
    SetMainThread(&gated);
    std::thread caller([] { SynchronizeMain([] {}); });
    ASSERT_TRUE(WaitFor([&] { return gated.Inside() == 1; }, 5s));
    if (replacedFirst)
      SetMainThread(&next);
    IMainThread* const expected = replacedFirst ? &next : nullptr;

    std::atomic<bool> uninstalled{false};
    std::thread ender([&] {
      UninstallMainThread(&gated);
      uninstalled = true;
    });
    // The slot is cleared at once, so no call enters the one that goes ...
    EXPECT_TRUE(WaitFor([&] { return MainThread() == expected; }, 5s));
    if (!replacedFirst) {
      bool ran = false;
      EXPECT_THROW(SynchronizeMain([&] { ran = true; }), EShutdown);
      EXPECT_FALSE(ran);
    }
    // ... but the uninstall waits for the call that is inside.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(uninstalled);
    gated.Open();
    ender.join();
    caller.join();
    EXPECT_TRUE(uninstalled);
    EXPECT_EQ(gated.Left(), 1);
    EXPECT_EQ(MainThread(), expected);
    SetMainThread(nullptr);
  }
}

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(TestMainLoop, MainThreadContract, TestMainLoopAdaptor);

}  // namespace tavo::test
