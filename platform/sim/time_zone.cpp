#include "platform/sim/time_zone.h"

#include "platform/sim/calendar.h"

namespace kes::sim {
namespace {

using platform::SYSTEMTIME;
using platform::TIME_ZONE_INFORMATION;
using platform::WORD;

constexpr std::int64_t kMsPerMinute = 60000;

int YearOf(std::int64_t ms) {
  return MsToSystemTime(ms).wYear;
}

// The local moment (ms since 1601) a transition date names in `year`: an absolute date when
// wYear is set, else the wDay-th wDayOfWeek of the month (5: the last one).
std::int64_t TransitionMs(const SYSTEMTIME& rule, int year) {
  int day = rule.wDay;
  if (rule.wYear == 0) {
    const int first = DayOfWeekFrom1601(DaysFrom1601(year, rule.wMonth, 1));
    day = 1 + (rule.wDayOfWeek - first + 7) % 7 + (rule.wDay - 1) * 7;
    while (day > DaysInMonth(year, rule.wMonth)) day -= 7;
  }
  return DaysFrom1601(year, rule.wMonth, day) * kMsPerDay +
         ((rule.wHour * 60LL + rule.wMinute) * 60 + rule.wSecond) * 1000;
}

// Whether `ms` lies in daylight saving time, both transitions given on the clock `ms` is read on.
bool InDaylight(std::int64_t ms, std::int64_t start, std::int64_t end) {
  // The southern hemisphere's season spans the turn of the year.
  return start < end ? (ms >= start && ms < end) : (ms >= start || ms < end);
}

bool HasDaylight(const TIME_ZONE_INFORMATION& tz) {
  return tz.DaylightDate.wMonth != 0 && tz.StandardDate.wMonth != 0;
}

SYSTEMTIME Rule(WORD month, WORD week) {
  SYSTEMTIME st;
  st.wMonth = month;
  st.wDayOfWeek = 0;  // Sunday
  st.wDay = week;
  st.wHour = 2;
  return st;
}

}  // namespace

TIME_ZONE_INFORMATION ZoneForYear(const Machine& m, int year) {
  TIME_ZONE_INFORMATION tz;
  tz.Bias = m.tz_bias_minutes;
  if (!m.tz_standard_name.empty()) {
    tz.StandardName = m.tz_standard_name;
    tz.DaylightName = m.tz_daylight_name;
  } else if (m.tz_bias_minutes == -480) {
    tz.StandardName = u"China Standard Time";
    tz.DaylightName = u"China Daylight Time";
  } else {
    tz.StandardName = u"Coordinated Universal Time";
    tz.DaylightName = u"Coordinated Universal Time";
  }
  const DaylightRule* rule = nullptr;
  for (const DaylightRule& r : m.tz_daylight_rules)
    if (!rule || r.from_year <= year) rule = &r;
  if (rule) {
    tz.DaylightDate = rule->daylight_date;
    tz.StandardDate = rule->standard_date;
    tz.DaylightBias = rule->daylight_bias;
  }
  return tz;
}

std::optional<std::int64_t> UtcToLocalMs(const TIME_ZONE_INFORMATION& tz, std::int64_t utc_ms) {
  std::int64_t bias = tz.Bias + tz.StandardBias;
  if (HasDaylight(tz)) {
    const int year = YearOf(utc_ms);
    const std::int64_t start =
        TransitionMs(tz.DaylightDate, year) + (tz.Bias + tz.StandardBias) * kMsPerMinute;
    const std::int64_t end =
        TransitionMs(tz.StandardDate, year) + (tz.Bias + tz.DaylightBias) * kMsPerMinute;
    if (InDaylight(utc_ms, start, end)) bias = tz.Bias + tz.DaylightBias;
  }
  const std::int64_t local = utc_ms - bias * kMsPerMinute;
  if (local < 0) return std::nullopt;
  return local;
}

std::optional<std::int64_t> LocalToUtcMs(const TIME_ZONE_INFORMATION& tz, std::int64_t local_ms) {
  std::int64_t bias = tz.Bias + tz.StandardBias;
  if (HasDaylight(tz)) {
    const int year = YearOf(local_ms);
    if (InDaylight(local_ms, TransitionMs(tz.DaylightDate, year),
                   TransitionMs(tz.StandardDate, year)))
      bias = tz.Bias + tz.DaylightBias;
  }
  const std::int64_t utc = local_ms + bias * kMsPerMinute;
  if (utc < 0) return std::nullopt;
  return utc;
}

bool DaylightTimeNow(const Machine& m) {
  const TIME_ZONE_INFORMATION tz = ZoneForYear(m, YearOf(m.local_ms));
  if (!HasDaylight(tz)) return false;
  const int year = YearOf(m.local_ms);
  return InDaylight(m.local_ms, TransitionMs(tz.DaylightDate, year),
                    TransitionMs(tz.StandardDate, year));
}

std::int64_t CurrentBiasMinutes(const Machine& m) {
  const TIME_ZONE_INFORMATION tz = ZoneForYear(m, YearOf(m.local_ms));
  return tz.Bias + (DaylightTimeNow(m) ? tz.DaylightBias : tz.StandardBias);
}

std::int64_t FatReportedTicks(const Machine& m, std::int64_t utc_ticks) {
  if (m.tz_daylight_rules.empty()) return utc_ticks;  // one bias all year: nothing shifts
  const std::int64_t utc_ms = utc_ticks / kTicksPerMs;
  const auto local = UtcToLocalMs(ZoneForYear(m, YearOf(utc_ms)), utc_ms);
  if (!local) return utc_ticks;
  const std::int64_t reported = *local + CurrentBiasMinutes(m) * kMsPerMinute;
  return reported * kTicksPerMs + utc_ticks % kTicksPerMs;
}

void UseUsEasternTime(Machine& m) {
  m.tz_bias_minutes = 300;
  m.tz_standard_name = u"Eastern Standard Time";
  m.tz_daylight_name = u"Eastern Daylight Time";
  m.tz_daylight_rules = {
      {1987, Rule(4, 1), Rule(10, 5)},
      {2007, Rule(3, 2), Rule(11, 1)},
  };
}

}  // namespace kes::sim
