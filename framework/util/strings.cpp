#include "framework/util/strings.h"

#include <optional>

#include "framework/debug/proc.h"
#include "platform/base/u16.h"

namespace kes {

namespace {

constexpr std::u16string_view kModule = u"App_Strings";
constexpr std::u16string_view kEmptyDelimiter =
    u"The delimiter is empty; the text is left unchanged.";

bool IsCutBeforeType(std::int32_t type) {
  return type == Strip_BeforeFirst || type == Strip_BeforeLast;
}
bool IsKnownReturnType(std::int32_t type) {
  return type >= Strip_AfterFirst && type <= Strip_BeforeLast;
}

// The cut shared by StripString and StripStringNS; nullopt when nothing is to be cut.
std::optional<std::u16string> CutAtDelimiter(std::u16string_view s, std::u16string_view delimiter,
                                             std::int32_t type, bool include, bool trim) {
  if (delimiter.empty() || !IsKnownReturnType(type)) return std::nullopt;
  const bool first = type == Strip_AfterFirst || type == Strip_BeforeFirst;
  const std::size_t pos = first ? s.find(delimiter) : s.rfind(delimiter);
  if (pos == std::u16string_view::npos) return std::nullopt;
  if (IsCutBeforeType(type)) {
    std::u16string kept = trim ? RTrim(s.substr(0, pos)) : std::u16string(s.substr(0, pos));
    if (include) kept.append(delimiter);
    return kept;
  }
  std::u16string_view after = s.substr(pos + delimiter.size());
  std::u16string kept = trim ? LTrim(after) : std::u16string(after);
  if (include) kept.insert(0, delimiter);
  return kept;
}

std::size_t FindWith(std::u16string_view hay, std::u16string_view needle, std::size_t from,
                     bool ignore_case) {
  return ignore_case ? FindNoCase(hay, needle, from) : hay.find(needle, from);
}

// Position of the delimiter for the Strip*OfString and SplitString family, or npos.
std::size_t FindDelimiter(std::u16string_view s, std::u16string_view delimiter, bool first) {
  if (delimiter.empty()) return std::u16string_view::npos;
  return first ? s.find(delimiter) : s.rfind(delimiter);
}

std::u16string TrimSides(std::u16string_view s, bool leading, bool trailing) {
  if (leading && trailing) return Trim(s);
  if (leading) return LTrim(s);
  if (trailing) return RTrim(s);
  return std::u16string(s);
}

bool StartsWith(std::u16string_view s, std::u16string_view part) {
  return s.size() >= part.size() && s.substr(0, part.size()) == part;
}

bool EndsWith(std::u16string_view s, std::u16string_view part) {
  return s.size() >= part.size() && s.substr(s.size() - part.size()) == part;
}

// Shared body of StripEndOfString and StripBeginningOfString.
std::u16string StripOfString(const debug::Proc& p, std::u16string_view s,
                             std::u16string_view delimiter, bool first, bool keep_before,
                             bool leading, bool trailing) {
  std::u16string result;
  if (delimiter.empty()) p.Log(kEmptyDelimiter);
  p.Step([&] {
    const std::size_t pos = FindDelimiter(s, delimiter, first);
    std::u16string_view kept = s;
    if (pos != std::u16string_view::npos)
      kept = keep_before ? s.substr(0, pos) : s.substr(pos + delimiter.size());
    result = TrimSides(kept, leading, trailing);
  });
  p.Result(Value(result));
  return result;
}

}  // namespace

std::u16string LTrim(std::u16string_view s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] == u' ') ++b;
  return std::u16string(s.substr(b));
}

std::u16string RTrim(std::u16string_view s) {
  std::size_t e = s.size();
  while (e > 0 && s[e - 1] == u' ') --e;
  return std::u16string(s.substr(0, e));
}

std::u16string ReplaceAll(std::u16string_view s, std::u16string_view find, std::u16string_view with,
                          bool ignore_case) {
  if (find.empty()) return std::u16string(s);
  std::u16string out;
  out.reserve(s.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t pos = FindWith(s, find, from, ignore_case);
    if (pos == std::u16string_view::npos) break;
    out.append(s.substr(from, pos - from)).append(with);
    from = pos + find.size();
  }
  out.append(s.substr(from));
  return out;
}

std::u16string TrimNull(std::u16string& s, bool trim) {
  const std::size_t nul = s.find(u'\0');
  if (nul != std::u16string::npos) s.resize(nul);
  if (trim) s = Trim(s);
  return s;
}

