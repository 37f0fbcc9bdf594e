// The string builder and the App_Strings helpers.
#include "framework/util/strings.h"
#include "framework/util/vel_string.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace std::string_literals;

using StringsTest = MachineTest;

// ---- Vel_String --------------------------------------------------------------------------

TEST_F(StringsTest, BuilderLineFormsJoinWithCrLf) {
  VelString lines;
  lines.AddLine(u"a");
  lines.AddLine(u"b");
  EXPECT_EQ(lines.GetStr(), u"a\r\nb");

  VelString new_lines;
  new_lines.AddNewLine(u"a");
  new_lines.AddNewLine(u"b");
  EXPECT_EQ(new_lines.GetStr(), u"a\r\nb");

  VelString blank;
  blank.AddLine();
  EXPECT_EQ(blank.GetStr(), u"\r\n");
  EXPECT_TRUE(blank.HasContent());
}

TEST_F(StringsTest, BuilderEmptyAdditions) {
  VelString b;
  b.Add(u"");
  b.AddNewLine(u"");
  EXPECT_EQ(b.GetStr(), u"");
  EXPECT_FALSE(b.HasContent());

  b.Add(u"x");
  b.AddNewLine(u"");  // a non-empty builder still gets its line break
  EXPECT_EQ(b.GetStr(), u"x\r\n");
  b.AddLine(u"");
  EXPECT_EQ(b.GetStr(), u"x\r\n\r\n");
}

TEST_F(StringsTest, BuilderKeepsLongTextExact) {
  const std::u16string parts[] = {std::u16string(1001, u'x'), std::u16string(999, u'y'), u"z",
                                  std::u16string(4500, u'w')};
  VelString b;
  for (const auto& part : parts) b.Add(part);
  EXPECT_EQ(b.GetStr(), parts[0] + parts[1] + parts[2] + parts[3]);
  EXPECT_EQ(b.Length(), 6501);
}

TEST_F(StringsTest, BuilderWipeAndCleanUp) {
  VelString b;
  b.AddLine(u"first");
  b.WipeString();
  EXPECT_EQ(b.GetStr(), u"");
  EXPECT_FALSE(b.HasContent());
  b.AddLine(u"again");  // has-content was cleared, so no leading line break
  EXPECT_EQ(b.GetStr(), u"again");

  EXPECT_TRUE(b.Initialised());
  b.CleanUp();
  EXPECT_FALSE(b.Initialised());
  EXPECT_EQ(b.GetStr(), u"");
}

// ---- trimming, matching, collections -------------------------------------------------------

TEST_F(StringsTest, TrimNullCutsAtFirstNulAndUpdatesArgument) {
  std::u16string s = u"\0abc"s;
  EXPECT_EQ(TrimNull(s), u"");
  EXPECT_EQ(s, u"");

  s = u" x "s;
  EXPECT_EQ(TrimNull(s, true), u"x");
  EXPECT_EQ(s, u"x");

  s = u" ab \0cd\0"s;
  EXPECT_EQ(TrimNull(s), u" ab ");
  s = u" ab \0cd\0"s;
  EXPECT_EQ(TrimNull(s, true), u"ab");
}

TEST_F(StringsTest, StringMatchAndStartsWith) {
  EXPECT_TRUE(StringMatch(u"System", u" system "));
  EXPECT_FALSE(StringMatch(u"System", u" system ", true));
  EXPECT_FALSE(StringMatch(u"System", u"Systems"));
  EXPECT_TRUE(StringMatch(u"", u"  "));

  EXPECT_TRUE(StringStartsWith(u"System32\\drivers", u"system"));
  EXPECT_FALSE(StringStartsWith(u"System32\\drivers", u"system", true));
  EXPECT_FALSE(StringStartsWith(u"Sys", u"System"));
  EXPECT_FALSE(StringStartsWith(u"  HKLM\\Software", u"HKLM"));
  EXPECT_TRUE(StringStartsWith(u"  HKLM\\Software", u" hklm ", false, true));
}

TEST_F(StringsTest, InStrCollection) {
  const std::vector<std::u16string> words = {u"bcdedit", u"REG.EXE"};
  EXPECT_TRUE(InStrCollection(u"run bcdedit.exe /set", words));
  EXPECT_FALSE(InStrCollection(u"run reg.exe import", words));
  EXPECT_TRUE(InStrCollection(u"run reg.exe import", words, kCompareText));
  EXPECT_FALSE(InStrCollection(u"anything", {}));
  EXPECT_FALSE(InStrCollection(u"anything", {u""}));
}

