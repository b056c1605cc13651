#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestMainLoop.h"

namespace tavo {
namespace {

TEST(MainThreadTest, WorkerWaitsForTheMainThreadAndSeesItsError) {
  test::TestMainLoop loop;
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  std::string error;
  std::thread worker([&] {
    MainThread()->Synchronize([&] { ranOn = std::this_thread::get_id(); });
    try {
      MainThread()->Synchronize([] { throw Exception("boom"); });
    } catch (const Exception& e) {
      error = e.what();
    }
    done = true;
  });
  ASSERT_TRUE(loop.RunUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(error, "boom");
}

TEST(MainThreadTest, OnTheMainThreadItRunsDirectly) {
  test::TestMainLoop loop;
  int runs = 0;
  MainThread()->Synchronize([&] { ++runs; });
  EXPECT_EQ(runs, 1);
}

TEST(MainThreadTest, AfterShutdownHasBegunItFailsAtOnce) {
  test::TestMainLoop loop;
  std::atomic<bool> blocked{false};
  std::exception_ptr first;
  std::thread waiting([&] {
    try {
      blocked = true;
      MainThread()->Synchronize([] {});  // never served: shutdown releases it
    } catch (...) {
      first = std::current_exception();
    }
  });
  while (!blocked)
    std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  loop.BeginShutdown();
  waiting.join();
  EXPECT_THROW(std::rethrow_exception(first), EShutdown);

  bool ran = false;
  std::thread late(
      [&] { EXPECT_THROW(MainThread()->Synchronize([&] { ran = true; }), EShutdown); });
  late.join();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tavo
