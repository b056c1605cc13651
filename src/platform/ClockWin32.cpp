#include "platform/Clock.h"

#include <windows.h>

#include "platform/WideText.h"

namespace tavo {
namespace {

TLocalDateTime FromSystemTime(const SYSTEMTIME& aTime) {
  TLocalDateTime t;
  t.Year = aTime.wYear;
  t.Month = aTime.wMonth;
  t.Day = aTime.wDay;
  t.Hour = aTime.wHour;
  t.Minute = aTime.wMinute;
  t.Second = aTime.wSecond;
  t.Millisecond = aTime.wMilliseconds;
  t.DayOfWeek = aTime.wDayOfWeek == 0 ? 7 : aTime.wDayOfWeek;
  return t;
}

SYSTEMTIME ToSystemTime(const TLocalDateTime& aTime) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(aTime.Year);
  t.wMonth = static_cast<WORD>(aTime.Month);
  t.wDay = static_cast<WORD>(aTime.Day);
  t.wHour = static_cast<WORD>(aTime.Hour);
  t.wMinute = static_cast<WORD>(aTime.Minute);
  t.wSecond = static_cast<WORD>(aTime.Second);
  t.wMilliseconds = static_cast<WORD>(aTime.Millisecond);
  t.wDayOfWeek = static_cast<WORD>(aTime.DayOfWeek % 7);
  return t;
}

std::int64_t FileTimeValue(const FILETIME& aTime) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(aTime.dwHighDateTime) << 32 |
                                   aTime.dwLowDateTime);
}

class TSystemClock final : public IClock {
 public:
  TLocalDateTime Now() const override {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    return FromSystemTime(local);
  }
};

// The locale's forms come from the API in UTF-16, aLength counting the
// terminating null; a date it cannot format (before 1601) gives no text.
std::string FormattedText(const wchar_t* aText, int aLength) {
  return aLength > 1 ? WideToUtf8(std::wstring_view(aText, static_cast<std::size_t>(aLength - 1)))
                     : std::string();
}

}  // namespace

const IClock& SystemClock() {
  static const TSystemClock clock;
  return clock;
}

std::string ShortDateText(const TLocalDateTime& aTime) {
  const SYSTEMTIME t = ToSystemTime(aTime);
  wchar_t buf[128];
  return FormattedText(buf, ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr,
                                              buf, 128, nullptr));
}

std::string LongTimeText(const TLocalDateTime& aTime) {
  const SYSTEMTIME t = ToSystemTime(aTime);
  wchar_t buf[128];
  // No flags and no picture: the locale's time format, which is its long one.
  return FormattedText(buf, ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, buf, 128));
}

TZonedDateTime SystemZonedTime() {
  // One reading of UTC turned into local time, so the offset is the
  // difference of the two forms of the same moment.
  FILETIME utc;
  ::GetSystemTimeAsFileTime(&utc);
  SYSTEMTIME utcParts{}, localParts{};
  FILETIME local;
  if (!::FileTimeToSystemTime(&utc, &utcParts) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &localParts) ||
      !::SystemTimeToFileTime(&localParts, &local)) {
    return {FromSystemTime(utcParts), 0};
  }
  constexpr std::int64_t kTicksPerMinute = 60LL * 10000000;
  const std::int64_t diff = FileTimeValue(local) - FileTimeValue(utc);
  // Round to whole minutes: the local form lost the sub-millisecond part.
  const std::int64_t minutes =
      (diff >= 0 ? diff + kTicksPerMinute / 2 : diff - kTicksPerMinute / 2) / kTicksPerMinute;
  return {FromSystemTime(localParts), static_cast<int>(minutes)};
}

std::uint32_t TickCount32() {
  return ::GetTickCount();
}

}  // namespace tavo
