// The main loop on Qt — the main-loop contract, and what is Qt's own:
// discarded events, nested event loops — and the guard around Qt's event
// loop.

#include "shell/QtMainLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "MainThreadContract.h"
#include "TestProcess.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;

// The application object every test here needs, made once.
void EnsureApplication() {
  static int argc = 1;
  static char arg0[] = "QtMainLoopTest";
  static char* argv[] = {arg0, nullptr};
  static TTavoCoreApplication app(argc, argv);
}

// Runs the event loop until aDone or the time-out.
bool Spin(const std::function<bool()>& aDone, std::chrono::milliseconds aTimeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aDone()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class QtMainLoopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
};

struct QtMainLoopAdaptor {
  using Loop = TQtMainLoop;
  static std::unique_ptr<Loop> Make() {
    EnsureApplication();
    return std::make_unique<Loop>();
  }
  static bool RunUntil(Loop&, const std::function<bool()>& aDone,
                       std::chrono::milliseconds aTimeout) {
    return Spin(aDone, aTimeout);
  }
  static void BeginShutdown(Loop& aLoop) { aLoop.BeginShutdown(); }
  // The abandoned events are delivered.
  static void ProcessPending(Loop&) { QCoreApplication::processEvents(); }
};

TEST_F(QtMainLoopTest, AJobWhoseEventIsDiscardedFailsInsteadOfHanging) {
  std::exception_ptr error;
  std::atomic<bool> posted{false};
  auto main = std::make_unique<TQtMainLoop>();
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

TEST_F(QtMainLoopTest, AHandOffWaitingInANestedEventLoopLetsOthersThrough) {
  // A procedure that opens a modal box runs a nested event loop; a second
  // worker's procedure must still run meanwhile, as the modal box waits.
  TQtMainLoop main;
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

TEST_F(QtMainLoopTest, TheGuardKeepsErrorsOutOfQtAndTheLoopGoesOn) {
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

namespace test {
INSTANTIATE_TYPED_TEST_SUITE_P(QtMainLoop, MainThreadContract, QtMainLoopAdaptor);
}  // namespace test

}  // namespace tavo
