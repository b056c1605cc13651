#include "platform/SingleInstance.h"

#include <cerrno>
#include <chrono>

#include <unistd.h>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "TestSupport.h"

namespace tavo {
namespace {

// Unique per test process: other engineers' runs share the machine.
std::string Name(const std::string& aSuffix) {
  return "SingleInstanceTest-" + std::to_string(::getpid()) + "-" + aSuffix;
}

TEST(SingleInstanceTest, OneHolderPerNameUntilItLetsGo) {
  TSingleInstanceLock first;
  ASSERT_EQ(first.Acquire(Name("a")), 0);
  EXPECT_TRUE(first.Held());

  TSingleInstanceLock second;
  EXPECT_EQ(second.Acquire(Name("a")), EADDRINUSE);
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
  EXPECT_EQ(lock.Acquire(name + "x"), ENAMETOOLONG);
  EXPECT_FALSE(lock.Held());
}

TEST(SingleInstanceTest, AProgramWeStartDoesNotInheritTheName) {
  TSingleInstanceLock lock;
  ASSERT_EQ(lock.Acquire(Name("inherit")), 0);
  test::TempDir dir;
  test::ChildProcess child({"sleep", "30"}, dir.File("sleep"));
  lock.Release();
  // Were the socket inherited, the child would still hold the name.
  TSingleInstanceLock again;
  EXPECT_EQ(again.Acquire(Name("inherit")), 0);
}

}  // namespace
}  // namespace tavo
