#pragma once
// Local date and time, and the millisecond tick count. Everything that asks
// "what time is it" goes through Clock(), so tests can move time by
// installing their own IClock (see tests/support).

#include <cstdint>
#include <string>

namespace tavo {

struct TLocalDateTime {
  int Year = 1970, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int DayOfWeek = 4;  // ISO: Monday 1 .. Sunday 7

  // Milliseconds since local midnight.
  std::int64_t MsOfDay() const {
    return ((Hour * 60LL + Minute) * 60 + Second) * 1000 + Millisecond;
  }
};

// Days since 1970-01-01 of a proleptic Gregorian date (negative before).
std::int64_t DayNumber(int aYear, int aMonth, int aDay);
inline std::int64_t DayNumber(const TLocalDateTime& aTime) {
  return DayNumber(aTime.Year, aTime.Month, aTime.Day);
}
// The ISO weekday (Monday 1 .. Sunday 7) of a day number.
int IsoWeekday(std::int64_t aDayNumber);

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TLocalDateTime Now() const = 0;
};

// The clock in effect: the installed one, or the system's local time.
const IClock& Clock();
// Installs aClock (not owned) or, with nullptr, the system clock again.
// Call it only while no other thread reads the clock.
void SetClock(const IClock* aClock);
// The system's local time, whatever clock is installed.
const IClock& SystemClock();

// The locale's short date (%x) and long time (%X) forms, as reports and the
// console show them. On Linux call setlocale(LC_ALL, "") once at start-up
// for the user's locale; without it the C locale's forms are used. Windows
// always formats in the user's locale.
std::string ShortDateText(const TLocalDateTime& aTime);
std::string LongTimeText(const TLocalDateTime& aTime);

// The system's local time now with its offset from UTC, for stamps that
// must carry the real time whatever clock is installed (a mail's Date
// header), in the process's time zone.
struct TZonedDateTime {
  TLocalDateTime Local;
  int UtcOffsetMinutes = 0;  // east of UTC positive
};
TZonedDateTime SystemZonedTime();

// Milliseconds since boot (CLOCK_BOOTTIME, GetTickCount), low 32 bits: wraps
// after 49.7 days.
std::uint32_t TickCount32();

}  // namespace tavo
