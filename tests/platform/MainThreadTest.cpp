// The main-thread contract over the std-only loop the tests use.

#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "MainThreadContract.h"
#include "TestMainLoop.h"

namespace tavo::test {
namespace {

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

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(TestMainLoop, MainThreadContract, TestMainLoopAdaptor);

}  // namespace tavo::test
