// The directory search as its callers set it up: how deep it goes, which masks, exclusions and
// attributes let an entry through, folders after their contents, each object once however it
// is reached, and the one best file by position, date or version.
#include "framework/fs/dir_list.h"
#include "platform/sim/calendar.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests
using Names = std::vector<std::u16string>;

class DirListEnvSearch : public MachineTest {
 protected:
  DirListEnvSearch() {
    StartupFacts();
    for (const char16_t* file : {u"a.log", u"b.txt", u"c.dat", u"Thumbs.db", u"sub\\d.log",
                                 u"sub\\deeper\\e.txt", u"Temp\\t.log"})
      disk.AddFile(std::u16string(u"C:\\Data\\") + file, "x");
    disk.AddFile(u"C:\\Data\\h.log", "x", kFILE_ATTRIBUTE_HIDDEN);
  }
  // The matches below C:\Data\ in the order found.
  static Names Found(const FsDirList& list) {
    Names out;
    for (const std::u16string& path : list.MatchingFilesFullPath().Items())
      out.push_back(path.substr(std::u16string_view(u"C:\\Data\\").size()));
    return out;
  }
  // A file with this version resource, last written on this day.
  void VersionedFile(const std::u16string& path, const char16_t* version, int year) {
    disk.AddFile(path, "MZ");
    if (version) m.version_resources[LowerCase(path)] = {{u"FileVersion", version}};
    disk.Find(path)->written = sim::DaysFrom1601(year, 6, 1) * sim::kMsPerDay * sim::kTicksPerMs;
  }

  sim::FileSystem& disk = m.fs();
};

TEST_F(DirListEnvSearch, DepthMasksExclusionsAndAttributes) {
  struct Case {
    const char* what;
    std::function<void(FsDirList&)> set_up;
    Names found;
    std::int32_t dirs;
  };
  const Case cases[] = {
      {"defaults: files at every depth, no folders",
       [](FsDirList&) {},
       {u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub\\d.log", u"sub\\deeper\\e.txt",
        u"Temp\\t.log", u"Thumbs.db"},
       0},
      {"level 0: the folder only",
       [](FsDirList& l) { l.RecursionLevel = 0; },
       {u"a.log", u"b.txt", u"c.dat", u"h.log", u"Thumbs.db"},
       0},
      {"level 1: and its direct sub-folders",
       [](FsDirList& l) { l.RecursionLevel = 1; },
       {u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub\\d.log", u"Temp\\t.log", u"Thumbs.db"},
       0},
      {"masks *.log and *.txt",
       [](FsDirList& l) {
         l.AddFileMask(u"*.log");
         l.AddFileMask(u"*.TXT");
       },
       {u"a.log", u"b.txt", u"h.log", u"sub\\d.log", u"sub\\deeper\\e.txt", u"Temp\\t.log"},
       0},
      {"exclusions thumbs and temp, folders after their contents",
       [](FsDirList& l) {
         l.IncludeDirs = true;
         l.AddFileInStrExclusion(u"thumbs");
         l.AddRecursiveSubDirInStrExclusion(u"temp");
       },
       {u"a.log", u"b.txt", u"c.dat", u"h.log", u"sub\\d.log", u"sub\\deeper\\e.txt",
        u"sub\\deeper", u"sub", u"Temp"},
       3},
      {"attribute filter 2: hidden entries only",
       [](FsDirList& l) { l.FileAttribs = kFILE_ATTRIBUTE_HIDDEN; },
       {u"h.log"},
       0},
  };
  for (const Case& c : cases) {
    FsDirList list;
    list.AddSearchPath(u"C:\\Data");
    c.set_up(list);
    list.StartSearch();
    EXPECT_EQ(Found(list), c.found) << c.what;
    EXPECT_EQ(list.MatchingDirCount(), c.dirs) << c.what;
    EXPECT_EQ(list.MatchingFileAndDirCount(), static_cast<std::int32_t>(c.found.size())) << c.what;
  }
  EXPECT_EQ(Field(Calls(u"StartSearch")[3]->Vars_Created(), u"sFileMasks"), u"*.log;*.TXT");
}

TEST_F(DirListEnvSearch, AnObjectReachedTwiceIsListedAndCountedOnce) {
  FsDirList list;
  list.RecursionLevel = 0;
  list.AddSearchPath(u"C:\\Data");
  list.AddSearchPath(u"c:\\data");  // the same text: not added
  list.AddSearchPath(u"C:\\Data\\");
  list.StartSearch();
  list.StartSearch();  // results accumulate, still without repetition
  const Names once{u"a.log", u"b.txt", u"c.dat", u"h.log", u"Thumbs.db"};
  EXPECT_EQ(Found(list), once);
  EXPECT_EQ(list.MatchingFileNames().Items(), once);
  EXPECT_EQ(list.MatchingFileCount(), 5);
  EXPECT_EQ(list.GetSingleFileResult(FileCompare_Last), u"C:\\Data\\Thumbs.db");
  EXPECT_EQ(list.GetSingleFileResult(FileCompare_First), u"C:\\Data\\a.log");
  EXPECT_EQ(Calls(u"SearchDir").size(), 4u);
}

TEST_F(DirListEnvSearch, NewestByModifiedDateAndByVersion) {
  VersionedFile(u"C:\\Bin\\old.exe", u"9.9.0.0", 2015);
  VersionedFile(u"C:\\Bin\\ten.exe", u"10.0.0.0", 2014);
  VersionedFile(u"C:\\Bin\\ten_later.exe", u"10.0.0.0", 2016);
  VersionedFile(u"C:\\Bin\\unversioned.txt", nullptr, 2017);
  FsDirList list;
  list.AddSearchPath(u"C:\\Bin");
  list.StartSearch();
  EXPECT_EQ(list.GetNewestFileByVersion(), u"C:\\Bin\\ten_later.exe");
  EXPECT_EQ(list.GetNewestFileByModifiedDate(), u"C:\\Bin\\unversioned.txt");
  EXPECT_EQ(list.GetSingleFileResult(FileCompare_NewestByVersion), u"C:\\Bin\\ten_later.exe");
  EXPECT_EQ(list.GetSingleFileResult(FileCompare_NewestByModifiedDate),
            u"C:\\Bin\\unversioned.txt");
  EXPECT_EQ(list.GetSingleFileResult(7), u"");
  // A file whose dates cannot be read is passed over.
  m.InjectFault("GetFileAttributesExW", kERROR_ACCESS_DENIED,
                m.CallCount("GetFileAttributesExW") + 4);
  EXPECT_EQ(list.GetNewestFileByModifiedDate(), u"C:\\Bin\\ten_later.exe");
  EXPECT_TRUE(LogHas(u"Cannot determine file date!"));
}

TEST_F(DirListEnvSearch, NothingFoundMissingPathAndCleanedUpObject) {
  FsDirList list;
  list.AddSearchPath(u"C:\\Nowhere");
  list.AddSearchPath(u"");
  list.StartSearch();
  EXPECT_TRUE(LogHas(u"Path does not exist!"));
  EXPECT_EQ(list.GetSingleFileResult(FileCompare_First), u"");
  EXPECT_EQ(list.GetNewestFileByVersion(), u"");
  EXPECT_EQ(LogCount(u"No Matching Files!"), 2);

  FsDirList cleaned;
  cleaned.AddSearchPath(u"C:\\Data");
  cleaned.CleanUp();
  cleaned.StartSearch();
  EXPECT_EQ(cleaned.MatchingFileCount(), 0);
}

}  // namespace
}  // namespace kes
