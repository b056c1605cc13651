#include "platform/SystemPower.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include <gtest/gtest.h>

#include "FakeSystemctl.h"
#include "TestProcess.h"
#include "TestSupport.h"

namespace tavo {
namespace {

using namespace std::chrono_literals;

// systemd's route under a fake systemctl: an accepted request waits for the
// SIGTERM that ends us in order, and makes the raw call (a fake here) only
// when that does not come within the delay.
class SystemPowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fSystemctl.Install();
    ASSERT_EQ(::mkdir(fsSystemd.c_str(), 0755), 0);
  }
  TSystemPowerSettings Settings(std::chrono::milliseconds aDelay) {
    return {.SystemdMarker = fsSystemd, .FallbackDelay = aDelay, .RawReboot = [this] {
              ++fnRawCalls;
              return EPERM;
            }};
  }

  test::TempDir fDir;
  test::FakeSystemctl fSystemctl{fDir};
  std::string fsSystemd = fDir.File("systemd");
  std::atomic<int> fnRawCalls{0};
};

TEST_F(SystemPowerTest, WithoutTheStopWithinTheDelayTheRawCallFollowsOnce) {
  TLinuxSystemPower power(Settings(50ms));
  std::string reason;
  ASSERT_TRUE(power.Reboot(0x12, reason)) << reason;
  ASSERT_TRUE(power.Reboot(0x12, reason)) << reason;  // the first deadline stands
  EXPECT_EQ(fSystemctl.Calls(), "reboot\nreboot\n");
  ASSERT_TRUE(test::WaitFor([&] { return fnRawCalls == 1; }, 10s));
  ASSERT_TRUE(test::WaitFor([&] { return !power.RebootPending(); }, 10s));
  EXPECT_EQ(fnRawCalls, 1);

  // A later accepted request waits again.
  ASSERT_TRUE(power.Reboot(0x12, reason)) << reason;
  ASSERT_TRUE(test::WaitFor([&] { return fnRawCalls == 2; }, 10s));
}

TEST_F(SystemPowerTest, TheOrderlyEndCancelsTheFallback) {
  {
    TLinuxSystemPower power(Settings(10min));
    std::string reason;
    ASSERT_TRUE(power.Reboot(0x12, reason)) << reason;
    EXPECT_TRUE(power.RebootPending());
    power.CancelPendingReboot();  // at once, not after the delay
    EXPECT_FALSE(power.RebootPending());
    ASSERT_TRUE(power.Reboot(0x12, reason)) << reason;
  }  // the destructor cancels the second one
  EXPECT_EQ(fnRawCalls, 0);
  EXPECT_EQ(fSystemctl.Calls(), "reboot\nreboot\n");
}

TEST_F(SystemPowerTest, ASystemctlThatCannotBeRunIsARefusal) {
  ::setenv("TAVO_SYSTEMCTL", fDir.File("no-systemctl").c_str(), 1);
  TLinuxSystemPower power(Settings(10min));
  std::string reason;
  EXPECT_FALSE(power.Reboot(0x12, reason));
  EXPECT_EQ(reason.rfind(fDir.File("no-systemctl") + " reboot: No such file or directory", 0), 0u)
      << reason;
  EXPECT_FALSE(power.RebootPending());
  EXPECT_EQ(fnRawCalls, 0);
}

}  // namespace
}  // namespace tavo
