// Windows version detection (App_Common): reads the version record, the product number and a
// few system metrics once at start-up and turns them into the Windows facts of App_Env - the
// release flag, the cumulative _OrNewer flags, platform, edition and build-kind flags, the
// release and edition texts and the boot mode. Windows 9x and NT 4 are refused by ending the
// program.
//
// The decisions themselves are pure functions of the numbers (below), so that every Windows
// release can be checked from a table; SetupEnvOSVersionDetails only gathers the numbers from
// the platform, asks the decisions and stores the answers.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kes {

class AppEnv;

// Fills the Windows facts of Ctx().env from the running Windows (nothing happens without an
// environment object, logged). It only ever sets flags to true, except the three boot-mode
// flags, of which exactly one ends up true. A failed call or read is logged and leaves its fact
// empty or false. On
// Windows 9x and NT 4 it shows "Win9x/NT 4.x not supported, app will now terminate!" (unless
// NeverLoadForms) and ends the process through TerminateApp(0, true); it does not return then.
void SetupEnvOSVersionDetails();

namespace winver {

// Every flag fact of App_Env that the version detection decides, named as the fact.
enum class WinFlag : int {
  // Platform and build kind.
  kWinType_Workstation,
  kWinType_Server,
  kWinType_DomainController,
  kWinBuild_Debug,
  kWinBuild_DBCS,
  kWin64bit,
  // Specific release.
  kWin2000,
  kWinXP,
  kWinXP64,
  kWinVista,
  kWin7,
  kWin8,
  kWin81,
  kWin81u1,
  kWin10,
  kWinServer2000,
  kWinServer2003,
  kWinServer2003r2,
  kWinServer2008,
  kWinServer2008r2,
  kWinServer2012,
  kWinServer2012r2,
  kWinServer2012r2u1,
  kWinServer2016,
  kWinHomeServer,
  kWinHomeServer2011,
  kWinHomeServer_Any,
  // Edition.
  kWinEdition_MediaCenter,
  kWinEdition_Starter,
  kWinEdition_TabletPC,
  // Minimum release, client order.
  kWin2000_OrNewer,
  kWinXP_OrNewer,
  kWinVista_OrNewer,
  kWin7_OrNewer,
  kWin8_OrNewer,
  kWin81_OrNewer,
  kWin81u1_OrNewer,
  kWin10_OrNewer,
  // Minimum release, server order.
  kWinServer2000_OrNewer,
  kWinServer2003_OrNewer,
  kWinServer2003r2_OrNewer,
  kWinServer2008_OrNewer,
  kWinServer2008r2_OrNewer,
  kWinServer2012_OrNewer,
  kWinServer2012r2_OrNewer,
  kWinServer2012r2u1_OrNewer,
  kWinServer2016_OrNewer,
  // Boot mode.
  kWinMode_Normal,
  kWinMode_Safe,
  kWinMode_SafeNet,
};
inline constexpr int kWinFlagCount = static_cast<int>(WinFlag::kWinMode_SafeNet) + 1;
using WinFlags = std::bitset<kWinFlagCount>;

// The fact's name ("Win81u1_OrNewer"); never empty for a flag of the enumeration.
std::u16string_view WinFlagName(WinFlag flag);
// The flag of that name (exact spelling); nullopt for any other text.
std::optional<WinFlag> WinFlagByName(std::u16string_view name);
// The fact of `env` that holds the flag.
bool& EnvFlag(AppEnv& env, WinFlag flag);
// The flags that are true in `env`.
WinFlags EnvFlags(const AppEnv& env);
// Sets `flags` to true in `env`; the others keep their value.
void SetEnvFlags(AppEnv& env, const WinFlags& flags);
// The names of the set flags, in enumeration order, joined by ", " ("" when none).
std::u16string DescribeFlags(const WinFlags& flags);

// Product types of the version record (published meaning).
inline constexpr int kVerNtWorkstation = 1;
inline constexpr int kVerNtDomainController = 2;
inline constexpr int kVerNtServer = 3;
// Suite-mask bit of Windows Home Server.
inline constexpr int kVerSuiteWHServer = 0x8000;
// System metrics read by the detection (besides SM_CLEANBOOT, SM_TABLETPC, SM_MEDIACENTER,
// SM_STARTER and SM_SERVERR2 of platform/types.h).
inline constexpr int kSM_DEBUG = 22;
inline constexpr int kSM_DBCSENABLED = 42;

// The build number as the facts keep it: its low 16 bits read as a signed 16-bit number.
std::int32_t BuildNumber16(std::uint32_t build_number);

// The release name of a refused Windows ("Windows 9x" for any platform other than NT,
// "Windows NT 4.x" for major version 4); nullopt for a supported one.
std::optional<std::u16string_view> RefusedRelease(std::uint32_t platform_id, std::uint32_t major);

// Platform-type flags of a product type (1, 2 or 3; none for other values).
WinFlags PlatformFlags(int product_type);

// Whether "BuildLabEx" tells of Update 1 of Windows 8.1 / Server 2012 R2: its second "."
// field is a number of 17031 or more. Empty text, a missing field or one that is no number:
// false.
bool HasUpdate1(std::u16string_view build_lab_ex);
// The number in the second "." field of "BuildLabEx" (blanks around it allowed); nullopt when
// there is no such field or it is no whole number within 32 bits.
std::optional<std::int64_t> BuildLabExSecondField(std::u16string_view build_lab_ex);
// Only version 6.3 asks for "BuildLabEx".
bool NeedsUpdate1Check(std::uint32_t major, std::uint32_t minor);

// The release decided from major (M), minor (m), product type (P), suite mask (S), the
// SM_SERVERR2 metric and Update 1: the release name (empty when the release has none) and its
// release, Win64bit (XP x64 only) and minimum flags.
struct ReleaseDecision {
  std::u16string name;
  WinFlags flags;
};
ReleaseDecision DecideRelease(std::uint32_t major, std::uint32_t minor, int product_type,
                              int suite_mask, int sm_serverr2, bool update1);

// The edition text of a GetProductInfo number; nullopt for a number the program does not know.
std::optional<std::u16string_view> ProductSKUText(std::uint32_t product);

// The edition of Vista and later from the product number. `wmi_answer`/`wmi_sku` are what
// WMI_GetWinSKU gave for a number that is not in the table (its answer text and the number it
// wrote back, -1 when it wrote none); they are not looked at for a known number.
struct EditionDecision {
  std::u16string text;
  WinFlags flags;
};
EditionDecision DecideProductEdition(std::uint32_t product, std::u16string_view wmi_answer,
                                     std::int32_t wmi_sku);

// The edition of Windows 2000 to Server 2003 from the product type, the system metrics and
// prodspec.ini ("Product" of [Product Specification]; nullopt when the file does not exist).
// `ehtray_exists`: "ehome\ehtray.exe" exists in the Windows folder (only asked for a
// "professional" product). The build kind (" (Debug Build)", " (DBCS)"...) is appended.
struct LegacyEditionInput {
  int product_type = 0;
  int sm_serverr2 = 0;
  int sm_tabletpc = 0;
  int sm_mediacenter = 0;
  int sm_starter = 0;
  int sm_debug = 0;
  int sm_dbcsenabled = 0;
  std::optional<std::u16string> prodspec_product;
  bool ehtray_exists = false;
};
EditionDecision DecideLegacyEdition(const LegacyEditionInput& in);
// Whether the legacy rules read prodspec.ini for this product type and these metrics.
bool NeedsProdSpec(const LegacyEditionInput& in);
// Whether a prodspec.ini product text makes the rules ask for ehtray.exe.
bool NeedsEhtray(std::u16string_view prodspec_product);

// Exactly one boot-mode flag from SM_CLEANBOOT: 0 normal, 1 Safe Mode, 2 Safe Mode with
// networking; any other value leaves all three false.
WinFlags BootModeFlags(int clean_boot);

// One line naming the detected Windows for the debug log: the release and edition text, the
// version numbers, the release flag(s) and the boot mode, e.g.
// "Windows 10 [Pro] | 10.0.19045 | release flag: Win10 | boot mode: WinMode_Normal".
std::u16string DescribeWinVersion(const AppEnv& env);

}  // namespace winver
}  // namespace kes
