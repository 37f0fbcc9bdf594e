// Windows version detection on the simulated machine: every named Windows installation gives
// its release flag, the _OrNewer flags, platform and edition flags, the texts and the build
// number; the edition rules (product table, WMI fallback, the pre-Vista metrics and
// prodspec.ini, the build kind); Update 1 from "BuildLabEx"; the boot mode; the refusal of
// Windows 9x and NT 4; the WinPE check.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/main.h"
#include "framework/debug/trace_record.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/env/startup_helpers.h"
#include "framework/env/winpe.h"
#include "framework/env/winver.h"
#include "framework/env/wmi.h"
#include "platform/base/u16.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/version_profiles.h"
#include "tests/framework/env/winver_flags.h"

namespace kes::version_tests {
namespace {

// A fresh machine and context with tracing started and an environment object whose Windows
// folder is known, as start-up has it when the version detection runs.
class WinVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    debug::InitDebugModuleVars();
    debug::SetDebugLogVerbose(true);
    ctx_.env = std::make_unique<AppEnv>();
    Env().Dir_Windows = u"C:\\Windows";
    Env().DirBS_Windows = u"C:\\Windows\\";
  }

  AppEnv& Env() { return *ctx_.env; }
  void Use(std::string_view id, sim::BootMode mode = sim::BootMode::kNormal) {
    ASSERT_TRUE(sim::ApplyVersionProfile(machine_, id, mode)) << id;
  }
  // Runs the detection; returns the exit code when it ended the process.
  std::optional<std::uint32_t> Detect() {
    try {
      SetupEnvOSVersionDetails();
    } catch (const platform::ProcessExit& e) {
      return e.code;
    }
    return std::nullopt;
  }
  bool LogHas(std::u16string_view text) const {
    return debug::DebugLogText().find(text) != std::u16string::npos;
  }
  void PutFile(std::u16string_view path, std::string_view text) {
    ASSERT_TRUE(machine_.fs().AddFile(path, text));
  }
  std::u16string ProdSpec(std::string_view product) {
    return u"[Product Specification]\r\nProduct=" + U16(product) + u"\r\n";
  }

  sim::Machine machine_;
  Context ctx_{machine_.platform()};
  ContextScope scope_{ctx_};
};

// ---- every profile --------------------------------------------------------------------------

struct ProfileCase {
  const char* id;
  std::string release;  // release flag(s)
  std::string minimums;
  std::string platform_and_edition;  // WinType_, WinEdition_, WinBuild_ flags and Win64bit
  const char16_t* name;              // WinVer_String
  const char16_t* with_sku;          // WinVer_StringWithSKU
  std::int32_t build;                // WinVer_BuildNumber
  const char16_t* csd;               // WinVer_CSDVersion
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
  *os << c.id;
}

