#include "framework/util/time_conversions.h"

#include <optional>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {

namespace {

constexpr std::u16string_view kModule = u"App_Time";

// Which time-zone call to use: the WinVista_OrNewer fact of version detection. Before start-up
// has created App_Env (a conversion traced during start-up itself) the per-year call is taken,
// which every Windows this tool still meets provides.
bool WinVistaOrNewer() {
  const Context& ctx = Ctx();
  return ctx.env ? ctx.env->WinVista_OrNewer : true;
}

// Raw fields of a structure for the trace (no validation: the point is to show bad ones).
std::u16string SystemTimeText(const platform::SYSTEMTIME& st) {
  return Pad(st.wYear, 4) + u"-" + Pad(st.wMonth, 2) + u"-" + Pad(st.wDay, 2) + u" " +
         Pad(st.wHour, 2) + u":" + Pad(st.wMinute, 2) + u":" + Pad(st.wSecond, 2) + u"." +
         Pad(st.wMilliseconds, 3);
}

CalendarTime CalendarOf(const platform::SYSTEMTIME& st) {
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

enum class ZoneDirection { kToLocal, kToUTC };

// Converts `in` between UTC and local time under the machine's time-zone rules for the year of
// `in` (before Vista: the rules Windows has for now); true with `out` set, false (the failing
// call logged, `out` untouched) otherwise.
bool ConvertInZone(const debug::Proc& p, const platform::SYSTEMTIME& in, platform::SYSTEMTIME& out,
                   ZoneDirection direction) {
  auto& sys = OS().sys;
  platform::TIME_ZONE_INFORMATION tz;
  if (WinVistaOrNewer()) {
    if (!sys.GetTimeZoneInformationForYear(in.wYear, &tz)) {
      p.LogFailedCall(u"GetTimeZoneInformationForYear");
      return false;
    }
  } else if (sys.GetTimeZoneInformation(&tz) == 0xFFFFFFFFu) {
    p.LogFailedCall(u"GetTimeZoneInformation");
    return false;
  }
  platform::SYSTEMTIME converted;
  if (direction == ZoneDirection::kToLocal) {
    if (!sys.SystemTimeToTzSpecificLocalTime(&tz, &in, &converted)) {
      p.LogFailedCall(u"SystemTimeToTzSpecificLocalTime");
      return false;
    }
  } else if (!sys.TzSpecificLocalTimeToSystemTime(&tz, &in, &converted)) {
    p.LogFailedCall(u"TzSpecificLocalTimeToSystemTime");
    return false;
  }
  out = converted;
  return true;
}

}  // namespace

Date NowUTC() {
  debug::Proc p(kModule, u"NowUTC", debug::Kind::Function);
  Date result;
  p.Step([&] {
    platform::SYSTEMTIME st;
    OS().sys.GetLocalTime(&st);
    Date local;
    if (!SystemTimeToDate(st, local)) return;
    const std::optional<Date> utc = ParseDateText(TimeLocaltoUTC(Value(local)));
    if (!utc) {
      p.Log(u"The local time " + SystemTimeText(st) + u" could not be converted to UTC.");
      return;
    }
    result = *utc;
  });
  p.Result(Value(result));
  return result;
}

std::u16string TimeLocaltoUTC(const Value& date) {
  debug::Proc p(kModule, u"TimeLocaltoUTC", debug::Kind::Function);
  p.Args({u"vDate", date});
  std::u16string result;
  p.Step([&] {
    std::optional<Date> local;
    if (const Date* d = date.get_if<Date>()) {
      if (SplitDate(*d)) local = *d;
    } else if (const std::u16string* s = date.get_if<std::u16string>()) {
      local = ParseDateText(*s);
    }
    if (!local) {
      p.Log(u"vDate holds no valid date; nothing to convert.");
      return;
    }
    platform::SYSTEMTIME local_st;
    if (!DateToSystemTime(*local, local_st)) return;
    auto& sys = OS().sys;
    platform::FILETIME local_ft, utc_ft;
    if (!sys.SystemTimeToFileTime(&local_st, &local_ft))
      return p.LogFailedCall(u"SystemTimeToFileTime");
    if (!sys.LocalFileTimeToFileTime(&local_ft, &utc_ft))
      return p.LogFailedCall(u"LocalFileTimeToFileTime");
    platform::SYSTEMTIME utc_st;
    if (!sys.FileTimeToSystemTime(&utc_ft, &utc_st))
      return p.LogFailedCall(u"FileTimeToSystemTime");
    Date utc;
    if (!SystemTimeToDate(utc_st, utc)) return;
    result = FormatGeneralDate(utc);
  });
  p.Result(Value(result));
  return result;
}

bool DateToSystemTime(Date date, platform::SYSTEMTIME& system_time) {
  debug::Proc p(kModule, u"DateToSystemTime", debug::Kind::Function);
  p.Args({u"dtDate", date});
  bool ok = false;
  p.Step([&] {
    const std::optional<CalendarTime> ct = SplitDate(date);
    if (!ct) {
      p.Log(u"dtDate (serial " + U16(std::to_string(date.serial)) +
            u") is outside 0100-01-01 to 9999-12-31; the structure is left unchanged.");
      return;
    }
    system_time.wYear = static_cast<platform::WORD>(ct->year);
    system_time.wMonth = static_cast<platform::WORD>(ct->month);
    system_time.wDay = static_cast<platform::WORD>(ct->day);
    system_time.wHour = static_cast<platform::WORD>(ct->hour);
    system_time.wMinute = static_cast<platform::WORD>(ct->minute);
    system_time.wSecond = static_cast<platform::WORD>(ct->second);
    ok = true;
  });
  p.Vars(debug::Var_ReturnedByRef, {u"stSystemTime", SystemTimeText(system_time)});
  p.Result(ok);
  return ok;
}

bool SystemTimeToDate(const platform::SYSTEMTIME& system_time, Date& date) {
  debug::Proc p(kModule, u"SystemTimeToDate", debug::Kind::Function);
  p.Args({u"stSystemTime", SystemTimeText(system_time)});
  bool ok = false;
  p.Step([&] {
    const std::optional<Date> made = MakeDate(CalendarOf(system_time));
    if (!made) {
      p.Log(u"The structure holds no valid date (" + SystemTimeText(system_time) +
            u"); dtDate is left unchanged.");
      return;
    }
    date = *made;
    ok = true;
  });
  p.Vars(debug::Var_ReturnedByRef, {u"dtDate", date});
  p.Result(ok);
  return ok;
}

std::u16string SystemTimeToDateString(const platform::SYSTEMTIME& system_time) {
  debug::Proc p(kModule, u"SystemTimeToDateString", debug::Kind::Function);
  p.Args({u"stSystemTime", SystemTimeText(system_time)});
  std::u16string result;
  p.Step([&] {
    Date date;
    if (!SystemTimeToDate(system_time, date)) return;
    result = GetDateString(FormatGeneralDate(date), false, u"", false, true, true, true, false);
  });
  p.Result(Value(result));
  return result;
}

bool SystemTimeUTC_To_SystemTimeLocal(const platform::SYSTEMTIME& utc,
                                      platform::SYSTEMTIME& local) {
  debug::Proc p(kModule, u"SystemTimeUTC_To_SystemTimeLocal", debug::Kind::Function);
  p.Args({u"stUTC", SystemTimeText(utc)});
  bool ok = false;
  p.Step([&] { ok = ConvertInZone(p, utc, local, ZoneDirection::kToLocal); });
  p.Vars(debug::Var_ReturnedByRef, {u"stLocal", SystemTimeText(local)});
  p.Result(ok);
  return ok;
}

bool SystemTimeLocal_To_SystemTimeUTC(const platform::SYSTEMTIME& local,
                                      platform::SYSTEMTIME& utc) {
  debug::Proc p(kModule, u"SystemTimeLocal_To_SystemTimeUTC", debug::Kind::Function);
  p.Args({u"stLocal", SystemTimeText(local)});
  bool ok = false;
  p.Step([&] { ok = ConvertInZone(p, local, utc, ZoneDirection::kToUTC); });
  p.Vars(debug::Var_ReturnedByRef, {u"stUTC", SystemTimeText(utc)});
  p.Result(ok);
  return ok;
}

std::u16string GetDateString(std::u16string_view alt_date, bool replace_non_numeric_chars,
                             std::u16string_view non_numeric_char_replacement,
                             bool strip_leading_zeros, bool year_first, bool include_time,
                             bool include_time_seconds, bool use_24_hour_time) {
  debug::Proc p(kModule, u"GetDateString", debug::Kind::Function);
  p.Args({u"sAltDate", alt_date, u"bReplaceNonNumericChars", replace_non_numeric_chars,
          u"sNonNumericCharReplacement", non_numeric_char_replacement, u"bStripLeadingZeros",
          strip_leading_zeros, u"bYearFirst", year_first, u"bIncludeTime", include_time,
          u"bIncludeTimeSeconds", include_time_seconds, u"bUse24HourTime", use_24_hour_time});
  std::u16string result;
  p.Step([&] {
    CalendarTime ct;
    if (alt_date.empty()) {
      platform::SYSTEMTIME st;
      OS().sys.GetLocalTime(&st);
      ct = CalendarOf(st);
    } else {
      const std::optional<Date> date = ParseDateText(alt_date);
      if (!date) {
        p.Log(u"sAltDate [" + std::u16string(alt_date) +
              u"] is not a valid date text; the result is empty.");
        return;
      }
      ct = *SplitDate(*date);
    }
    const auto two = [&](int n) { return strip_leading_zeros ? Dec(n) : Pad(n, 2); };
    std::u16string time;
    if (include_time) {
      const int hour = use_24_hour_time ? ct.hour : (ct.hour % 12 == 0 ? 12 : ct.hour % 12);
      time = u" " + two(hour) + u":" + Pad(ct.minute, 2);
      if (include_time_seconds) time += u":" + Pad(ct.second, 2);
      if (!use_24_hour_time) time += ct.hour < 12 ? u" AM" : u" PM";
    }
    const std::u16string year = Pad(ct.year, 4);
    result = year_first ? year + u"/" + two(ct.month) + u"/" + two(ct.day)
                        : two(ct.month) + u"/" + two(ct.day) + u"/" + year;
    result += time;
    if (replace_non_numeric_chars)
      result = StripNonNumericValuesFromTimeDateString(result, non_numeric_char_replacement);
  });
  p.Result(Value(result));
  return result;
}

}  // namespace kes
