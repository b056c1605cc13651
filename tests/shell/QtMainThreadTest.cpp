// The Qt hand-off to the main thread and the guard around Qt's event loop.

#include "shell/QtMainThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "TestProcess.h"
#include "shell/Guard.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;

class QtMainThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "QtMainThreadTest";
    static char* argv[] = {arg0, nullptr};
    static TTavoCoreApplication app(argc, argv);
  }
  // Runs the event loop until aDone or the time-out.
  static bool Spin(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + aTimeout;
    while (!aDone()) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
};

TEST_F(QtMainThreadTest, WorkerProceduresRunOnTheMainThreadAndCarryTheirErrorsBack) {
  TQtMainThread main;
  ASSERT_EQ(MainThread(), &main);
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  std::string error;
  int runs = 0;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i)
      MainThread()->Synchronize([&] { ++runs; });
    MainThread()->Synchronize([&] { ranOn = std::this_thread::get_id(); });
    try {
      MainThread()->Synchronize([] { throw Exception("boom"); });
    } catch (const Exception& e) {
      error = e.what();
    }
    done = true;
  });
  ASSERT_TRUE(Spin([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(runs, 100);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(error, "boom");

  int direct = 0;
  MainThread()->Synchronize([&] { ++direct; });
  EXPECT_EQ(direct, 1);
}

TEST_F(QtMainThreadTest, ShutdownReleasesAWaitingWorkerAndRefusesLaterOnes) {
  std::atomic<bool> ran{false};
  std::exception_ptr waitingError;
  std::exception_ptr laterError;
  {
    TQtMainThread main;
    std::atomic<bool> posted{false};
    std::thread waiting([&] {
      try {
        posted = true;
        MainThread()->Synchronize([&] { ran = true; });  // the loop never runs it
      } catch (...) {
        waitingError = std::current_exception();
      }
    });
    ASSERT_TRUE(test::WaitFor([&] { return posted.load(); }, 5s));
    std::this_thread::sleep_for(50ms);
    main.BeginShutdown();
    waiting.join();
    std::thread later([&] {
      try {
        main.Synchronize([&] { ran = true; });
      } catch (...) {
        laterError = std::current_exception();
      }
    });
    later.join();
    QCoreApplication::processEvents();  // the abandoned event is delivered and ignored
  }
  EXPECT_FALSE(ran);
  EXPECT_THROW(std::rethrow_exception(waitingError), EShutdown);
  EXPECT_THROW(std::rethrow_exception(laterError), EShutdown);
}

TEST_F(QtMainThreadTest, AJobWhoseEventIsDiscardedFailsInsteadOfHanging) {
  std::exception_ptr error;
  std::atomic<bool> posted{false};
  auto main = std::make_unique<TQtMainThread>();
  std::thread waiting([&] {
    try {
      posted = true;
      MainThread()->Synchronize([] {});
    } catch (...) {
      error = std::current_exception();
    }
  });
  ASSERT_TRUE(test::WaitFor([&] { return posted.load(); }, 5s));
  std::this_thread::sleep_for(50ms);
  // Destroying the receiver discards its posted events unrun.
  QCoreApplication::removePostedEvents(main.get());
  waiting.join();
  main.reset();
  EXPECT_THROW(std::rethrow_exception(error), EShutdown);
}

TEST_F(QtMainThreadTest, AHandOffWaitingInANestedEventLoopLetsOthersThrough) {
  // A procedure that opens a modal box runs a nested event loop; a second
  // worker's procedure must still run meanwhile, as the modal box waits.
  TQtMainThread main;
  std::atomic<bool> secondDone{false};
  std::atomic<bool> firstDone{false};
  std::thread second;
  std::thread first([&] {
    MainThread()->Synchronize([&] {
      second = std::thread([&] {
        MainThread()->Synchronize([] {});
        secondDone = true;
      });
      Spin([&] { return secondDone.load(); });  // the nested loop
    });
    firstDone = true;
  });
  ASSERT_TRUE(Spin([&] { return firstDone.load(); }));
  first.join();
  second.join();
  EXPECT_TRUE(secondDone);
}

TEST_F(QtMainThreadTest, TheGuardKeepsErrorsOutOfQtAndTheLoopGoesOn) {
  std::vector<std::string> reported;
  SetEscapedErrorHandler([&](const std::string& aText) { reported.push_back(aText); });
  QTimer timer;
  int ticks = 0;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    throw Exception("tick " + std::to_string(ticks));  // caught by notify()
  });
  timer.start(1);
  ASSERT_TRUE(Spin([&] { return ticks >= 3; }));
  timer.stop();
  SetEscapedErrorHandler(nullptr);
  ASSERT_GE(reported.size(), 3u);
  EXPECT_EQ(reported[0], "tick 1");
  EXPECT_EQ(reported[2], "tick 3");
  EXPECT_TRUE(Guarded([] {}));
}

}  // namespace
}  // namespace tavo
