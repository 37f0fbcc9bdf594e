// Windows version detection on the simulated machine: every named Windows installation gives
// its release flag, the _OrNewer flags, platform and edition flags, the texts and the build
// number; the edition rules (product table, WMI fallback, the pre-Vista metrics and
// prodspec.ini, the build kind); Update 1 from "BuildLabEx"; the boot mode; the refusal of
// Windows 9x and NT 4; the WinPE check. The decisions behind them are pure functions of the
// numbers and are tried from tables first.
#include <set>
#include <sstream>

#include "framework/env/startup_helpers.h"
#include "framework/env/winpe.h"
#include "framework/env/winver.h"
#include "framework/env/winver_tables.h"
#include "framework/env/wmi.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using winver::WinFlag;
using winver::WinFlags;

// Flags from a blank-separated list of fact names; an unknown name fails the test.
WinFlags Flags(const std::string& names) {
  WinFlags out;
  std::istringstream in(names);
  std::string name;
  while (in >> name) {
    const auto flag = winver::WinFlagByName(U16(name));
    EXPECT_TRUE(flag.has_value()) << "no flag named " << name;
    if (flag) out.set(static_cast<std::size_t>(*flag));
  }
  return out;
}

// The names of the set flags, as DescribeFlags gives them.
std::string Names(const WinFlags& flags) {
  return Utf8(winver::DescribeFlags(flags));
}

// The minimum flags, cumulative in their orders.
const std::string kC2000 = "Win2000_OrNewer";
const std::string kCXP = kC2000 + " WinXP_OrNewer";
const std::string kCVista = kCXP + " WinVista_OrNewer";
const std::string kC7 = kCVista + " Win7_OrNewer";
const std::string kC8 = kC7 + " Win8_OrNewer";
const std::string kC81 = kC8 + " Win81_OrNewer";
const std::string kC81u1 = kC81 + " Win81u1_OrNewer";
const std::string kC10 = kC81u1 + " Win10_OrNewer";
const std::string kS2000 = " WinServer2000_OrNewer";
const std::string kS2003 = kS2000 + " WinServer2003_OrNewer";
const std::string kS2003r2 = kS2003 + " WinServer2003r2_OrNewer";
const std::string kS2008 = kS2003r2 + " WinServer2008_OrNewer";
const std::string kS2008r2 = kS2008 + " WinServer2008r2_OrNewer";
const std::string kS2012 = kS2008r2 + " WinServer2012_OrNewer";
const std::string kS2012r2 = kS2012 + " WinServer2012r2_OrNewer";
const std::string kS2012r2u1 = kS2012r2 + " WinServer2012r2u1_OrNewer";
const std::string kS2016 = kS2012r2u1 + " WinServer2016_OrNewer";

// ---- the decisions, as functions of the numbers ---------------------------------------------

TEST(WinVersionDecisions, CleanBootValuesOutsideTheThreeSetNoBootMode) {
  EXPECT_EQ(Names(winver::BootModeFlags(0)), "WinMode_Normal");
  EXPECT_EQ(Names(winver::BootModeFlags(1)), "WinMode_Safe");
  EXPECT_EQ(Names(winver::BootModeFlags(2)), "WinMode_SafeNet");
  EXPECT_TRUE(winver::BootModeFlags(3).none());
  EXPECT_TRUE(winver::BootModeFlags(-1).none());
}

TEST(WinVersionDecisions, VersionsWithoutAReleaseGetNoFlagsAndNoName) {
  const std::pair<std::uint32_t, std::uint32_t> versions[] = {{5, 3}, {6, 4}, {6, 9},  {7, 0},
                                                              {8, 1}, {9, 0}, {11, 0}, {3, 51}};
  for (const auto& [major, minor] : versions) {
    for (int product_type : {1, 2, 3}) {
      const auto d = winver::DecideRelease(major, minor, product_type, 0x8000, 1, true);
      EXPECT_TRUE(d.flags.none()) << major << "." << minor << " " << Names(d.flags);
      EXPECT_TRUE(d.name.empty()) << major << "." << minor;
    }
  }
  // Any minor version of 10 is still 10.
  EXPECT_EQ(winver::DecideRelease(10, 5, 1, 0, 0, false).name, u"Windows 10");
}

