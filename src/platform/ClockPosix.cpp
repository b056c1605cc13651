#include "platform/Clock.h"

#include <ctime>

namespace tavo {
namespace {

TLocalDateTime FromTm(const tm& aLocal, long aNanoseconds) {
  TLocalDateTime t;
  t.Year = aLocal.tm_year + 1900;
  t.Month = aLocal.tm_mon + 1;
  t.Day = aLocal.tm_mday;
  t.Hour = aLocal.tm_hour;
  t.Minute = aLocal.tm_min;
  t.Second = aLocal.tm_sec > 59 ? 59 : aLocal.tm_sec;  // no leap seconds here
  t.Millisecond = static_cast<int>(aNanoseconds / 1000000);
  t.DayOfWeek = aLocal.tm_wday == 0 ? 7 : aLocal.tm_wday;
  return t;
}

class TSystemClock final : public IClock {
 public:
  TLocalDateTime Now() const override {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    return FromTm(local, ts.tv_nsec);
  }
};

tm ToTm(const TLocalDateTime& aTime) {
  tm t{};
  t.tm_year = aTime.Year - 1900;
  t.tm_mon = aTime.Month - 1;
  t.tm_mday = aTime.Day;
  t.tm_hour = aTime.Hour;
  t.tm_min = aTime.Minute;
  t.tm_sec = aTime.Second;
  t.tm_wday = aTime.DayOfWeek % 7;
  t.tm_isdst = -1;
  return t;
}

}  // namespace

const IClock& SystemClock() {
  static const TSystemClock clock;
  return clock;
}

std::string ShortDateText(const TLocalDateTime& aTime) {
  const tm t = ToTm(aTime);
  char buf[128];
  return std::string(buf, std::strftime(buf, sizeof buf, "%x", &t));
}

std::string LongTimeText(const TLocalDateTime& aTime) {
  const tm t = ToTm(aTime);
  char buf[128];
  return std::string(buf, std::strftime(buf, sizeof buf, "%X", &t));
}

TZonedDateTime SystemZonedTime() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  ::localtime_r(&ts.tv_sec, &local);
  return {FromTm(local, ts.tv_nsec), static_cast<int>(local.tm_gmtoff / 60)};
}

std::uint32_t TickCount32() {
  timespec ts{};
  ::clock_gettime(CLOCK_BOOTTIME, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

}  // namespace tavo
