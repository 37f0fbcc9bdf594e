// How values, variable lists, procedure kinds and times read in the debug log.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/debug/log_text.h"
#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "platform/base/u16.h"

namespace kes::debug {
namespace {

void AppendAscii(std::u16string& out, const char* s) {
  for (; *s; ++s) out += static_cast<char16_t>(static_cast<unsigned char>(*s));
}

void AppendNumber(std::u16string& out, double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, v);
  AppendAscii(out, buf);
}

void AppendCurrency(std::u16string& out, std::int64_t scaled) {
  const bool negative = scaled < 0;
  // The magnitude as unsigned, so the most negative amount does not overflow.
  const std::uint64_t mag =
      negative ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
  if (negative) out += u'-';
  out += Dec(static_cast<std::int64_t>(mag / 10000));
  std::uint64_t frac = mag % 10000;
  if (frac == 0) return;
  std::u16string digits = Pad(static_cast<std::int64_t>(frac), 4);
  while (!digits.empty() && digits.back() == u'0') digits.pop_back();
  out += u'.';
  out += digits;
}

// Type names of array elements, by element tag.
const char16_t* ArrayTypeName(VarType element) {
  switch (element) {
    case VarType::Empty:
      return u"Array";
    case VarType::Null:
      return u"NullArray";
    case VarType::Integer:
      return u"IntegerArray";
    case VarType::Long:
      return u"LongArray";
    case VarType::Single:
      return u"SingleArray";
    case VarType::Double:
      return u"DoubleArray";
    case VarType::Currency:
      return u"CurrencyArray";
    case VarType::Date:
      return u"DateArray";
    case VarType::String:
      return u"StringArray";
    case VarType::Object:
      return u"ObjectArray";
    case VarType::Error:
      return u"ErrorValueArray";
    case VarType::Boolean:
      return u"BooleanArray";
    case VarType::Variant:
      return u"VariantArrayOnlyArray";
    case VarType::DataObject:
      return u"DataAccessObjectArray";
    case VarType::Byte:
      return u"ByteArray";
    case VarType::UDT:
      return u"UDTArray";
    default:
      return nullptr;
  }
}

// Appends "TypeName=" and the value text of v ("NA" when there is none).
void AppendTypeAndText(const Value& v, std::u16string& out) {
  struct Visitor {
    std::u16string& out;
    void Name(const char16_t* n) {
      out += n;
      out += u'=';
    }
    void operator()(std::monostate) {
      Name(u"Empty");
      out += u"Uninitialized";
    }
    void operator()(Value::NullTag) {
      Name(u"Null");
      out += u"No Valid Data";
    }
    void operator()(std::int16_t n) {
      Name(u"Integer");
      out += Dec(n);
    }
    void operator()(std::int32_t n) {
      Name(u"LongInteger");
      out += Dec(n);
    }
    void operator()(std::int64_t n) {
      Name(u"LongLong");
      out += Dec(n);
    }
    void operator()(float f) {
      Name(u"Single");
      AppendNumber(out, f, 7);
    }
    void operator()(double d) {
      Name(u"Double");
      AppendNumber(out, d, 15);
    }
    void operator()(const Currency& c) {
      Name(u"Currency");
      AppendCurrency(out, c.scaled);
    }
    void operator()(const Date& d) {
      Name(u"Date");
      out += GeneralDateText(d.serial);
    }
    void operator()(const std::u16string& s) {
      Name(u"String");
      out += s.empty() ? std::u16string_view(u"NA") : std::u16string_view(s);
    }
    void operator()(const ObjectRef& o) {
      Name(o.data_access ? u"DataAccessObject" : u"Object");
      out += o.class_name.empty() ? std::u16string_view(u"NA") : std::u16string_view(o.class_name);
    }
    void operator()(const ErrorValue& e) {
      Name(u"ErrorValue");
      out += u"Error ";
      out += Dec(e.code);
    }
    void operator()(bool b) {
      Name(u"Boolean");
      out += b ? u"True" : u"False";
    }
    void operator()(std::uint8_t b) {
      Name(u"Byte");
      out += Dec(b);
    }
    void operator()(const Record&) {
      Name(u"UDT");
      out += u"NA";
    }
    void operator()(const std::shared_ptr<Array>& a) {
      const VarType element = a ? a->element : VarType::Variant;
      if (const char16_t* n = ArrayTypeName(element)) {
        Name(n);
      } else {
        out += u"UnknownType_";
        out += Dec(static_cast<int>(VarType::Array) | static_cast<int>(element));
        out += u'=';
      }
      out += u"NA";
    }
  };
  std::visit(Visitor{out}, v.storage());
}

void AppendPlainText(const Value& v, std::u16string& out) {
  struct Visitor {
    std::u16string& out;
    void operator()(std::monostate) {}
    void operator()(Value::NullTag) {}
    void operator()(std::int16_t n) { out += Dec(n); }
    void operator()(std::int32_t n) { out += Dec(n); }
    void operator()(std::int64_t n) { out += Dec(n); }
    void operator()(float f) { AppendNumber(out, f, 7); }
    void operator()(double d) { AppendNumber(out, d, 15); }
    void operator()(const Currency& c) { AppendCurrency(out, c.scaled); }
    void operator()(const Date& d) { out += GeneralDateText(d.serial); }
    void operator()(const std::u16string& s) { out += s; }
    void operator()(const ObjectRef& o) { out += o.class_name; }
    void operator()(const ErrorValue& e) {
      out += u"Error ";
      out += Dec(e.code);
    }
    void operator()(bool b) { out += b ? u"True" : u"False"; }
    void operator()(std::uint8_t b) { out += Dec(b); }
    void operator()(const Record&) {}
    void operator()(const std::shared_ptr<Array>&) {}
  };
  std::visit(Visitor{out}, v.storage());
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

std::u16string GeneralDateText(double serial) {
  if (!std::isfinite(serial)) return u"NA";
  // Negative serials count days backwards while the fraction is still the time of day.
  std::int64_t day = static_cast<std::int64_t>(std::trunc(serial));
  double frac = std::fabs(serial - static_cast<double>(day));
  std::int64_t seconds = std::llround(frac * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += serial < 0 ? -1 : 1;
  }
  std::u16string out;
  if (day != 0) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(day - 25569, y, m, d);  // 1899-12-30 is day 0
    out += Pad(y, 4) + u"-" + Pad(m, 2) + u"-" + Pad(d, 2);
  }
  if (seconds != 0 || day == 0) {
    if (!out.empty()) out += u' ';
    out += Pad(seconds / 3600, 2) + u":" + Pad(seconds / 60 % 60, 2) + u":" + Pad(seconds % 60, 2);
  }
  return out;
}

void AppendDescription(const Value& v, std::u16string_view name, std::u16string& out) {
  if (!name.empty()) {
    out += name;
    out += u'.';
  }
  AppendTypeAndText(v, out);
}

void AppendVarsText(const Value* items, std::size_t count, std::u16string& out) {
  if (count == 0) return;
  if (count == 1) {
    AppendDescription(items[0], {}, out);
    return;
  }
  const std::u16string& sep = State().separator;
  std::u16string name;
  for (std::size_t i = 0; i < count; i += 2) {
    if (i > 0) out += sep;
    const Value& name_value = items[i];
    // The usual name is a text: describe without a copy.
    const std::u16string* text = name_value.get_if<std::u16string>();
    std::u16string_view name_view;
    if (text) {
      name_view = *text;
    } else {
      name.clear();
      AppendPlainText(name_value, name);
      name_view = name;
    }
    // A name without a value (an odd-length list) shows as uninitialised rather than vanishing.
    AppendDescription(i + 1 < count ? items[i + 1] : Value(), name_view, out);
  }
}

void AppendVarsText(const VarItem* items, std::size_t count, std::u16string& out) {
  auto describe = [&out](const VarItem* item, std::u16string_view name) {
    if (item && item->is_text()) {
      if (!name.empty()) {
        out += name;
        out += u'.';
      }
      out += u"String=";
      out += item->text().empty() ? std::u16string_view(u"NA") : item->text();
    } else {
      AppendDescription(item ? item->value() : Value(), name, out);
    }
  };
  if (count == 0) return;
  if (count == 1) {
    describe(&items[0], {});
    return;
  }
  const std::u16string& sep = State().separator;
  std::u16string name;
  for (std::size_t i = 0; i < count; i += 2) {
    if (i > 0) out += sep;
    std::u16string_view name_view;
    if (items[i].is_text()) {
      name_view = items[i].text();
    } else {
      name.clear();
      AppendPlainText(items[i].value(), name);
      name_view = name;
    }
    describe(i + 1 < count ? &items[i + 1] : nullptr, name_view);
  }
}

std::u16string DescribeValue(const Value& value, std::u16string_view name) {
  std::u16string out;
  try {
    AppendDescription(value, name, out);
  } catch (...) {
  }
  return out;
}

std::u16string ValueToText(const Value& value) {
  std::u16string out;
  try {
    AppendPlainText(value, out);
  } catch (...) {
  }
  return out;
}

std::u16string VarsToText(const std::vector<Value>& vars) {
  std::u16string out;
  try {
    AppendVarsText(vars.data(), vars.size(), out);
  } catch (...) {
  }
  return out;
}

bool ExpectedErrorMatches(const Value& expected, std::int32_t code) {
  if (expected.is_empty() || expected.is_null()) return false;
  if (auto n = expected.get_if<std::int32_t>()) return *n == code;
  if (auto n = expected.get_if<std::int16_t>()) return *n == code;
  if (auto n = expected.get_if<std::int64_t>()) return *n == code;
  if (auto n = expected.get_if<std::uint8_t>()) return *n == code;
  if (auto n = expected.get_if<double>()) return *n == code;
  if (auto n = expected.get_if<float>()) return *n == static_cast<float>(code);
  const std::u16string* list = expected.get_if<std::u16string>();
  if (!list) return false;
  // Each item is read as a number; an item that is none matches nothing.
  auto item_matches = [code](std::u16string_view item) {
    const std::u16string t = Trim(item);
    if (t.empty()) return false;
    std::string ascii;
    for (char16_t c : t) {
      if (c > 0x7F) return false;
      ascii += static_cast<char>(c);
    }
    char* end = nullptr;
    const double v = std::strtod(ascii.c_str(), &end);
    return end && *end == '\0' && v == code;
  };
  std::u16string_view rest = *list;
  if (rest.find(u',') == std::u16string_view::npos) return item_matches(rest);
  while (true) {
    const std::size_t comma = rest.find(u',');
    if (item_matches(rest.substr(0, comma))) return true;
    if (comma == std::u16string_view::npos) return false;
    rest.remove_prefix(comma + 1);
  }
}

std::u16string GetProcedureTypeAsString(std::int32_t code) {
  switch (code) {
    case ProcKind_Sub:
      return u"Sub";
    case ProcKind_Function:
      return u"Function";
    case ProcKind_Property:
      return u"Property";
    default:
      return u"Unknown";
  }
}

std::int32_t GetProcedureTypeFromString(std::u16string_view kind) {
  if (kind == u"Sub") return ProcKind_Sub;
  if (kind == u"Function") return ProcKind_Function;
  if (kind == u"Property") return ProcKind_Property;
  return ProcKind_Unknown;
}

std::u16string PerfTimer_MakeTimePretty(std::int32_t elapsed_ms, bool with_ms) {
  // A negative span (a clock that went back) reads as zero rather than as nonsense.
  const std::int64_t ms = elapsed_ms < 0 ? 0 : elapsed_ms;
  const std::int64_t s = ms / 1000;
  std::u16string out = Pad(s / 3600, 2) + u":" + Pad(s / 60 % 60, 2) + u":" + Pad(s % 60, 2);
  if (with_ms) {
    out += u'.';
    out += Pad(ms % 1000, 3);
  }
  return out;
}

}  // namespace kes::debug