TEST_F(StringsTest, GetWordCountCountsNonOverlapping) {
  EXPECT_EQ(GetWordCount(u"aaaa", u"aa"), 2);
  EXPECT_EQ(GetWordCount(u"Abc abc ABC", u"abc"), 1);
  EXPECT_EQ(GetWordCount(u"Abc abc ABC", u"abc", kCompareText), 3);
  EXPECT_EQ(GetWordCount(u"", u"x"), 0);
  EXPECT_EQ(GetWordCount(u"text", u""), 0);
  EXPECT_TRUE(LogHas(u"The word to count is empty"));
}

// ---- display forms ----------------------------------------------------------------------

TEST_F(StringsTest, ReplaceNullsForDisplay) {
  std::u16string one = u"a\0b"s;
  EXPECT_EQ(ReplaceNullsForDisplay(one), u"a<NULL>b");
  EXPECT_EQ(one, u"a<NULL>b");

  std::u16string apart = u"a\0b\0c"s;
  EXPECT_EQ(ReplaceNullsForDisplay(apart), u"a<NULL>b<NULL>c");

  std::u16string pair = u"a\0\0b"s;
  EXPECT_EQ(ReplaceNullsForDisplay(pair), u"a<M_NULL>b");

  std::u16string four = u"\0\0\0\0"s;
  EXPECT_EQ(ReplaceNullsForDisplay(four), u"<M_NULL>");

  std::u16string three = u"x\0\0\0"s;  // one pair folds, the odd one stays
  EXPECT_EQ(ReplaceNullsForDisplay(three), u"x<M_NULL><NULL>");

  std::u16string none = u"plain";
  EXPECT_EQ(ReplaceNullsForDisplay(none), u"plain");
}

TEST_F(StringsTest, FilterCRLFRoundTrip) {
  const std::u16string raw = u"a\r\nb\rc\nd\n\r";
  const std::u16string encoded = FilterCRLF(raw, true);
  EXPECT_EQ(encoded, u"a<CRLF>b<CR>c<LF>d<LF><CR>");
  EXPECT_EQ(FilterCRLF(encoded, false), raw);
}

TEST_F(StringsTest, StripNonNumericValuesFromTimeDateString) {
  EXPECT_EQ(StripNonNumericValuesFromTimeDateString(u"03/01/2016 02:05 PM", u""), u"030120160205");
  EXPECT_EQ(StripNonNumericValuesFromTimeDateString(u"2016/03/01", u"-"), u"2016-03-01");
  EXPECT_EQ(StripNonNumericValuesFromTimeDateString(u"1h2s3.4\\5", u"_"), u"1_2_3_4_5");
}

// ---- cutting at delimiters ----------------------------------------------------------------

struct StripCase {
  std::u16string text;
  std::u16string delimiter;
  std::int32_t type;
  bool include;
  bool trim;
  std::u16string expected;
};

TEST_F(StringsTest, StripStringAndItsUntracedTwinAgree) {
  const StripCase cases[] = {
      {u"C:\\a\\b.txt", u"\\", Strip_BeforeLast, false, false, u"C:\\a"},
      {u"C:\\a\\b.txt", u"\\", Strip_AfterLast, false, false, u"b.txt"},
      {u"C:\\a\\b.txt", u"\\", Strip_AfterFirst, false, false, u"a\\b.txt"},
      {u"C:\\a\\b.txt", u"\\", Strip_BeforeFirst, false, false, u"C:"},
      {u"C:\\a\\b.txt", u"\\", Strip_BeforeLast, true, false, u"C:\\a\\"},
      {u"C:\\a\\b.txt", u"\\", Strip_AfterLast, true, false, u"\\b.txt"},
      {u"key = value", u"=", Strip_AfterFirst, false, true, u"value"},
      {u"key = value", u"=", Strip_BeforeFirst, false, true, u"key"},
      {u"key = value", u"=", Strip_BeforeFirst, false, false, u"key "},
      {u"key = value", u"=", Strip_AfterFirst, true, true, u"=value"},
      {u"a<>b<>c", u"<>", Strip_AfterFirst, false, false, u"b<>c"},
      {u"no delimiter", u";", Strip_AfterFirst, false, true, u"no delimiter"},
      {u" keep ", u"", Strip_AfterFirst, false, true, u" keep "},
      {u"a;b", u";", 7, false, false, u"a;b"},
  };
  for (const auto& c : cases) {
    std::u16string traced = c.text;
    std::u16string plain = c.text;
    const std::u16string result = StripString(traced, c.delimiter, c.type, c.include, c.trim);
    StripStringNS(plain, c.delimiter, c.type, c.include, c.trim);
    EXPECT_EQ(result, c.expected) << "type " << c.type;
    EXPECT_EQ(traced, c.expected);
    EXPECT_EQ(plain, c.expected);
  }
  EXPECT_TRUE(LogHas(u"The delimiter is empty; the text is left unchanged."));
  EXPECT_TRUE(LogHas(u"Unknown ReturnType 7"));
}