TEST(WinVersionDecisions, ConditionsOfOneVersionAreTriedInOrder) {
  // 5.1 domain controller: XP with the first server minimum.
  EXPECT_EQ(Names(winver::DecideRelease(5, 1, 2, 0, 0, false).flags),
            Names(Flags("WinXP " + kCXP + kS2000)));
  // The Home Server suite wins over the product type, even a workstation's.
  EXPECT_EQ(winver::DecideRelease(5, 2, 1, 0x8000, 0, false).name, u"Windows Home Server");
  EXPECT_EQ(winver::DecideRelease(6, 1, 1, 0x8000, 0, false).name, u"Windows Home Server 2011");
  // XP x64 is told apart by its product type before the R2 metric is looked at.
  EXPECT_EQ(Names(winver::DecideRelease(5, 2, 1, 0, 1, false).flags),
            Names(Flags("WinXP64 Win64bit " + kCXP)));
  // 5.0 server and domain controller.
  EXPECT_EQ(winver::DecideRelease(5, 0, 2, 0, 0, false).name, u"Windows Server 2000");
  // Update 1 only counts on 6.3.
  EXPECT_EQ(winver::DecideRelease(6, 2, 1, 0, 0, true).name, u"Windows 8");
}

TEST(WinVersionDecisions, BuildNumberIsItsLowWordReadAsSigned) {
  EXPECT_EQ(winver::BuildNumber16(19045), 19045);
  EXPECT_EQ(winver::BuildNumber16(32767), 32767);
  EXPECT_EQ(winver::BuildNumber16(32768), -32768);
  EXPECT_EQ(winver::BuildNumber16(40000), -25536);
  EXPECT_EQ(winver::BuildNumber16(0xFFFF), -1);
  // Windows 98 SE: 4.10 in the high word.
  EXPECT_EQ(winver::BuildNumber16(0x040A08AE), 2222);
}

