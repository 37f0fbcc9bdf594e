// App_Time: conversions between date values, SYSTEMTIME and FILETIME structures and texts;
// the current time in UTC; the date texts used in folder names and logs. Every operation traces
// itself under the source "App_Time". Date texts in and out use the general date format of
// date.h ("2016-03-01 14:05:09") unless a comment says otherwise.
// Conversions work to the second: milliseconds and the day of week of a SYSTEMTIME are neither
// read nor written. A failed conversion logs why and leaves its outputs as they were.
#pragma once

#include <string>
#include <string_view>

#include "framework/util/date.h"
#include "framework/util/value.h"
#include "platform/types.h"

namespace kes {

// The current time in UTC (the machine's local time shifted by its current time-zone bias).
// On failure (logged) the date of serial 0.
Date NowUTC();

// A local date (a Date value, or a text ParseDateText reads) converted to UTC with the
// machine's current time-zone bias, as general-format text. "" (logged) when `date` holds no
// valid date or a system call fails (dates before 1601 cannot be converted).
std::u16string TimeLocaltoUTC(const Value& date);

// Year, month, day, hour, minute and second of the date into the structure; true. False
// (logged, structure untouched) for a date outside the valid range.
bool DateToSystemTime(Date date, platform::SYSTEMTIME& system_time);
// The date of the structure's year, month, day, hour, minute and second; true. False (logged,
// `date` untouched) when a field is out of range.
bool SystemTimeToDate(const platform::SYSTEMTIME& system_time, Date& date);
// The structure's date as GetDateString writes it year first with time, seconds and 12-hour
// clock ("2016/03/01 02:30:05 PM"); "" (logged) when a field is out of range.
std::u16string SystemTimeToDateString(const platform::SYSTEMTIME& system_time);

// The local time of a UTC time under the machine's time-zone rules for that year (the rules
// of the current year on Windows before Vista); true. False (the failing call logged, `local`
// untouched) when the time-zone information or the conversion fails.
bool SystemTimeUTC_To_SystemTimeLocal(const platform::SYSTEMTIME& utc, platform::SYSTEMTIME& local);
// The other way: the UTC time of a local wall-clock time under that year's rules. True, or
// false as above (`utc` untouched).
bool SystemTimeLocal_To_SystemTimeUTC(const platform::SYSTEMTIME& local, platform::SYSTEMTIME& utc);

// A date text for folder names and logs. The date is the current local time when `alt_date` is
// empty, else the date ParseDateText reads from `alt_date`; an unreadable `alt_date` gives ""
// (logged). Written month/day/year ("03/01/2016") or, with `year_first`, year/month/day; month
// and day two digits unless `strip_leading_zeros`. `include_time` appends " hh:nn" (hour without
// leading zero with `strip_leading_zeros`), `include_time_seconds` ":ss", and unless
// `use_24_hour_time` the 12-hour clock and " AM"/" PM". `replace_non_numeric_chars` then replaces
// every / \ - a p m blank : . h s (any case) by `non_numeric_char_replacement`.
std::u16string GetDateString(std::u16string_view alt_date = {},
                             bool replace_non_numeric_chars = false,
                             std::u16string_view non_numeric_char_replacement = {},
                             bool strip_leading_zeros = false, bool year_first = false,
                             bool include_time = false, bool include_time_seconds = false,
                             bool use_24_hour_time = false);

}  // namespace kes
