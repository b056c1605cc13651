// The main loop on Windows: the main-loop contract, and what is Windows'
// own: timer messages that a stream of posted messages would hold back, a
// hand-off served inside a nested message loop (as under a modal box), and
// the console's control events as stop requests.

#include "platform/Win32MainLoop.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "MainThreadContract.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;

// Pumps aLoop until aDone or the time-out, sleeping while no message waits.
bool Pump(TWin32MainLoop& aLoop, const std::function<bool()>& aDone,
          std::chrono::milliseconds aTimeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    aLoop.ProcessPending();
    if (aDone())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

struct Win32MainLoopAdaptor {
  using Loop = TWin32MainLoop;
  static std::unique_ptr<Loop> Make() { return std::make_unique<Loop>(); }
  static bool RunUntil(Loop& aLoop, const std::function<bool()>& aDone,
                       std::chrono::milliseconds aTimeout) {
    return Pump(aLoop, aDone, aTimeout);
  }
  static void BeginShutdown(Loop& aLoop) { aLoop.BeginShutdown(); }
  static void ProcessPending(Loop& aLoop) { aLoop.ProcessPending(); }
};

TEST(Win32MainLoopTest, APostedProcedureThatPostsItselfDoesNotHoldTheTimersBack) {
  // Windows makes a timer's message only when no posted message waits; a
  // procedure that posts itself again always leaves one waiting.
  TWin32MainLoop loop;
  int posted = 0;
  bool stopPosting = false;
  std::function<void()> again = [&] {
    if (++posted < 200000 && !stopPosting)
      loop.Post(again);
  };
  loop.Post(again);
  int ticks = 0;
  int postedAtThirdTick = -1;
  auto timer = loop.CreateTimer([&] {
    if (++ticks == 3) {
      postedAtThirdTick = posted;
      stopPosting = true;
      loop.Quit();
    }
  });
  timer->Start(10);
  loop.Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_GT(postedAtThirdTick, 0);
  EXPECT_LT(postedAtThirdTick, 200000) << "the ticks came only once the posts had ended";
}

TEST(Win32MainLoopTest, AHandOffWaitingInANestedMessageLoopLetsOthersThrough) {
  // A procedure that opens a modal box runs a nested message loop; a second
  // worker's procedure must still run meanwhile.
  TWin32MainLoop loop;
  std::atomic<bool> secondDone{false};
  std::atomic<bool> firstDone{false};
  std::thread second;
  std::thread first([&] {
    MainThread()->Synchronize([&] {
      second = std::thread([&] {
        MainThread()->Synchronize([] {});
        secondDone = true;
      });
      Pump(loop, [&] { return secondDone.load(); });  // the nested loop
    });
    firstDone = true;
  });
  ASSERT_TRUE(Pump(loop, [&] { return firstDone.load(); }));
  first.join();
  second.join();
  EXPECT_TRUE(secondDone);
}

TEST(Win32MainLoopTest, CtrlCIsAStopRequestOnTheMainThread) {
  // Under Wine the console of a program started from a pipe takes no
  // control events; a console of its own does (Ctrl+C only: Wine raises no
  // Ctrl+Break, see below).
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
  TWin32MainLoop loop;
  int stops = 0;
  DWORD ranOn = 0;
  ASSERT_TRUE(loop.WatchStopRequests([&] {
    ++stops;
    ranOn = ::GetCurrentThreadId();
  }));
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << ::GetLastError();
  EXPECT_TRUE(Pump(loop, [&] { return stops > 0; }));
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(ranOn, ::GetCurrentThreadId());

  // Without a procedure a request has no effect, and does not end the
  // process either.
  loop.WatchStopRequests({});
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  Pump(
      loop, [] { return false; }, 200ms);
  EXPECT_EQ(stops, 1);
}

TEST(Win32MainLoopTest, WhichConsoleEventsAreStopRequests) {
  const struct {
    DWORD Event;
    bool Stops;
  } cases[] = {
      {CTRL_C_EVENT, true},         {CTRL_BREAK_EVENT, true}, {CTRL_CLOSE_EVENT, true},
      {CTRL_LOGOFF_EVENT, false},  // for services; a foreground run goes on
      {CTRL_SHUTDOWN_EVENT, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Event);
    {
      TWin32MainLoop loop;
      int stops = 0;
      ASSERT_TRUE(loop.WatchStopRequests([&] { ++stops; }));
      EXPECT_EQ(TakeConsoleControlEvent(c.Event), c.Stops);
      Pump(
          loop, [&] { return stops > 0; }, c.Stops ? 5000ms : 100ms);
      EXPECT_EQ(stops, c.Stops ? 1 : 0);
    }
    // With the loop gone the default handler takes it: the process ends.
    EXPECT_FALSE(TakeConsoleControlEvent(c.Event));
  }
}

}  // namespace

namespace test {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32MainLoop, MainThreadContract, Win32MainLoopAdaptor);
}  // namespace test

}  // namespace tavo
