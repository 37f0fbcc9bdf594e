// Start-up: the facts InitApp fills on the simulated machine (who the program runs as and the
// tools it carries among them), the build flavour taken from the version resource, the service
// form, NeverLoadForms, the network path rule and the termination routine.
#include <algorithm>

#include "framework/debug/exception_handler.h"
#include "framework/env/common_state.h"
#include "framework/env/startup_helpers.h"
#include "framework/util/date.h"
#include "platform/sim/accounts.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

class InitAppTest : public MachineTest {
 protected:
  void SetComments(std::u16string comments) {
    m.version_resources[u"c:\\tools\\kestrune.exe"][u"Comments"] = std::move(comments);
  }
  // The program's own command line with this argument text, for start-up to read.
  void SetArgs(std::u16string_view args) { m.SetProgramCommandLine(ProgramCommandLine(m, args)); }
  bool DebuggerGot(std::u16string_view text) const {
    return std::ranges::count(m.debug_output, text) > 0;
  }
};

TEST_F(InitAppTest, FillsTheExecutableAndInstanceFacts) {
  SetArgs(u"/x");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_EQ(e.AppEXE, u"C:\\Tools\\Kestrune.exe");
  EXPECT_EQ(e.AppPath, u"C:\\Tools");
  EXPECT_EQ(e.AppPathBS, u"C:\\Tools\\");
  EXPECT_EQ(e.AppEXE_NoPath, u"Kestrune.exe");
  EXPECT_EQ(e.AppEXE_NoPath_NoExt, u"Kestrune");
  EXPECT_EQ(e.AppEXE_ExtOnly, u"exe");
  EXPECT_EQ(e.AppInst_CommandLineArgs_String, u"/x");
  EXPECT_EQ(e.AppInst_ProcessID, static_cast<std::int32_t>(m.current_pid));
  EXPECT_NE(e.AppInst_hInstance, 0);
  EXPECT_NE(e.hWnd_Desktop, 0);
  EXPECT_FALSE(e.AppInst_IsDLL);
  EXPECT_FALSE(e.AppInst_IsIDE);
  EXPECT_FALSE(e.AppInst_IsService);

  // The clock stands at 14:30:05 local time in UTC+8: the start time is taken in UTC.
  EXPECT_EQ(e.AppInst_InitDateOnly, u"2016-03-01");
  EXPECT_EQ(e.AppInst_InitTime24h, u"06:30:05");
  EXPECT_EQ(e.AppInst_InitDateTime_FilenameFriendly, u"2016-03-01 06.30.05");
  EXPECT_EQ(e.AppInst_InitDateTime_FilenameFriendly.find(u':'), std::u16string::npos);
  EXPECT_EQ(FormatGeneralDate(e.AppInst_InitDateTime), u"2016-03-01 06:30:05");
}

TEST_F(InitAppTest, FillsWindowsFoldersNamesAndCapabilities) {
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_EQ(e.Dir_Windows, u"C:\\Windows");
  EXPECT_EQ(e.DirBS_Windows, u"C:\\Windows\\");
  EXPECT_EQ(e.Dir_System16, u"C:\\Windows\\System");
  EXPECT_EQ(e.Dir_System32, u"C:\\Windows\\System32");
  EXPECT_EQ(e.DirBS_SysWOW64, u"C:\\Windows\\SysWOW64\\");
  EXPECT_EQ(e.SystemDrive, u"C:");
  EXPECT_EQ(e.SystemDriveBS, u"C:\\");
  EXPECT_EQ(e.Dir_ProgramData, u"C:\\ProgramData");
  EXPECT_EQ(e.DirBS_ProgramData, u"C:\\ProgramData\\");
  EXPECT_TRUE(e.API_IsWow64Process);
  EXPECT_TRUE(e.AppInst_IsWow64Process);
  EXPECT_TRUE(e.API_CheckTokenMembership);
  EXPECT_TRUE(e.API_IsUserAnAdmin);
  EXPECT_TRUE(e.API_QueryFullProcessImageNameW);
  EXPECT_TRUE(e.API_GetFileInformationByHandleEx);
  EXPECT_EQ(e.Name_CurrentUser, u"Admin");
  EXPECT_EQ(e.Name_ComputerName, u"KES-PC");
  EXPECT_EQ(e.Name_NetBIOS, u"KES-PC");
  EXPECT_EQ(e.Name_ComputerNamePhysical, u"KES-PC");
  EXPECT_EQ(e.Name_DomainName, u"");
  EXPECT_FALSE(e.AppPath_IsNetworkPath);

  // The resources folder of a program titled Kestrune sits beside the executable.
  EXPECT_EQ(e.AppPath_Resources, u"C:\\Tools\\Kestrune Resources");
  EXPECT_EQ(e.AppPathBS_Tools, u"C:\\Tools\\Kestrune Resources\\Tools\\");
  EXPECT_EQ(e.AppPath_PreviousVersions, u"C:\\Tools\\Kestrune Resources\\Previous Versions");
  EXPECT_EQ(e.AppPath_Reports, u"C:\\Tools\\Kestrune Resources Reports\\2016-03-01");
  EXPECT_EQ(e.AppPath_3pApps, u"C:\\Tools\\Apps");
}

