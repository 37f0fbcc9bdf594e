// App_Strings: the framework's text utilities - trimming at NUL, stripping characters,
// prefixes and path parts, substring tests over collections, character-range tests.
// The small ones sit under every file and registry call and are untraced; the larger ones
// (marked "Traced") report to the tracing facility under the module "App_Strings".
// Blanks are spaces only. Delimiter searches compare exactly unless a comment says otherwise.
// None of these throws: a traced one logs its failure and returns what it had, an untraced one
// has nothing that can fail except running out of memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// Compare modes of the substring tests.
enum : std::int32_t {
  kCompareBinary = 0,  // exact characters
  kCompareText = 1,    // letter case ignored
};

// What StripString keeps of a text cut at a delimiter.
enum StripReturnType : std::int32_t {
  Strip_AfterFirst = 0,
  Strip_AfterLast = 1,
  Strip_BeforeFirst = 2,
  Strip_BeforeLast = 3,
};

// The text up to (not including) its first NUL ("" when the NUL comes first; the whole text
// when there is none), with blanks trimmed at both ends when `trim`. `s` receives the result.
std::u16string TrimNull(std::u16string& s, bool trim = false);

// True when `s` contains any non-empty element of the collection (empty elements would make
// every test true, so they are skipped); false for an empty collection.
bool InStrCollection(std::u16string_view s, const std::vector<std::u16string>& collection,
                     std::int32_t compare_mode = kCompareBinary);

// Traced. Number of non-overlapping occurrences of `word` in s; 0 (with a log entry) when
// `word` is empty.
std::int32_t GetWordCount(std::u16string_view s, std::u16string_view word,
                          std::int32_t compare_mode = kCompareBinary);

// Makes NUL characters visible: each becomes "<NULL>"; when NULs stood at two or more
// positions, adjacent "<NULL><NULL>" pairs are then folded into "<M_NULL>" and adjacent
// "<M_NULL><M_NULL>" pairs into one "<M_NULL>". `s` receives the result, which is returned too.
std::u16string ReplaceNullsForDisplay(std::u16string& s);

// `encode`: CR LF, then lone CR and lone LF become "<CRLF>", "<CR>", "<LF>"; otherwise those
// tokens become the control characters again.
std::u16string FilterCRLF(std::u16string_view s, bool encode);

// True when s begins with `prefix` (compared with StringMatch, so blanks at the ends of the
// compared parts do not count); with `trim` leading blanks of s and blanks around the prefix
// are ignored.
bool StringStartsWith(std::u16string_view s, std::u16string_view prefix,
                      bool case_sensitive = false, bool trim = false);

// True when both texts, trimmed, are equal (letter case ignored unless `case_sensitive`).
bool StringMatch(std::u16string_view s1, std::u16string_view s2, bool case_sensitive = false);

// Traced. Cuts `text` at the first or last `delimiter` and keeps the part named by `return_type`;
// `include_delimiter_in_output` keeps the delimiter on that part (at the cut side),
// `trim_spaces_from_removal_point` removes the blanks of the kept part at the cut. `text` receives
// the result, which is returned too. Without the delimiter (or with an empty one, which is
// logged) the text is unchanged.
std::u16string StripString(std::u16string& text, std::u16string_view delimiter,
                           std::int32_t return_type, bool include_delimiter_in_output = false,
                           bool trim_spaces_from_removal_point = false);
// StripString without tracing, for the calls under every file and registry operation.
std::u16string StripStringNS(std::u16string& text, std::u16string_view delimiter,
                             std::int32_t return_type, bool include_delimiter_in_output = false,
                             bool trim_spaces_from_removal_point = false);

// Traced. `text` with every occurrence of `string_to_remove` removed (letter case ignored);
// unchanged for an empty `string_to_remove`.
std::u16string Strip(std::u16string_view text, std::u16string_view string_to_remove);

// Traced. The text before the last (first with `use_first_delimiter`) delimiter, with its leading
// and/or trailing blanks removed on request; the whole text, so treated, when the delimiter is
// absent or empty.
std::u16string StripEndOfString(std::u16string_view original_string, std::u16string_view delimiter,
                                bool use_first_delimiter = false,
                                bool remove_preceeding_spaces = false,
                                bool remove_trailing_spaces = false);
