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
                          bool bIgnoreCase) {
  if (find.empty()) return std::u16string(s);
  std::u16string out;
  out.reserve(s.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t pos = FindWith(s, find, from, bIgnoreCase);
    if (pos == std::u16string_view::npos) break;
    out.append(s.substr(from, pos - from)).append(with);
    from = pos + find.size();
  }
  out.append(s.substr(from));
  return out;
}

std::u16string TrimNull(std::u16string& s, bool bTrim) {
  const std::size_t nul = s.find(u'\0');
  if (nul != std::u16string::npos) s.resize(nul);
  if (bTrim) s = Trim(s);
  return s;
}

bool InStrCollection(std::u16string_view s, const std::vector<std::u16string>& collection,
                     std::int32_t lCompare) {
  const bool ignore_case = lCompare != kCompareBinary;
  for (const auto& item : collection) {
    if (item.empty()) continue;
    if (FindWith(s, item, 0, ignore_case) != std::u16string_view::npos) return true;
  }
  return false;
}

std::int32_t GetWordCount(std::u16string_view s, std::u16string_view sWord, std::int32_t lCompare) {
  debug::Proc p(kModule, u"GetWordCount", debug::Kind::Function);
  p.Args({u"s", s, u"sWord", sWord, u"lCompare", lCompare});
  std::int32_t count = 0;
  if (sWord.empty()) {
    p.Log(u"The word to count is empty; the count is 0.");
  } else {
    p.Step([&] {
      const bool ignore_case = lCompare != kCompareBinary;
      std::size_t pos = FindWith(s, sWord, 0, ignore_case);
      while (pos != std::u16string_view::npos) {
        ++count;
        pos = FindWith(s, sWord, pos + sWord.size(), ignore_case);
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

std::u16string FilterCRLF(std::u16string_view s, bool bEncode) {
  if (bEncode) {
    std::u16string out = ReplaceAll(s, u"\r\n", u"<CRLF>");
    out = ReplaceAll(out, u"\r", u"<CR>");
    return ReplaceAll(out, u"\n", u"<LF>");
  }
  std::u16string out = ReplaceAll(s, u"<CRLF>", u"\r\n");
  out = ReplaceAll(out, u"<CR>", u"\r");
  return ReplaceAll(out, u"<LF>", u"\n");
}

bool StringMatch(std::u16string_view s1, std::u16string_view s2, bool bCaseSensitive) {
  const std::u16string a = Trim(s1);
  const std::u16string b = Trim(s2);
  if (a.size() != b.size()) return false;
  return bCaseSensitive ? a == b : EqualsNoCase(a, b);
}

bool StringStartsWith(std::u16string_view s, std::u16string_view sPrefix, bool bCaseSensitive,
                      bool bTrim) {
  std::u16string text(s);
  std::u16string prefix(sPrefix);
  if (bTrim) {
    text = LTrim(text);
    prefix = Trim(prefix);
  }
  if (text.size() < prefix.size()) return false;
  return StringMatch(std::u16string_view(text).substr(0, prefix.size()), prefix, bCaseSensitive);
}

std::u16string StripString(std::u16string& sString, std::u16string_view sDelimiter,
                           std::int32_t ReturnType, bool bIncludeDelimiterInOutput,
                           bool bTrimSpacesFromRemovalPoint) {
  debug::Proc p(kModule, u"StripString", debug::Kind::Function);
  p.Vars(debug::Var_PassedByRef, {u"sString", sString});
  p.Args({u"sDelimiter", sDelimiter, u"ReturnType", ReturnType, u"bIncludeDelimiterInOutput",
          bIncludeDelimiterInOutput, u"bTrimSpacesFromRemovalPoint", bTrimSpacesFromRemovalPoint});
  if (sDelimiter.empty()) p.Log(kEmptyDelimiter);
  if (!IsKnownReturnType(ReturnType))
    p.Log(u"Unknown ReturnType " + Dec(ReturnType) +
          u" (0 to 3 are known); the text is left unchanged.");
  p.Step([&] {
    auto cut = CutAtDelimiter(sString, sDelimiter, ReturnType, bIncludeDelimiterInOutput,
                              bTrimSpacesFromRemovalPoint);
    if (cut) sString = std::move(*cut);
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sString", sString});
  p.Result(Value(sString));
  return sString;
}

std::u16string StripStringNS(std::u16string& sString, std::u16string_view sDelimiter,
                             std::int32_t ReturnType, bool bIncludeDelimiterInOutput,
                             bool bTrimSpacesFromRemovalPoint) {
  auto cut = CutAtDelimiter(sString, sDelimiter, ReturnType, bIncludeDelimiterInOutput,
                            bTrimSpacesFromRemovalPoint);
  if (cut) sString = std::move(*cut);
  return sString;
}

std::u16string Strip(std::u16string_view sString, std::u16string_view sStringToRemove) {
  debug::Proc p(kModule, u"Strip", debug::Kind::Function);
  p.Args({u"sString", sString, u"sStringToRemove", sStringToRemove});
  std::u16string result(sString);
  if (sStringToRemove.empty()) {
    p.Log(u"The text to remove is empty; the text is returned unchanged.");
  } else {
    p.Step([&] { result = ReplaceAll(sString, sStringToRemove, u"", true); });
  }
  p.Result(Value(result));
  return result;
}

std::u16string StripEndOfString(std::u16string_view sOriginalString, std::u16string_view sDelimiter,
                                bool bUseFirstDelimiter, bool bRemovePreceedingSpaces,
                                bool bRemoveTrailingSpaces) {
  debug::Proc p(kModule, u"StripEndOfString", debug::Kind::Function);
  p.Args({u"sOriginalString", sOriginalString, u"sDelimiter", sDelimiter, u"bUseFirstDelimiter",
          bUseFirstDelimiter, u"bRemovePreceedingSpaces", bRemovePreceedingSpaces,
          u"bRemoveTrailingSpaces", bRemoveTrailingSpaces});
  return StripOfString(p, sOriginalString, sDelimiter, bUseFirstDelimiter, true,
                       bRemovePreceedingSpaces, bRemoveTrailingSpaces);
}

std::u16string StripBeginningOfString(std::u16string_view sOriginalString,
                                      std::u16string_view sDelimiter, bool bUseFirstDelimiter,
                                      bool bRemovePreceedingSpaces, bool bRemoveTrailingSpaces) {
  debug::Proc p(kModule, u"StripBeginningOfString", debug::Kind::Function);
  p.Args({u"sOriginalString", sOriginalString, u"sDelimiter", sDelimiter, u"bUseFirstDelimiter",
          bUseFirstDelimiter, u"bRemovePreceedingSpaces", bRemovePreceedingSpaces,
          u"bRemoveTrailingSpaces", bRemoveTrailingSpaces});
  return StripOfString(p, sOriginalString, sDelimiter, bUseFirstDelimiter, false,
                       bRemovePreceedingSpaces, bRemoveTrailingSpaces);
}

std::u16string StripTrailingCharacters(std::u16string& s, std::u16string_view sChars) {
  if (sChars == u" ") {
    s = RTrim(s);
  } else if (!sChars.empty()) {
    while (EndsWith(s, sChars)) s.resize(s.size() - sChars.size());
  }
  return s;
}

std::u16string StripLeadingCharacters(std::u16string& s, std::u16string_view sChars) {
  if (sChars == u" ") {
    s = LTrim(s);
  } else if (!sChars.empty()) {
    std::size_t b = 0;
    while (StartsWith(std::u16string_view(s).substr(b), sChars)) b += sChars.size();
    s.erase(0, b);
  }
  return s;
}

std::u16string StripPath(std::u16string_view sFullPathAndFileName) {
  debug::Proc p(kModule, u"StripPath", debug::Kind::Function);
  p.Args({u"sFullPathAndFileName", sFullPathAndFileName});
  std::u16string result;
  p.Step([&] {
    std::u16string_view path = sFullPathAndFileName;
    if (EndsWith(path, u"\\")) path.remove_suffix(1);
    const std::size_t pos = path.rfind(u'\\');
    result = std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
  });
  p.Result(Value(result));
  return result;
}

std::u16string StripNameFromPath(std::u16string_view sFullPathAndFileName) {
  debug::Proc p(kModule, u"StripNameFromPath", debug::Kind::Function);
  p.Args({u"sFullPathAndFileName", sFullPathAndFileName});
  std::u16string result;
  p.Step([&] {
    const std::u16string_view path = sFullPathAndFileName;
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

std::u16string StripTrailingBackslash(std::u16string& sDir) {
  debug::Proc p(kModule, u"StripTrailingBackslash", debug::Kind::Function);
  p.Vars(debug::Var_PassedByRef, {u"sDir", sDir});
  p.Step([&] {
    if (EndsWith(sDir, u"\\")) sDir.pop_back();
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sDir", sDir});
  return sDir;
}

bool StripLeftChrIf(std::u16string& s, std::u16string_view sChr) {
  if (sChr.empty() || !StartsWith(s, sChr)) return false;
  s.erase(0, sChr.size());
  return true;
}

bool StripRightChrIf(std::u16string& s, std::u16string_view sChr) {
  if (sChr.empty() || !EndsWith(s, sChr)) return false;
  s.resize(s.size() - sChr.size());
  return true;
}

std::int32_t StripWrappingChr(std::u16string& s, std::u16string_view sChr, bool bRepeat,
                              bool bBothEndsRequired, bool bKeepIfOnlyChr) {
  if (sChr.empty()) return 0;
  if (bKeepIfOnlyChr && Trim(s) == sChr) return 0;
  std::int32_t removed = 0;
  if (bBothEndsRequired) {
    // A pair needs two distinct occurrences: a lone sChr does not wrap anything.
    do {
      if (s.size() < 2 * sChr.size() || !StartsWith(s, sChr) || !EndsWith(s, sChr)) break;
      s = s.substr(sChr.size(), s.size() - 2 * sChr.size());
      removed += 2;
    } while (bRepeat);
    return removed;
  }
  do {
    if (!StripLeftChrIf(s, sChr)) break;
    ++removed;
  } while (bRepeat);
  do {
    if (!StripRightChrIf(s, sChr)) break;
    ++removed;
  } while (bRepeat);
  return removed;
}

std::int32_t EnsureWrappingChr(std::u16string& s, std::u16string_view sChr, bool bTrimFirst) {
  if (sChr.empty()) return 0;
  if (bTrimFirst) s = Trim(s);
  std::int32_t added = 0;
  if (!StartsWith(s, sChr)) {
    s.insert(0, sChr);
    ++added;
  }
  // The closing one must be a second occurrence, not the opening one seen from the other end.
  if (s.size() < 2 * sChr.size() || !EndsWith(s, sChr)) {
    s.append(sChr);
    ++added;
  }
  return added;
}

std::u16string StripNonNumericValuesFromTimeDateString(
    std::u16string_view strDateString, std::u16string_view strDelimiterReplacement) {
  static constexpr std::u16string_view kDateChars = u"/\\-apm :.hs";
  std::u16string out;
  out.reserve(strDateString.size());
  for (char16_t c : strDateString) {
    if (kDateChars.find(LowerChar(c)) != std::u16string_view::npos)
      out.append(strDelimiterReplacement);
    else
      out.push_back(c);
  }
  return out;
}

bool HasUnicodeCharacters(std::u16string_view sString) {
  debug::Proc p(kModule, u"HasUnicodeCharacters", debug::Kind::Function);
  p.Args({u"sString", sString});
  bool result = false;
  for (char16_t c : sString) {
    if (c > 255) {
      result = true;
      break;
    }
  }
  p.Result(result);
  return result;
}

bool UseWideAPI(std::u16string_view sString) {
  debug::Proc p(kModule, u"UseWideAPI", debug::Kind::Function);
  p.Args({u"sString", sString});
  bool result = false;
  for (char16_t c : sString) {
    const unsigned low = c & 0xFFu;
    if (low < 32 || low > 126) {
      result = true;
      break;
    }
  }
  p.Result(result);
  return result;
}

bool SplitString(std::u16string_view sFullStr, std::u16string_view sDelimiter,
                 std::u16string& sPrefix, std::u16string& sSuffix, bool bUseFirstDelimiter,
                 bool bTrimSpaces) {
  debug::Proc p(u"App_Common", u"SplitString", debug::Kind::Function);
  p.Args({u"sFullStr", sFullStr, u"sDelimiter", sDelimiter, u"bUseFirstDelimiter",
          bUseFirstDelimiter, u"bTrimSpaces", bTrimSpaces});
  bool found = false;
  if (sDelimiter.empty()) p.Log(u"The delimiter is empty; the whole text is the prefix.");
  p.Step([&] {
    const std::size_t pos = FindDelimiter(sFullStr, sDelimiter, bUseFirstDelimiter);
    found = pos != std::u16string_view::npos;
    std::u16string_view before = found ? sFullStr.substr(0, pos) : sFullStr;
    std::u16string_view after = found ? sFullStr.substr(pos + sDelimiter.size()) : u"";
    sPrefix = bTrimSpaces ? Trim(before) : std::u16string(before);
    sSuffix = bTrimSpaces ? Trim(after) : std::u16string(after);
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sPrefix", sPrefix, u"sSuffix", sSuffix});
  p.Result(found);
  return found;
}

}  // namespace kes
