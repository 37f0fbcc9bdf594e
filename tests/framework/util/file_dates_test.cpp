// File dates on a machine in the eastern United States, read in winter: a file written on a
// summer afternoon keeps its wall-clock time on NTFS and, after the correction, on FAT too; and
// UTC times convert under the daylight-saving rules of their own year.
#include "framework/util/file_dates.h"
#include "framework/util/time_conversions.h"
#include "platform/sim/calendar.h"
#include "platform/sim/time_zone.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

SYSTEMTIME At(int year, int month, int day, int hour) {
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  return st;
}

std::u16string Text(Date d) {
  return FormatGeneralDate(d);
}

class FileDatesEnvSearch : public MachineTest {
 protected:
  FileDatesEnvSearch() {
    StartupFacts().WinVista_OrNewer = true;
    sim::UseUsEasternTime(m);
    m.SetLocalTime(2016, 1, 15, 12, 0, 0);
    m.fs().AddDrive(u"D:", u"FAT32", sim::DriveType::kRemovable);
    // 2016-07-01 14:00 EDT is 18:00 UTC.
    const std::int64_t summer_afternoon =
        (sim::DaysFrom1601(2016, 7, 1) * sim::kMsPerDay + 18 * 3600000LL) * sim::kTicksPerMs;
    for (const char16_t* file : {u"C:\\Photos\\beach.jpg", u"D:\\DCIM\\beach.jpg"}) {
      m.fs().AddFile(file, "jpg");
      m.fs().Find(file)->written = summer_afternoon;
    }
  }
};

TEST_F(FileDatesEnvSearch, FatTimesAreCorrectedNtfsTimesAreNot) {
  // What Windows reports for the FAT file: its stored 14:00 made UTC with today's winter bias.
  WIN32_FILE_ATTRIBUTE_DATA fat;
  ASSERT_TRUE(m.platform().fs.GetFileAttributesExW(u"D:\\DCIM\\beach.jpg", &fat));
  SYSTEMTIME reported;
  m.platform().sys.FileTimeToSystemTime(&fat.ftLastWriteTime, &reported);
  EXPECT_EQ(reported.wHour, 19);

  for (const char16_t* file : {u"C:\\Photos\\beach.jpg", u"D:\\DCIM\\beach.jpg"}) {
    Date created, accessed, modified;
    ASSERT_TRUE(GetFileDates_AsDate(file, false, created, accessed, modified)) << Utf8(file);
    EXPECT_EQ(Text(modified), u"2016-07-01 14:00:00") << Utf8(file);
    ASSERT_TRUE(GetFileDates_AsDate(file, true, created, accessed, modified));
    EXPECT_EQ(Text(modified), u"2016-07-01 18:00:00") << Utf8(file);
  }
  // The caller may say the times are local whatever the volume.
  WIN32_FILE_ATTRIBUTE_DATA ntfs;
  ASSERT_TRUE(m.platform().fs.GetFileAttributesExW(u"C:\\Photos\\beach.jpg", &ntfs));
  EXPECT_EQ(Text(GetFileDate_FromWFAD_AsDate(ntfs, FileDate_Modified, true, u"", true)),
            u"2016-07-01 17:00:00");
}

TEST_F(FileDatesEnvSearch, EachYearConvertsWithItsOwnRules) {
  // 20 March: standard time under the rules until 2006, daylight time under those since 2007.
  SYSTEMTIME local;
  ASSERT_TRUE(SystemTimeUTC_To_SystemTimeLocal(At(2006, 3, 20, 15), local));
  EXPECT_EQ(local.wHour, 10);
  ASSERT_TRUE(SystemTimeUTC_To_SystemTimeLocal(At(2007, 3, 20, 15), local));
  EXPECT_EQ(local.wHour, 11);
  SYSTEMTIME utc;
  ASSERT_TRUE(SystemTimeLocal_To_SystemTimeUTC(At(2007, 3, 20, 11), utc));
  EXPECT_EQ(utc.wHour, 15);
}

TEST_F(FileDatesEnvSearch, FailuresSayWhatCameBack) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(m.platform().fs.GetFileAttributesExW(u"C:\\Photos\\beach.jpg", &data));
  m.InjectFault("SystemTimeToTzSpecificLocalTime", kERROR_INVALID_PARAMETER);
  EXPECT_EQ(Text(GetFileDate_FromWFAD_AsDate(data, FileDate_Modified, false, u"C:\\x.jpg")),
            u"2016-07-01 18:00:00");
  EXPECT_TRUE(LogHas(u"Failure in SystemTimeUTC_To_SystemTimeLocal"));
  EXPECT_TRUE(LogHas(u"Warning; file date returned from API is valid"));
  m.InjectFault("FileTimeToSystemTime", kERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetFileDate_FromWFAD_AsDate(data, FileDate_Created, true, u"").serial, 0.0);
  EXPECT_TRUE(LogHas(u"Error; file date returned from API is not valid!"));

  Date created, accessed, modified;
  EXPECT_FALSE(GetFileDates_AsDate(u"C:\\Photos\\missing.jpg", false, created, accessed, modified));
  EXPECT_TRUE(LogHas(u"Could not retrieve file attribute structure!"));
}

}  // namespace
}  // namespace kes