TEST_F(InitAppTest, AnAbsoluteResourcesFolderMeansTheProgramsOwnFolder) {
  InitApp(false, u"D:\\Elsewhere");
  EXPECT_EQ(Env().AppPath_Resources, u"C:\\Tools");
  EXPECT_EQ(Env().AppPath_Config, u"C:\\Tools\\Config");
  EXPECT_EQ(Env().AppPath_Reports, u"C:\\Tools\\Reports\\2016-03-01");
}

TEST_F(InitAppTest, OrdinaryBuildHasQuietLogAndVersionedTitles) {
  SetArgs(u"/x");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_FALSE(e.AppVer_TestBuild);
  EXPECT_FALSE(e.AppVer_FastTrack);
  EXPECT_FALSE(ctx.debug->DebugLog_Verbose);
  EXPECT_FALSE(ctx.debug->DebugLog_SystemOutput);
  EXPECT_EQ(ctx.debug->DumpEventTypes, 51);
  EXPECT_EQ(e.AppVer_Full, u"1.0.0.0");
  EXPECT_EQ(e.AppVer_VB, u"1.0.0");
  EXPECT_EQ(e.AppVer_Pretty_Short, u"1.0");
  EXPECT_EQ(e.AppVer_Pretty, u"1.0.0");
  EXPECT_EQ(e.AppTitle, u"Kestrune");
  EXPECT_EQ(e.AppTitle_WithVersionPretty, u"Kestrune  v1.0.0");
  EXPECT_EQ(e.AppTitle_WithVersionFull, u"Kestrune  v1.0.0.0");
  EXPECT_EQ(e.AppTitle_Basic, u"Kestrune");
  // The banners reach the log in every build, the debugger channel only in the test build.
  EXPECT_TRUE(LogHas(u"06:30:05 --== New Instance [Kestrune] ==--"));
  EXPECT_TRUE(LogHas(
      u"Instance Details:  [C:\\Tools\\Kestrune.exe] started with parameters [/x]\r\n--------"));
  EXPECT_TRUE(m.debug_output.empty());
}

