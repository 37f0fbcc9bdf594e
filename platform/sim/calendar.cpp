#include "platform/sim/calendar.h"

namespace kes::sim {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

// Howard Hinnant's days-from-civil, shifted so that 1601-01-01 is day 0.
std::int64_t DaysFrom1601(int year, int month, int day) {
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days_from_1970 = era * 146097 + doe - 719468;
  return days_from_1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

void DateFrom1601(std::int64_t days, int* year, int* month, int* day) {
  const std::int64_t z = days - 134774 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

// 1601-01-01 was a Monday.
int DayOfWeekFrom1601(std::int64_t days) {
  return static_cast<int>((days % 7 + 7 + 1) % 7);
}

std::optional<std::int64_t> SystemTimeToMs(const platform::SYSTEMTIME& st) {
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999)
    return std::nullopt;
  const std::int64_t days = DaysFrom1601(st.wYear, st.wMonth, st.wDay);
  return days * kMsPerDay + ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * 1000LL +
         st.wMilliseconds;
}

platform::SYSTEMTIME MsToSystemTime(std::int64_t ms) {
  const std::int64_t days = ms / kMsPerDay;
  std::int64_t rest = ms % kMsPerDay;
  int y = 0, mo = 0, d = 0;
  DateFrom1601(days, &y, &mo, &d);
  platform::SYSTEMTIME st;
  st.wYear = static_cast<platform::WORD>(y);
  st.wMonth = static_cast<platform::WORD>(mo);
  st.wDay = static_cast<platform::WORD>(d);
  st.wDayOfWeek = static_cast<platform::WORD>(DayOfWeekFrom1601(days));
  st.wMilliseconds = static_cast<platform::WORD>(rest % 1000);
  rest /= 1000;
  st.wSecond = static_cast<platform::WORD>(rest % 60);
  rest /= 60;
  st.wMinute = static_cast<platform::WORD>(rest % 60);
  st.wHour = static_cast<platform::WORD>(rest / 60);
  return st;
}

}  // namespace kes::sim