// Windows 2000 to Server 2003 keep prodspec.ini in System32, not in the Windows folder where the
// detection looks, so their edition reads "Undefined Edition" unless a metric names it.
const ProfileCase kProfileCases[] = {
    {"win2000", "Win2000", kC2000, "WinType_Workstation", u"Windows 2000",
     u"Windows 2000 [Undefined Edition]", 2195, u"Service Pack 4"},
    {"server2000", "WinServer2000", kC2000 + kS2000, "WinType_Server", u"Windows Server 2000",
     u"Windows Server 2000 [Undefined Edition]", 2195, u"Service Pack 4"},
    {"xp-sp3", "WinXP", kCXP, "WinType_Workstation", u"Windows XP",
     u"Windows XP [Undefined Edition]", 2600, u"Service Pack 3"},
    {"xp-mce", "WinXP", kCXP, "WinType_Workstation WinEdition_MediaCenter", u"Windows XP",
     u"Windows XP [Media Center Edition]", 2600, u"Service Pack 3"},
    {"xp-x64", "WinXP64", kCXP, "WinType_Workstation Win64bit", u"Windows XP",
     u"Windows XP [Undefined Edition]", 3790, u"Service Pack 2"},
    {"server2003", "WinServer2003", kCXP + kS2003, "WinType_Server", u"Windows Server 2003",
     u"Windows Server 2003 [Undefined Edition]", 3790, u"Service Pack 2"},
    {"server2003r2", "WinServer2003r2", kCXP + kS2003r2, "WinType_Server",
     u"Windows Server 2003 R2", u"Windows Server 2003 R2 [Undefined Edition]", 3790,
     u"Service Pack 2"},
    {"homeserver", "WinHomeServer WinHomeServer_Any", kCXP + kS2003r2, "WinType_Server",
     u"Windows Home Server", u"Windows Home Server [Undefined Edition]", 3790, u"Service Pack 2"},
    {"vista", "WinVista", kCVista, "WinType_Workstation", u"Windows Vista",
     u"Windows Vista [Ultimate]", 6002, u"Service Pack 2"},
    {"server2008", "WinServer2008", kCVista + kS2008, "WinType_Server", u"Windows Server 2008",
     u"Windows Server 2008 [Server Standard]", 6002, u"Service Pack 2"},
    {"server2008-dc", "WinServer2008", kCVista + kS2008, "WinType_Server WinType_DomainController",
     u"Windows Server 2008", u"Windows Server 2008 [Server Enterprise (full installation)]", 6002,
     u"Service Pack 2"},
    {"win7", "Win7", kC7, "WinType_Workstation", u"Windows 7", u"Windows 7 [Pro]", 7601,
     u"Service Pack 1"},
    {"server2008r2", "WinServer2008r2", kC7 + kS2008r2, "WinType_Server", u"Windows Server 2008 R2",
     u"Windows Server 2008 R2 [Server Standard]", 7601, u"Service Pack 1"},
    {"homeserver2011", "WinHomeServer2011 WinHomeServer_Any", kC7 + kS2008r2, "WinType_Server",
     u"Windows Home Server 2011", u"Windows Home Server 2011 [Windows Home Server 2011]", 7601,
     u"Service Pack 1"},
    {"win8", "Win8", kC8, "WinType_Workstation", u"Windows 8", u"Windows 8 [Home]", 9200, u""},
    {"server2012", "WinServer2012", kC8 + kS2012, "WinType_Server", u"Windows Server 2012",
     u"Windows Server 2012 [Server Standard]", 9200, u""},
    {"win81", "Win81", kC81, "WinType_Workstation", u"Windows 8.1", u"Windows 8.1 [Pro]", 9600,
     u""},
    {"win81-u1", "Win81u1", kC81u1, "WinType_Workstation", u"Windows 8.1 Update 1",
     u"Windows 8.1 Update 1 [Pro]", 9600, u""},
    {"server2012r2", "WinServer2012r2", kC81 + kS2012r2, "WinType_Server",
     u"Windows Server 2012 R2", u"Windows Server 2012 R2 [Server Standard]", 9600, u""},
    {"server2012r2-u1", "WinServer2012r2u1", kC81u1 + kS2012r2u1, "WinType_Server",
     u"Windows Server 2012 R2 Update 1", u"Windows Server 2012 R2 Update 1 [Server Standard]", 9600,
     u""},
    {"preview64", "", "", "WinType_Workstation", u"", u" [Pro]", 9841, u""},
    {"win10", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Windows 10 [Pro]", 19045, u""},
    {"server2016", "WinServer2016", kC10 + kS2016, "WinType_Server", u"Windows Server 2016",
     u"Windows Server 2016 [Server Standard]", 14393, u""},
    {"win11", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Windows 10 [Pro]", 22631, u""},
    {"winpe", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Windows 10 [Pro]", 19041, u""},
};

class WinVersionProfileTest : public WinVersionTest,
                              public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(WinVersionProfileTest, GivesTheReleaseMinimumsEditionAndTexts) {
  const ProfileCase& c = GetParam();
  Use(c.id);
  ASSERT_FALSE(Detect().has_value()) << "a supported Windows must not end the program";
  const AppEnv& e = Env();

  // Every flag the detection owns, at once: none missing, none extra.
  const WinFlags expected =
      Flags(c.release + " " + c.minimums + " " + c.platform_and_edition + " WinMode_Normal");
  EXPECT_EQ(Names(winver::EnvFlags(e)), Names(expected));

  EXPECT_EQ(e.WinVer_String, c.name);
  EXPECT_EQ(e.WinVer_StringWithSKU, c.with_sku);
  EXPECT_EQ(e.WinVer_StringWithSKU, e.WinVer_String + u" [" + e.WinVer_String_ProductSKU + u"]");
  EXPECT_EQ(e.WinVer_BuildNumber, c.build);
  EXPECT_EQ(e.WinVer_CSDVersion, c.csd);
  const sim::VersionProfile& p = *sim::FindVersionProfile(c.id);
  EXPECT_EQ(e.WinVer_MajorVersion, static_cast<std::int32_t>(p.major));
  EXPECT_EQ(e.WinVer_MinorVersion, static_cast<std::int32_t>(p.minor));
  EXPECT_EQ(e.WinVer_PlatformId, 2);
  EXPECT_EQ(e.WinVer_ProductType, p.product_type);
  EXPECT_EQ(e.WinVer_ServicePackMajor, p.sp_major);
}

INSTANTIATE_TEST_SUITE_P(AllProfiles, WinVersionProfileTest, ::testing::ValuesIn(kProfileCases),
                         [](const auto& info) {
                           std::string name = info.param.id;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

TEST(WinVersionProfiles, EverySupportedProfileIsInTheTable) {
  std::set<std::string> covered;
  for (const ProfileCase& c : kProfileCases) covered.insert(c.id);
  for (const sim::VersionProfile& p : sim::VersionProfiles()) {
    const bool refused = p.platform_id != 2 || p.major == 4;
    EXPECT_NE(covered.count(std::string(p.id)) == 1, refused) << p.id;
  }
}

// ---- boot mode ------------------------------------------------------------------------------

TEST_F(WinVersionTest, SafeModeVariantsSetExactlyOneBootModeFlag) {
  struct Case {
    sim::BootMode mode;
    const char* flag;
  };
  for (const Case& c : {Case{sim::BootMode::kSafe, "WinMode_Safe"},
                        Case{sim::BootMode::kSafeNetwork, "WinMode_SafeNet"}}) {
    for (const char* id : {"xp-sp3", "win7", "win10"}) {
      sim::Machine m;
      Context ctx{m.platform()};
      ContextScope scope{ctx};
      debug::InitDebugModuleVars();
      ctx.env = std::make_unique<AppEnv>();
      ASSERT_TRUE(sim::ApplyVersionProfile(m, id, c.mode));
      // A flag left over from before the detection must not survive it.
      ctx.env->WinMode_Normal = true;
      SetupEnvOSVersionDetails();
      const WinFlags boot =
          winver::EnvFlags(*ctx.env) & Flags("WinMode_Normal WinMode_Safe WinMode_SafeNet");
      EXPECT_EQ(Names(boot), c.flag) << id;
    }
  }
}

// ---- releases beyond the table, build numbers, Update 1 --------------------------------------

TEST_F(WinVersionTest, ABuildNumberOf32768OrMoreIsStoredNegative) {
  Use("win11");
  machine_.facts.version.dwBuildNumber = 40000;
  Detect();
  EXPECT_EQ(Env().WinVer_BuildNumber, -25536);
  EXPECT_TRUE(Env().Win10);
}

TEST_F(WinVersionTest, MissingOrOddBuildLabExMeansNoUpdate1) {
  Use("win81-u1");
  for (std::u16string_view software : {u"SOFTWARE", u"SOFTWARE\\WOW6432Node"}) {
    machine_.registry().SetString(
        platform::kHKEY_LOCAL_MACHINE,
        std::u16string(software) + u"\\Microsoft\\Windows NT\\CurrentVersion", u"BuildLabEx",
        u"9600.update.amd64fre");
  }
  Detect();
  EXPECT_TRUE(LogHas(u"BuildLabEx has no build number in its second field"));
  EXPECT_TRUE(LogHas(u"9600.update.amd64fre"));
  EXPECT_TRUE(Env().Win81);
  EXPECT_FALSE(Env().Win81u1);
  EXPECT_TRUE(Env().Win81_OrNewer);
  EXPECT_FALSE(Env().Win81u1_OrNewer);
}

TEST_F(WinVersionTest, BuildLabExIsReadOnlyOn63) {
  // A value that would mean Update 1 on a Windows 8 machine changes nothing there.
  Use("win8");
  machine_.registry().SetString(platform::kHKEY_LOCAL_MACHINE,
                                u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"BuildLabEx",
                                u"9200.17031.x");
  Detect();
  EXPECT_EQ(Env().WinVer_String, u"Windows 8");
  EXPECT_FALSE(Env().Win81u1_OrNewer);
}

// ---- the version record -----------------------------------------------------------------------

TEST_F(WinVersionTest, ServicePackTextIsCutAtItsFirstNul) {
  Use("xp-sp3");
  machine_.facts.version.szCSDVersion = std::u16string(u"Service Pack 3\0junk after", 25);
  Detect();
  EXPECT_EQ(Env().WinVer_CSDVersion, u"Service Pack 3");
}

TEST_F(WinVersionTest, RtlGetVersionFailureFallsBackToGetVersionExA) {
  Use("win7");
  machine_.InjectFault("RtlGetVersion", 31);
  ASSERT_FALSE(Detect().has_value());
  EXPECT_TRUE(LogHas(u"RtlGetVersion Failure!"));
  EXPECT_EQ(machine_.CallCount("GetVersionExA"), 1);
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows 7 [Pro]");
  EXPECT_EQ(Env().WinVer_CSDVersion, u"Service Pack 1");
  EXPECT_EQ(Env().WinVer_BuildNumber, 7601);
  EXPECT_TRUE(Env().Win7_OrNewer);
}

TEST_F(WinVersionTest, HomeServerSuiteMaskReadsAsASigned16BitNumber) {
  Use("homeserver2011");
  Detect();
  EXPECT_EQ(Env().WinVer_SuiteMask, static_cast<std::int16_t>(0x8110));
  EXPECT_LT(Env().WinVer_SuiteMask, 0);
}

// ---- the product number and WMI -----------------------------------------------------------------

TEST_F(WinVersionTest, UnknownProductNumberAsksWmi) {
  Use("win10");
  machine_.facts.product_info = 0x39;
  machine_.facts.wmi_os_sku = 57;
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows 10 [Undefined (SKU Bit 57)]");
  EXPECT_TRUE(LogHas(u"Undefined GetProductInfo return value!"));
  EXPECT_TRUE(LogHas(u"lProductSKU=57"));
  EXPECT_EQ(machine_.CallCount("WmiQueryOperatingSystemSKU"), 1);
}

TEST_F(WinVersionTest, WmiNamesAnEditionTheTableDoesNotKnow) {
  Use("win10");
  machine_.facts.product_info = 0x39;
  machine_.facts.wmi_os_sku = 1;
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Ultimate");
}

TEST_F(WinVersionTest, KnownProductNumberNeverAsksWmi) {
  Use("win10");
  Detect();
  EXPECT_EQ(machine_.CallCount("WmiQueryOperatingSystemSKU"), 0);
  EXPECT_FALSE(LogHas(u"Undefined GetProductInfo return value!"));
}

TEST_F(WinVersionTest, WmiFailureLeavesTheNumberedEditionAndIsLogged) {
  Use("win10");
  machine_.facts.product_info = 0x39;
  machine_.InjectFault("WmiQueryOperatingSystemSKU", 0x80041003u);  // WBEM_E_ACCESS_DENIED
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Undefined (SKU Bit 57)");
  EXPECT_TRUE(LogHas(u"winmgmts: Win32_OperatingSystem"));
  EXPECT_TRUE(LogHas(u"HRESULT=&H80041003"));
}

TEST_F(WinVersionTest, GetProductInfoFailureLeavesEmptyBrackets) {
  Use("win10");
  machine_.InjectFault("GetProductInfo", 87);
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"");
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows 10 []");
  EXPECT_TRUE(LogHas(u"GetProductInfo"));
  EXPECT_TRUE(Env().Win10);
}

TEST_F(WinVersionTest, APreviewWithoutReleaseFlagsCannotAskWmi) {
  // 6.4 sets no WinVista_OrNewer, so WMI refuses to answer for it.
  Use("preview64");
  machine_.facts.product_info = 0x49;
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u" [Undefined (SKU Bit 73)]");
  EXPECT_TRUE(
      LogHas(u"Product SKU information is only available through WMI on Vista/Server "
             u"2008 and above."));
  EXPECT_EQ(machine_.CallCount("WmiQueryOperatingSystemSKU"), 0);
}

TEST_F(WinVersionTest, WmiGetWinSkuStopsWhenQueriesAreDisabled) {
  Use("win10");
  Env().WinVista_OrNewer = true;
  Env().Disable_WMI_Queries = true;
  std::int32_t found = 12345;
  EXPECT_EQ(WMI_GetWinSKU(found), u"");
  EXPECT_EQ(found, 12345);
  EXPECT_TRUE(LogHas(u"Aborted; WMI Queries are disabled globally."));
  EXPECT_EQ(machine_.CallCount("WmiQueryOperatingSystemSKU"), 0);
}

TEST_F(WinVersionTest, WmiGetWinSkuNamesNumbersAndReportsUnknownOnes) {
  Use("win10");
  Env().WinVista_OrNewer = true;
  struct Case {
    platform::DWORD sku;
    std::u16string_view text;
  };
  for (const Case& c :
       {Case{0, u"Undefined (SKU bit 0)"}, Case{10, u"Enterprise"}, Case{48, u"Professional"},
        Case{74, u"Consumer Preview?"}, Case{103, u"Professional with Media Center"},
        Case{200, u"Undefined (SKU Bit 200)"}}) {
    machine_.facts.wmi_os_sku = c.sku;
    std::int32_t found = -1;
    EXPECT_EQ(WMI_GetWinSKU(found), c.text);
    EXPECT_EQ(found, static_cast<std::int32_t>(c.sku));
  }
  EXPECT_TRUE(LogHas(u"Undefined WMI query return value!"));
  EXPECT_TRUE(LogHas(u"lProductSKU=200"));
}

// ---- editions before Vista ---------------------------------------------------------------------

TEST_F(WinVersionTest, ProdSpecInTheWindowsFolderNamesTheEdition) {
  Use("xp-sp3");
  PutFile(u"C:\\Windows\\prodspec.ini", Utf8(ProdSpec("Windows XP Home Edition")));
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows XP [Home Edition]");
  EXPECT_FALSE(LogHas(u"prodspec.ini not found"));
}

TEST_F(WinVersionTest, ProfessionalWithEhtrayIsMediaCenter) {
  Use("xp-sp3");
  PutFile(u"C:\\Windows\\prodspec.ini", Utf8(ProdSpec("Windows XP Professional")));
  PutFile(u"C:\\Windows\\ehome\\ehtray.exe", "MZ");
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Media Center Edition");
  EXPECT_FALSE(Env().WinEdition_MediaCenter);  // only the metric sets the flag
}

TEST_F(WinVersionTest, MissingProdSpecIsLogged) {
  Use("xp-sp3");
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Undefined Edition");
  EXPECT_TRUE(LogHas(u"Undefined Edition; prodspec.ini not found!"));
  EXPECT_TRUE(LogHas(u"C:\\Windows\\prodspec.ini"));
}

TEST_F(WinVersionTest, DebugBuildOfXPIsNamedAndFlagged) {
  Use("xp-mce");
  machine_.facts.system_metrics[winver::kSM_DEBUG] = 1;
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Media Center Edition (Debug Build)");
  EXPECT_TRUE(Env().WinBuild_Debug);
  EXPECT_FALSE(Env().WinBuild_DBCS);
}

TEST_F(WinVersionTest, VistaAndLaterIgnoreTheEditionMetrics) {
  Use("win7");
  machine_.facts.system_metrics[platform::kSM_MEDIACENTER] = 1;
  machine_.facts.system_metrics[winver::kSM_DEBUG] = 1;
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Pro");
  EXPECT_FALSE(Env().WinEdition_MediaCenter);
  EXPECT_FALSE(Env().WinBuild_Debug);
}

// ---- Windows 9x and NT 4 ------------------------------------------------------------------------

class WinVersionRefusalTest : public WinVersionTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(WinVersionRefusalTest, EndsTheProgramBeforeTheProductRuns) {
  Use(GetParam());
  machine_.SetProgramCommandLine(u"\"C:\\Tools\\Kestrune.exe\" /safe");
  ctx_.env.reset();  // the entry point starts from nothing
  std::optional<std::uint32_t> exit_code;
  try {
    Main();
  } catch (const platform::ProcessExit& e) {
    exit_code = e.code;
  }
  ASSERT_TRUE(exit_code.has_value()) << "the program must end";
  EXPECT_EQ(*exit_code, 0u);
  EXPECT_TRUE(machine_.message_boxes.empty()) << "NeverLoadForms: no box of the framework";
  EXPECT_TRUE(LogHas(u"Win9x/NT 4.x not supported, app will now terminate!"));
  const auto& procs = ctx_.debug->procs;
  for (std::size_t i = 0; i < procs.size(); ++i) {
    EXPECT_NE(procs[i].ProcName(), u"AppMainSub");
    EXPECT_NE(procs[i].ProcName(), u"DoSafe");
  }
  // Nothing about boot modes was touched.
  EXPECT_TRUE(machine_.started_command_lines.empty());
  const std::u16string expected =
      std::string_view(GetParam()) == "nt4" ? u"Windows NT 4.x" : u"Windows 9x";
  ASSERT_TRUE(ctx_.env);  // ended without the clean-up
  EXPECT_EQ(ctx_.env->WinVer_String, expected);
}

INSTANTIATE_TEST_SUITE_P(OldWindows, WinVersionRefusalTest,
                         ::testing::Values("win95", "win98", "winme", "nt4"));

TEST_F(WinVersionTest, RefusalShowsItsMessageWhenTheFrameworkMayShowBoxes) {
  Use("win98");
  ctx_.env.reset();
  std::optional<std::uint32_t> exit_code;
  try {
    InitApp(false, u"");  // NeverLoadForms becomes false here
  } catch (const platform::ProcessExit& e) {
    exit_code = e.code;
  }
  ASSERT_TRUE(exit_code.has_value());
  EXPECT_EQ(*exit_code, 0u);
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].text, u"Win9x/NT 4.x not supported, app will now terminate!");
  EXPECT_EQ(machine_.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(machine_.message_boxes[0].style, platform::kMB_OK);
}

TEST_F(WinVersionTest, ARecordNeitherCallCanReadIsRefused) {
  Use("win10");
  machine_.InjectFault("RtlGetVersion", 31);
  machine_.InjectFault("GetVersionExA", 31);
  SetNeverLoadForms(true);
  EXPECT_EQ(Detect(), std::optional<std::uint32_t>(0u));
  EXPECT_TRUE(LogHas(u"GetVersionExA"));
  EXPECT_EQ(Env().WinVer_String, u"Windows 9x");
}

// ---- start-up -----------------------------------------------------------------------------------

TEST_F(WinVersionTest, StartUpLogsTheWindowsItFound) {
  Use("win7", sim::BootMode::kSafeNetwork);
  ctx_.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(
      LogHas(u"Windows: Windows 7 [Pro] | 6.1.7601 | release flag: Win7 | boot mode: "
             u"WinMode_SafeNet"));
  EXPECT_TRUE(ctx_.env->Win7);
  EXPECT_TRUE(ctx_.env->WinMode_SafeNet);
  EXPECT_FALSE(ctx_.env->WinType_PE);
}

TEST_F(WinVersionTest, StartUpNamesAVersionWithoutRelease) {
  Use("preview64");
  ctx_.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(
      LogHas(u"Windows:  [Pro] | 6.4.9841 | release flag: none | boot mode: "
             u"WinMode_Normal"));
}

// ---- WinPE --------------------------------------------------------------------------------------

TEST_F(WinVersionTest, WinPEProfileIsDetectedByTheXDriveAndTheKey) {
  Use("winpe");
  ctx_.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(ctx_.env->WinType_PE);
  EXPECT_TRUE(LogHas(u"Write Access on X:\\"));
  EXPECT_TRUE(LogHas(u"WinPE Registry Key Found"));
  EXPECT_FALSE(LogHas(u"Osrin"));
}

TEST_F(WinVersionTest, AnOrdinaryMachineIsNoWinPE) {
  EXPECT_FALSE(EarlyWinPECheck());
  EXPECT_FALSE(LogHas(u"Write Access on X:\\"));
  EXPECT_FALSE(LogHas(u"WinPE Registry Key Found"));
}

TEST_F(WinVersionTest, RegisteredOwnerOsrinMeansWinPE) {
  for (std::u16string_view software : {u"SOFTWARE", u"SOFTWARE\\WOW6432Node"}) {
    machine_.registry().SetString(
        platform::kHKEY_LOCAL_MACHINE,
        std::u16string(software) + u"\\Microsoft\\Windows NT\\CurrentVersion", u"RegisteredOwner",
        u"oSRIN build team");
  }
  EXPECT_TRUE(EarlyWinPECheck());
  EXPECT_TRUE(LogHas(u"WinPE Detected (Registered Name contains 'Osrin')"));
}

TEST_F(WinVersionTest, AReadOnlyProgramFolderAloneIsNoWinPE) {
  // A program on a CD of an ordinary Windows: X: is missing, so the first test does not fire.
  machine_.fs().AddDrive(u"D:", u"CDFS", sim::DriveType::kCdRom, true);
  machine_.fs().AddFile(u"D:\\Kestrune.exe", std::string_view("MZ"));
  machine_.CurrentProcess().image = u"D:\\Kestrune.exe";
  EXPECT_FALSE(EarlyWinPECheck());
  // With a writable X: it fires.
  machine_.fs().AddDrive(u"X:", u"NTFS", sim::DriveType::kRamDisk);
  EXPECT_TRUE(EarlyWinPECheck());
}

}  // namespace
}  // namespace kes::version_tests
