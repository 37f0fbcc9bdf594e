// The simulated machine must answer like Windows wherever later code depends on the exact
// answer: buffer sizes, last errors, time arithmetic, command-line splitting, code pages and
// message boxes, modules, version and program resources. Each test starts from a fresh default
// machine.
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class SimMachineTest : public MachineTest {
 protected:
  SystemApi& sys = OS().sys;
  UiApi& ui = OS().ui;
};

TEST_F(SimMachineTest, InjectedFaultHitsOnlyTheNthUseAndIsObserved) {
  m.InjectFault("GetUserNameW", kERROR_ACCESS_DENIED, 2);
  std::vector<std::string> seen;
  m.after_call = [&](const char* api) { seen.emplace_back(api); };
  char16_t buf[64];
  DWORD size = 64;
  EXPECT_TRUE(sys.GetUserNameW(buf, &size));
  size = 64;
  EXPECT_FALSE(sys.GetUserNameW(buf, &size));
  EXPECT_EQ(sys.GetLastError(), kERROR_ACCESS_DENIED);
  size = 64;
  EXPECT_TRUE(sys.GetUserNameW(buf, &size));
  EXPECT_EQ(m.CallCount("GetUserNameW"), 3);
  EXPECT_EQ(seen, std::vector<std::string>(3, "GetUserNameW"));

  m.InjectFault("LoadLibraryW", kERROR_NOT_ENOUGH_MEMORY);  // every use
  EXPECT_EQ(sys.LoadLibraryW(u"kernel32.dll"), 0u);
  EXPECT_EQ(sys.LoadLibraryW(u"kernel32.dll"), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(SimMachineTest, BuffersFollowEachCallsOwnSizeRule) {
  // GetModuleFileNameW: truncates, terminates, returns the buffer size and sets 122.
  char16_t small[8];
  EXPECT_EQ(sys.GetModuleFileNameW(0, small, 8), 8u);
  EXPECT_EQ(sys.GetLastError(), kERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(small), u"C:\\Tool");
  char16_t path[509];
  EXPECT_EQ(sys.GetModuleFileNameW(0, path, 509), 21u);
  EXPECT_EQ(std::u16string(path), u"C:\\Tools\\Kestrune.exe");

  // GetComputerNameExW: 234 and the size with NUL; on success the length without it.
  DWORD size = 3;
  char16_t name[32];
  EXPECT_FALSE(sys.GetComputerNameExW(ComputerNameDnsHostname, name, &size));
  EXPECT_EQ(sys.GetLastError(), kERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_TRUE(sys.GetComputerNameExW(ComputerNameDnsHostname, name, &size));
  EXPECT_EQ(size, 6u);
  size = 32;
  EXPECT_TRUE(sys.GetComputerNameExW(ComputerNameDnsDomain, name, &size));  // workgroup
  EXPECT_EQ(size, 0u);

  // GetUserNameW: 122, and the size includes the NUL both ways.
  size = 2;
  EXPECT_FALSE(sys.GetUserNameW(name, &size));
  EXPECT_EQ(sys.GetLastError(), kERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 6u);
  EXPECT_TRUE(sys.GetUserNameW(name, &size));
  EXPECT_EQ(size, 6u);

  // GetEnvironmentVariableW: needed size with NUL when too small, 203 when absent.
  EXPECT_EQ(sys.GetEnvironmentVariableW(u"systemroot", name, 4), 11u);
  EXPECT_EQ(sys.GetEnvironmentVariableW(u"SYSTEMROOT", name, 32), 10u);
  EXPECT_EQ(std::u16string(name), u"C:\\Windows");
  EXPECT_EQ(sys.GetEnvironmentVariableW(u"NoSuchVar", name, 32), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_ENVVAR_NOT_FOUND);

  // WNetGetConnectionW returns its status instead of a flag.
  m.network_drives[u"Z:"] = u"\\\\server\\share";
  DWORD len = 4;
  EXPECT_EQ(sys.WNetGetConnectionW(u"C:", name, &len), kERROR_NOT_CONNECTED);
  EXPECT_EQ(sys.WNetGetConnectionW(u"z:", name, &len), kERROR_MORE_DATA);
  EXPECT_EQ(len, 15u);
  EXPECT_EQ(sys.WNetGetConnectionW(u"z:", name, &len), kERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"\\\\server\\share");
  EXPECT_EQ(sys.WNetGetConnectionW(u"C:\\Tools", name, &len), kERROR_BAD_DEVICE);
}

TEST_F(SimMachineTest, FormatMessageGivesWindowsTextsAndFailsOnUnknownCodes) {
  char16_t buf[2048];
  const DWORD n = sys.FormatMessageW(kFORMAT_MESSAGE_FROM_SYSTEM | kFORMAT_MESSAGE_IGNORE_INSERTS,
                                     2, 0, buf, 2048);
  EXPECT_EQ(std::u16string(buf, n), u"The system cannot find the file specified.\r\n");
  // The width mask used by the debug log turns the line break into one blank.
  const DWORD w = sys.FormatMessageW(0x12FF, 5, 0, buf, 2048);
  EXPECT_EQ(std::u16string(buf, w), u"Access is denied. ");
  EXPECT_EQ(sys.FormatMessageW(0x12FF, 0x7654321, 0, buf, 2048), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(sys.FormatMessageW(0x12FF, 2, 0, buf, 10), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_INSUFFICIENT_BUFFER);
}

TEST_F(SimMachineTest, ClockAndTimeConversionsAreExact) {
  SYSTEMTIME now;
  sys.GetLocalTime(&now);
  EXPECT_EQ(now.wYear, 2016);
  EXPECT_EQ(now.wMonth, 3);
  EXPECT_EQ(now.wDay, 1);
  EXPECT_EQ(now.wDayOfWeek, 2);  // a Tuesday
  EXPECT_EQ(now.wHour, 14);
  EXPECT_EQ(now.wMilliseconds, 123);
  SYSTEMTIME utc;
  sys.GetSystemTime(&utc);
  EXPECT_EQ(utc.wHour, 6);

  // The Unix epoch in FILETIME ticks, and leap days in both directions.
  SYSTEMTIME epoch{1970, 1, 0, 1, 0, 0, 0, 0};
  FILETIME ft;
  ASSERT_TRUE(sys.SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ((std::uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime), 116444736000000000ull);
  for (SYSTEMTIME st :
       {SYSTEMTIME{2016, 2, 0, 29, 23, 59, 59, 999}, SYSTEMTIME{2000, 2, 0, 29, 12, 0, 0, 0},
        SYSTEMTIME{1601, 1, 0, 1, 0, 0, 0, 0}}) {
    SYSTEMTIME back;
    ASSERT_TRUE(sys.SystemTimeToFileTime(&st, &ft));
    ASSERT_TRUE(sys.FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, st.wYear);
    EXPECT_EQ(back.wMonth, st.wMonth);
    EXPECT_EQ(back.wDay, st.wDay);
    EXPECT_EQ(back.wSecond, st.wSecond);
    EXPECT_EQ(back.wMilliseconds, st.wMilliseconds);
  }
  // The last millisecond of the 2016 leap day, as Windows counts it; a Monday.
  SYSTEMTIME leap{2016, 2, 0, 29, 23, 59, 59, 999}, leap_back;
  ASSERT_TRUE(sys.SystemTimeToFileTime(&leap, &ft));
  EXPECT_EQ((std::uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime), 131012639999990000ull);
  ASSERT_TRUE(sys.FileTimeToSystemTime(&ft, &leap_back));
  EXPECT_EQ(leap_back.wDayOfWeek, 1);
  SYSTEMTIME no_leap{1900, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_FALSE(sys.SystemTimeToFileTime(&no_leap, &ft));
  EXPECT_EQ(sys.GetLastError(), kERROR_INVALID_PARAMETER);

  // Local 2016-03-01 02:00 in UTC+8 is the leap day in UTC, and back again.
  SYSTEMTIME local{2016, 3, 0, 1, 2, 0, 0, 0}, out;
  FILETIME lft, uft, again;
  ASSERT_TRUE(sys.SystemTimeToFileTime(&local, &lft));
  ASSERT_TRUE(sys.LocalFileTimeToFileTime(&lft, &uft));
  ASSERT_TRUE(sys.FileTimeToSystemTime(&uft, &out));
  EXPECT_EQ(out.wMonth, 2);
  EXPECT_EQ(out.wDay, 29);
  EXPECT_EQ(out.wHour, 18);
  ASSERT_TRUE(sys.FileTimeToLocalFileTime(&uft, &again));
  EXPECT_EQ(again.dwLowDateTime, lft.dwLowDateTime);
  TIME_ZONE_INFORMATION tz;
  EXPECT_TRUE(sys.GetTimeZoneInformationForYear(2016, &tz));
  ASSERT_TRUE(sys.SystemTimeToTzSpecificLocalTime(&tz, &out, &local));
  EXPECT_EQ(local.wDay, 1);
  EXPECT_EQ(local.wHour, 2);

  const DWORD t0 = sys.timeGetTime();
  sys.Sleep(100);
  EXPECT_EQ(sys.timeGetTime() - t0, 100u);
}

TEST_F(SimMachineTest, PathGetArgsSkipsTheFirstTokenAndOneBlank) {
  EXPECT_EQ(sys.PathGetArgsW(u"\"C:\\Tools\\Kestrune.exe\" /safe"), u"/safe");
  EXPECT_EQ(sys.PathGetArgsW(u"C:\\Tools\\Kestrune.exe /Remove"), u"/Remove");
  EXPECT_EQ(sys.PathGetArgsW(u"\"C:\\My Tools\\Kestrune.exe\" /undo"), u"/undo");
  EXPECT_EQ(sys.PathGetArgsW(u"\"C:\\Tools\\Kestrune.exe\"  /SafeNet "), u" /SafeNet ");
  EXPECT_EQ(sys.PathGetArgsW(u"\"C:\\Tools\\Kestrune.exe\""), u"");
  m.SetProgramCommandLine(u"Kestrune.exe /normal");
  EXPECT_EQ(sys.PathGetArgsW(sys.GetCommandLineW().c_str()), u"/normal");
}

TEST_F(SimMachineTest, CodePage936RoundTripsChineseText) {
  const std::u16string text = u"正常重启 Windows?";
  EXPECT_EQ(sys.GetACP(), 936u);
  const int need = sys.WideCharToMultiByte(0, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(need, 17);  // four double-byte characters and nine single bytes
  std::string bytes(need, '\0');
  char tiny[4];
  EXPECT_EQ(sys.WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), tiny, 4,
                                    nullptr, nullptr),
            0);
  EXPECT_EQ(sys.GetLastError(), kERROR_INSUFFICIENT_BUFFER);
  BOOL used_default = 1;
  EXPECT_EQ(sys.WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()),
                                    bytes.data(), need, nullptr, &used_default),
            need);
  EXPECT_FALSE(used_default);
  EXPECT_EQ(bytes.substr(0, 2), "\xD5\xFD");  // 正
  std::u16string back(sys.MultiByteToWideChar(936, 0, bytes.data(), need, nullptr, 0), u'\0');
  sys.MultiByteToWideChar(936, 0, bytes.data(), need, back.data(), static_cast<int>(back.size()));
  EXPECT_EQ(back, text);

  // A character 1252 cannot hold becomes the default character and says so.
  char latin[8];
  EXPECT_EQ(sys.WideCharToMultiByte(1252, 0, u"a正", 2, latin, 8, nullptr, &used_default), 2);
  EXPECT_EQ(std::string(latin, 2), "a?");
  EXPECT_TRUE(used_default);
  EXPECT_EQ(sys.MultiByteToWideChar(65001, 8, "\xFF", 1, back.data(), 4), 0);
  EXPECT_EQ(sys.GetLastError(), kERROR_NO_UNICODE_TRANSLATION);
}

TEST_F(SimMachineTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  m.message_box_answers = {kIDYES};
  EXPECT_EQ(ui.MessageBoxW(0, u"现在重启?", u"Kestrune", 36), kIDYES);
  // Nothing scripted: Escape's answer (No on Yes/No, Cancel where there is one, OK on OK boxes).
  EXPECT_EQ(ui.MessageBoxW(0, u"again?", u"Kestrune", 36), kIDNO);
  EXPECT_EQ(ui.MessageBoxW(0, u"three ways", u"Kestrune", 35), kIDCANCEL);
  EXPECT_EQ(ui.MessageBoxW(0, u"notice", u"Kestrune", 0), kIDOK);
  EXPECT_EQ(ui.MessageBoxW(0, u"failure", u"Kestrune", 16), kIDOK);
  ASSERT_EQ(m.message_boxes.size(), 5u);
  EXPECT_EQ(m.message_boxes[0].text, u"现在重启?");
  EXPECT_EQ(m.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  EXPECT_EQ(m.message_boxes[2].answer, kIDCANCEL);
}

TEST_F(SimMachineTest, ModulesAndVersionResourcesAnswerProbes) {
  const HMODULE k32 = sys.LoadLibraryW(u"KERNEL32");
  ASSERT_NE(k32, 0u);
  EXPECT_NE(sys.GetProcAddress(k32, "IsWow64Process"), 0u);
  EXPECT_EQ(sys.GetProcAddress(k32, "NoSuchEntry"), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_PROC_NOT_FOUND);
  EXPECT_EQ(sys.LoadLibraryW(u"missing.dll"), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_MOD_NOT_FOUND);

  DWORD handle = 7;
  const DWORD size = sys.GetFileVersionInfoSizeW(u"\\\\?\\C:\\TOOLS\\Kestrune.exe", &handle);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(handle, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(sys.GetFileVersionInfoW(u"C:\\Tools\\Kestrune.exe", 0, size, block.data()));
  const void* p = nullptr;
  UINT len = 0;
  ASSERT_TRUE(sys.VerQueryValueW(block.data(), u"\\", &p, &len));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(p);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  ASSERT_TRUE(
      sys.VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\ProductName", &p, &len));
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(p)), u"Kestrune");
  EXPECT_EQ(len, 9u);
  EXPECT_FALSE(sys.VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\Nope", &p, &len));
  EXPECT_EQ(sys.GetFileVersionInfoSizeW(u"C:\\Windows\\explorer.exe", &handle), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(sys.GetFileVersionInfoSizeW(u"C:\\Tools\\Missing.exe", &handle), 0u);
  EXPECT_EQ(sys.GetLastError(), kERROR_FILE_NOT_FOUND);
}

TEST_F(SimMachineTest, ProcessBasicsMatchTheDefaultMachine) {
  EXPECT_EQ(sys.GetCommandLineW(), u"\"C:\\Tools\\Kestrune.exe\"");
  const auto& self = m.CurrentProcess();
  EXPECT_EQ(self.pid, sys.GetCurrentProcessId());
  bool parent_is_explorer = false;
  for (const auto& p : m.processes)
    if (p.pid == self.parent_pid) parent_is_explorer = p.image == u"C:\\Windows\\explorer.exe";
  EXPECT_TRUE(parent_is_explorer);
  EXPECT_EQ(sys.GetSystemMetrics(kSM_CLEANBOOT), 0);
  m.facts.clean_boot = 2;
  EXPECT_EQ(sys.GetSystemMetrics(kSM_CLEANBOOT), 2);

  struct Thing : sim::KernelObject {};
  const HANDLE h = m.AddHandle(std::make_shared<Thing>());
  EXPECT_TRUE(sys.CloseHandle(h));
  EXPECT_FALSE(sys.CloseHandle(h));
  EXPECT_EQ(sys.GetLastError(), kERROR_INVALID_HANDLE);

  sys.OutputDebugStringW(u"hello");
  EXPECT_EQ(m.debug_output, std::vector<std::u16string>{u"hello"});
  bool ended = false;
  try {
    sys.ExitProcess(3);
  } catch (const ProcessExit& e) {
    ended = true;
    EXPECT_EQ(e.code, 3u);
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(m.CurrentProcess().exit_code, 3u);
}

TEST_F(SimMachineTest, ResourceNamesAndTypesCompareWithoutCase) {
  EXPECT_NE(sys.FindResourceW(0, u"Sb_Xp", u"CUSTOM"), 0u);
  EXPECT_EQ(sys.FindResourceW(0, u"sb_2000", u"CUSTOM"), 0u);
  EXPECT_EQ(sys.GetLastError(), 1814u);
  EXPECT_EQ(sys.FindResourceW(0, u"sb_10", u"RCDATA"), 0u);
  EXPECT_EQ(sys.GetLastError(), 1813u);
}

}  // namespace
}  // namespace kes
