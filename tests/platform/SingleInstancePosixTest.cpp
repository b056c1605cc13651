// The single instance on Linux: what a started program inherits.

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "TestProcess.h"
#include "TestSupport.h"
#include "platform/SingleInstance.h"

namespace tavo {
namespace {

std::string Name(const std::string& aSuffix) {
  return "SingleInstancePosixTest-" + std::to_string(::getpid()) + "-" + aSuffix;
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
