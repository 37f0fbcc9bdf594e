// Path forms as the file procedures depend on them: every path form a caller or Windows hands
// over gets the wide-API form and back, short names and "\\SystemRoot\\" come back as real paths
// (with redirection off, as a 32-bit program on 64-bit Windows needs), drive letters are found
// in what callers pass, and sets of files are deleted by pattern.
#include "framework/fs/path_forms.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class PathFormsTest : public MachineTest {
 protected:
  PathFormsTest() { StartupFacts(); }
  std::u16string ShortName(std::u16string_view path) {
    std::vector<char16_t> buf(520, u'\0');
    const std::u16string p(path);
    const DWORD n = OS().fs.GetShortPathNameW(p.c_str(), buf.data(), 520);
    return std::u16string(buf.data(), n);
  }

  sim::FileSystem& disk = m.fs();
};

std::u16string Prep(std::u16string s, bool bs = false) {
  PrepPathForUnicodeAPI(s, bs);
  return s;
}
std::u16string Unwide(std::u16string s) {
  RemoveWideAPIFormatFromPath(s);
  return s;
}
std::u16string Fix(std::u16string s) {
  FixPathFromAPI(s);
  return s;
}
const std::u16string kNul(1, u'\0');

// ---- the wide-API form ------------------------------------------------------------------------

TEST_F(PathFormsTest, EveryPathFormGetsTheWideFormWithOneNul) {
  struct Case {
    std::u16string in;
    bool bs;
    std::u16string out;
  };
  const Case cases[] = {
      {u"C:\\x", false, u"\\\\?\\C:\\x"},
      {u"C:\\x", true, u"\\\\?\\C:\\x\\"},
      {u"C:\\x\\", true, u"\\\\?\\C:\\x\\"},
      {u"\\\\srv\\share\\f", false, u"\\\\?\\UNC\\srv\\share\\f"},
      {u"\\\\srv\\share", true, u"\\\\?\\UNC\\srv\\share\\"},
      {u"\\\\\\srv\\share", false, u"\\\\?\\UNC\\srv\\share"},
      {u"\\??\\C:\\f", false, u"\\\\?\\C:\\f"},
      {u"\\\\.\\C:\\f", false, u"\\\\?\\C:\\f"},
      {u"\\\\?\\unc\\srv\\s", false, u"\\\\?\\UNC\\srv\\s"},
      {u"\\\\?\\UNC\\srv\\s", false, u"\\\\?\\UNC\\srv\\s"},
      {u"\\\\?\\C:\\x", false, u"\\\\?\\C:\\x"},
      {u"\"C:\\a b\\c.txt\"", false, u"\\\\?\\C:\\a b\\c.txt"},
      {u"  C:\\x  ", false, u"\\\\?\\C:\\x"},
      {u"C:\\x" + kNul + u"garbage", false, u"\\\\?\\C:\\x"},
      {u"file.txt", true, u"file.txt"},  // no backslash: no prefix, no backslash added
      {u"", false, u""},
  };
  for (const Case& c : cases) {
    const std::u16string got = Prep(c.in, c.bs);
    EXPECT_EQ(Utf8(got), Utf8(c.out + kNul)) << Utf8(c.in);
    // Preparing again changes nothing but the one extra NUL that is cut first.
    EXPECT_EQ(Utf8(Prep(got, c.bs)), Utf8(got)) << Utf8(c.in);
  }
}

TEST_F(PathFormsTest, WideFormComesOffAgainOnlyWhereThereIsOne) {
  EXPECT_TRUE(IsWideAPIPathFormat(u"\\\\?\\C:\\x"));
  EXPECT_TRUE(IsWideAPIPathFormat(u"\\??\\C:\\x"));
  EXPECT_TRUE(IsWideAPIPathFormat(u"\\\\.\\C:\\x"));
  EXPECT_TRUE(IsWideAPIPathFormat(u"  unc\\srv\\share"));
  EXPECT_FALSE(IsWideAPIPathFormat(u"C:\\x"));
  EXPECT_FALSE(IsWideAPIPathFormat(u"\\\\srv\\share"));
  EXPECT_FALSE(IsWideAPIPathFormat(u""));

  EXPECT_EQ(Unwide(u"\\\\?\\UNC\\srv\\share"), u"\\\\srv\\share");
  EXPECT_EQ(Unwide(u"\\\\?\\C:\\x"), u"C:\\x");
  EXPECT_EQ(Unwide(u"\\??\\C:\\x"), u"C:\\x");
  EXPECT_EQ(Unwide(u"\\\\.\\C:\\x"), u"C:\\x");
  EXPECT_EQ(Unwide(u"UNC\\srv\\share"), u"\\\\srv\\share");
  EXPECT_EQ(Unwide(u"  \\\\?\\\\C:\\x"), u"C:\\x");
  // Ordinary paths are left exactly as they are, blanks included.
  EXPECT_EQ(Unwide(u" C:\\x "), u" C:\\x ");
  EXPECT_EQ(Unwide(u"\\\\srv\\share"), u"\\\\srv\\share");

  for (std::u16string p : {u"C:\\dir\\f.txt", u"\\\\srv\\share\\f.txt"}) {
    std::u16string round = Unwide(Prep(p));
    EXPECT_EQ(round, p + kNul);
  }
}