TEST_F(StringsTest, StripRemovesEveryOccurrenceIgnoringCase) {
  EXPECT_EQ(Strip(u"a-B-b-c", u"b"), u"a---c");
  EXPECT_EQ(Strip(u"Program Files (x86)", u" (X86)"), u"Program Files");
  EXPECT_EQ(Strip(u"unchanged", u""), u"unchanged");
  EXPECT_TRUE(LogHas(u"The text to remove is empty"));
}

TEST_F(StringsTest, StripEndAndBeginningOfString) {
  EXPECT_EQ(StripEndOfString(u"a = b = c", u"="), u"a = b ");
  EXPECT_EQ(StripEndOfString(u"a = b = c", u"=", false, false, true), u"a = b");
  EXPECT_EQ(StripEndOfString(u" a = b = c", u"=", true, true, true), u"a");
  EXPECT_EQ(StripBeginningOfString(u"a = b = c", u"="), u" c");
  EXPECT_EQ(StripBeginningOfString(u"a = b = c", u"=", true, true, false), u"b = c");
  EXPECT_EQ(StripBeginningOfString(u" none ", u"=", false, true, true), u"none");
}

TEST_F(StringsTest, SplitString) {
  std::u16string prefix, suffix;
  EXPECT_TRUE(SplitString(u"key=value=x", u"=", prefix, suffix));
  EXPECT_EQ(prefix, u"key=value");
  EXPECT_EQ(suffix, u"x");
  EXPECT_TRUE(SplitString(u"key = value=x", u"=", prefix, suffix, true, true));
  EXPECT_EQ(prefix, u"key");
  EXPECT_EQ(suffix, u"value=x");
  EXPECT_FALSE(SplitString(u" whole ", u"=", prefix, suffix, false, true));
  EXPECT_EQ(prefix, u"whole");
  EXPECT_EQ(suffix, u"");
}

TEST_F(StringsTest, StripRepeatedCharactersAtEnds) {
  std::u16string s = u"abcxyxy";
  EXPECT_EQ(StripTrailingCharacters(s, u"xy"), u"abc");
  s = u"xyxyabcxy";
  EXPECT_EQ(StripLeadingCharacters(s, u"xy"), u"abcxy");
  s = u"  ab  ";
  EXPECT_EQ(StripTrailingCharacters(s, u" "), u"  ab");
  EXPECT_EQ(StripLeadingCharacters(s, u" "), u"ab");
  s = u"keep";
  EXPECT_EQ(StripTrailingCharacters(s, u""), u"keep");
  s = u"\\\\\\";
  EXPECT_EQ(StripTrailingCharacters(s, u"\\"), u"");
}

// ---- path parts ------------------------------------------------------------------------

TEST_F(StringsTest, PathParts) {
  EXPECT_EQ(StripPath(u"C:\\a\\b.txt"), u"b.txt");
  EXPECT_EQ(StripPath(u"C:\\a\\dir\\"), u"dir");
  EXPECT_EQ(StripPath(u"name"), u"name");

  EXPECT_EQ(StripNameFromPath(u"C:\\a\\b.txt"), u"C:\\a\\");
  EXPECT_EQ(StripNameFromPath(u"a/b/c.txt"), u"a/b/");
  EXPECT_EQ(StripNameFromPath(u"C:"), u"C:\\");
  EXPECT_EQ(StripNameFromPath(u"file.txt"), u"");

  std::u16string dir = u"C:\\a\\\\";
  EXPECT_EQ(StripTrailingBackslash(dir), u"C:\\a\\");  // one only
  EXPECT_EQ(dir, u"C:\\a\\");
  dir = u"C:";
  EXPECT_EQ(StripTrailingBackslash(dir), u"C:");
}

