#pragma once
// The contract of IMainLoop (platform/MainLoop.h) and of its hand-off,
// IMainThread (platform/MainThread.h), as one typed test suite, for every
// implementation.
//
// The hand-off: procedures of other threads run on the main thread, the
// caller waits and gets the procedure's exception; on the main thread a
// procedure runs directly; once shutdown has begun, waiting callers are
// released and later ones fail at once, with EShutdown, and the procedure
// never runs. The implementation installs itself while it lives; its end
// releases a caller inside (through SynchronizeMain) before the object goes,
// and later callers find no main thread.
//
// The loop: posted procedures run later, in order; a timer ticks until it
// is stopped, and a loop held up gives one late tick, not a pile; Quit ends
// Run and does nothing outside it; an entry that throws reaches the
// escaped-error handler and the loop goes on.
//
// Each test file instantiates it with an adaptor, in namespace tavo::test:
//
//   struct Adaptor {
//     using Loop = ...;  // the implementation, an IMainLoop
//     // Makes one on the calling (main) thread.
//     static std::unique_ptr<Loop> Make();
//     // Runs its loop until aDone() or aTimeout; aDone()'s last value.
//     static bool RunUntil(Loop&, const std::function<bool()>& aDone,
//                          std::chrono::milliseconds aTimeout);
//     static void BeginShutdown(Loop&);
//     // Handles what is still queued, without waiting.
//     static void ProcessPending(Loop&);
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, MainThreadContract, Adaptor);
//
// Include it in one source file per test program.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "WaitFor.h"
#include "platform/MainLoop.h"
#include "platform/MainThread.h"