// ---- paths from Windows -------------------------------------------------------------------

TEST_F(PathFormsTest, FixPathFromAPIExpandsShortNamesOfExistingObjects) {
  disk.AddFile(u"C:\\Data\\A Long Folder Name\\new.txt", "x");
  const std::u16string pf_short = ShortName(u"C:\\Program Files");
  ASSERT_NE(pf_short.find(u'~'), std::u16string::npos) << Utf8(pf_short);
  EXPECT_EQ(Fix(pf_short), u"C:\\Program Files");
  const std::u16string data_short = ShortName(u"C:\\Data\\A Long Folder Name");
  EXPECT_EQ(Fix(data_short + u"\\new.txt"), u"C:\\Data\\A Long Folder Name\\new.txt");
  // Short names arriving in the wide form come back in the ordinary one.
  EXPECT_EQ(Fix(u"\\\\?\\" + pf_short), u"C:\\Program Files");
}

TEST_F(PathFormsTest, ShortNameOfANonExistingObjectStaysAndIsLogged) {
  EXPECT_EQ(Fix(u"C:\\NOSUCH~1\\x.txt"), u"C:\\NOSUCH~1\\x.txt");
  EXPECT_TRUE(LogHas("GetLongPathNameW failure!"));
  EXPECT_TRUE(LogHas("sTempString="));
}

TEST_F(PathFormsTest, ShortNamesInSystem32AreExpandedWithRedirectionOff) {
  // Only the real System32 holds the file; a 32-bit program with redirection on would look in
  // SysWOW64 and not find it.
  disk.AddFile(u"C:\\Windows\\System32\\LongDriverName.sys", "x");
  const std::u16string s = ShortName(u"C:\\Windows\\Sysnative\\LongDriverName.sys");
  ASSERT_NE(s.find(u'~'), std::u16string::npos);
  const std::u16string short_in_system32 =
      u"C:\\Windows\\System32\\" + s.substr(s.find_last_of(u'\\') + 1);
  EXPECT_EQ(Fix(short_in_system32), u"C:\\Windows\\System32\\LongDriverName.sys");
  EXPECT_FALSE(disk.redirection_disabled);  // switched on again afterwards
}

TEST_F(PathFormsTest, FixPathFromAPINormalisesWhatWindowsHandsBack) {
  EXPECT_EQ(Fix(u"\\SystemRoot\\System32\\drivers\\x.sys"),
            u"C:\\Windows\\System32\\drivers\\x.sys");
  EXPECT_EQ(Fix(u"systemroot\\x.sys"), u"C:\\Windows\\x.sys");
  EXPECT_EQ(Fix(u"\\??\\C:\\Windows\\system32\\x.exe"), u"C:\\Windows\\system32\\x.exe");
  EXPECT_EQ(Fix(u"  \\\\?\\C:\\Windows\\x  " + kNul + u"junk"), u"C:\\Windows\\x");
  EXPECT_EQ(Fix(u"\\\\srv\\share\\x"), u"\\\\srv\\share\\x");
  EXPECT_EQ(Fix(u"\\\\?\\UNC\\srv\\share\\x"), u"\\\\srv\\share\\x");
  EXPECT_EQ(Fix(u"   "), u"");
  EXPECT_EQ(Fix(u""), u"");
  // Before start-up knows the Windows folder, Windows is asked for it.
  ctx.env->Dir_Windows.clear();
  m.facts.windows_dir = u"D:\\WINNT";
  EXPECT_EQ(Fix(u"\\SystemRoot\\x.sys"), u"D:\\WINNT\\x.sys");
}

