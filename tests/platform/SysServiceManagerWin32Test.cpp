#include <gtest/gtest.h>

#include "platform/SysServiceManager.h"

namespace tavo {
namespace {

// Wine's service control manager: only a made-up name is ever started or
// stopped, so no real service is touched; a real one is only asked whether
// it exists.
constexpr const char* kMadeUp = "TavoTestNoSuchService";

TEST(Win32ServiceControlTest, AMadeUpServiceIsNotFoundForAnyCall) {
  TWin32ServiceControl control;
  EXPECT_EQ(control.Connect(), 0);
  EXPECT_EQ(control.Exists(kMadeUp), kServiceNotFound);
  EXPECT_EQ(control.Start(kMadeUp), kServiceNotFound);
  EXPECT_EQ(control.Stop(kMadeUp), kServiceNotFound);
  // A service every Wine prefix has, as one every Windows has.
  EXPECT_EQ(control.Exists("RpcSs"), 0);
}

TEST(Win32ServiceControlTest, TheWrapperGivesTheSystemsCodes) {
  TServiceManager m;
  EXPECT_FALSE(m.OpenConnection(kMadeUp));
  EXPECT_EQ(m.LastError(), TServiceManager::kNotOpen);
  EXPECT_FALSE(m.Connect("otherhost", "", 0xF003F));
  EXPECT_EQ(m.LastError(), TServiceManager::kInvalidArgument);
  ASSERT_TRUE(m.Connect("", "", 0xF003F)) << m.LastError();
  EXPECT_FALSE(m.OpenConnection(kMadeUp));
  EXPECT_EQ(m.LastError(), 1060);  // ERROR_SERVICE_DOES_NOT_EXIST
  EXPECT_FALSE(m.Stop());
  EXPECT_EQ(m.LastError(), TServiceManager::kNotOpen);
  EXPECT_FALSE(m.OpenConnection(""));
  EXPECT_EQ(m.LastError(), TServiceManager::kInvalidArgument);
}

}  // namespace
}  // namespace tavo
