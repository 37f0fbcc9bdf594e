// INI files as boot.ini editing and the version detection use them: values read trimmed and
// unquoted, single keys written without disturbing the rest of the file, the path handed to
// Windows in its wide form exactly when an ANSI-sized call could not take it, and the name lists
// grown until they fit.
#include "framework/fs/ini.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

constexpr char kBootIni[] =
    "[boot loader]\r\n"
    "timeout =  30  \r\n"
    "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "\r\n"
    "[operating systems]\r\n"
    "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
    "/fastdetect\r\n"
    "; a comment\r\n"
    "quoted = \"C:\\a b\"\r\n";

class IniTest : public MachineTest {
 protected:
  IniTest() {
    StartupFacts();
    disk.AddFile(u"C:\\boot.ini", kBootIni);
  }
  std::string FileText(std::u16string_view path) const {
    return disk.ReadText(path).value_or("<missing>");
  }
  // A file path of exactly `length` characters: C:\ then folders of nine characters.
  std::u16string PathOfLength(std::size_t length) {
    std::u16string path = u"C:";
    while (path.size() + 10 + 9 < length) path += u"\\" + std::u16string(9, u'd');
    const std::size_t name = length - path.size() - 1 - 4;
    path += u"\\" + std::u16string(name, u'f') + u".ini";
    return path;
  }

  sim::FileSystem& disk = m.fs();
};

TEST_F(IniTest, ReadINIGivesTrimmedUnquotedValues) {
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"boot loader", u"timeout"), u"30");
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"BOOT LOADER", u"Default"),
            u"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS");
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"operating systems", u"quoted"), u"C:\\a b");
  // Quotes that do not wrap the whole value stay.
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"operating systems",
                    u"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS"),
            u"\"Microsoft Windows XP Professional\" /fastdetect");
}

TEST_F(IniTest, ReadINIOfWhatIsNotThereIsEmpty) {
  EXPECT_EQ(ReadINI(u"C:\\none.ini", u"boot loader", u"timeout"), u"");
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"no section", u"timeout"), u"");
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"boot loader", u"no key"), u"");
  EXPECT_EQ(ReadINI(u"C:\\Nowhere\\x.ini", u"a", u"b"), u"");
  EXPECT_TRUE(LogHas("GetPrivateProfileStringW"));
}

TEST_F(IniTest, PathOf259CharactersIsHandedOnAsItIs) {
  const std::u16string p259 = PathOfLength(259);
  const std::u16string p260 = PathOfLength(260);
  ASSERT_EQ(p259.size(), 259u);
  ASSERT_EQ(p260.size(), 260u);
  disk.AddFile(p259, "[s]\r\nk=259\r\n");
  disk.AddFile(p260, "[s]\r\nk=260\r\n");
  EXPECT_EQ(ReadINI(p259, u"s", u"k"), u"259");
  EXPECT_FALSE(LogHas("Using Wide format"));
  EXPECT_EQ(ReadINI(p260, u"s", u"k"), u"260");
  EXPECT_TRUE(LogHas("Using Wide format for path > 256"));
  EXPECT_TRUE(WriteINI(p260, u"s", u"k", u"new"));
  EXPECT_EQ(FileText(p260), "[s]\r\nk=new\r\n");
}

TEST_F(IniTest, PathWithCharactersOutsideASCIIGoesInTheWideForm) {
  disk.AddFile(u"C:\\Données\\cfg.ini", "[s]\r\nk=v\r\n");
  EXPECT_EQ(ReadINI(u"C:\\Données\\cfg.ini", u"s", u"k"), u"v");
  EXPECT_TRUE(LogHas("Using Wide format for path containing unicode characters!"));
  EXPECT_TRUE(WriteINI(u"C:\\Données\\cfg.ini", u"s", u"k2", u"中文"));
  EXPECT_EQ(ReadINI(u"C:\\Données\\cfg.ini", u"s", u"k2"), u"中文");
}

