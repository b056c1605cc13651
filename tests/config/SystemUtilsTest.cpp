#include "config/SystemUtils.h"

#include <gtest/gtest.h>

#include "platform/Network.h"
#include "platform/SystemPower.h"

namespace tavo {
namespace {

#ifndef _WIN32
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
#else
TEST(SystemUtilsTest, CombinePathWithDrivesAndShares) {
  const struct {
    const char* base;
    const char* path;
    const char* result;
  } cases[] = {
      {"C:\\Tools\\app.exe", "logs", "C:\\Tools\\logs"},
      {"C:\\Tools\\app.exe", "..\\logs", "C:\\logs"},
      {"C:\\Tools\\app.exe", "D:\\data", "D:\\data"},
      {"C:\\Tools\\app.exe", "\\data", "C:\\data"},
      {"C:\\Tools\\app.exe", "./t/../daily.txt", "C:\\Tools\\daily.txt"},
      {"C:\\Tools\\app.exe", "..\\..\\..\\x", "C:\\x"},
      {"C:\\Tools\\app.exe", "\\\\srv\\share\\t.txt", "\\\\srv\\share\\t.txt"},
      {"\\\\srv\\share\\tavo\\tavo.exe", "..\\..\\x", "\\\\srv\\share\\x"},
      {"\\\\srv\\share\\tavo\\tavo.exe", "\\data", "\\\\srv\\share\\data"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CombinePath(c.base, c.path), c.result) << c.base << " + " << c.path;
  // 259 UTF-16 units fit, 260 do not, however many bytes they take.
  EXPECT_EQ(CombinePath("C:\\Tools\\app.exe", std::string(250, 'a')).size(), 259u);
  EXPECT_EQ(CombinePath("C:\\Tools\\app.exe", std::string(251, 'a')), "");
  std::string accents;
  for (int i = 0; i < 250; ++i)
    accents += "\xC3\xA9";
  EXPECT_EQ(CombinePath("C:\\Tools\\app.exe", accents), "C:\\Tools\\" + accents);
}
#endif

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