TEST_F(InitAppTest, TestBuildTalksAndCopiesTheLogToTheDebugger) {
  SetComments(u"Internal testbuild 7");  // found anywhere in the text, in any case
  SetArgs(u"/x");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_TRUE(e.AppVer_TestBuild);
  EXPECT_FALSE(e.AppVer_FastTrack);
  EXPECT_TRUE(ctx.debug->DebugLog_Verbose);
  EXPECT_TRUE(ctx.debug->DebugLog_SystemOutput);
  EXPECT_EQ(ctx.debug->DumpEventTypes, 63);
  EXPECT_EQ(e.AppTitle, u"Kestrune  [TestBuild]");
  EXPECT_EQ(e.AppTitle_WithVersionFull, u"Kestrune  v1.0.0.0 [TestBuild]");
  EXPECT_TRUE(DebuggerGot(u"\r\n[Kestrune]  --== New Instance @ 06:30:05 ==--"));
  EXPECT_TRUE(DebuggerGot(
      u"[Kestrune] Instance Details:  [C:\\Tools\\Kestrune.exe] started with parameters [/x]\r\n"
      u"--------"));
  EXPECT_TRUE(LogHas(u"06:30:05 --== New Instance [Kestrune] ==--"));
  // InitEnv's progress notes reach the tracing facility's own channel, in order.
  std::vector<std::size_t> at;
  for (const char16_t* note : {u"Pre-CSIDL_PERSONAL", u"Pre-CSIDL_MYPICTURES", u"Pre-IsNetworkPath",
                               u"Pre-EarlyWinPECheck", u"Pre-subinacl-Check", u"done-InitEnv"}) {
    auto it =
        std::find_if(m.debug_output.begin(), m.debug_output.end(),
                     [&](const std::u16string& o) { return o.find(note) != std::u16string::npos; });
    ASSERT_NE(it, m.debug_output.end()) << Utf8(note);
    at.push_back(static_cast<std::size_t>(it - m.debug_output.begin()));
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
}

TEST_F(InitAppTest, FastTrackBuildIsVerboseButSilentOnTheDebugger) {
  SetComments(u"FastTrack");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_TRUE(e.AppVer_FastTrack);
  EXPECT_FALSE(e.AppVer_TestBuild);
  EXPECT_TRUE(ctx.debug->DebugLog_Verbose);
  EXPECT_FALSE(ctx.debug->DebugLog_SystemOutput);
  EXPECT_EQ(ctx.debug->DumpEventTypes, 63);
  EXPECT_EQ(e.AppTitle, u"Kestrune");
  EXPECT_EQ(e.AppTitle_WithVersionFull, u"Kestrune  v1.0.0.0 [FastTrack]");
  EXPECT_TRUE(m.debug_output.empty());
}

TEST_F(InitAppTest, NoCommentsTextGivesNeitherFlavour) {
  m.version_resources[u"c:\\tools\\kestrune.exe"].erase(u"Comments");
  InitApp(false, u"");
  EXPECT_FALSE(Env().AppVer_TestBuild);
  EXPECT_FALSE(Env().AppVer_FastTrack);
  EXPECT_EQ(ctx.debug->DumpEventTypes, 51);
  EXPECT_EQ(Env().AppVer_Full, u"1.0.0.0");
}

TEST_F(InitAppTest, NoVersionResourceIsLoggedAndLeavesVersionEmpty) {
  m.version_resources.clear();
  InitApp(false, u"");
  EXPECT_FALSE(Env().AppVer_TestBuild);
  EXPECT_EQ(Env().AppVer_Full, u"");
  EXPECT_EQ(Env().AppTitle_WithVersionFull, u"Kestrune  v");
  EXPECT_TRUE(LogHas(u"GetFileVersionInfoSizeW"));
  // Start-up went on regardless.
  EXPECT_EQ(Env().Name_CurrentUser, u"Admin");
}

TEST_F(InitAppTest, ServiceFormTakesNamesFromTheEnvironment) {
  SetArgs(u"$KestruneSvc");
  m.SetEnv(u"USERNAME", u"SvcUser");
  m.SetEnv(u"COMPUTERNAME", u"SVC-HOST");
  m.SetEnv(u"USERDOMAIN", u"CORP");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_TRUE(HasServiceArgs());
  EXPECT_TRUE(e.AppInst_IsService);
  EXPECT_EQ(e.AppInst_ParentProcess_AppEXE, u"services.exe");
  EXPECT_EQ(e.AppInst_CommandLineArgs_String, u"$KestruneSvc");
  EXPECT_EQ(e.Name_CurrentUser, u"SvcUser");
  EXPECT_EQ(e.Name_ComputerName, u"SVC-HOST");
  EXPECT_EQ(e.Name_DomainName, u"CORP");
  EXPECT_EQ(e.Name_NetBIOS, u"");  // a service does not ask the computer-name calls
  EXPECT_EQ(e.AppInst_hInstance, 0);
  EXPECT_EQ(e.hWnd_Desktop, 0);
  EXPECT_EQ(m.CallCount("GetUserNameW"), 0);
  // Nothing assigned NeverLoadForms before: start-up assigns the service marker.
  EXPECT_TRUE(NeverLoadForms());
}

TEST_F(InitAppTest, ADollarAloneIsNoServiceMarker) {
  SetArgs(u"$");
  InitApp(false, u"");
  EXPECT_FALSE(HasServiceArgs());
  EXPECT_FALSE(Env().AppInst_IsService);
  EXPECT_EQ(Env().Name_CurrentUser, u"Admin");
}

TEST_F(InitAppTest, NeverLoadFormsKeepsItsFirstAssignment) {
  EXPECT_FALSE(NeverLoadForms());
  SetNeverLoadForms(false);
  SetNeverLoadForms(true);
  EXPECT_FALSE(NeverLoadForms());

  // The program's entry assigns true first; start-up's own assignment (no service marker:
  // false) then changes nothing.
  RunProgram(m, ProgramCommandLine(m, u"/nothing"), [](const Context& run) {
    EXPECT_TRUE(NeverLoadForms());
    EXPECT_EQ(run.common->COMInitFlags, 2);
  });
}

TEST_F(InitAppTest, FailingCallsAreLoggedAndStartUpGoesOn) {
  m.InjectFault("GetUserNameW", platform::kERROR_ACCESS_DENIED);
  m.InjectFault("GetModuleFileNameW", platform::kERROR_ACCESS_DENIED);
  SetArgs(u"/x");
  InitApp(false, u"");
  const AppEnv& e = Env();
  EXPECT_EQ(e.Name_CurrentUser, u"");
  EXPECT_TRUE(LogHas(u"GetUserNameW"));
  EXPECT_TRUE(LogHas(u"GetModuleFileNameW"));
  // Without the module file name the program is found where the command line says it is.
  EXPECT_EQ(e.AppEXE, u"C:\\Tools\\Kestrune.exe");
  EXPECT_EQ(e.AppPath, u"C:\\Tools");
  EXPECT_EQ(e.Name_ComputerName, u"KES-PC");
  EXPECT_EQ(e.AppInst_CommandLineArgs_String, u"/x");
}

TEST_F(InitAppTest, TheLogFileStartsInProgramData) {
  InitApp(false, u"");
  auto text = m.fs().ReadText(u"C:\\ProgramData\\Kestrune\\Logs\\Kestrune_2016-03-01.log");
  ASSERT_TRUE(text.has_value());
  EXPECT_NE(text->find("--== New Instance [Kestrune] ==--"), std::string::npos);
}

TEST_F(InitAppTest, TerminateAppReleasesEverythingAndEndsWithTheCode) {
  InitApp(false, u"");
  ASSERT_TRUE(debug::ExceptionHandlerInstalled());
  try {
    TerminateApp(3, false);
    FAIL() << "the process did not end";
  } catch (const platform::ProcessExit& e) {
    EXPECT_EQ(e.code, 3u);
  }
  EXPECT_EQ(ctx.env, nullptr);
  EXPECT_EQ(ctx.common->Collections[0], nullptr);
  EXPECT_FALSE(debug::ExceptionHandlerInstalled());
}

TEST_F(InitAppTest, TerminateAppWithoutCleanupKeepsTheFactsAndEndsWithZero) {
  InitApp(false, u"");
  try {
    TerminateApp(0, true);
    FAIL() << "the process did not end";
  } catch (const platform::ProcessExit& e) {
    EXPECT_EQ(e.code, 0u);
  }
  ASSERT_NE(ctx.env, nullptr);
  EXPECT_EQ(Env().AppEXE, u"C:\\Tools\\Kestrune.exe");
}

TEST_F(InitAppTest, HostedAsALibraryTerminateReturnsAndFormsStayUnloaded) {
  InitApp(true, u"");
  EXPECT_TRUE(Env().AppInst_IsDLL);
  EXPECT_TRUE(NeverLoadForms());
  EXPECT_EQ(ctx.common->COMInitFlags, 0);
  EXPECT_FALSE(debug::ExceptionHandlerInstalled());
  TerminateApp(5, false);  // returns
  EXPECT_EQ(ctx.env, nullptr);
}

// ---- who the program runs as, and its tools -------------------------------------------------

constexpr char16_t kKitTail[] = u"\\Windows Resource Kits\\Tools\\subinacl.exe";

TEST_F(InitAppTest, ElevatedAdministratorIsRecordedAndLogged) {
  InitApp(false, u"");
  EXPECT_TRUE(Env().AppInst_IsAdmin);
  EXPECT_FALSE(Env().AppInst_IsSystem);
  EXPECT_EQ(Env().Name_CurrentUser, u"Admin");
  EXPECT_TRUE(LogHas(u"Account rights of this instance."));
  EXPECT_TRUE(LogHas(u"AppInst_IsAdmin.Boolean=True"));
  EXPECT_TRUE(LogHas(u"AppInst_IsSystem.Boolean=False"));
  EXPECT_TRUE(LogHas(u"Current user of this instance."));
  EXPECT_TRUE(LogHas(u"Name_CurrentUser.String=Admin"));
}

TEST_F(InitAppTest, NonElevatedAdministratorIsNoAdministrator) {
  sim::SignIn(m, u"Admin", sim::TokenKind::FilteredAdministrator);
  InitApp(false, u"");
  EXPECT_FALSE(Env().AppInst_IsAdmin);
  EXPECT_TRUE(LogHas(u"AppInst_IsAdmin.Boolean=False"));
}

TEST_F(InitAppTest, SystemAccountIsRecorded) {
  sim::RunAsLocalSystem(m);
  InitApp(false, u"");
  EXPECT_TRUE(Env().AppInst_IsAdmin);
  EXPECT_TRUE(Env().AppInst_IsSystem);
  EXPECT_EQ(Env().Name_CurrentUser, u"SYSTEM");
}

TEST_F(InitAppTest, SubInACLIsTheCarriedCopyWhenItIsNotEmpty) {
  const std::u16string carried = u"C:\\Tools\\Kestrune Resources\\Tools\\subinacl.exe";
  m.fs().AddFile(carried, std::string("MZ"));
  m.fs().AddFile(std::u16string(u"C:\\Program Files (x86)") + kKitTail, std::string("MZ"));
  InitApp(false, u"");
  EXPECT_EQ(Env().EXE_SubInACL, carried);
}

TEST_F(InitAppTest, SubInACLFallsBackOnTheResourceKit) {
  // An empty carried copy is a failed download, not a program.
  m.fs().AddFile(u"C:\\Tools\\Kestrune Resources\\Tools\\subinacl.exe", std::string());
  // The kit installs under the 32-bit Program Files folder, whichever that is here.
  for (const char16_t* pf : {u"C:\\Program Files (x86)", u"C:\\Program Files"})
    m.fs().AddFile(std::u16string(pf) + kKitTail, std::string("MZ"));
  InitApp(false, u"");
  ASSERT_FALSE(Env().Dir_ProgramFiles32.empty());
  EXPECT_EQ(Env().EXE_SubInACL, Env().Dir_ProgramFiles32 + kKitTail);
}

TEST_F(InitAppTest, SubInACLIsEmptyWhenNoCopyExists) {
  InitApp(false, u"");
  EXPECT_EQ(Env().EXE_SubInACL, u"");
}

// ---- the network path rule ------------------------------------------------------------------

TEST_F(InitAppTest, NetworkPathRuleSkipsTheConnectionQueryUnderTheSystemAccount) {
  m.network_drives[u"Z:"] = u"\\\\server\\share";
  InitApp(false, u"");
  EXPECT_TRUE(IsNetworkPath(u"Z:\\tools"));
  EXPECT_TRUE(IsNetworkPath(u"\\\\srv\\s\\x"));
  EXPECT_FALSE(IsNetworkPath(u"C:\\Tools"));
  // "Not connected" is the answer sought, not a failure left for the next event to report.
  EXPECT_EQ(OS().sys.GetLastError(), 0u);
  EXPECT_FALSE(IsNetworkPath(u"relative\\path"));
  const int queries = m.CallCount("WNetGetConnectionW");

  Env().AppInst_IsSystem = true;
  EXPECT_FALSE(IsNetworkPath(u"Z:\\tools"));
  EXPECT_EQ(m.CallCount("WNetGetConnectionW"), queries);
  EXPECT_TRUE(
      LogHas(u"System account detected; skipping WNetGetConnectionW (This API will crash "
             u"app under LocalSystem...)"));
  // A UNC path needs no query and stays a network path.
  EXPECT_TRUE(IsNetworkPath(u"\\\\srv\\s\\x"));
}

TEST_F(InitAppTest, FailingConnectionQueryCountsAsNetworkAndIsLogged) {
  InitApp(false, u"");
  m.InjectFault("WNetGetConnectionW", 1222);  // ERROR_NO_NETWORK
  EXPECT_TRUE(IsNetworkPath(u"C:\\Tools"));
  EXPECT_TRUE(LogHas(u"WNetGetConnectionW"));
}

}  // namespace
}  // namespace kes
