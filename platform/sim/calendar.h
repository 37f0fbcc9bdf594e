// Calendar arithmetic of the simulated clock: proleptic Gregorian dates counted from
// 1601-01-01, the epoch of FILETIME. Pure functions, no state.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/types.h"

namespace kes::sim {

inline constexpr std::int64_t kMsPerDay = 86400000;
inline constexpr std::int64_t kTicksPerMs = 10000;  // FILETIME counts 100-ns ticks

// Days from 1601-01-01 to the given date (any valid Gregorian date, month 1-12).
std::int64_t DaysFrom1601(int year, int month, int day);
// The date `days` after 1601-01-01.
void DateFrom1601(std::int64_t days, int* year, int* month, int* day);
// 0 = Sunday, as SYSTEMTIME.wDayOfWeek.
int DayOfWeekFrom1601(std::int64_t days);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Milliseconds since 1601 for a SYSTEMTIME; nullopt when a field is out of range (Windows
// rejects those with ERROR_INVALID_PARAMETER). wDayOfWeek is ignored, as Windows does.
std::optional<std::int64_t> SystemTimeToMs(const platform::SYSTEMTIME& st);
// The SYSTEMTIME of a millisecond count since 1601 (non-negative).
platform::SYSTEMTIME MsToSystemTime(std::int64_t ms);

}  // namespace kes::sim
