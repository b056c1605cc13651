// The POSIX system clock: the local time with its zone's offset, under the
// zones that TZ names.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace tavo {
namespace {

// Sets TZ for the test's duration and puts the previous one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* aTz) {
    if (const char* old = std::getenv("TZ"))
      fOld = old;
    ::setenv("TZ", aTz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (fOld)
      ::setenv("TZ", fOld->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> fOld;
};

TEST(ClockTest, SystemZonedTimeIsTheRealTimeWithTheZonesOffset) {
  struct {
    const char* Tz;
    int Offset;  // minutes east of UTC
  } cases[] = {
      {"UTC0", 0},
      {"EST5", -5 * 60},
      {"<+0530>-5:30", 5 * 60 + 30},
      {"<-0330>3:30", -(3 * 60 + 30)},
  };
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.Tz);
    const auto before = std::chrono::system_clock::now();
    const TZonedDateTime now = SystemZonedTime();
    const auto after = std::chrono::system_clock::now();
    EXPECT_EQ(now.UtcOffsetMinutes, c.Offset) << c.Tz;
    // Back to UTC through the offset: the moment between the two readings.
    const std::int64_t utcSeconds =
        DayNumber(now.Local) * 86400 + now.Local.MsOfDay() / 1000 - now.UtcOffsetMinutes * 60LL;
    const auto seconds = [](auto aTime) {
      return std::chrono::duration_cast<std::chrono::seconds>(aTime.time_since_epoch()).count();
    };
    EXPECT_GE(utcSeconds, seconds(before)) << c.Tz;
    EXPECT_LE(utcSeconds, seconds(after)) << c.Tz;
    EXPECT_EQ(now.Local.DayOfWeek, IsoWeekday(DayNumber(now.Local))) << c.Tz;
  }
}

}  // namespace
}  // namespace tavo
