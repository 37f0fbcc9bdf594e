// Text files as the program writes and reads them: the exact bytes of each encoding, a rewrite
// that leaves nothing of the old content, lines appended once and only once, reading whole or
// line by line, the clean-up of file numbers, the one retry of a failed save, and multi-byte
// text in the Chinese ANSI code page surviving the packed form.
#include "framework/fs/textfile.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests
using Bytes = std::vector<std::uint8_t>;

class TextFileTest : public MachineTest {
 protected:
  TextFileTest() {
    StartupFacts();
    disk.AddFolder(u"C:\\Data");
  }
  Bytes FileBytes(std::u16string_view path) const { return disk.ReadFile(path).value_or(Bytes{}); }
  std::string FileText(std::u16string_view path) const {
    return disk.ReadText(path).value_or("<missing>");
  }

  sim::FileSystem& disk = m.fs();
};

// ---- FileWrite ------------------------------------------------------------------------------

TEST_F(TextFileTest, FileWriteGivesTheExactBytesOfEachEncoding) {
  struct Case {
    std::int32_t encoding;
    Bytes bytes;
  };
  const Case cases[] = {
      {Enc_ANSI, {0x61, 0x62, 0x63}},
      {Enc_UTF8, {0xEF, 0xBB, 0xBF, 0x61, 0x62, 0x63}},
      {Enc_UTF8NoBOM, {0x61, 0x62, 0x63}},
      {Enc_UTF16LE, {0xFF, 0xFE, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00}},
      {Enc_UTF16BE, {0xFE, 0xFF, 0x00, 0x61, 0x00, 0x62, 0x00, 0x63}},
  };
  for (const Case& c : cases) {
    for (bool overlapped : {false, true}) {
      const std::u16string file = u"C:\\Data\\enc" + Dec(c.encoding) + u".txt";
      EXPECT_TRUE(FileWrite(file, u"abc", c.encoding, overlapped)) << c.encoding;
      EXPECT_EQ(FileBytes(file), c.bytes) << c.encoding << " overlapped " << overlapped;
    }
  }
  EXPECT_TRUE(LogHas("Encoding=UTF16BE (BOM FE FF)"));
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(TextFileTest, FileWriteOfTextBeyondLatin1) {
  const std::u16string text = u"中é";
  ASSERT_TRUE(FileWrite(u"C:\\Data\\u8.txt", text, Enc_UTF8NoBOM));
  EXPECT_EQ(FileBytes(u"C:\\Data\\u8.txt"), (Bytes{0xE4, 0xB8, 0xAD, 0xC3, 0xA9}));
  ASSERT_TRUE(FileWrite(u"C:\\Data\\be.txt", text, Enc_UTF16BE));
  EXPECT_EQ(FileBytes(u"C:\\Data\\be.txt"), (Bytes{0xFE, 0xFF, 0x4E, 0x2D, 0x00, 0xE9}));
  EXPECT_EQ(ToUTF8(u"é"), (Bytes{0xC3, 0xA9}));
  EXPECT_TRUE(ToUTF8(u"").empty());
}

using TextFilePolishTest = TextFileTest;

// ANSI is the system's ANSI code page: Chinese text is written in GBK where that is the code
// page, and text the code page cannot hold is refused rather than written as "?".
TEST_F(TextFilePolishTest, AnsiWritesGoThroughTheCodePageAndRefuseWhatItCannotHold) {
  ASSERT_TRUE(FileWrite(u"C:\\Data\\a.txt", u"中é", Enc_ANSI));  // 936 holds both
  EXPECT_EQ(FileBytes(u"C:\\Data\\a.txt"), (Bytes{0xD6, 0xD0, 0xA8, 0xA6}));
  m.ansi_code_page = 1252;
  EXPECT_FALSE(FileWrite(u"C:\\Data\\a.txt", u"中é", Enc_ANSI));
  EXPECT_EQ(FileBytes(u"C:\\Data\\a.txt"), (Bytes{0xD6, 0xD0, 0xA8, 0xA6}));  // untouched
  EXPECT_TRUE(LogHas(u"The text cannot be written in the ANSI code page; nothing written!"));
  ASSERT_TRUE(FileWrite(u"C:\\Data\\a.txt", u"é", Enc_ANSI));
  EXPECT_EQ(FileBytes(u"C:\\Data\\a.txt"), (Bytes{0xE9}));
  EXPECT_EQ(FromUnicode(u"é€"), (Bytes{0xE9, 0x80}));
}

TEST_F(TextFileTest, FileWriteReplacesALongerFileEntirely) {
  disk.AddFile(u"C:\\Data\\old.txt", std::string(100, 'x'));
  ASSERT_TRUE(FileWrite(u"C:\\Data\\old.txt", u"abc", Enc_UTF8NoBOM));
  EXPECT_EQ(FileText(u"C:\\Data\\old.txt"), "abc");
  // Also a hidden file, which a "create always" open would refuse.
  disk.AddFile(u"C:\\Data\\hidden.txt", std::string(50, 'y'), kFILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(FileWrite(u"C:\\Data\\hidden.txt", u"ab", Enc_ANSI, true));
  EXPECT_EQ(FileText(u"C:\\Data\\hidden.txt"), "ab");
  EXPECT_NE(disk.Attributes(u"C:\\Data\\hidden.txt") & kFILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(TextFileTest, FileWriteRefusesBadCallsWithoutTouchingTheFile) {
  disk.AddFile(u"C:\\Data\\keep.txt", "precious");
  EXPECT_FALSE(FileWrite(u"C:\\Data\\keep.txt", u"abc", Enc_FindType));
  EXPECT_FALSE(FileWrite(u"C:\\Data\\keep.txt", u"abc", 9));
  EXPECT_EQ(FileText(u"C:\\Data\\keep.txt"), "precious");
  EXPECT_TRUE(LogHas("Encoding not writable; nothing written!"));
  EXPECT_FALSE(FileWrite(u"", u"abc", Enc_ANSI));
  EXPECT_TRUE(LogHas("Passed empty string!"));
  EXPECT_FALSE(FileWrite(u"C:\\Missing\\f.txt", u"abc", Enc_ANSI));
  EXPECT_TRUE(LogHas("CreateFileByRefSecAttribW Returned INVALID_HANDLE_VALUE"));
  disk.Lock(u"C:\\Data\\keep.txt", true);
  EXPECT_FALSE(FileWrite(u"C:\\Data\\keep.txt", u"abc", Enc_ANSI));
  disk.Lock(u"C:\\Data\\keep.txt", false);
  EXPECT_EQ(FileText(u"C:\\Data\\keep.txt"), "precious");
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

// ---- reading --------------------------------------------------------------------------------

TEST_F(TextFileTest, LineByLineJoinsWithCRLFAndNoFinalBreak) {
  disk.AddFile(u"C:\\Data\\ab.txt", "a\r\nb\r\n");
  disk.AddFile(u"C:\\Data\\ab_open.txt", "a\r\nb");
  disk.AddFile(u"C:\\Data\\ab_lf.txt", "a\nb\n");
  EXPECT_EQ(GetFileToString(u"C:\\Data\\ab.txt", true), u"a\r\nb");
  EXPECT_EQ(GetFileToString(u"C:\\Data\\ab_open.txt", true), u"a\r\nb");
  EXPECT_EQ(GetFileToString(u"C:\\Data\\ab_lf.txt", true), u"a\r\nb");
  // Binary keeps every byte.
  EXPECT_EQ(GetFileToString(u"C:\\Data\\ab.txt", false), u"a\r\nb\r\n");
  EXPECT_TRUE(ctx.file_nums.empty());
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(TextFileTest, ReadingDecodesTheANSICodePage) {
  // 中文 in GBK, the ANSI code page of this machine.
  disk.AddFile(u"C:\\Data\\zh.txt", Bytes{0xD6, 0xD0, 0xCE, 0xC4, 0x0D, 0x0A, 0x41});
  EXPECT_EQ(GetFileToString(u"C:\\Data\\zh.txt", true), u"中文\r\nA");
}

TEST_F(TextFileTest, MissingAndEmptyFilesSayWhy) {
  disk.AddFile(u"C:\\Data\\empty.txt", "");
  std::u16string msg;
  EXPECT_EQ(GetFileToString(u"C:\\Data\\empty.txt", false, msg), u"");
  EXPECT_EQ(msg, u"Zero Byte File!");
  EXPECT_EQ(GetFileToString(u"C:\\Data\\none.txt", true, msg), u"");
  EXPECT_EQ(msg, u"File not found!");
  EXPECT_TRUE(LogHas("Zero Byte File!"));
  // Without the check the open itself fails and says so.
  EXPECT_EQ(GetFileToString(u"C:\\Data\\none.txt", false, msg, true), u"");
  EXPECT_EQ(msg, u"API Error: 2");
  EXPECT_EQ(GetFileToString(u"C:\\Data\\empty.txt", false, msg, true), u"");
  EXPECT_EQ(msg, u"");
  EXPECT_TRUE(ctx.file_nums.empty());
}

TEST_F(TextFileTest, ReadingSeesTheRealSystem32) {
  disk.AddFile(u"C:\\Windows\\System32\\only64.txt", "native");
  EXPECT_EQ(GetFileToString(u"C:\\Windows\\System32\\only64.txt"), u"native");
  EXPECT_FALSE(disk.redirection_disabled);
}

// ---- writing lines --------------------------------------------------------------------------

TEST_F(TextFileTest, SaveTextToFileAppendsOverwritesAndCreatesTheFolder) {
  const std::u16string f = u"C:\\New\\Dir\\cmd.txt";
  EXPECT_TRUE(SaveTextToFile(f, u"line1"));
  EXPECT_EQ(FileText(f), "line1\r\n");
  EXPECT_TRUE(SaveTextToFile(f, u"line2"));
  EXPECT_EQ(FileText(f), "line1\r\nline2\r\n");
  EXPECT_TRUE(SaveTextToFile(f, u"x", true));
  EXPECT_EQ(FileText(f), "x\r\n");
  EXPECT_TRUE(SaveTextToFile(f, u"中", true));
  EXPECT_EQ(FileBytes(f), (Bytes{0xD6, 0xD0, 0x0D, 0x0A}));
  EXPECT_TRUE(ctx.file_nums.empty());
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(TextFileTest, NoDuplicatesWritesALineOnlyOnce) {
  const std::u16string f = u"C:\\Data\\boot.txt";
  disk.AddFile(f, "first\r\nmulti(0)disk(0)\r\n");
  EXPECT_TRUE(SaveTextToFile(f, u"MULTI(0)DISK(0)", false, true));
  EXPECT_EQ(FileText(f), "first\r\nmulti(0)disk(0)\r\n");
  // Part of a line is not the line.
  EXPECT_TRUE(SaveTextToFile(f, u"disk(0)", false, true));
  EXPECT_EQ(FileText(f), "first\r\nmulti(0)disk(0)\r\ndisk(0)\r\n");
  EXPECT_TRUE(SaveTextToFile_Debug(f, u"First", false, true));
  EXPECT_TRUE(LogHas("Aborting; String already exists in file."));
  EXPECT_EQ(FileText(f), "first\r\nmulti(0)disk(0)\r\ndisk(0)\r\n");
}

TEST_F(TextFileTest, AFailedSaveIsRepeatedOnceThroughTheTracedTwin) {
  const std::u16string f = u"C:\\Data\\once.txt";
  m.InjectFault("WriteFile", kERROR_ACCESS_DENIED, 1);
  EXPECT_TRUE(SaveTextToFile(f, u"hello"));
  EXPECT_EQ(FileText(f), "hello\r\n");  // written once, by the retry
  EXPECT_EQ(Calls(u"SaveTextToFile_Debug").size(), 1u);
  EXPECT_TRUE(ctx.file_nums.empty());

  m.InjectFault("CreateFileW", kERROR_SHARING_VIOLATION);
  EXPECT_FALSE(SaveTextToFile(f, u"again"));
  EXPECT_EQ(Calls(u"SaveTextToFile_Debug").size(), 2u);
  EXPECT_EQ(FileText(f), "hello\r\n");
  EXPECT_TRUE(LogHas("CreateFileW"));
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(TextFileTest, SaveTextToFileRefusesWhatItCannotWrite) {
  EXPECT_FALSE(SaveTextToFile(u"", u"x"));
  EXPECT_FALSE(SaveTextToFile_Debug(u"", u"x"));
  EXPECT_TRUE(LogHas("Passed empty string!"));
  disk.AddFile(u"C:\\Data\\ro.txt", "old\r\n", kFILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(SaveTextToFile(u"C:\\Data\\ro.txt", u"new"));
  EXPECT_EQ(FileText(u"C:\\Data\\ro.txt"), "old\r\n");
  // A file where the folder should be.
  disk.AddFile(u"C:\\Data\\blocker", "f");
  disk.Lock(u"C:\\Data\\blocker", true);
  EXPECT_FALSE(SaveTextToFile_Debug(u"C:\\Data\\blocker\\f.txt", u"x"));
  EXPECT_TRUE(LogHas("Aborting; EnsureDirExists Failure, cannot create destination directory!"));
}

TEST_F(TextFileTest, CloseFileNumResetsTheNumber) {
  std::int32_t n = 0;
  CloseFileNum(n);
  EXPECT_EQ(n, 0);
  n = 7;
  CloseFileNum(n);
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(LogHas("File number is not open!"));
}

// ---- code pages -----------------------------------------------------------------------------

TEST_F(TextFileTest, ChineseTextRoundTripsThroughItsMultiByteForm) {
  const std::u16string text = u"中文测试";
  const std::string bytes = WToA(text, 936, 0);
  EXPECT_EQ(bytes, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4");
  EXPECT_EQ(AToW(bytes, 936, 0), text);
  // -1 is the ANSI code page, 936 on this machine.
  EXPECT_EQ(WToA(text, -1, 0), bytes);
  EXPECT_EQ(AToW(bytes, -1, 0), text);
  EXPECT_EQ(WToA(u"中a", 936, 0),
            "\xD6\xD0"
            "a");
  EXPECT_EQ(AToW("\xD6\xD0"
                 "a",
                 936, 0),
            u"中a");
  EXPECT_EQ(AToW("", 936, 0), u"");
  EXPECT_EQ(WToA(u"", 936, 0), "");
}

TEST_F(TextFileTest, DecodeMBCSRepairsTextReadWithTheWrongCodePage) {
  m.ansi_code_page = 1252;
  // "é" printed by a console in code page 437 is byte 82, which 1252 shows as U+201A.
  EXPECT_EQ(DecodeMBCS(u"\u201A", 437), u"é");
  EXPECT_EQ(DecodeMBCS(u"", 437), u"");
}

TEST_F(TextFileTest, AFailedConversionIsLoggedAndEmpty) {
  EXPECT_EQ(AToW("ab", 12345, 0), u"");
  EXPECT_TRUE(LogHas("MultiByteToWideChar"));
  EXPECT_EQ(WToA(u"ab", 12345, 0), "");
  EXPECT_TRUE(LogHas("WideCharToMultiByte"));
}

}  // namespace
}  // namespace kes
