#include "config/SystemUtils.h"

#include <gtest/gtest.h>

#include "platform/Network.h"
#include "platform/SystemPower.h"

namespace tavo {
namespace {

TEST(SystemUtilsTest, CombinePath) {
  const struct {
    const char* base;
    const char* path;
    const char* result;
  } cases[] = {
      {"/opt/tavo/tavo", "logs", "/opt/tavo/logs"},
      {"/opt/tavo/tavo", "../logs", "/opt/logs"},
      {"/opt/tavo/tavo", "/data", "/data"},
      {"/opt/tavo/tavo.ini", "./t/../daily.txt", "/opt/tavo/daily.txt"},
      {"/opt/tavo/tavo", "../../../x", "/x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CombinePath(c.base, c.path), c.result) << c.path;
  EXPECT_EQ(CombinePath("/opt/tavo", std::string(5000, 'a')), "");
}

TEST(SystemUtilsTest, UnquoteAndDigits) {
  EXPECT_EQ(UnquoteText("  \"abc\"  "), "abc");
  EXPECT_EQ(UnquoteText("  no quotes  "), "  no quotes  ");
  EXPECT_EQ(UnquoteText("x\" a b \"y"), " a b ");
  EXPECT_EQ(UnquoteText("one\"rest"), "rest");
  EXPECT_TRUE(IsDigitsOnly("0815"));
  EXPECT_FALSE(IsDigitsOnly("12:00"));
  EXPECT_TRUE(IsDigitsOnly(""));
}

TEST(SystemUtilsTest, LocalIpAddressIsDottedIPv4) {
  const std::string ip = GetLocalIpAddress();
  if (HostName().empty())
    GTEST_SKIP() << "no host name";
  ASSERT_FALSE(ip.empty());
  EXPECT_TRUE(FirstIPv4Address(ip).has_value()) << ip;
}

class RecordingPower final : public ISystemPower {
 public:
  bool Reboot(std::uint16_t aFlags, std::string& aReason) override {
    flags = aFlags;
    aReason = "not now";
    return flags == 0x12;
  }
  void TerminateProcessNow(int) override {}
  int flags = -1;
};

TEST(SystemUtilsTest, RebootGoesThroughTheInstalledPowerControl) {
  // The default installed in a test program refuses: nothing reaches the machine.
  std::string reason;
  EXPECT_FALSE(RebootSystem(0x02, true, &reason));
  EXPECT_EQ(reason, "reboots are not enabled in this run");
  RecordingPower power;
  SetSystemPower(&power);
  EXPECT_TRUE(RebootSystem(0x02, true));
  EXPECT_EQ(power.flags, 0x12);
  EXPECT_FALSE(RebootSystem(0x02, false, &reason));
  EXPECT_EQ(power.flags, 0x02);
  EXPECT_EQ(reason, "not now");
  SetSystemPower(nullptr);
}

}  // namespace
}  // namespace tavo
