// The clock's day arithmetic, the same on every platform: day numbers of
// proleptic Gregorian dates and their ISO weekdays on both sides of 1970
// and across leap days. The system clock has its tests in each platform's
// half (ClockPosixTest.cpp, ClockWin32Test.cpp).

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tavo {
namespace {

TEST(ClockTest, DayNumbersAndWeekdaysOfKnownDates) {
  struct Case {
    int Year, Month, Day;
    std::int64_t Number;
    int Weekday;  // Monday 1 .. Sunday 7
  };
  const Case cases[] = {
      {1970, 1, 1, 0, 4},
      {1969, 12, 31, -1, 3},
      {1969, 7, 20, -165, 7},
      {1900, 1, 1, -25567, 1},
      {1601, 1, 1, -134774, 1},
      {1, 1, 1, -719162, 1},
      // 1900 and 2100 have no leap day, 2000 and 2024 have one.
      {1900, 2, 28, -25509, 3},
      {1900, 3, 1, -25508, 4},
      {2000, 2, 28, 11015, 1},
      {2000, 2, 29, 11016, 2},
      {2000, 3, 1, 11017, 3},
      {2024, 2, 28, 19781, 3},
      {2024, 2, 29, 19782, 4},
      {2024, 3, 1, 19783, 5},
      {2100, 2, 28, 47540, 7},
      {2100, 3, 1, 47541, 1},
      {2000, 1, 1, 10957, 6},
      {2023, 12, 31, 19722, 7},
      {2024, 1, 1, 19723, 1},
      {2024, 3, 5, 19787, 2},
      {2038, 1, 19, 24855, 2},
      {9999, 12, 31, 2932896, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Year << "-" << c.Month << "-" << c.Day);
    EXPECT_EQ(DayNumber(c.Year, c.Month, c.Day), c.Number);
    EXPECT_EQ(IsoWeekday(c.Number), c.Weekday);
    TLocalDateTime t;
    t.Year = c.Year;
    t.Month = c.Month;
    t.Day = c.Day;
    EXPECT_EQ(DayNumber(t), c.Number);
  }
}

// The last day of every month is followed by the first of the next, in a
// common year and in a leap year.
TEST(ClockTest, MonthEndsRunIntoTheNextMonth) {
  for (int year : {2023, 2024}) {
    const int lengths[] = {31, year == 2024 ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int month = 1; month <= 12; ++month) {
      const std::int64_t last = DayNumber(year, month, lengths[month - 1]);
      const std::int64_t next =
          month == 12 ? DayNumber(year + 1, 1, 1) : DayNumber(year, month + 1, 1);
      EXPECT_EQ(next, last + 1) << year << "-" << month;
      EXPECT_EQ(IsoWeekday(next), IsoWeekday(last) % 7 + 1) << year << "-" << month;
    }
  }
}

}  // namespace
}  // namespace tavo
