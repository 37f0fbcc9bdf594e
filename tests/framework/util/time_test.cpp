// Date values, the general date format and App_Time on a fresh simulated machine (clock at
// 2016-03-01 14:30:05.123 local time, UTC+8).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/util/date.h"
#include "framework/util/time_conversions.h"
#include "platform/base/u16.h"
#include "platform/sim/machine.h"

namespace kes {
namespace {

using platform::SYSTEMTIME;

class TimeTest : public ::testing::Test {
 protected:
  void SetUp() override { debug::InitDebugModuleVars(); }

  bool LogHas(std::u16string_view text) const {
    return debug::DebugLogText().find(text) != std::u16string::npos;
  }

  static Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    const auto date = MakeDate({y, mo, d, h, mi, s});
    EXPECT_TRUE(date.has_value());
    return date.value_or(Date{});
  }

  static SYSTEMTIME St(int y, int mo, int d, int h, int mi, int s) {
    SYSTEMTIME st;
    st.wYear = static_cast<platform::WORD>(y);
    st.wMonth = static_cast<platform::WORD>(mo);
    st.wDay = static_cast<platform::WORD>(d);
    st.wHour = static_cast<platform::WORD>(h);
    st.wMinute = static_cast<platform::WORD>(mi);
    st.wSecond = static_cast<platform::WORD>(s);
    return st;
  }

  sim::Machine machine_;
  Context ctx_{machine_.platform()};
  ContextScope scope_{ctx_};
};

// ---- serials and the calendar -------------------------------------------------------------

TEST_F(TimeTest, SerialsCountDaysFrom18991230) {
  EXPECT_EQ(D(1899, 12, 30).serial, 0.0);
  EXPECT_EQ(D(1900, 1, 1).serial, 2.0);
  EXPECT_EQ(D(2016, 3, 1).serial, 42430.0);
  EXPECT_EQ(D(2016, 3, 1, 12).serial, 42430.5);
  // Before serial 0 the time of day is subtracted: the day stays the whole part.
  EXPECT_EQ(D(1899, 12, 29, 6).serial, -1.25);
  const auto back = SplitDate(Date{-1.25});
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, (CalendarTime{1899, 12, 29, 6, 0, 0}));
}