bool InStrCollection(std::u16string_view s, const std::vector<std::u16string>& collection,
                     std::int32_t compare_mode) {
  const bool ignore_case = compare_mode != kCompareBinary;
  for (const auto& item : collection) {
    if (item.empty()) continue;
    if (FindWith(s, item, 0, ignore_case) != std::u16string_view::npos) return true;
  }
  return false;
}

std::int32_t GetWordCount(std::u16string_view s, std::u16string_view word,
                          std::int32_t compare_mode) {
  debug::Proc p(kModule, u"GetWordCount", debug::Kind::Function);
  p.Args({u"s", s, u"sWord", word, u"lCompare", compare_mode});
  std::int32_t count = 0;
  if (word.empty()) {
    p.Log(u"The word to count is empty; the count is 0.");
  } else {
    p.Step([&] {
      const bool ignore_case = compare_mode != kCompareBinary;
      std::size_t pos = FindWith(s, word, 0, ignore_case);
      while (pos != std::u16string_view::npos) {
        ++count;
        pos = FindWith(s, word, pos + word.size(), ignore_case);
      }
    });
  }
  p.Result(count);
  return count;
}

std::u16string ReplaceNullsForDisplay(std::u16string& s) {
  const std::size_t first = s.find(u'\0');
  if (first == std::u16string::npos) return s;
  const bool multiple = s.find(u'\0', first + 1) != std::u16string::npos;
  s = ReplaceAll(s, std::u16string_view(u"\0", 1), u"<NULL>");
  if (multiple) {
    while (s.find(u"<NULL><NULL>") != std::u16string::npos)
      s = ReplaceAll(s, u"<NULL><NULL>", u"<M_NULL>");
    while (s.find(u"<M_NULL><M_NULL>") != std::u16string::npos)
      s = ReplaceAll(s, u"<M_NULL><M_NULL>", u"<M_NULL>");
  }
  return s;
}

std::u16string FilterCRLF(std::u16string_view s, bool encode) {
  if (encode) {
    std::u16string out = ReplaceAll(s, u"\r\n", u"<CRLF>");
    out = ReplaceAll(out, u"\r", u"<CR>");
    return ReplaceAll(out, u"\n", u"<LF>");
  }
  std::u16string out = ReplaceAll(s, u"<CRLF>", u"\r\n");
  out = ReplaceAll(out, u"<CR>", u"\r");
  return ReplaceAll(out, u"<LF>", u"\n");
}

bool StringMatch(std::u16string_view s1, std::u16string_view s2, bool case_sensitive) {
  const std::u16string a = Trim(s1);
  const std::u16string b = Trim(s2);
  if (a.size() != b.size()) return false;
  return case_sensitive ? a == b : EqualsNoCase(a, b);
}

bool StringStartsWith(std::u16string_view s, std::u16string_view prefix, bool case_sensitive,
                      bool trim) {
  std::u16string text(s);
  std::u16string wanted(prefix);
  if (trim) {
    text = LTrim(text);
    wanted = Trim(wanted);
  }
  if (text.size() < wanted.size()) return false;
  return StringMatch(std::u16string_view(text).substr(0, wanted.size()), wanted, case_sensitive);
}