// Traced. The text after the last (first with `use_first_delimiter`) delimiter, trimmed on
// request; the whole text, so treated, when the delimiter is absent or empty.
std::u16string StripBeginningOfString(std::u16string_view original_string,
                                      std::u16string_view delimiter,
                                      bool use_first_delimiter = false,
                                      bool remove_preceeding_spaces = false,
                                      bool remove_trailing_spaces = false);

// Remove every repetition of `chars` at the end (start) of s; a single blank trims instead;
// an empty `chars` does nothing. `s` receives the result, which is returned too.
std::u16string StripTrailingCharacters(std::u16string& s, std::u16string_view chars);
std::u16string StripLeadingCharacters(std::u16string& s, std::u16string_view chars);

// Traced. The file-name part of a path: one trailing backslash is dropped first, then the text
// after the last backslash (the whole text when there is none).
std::u16string StripPath(std::u16string_view full_path_and_file_name);
// Traced. The folder part of a path followed by its separator: text before the last backslash
// (or before the last / when there is no backslash) and that separator; a bare drive ("C:")
// gets a backslash appended; "" when the text has no separator at all.
std::u16string StripNameFromPath(std::u16string_view full_path_and_file_name);
// Traced. Removes one trailing backslash; `dir` receives the result, which is returned too.
std::u16string StripTrailingBackslash(std::u16string& dir);

// Remove one leading (trailing) occurrence of `chars`; true when they did, false (s unchanged)
// otherwise or for an empty `chars`.
bool StripLeftChrIf(std::u16string& s, std::u16string_view chars);
bool StripRightChrIf(std::u16string& s, std::u16string_view chars);

// Removes wrapping occurrences of `chars` and returns how many it removed (0 and s unchanged for
// an empty `chars`). With `keep_if_only_chr` a text equal to `chars` after trimming is left alone.
// With `both_ends_required` a pair goes only when the text starts and ends with `chars` at distinct
// places; otherwise each end is treated by itself. `repeat` removes as long as the ends match.
std::int32_t StripWrappingChr(std::u16string& s, std::u16string_view chars, bool repeat = false,
                              bool both_ends_required = false, bool keep_if_only_chr = false);
// Adds `chars` at either end where it is missing (a text that is just `chars` gets the closing one)
// and returns how many it added; with `trim_first` blanks around the text are removed before.
// An empty `chars` does nothing and returns 0.
std::int32_t EnsureWrappingChr(std::u16string& s, std::u16string_view chars,
                               bool trim_first = false);

// Each of the characters / \ - a p m blank : . h s (letter case ignored) of a date-time text
// replaced by `delimiter_replacement`.
std::u16string StripNonNumericValuesFromTimeDateString(std::u16string_view date_string,
                                                       std::u16string_view delimiter_replacement);

// Traced. True when any character has a code above 255.
bool HasUnicodeCharacters(std::u16string_view text);
// Traced. True when any character's low byte (code modulo 256) is below 32 or above 126, i.e.
// the text cannot pass through an ANSI call unchanged.
bool UseWideAPI(std::u16string_view text);

// Module App_Common (kept here with its kin). Traced. Splits `full_text` at the last (first with
// `use_first_delimiter`) `delimiter`: `prefix` gets the part before, `suffix` the part after, each
// trimmed with `trim_spaces`; returns true. Without the delimiter (or with an empty one) `prefix`
// gets the whole text (trimmed on request), `suffix` "", and the result is false.
bool SplitString(std::u16string_view full_text, std::u16string_view delimiter,
                 std::u16string& prefix, std::u16string& suffix, bool use_first_delimiter = false,
                 bool trim_spaces = false);

// Blank trimming on one side (spaces only).
std::u16string LTrim(std::u16string_view s);
std::u16string RTrim(std::u16string_view s);
// Every occurrence of `find` replaced by `with`, left to right, non-overlapping; `s` unchanged
// for an empty `find`.
std::u16string ReplaceAll(std::u16string_view s, std::u16string_view find, std::u16string_view with,
                          bool ignore_case = false);

}  // namespace kes
