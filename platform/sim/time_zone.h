// The simulated machine's time zone: a standard bias and, where the zone has daylight saving
// time, rules that may change from one year to the next (Machine::tz_daylight_rules), read the
// way Windows reads a dynamic time zone. The machine's clock is its local wall-clock time; the
// bias in effect at that moment turns it into UTC.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/sim/machine.h"

namespace kes::sim {

// The zone as GetTimeZoneInformationForYear describes it for `year`: no daylight dates
// (wMonth 0) when the zone has no daylight saving time.
platform::TIME_ZONE_INFORMATION ZoneForYear(const Machine& m, int year);

// The local time of a UTC time (milliseconds since 1601) under the zone's daylight dates for
// that time's year, and back; nullopt when the result falls before 1601.
std::optional<std::int64_t> UtcToLocalMs(const platform::TIME_ZONE_INFORMATION& tz,
                                         std::int64_t utc_ms);
std::optional<std::int64_t> LocalToUtcMs(const platform::TIME_ZONE_INFORMATION& tz,
                                         std::int64_t local_ms);

// True when the machine's clock reads daylight saving time now.
bool DaylightTimeNow(const Machine& m);
// UTC = local + this many minutes, now.
std::int64_t CurrentBiasMinutes(const Machine& m);

// What the file calls report for a time a FAT volume keeps: FAT stores the local wall-clock time
// of the moment (`utc_ticks`, FILETIME ticks), and Windows turns it back into UTC with the bias
// in effect now, so that outside the season of the moment the report is off by the daylight
// bias.
std::int64_t FatReportedTicks(const Machine& m, std::int64_t utc_ticks);

// The zone of the eastern United States: UTC-5, with daylight saving time from the first Sunday
// in April to the last Sunday in October until 2006 and from the second Sunday in March to the
// first Sunday in November since 2007.
void UseUsEasternTime(Machine& m);

}  // namespace kes::sim