std::u16string StripString(std::u16string& text, std::u16string_view delimiter,
                           std::int32_t return_type, bool include_delimiter_in_output,
                           bool trim_spaces_from_removal_point) {
  debug::Proc p(kModule, u"StripString", debug::Kind::Function);
  p.Vars(debug::Var_PassedByRef, {u"sString", text});
  p.Args({u"sDelimiter", delimiter, u"ReturnType", return_type, u"bIncludeDelimiterInOutput",
          include_delimiter_in_output, u"bTrimSpacesFromRemovalPoint",
          trim_spaces_from_removal_point});
  if (delimiter.empty()) p.Log(kEmptyDelimiter);
  if (!IsKnownReturnType(return_type))
    p.Log(u"Unknown ReturnType " + Dec(return_type) +
          u" (0 to 3 are known); the text is left unchanged.");
  p.Step([&] {
    auto cut = CutAtDelimiter(text, delimiter, return_type, include_delimiter_in_output,
                              trim_spaces_from_removal_point);
    if (cut) text = std::move(*cut);
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sString", text});
  p.Result(Value(text));
  return text;
}

std::u16string StripStringNS(std::u16string& text, std::u16string_view delimiter,
                             std::int32_t return_type, bool include_delimiter_in_output,
                             bool trim_spaces_from_removal_point) {
  auto cut = CutAtDelimiter(text, delimiter, return_type, include_delimiter_in_output,
                            trim_spaces_from_removal_point);
  if (cut) text = std::move(*cut);
  return text;
}

std::u16string Strip(std::u16string_view text, std::u16string_view string_to_remove) {
  debug::Proc p(kModule, u"Strip", debug::Kind::Function);
  p.Args({u"sString", text, u"sStringToRemove", string_to_remove});
  std::u16string result(text);
  if (string_to_remove.empty()) {
    p.Log(u"The text to remove is empty; the text is returned unchanged.");
  } else {
    p.Step([&] { result = ReplaceAll(text, string_to_remove, u"", true); });
  }
  p.Result(Value(result));
  return result;
}

std::u16string StripEndOfString(std::u16string_view original_string, std::u16string_view delimiter,
                                bool use_first_delimiter, bool remove_preceeding_spaces,
                                bool remove_trailing_spaces) {
  debug::Proc p(kModule, u"StripEndOfString", debug::Kind::Function);
  p.Args({u"sOriginalString", original_string, u"sDelimiter", delimiter, u"bUseFirstDelimiter",
          use_first_delimiter, u"bRemovePreceedingSpaces", remove_preceeding_spaces,
          u"bRemoveTrailingSpaces", remove_trailing_spaces});
  return StripOfString(p, original_string, delimiter, use_first_delimiter, true,
                       remove_preceeding_spaces, remove_trailing_spaces);
}

std::u16string StripBeginningOfString(std::u16string_view original_string,
                                      std::u16string_view delimiter, bool use_first_delimiter,
                                      bool remove_preceeding_spaces, bool remove_trailing_spaces) {
  debug::Proc p(kModule, u"StripBeginningOfString", debug::Kind::Function);
  p.Args({u"sOriginalString", original_string, u"sDelimiter", delimiter, u"bUseFirstDelimiter",
          use_first_delimiter, u"bRemovePreceedingSpaces", remove_preceeding_spaces,
          u"bRemoveTrailingSpaces", remove_trailing_spaces});
  return StripOfString(p, original_string, delimiter, use_first_delimiter, false,
                       remove_preceeding_spaces, remove_trailing_spaces);
}

std::u16string StripTrailingCharacters(std::u16string& s, std::u16string_view chars) {
  if (chars == u" ") {
    s = RTrim(s);
  } else if (!chars.empty()) {
    while (EndsWith(s, chars)) s.resize(s.size() - chars.size());
  }
  return s;
}

std::u16string StripLeadingCharacters(std::u16string& s, std::u16string_view chars) {
  if (chars == u" ") {
    s = LTrim(s);
  } else if (!chars.empty()) {
    std::size_t b = 0;
    while (StartsWith(std::u16string_view(s).substr(b), chars)) b += chars.size();
    s.erase(0, b);
  }
  return s;
}

std::u16string StripPath(std::u16string_view full_path_and_file_name) {
  debug::Proc p(kModule, u"StripPath", debug::Kind::Function);
  p.Args({u"sFullPathAndFileName", full_path_and_file_name});
  std::u16string result;
  p.Step([&] {
    std::u16string_view path = full_path_and_file_name;
    if (EndsWith(path, u"\\")) path.remove_suffix(1);
    const std::size_t pos = path.rfind(u'\\');
    result = std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
  });
  p.Result(Value(result));
  return result;
}

std::u16string StripNameFromPath(std::u16string_view full_path_and_file_name) {
  debug::Proc p(kModule, u"StripNameFromPath", debug::Kind::Function);
  p.Args({u"sFullPathAndFileName", full_path_and_file_name});
  std::u16string result;
  p.Step([&] {
    const std::u16string_view path = full_path_and_file_name;
    if (EndsWith(path, u":")) {
      result = std::u16string(path) + u"\\";
      return;
    }
    char16_t separator = u'\\';
    std::size_t pos = path.rfind(separator);
    if (pos == std::u16string_view::npos) {
      separator = u'/';
      pos = path.rfind(separator);
    }
    if (pos == std::u16string_view::npos) {
      p.Log(u"The path holds no folder part; the result is empty.", debug::Event_Verbose);
      return;
    }
    result = std::u16string(path.substr(0, pos)) + separator;
  });
  p.Result(Value(result));
  return result;
}

std::u16string StripTrailingBackslash(std::u16string& dir) {
  debug::Proc p(kModule, u"StripTrailingBackslash", debug::Kind::Function);
  p.Vars(debug::Var_PassedByRef, {u"sDir", dir});
  p.Step([&] {
    if (EndsWith(dir, u"\\")) dir.pop_back();
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sDir", dir});
  return dir;
}

bool StripLeftChrIf(std::u16string& s, std::u16string_view chars) {
  if (chars.empty() || !StartsWith(s, chars)) return false;
  s.erase(0, chars.size());
  return true;
}

bool StripRightChrIf(std::u16string& s, std::u16string_view chars) {
  if (chars.empty() || !EndsWith(s, chars)) return false;
  s.resize(s.size() - chars.size());
  return true;
}

std::int32_t StripWrappingChr(std::u16string& s, std::u16string_view chars, bool repeat,
                              bool both_ends_required, bool keep_if_only_chr) {
  if (chars.empty()) return 0;
  if (keep_if_only_chr && Trim(s) == chars) return 0;
  std::int32_t removed = 0;
  if (both_ends_required) {
    // A pair needs two distinct occurrences: a lone `chars` does not wrap anything.
    do {
      if (s.size() < 2 * chars.size() || !StartsWith(s, chars) || !EndsWith(s, chars)) break;
      s = s.substr(chars.size(), s.size() - 2 * chars.size());
      removed += 2;
    } while (repeat);
    return removed;
  }
  do {
    if (!StripLeftChrIf(s, chars)) break;
    ++removed;
  } while (repeat);
  do {
    if (!StripRightChrIf(s, chars)) break;
    ++removed;
  } while (repeat);
  return removed;
}

std::int32_t EnsureWrappingChr(std::u16string& s, std::u16string_view chars, bool trim_first) {
  if (chars.empty()) return 0;
  if (trim_first) s = Trim(s);
  std::int32_t added = 0;
  if (!StartsWith(s, chars)) {
    s.insert(0, chars);
    ++added;
  }
  // The closing one must be a second occurrence, not the opening one seen from the other end.
  if (s.size() < 2 * chars.size() || !EndsWith(s, chars)) {
    s.append(chars);
    ++added;
  }
  return added;
}

std::u16string StripNonNumericValuesFromTimeDateString(std::u16string_view date_string,
                                                       std::u16string_view delimiter_replacement) {
  static constexpr std::u16string_view kDateChars = u"/\\-apm :.hs";
  std::u16string out;
  out.reserve(date_string.size());
  for (char16_t c : date_string) {
    if (kDateChars.find(LowerChar(c)) != std::u16string_view::npos)
      out.append(delimiter_replacement);
    else
      out.push_back(c);
  }
  return out;
}

bool HasUnicodeCharacters(std::u16string_view text) {
  debug::Proc p(kModule, u"HasUnicodeCharacters", debug::Kind::Function);
  p.Args({u"sString", text});
  bool result = false;
  for (char16_t c : text) {
    if (c > 255) {
      result = true;
      break;
    }
  }
  p.Result(result);
  return result;
}

bool UseWideAPI(std::u16string_view text) {
  debug::Proc p(kModule, u"UseWideAPI", debug::Kind::Function);
  p.Args({u"sString", text});
  bool result = false;
  for (char16_t c : text) {
    const unsigned low = c & 0xFFu;
    if (low < 32 || low > 126) {
      result = true;
      break;
    }
  }
  p.Result(result);
  return result;
}

bool SplitString(std::u16string_view full_text, std::u16string_view delimiter,
                 std::u16string& prefix, std::u16string& suffix, bool use_first_delimiter,
                 bool trim_spaces) {
  debug::Proc p(u"App_Common", u"SplitString", debug::Kind::Function);
  p.Args({u"sFullStr", full_text, u"sDelimiter", delimiter, u"bUseFirstDelimiter",
          use_first_delimiter, u"bTrimSpaces", trim_spaces});
  bool found = false;
  if (delimiter.empty()) p.Log(u"The delimiter is empty; the whole text is the prefix.");
  p.Step([&] {
    const std::size_t pos = FindDelimiter(full_text, delimiter, use_first_delimiter);
    found = pos != std::u16string_view::npos;
    std::u16string_view before = found ? full_text.substr(0, pos) : full_text;
    std::u16string_view after = found ? full_text.substr(pos + delimiter.size()) : u"";
    prefix = trim_spaces ? Trim(before) : std::u16string(before);
    suffix = trim_spaces ? Trim(after) : std::u16string(after);
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sPrefix", prefix, u"sSuffix", suffix});
  p.Result(found);
  return found;
}

}  // namespace kes
