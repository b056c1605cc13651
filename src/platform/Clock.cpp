#include "platform/Clock.h"

#include <atomic>

namespace tavo {
namespace {

// Null while no clock is installed: the system clock lives in the platform's
// own half (ClockPosix.cpp, ClockWin32.cpp).
std::atomic<const IClock*> gClock{nullptr};

}  // namespace

std::int64_t DayNumber(int aYear, int aMonth, int aDay) {
  // Howard Hinnant's days_from_civil.
  const std::int64_t y = aYear - (aMonth <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (aMonth + (aMonth > 2 ? -3 : 9)) + 2) / 5 + aDay - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int IsoWeekday(std::int64_t aDayNumber) {
  // 1970-01-01 was a Thursday (4).
  const std::int64_t w = (aDayNumber % 7 + 7 + 3) % 7;  // Monday 0
  return static_cast<int>(w) + 1;
}

const IClock& Clock() {
  const IClock* installed = gClock.load(std::memory_order_acquire);
  return installed ? *installed : SystemClock();
}

void SetClock(const IClock* aClock) {
  gClock.store(aClock, std::memory_order_release);
}

}  // namespace tavo