TEST_F(PathFormsTest, DirNoBSDropsOneBackslash) {
  EXPECT_EQ(DirNoBS(u"C:\\x\\"), u"C:\\x");
  EXPECT_EQ(DirNoBS(u"C:\\x"), u"C:\\x");
  EXPECT_EQ(DirNoBS(u"C:\\x\\\\"), u"C:\\x\\");
  EXPECT_EQ(DirNoBS(u""), u"");
  EXPECT_EQ(DirNoBS(u" C:\\x\\ " + kNul + u"zz", true), u"C:\\x");
}

// ---- drive letters --------------------------------------------------------------------------

TEST_F(PathFormsTest, PathToDriveLetterFindsTheLetterOrUsesTheFallback) {
  struct Case {
    std::u16string path;
    std::u16string fallback;
    bool colon;
    bool ok;
    std::u16string out;  // `path` afterwards
    std::string note;    // what the log says
  };
  const Case cases[] = {
      {u"D:\\data", u"", true, true, u"D:", "stripped to the first letter!"},
      {u"xyz", u"D", false, true, u"D", "Note issues:  No colon in string!"},
      {u"xyz", u"", false, false, u"xyz", "Aborting; Note issues:  No colon in string!"},
      {u"xyz", u"   ", false, false, u"xyz", "FATAL; passed fail safe string"},
      {u"", u"", false, false, u"", "Aborting; Note issues:  Passed empty string!"},
      {u" " + kNul, u"", false, false, u" " + kNul, "Passed non-empty string with no characters!"},
      {u"e", u"", true, true, u"e:", "Passed single letter; appending colon..."},
      {u"E:", u"", false, true, u"E", "Passed good 2 character drive string; No changes made!"},
      {u"E1", u"", false, false, u"E1", "Passed bad 2 character drive string!"},
      {u":abc", u"", false, false, u":abc", "String starts with a colon!"},
      {u"ab:\\c", u"", false, true, u"b", "WARNING:  Passed bad drive/path string"},
      {u"  F:\\x  ", u"", true, true, u"F:", "stripped to the first letter!"},
  };
  for (const Case& c : cases) {
    const std::size_t before = Log().size();
    std::u16string path = c.path;
    EXPECT_EQ(PathToDriveLetter(path, c.fallback, c.colon), c.ok) << Utf8(c.path);
    EXPECT_EQ(Utf8(path), Utf8(c.out)) << Utf8(c.path);
    const std::string added = Log().substr(before);
    EXPECT_NE(added.find(c.note), std::string::npos) << Utf8(c.path) << "\n" << added;
  }
}

// ---- deleting sets of files -----------------------------------------------------------------

TEST_F(PathFormsTest, DeleteFilesInPathDeletesMatchesAndReportsFailures) {
  disk.AddFile(u"C:\\Work\\a.tmp", "a");
  disk.AddFile(u"C:\\Work\\b.TMP", "b");
  disk.AddFile(u"C:\\Work\\keep.tmp", "k");
  disk.AddFile(u"C:\\Work\\note.txt", "n");
  disk.AddFile(u"C:\\Work\\sub\\c.tmp", "c");
  disk.AddFile(u"C:\\Work\\locked.tmp", "l");
  disk.Lock(u"C:\\Work\\locked.tmp", true);
  DeleteFilesInPath(u"C:\\Work", u"*.tmp", 0, u"keep");
  EXPECT_FALSE(disk.Exists(u"C:\\Work\\a.tmp"));
  EXPECT_FALSE(disk.Exists(u"C:\\Work\\b.TMP"));
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\keep.tmp"));
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\note.txt"));
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\sub\\c.tmp"));  // below the recursion level
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\locked.tmp"));
  EXPECT_TRUE(LogHas("Delete Success!"));
  EXPECT_TRUE(LogHas("Delete Failure!"));
  EXPECT_TRUE(LogHas("locked.tmp"));

  DeleteFilesInPath(u"C:\\Work", u"*.tmp", -1, u"");
  EXPECT_FALSE(disk.Exists(u"C:\\Work\\sub\\c.tmp"));
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\note.txt"));
}

TEST_F(PathFormsTest, DeleteFilesInPathRefusesEmptyInputAndNotesNoMatch) {
  disk.AddFile(u"C:\\Work\\a.txt", "a");
  DeleteFilesInPath(u"", u"*.*", 0, u"");
  EXPECT_TRUE(LogHas("Passed empty string!"));
  DeleteFilesInPath(u"C:\\Work", u"", 0, u"");
  DeleteFilesInPath(u"C:\\Work", u"*.log", 0, u"");
  EXPECT_TRUE(LogHas("File not found!"));
  EXPECT_TRUE(disk.Exists(u"C:\\Work\\a.txt"));
}

}  // namespace
}  // namespace kes