TEST_F(IniTest, WriteINIChangesOnlyItsKey) {
  ASSERT_TRUE(WriteINI(u"C:\\boot.ini", u"boot loader", u"TIMEOUT", u"5"));
  ASSERT_TRUE(WriteINI(u"C:\\boot.ini", u"boot loader", u"new", u"x"));
  ASSERT_TRUE(WriteINI(u"C:\\boot.ini", u"added", u"k", u"v"));
  EXPECT_EQ(FileText(u"C:\\boot.ini"),
            "[boot loader]\r\n"
            "timeout =5\r\n"
            "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "new=x\r\n"
            "\r\n"
            "[operating systems]\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
            "/fastdetect\r\n"
            "; a comment\r\n"
            "quoted = \"C:\\a b\"\r\n"
            "[added]\r\n"
            "k=v\r\n");
  EXPECT_EQ(ReadINI(u"C:\\boot.ini", u"boot loader", u"timeout"), u"5");
}

TEST_F(IniTest, WriteINICreatesTheFileAndKeepsEmptyValues) {
  ASSERT_TRUE(WriteINI(u"C:\\new.ini", u"s", u"k", u""));
  EXPECT_EQ(FileText(u"C:\\new.ini"), "[s]\r\nk=\r\n");
  EXPECT_FALSE(WriteINI(u"C:\\Nowhere\\new.ini", u"s", u"k", u"v"));
  EXPECT_TRUE(LogHas("WritePrivateProfileStringW"));
  EXPECT_TRUE(WriteINI(u"C:\\new.ini", u"", u"k", u"v"));
  EXPECT_TRUE(LogHas("Passed empty section or key name"));
}

TEST_F(IniTest, WriteINIToAReadOnlyFileFailsAndLeavesIt) {
  disk.SetAttributes(u"C:\\boot.ini", kFILE_ATTRIBUTE_READONLY | kFILE_ATTRIBUTE_SYSTEM);
  EXPECT_FALSE(WriteINI(u"C:\\boot.ini", u"boot loader", u"timeout", u"0"));
  EXPECT_TRUE(LogHas("WritePrivateProfileStringW"));
  EXPECT_EQ(FileText(u"C:\\boot.ini"), kBootIni);
}

TEST_F(IniTest, TheRealSystem32IsReadAndWritten) {
  disk.AddFile(u"C:\\Windows\\System32\\native.ini", "[s]\r\nk=64\r\n");
  disk.AddFile(u"C:\\Windows\\SysWOW64\\native.ini", "[s]\r\nk=32\r\n");
  EXPECT_EQ(ReadINI(u"C:\\Windows\\System32\\native.ini", u"s", u"k"), u"64");
  EXPECT_TRUE(WriteINI(u"C:\\Windows\\System32\\native.ini", u"s", u"k", u"w"));
  EXPECT_EQ(FileText(u"C:\\Windows\\System32\\native.ini"), "[s]\r\nk=w\r\n");
  EXPECT_EQ(FileText(u"C:\\Windows\\SysWOW64\\native.ini"), "[s]\r\nk=32\r\n");
  EXPECT_FALSE(disk.redirection_disabled);
}

TEST_F(IniTest, NameListsGrowUntilTheyFit) {
  std::string text = "[big]\r\n";
  for (int i = 0; i < 1000; ++i) text += "key_number_" + std::to_string(i) + "=v\r\n";
  disk.AddFile(u"C:\\big.ini", text);
  // The list of about 15000 characters does not fit 8192: asked again with 16384.
  EXPECT_EQ(ReadINI(u"C:\\big.ini", u"big", u""), u"key_number_0");
  EXPECT_EQ(m.CallCount("GetPrivateProfileStringW"), 2);
  EXPECT_EQ(ReadINI(u"C:\\big.ini", u"", u""), u"big");
  EXPECT_EQ(m.CallCount("GetPrivateProfileStringW"), 3);
}

TEST_F(IniTest, ALongValueIsCutToTheBufferWithoutAsking) {
  disk.AddFile(u"C:\\long.ini", "[s]\r\nk=" + std::string(9000, 'v') + "\r\n");
  EXPECT_EQ(ReadINI(u"C:\\long.ini", u"s", u"k"), std::u16string(8191, u'v'));
  EXPECT_EQ(m.CallCount("GetPrivateProfileStringW"), 1);
}

}  // namespace
}  // namespace kes
