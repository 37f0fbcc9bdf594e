// App_Time on a fresh simulated machine (clock at 2016-03-01 14:30:05.123 local time, UTC+8):
// date texts, the time zone bias, and the system-time conversions with their failures logged.
#include "framework/util/time_conversions.h"
#include "framework/util/date.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::SYSTEMTIME;

Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const auto date = MakeDate({y, mo, d, h, mi, s});
  EXPECT_TRUE(date.has_value());
  return date.value_or(Date{});
}

SYSTEMTIME St(int y, int mo, int d, int h, int mi, int s) {
  SYSTEMTIME st;
  st.wYear = static_cast<platform::WORD>(y);
  st.wMonth = static_cast<platform::WORD>(mo);
  st.wDay = static_cast<platform::WORD>(d);
  st.wHour = static_cast<platform::WORD>(h);
  st.wMinute = static_cast<platform::WORD>(mi);
  st.wSecond = static_cast<platform::WORD>(s);
  return st;
}

using TimeTest = MachineTest;

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
  m.SetLocalTime(2016, 3, 1, 3, 0, 0);
  EXPECT_EQ(FormatGeneralDate(NowUTC()), u"2016-02-29 19:00:00");
  m.tz_bias_minutes = 300;  // UTC-5: late on New Year's Eve is next year in UTC
  m.SetLocalTime(2015, 12, 31, 22, 15, 0);
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
  m.InjectFault("LocalFileTimeToFileTime", platform::kERROR_INVALID_PARAMETER);
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
  EXPECT_EQ(m.CallCount("GetTimeZoneInformationForYear"), 1);
  EXPECT_EQ(m.CallCount("GetTimeZoneInformation"), 0);
}

TEST_F(TimeTest, UtcToLocalBeforeVistaUsesTheCurrentZone) {
  ctx.env = std::make_unique<AppEnv>();
  ctx.env->WinVista_OrNewer = false;
  SYSTEMTIME local;
  ASSERT_TRUE(SystemTimeUTC_To_SystemTimeLocal(St(2016, 3, 1, 6, 30, 5), local));
  EXPECT_EQ(local.wHour, 14);
  EXPECT_EQ(m.CallCount("GetTimeZoneInformation"), 1);
  EXPECT_EQ(m.CallCount("GetTimeZoneInformationForYear"), 0);
}

TEST_F(TimeTest, UtcToLocalFailureIsLoggedAndLeavesTheOutput) {
  m.InjectFault("SystemTimeToTzSpecificLocalTime", platform::kERROR_INVALID_PARAMETER);
  SYSTEMTIME local = St(2001, 2, 3, 4, 5, 6);
  EXPECT_FALSE(SystemTimeUTC_To_SystemTimeLocal(St(2016, 3, 1, 6, 30, 5), local));
  EXPECT_EQ(local.wYear, 2001);
  EXPECT_EQ(local.wHour, 4);
  EXPECT_TRUE(LogHas(u"SystemTimeToTzSpecificLocalTime"));
}

}  // namespace
}  // namespace kes
