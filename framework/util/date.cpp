#include "framework/util/date.h"

#include <cmath>
#include <cstdint>

#include "platform/base/u16.h"

namespace kes {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30, the day of serial 0, counted from 1970-01-01.
constexpr std::int64_t kSerialEpochFrom1970 = -25569;

// Howard Hinnant's days-from-civil: days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * ((m + 9) % 12) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, CalendarTime& ct) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  ct.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  ct.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  ct.year = static_cast<int>(yoe + era * 400 + (ct.month <= 2 ? 1 : 0));
}

std::int64_t SerialDay(int year, int month, int day) {
  return DaysFromCivil(year, month, day) - kSerialEpochFrom1970;
}

// Reads the date and time forms of ParseDateText; every Read* leaves pos_ after what it read.
class DateTextReader {
 public:
  explicit DateTextReader(std::u16string_view text) : text_(text) {}

  std::optional<CalendarTime> Read() {
    CalendarTime ct;
    const std::size_t first_len = DigitRun();
    if (first_len == 0) return std::nullopt;
    if (pos_ + first_len < text_.size() && text_[pos_ + first_len] == u':') {
      // A time alone lands on the day of serial 0.
      ct.year = 1899;
      ct.month = 12;
      ct.day = 30;
      if (!ReadTime(ct)) return std::nullopt;
      return AtEnd() ? std::optional(ct) : std::nullopt;
    }
    const bool year_first = first_len == 4;
    int a = 0, b = 0, c = 0;
    if (!ReadNumber(year_first ? 4 : 1, year_first ? 4 : 2, a)) return std::nullopt;
    const char16_t sep = Peek();
    if (sep != u'-' && sep != u'/') return std::nullopt;
    ++pos_;
    if (!ReadNumber(1, 2, b) || Peek() != sep) return std::nullopt;
    ++pos_;
    if (!ReadNumber(year_first ? 1 : 4, year_first ? 2 : 4, c)) return std::nullopt;
    if (year_first) {
      ct.year = a, ct.month = b, ct.day = c;
    } else {
      ct.month = a, ct.day = b, ct.year = c;
    }
    if (AtEnd()) return ct;
    if (Peek() == u'T' && year_first) {
      ++pos_;
    } else if (!SkipBlanks()) {
      return std::nullopt;
    }
    if (!ReadTime(ct) || !AtEnd()) return std::nullopt;
    return ct;
  }

 private:
  char16_t Peek() const { return pos_ < text_.size() ? text_[pos_] : u'\0'; }
  bool AtEnd() const { return pos_ == text_.size(); }
  static bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

  std::size_t DigitRun() const {
    std::size_t n = 0;
    while (pos_ + n < text_.size() && IsDigit(text_[pos_ + n])) ++n;
    return n;
  }

  bool ReadNumber(std::size_t min_digits, std::size_t max_digits, int& out) {
    const std::size_t n = DigitRun();
    if (n < min_digits || n > max_digits) return false;
    out = 0;
    for (std::size_t i = 0; i < n; ++i) out = out * 10 + (text_[pos_ + i] - u'0');
    pos_ += n;
    return true;
  }

  bool SkipBlanks() {
    const std::size_t start = pos_;
    while (Peek() == u' ') ++pos_;
    return pos_ > start;
  }

  bool ReadTime(CalendarTime& ct) {
    int h = 0, n = 0, s = 0;
    if (!ReadNumber(1, 2, h) || Peek() != u':') return false;
    ++pos_;
    if (!ReadNumber(2, 2, n)) return false;
    if (Peek() == u':') {
      ++pos_;
      if (!ReadNumber(2, 2, s)) return false;
    }
    SkipBlanks();
    if (!AtEnd()) {
      if (text_.size() - pos_ < 2 || LowerChar(text_[pos_ + 1]) != u'm') return false;
      const char16_t ap = LowerChar(text_[pos_]);
      if ((ap != u'a' && ap != u'p') || h < 1 || h > 12) return false;
      h = h % 12 + (ap == u'p' ? 12 : 0);
      pos_ += 2;
    }
    ct.hour = h, ct.minute = n, ct.second = s;
    return true;
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

bool IsValidCalendarTime(const CalendarTime& ct) {
  return ct.year >= kMinDateYear && ct.year <= kMaxDateYear && ct.month >= 1 && ct.month <= 12 &&
         ct.day >= 1 && ct.day <= DaysInMonth(ct.year, ct.month) && ct.hour >= 0 && ct.hour <= 23 &&
         ct.minute >= 0 && ct.minute <= 59 && ct.second >= 0 && ct.second <= 59;
}

std::optional<Date> MakeDate(const CalendarTime& ct) {
  if (!IsValidCalendarTime(ct)) return std::nullopt;
  const std::int64_t day = SerialDay(ct.year, ct.month, ct.day);
  const double time =
      static_cast<double>((ct.hour * 60 + ct.minute) * 60 + ct.second) / kSecondsPerDay;
  return Date{day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time};
}

std::optional<CalendarTime> SplitDate(Date date) {
  static const std::int64_t kMinDay = SerialDay(kMinDateYear, 1, 1);
  static const std::int64_t kMaxDay = SerialDay(kMaxDateYear, 12, 31);
  const double serial = date.serial;
  if (!std::isfinite(serial) || serial <= static_cast<double>(kMinDay - 1) ||
      serial >= static_cast<double>(kMaxDay + 1))
    return std::nullopt;
  const double whole = std::trunc(serial);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(serial - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    // Rounded up to the next midnight: the time always runs forward, whatever the sign.
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day < kMinDay || day > kMaxDay) return std::nullopt;
  CalendarTime ct;
  CivilFromDays(day + kSerialEpochFrom1970, ct);
  ct.hour = static_cast<int>(seconds / 3600);
  ct.minute = static_cast<int>(seconds / 60 % 60);
  ct.second = static_cast<int>(seconds % 60);
  return ct;
}

std::u16string FormatGeneralDate(Date date) {
  const auto ct = SplitDate(date);
  if (!ct) return u"";
  std::u16string out = Pad(ct->year, 4) + u"-" + Pad(ct->month, 2) + u"-" + Pad(ct->day, 2);
  if (ct->hour || ct->minute || ct->second)
    out += u" " + Pad(ct->hour, 2) + u":" + Pad(ct->minute, 2) + u":" + Pad(ct->second, 2);
  return out;
}

std::optional<Date> ParseDateText(std::u16string_view text) {
  const std::u16string trimmed = Trim(text);
  const auto ct = DateTextReader(trimmed).Read();
  if (!ct) return std::nullopt;
  return MakeDate(*ct);
}

}  // namespace kes
