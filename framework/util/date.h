// Date values (kes::Date: days since 1899-12-30, time of day as the fraction) to and from the
// calendar, and the general date format.
//
// Serials follow the classic convention: the whole part counts days, the fraction is the time
// of day, and for days before 1899-12-30 the fraction is subtracted (1899-12-29 06:00 is
// -1.25). The valid range is 0100-01-01 00:00:00 to 9999-12-31 23:59:59; every conversion here
// works to the second (a fraction is rounded to the nearest second).
//
// General date format (how a date is written into logs, traces and UTC texts, and read back):
//   "yyyy-mm-dd hh:nn:ss"   e.g. "2016-03-01 14:05:09" (24-hour clock, always two digits)
//   "yyyy-mm-dd"            when the time of day is exactly midnight
// It does not depend on the machine's locale, so a text written on one machine reads back
// into the same date anywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "framework/util/value.h"

namespace kes {

// A calendar date and time of day to the second (proleptic Gregorian calendar).
struct CalendarTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CalendarTime&) const = default;
};

inline constexpr int kMinDateYear = 100;
inline constexpr int kMaxDateYear = 9999;

bool IsLeapYear(int year);
// Days of the month (28 to 31); 0 for a month outside 1-12.
int DaysInMonth(int year, int month);
// True when every field is in range (year 100-9999, a real day of the month, 00:00:00 to
// 23:59:59).
bool IsValidCalendarTime(const CalendarTime& ct);

// The date value of a calendar time; nullopt when a field is out of range.
std::optional<Date> MakeDate(const CalendarTime& ct);
// The calendar time of a date value, rounded to the nearest second; nullopt for a serial
// outside the valid range (or not a number).
std::optional<CalendarTime> SplitDate(Date date);

// The general date format of a date value; "" for a serial outside the valid range.
std::u16string FormatGeneralDate(Date date);

// Reads a date text; nullopt (nothing else happens) when it is not a valid date. Blanks around
// the text are ignored. Accepted forms, each optionally followed by a time:
//   yyyy-mm-dd, yyyy/mm/dd            (year first: four digits)
//   mm/dd/yyyy, mm-dd-yyyy            (month first, as GetDateString writes by default)
// and a time alone (which lands on 1899-12-30). The time after a blank (or a "T" for year-first
// dates) is h:nn or h:nn:ss, 24-hour, or 1-12 followed by AM or PM (blank optional, any case).
// Month, day and hour may have one or two digits; minutes and seconds have two. The general
// date format reads back into the same date, and so does every text GetDateString writes with
// its separators kept (to the minute when it leaves the seconds out).
std::optional<Date> ParseDateText(std::u16string_view text);

}  // namespace kes
