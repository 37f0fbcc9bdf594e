// The debug log on disk: the day's file under ProgramData, appended entry by entry.
#include "tests/support/machine_fixture.h"

namespace kes::debug {
namespace {

constexpr char16_t kLogs[] = u"C:\\ProgramData\\Kestrune\\Logs";
constexpr char16_t kToday[] = u"C:\\ProgramData\\Kestrune\\Logs\\Kestrune_2016-03-01.log";
constexpr char kBom[] = "\xEF\xBB\xBF";

class LogFileTest : public MachineTest {
 protected:
  std::string FileText(std::u16string_view path = kToday) {
    return m.fs().ReadText(path).value_or("<missing>");
  }
};

TEST_F(LogFileTest, EntriesWaitForTheFolderThenEachIsWrittenAtOnce) {
  DebugLogAddEntry(u"before");
  EXPECT_FALSE(m.fs().Exists(kLogs));
  SetLogFileFolder(u"C:\\ProgramData\\");
  EXPECT_EQ(FileText(), std::string(kBom) + "before\r\n\r\n");

  const std::int32_t id = ProcNew(Value(u"App_Main"), u"Main", u"Sub");
  dLog(id, u"安全模式", Event_Normal);
  // On disk as soon as the call returns: a forced restart now loses nothing.
  EXPECT_EQ(FileText(), std::string(kBom) + Utf8(DebugLogText()));
  EXPECT_NE(FileText().find("Msg=[安全模式]"), std::string::npos);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(LogFileTest, AnotherInstanceOfTheDayAppendsWithoutASecondMark) {
  m.fs().AddFolder(kLogs);
  m.fs().AddFile(kToday, std::string(kBom) + "earlier run\r\n\r\n");
  SetLogFileFolder(u"C:\\ProgramData");
  DebugLogAddEntry(u"this run");
  EXPECT_EQ(FileText(), std::string(kBom) + "earlier run\r\n\r\nthis run\r\n\r\n");
}

TEST_F(LogFileTest, OnlyTheTenNewestLogFilesAreKept) {
  m.fs().AddFolder(kLogs);
  for (int day = 1; day <= 12; ++day) {
    m.fs().AddFile(std::u16string(kLogs) + u"\\Kestrune_2016-02-" + Pad(day, 2) + u".log", "old");
  }
  m.fs().AddFile(std::u16string(kLogs) + u"\\notes.log", "mine");
  SetLogFileFolder(u"C:\\ProgramData");
  DebugLogAddEntry(u"x");
  for (int day = 1; day <= 3; ++day) {
    EXPECT_FALSE(
        m.fs().Exists(std::u16string(kLogs) + u"\\Kestrune_2016-02-" + Pad(day, 2) + u".log"))
        << day;
  }
  EXPECT_TRUE(m.fs().Exists(std::u16string(kLogs) + u"\\Kestrune_2016-02-04.log"));
  EXPECT_TRUE(m.fs().Exists(std::u16string(kLogs) + u"\\notes.log"));
  EXPECT_TRUE(m.fs().Exists(kToday));
  // Old files are looked at once per run.
  const int deletes = m.CallCount("DeleteFileW");
  DebugLogAddEntry(u"y");
  EXPECT_EQ(m.CallCount("DeleteFileW"), deletes);
}

TEST_F(LogFileTest, APassingFailureLosesNothing) {
  m.InjectFault("CreateFileW", 32, 1);
  SetLogFileFolder(u"C:\\ProgramData");
  DebugLogAddEntry(u"first");
  DebugLogAddEntry(u"second");
  EXPECT_EQ(FileText(), std::string(kBom) + "first\r\n\r\nsecond\r\n\r\n");
}

TEST_F(LogFileTest, AFileThatCannotBeWrittenIsGivenUpAndTheLogStaysInMemory) {
  m.InjectFault("CreateFileW", 5);
  SetLogFileFolder(u"C:\\ProgramData");
  m.last_error = 87;
  for (int i = 0; i < 5; ++i) DebugLogAddEntry(u"entry " + Dec(i));
  // The caller's last error is untouched by the log's own calls.
  EXPECT_EQ(m.last_error, 87u);
  EXPECT_EQ(m.CallCount("CreateFileW"), kLogFileMaxFailures);
  const std::u16string log = DebugLogText();
  for (int i = 0; i < 5; ++i) EXPECT_NE(log.find(u"entry " + Dec(i)), std::u16string::npos);
  EXPECT_NE(log.find(u"Debug log file [C:\\ProgramData\\Kestrune\\Logs\\Kestrune_2016-03-01.log] "
                     u"could not be written (error 5: Access is denied.); the debug log stays in "
                     u"memory only."),
            std::u16string::npos);
  EXPECT_FALSE(m.fs().Exists(kToday));
}

TEST_F(LogFileTest, CleanupWritesWhatIsLeft) {
  DebugLogAddEntry(u"a");
  ctx.debug->file.folder = u"C:\\ProgramData";  // known, but nothing flushed yet
  CleanupDebug();
  EXPECT_EQ(FileText(), std::string(kBom) + "a\r\n\r\n");
}

}  // namespace
}  // namespace kes::debug