TEST_F(TimeTest, LeapYearsAndDayBoundaries) {
  EXPECT_TRUE(MakeDate({2016, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({2015, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({1900, 2, 29, 0, 0, 0}));  // century, not leap
  EXPECT_TRUE(MakeDate({2000, 2, 29, 0, 0, 0}));   // fourth century, leap
  EXPECT_FALSE(MakeDate({2016, 4, 31, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({2016, 3, 1, 24, 0, 0}));
  EXPECT_FALSE(MakeDate({10000, 1, 1, 0, 0, 0}));
  EXPECT_FALSE(MakeDate({99, 12, 31, 0, 0, 0}));
  EXPECT_EQ(D(2016, 3, 1).serial - D(2016, 2, 28).serial, 2.0);
  EXPECT_EQ(D(2015, 3, 1).serial - D(2015, 2, 28).serial, 1.0);

  // Half a second before midnight rounds to the next day.
  const auto next = SplitDate(Date{D(2016, 2, 29).serial + 86399.6 / 86400});
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, (CalendarTime{2016, 3, 1, 0, 0, 0}));
  EXPECT_FALSE(SplitDate(Date{NAN}));
  EXPECT_FALSE(SplitDate(Date{D(9999, 12, 31).serial + 1}));
  EXPECT_TRUE(SplitDate(Date{D(9999, 12, 31, 23, 59, 59).serial}));
  EXPECT_TRUE(SplitDate(Date{D(100, 1, 1, 23, 59, 59).serial}));
}

TEST_F(TimeTest, GeneralFormatReadsBackIntoTheSameDate) {
  EXPECT_EQ(FormatGeneralDate(D(2016, 3, 1, 14, 5, 9)), u"2016-03-01 14:05:09");
  EXPECT_EQ(FormatGeneralDate(D(2016, 3, 1)), u"2016-03-01");
  EXPECT_EQ(FormatGeneralDate(D(1899, 12, 30, 0, 0, 1)), u"1899-12-30 00:00:01");
  EXPECT_EQ(FormatGeneralDate(Date{1e9}), u"");

  // Walk across centuries, leap days and both sides of serial 0 in odd steps.
  int checked = 0;
  for (double serial = -700000; serial < 2958465; serial += 3331.123457) {
    const auto ct = SplitDate(Date{serial});
    if (!ct) continue;
    const auto date = MakeDate(*ct);
    ASSERT_TRUE(date);
    const std::u16string text = FormatGeneralDate(*date);
    const auto parsed = ParseDateText(text);
    ASSERT_TRUE(parsed) << Utf8(text);
    EXPECT_EQ(parsed->serial, date->serial) << Utf8(text);
    ++checked;
  }
  EXPECT_GT(checked, 1000);
}

TEST_F(TimeTest, ParseDateTextForms) {
  const double expected = D(2016, 3, 1, 14, 5, 9).serial;
  for (const char16_t* text : {u"2016-03-01 14:05:09", u"2016/3/1 14:05:09", u"2016-03-01T14:05:09",
                               u"03/01/2016 14:05:09", u"3-1-2016 2:05:09 PM",
                               u"  03/01/2016 02:05:09pm  ", u"2016/03/01 02:05:09 pm"}) {
    const auto d = ParseDateText(text);
    ASSERT_TRUE(d) << Utf8(text);
    EXPECT_EQ(d->serial, expected) << Utf8(text);
  }
  // An unreadable text would give a serial no date has.
  const auto serial_of = [](std::u16string_view text) {
    return ParseDateText(text).value_or(Date{-1e9}).serial;
  };
  EXPECT_EQ(serial_of(u"2016-03-01"), D(2016, 3, 1).serial);
  EXPECT_EQ(serial_of(u"12:00 AM"), 0.0);  // a time alone lands on serial 0
  EXPECT_EQ(serial_of(u"12:30 PM"), D(1899, 12, 30, 12, 30).serial);
  EXPECT_EQ(serial_of(u"23:59:59"), D(1899, 12, 30, 23, 59, 59).serial);

  for (const char16_t* bad :
       {u"", u"   ", u"abc", u"2016-02-30", u"2015-02-29", u"13/01/2016", u"2016-03-01 24:00",
        u"2016-03-01 0:30 PM", u"2016-03/01", u"16-03-01", u"2016-03-01x", u"2016-03-01 14:5",
        u"2016-03-01 14:05:09 XM", u"3/1/2016T14:05", u"99999-01-01", u"12:30 PMX", u"1:30:5",
        u"13:00 PM"}) {
    EXPECT_FALSE(ParseDateText(bad)) << Utf8(bad);
  }
}

// ---- App_Time -----------------------------------------------------------------------------

TEST_F(TimeTest, GetDateStringExamples) {
  const std::u16string when = u"2016-03-01 14:05:09";
  EXPECT_EQ(GetDateString(when, false, u"", false, false, true, true, true),
            u"03/01/2016 14:05:09");
  EXPECT_EQ(GetDateString(when, false, u"", true, false, true, true, true), u"3/1/2016 14:05:09");
  EXPECT_EQ(GetDateString(when, true, u"-", false, true), u"2016-03-01");
  EXPECT_EQ(GetDateString(when), u"03/01/2016");
  EXPECT_EQ(GetDateString(when, false, u"", false, false, true), u"03/01/2016 02:05 PM");
  EXPECT_EQ(GetDateString(when, true, u"", false, false, true), u"030120160205");
  EXPECT_EQ(GetDateString(when, false, u"", true, true, true, true), u"2016/3/1 2:05:09 PM");
}

TEST_F(TimeTest, GetDateStringTwelveHourClockEdges) {
  EXPECT_EQ(GetDateString(u"2016-03-01 00:07", false, u"", false, false, true),
            u"03/01/2016 12:07 AM");
  EXPECT_EQ(GetDateString(u"2016-03-01 12:07", false, u"", false, false, true),
            u"03/01/2016 12:07 PM");
  EXPECT_EQ(GetDateString(u"2016-03-01 00:07", false, u"", false, false, true, false, true),
            u"03/01/2016 00:07");
}

TEST_F(TimeTest, GetDateStringOfNowAndOfBadText) {
  EXPECT_EQ(GetDateString(), u"03/01/2016");
  EXPECT_EQ(GetDateString(u"", false, u"", false, true, true, true, true), u"2016/03/01 14:30:05");
  EXPECT_EQ(GetDateString(u"2016-02-30"), u"");
  EXPECT_TRUE(LogHas(u"sAltDate [2016-02-30] is not a valid date text; the result is empty."));
}

TEST_F(TimeTest, NowUTCAppliesTheTimeZoneBias) {
  // 14:30:05 local in UTC+8.
  EXPECT_EQ(FormatGeneralDate(NowUTC()), u"2016-03-01 06:30:05");
  // Early on 1 March local is still the leap day in UTC.
  machine_.SetLocalTime(2016, 3, 1, 3, 0, 0);
  EXPECT_EQ(FormatGeneralDate(NowUTC()), u"2016-02-29 19:00:00");
  machine_.tz_bias_minutes = 300;  // UTC-5: late on New Year's Eve is next year in UTC
  machine_.SetLocalTime(2015, 12, 31, 22, 15, 0);
  EXPECT_EQ(FormatGeneralDate(NowUTC()), u"2016-01-01 03:15:00");
}

TEST_F(TimeTest, TimeLocaltoUTC) {
  EXPECT_EQ(TimeLocaltoUTC(Value(D(2016, 3, 1, 14, 30))), u"2016-03-01 06:30:00");
  EXPECT_EQ(TimeLocaltoUTC(Value(u"2016-03-01 08:00:00")), u"2016-03-01");
  EXPECT_EQ(TimeLocaltoUTC(Value()), u"");
  EXPECT_TRUE(LogHas(u"vDate holds no valid date; nothing to convert."));
  // FILETIME starts in 1601: an earlier date is refused by the system call, and logged.
  EXPECT_EQ(TimeLocaltoUTC(Value(D(1600, 6, 1))), u"");
  EXPECT_TRUE(LogHas(u"SystemTimeToFileTime"));
}

TEST_F(TimeTest, TimeLocaltoUTCLogsAFailedSystemCall) {
  machine_.InjectFault("LocalFileTimeToFileTime", platform::kERROR_INVALID_PARAMETER);
  EXPECT_EQ(TimeLocaltoUTC(Value(D(2016, 3, 1, 14, 30))), u"");
  EXPECT_TRUE(LogHas(u"LocalFileTimeToFileTime"));
  EXPECT_EQ(NowUTC().serial, 0.0);
}

TEST_F(TimeTest, SystemTimeConversionsTouchOnlyTheirFields) {
  SYSTEMTIME st;
  st.wDayOfWeek = 6;
  st.wMilliseconds = 777;
  ASSERT_TRUE(DateToSystemTime(D(2016, 2, 29, 23, 59, 59), st));
  EXPECT_EQ(st.wYear, 2016);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 23);
  EXPECT_EQ(st.wMinute, 59);
  EXPECT_EQ(st.wSecond, 59);
  EXPECT_EQ(st.wDayOfWeek, 6);
  EXPECT_EQ(st.wMilliseconds, 777);

  Date date{123};
  SYSTEMTIME with_ms = St(2016, 3, 1, 14, 5, 9);
  with_ms.wMilliseconds = 999;  // dropped, not rounded
  ASSERT_TRUE(SystemTimeToDate(with_ms, date));
  EXPECT_EQ(FormatGeneralDate(date), u"2016-03-01 14:05:09");
  EXPECT_EQ(SystemTimeToDateString(with_ms), u"2016/03/01 02:05:09 PM");
}

TEST_F(TimeTest, BadInputLeavesOutputsAndIsLogged) {
  SYSTEMTIME st = St(2001, 2, 3, 4, 5, 6);
  EXPECT_FALSE(DateToSystemTime(Date{1e9}, st));
  EXPECT_EQ(st.wYear, 2001);
  EXPECT_TRUE(LogHas(u"is outside 0100-01-01 to 9999-12-31"));

  Date date{42.5};
  EXPECT_FALSE(SystemTimeToDate(St(2016, 13, 1, 0, 0, 0), date));
  EXPECT_EQ(date.serial, 42.5);
  EXPECT_TRUE(LogHas(u"The structure holds no valid date (2016-13-01 00:00:00.000)"));
  EXPECT_EQ(SystemTimeToDateString(St(2016, 2, 30, 0, 0, 0)), u"");
}

TEST_F(TimeTest, UtcToLocalUsesTheYearsZoneRules) {
  SYSTEMTIME local = St(1, 1, 1, 1, 1, 1);
  ASSERT_TRUE(SystemTimeUTC_To_SystemTimeLocal(St(2016, 2, 29, 20, 0, 0), local));
  EXPECT_EQ(local.wYear, 2016);
  EXPECT_EQ(local.wMonth, 3);
  EXPECT_EQ(local.wDay, 1);
  EXPECT_EQ(local.wHour, 4);
  EXPECT_EQ(machine_.CallCount("GetTimeZoneInformationForYear"), 1);
  EXPECT_EQ(machine_.CallCount("GetTimeZoneInformation"), 0);
}

TEST_F(TimeTest, UtcToLocalBeforeVistaUsesTheCurrentZone) {
  ctx_.env = std::make_unique<AppEnv>();
  ctx_.env->WinVista_OrNewer = false;
  SYSTEMTIME local;
  ASSERT_TRUE(SystemTimeUTC_To_SystemTimeLocal(St(2016, 3, 1, 6, 30, 5), local));
  EXPECT_EQ(local.wHour, 14);
  EXPECT_EQ(machine_.CallCount("GetTimeZoneInformation"), 1);
  EXPECT_EQ(machine_.CallCount("GetTimeZoneInformationForYear"), 0);
}

TEST_F(TimeTest, UtcToLocalFailureIsLoggedAndLeavesTheOutput) {
  machine_.InjectFault("SystemTimeToTzSpecificLocalTime", platform::kERROR_INVALID_PARAMETER);
  SYSTEMTIME local = St(2001, 2, 3, 4, 5, 6);
  EXPECT_FALSE(SystemTimeUTC_To_SystemTimeLocal(St(2016, 3, 1, 6, 30, 5), local));
  EXPECT_EQ(local.wYear, 2001);
  EXPECT_EQ(local.wHour, 4);
  EXPECT_TRUE(LogHas(u"SystemTimeToTzSpecificLocalTime"));
}

}  // namespace
}  // namespace kes
