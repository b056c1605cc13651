#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tavo {
namespace {

// Unique per test process: other engineers' runs share the machine.
std::string Name(const std::string& aSuffix) {
  static const std::string run = std::to_string(std::random_device()());
  return "SingleInstanceTest-" + run + "-" + aSuffix;
}

TEST(SingleInstanceTest, OneHolderPerNameUntilItLetsGo) {
  TSingleInstanceLock first;
  ASSERT_EQ(first.Acquire(Name("a")), 0);
  EXPECT_TRUE(first.Held());

  TSingleInstanceLock second;
  EXPECT_EQ(second.Acquire(Name("a")), TSingleInstanceLock::kTaken);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(second.Acquire(Name("b")), 0) << "another name is free";

  first.Release();
  EXPECT_EQ(second.Acquire(Name("a")), 0) << "taking a name releases the one held before";
  EXPECT_EQ(first.Acquire(Name("b")), 0);
}

TEST(SingleInstanceTest, NameLengthLimit) {
  TSingleInstanceLock lock;
  std::string name = Name("x");
  name.resize(TSingleInstanceLock::kMaxNameLength, 'x');
  EXPECT_EQ(lock.Acquire(name), 0);
  EXPECT_EQ(lock.Acquire(name + "x"), TSingleInstanceLock::kNameTooLong);
  EXPECT_FALSE(lock.Held());
}

}  // namespace
}  // namespace tavo
