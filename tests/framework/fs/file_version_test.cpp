// File versions as the update checks and the directory search read them: the version resource
// in its long and short form, comparisons that pad and compare numerically, and the attribute
// record of a file.
#include "framework/fs/file_version.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

class FileVersionEnvSearch : public MachineTest {
 protected:
  FileVersionEnvSearch() { StartupFacts(); }
};

TEST_F(FileVersionEnvSearch, ComparisonTable) {
  struct Row {
    const char16_t* first;
    const char16_t* second;
    bool insert;
    VersionCompareResult expected;
  };
  const Row rows[] = {
      {u"1.2.3", u"1.2.0.4", true, VersionCompare_SecondNewer},  // 1.2.0.3 against 1.2.0.4
      {u"1.2.3", u"1.2.0.4", false, VersionCompare_FirstNewer},  // 1.2.3.0 against 1.2.0.4
      {u"1.2.0.4", u"1.2.3", true, VersionCompare_FirstNewer},
      {u"2.5.0.17", u"2.5.17", true, VersionCompare_Equal},
      {u"10.0", u"9.9", false, VersionCompare_FirstNewer},  // numbers, not texts
      {u"9.9", u"10.0", false, VersionCompare_SecondNewer},
      {u"1.0", u"1.0.0.0", false, VersionCompare_Equal},
      {u"1", u"1.2", false, VersionCompare_Equal},  // no dot: not compared
      {u"1.2", u"1", true, VersionCompare_Equal},
      {u"1.x", u"1.2", false, VersionCompare_Equal},          // not a number: not compared
      {u"1..3", u"1.9.2", false, VersionCompare_FirstNewer},  // an empty part is skipped
      {u"1.99999999999999999999", u"1.100000000000000000000", false, VersionCompare_SecondNewer},
  };
  for (const Row& r : rows)
    EXPECT_EQ(FileVersionStringCompare(r.first, r.second, r.insert), r.expected)
        << Utf8(r.first) << " / " << Utf8(r.second) << (r.insert ? " with insertion" : "");
  EXPECT_TRUE(LogHas(u"sVerNum2 was padded to match sVerNum1."));
  EXPECT_TRUE(LogHas(u"sVerNum1 was padded to match sVerNum2."));
}

TEST_F(FileVersionEnvSearch, VersionResourceInLongAndShortForm) {
  m.fs().AddFile(u"C:\\Bin\\tool.exe", "MZ");
  m.fs().AddFile(u"C:\\Bin\\build.exe", "MZ");
  m.fs().AddFile(u"C:\\Bin\\plain.txt", "x");
  m.version_resources[u"c:\\bin\\tool.exe"] = {{u"FileVersion", u"2.5.0.17"}};
  m.version_resources[u"c:\\bin\\build.exe"] = {{u"FileVersion", u"2.5.3.17"}};
  EXPECT_EQ(GetFileVersion(u"C:\\Bin\\tool.exe"), u"2.5.0.17");
  EXPECT_EQ(GetFileVersion(u"C:\\Bin\\tool.exe", true), u"2.5.17");
  EXPECT_EQ(GetFileVersion(u"C:\\Bin\\build.exe", true), u"2.5.3.17");
  EXPECT_EQ(GetFileVersion(u"C:\\Bin\\plain.txt"), u"");
  EXPECT_EQ(LogCount(u"GetFileVersionInfoSizeW"), 1);
  EXPECT_EQ(LogCount(u"GetFileVersionInfoW"), 0);
}

TEST_F(FileVersionEnvSearch, AttributeRecordOfAFile) {
  m.fs().AddFile(u"C:\\Bin\\data.bin", std::vector<std::uint8_t>(1234),
                 platform::kFILE_ATTRIBUTE_HIDDEN);
  platform::WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileWFAD(u"C:\\Bin\\data.bin", data));
  EXPECT_EQ(data.nFileSizeLow, 1234u);
  EXPECT_EQ(data.dwFileAttributes, platform::kFILE_ATTRIBUTE_HIDDEN);

  platform::WIN32_FILE_ATTRIBUTE_DATA untouched;
  untouched.nFileSizeLow = 7;
  EXPECT_FALSE(GetFileWFAD(u"C:\\Bin\\missing.bin", untouched));
  EXPECT_EQ(untouched.nFileSizeLow, 7u);
  EXPECT_TRUE(LogHas(u"File does not exist!"));
  m.InjectFault("GetFileAttributesExW", platform::kERROR_ACCESS_DENIED);
  EXPECT_FALSE(GetFileWFAD(u"C:\\Bin\\data.bin", untouched));
  EXPECT_TRUE(LogHas(u"GetFileAttributesExW"));
}

}  // namespace
}  // namespace kes
