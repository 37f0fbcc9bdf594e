// Date values: serials counted from 1899-12-30, the calendar with its leap days, and the general
// date format, written and read back.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/util/date.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const auto date = MakeDate({y, mo, d, h, mi, s});
  EXPECT_TRUE(date.has_value());
  return date.value_or(Date{});
}

TEST(Dates, SerialsCountDaysFrom18991230) {
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

TEST(Dates, LeapYearsAndDayBoundaries) {
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

TEST(Dates, GeneralFormatReadsBackIntoTheSameDate) {
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

TEST(Dates, ParseDateTextForms) {
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

}  // namespace
}  // namespace kes