TEST_F(StringsTest, StripChrIf) {
  std::u16string s = u"\"quoted\"";
  EXPECT_TRUE(StripLeftChrIf(s, u"\""));
  EXPECT_EQ(s, u"quoted\"");
  EXPECT_TRUE(StripRightChrIf(s, u"\""));
  EXPECT_EQ(s, u"quoted");
  EXPECT_FALSE(StripRightChrIf(s, u"\""));
  EXPECT_FALSE(StripLeftChrIf(s, u""));
  EXPECT_EQ(s, u"quoted");
}

TEST_F(StringsTest, StripWrappingChr) {
  // The form the path preparation uses: one pair of wrapping quotes.
  std::u16string path = u"\"C:\\a b\\\"\"";
  EXPECT_EQ(StripWrappingChr(path, u"\"", false, true, true), 2);
  EXPECT_EQ(path, u"C:\\a b\\\"");

  std::u16string lone = u" \" ";
  EXPECT_EQ(StripWrappingChr(lone, u"\"", false, false, true), 0);
  EXPECT_EQ(lone, u" \" ");

  std::u16string quote = u"\"";
  EXPECT_EQ(StripWrappingChr(quote, u"\"", false, true, false), 0);  // not a pair
  EXPECT_EQ(StripWrappingChr(quote, u"\"", false, false, false), 1);
  EXPECT_EQ(quote, u"");

  std::u16string half = u"\"abc";
  EXPECT_EQ(StripWrappingChr(half, u"\"", false, true, false), 0);
  EXPECT_EQ(half, u"\"abc");
  EXPECT_EQ(StripWrappingChr(half, u"\"", false, false, false), 1);
  EXPECT_EQ(half, u"abc");

  std::u16string many = u"**a***";
  EXPECT_EQ(StripWrappingChr(many, u"*", true, true, false), 4);  // pairs only
  EXPECT_EQ(many, u"a*");
  many = u"**a***";
  EXPECT_EQ(StripWrappingChr(many, u"*", true, false, false), 5);
  EXPECT_EQ(many, u"a");
  EXPECT_EQ(StripWrappingChr(many, u"", true, false, false), 0);
}

TEST_F(StringsTest, EnsureWrappingChr) {
  std::u16string s = u"abc";
  EXPECT_EQ(EnsureWrappingChr(s, u"\""), 2);
  EXPECT_EQ(s, u"\"abc\"");
  EXPECT_EQ(EnsureWrappingChr(s, u"\""), 0);
  s = u"\"abc";
  EXPECT_EQ(EnsureWrappingChr(s, u"\""), 1);
  EXPECT_EQ(s, u"\"abc\"");
  s = u"\"";
  EXPECT_EQ(EnsureWrappingChr(s, u"\""), 1);
  EXPECT_EQ(s, u"\"\"");
  s = u"";
  EXPECT_EQ(EnsureWrappingChr(s, u"\""), 2);
  EXPECT_EQ(s, u"\"\"");
  s = u"  a b  ";
  EXPECT_EQ(EnsureWrappingChr(s, u"\"", true), 2);
  EXPECT_EQ(s, u"\"a b\"");
}

// ---- character ranges -------------------------------------------------------------------

TEST_F(StringsTest, CharacterRangeTests) {
  EXPECT_FALSE(HasUnicodeCharacters(u"caf\u00e9"));  // é = 233
  EXPECT_TRUE(HasUnicodeCharacters(u"\u0100"));      // Ā = 256
  EXPECT_TRUE(HasUnicodeCharacters(u"安全模式"));
  EXPECT_FALSE(HasUnicodeCharacters(u""));

  EXPECT_FALSE(UseWideAPI(u"C:\\Tools\\Kestrune.exe"));
  EXPECT_TRUE(UseWideAPI(u"a\tb"));
  EXPECT_TRUE(UseWideAPI(u"caf\u00e9"));
  EXPECT_TRUE(UseWideAPI(u"~\u007f"));
  // Only the low byte counts: U+0141 has the low byte of "A".
  EXPECT_FALSE(UseWideAPI(u"\u0141"));
}

TEST_F(StringsTest, TracedHelpersReportUnderTheirModules) {
  std::u16string prefix, suffix;
  SplitString(u"a=b", u"", prefix, suffix);
  EXPECT_TRUE(LogHas(u"App_Common.SplitString"));
  EXPECT_TRUE(LogHas(u"The delimiter is empty; the whole text is the prefix."));
  EXPECT_EQ(prefix, u"a=b");
}

}  // namespace
}  // namespace kes
