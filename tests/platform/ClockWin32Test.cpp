// The Windows system clock: the local time with the zone's offset, the
// locale's date and time texts, the tick count.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/Clock.h"

namespace tavo {
namespace {

std::int64_t LocalMs(const TLocalDateTime& aTime) {
  return DayNumber(aTime) * 86400000 + aTime.MsOfDay();
}

TEST(ClockTest, SystemZonedTimeIsTheRealTimeWithTheZonesOffset) {
  const auto before = std::chrono::system_clock::now();
  const TZonedDateTime now = SystemZonedTime();
  const auto after = std::chrono::system_clock::now();
  // Back to UTC through the offset: the moment between the two readings.
  const std::int64_t utcMs = LocalMs(now.Local) - now.UtcOffsetMinutes * 60000LL;
  const auto ms = [](auto aTime) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(aTime.time_since_epoch()).count();
  };
  EXPECT_GE(utcMs, ms(before));
  EXPECT_LE(utcMs, ms(after));
  EXPECT_EQ(now.Local.DayOfWeek, IsoWeekday(DayNumber(now.Local)));
  EXPECT_GE(now.UtcOffsetMinutes, -12 * 60);
  EXPECT_LE(now.UtcOffsetMinutes, 14 * 60);
}

TEST(ClockTest, SystemClockIsTheLocalTime) {
  const TLocalDateTime before = SystemZonedTime().Local;
  const TLocalDateTime now = Clock().Now();
  const TLocalDateTime after = SystemZonedTime().Local;
  EXPECT_GE(LocalMs(now), LocalMs(before));
  EXPECT_LE(LocalMs(now), LocalMs(after));
  EXPECT_EQ(now.DayOfWeek, IsoWeekday(DayNumber(now)));
}

TEST(ClockTest, TickCountCountsMilliseconds) {
  const std::uint32_t start = TickCount32();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::uint32_t elapsed = TickCount32() - start;  // wraps like the count
  EXPECT_GE(elapsed, 150u);
  EXPECT_LT(elapsed, 5000u);
}

// The texts follow the user's locale; their fields are checked where it is
// known, the one Wine starts with on a build machine.
TEST(ClockTest, DateAndTimeTextsInTheUsersLocale) {
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = L"";
  ::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  if (std::wstring(locale) != L"en-US")
    GTEST_SKIP() << "the user's locale is not en-US";
  struct Case {
    int Year, Month, Day, Hour, Minute, Second;
    const char* Date;
    const char* Time;
  } cases[] = {
      {2024, 3, 5, 14, 7, 9, "3/5/2024", "2:07:09 PM"},
      {1999, 11, 23, 0, 59, 58, "11/23/1999", "12:59:58 AM"},
  };
  for (const Case& c : cases) {
    TLocalDateTime t;
    t.Year = c.Year, t.Month = c.Month, t.Day = c.Day;
    t.Hour = c.Hour, t.Minute = c.Minute, t.Second = c.Second;
    t.DayOfWeek = IsoWeekday(DayNumber(t));
    EXPECT_EQ(ShortDateText(t), c.Date);
    EXPECT_EQ(LongTimeText(t), c.Time);
  }
}

}  // namespace
}  // namespace tavo