TEST(WinVersionDecisions, Update1NeedsASecondFieldOf17031OrMore) {
  struct Case {
    const char16_t* lab;
    bool update1;
  };
  const Case cases[] = {
      {u"9600.17031.amd64fre.winblue_gdr.140221-1952", true},
      {u"9600.17050.x86fre.winblue_gdr.140305-1710", true},
      {u"9600.16384.amd64fre.winblue_rtm.130821-1623", false},
      {u"9600.17030.amd64fre", false},
      {u"9600.17031", true},
      {u"9600. 17031 .x", true},  // blanks around the number are allowed
      {u"9600", false},           // no second field
      {u"9600..17031", false},    // an empty second field is no number
      {u"9600.17031a.x", false},
      {u"9600.x17031", false},
      {u"9600.99999999999.x", false},  // beyond 32 bits
      {u"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(winver::HasUpdate1(c.lab), c.update1) << Utf8(c.lab);
}

// The look-up relies on the table's order: every row must be found by its own number.
TEST(WinVersionDecisions, EveryProductOfTheTableIsFoundByItsNumber) {
  for (const auto& row : winver::ProductTable())
    EXPECT_EQ(winver::ProductSKUText(row.number), row.text) << row.number;
  EXPECT_FALSE(winver::ProductSKUText(0xABCDABCD).has_value());
}

TEST(WinVersionDecisions, StarterAndMediaCenterProductsSetTheirEditionFlags) {
  for (std::uint32_t n : {0x0Bu, 0x2Fu, 0x42u})
    EXPECT_EQ(Names(winver::DecideProductEdition(n, u"", -1).flags), "WinEdition_Starter") << n;
  EXPECT_EQ(Names(winver::DecideProductEdition(0x67, u"", -1).flags), "WinEdition_MediaCenter");
  EXPECT_TRUE(winver::DecideProductEdition(0x30, u"", -1).flags.none());
  // A WMI answer is not looked at for a known number.
  EXPECT_EQ(winver::DecideProductEdition(0x30, u"Ultimate", 1).text, u"Pro");
}

TEST(WinVersionDecisions, UnknownProductNumbersAreNamedByWmiOrByTheirNumber) {
  struct Case {
    std::u16string_view answer;
    std::int32_t wmi_sku;
    std::u16string_view text;
  };
  const Case cases[] = {
      {u"", -1, u"Undefined (SKU Bit 57)"},
      {u"Ultimate", 1, u"Ultimate"},
      {u"Undefined (SKU Bit 57)", 57, u"Undefined (SKU Bit 57)"},
      {u"Undefined (SKU bit 0)", 0, u"Undefined (API SKU Bit 57 / WMI SKU bit 0)"},
      {u"Undefined (sku BIT 99)", 99, u"Undefined (API SKU Bit 57 / WMI SKU bit 99)"},
      {u"Undefined (SKU Bit 57)", -1, u"Undefined (SKU Bit 57)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(winver::DecideProductEdition(0x39, c.answer, c.wmi_sku).text, c.text)
        << Utf8(c.answer);
}

TEST(WinVersionDecisions, LegacyEditionRules) {
  using In = winver::LegacyEditionInput;
  struct Case {
    const char* what;
    In in;
    std::u16string_view text;
    std::string flags;
  };
  auto prodspec = [](std::u16string_view product, bool ehtray = false) {
    In in;
    in.product_type = 1;
    in.prodspec_product = std::u16string(product);
    in.ehtray_exists = ehtray;
    return in;
  };
  auto metrics = [](int type, int r2, int tablet, int media, int starter) {
    In in;
    in.product_type = type;
    in.sm_serverr2 = r2;
    in.sm_tabletpc = tablet;
    in.sm_mediacenter = media;
    in.sm_starter = starter;
    in.prodspec_product = u"Windows XP Professional";
    return in;
  };
  auto build = [](int debug, int dbcs) {
    In in;
    in.product_type = 1;
    in.sm_debug = debug;
    in.sm_dbcsenabled = dbcs;
    in.prodspec_product = u"Windows XP Home Edition";
    return in;
  };
  const Case cases[] = {
      {"R2 domain controller", metrics(2, 1, 0, 0, 0), u"Windows Server 2003 R2", ""},
      {"plain domain controller", metrics(2, 0, 1, 1, 1), u"", ""},
      {"plain R2 server goes through the other rules", metrics(3, 1, 0, 0, 0), u"Professional", ""},
      {"tablet", metrics(1, 0, 1, 1, 1), u"Tablet PC Edition", "WinEdition_TabletPC"},
      {"media center", metrics(1, 0, 0, 1, 1), u"Media Center Edition", "WinEdition_MediaCenter"},
      {"starter", metrics(1, 0, 0, 0, 1), u"Starter Edition", "WinEdition_Starter"},
      {"no prodspec.ini", In{1}, u"Undefined Edition", ""},
      {"home", prodspec(u"Windows XP Home Edition"), u"Home Edition", ""},
      {"media", prodspec(u"windows xp MEDIA center"), u"Media Center Edition", ""},
      {"professional", prodspec(u"Windows XP Professional"), u"Professional", ""},
      {"professional with ehtray", prodspec(u"Windows XP Professional", true),
       u"Media Center Edition", ""},
      {"later match wins", prodspec(u"Home and Professional"), u"Professional", ""},
      {"nothing matches", prodspec(u"Windows Server 2003, Standard Edition"), u"", ""},
      {"debug build", build(1, 0), u"Home Edition (Debug Build)", "WinBuild_Debug"},
      {"DBCS debug build", build(1, 1), u"Home Edition (DBCS Debug Build)",
       "WinBuild_Debug WinBuild_DBCS"},
      {"DBCS build", build(0, 1), u"Home Edition (DBCS)", "WinBuild_DBCS"},
  };
  for (const Case& c : cases) {
    const auto d = winver::DecideLegacyEdition(c.in);
    EXPECT_EQ(d.text, c.text) << c.what;
    EXPECT_EQ(Names(d.flags), Names(Flags(c.flags))) << c.what;
  }
  EXPECT_FALSE(winver::NeedsProdSpec(metrics(2, 0, 0, 0, 0)));
  EXPECT_FALSE(winver::NeedsProdSpec(metrics(1, 0, 0, 1, 0)));
  EXPECT_TRUE(winver::NeedsProdSpec(metrics(3, 1, 0, 0, 0)));
}

// ---- detection on the simulated machine ----------------------------------------------------

// Tracing started and an environment object whose Windows folder is known, as start-up has it
// when the version detection runs.
class WinVersionTest : public MachineTest {
 protected:
  WinVersionTest() {
    debug::SetDebugLogVerbose(true);
    ctx.env = std::make_unique<AppEnv>();
    Env().Dir_Windows = u"C:\\Windows";
    Env().DirBS_Windows = u"C:\\Windows\\";
    Env().DirBS_System32 = u"C:\\Windows\\System32\\";
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
  void PutFile(std::u16string_view path, std::string_view text) {
    ASSERT_TRUE(m.fs().AddFile(path, text));
  }
  std::u16string ProdSpec(std::string_view product) {
    return u"[Product Specification]\r\nProduct=" + U16(product) + u"\r\n";
  }
};

// ---- every profile --------------------------------------------------------------------------

struct ProfileCase {
  const char* id;
  std::string release;  // release flag(s)
  std::string minimums;
  std::string platform_and_edition;  // WinType_, WinEdition_, WinBuild_ flags and Win64bit
  const char16_t* name;              // WinVer_String
  const char16_t* sku;               // WinVer_String_ProductSKU
  std::int32_t build;                // WinVer_BuildNumber
  const char16_t* csd;               // WinVer_CSDVersion
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
  *os << c.id;
}

// Windows 2000 to Server 2003 name their edition in System32\prodspec.ini ("Windows XP
// Professional"); the servers' product names match none of the words the rule looks for.
const ProfileCase kProfileCases[] = {
    {"win2000", "Win2000", kC2000, "WinType_Workstation", u"Windows 2000", u"Professional", 2195,
     u"Service Pack 4"},
    {"server2000", "WinServer2000", kC2000 + kS2000, "WinType_Server", u"Windows Server 2000", u"",
     2195, u"Service Pack 4"},
    {"xp-sp3", "WinXP", kCXP, "WinType_Workstation", u"Windows XP", u"Professional", 2600,
     u"Service Pack 3"},
    {"xp-mce", "WinXP", kCXP, "WinType_Workstation WinEdition_MediaCenter", u"Windows XP",
     u"Media Center Edition", 2600, u"Service Pack 3"},
    {"xp-x64", "WinXP64", kCXP, "WinType_Workstation Win64bit", u"Windows XP", u"Undefined Edition",
     3790, u"Service Pack 2"},
    {"server2003", "WinServer2003", kCXP + kS2003, "WinType_Server", u"Windows Server 2003", u"",
     3790, u"Service Pack 2"},
    {"server2003r2", "WinServer2003r2", kCXP + kS2003r2, "WinType_Server",
     u"Windows Server 2003 R2", u"", 3790, u"Service Pack 2"},
    {"homeserver", "WinHomeServer WinHomeServer_Any", kCXP + kS2003r2, "WinType_Server",
     u"Windows Home Server", u"Home Edition", 3790, u"Service Pack 2"},
    {"vista", "WinVista", kCVista, "WinType_Workstation", u"Windows Vista", u"Ultimate", 6002,
     u"Service Pack 2"},
    {"server2008", "WinServer2008", kCVista + kS2008, "WinType_Server", u"Windows Server 2008",
     u"Server Standard", 6002, u"Service Pack 2"},
    {"server2008-dc", "WinServer2008", kCVista + kS2008, "WinType_Server WinType_DomainController",
     u"Windows Server 2008", u"Server Enterprise (full installation)", 6002, u"Service Pack 2"},
    {"win7", "Win7", kC7, "WinType_Workstation", u"Windows 7", u"Pro", 7601, u"Service Pack 1"},
    {"server2008r2", "WinServer2008r2", kC7 + kS2008r2, "WinType_Server", u"Windows Server 2008 R2",
     u"Server Standard", 7601, u"Service Pack 1"},
    {"homeserver2011", "WinHomeServer2011 WinHomeServer_Any", kC7 + kS2008r2, "WinType_Server",
     u"Windows Home Server 2011", u"Windows Home Server 2011", 7601, u"Service Pack 1"},
    {"win8", "Win8", kC8, "WinType_Workstation", u"Windows 8", u"Home", 9200, u""},
    {"server2012", "WinServer2012", kC8 + kS2012, "WinType_Server", u"Windows Server 2012",
     u"Server Standard", 9200, u""},
    {"win81", "Win81", kC81, "WinType_Workstation", u"Windows 8.1", u"Pro", 9600, u""},
    {"win81-u1", "Win81u1", kC81u1, "WinType_Workstation", u"Windows 8.1 Update 1", u"Pro", 9600,
     u""},
    {"server2012r2", "WinServer2012r2", kC81 + kS2012r2, "WinType_Server",
     u"Windows Server 2012 R2", u"Server Standard", 9600, u""},
    {"server2012r2-u1", "WinServer2012r2u1", kC81u1 + kS2012r2u1, "WinType_Server",
     u"Windows Server 2012 R2 Update 1", u"Server Standard", 9600, u""},
    {"preview64", "", "", "WinType_Workstation", u"", u"Pro", 9841, u""},
    {"win10", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Pro", 19045, u""},
    {"server2016", "WinServer2016", kC10 + kS2016, "WinType_Server", u"Windows Server 2016",
     u"Server Standard", 14393, u""},
    {"win11", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Pro", 22631, u""},
    {"winpe", "Win10", kC10, "WinType_Workstation", u"Windows 10", u"Pro", 19041, u""},
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
  EXPECT_EQ(e.WinVer_String_ProductSKU, c.sku);
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

class BootModeTest : public WinVersionTest,
                     public ::testing::WithParamInterface<std::tuple<sim::BootMode, const char*>> {
};

TEST_P(BootModeTest, SafeModeVariantsSetExactlyOneBootModeFlag) {
  const auto [mode, id] = GetParam();
  Use(id, mode);
  // A flag left over from before the detection must not survive it.
  Env().WinMode_Normal = true;
  Detect();
  const WinFlags boot =
      winver::EnvFlags(Env()) & Flags("WinMode_Normal WinMode_Safe WinMode_SafeNet");
  EXPECT_EQ(Names(boot), mode == sim::BootMode::kSafe ? "WinMode_Safe" : "WinMode_SafeNet");
}

INSTANTIATE_TEST_SUITE_P(SafeModes, BootModeTest,
                         ::testing::Combine(::testing::Values(sim::BootMode::kSafe,
                                                              sim::BootMode::kSafeNetwork),
                                            ::testing::Values("xp-sp3", "win7", "win10")));

// ---- releases beyond the table, build numbers, Update 1 --------------------------------------

TEST_F(WinVersionTest, ABuildNumberOf32768OrMoreIsStoredNegative) {
  Use("win11");
  m.facts.version.dwBuildNumber = 40000;
  Detect();
  EXPECT_EQ(Env().WinVer_BuildNumber, -25536);
  EXPECT_TRUE(Env().Win10);
}

TEST_F(WinVersionTest, MissingOrOddBuildLabExMeansNoUpdate1) {
  Use("win81-u1");
  for (std::u16string_view software : {u"SOFTWARE", u"SOFTWARE\\WOW6432Node"}) {
    m.registry().SetString(platform::kHKEY_LOCAL_MACHINE,
                           std::u16string(software) + u"\\Microsoft\\Windows NT\\CurrentVersion",
                           u"BuildLabEx", u"9600.update.amd64fre");
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
  m.registry().SetString(platform::kHKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"BuildLabEx",
                         u"9200.17031.x");
  Detect();
  EXPECT_EQ(Env().WinVer_String, u"Windows 8");
  EXPECT_FALSE(Env().Win81u1_OrNewer);
}

// ---- the version record -----------------------------------------------------------------------

TEST_F(WinVersionTest, ServicePackTextIsCutAtItsFirstNul) {
  Use("xp-sp3");
  m.facts.version.szCSDVersion = std::u16string(u"Service Pack 3\0junk after", 25);
  Detect();
  EXPECT_EQ(Env().WinVer_CSDVersion, u"Service Pack 3");
}

TEST_F(WinVersionTest, RtlGetVersionFailureFallsBackToGetVersionExA) {
  Use("win7");
  m.InjectFault("RtlGetVersion", 31);
  ASSERT_FALSE(Detect().has_value());
  EXPECT_TRUE(LogHas(u"RtlGetVersion Failure!"));
  EXPECT_EQ(m.CallCount("GetVersionExA"), 1);
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
  m.facts.product_info = 0x39;
  m.facts.wmi_os_sku = 57;
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows 10 [Undefined (SKU Bit 57)]");
  EXPECT_TRUE(LogHas(u"Undefined GetProductInfo return value!"));
  EXPECT_TRUE(LogHas(u"lProductSKU=57"));
  EXPECT_EQ(m.CallCount("WmiQueryOperatingSystemSKU"), 1);
}

TEST_F(WinVersionTest, WmiNamesAnEditionTheTableDoesNotKnow) {
  Use("win10");
  m.facts.product_info = 0x39;
  m.facts.wmi_os_sku = 1;
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Ultimate");
}

TEST_F(WinVersionTest, KnownProductNumberNeverAsksWmi) {
  Use("win10");
  Detect();
  EXPECT_EQ(m.CallCount("WmiQueryOperatingSystemSKU"), 0);
  EXPECT_FALSE(LogHas(u"Undefined GetProductInfo return value!"));
}

TEST_F(WinVersionTest, WmiFailureLeavesTheNumberedEditionAndIsLogged) {
  Use("win10");
  m.facts.product_info = 0x39;
  m.InjectFault("WmiQueryOperatingSystemSKU", 0x80041003u);  // WBEM_E_ACCESS_DENIED
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Undefined (SKU Bit 57)");
  EXPECT_TRUE(LogHas(u"winmgmts: Win32_OperatingSystem"));
  EXPECT_TRUE(LogHas(u"HRESULT=&H80041003"));
}

TEST_F(WinVersionTest, GetProductInfoFailureLeavesEmptyBrackets) {
  Use("win10");
  m.InjectFault("GetProductInfo", 87);
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"");
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows 10 []");
  EXPECT_TRUE(LogHas(u"GetProductInfo"));
  EXPECT_TRUE(Env().Win10);
}

TEST_F(WinVersionTest, APreviewWithoutReleaseFlagsCannotAskWmi) {
  // 6.4 sets no WinVista_OrNewer, so WMI refuses to answer for it.
  Use("preview64");
  m.facts.product_info = 0x49;
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u" [Undefined (SKU Bit 73)]");
  EXPECT_TRUE(
      LogHas(u"Product SKU information is only available through WMI on Vista/Server "
             u"2008 and above."));
  EXPECT_EQ(m.CallCount("WmiQueryOperatingSystemSKU"), 0);
}

TEST_F(WinVersionTest, WmiGetWinSkuStopsWhenQueriesAreDisabled) {
  Use("win10");
  Env().WinVista_OrNewer = true;
  Env().Disable_WMI_Queries = true;
  std::int32_t found = 12345;
  EXPECT_EQ(WMI_GetWinSKU(found), u"");
  EXPECT_EQ(found, 12345);
  EXPECT_TRUE(LogHas(u"Aborted; WMI Queries are disabled globally."));
  EXPECT_EQ(m.CallCount("WmiQueryOperatingSystemSKU"), 0);
}

TEST_F(WinVersionTest, WmiGetWinSkuNamesNumbersAndReportsUnknownOnes) {
  Use("win10");
  Env().WinVista_OrNewer = true;
  struct Case {
    platform::DWORD sku;
    std::u16string_view text;
  };
  for (const Case& c : {Case{0, u"Undefined (SKU bit 0)"}, Case{48, u"Professional"},
                        Case{200, u"Undefined (SKU Bit 200)"}}) {
    m.facts.wmi_os_sku = c.sku;
    std::int32_t found = -1;
    EXPECT_EQ(WMI_GetWinSKU(found), c.text);
    EXPECT_EQ(found, static_cast<std::int32_t>(c.sku));
  }
  EXPECT_TRUE(LogHas(u"Undefined WMI query return value!"));
  EXPECT_TRUE(LogHas(u"lProductSKU=200"));
}

// ---- editions before Vista ---------------------------------------------------------------------

using WinVersionPolishTest = WinVersionTest;

// Windows XP keeps prodspec.ini in System32; a copy in the Windows folder is read where System32
// has none.
TEST_F(WinVersionPolishTest, ProdSpecInSystem32OrTheWindowsFolderNamesTheEdition) {
  Use("xp-sp3");
  PutFile(u"C:\\Windows\\System32\\prodspec.ini", Utf8(ProdSpec("Windows XP Professional")));
  PutFile(u"C:\\Windows\\prodspec.ini", Utf8(ProdSpec("Windows XP Home Edition")));
  Detect();
  EXPECT_EQ(Env().WinVer_StringWithSKU, u"Windows XP [Professional]");
  ASSERT_TRUE(m.fs().Remove(u"C:\\Windows\\System32\\prodspec.ini"));
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
  ASSERT_TRUE(m.fs().Remove(u"C:\\Windows\\System32\\prodspec.ini"));
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Undefined Edition");
  EXPECT_TRUE(LogHas(u"Undefined Edition; prodspec.ini not found!"));
  EXPECT_TRUE(LogHas(u"C:\\Windows\\prodspec.ini"));
  EXPECT_TRUE(LogHas(u"System32\\prodspec.ini"));
}

TEST_F(WinVersionTest, DebugBuildOfXPIsNamedAndFlagged) {
  Use("xp-mce");
  m.facts.system_metrics[winver::kSM_DEBUG] = 1;
  Detect();
  EXPECT_EQ(Env().WinVer_String_ProductSKU, u"Media Center Edition (Debug Build)");
  EXPECT_TRUE(Env().WinBuild_Debug);
  EXPECT_FALSE(Env().WinBuild_DBCS);
}

TEST_F(WinVersionTest, VistaAndLaterIgnoreTheEditionMetrics) {
  Use("win7");
  m.facts.system_metrics[platform::kSM_MEDIACENTER] = 1;
  m.facts.system_metrics[winver::kSM_DEBUG] = 1;
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
  ctx.env.reset();  // the entry point starts from nothing
  std::optional<std::uint32_t> exit_code;
  m.SetProgramCommandLine(ProgramCommandLine(m, u"/safe"));
  try {
    Main();
  } catch (const platform::ProcessExit& e) {
    exit_code = e.code;
  }
  ASSERT_TRUE(exit_code.has_value()) << "the program must end";
  EXPECT_EQ(*exit_code, 1150u);  // ERROR_OLD_WIN_VERSION
  EXPECT_TRUE(m.message_boxes.empty()) << "NeverLoadForms: no box of the framework";
  EXPECT_TRUE(LogHas(u"Win9x/NT 4.x not supported, app will now terminate!"));
  EXPECT_TRUE(Calls({u"AppMainSub", u"DoSafe"}).empty());
  // Nothing about boot modes was touched.
  EXPECT_TRUE(m.started_command_lines.empty());
  const std::u16string expected =
      std::string_view(GetParam()) == "nt4" ? u"Windows NT 4.x" : u"Windows 9x";
  ASSERT_TRUE(ctx.env);  // ended without the clean-up
  EXPECT_EQ(Env().WinVer_String, expected);
}

INSTANTIATE_TEST_SUITE_P(OldWindows, WinVersionRefusalTest,
                         ::testing::Values("win95", "win98", "winme", "nt4"));

TEST_F(WinVersionTest, RefusalShowsItsMessageWhenTheFrameworkMayShowBoxes) {
  Use("win98");
  ctx.env.reset();
  std::optional<std::uint32_t> exit_code;
  try {
    InitApp(false, u"");  // NeverLoadForms becomes false here
  } catch (const platform::ProcessExit& e) {
    exit_code = e.code;
  }
  ASSERT_TRUE(exit_code.has_value());
  EXPECT_EQ(*exit_code, 1150u);  // ERROR_OLD_WIN_VERSION
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].text, u"Win9x/NT 4.x not supported, app will now terminate!");
  EXPECT_EQ(m.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(m.message_boxes[0].style, platform::kMB_OK);
}

TEST_F(WinVersionTest, ARecordNeitherCallCanReadIsRefused) {
  Use("win10");
  m.InjectFault("RtlGetVersion", 31);
  m.InjectFault("GetVersionExA", 31);
  SetNeverLoadForms(true);
  EXPECT_EQ(Detect(), std::optional<std::uint32_t>(1150u));
  EXPECT_TRUE(LogHas(u"GetVersionExA"));
  EXPECT_EQ(Env().WinVer_String, u"Windows 9x");
}

// ---- start-up -----------------------------------------------------------------------------------

TEST_F(WinVersionTest, StartUpLogsTheWindowsItFound) {
  Use("win7", sim::BootMode::kSafeNetwork);
  ctx.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(
      LogHas(u"Windows: Windows 7 [Pro] | 6.1.7601 | release flag: Win7 | boot mode: "
             u"WinMode_SafeNet"));
  EXPECT_TRUE(Env().Win7);
  EXPECT_TRUE(Env().WinMode_SafeNet);
  EXPECT_FALSE(Env().WinType_PE);
}

TEST_F(WinVersionTest, StartUpNamesAVersionWithoutRelease) {
  Use("preview64");
  ctx.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(
      LogHas(u"Windows:  [Pro] | 6.4.9841 | release flag: none | boot mode: "
             u"WinMode_Normal"));
}

// ---- WinPE --------------------------------------------------------------------------------------

TEST_F(WinVersionTest, WinPEProfileIsDetectedByTheXDriveAndTheKey) {
  Use("winpe");
  ctx.env.reset();
  InitApp(false, u"");
  EXPECT_TRUE(Env().WinType_PE);
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
    m.registry().SetString(platform::kHKEY_LOCAL_MACHINE,
                           std::u16string(software) + u"\\Microsoft\\Windows NT\\CurrentVersion",
                           u"RegisteredOwner", u"oSRIN build team");
  }
  EXPECT_TRUE(EarlyWinPECheck());
  EXPECT_TRUE(LogHas(u"WinPE Detected (Registered Name contains 'Osrin')"));
}

TEST_F(WinVersionTest, AReadOnlyProgramFolderAloneIsNoWinPE) {
  // A program on a CD of an ordinary Windows: X: is missing, so the first test does not fire.
  m.fs().AddDrive(u"D:", u"CDFS", sim::DriveType::kCdRom, true);
  m.fs().AddFile(u"D:\\Kestrune.exe", std::string_view("MZ"));
  m.CurrentProcess().image = u"D:\\Kestrune.exe";
  EXPECT_FALSE(EarlyWinPECheck());
  // With a writable X: it fires.
  m.fs().AddDrive(u"X:", u"NTFS", sim::DriveType::kRamDisk);
  EXPECT_TRUE(EarlyWinPECheck());
}

}  // namespace
}  // namespace kes