namespace tavo::test {

template <class TAdaptor>
class MainThreadContract : public ::testing::Test {};

TYPED_TEST_SUITE_P(MainThreadContract);

TYPED_TEST_P(MainThreadContract, WorkerProceduresRunOnTheMainThreadAndCarryTheirErrorsBack) {
  auto loop = TypeParam::Make();
  ASSERT_EQ(MainThread(), loop.get());
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  std::string error;
  int runs = 0;
  int returnedEarly = 0;
  std::thread worker([&] {
    try {
      for (int i = 0; i < 100; ++i) {
        MainThread()->Synchronize([&] { ++runs; });
        if (runs != i + 1)  // it returns only once the procedure has run
          ++returnedEarly;
      }
      MainThread()->Synchronize([&] { ranOn = std::this_thread::get_id(); });
      try {
        MainThread()->Synchronize([] { throw Exception("boom"); });
      } catch (const Exception& e) {
        error = e.what();
      }
    } catch (const EShutdown&) {
      // released below after a time-out
    }
    done = true;
  });
  const bool finished = TypeParam::RunUntil(
      *loop, [&] { return done.load(); }, std::chrono::seconds(10));
  if (!finished)
    TypeParam::BeginShutdown(*loop);  // so that the join below ends
  worker.join();
  EXPECT_TRUE(finished);
  EXPECT_EQ(runs, 100);
  EXPECT_EQ(returnedEarly, 0);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(error, "boom");

  loop.reset();
  EXPECT_EQ(MainThread(), nullptr);
}

TYPED_TEST_P(MainThreadContract, OnTheMainThreadItRunsDirectly) {
  auto loop = TypeParam::Make();
  int runs = 0;
  MainThread()->Synchronize([&] { ++runs; });
  EXPECT_EQ(runs, 1);
  EXPECT_THROW(MainThread()->Synchronize([] { throw Exception("direct"); }), Exception);
}

TYPED_TEST_P(MainThreadContract, ShutdownReleasesAWaitingWorkerAndRefusesLaterOnes) {
  auto loop = TypeParam::Make();
  std::atomic<bool> ran{false};
  // A caller on another thread; aBack is set when Synchronize came back.
  auto call = [&](std::exception_ptr& aError, std::atomic<bool>& aBack) {
    return std::thread([&] {
      try {
        MainThread()->Synchronize([&] { ran = true; });
      } catch (...) {
        aError = std::current_exception();
      }
      aBack = true;
    });
  };
  // A caller still waiting after a while has its hand-off served, so that
  // the test fails instead of hanging.
  auto join = [&](std::thread& aCaller, const std::atomic<bool>& aBack) {
    if (!WaitFor([&] { return aBack.load(); }, std::chrono::seconds(5)))
      TypeParam::RunUntil(
          *loop, [&] { return aBack.load(); }, std::chrono::seconds(5));
    aCaller.join();
  };

  std::exception_ptr waitingError;
  std::atomic<bool> waitingBack{false};
  std::thread waiting = call(waitingError, waitingBack);       // the loop never runs it
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into its wait
  TypeParam::BeginShutdown(*loop);
  join(waiting, waitingBack);

  std::exception_ptr laterError;
  std::atomic<bool> laterBack{false};
  std::thread later = call(laterError, laterBack);
  join(later, laterBack);
  TypeParam::ProcessPending(*loop);  // an abandoned hand-off is ignored
  loop.reset();

  EXPECT_FALSE(ran);
  ASSERT_TRUE(waitingError);
  EXPECT_THROW(std::rethrow_exception(waitingError), EShutdown);
  ASSERT_TRUE(laterError);
  EXPECT_THROW(std::rethrow_exception(laterError), EShutdown);
}

TYPED_TEST_P(MainThreadContract, ItsEndReleasesAWorkerInsideAndLaterOnesFindNone) {
  auto loop = TypeParam::Make();
  std::atomic<bool> ran{false};
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      SynchronizeMain([&] { ran = true; });
    } catch (...) {
      error = std::current_exception();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into its wait
  // No BeginShutdown first: the end begins it, and waits until the worker
  // is out before the object goes.
  loop.reset();
  worker.join();
  EXPECT_EQ(MainThread(), nullptr);
  EXPECT_THROW(SynchronizeMain([&] { ran = true; }), EShutdown);
  EXPECT_FALSE(ran);
  ASSERT_TRUE(error);
  EXPECT_THROW(std::rethrow_exception(error), EShutdown);
}

TYPED_TEST_P(MainThreadContract, PostedProceduresRunLaterAndInOrder) {
  auto loop = TypeParam::Make();
  std::vector<int> ran;
  loop->Post([&] {
    ran.push_back(1);
    loop->Post([&] { ran.push_back(4); });  // behind what was queued before
  });
  loop->Post([&] { ran.push_back(2); });
  loop->Post([&] { ran.push_back(3); });
  EXPECT_TRUE(ran.empty()) << "nothing runs inside Post";
  EXPECT_TRUE(TypeParam::RunUntil(
      *loop, [&] { return ran.size() >= 4; }, std::chrono::seconds(5)));
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
}

TYPED_TEST_P(MainThreadContract, ATimerTicksUntilStoppedAndALateLoopGetsOneTick) {
  using namespace std::chrono_literals;
  auto loop = TypeParam::Make();
  int ticks = 0;
  auto timer = loop->CreateTimer([&] { ++ticks; });
  EXPECT_FALSE(timer->Active());
  EXPECT_EQ(timer->Interval(), 0);
  timer->Start(5);
  EXPECT_TRUE(timer->Active());
  EXPECT_EQ(timer->Interval(), 5);
  ASSERT_TRUE(TypeParam::RunUntil(
      *loop, [&] { return ticks >= 3; }, 5s));
  timer->Stop();
  EXPECT_FALSE(timer->Active());
  EXPECT_EQ(timer->Interval(), 5);
  const int stoppedAt = ticks;
  TypeParam::RunUntil(
      *loop, [] { return false; }, 50ms);
  EXPECT_EQ(ticks, stoppedAt) << "no tick after Stop";

  // Held up for five intervals, the loop gives one tick, then none until
  // the next interval has passed.
  ticks = 0;
  timer->Start(100);
  loop->Post([] { std::this_thread::sleep_for(500ms); });
  ASSERT_TRUE(TypeParam::RunUntil(
      *loop, [&] { return ticks >= 1; }, 5s));
  for (int i = 0; i < 3; ++i)
    TypeParam::ProcessPending(*loop);
  EXPECT_EQ(ticks, 1);
  timer.reset();
  TypeParam::RunUntil(
      *loop, [] { return false; }, 150ms);
  EXPECT_EQ(ticks, 1) << "a freed timer is stopped";
}

TYPED_TEST_P(MainThreadContract, QuitEndsRunAndOutsideRunDoesNothing) {
  auto loop = TypeParam::Make();
  loop->Quit();  // nothing runs: no effect on the Run below
  bool timedOut = false;
  auto limit = loop->CreateTimer([&] {
    timedOut = true;
    loop->Quit();
  });
  limit->Start(10000);
  int ran = 0;
  loop->Post([&] { ++ran; });
  loop->Post([&] {
    ++ran;
    loop->Quit();
  });
  loop->Run();
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(ran, 2);

  // Run goes on with what came later, and ends again.
  loop->Post([&] {
    ++ran;
    loop->Quit();
  });
  loop->Run();
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(ran, 3);
}

TYPED_TEST_P(MainThreadContract, AnEntryThatThrowsReachesTheHandlerAndTheLoopGoesOn) {
  using namespace std::chrono_literals;
  auto loop = TypeParam::Make();
  std::vector<std::string> reported;
  SetEscapedErrorHandler([&](const std::string& aText) { reported.push_back(aText); });
  int ticks = 0;
  auto timer = loop->CreateTimer([&] {
    if (++ticks == 1)
      throw Exception("tick");
  });
  timer->Start(5);
  bool after = false;
  loop->Post([] { throw Exception("posted"); });
  loop->Post([] { throw 42; });
  loop->Post([&] { after = true; });
  const bool goneOn = TypeParam::RunUntil(
      *loop, [&] { return after && ticks >= 2; }, 5s);
  timer.reset();
  SetEscapedErrorHandler(nullptr);
  EXPECT_TRUE(goneOn);
  // Posts keep their order; where the tick falls among them is the loop's.
  EXPECT_EQ(std::erase(reported, "tick"), 1u);
  EXPECT_EQ(reported, (std::vector<std::string>{"posted", "Unknown exception"}));
}

REGISTER_TYPED_TEST_SUITE_P(
    MainThreadContract, WorkerProceduresRunOnTheMainThreadAndCarryTheirErrorsBack,
    OnTheMainThreadItRunsDirectly, ShutdownReleasesAWaitingWorkerAndRefusesLaterOnes,
    ItsEndReleasesAWorkerInsideAndLaterOnesFindNone, PostedProceduresRunLaterAndInOrder,
    ATimerTicksUntilStoppedAndALateLoopGetsOneTick, QuitEndsRunAndOutsideRunDoesNothing,
    AnEntryThatThrowsReachesTheHandlerAndTheLoopGoesOn);

}  // namespace tavo::test
