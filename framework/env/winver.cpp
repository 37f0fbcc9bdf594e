#include "framework/env/winver.h"

#include <algorithm>
#include <string>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/env/startup_helpers.h"
#include "framework/env/winver_tables.h"
#include "framework/env/wmi.h"
#include "framework/fs/files.h"
#include "framework/fs/ini.h"
#include "framework/registry/access.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace winver {
namespace {

using F = WinFlag;

struct FlagInfo {
  WinFlag flag;
  std::u16string_view name;
  bool AppEnv::*member;
};

constexpr FlagInfo kFlags[] = {
    {F::kWinType_Workstation, u"WinType_Workstation", &AppEnv::WinType_Workstation},
    {F::kWinType_Server, u"WinType_Server", &AppEnv::WinType_Server},
    {F::kWinType_DomainController, u"WinType_DomainController", &AppEnv::WinType_DomainController},
    {F::kWinBuild_Debug, u"WinBuild_Debug", &AppEnv::WinBuild_Debug},
    {F::kWinBuild_DBCS, u"WinBuild_DBCS", &AppEnv::WinBuild_DBCS},
    {F::kWin64bit, u"Win64bit", &AppEnv::Win64bit},
    {F::kWin2000, u"Win2000", &AppEnv::Win2000},
    {F::kWinXP, u"WinXP", &AppEnv::WinXP},
    {F::kWinXP64, u"WinXP64", &AppEnv::WinXP64},
    {F::kWinVista, u"WinVista", &AppEnv::WinVista},
    {F::kWin7, u"Win7", &AppEnv::Win7},
    {F::kWin8, u"Win8", &AppEnv::Win8},
    {F::kWin81, u"Win81", &AppEnv::Win81},
    {F::kWin81u1, u"Win81u1", &AppEnv::Win81u1},
    {F::kWin10, u"Win10", &AppEnv::Win10},
    {F::kWinServer2000, u"WinServer2000", &AppEnv::WinServer2000},
    {F::kWinServer2003, u"WinServer2003", &AppEnv::WinServer2003},
    {F::kWinServer2003r2, u"WinServer2003r2", &AppEnv::WinServer2003r2},
    {F::kWinServer2008, u"WinServer2008", &AppEnv::WinServer2008},
    {F::kWinServer2008r2, u"WinServer2008r2", &AppEnv::WinServer2008r2},
    {F::kWinServer2012, u"WinServer2012", &AppEnv::WinServer2012},
    {F::kWinServer2012r2, u"WinServer2012r2", &AppEnv::WinServer2012r2},
    {F::kWinServer2012r2u1, u"WinServer2012r2u1", &AppEnv::WinServer2012r2u1},
    {F::kWinServer2016, u"WinServer2016", &AppEnv::WinServer2016},
    {F::kWinHomeServer, u"WinHomeServer", &AppEnv::WinHomeServer},
    {F::kWinHomeServer2011, u"WinHomeServer2011", &AppEnv::WinHomeServer2011},
    {F::kWinHomeServer_Any, u"WinHomeServer_Any", &AppEnv::WinHomeServer_Any},
    {F::kWinEdition_MediaCenter, u"WinEdition_MediaCenter", &AppEnv::WinEdition_MediaCenter},
    {F::kWinEdition_Starter, u"WinEdition_Starter", &AppEnv::WinEdition_Starter},
    {F::kWinEdition_TabletPC, u"WinEdition_TabletPC", &AppEnv::WinEdition_TabletPC},
    {F::kWin2000_OrNewer, u"Win2000_OrNewer", &AppEnv::Win2000_OrNewer},
    {F::kWinXP_OrNewer, u"WinXP_OrNewer", &AppEnv::WinXP_OrNewer},
    {F::kWinVista_OrNewer, u"WinVista_OrNewer", &AppEnv::WinVista_OrNewer},
    {F::kWin7_OrNewer, u"Win7_OrNewer", &AppEnv::Win7_OrNewer},
    {F::kWin8_OrNewer, u"Win8_OrNewer", &AppEnv::Win8_OrNewer},
    {F::kWin81_OrNewer, u"Win81_OrNewer", &AppEnv::Win81_OrNewer},
    {F::kWin81u1_OrNewer, u"Win81u1_OrNewer", &AppEnv::Win81u1_OrNewer},
    {F::kWin10_OrNewer, u"Win10_OrNewer", &AppEnv::Win10_OrNewer},
    {F::kWinServer2000_OrNewer, u"WinServer2000_OrNewer", &AppEnv::WinServer2000_OrNewer},
    {F::kWinServer2003_OrNewer, u"WinServer2003_OrNewer", &AppEnv::WinServer2003_OrNewer},
    {F::kWinServer2003r2_OrNewer, u"WinServer2003r2_OrNewer", &AppEnv::WinServer2003r2_OrNewer},
    {F::kWinServer2008_OrNewer, u"WinServer2008_OrNewer", &AppEnv::WinServer2008_OrNewer},
    {F::kWinServer2008r2_OrNewer, u"WinServer2008r2_OrNewer", &AppEnv::WinServer2008r2_OrNewer},
    {F::kWinServer2012_OrNewer, u"WinServer2012_OrNewer", &AppEnv::WinServer2012_OrNewer},
    {F::kWinServer2012r2_OrNewer, u"WinServer2012r2_OrNewer", &AppEnv::WinServer2012r2_OrNewer},
    {F::kWinServer2012r2u1_OrNewer, u"WinServer2012r2u1_OrNewer",
     &AppEnv::WinServer2012r2u1_OrNewer},
    {F::kWinServer2016_OrNewer, u"WinServer2016_OrNewer", &AppEnv::WinServer2016_OrNewer},
    {F::kWinMode_Normal, u"WinMode_Normal", &AppEnv::WinMode_Normal},
    {F::kWinMode_Safe, u"WinMode_Safe", &AppEnv::WinMode_Safe},
    {F::kWinMode_SafeNet, u"WinMode_SafeNet", &AppEnv::WinMode_SafeNet},
};
static_assert(std::size(kFlags) == kWinFlagCount);

constexpr bool FlagTableInOrder() {
  for (int i = 0; i < kWinFlagCount; ++i)
    if (static_cast<int>(kFlags[i].flag) != i) return false;
  return true;
}
static_assert(FlagTableInOrder(), "kFlags must list the flags in enumeration order");

constexpr std::size_t Index(WinFlag f) {
  return static_cast<std::size_t>(f);
}

// The specific-release flags, for the one-line description.
constexpr WinFlag kReleaseFlags[] = {
    F::kWin2000,
    F::kWinXP,
    F::kWinXP64,
    F::kWinVista,
    F::kWin7,
    F::kWin8,
    F::kWin81,
    F::kWin81u1,
    F::kWin10,
    F::kWinServer2000,
    F::kWinServer2003,
    F::kWinServer2003r2,
    F::kWinServer2008,
    F::kWinServer2008r2,
    F::kWinServer2012,
    F::kWinServer2012r2,
    F::kWinServer2012r2u1,
    F::kWinServer2016,
    F::kWinHomeServer,
    F::kWinHomeServer2011,
    F::kWinHomeServer_Any,
};

bool RowApplies(const ReleaseRow& row, int product_type, int suite_mask, int sm_serverr2,
                bool update1) {
  switch (row.condition) {
    case ReleaseCondition::kAlways:
      return true;
    case ReleaseCondition::kWorkstation:
      return product_type == kVerNtWorkstation;
    case ReleaseCondition::kDomainController:
      return product_type == kVerNtDomainController;
    case ReleaseCondition::kHomeServerSuite:
      return (suite_mask & kVerSuiteWHServer) != 0;
    case ReleaseCondition::kNoServerR2:
      return sm_serverr2 == 0;
    case ReleaseCondition::kWorkstationUpdate1:
      return product_type == kVerNtWorkstation && update1;
    case ReleaseCondition::kUpdate1:
      return update1;
  }
  return false;
}

// A whole number in decimal, blanks around it allowed, as the run time converts a text; nullopt
// for anything else or a value outside 32 bits.
std::optional<std::int64_t> ParseLong(std::u16string_view text) {
  const std::u16string t = Trim(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  if (i == t.size()) return std::nullopt;
  std::int64_t n = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return std::nullopt;
    n = n * 10 + (t[i] - u'0');
    if (n > 0x80000000LL) return std::nullopt;
  }
  n = negative ? -n : n;
  if (n > 0x7FFFFFFFLL) return std::nullopt;
  return n;
}

}  // namespace

std::u16string_view WinFlagName(WinFlag flag) {
  return kFlags[Index(flag)].name;
}

std::optional<WinFlag> WinFlagByName(std::u16string_view name) {
  for (const FlagInfo& f : kFlags)
    if (f.name == name) return f.flag;
  return std::nullopt;
}

bool& EnvFlag(AppEnv& env, WinFlag flag) {
  return env.*(kFlags[Index(flag)].member);
}

WinFlags EnvFlags(const AppEnv& env) {
  WinFlags out;
  for (const FlagInfo& f : kFlags)
    if (env.*(f.member)) out.set(Index(f.flag));
  return out;
}

void SetEnvFlags(AppEnv& env, const WinFlags& flags) {
  for (const FlagInfo& f : kFlags)
    if (flags.test(Index(f.flag))) env.*(f.member) = true;
}

std::u16string DescribeFlags(const WinFlags& flags) {
  std::u16string out;
  for (const FlagInfo& f : kFlags) {
    if (!flags.test(Index(f.flag))) continue;
    if (!out.empty()) out += u", ";
    out += f.name;
  }
  return out;
}

std::int32_t BuildNumber16(std::uint32_t build_number) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(build_number & 0xFFFFu));
}

std::optional<std::u16string_view> RefusedRelease(std::uint32_t platform_id, std::uint32_t major) {
  constexpr std::uint32_t kVER_PLATFORM_WIN32_NT = 2;
  if (platform_id != kVER_PLATFORM_WIN32_NT) return u"Windows 9x";
  if (major == 4) return u"Windows NT 4.x";
  return std::nullopt;
}

WinFlags PlatformFlags(int product_type) {
  WinFlags f;
  switch (product_type) {
    case kVerNtWorkstation:
      f.set(Index(F::kWinType_Workstation));
      break;
    case kVerNtDomainController:
      f.set(Index(F::kWinType_Server));
      f.set(Index(F::kWinType_DomainController));
      break;
    case kVerNtServer:
      f.set(Index(F::kWinType_Server));
      break;
    default:
      break;
  }
  return f;
}

std::optional<std::int64_t> BuildLabExSecondField(std::u16string_view build_lab_ex) {
  const std::size_t first = build_lab_ex.find(u'.');
  if (first == std::u16string_view::npos) return std::nullopt;
  std::u16string_view second = build_lab_ex.substr(first + 1);
  second = second.substr(0, second.find(u'.'));
  return ParseLong(second);
}

bool HasUpdate1(std::u16string_view build_lab_ex) {
  constexpr std::int64_t kUpdate1Build = 17031;
  const auto n = BuildLabExSecondField(build_lab_ex);
  return n && *n >= kUpdate1Build;
}

bool NeedsUpdate1Check(std::uint32_t major, std::uint32_t minor) {
  return major == 6 && minor == 3;
}

ReleaseDecision DecideRelease(std::uint32_t major, std::uint32_t minor, int product_type,
                              int suite_mask, int sm_serverr2, bool update1) {
  ReleaseDecision d;
  for (const ReleaseRow& row : ReleaseTable()) {
    if (row.major != major || (row.minor >= 0 && static_cast<std::uint32_t>(row.minor) != minor))
      continue;
    if (!RowApplies(row, product_type, suite_mask, sm_serverr2, update1)) continue;
    d.name = std::u16string(row.name);
    d.flags.set(Index(row.release));
    if (row.also) d.flags.set(Index(*row.also));
    const auto client = ClientMinimumOrder();
    const auto server = ServerMinimumOrder();
    for (int i = 0; i < row.client_minimums; ++i) d.flags.set(Index(client[i]));
    for (int i = 0; i < row.server_minimums; ++i) d.flags.set(Index(server[i]));
    return d;
  }
  // Versions the table does not name (5.3 and up, 6.4 and up, 7 to 9, 11 and up...): none.
  return d;
}

std::optional<std::u16string_view> ProductSKUText(std::uint32_t product) {
  const auto table = ProductTable();
  const auto it =
      std::lower_bound(table.begin(), table.end(), product,
                       [](const ProductRow& row, std::uint32_t n) { return row.number < n; });
  if (it == table.end() || it->number != product) return std::nullopt;
  return it->text;
}

EditionDecision DecideProductEdition(std::uint32_t product, std::u16string_view wmi_answer,
                                     std::int32_t wmi_sku) {
  EditionDecision d;
  if (const auto text = ProductSKUText(product)) {
    d.text = std::u16string(*text);
    if (product == 0x0B || product == 0x2F || product == 0x42)
      d.flags.set(Index(F::kWinEdition_Starter));
    if (product == 0x67) d.flags.set(Index(F::kWinEdition_MediaCenter));
    return d;
  }
  const std::u16string undefined = u"Undefined (SKU Bit " + Dec(product) + u")";
  if (wmi_answer.empty()) {
    d.text = undefined;
  } else if (FindNoCase(wmi_answer, u"SKU Bit") != std::u16string_view::npos) {
    // WMI does not know the number either; name both numbers when they disagree.
    d.text = undefined;
    if (wmi_sku != -1 && static_cast<std::int64_t>(wmi_sku) != static_cast<std::int64_t>(product))
      d.text = u"Undefined (API SKU Bit " + Dec(product) + u" / WMI SKU bit " + Dec(wmi_sku) + u")";
  } else {
    d.text = std::u16string(wmi_answer);
  }
  return d;
}

bool NeedsProdSpec(const LegacyEditionInput& in) {
  return in.product_type != kVerNtDomainController && in.sm_tabletpc == 0 &&
         in.sm_mediacenter == 0 && in.sm_starter == 0;
}

bool NeedsEhtray(std::u16string_view prodspec_product) {
  return FindNoCase(prodspec_product, u"professional") != std::u16string_view::npos;
}

EditionDecision DecideLegacyEdition(const LegacyEditionInput& in) {
  EditionDecision d;
  if (in.product_type == kVerNtDomainController) {
    // Only domain controllers take the R2 test; plain servers go through the tests below.
    if (in.sm_serverr2 != 0) d.text = u"Windows Server 2003 R2";
  } else if (in.sm_tabletpc != 0) {
    d.text = u"Tablet PC Edition";
    d.flags.set(Index(F::kWinEdition_TabletPC));
  } else if (in.sm_mediacenter != 0) {
    d.text = u"Media Center Edition";
    d.flags.set(Index(F::kWinEdition_MediaCenter));
  } else if (in.sm_starter != 0) {
    d.text = u"Starter Edition";
    d.flags.set(Index(F::kWinEdition_Starter));
  } else if (!in.prodspec_product) {
    d.text = u"Undefined Edition";
  } else {
    // Later matches overwrite earlier ones: a "Professional" product name wins over "Home".
    const std::u16string_view product = *in.prodspec_product;
    if (FindNoCase(product, u"home") != std::u16string_view::npos) d.text = u"Home Edition";
    if (FindNoCase(product, u"media") != std::u16string_view::npos)
      d.text = u"Media Center Edition";
    if (NeedsEhtray(product)) d.text = in.ehtray_exists ? u"Media Center Edition" : u"Professional";
  }
  if (in.sm_debug != 0) {
    d.flags.set(Index(F::kWinBuild_Debug));
    if (in.sm_dbcsenabled != 0) {
      d.text += u" (DBCS Debug Build)";
      d.flags.set(Index(F::kWinBuild_DBCS));
    } else {
      d.text += u" (Debug Build)";
    }
  } else if (in.sm_dbcsenabled != 0) {
    d.text += u" (DBCS)";
    d.flags.set(Index(F::kWinBuild_DBCS));
  }
  return d;
}

WinFlags BootModeFlags(int clean_boot) {
  WinFlags f;
  switch (clean_boot) {
    case 0:
      f.set(Index(F::kWinMode_Normal));
      break;
    case 1:
      f.set(Index(F::kWinMode_Safe));
      break;
    case 2:
      f.set(Index(F::kWinMode_SafeNet));
      break;
    default:
      break;
  }
  return f;
}

std::u16string DescribeWinVersion(const AppEnv& env) {
  const WinFlags flags = EnvFlags(env);
  WinFlags release;
  for (WinFlag f : kReleaseFlags)
    if (flags.test(Index(f))) release.set(Index(f));
  WinFlags boot = flags & BootModeFlags(0);
  boot |= flags & BootModeFlags(1);
  boot |= flags & BootModeFlags(2);
  const std::u16string release_text = release.none() ? u"none" : DescribeFlags(release);
  const std::u16string boot_text = boot.none() ? u"unknown" : DescribeFlags(boot);
  return env.WinVer_StringWithSKU + u" | " + Dec(env.WinVer_MajorVersion) + u"." +
         Dec(env.WinVer_MinorVersion) + u"." + Dec(env.WinVer_BuildNumber) + u" | release flag: " +
         release_text + u" | boot mode: " + boot_text;
}

}  // namespace winver

namespace {

using debug::Kind;
using debug::Proc;
using winver::WinFlag;

constexpr std::u16string_view kModule = u"App_Common";
constexpr std::u16string_view kCurrentVersionKey =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr std::u16string_view kRefusedMessage =
    u"Win9x/NT 4.x not supported, app will now terminate!";

// ANSI text of the fallback record in the machine's code page, up to its first NUL.
std::u16string FromAnsi(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.empty()) return {};
  std::u16string out(bytes.size(), u'\0');
  const int n = OS().sys.MultiByteToWideChar(0, 0, bytes.data(), static_cast<int>(bytes.size()),
                                             out.data(), static_cast<int>(out.size()));
  if (n <= 0) {
    // A page that cannot convert it leaves the bytes as they are (service-pack texts are ASCII).
    for (std::size_t i = 0; i < bytes.size(); ++i)
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return out;
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The version record from RtlGetVersion, else from GetVersionExA; zeroed when both fail (which
// then reads as an unsupported platform).
platform::OSVERSIONINFOEXW ReadVersionRecord(const Proc& p) {
  platform::OSVERSIONINFOEXW rec;
  const platform::LONG status = OS().sys.RtlGetVersion(&rec);
  if (status == 0) return rec;
  p.LogAPI(u"RtlGetVersion Failure!", u"lStatus=&H" + Hex(static_cast<std::uint32_t>(status)));
  rec = {};
  platform::OSVERSIONINFOEXA a;
  a.dwOSVersionInfoSize = 156;
  if (!OS().sys.GetVersionExA(&a)) {
    p.LogAPI(u"GetVersionExA");
    return rec;
  }
  rec.dwMajorVersion = a.dwMajorVersion;
  rec.dwMinorVersion = a.dwMinorVersion;
  rec.dwBuildNumber = a.dwBuildNumber;
  rec.dwPlatformId = a.dwPlatformId;
  rec.szCSDVersion = FromAnsi(a.szCSDVersion);
  rec.wServicePackMajor = a.wServicePackMajor;
  rec.wServicePackMinor = a.wServicePackMinor;
  rec.wSuiteMask = a.wSuiteMask;
  rec.wProductType = a.wProductType;
  rec.wReserved = a.wReserved;
  return rec;
}

// Ends the program on a Windows it does not support: the message (a box unless the framework
// shows none), then the end of the process without the clean-up. Does not return.
void RefuseWindows(const Proc& p, AppEnv& env, std::u16string_view release) {
  env.WinVer_String = std::u16string(release);
  p.Log(kRefusedMessage, debug::Event_Normal, u"sWinVer=" + std::u16string(release));
  if (!NeverLoadForms()) {
    // The title facts come later in start-up; the title itself is known already.
    const std::u16string title = env.AppTitle.empty()
                                     ? GetWindowTitle({.no_version = true, .pretty_version = true})
                                     : env.AppTitle;
    OS().ui.MessageBoxW(0, std::u16string(kRefusedMessage).c_str(), title.c_str(),
                        platform::kMB_OK);
  }
  // ERROR_OLD_WIN_VERSION: a script can tell this machine from a failure of the program.
  TerminateApp(1150, true);
}

void StoreVersionData(AppEnv& env, const platform::OSVERSIONINFOEXW& rec) {
  env.WinVer_MajorVersion = static_cast<std::int32_t>(rec.dwMajorVersion);
  env.WinVer_MinorVersion = static_cast<std::int32_t>(rec.dwMinorVersion);
  env.WinVer_BuildNumber = winver::BuildNumber16(rec.dwBuildNumber);
  env.WinVer_PlatformId = static_cast<std::int32_t>(rec.dwPlatformId);
  std::u16string csd = rec.szCSDVersion;
  env.WinVer_CSDVersion = TrimNull(csd);
  // 16-bit facts are signed 16-bit numbers (a Home Server suite mask reads negative);
  // the 8-bit ones are unsigned bytes.
  env.WinVer_ServicePackMajor = static_cast<std::int16_t>(rec.wServicePackMajor);
  env.WinVer_ServicePackMinor = static_cast<std::int16_t>(rec.wServicePackMinor);
  env.WinVer_SuiteMask = static_cast<std::int16_t>(rec.wSuiteMask);
  env.WinVer_ProductType = rec.wProductType;
  env.WinVer_Reserved = rec.wReserved;
}

// "BuildLabEx" of the 64-bit view (the one Windows keeps it in); "" when it cannot be read.
std::u16string ReadBuildLabEx() {
  Value v;
  RegReadValue(platform::kHKEY_LOCAL_MACHINE, kCurrentVersionKey, u"BuildLabEx", platform::kREG_SZ,
               Value(std::u16string()), v);
  const auto* text = v.get_if<std::u16string>();
  return text ? *text : std::u16string();
}

// The edition of Vista and later: GetProductInfo's number, named by the table or else by WMI.
winver::EditionDecision ProductEdition(const Proc& p, const platform::OSVERSIONINFOEXW& rec) {
  platform::DWORD product = 0;
  if (!OS().sys.GetProductInfo(rec.dwMajorVersion, rec.dwMinorVersion, rec.wServicePackMajor,
                               rec.wServicePackMinor, &product)) {
    p.LogAPI(u"GetProductInfo");
    return {};
  }
  p.Created({u"lProductSKU", product});
  std::u16string wmi_answer;
  std::int32_t wmi_sku = -1;
  if (!winver::ProductSKUText(product)) {
    p.Log(u"Undefined GetProductInfo return value!", debug::Event_Normal,
          u"lProductSKU=" + Dec(product));
    wmi_answer = WMI_GetWinSKU(wmi_sku);
  }
  return winver::DecideProductEdition(product, wmi_answer, wmi_sku);
}

// The edition of Windows 2000 to Server 2003: system metrics, then prodspec.ini, which these
// releases keep in System32 (an older copy may sit in the Windows folder); the build kind is
// appended.
winver::EditionDecision LegacyEdition(const Proc& p, const AppEnv& env, int product_type) {
  auto metric = [](int index) { return OS().sys.GetSystemMetrics(index); };
  winver::LegacyEditionInput in;
  in.product_type = product_type;
  if (product_type == winver::kVerNtDomainController) {
    in.sm_serverr2 = metric(platform::kSM_SERVERR2);
  } else {
    in.sm_tabletpc = metric(platform::kSM_TABLETPC);
    in.sm_mediacenter = metric(platform::kSM_MEDIACENTER);
    in.sm_starter = metric(platform::kSM_STARTER);
  }
  if (winver::NeedsProdSpec(in)) {
    std::u16string found;
    for (const std::u16string& folder : {env.DirBS_System32, env.DirBS_Windows}) {
      if (found.empty() && !folder.empty() && FileExist(folder + u"prodspec.ini"))
        found = folder + u"prodspec.ini";
    }
    if (!found.empty()) {
      in.prodspec_product = ReadINI(found, u"Product Specification", u"Product");
      if (winver::NeedsEhtray(*in.prodspec_product))
        in.ehtray_exists = FileExist(env.DirBS_Windows + u"ehome\\ehtray.exe");
    } else {
      p.Log(
          u"Undefined Edition; prodspec.ini not found!", debug::Event_Normal,
          u"sFile=" + env.DirBS_System32 + u"prodspec.ini, " + env.DirBS_Windows + u"prodspec.ini");
    }
  }
  in.sm_debug = metric(winver::kSM_DEBUG);
  in.sm_dbcsenabled = metric(winver::kSM_DBCSENABLED);
  return winver::DecideLegacyEdition(in);
}

}  // namespace

void SetupEnvOSVersionDetails() {
  Proc p(kModule, u"SetupEnvOSVersionDetails", Kind::Sub);
  if (!Ctx().env) {
    p.Log(u"The environment object does not exist; no Windows facts set.");
    return;
  }
  AppEnv& env = *Ctx().env;

  // 1. The version record.
  platform::OSVERSIONINFOEXW rec;
  p.Step([&] { rec = ReadVersionRecord(p); }, u"version record");

  // 2. Windows 9x and NT 4 end the program here.
  if (const auto refused = winver::RefusedRelease(rec.dwPlatformId, rec.dwMajorVersion))
    RefuseWindows(p, env, *refused);

  // 3. and 4. Version data and platform type.
  p.Step([&] { StoreVersionData(env, rec); }, u"version data");
  p.Step([&] { winver::SetEnvFlags(env, winver::PlatformFlags(rec.wProductType)); },
         u"platform type");

  // 5. The release. XP x64 also sets Win64bit here; start-up decides it again later.
  winver::ReleaseDecision release;
  p.Step(
      [&] {
        bool update1 = false;
        std::u16string build_lab_ex;
        if (winver::NeedsUpdate1Check(rec.dwMajorVersion, rec.dwMinorVersion)) {
          build_lab_ex = ReadBuildLabEx();
          update1 = winver::HasUpdate1(build_lab_ex);
          if (!build_lab_ex.empty() && !winver::BuildLabExSecondField(build_lab_ex))
            p.Log(u"BuildLabEx has no build number in its second field; taken as no Update 1.",
                  debug::Event_Normal, u"sBuildLabEx=" + build_lab_ex);
          p.Created({u"sBuildLabEx", build_lab_ex, u"bUpdate1", update1});
        }
        const int serverr2 = rec.dwMajorVersion == 5 && rec.dwMinorVersion == 2
                                 ? OS().sys.GetSystemMetrics(platform::kSM_SERVERR2)
                                 : 0;
        release = winver::DecideRelease(rec.dwMajorVersion, rec.dwMinorVersion, rec.wProductType,
                                        rec.wSuiteMask, serverr2, update1);
        winver::SetEnvFlags(env, release.flags);
      },
      u"release");

  // 6. The edition (WMI_GetWinSKU reads the minimum flags just stored).
  winver::EditionDecision edition;
  p.Step(
      [&] {
        edition = rec.dwMajorVersion >= 6 ? ProductEdition(p, rec)
                                          : LegacyEdition(p, env, rec.wProductType);
        winver::SetEnvFlags(env, edition.flags);
      },
      u"edition");

  // 7. The texts.
  p.Step(
      [&] {
        env.WinVer_String = release.name;
        env.WinVer_String_ProductSKU = edition.text;
        env.WinVer_StringWithSKU = release.name + u" [" + edition.text + u"]";
      },
      u"texts");

  // 8. The boot mode: exactly one of the three.
  p.Step(
      [&] {
        env.WinMode_Normal = false;
        env.WinMode_Safe = false;
        env.WinMode_SafeNet = false;
        winver::SetEnvFlags(
            env, winver::BootModeFlags(OS().sys.GetSystemMetrics(platform::kSM_CLEANBOOT)));
      },
      u"boot mode");

  p.Created({u"WinVer_StringWithSKU", env.WinVer_StringWithSKU, u"WinVer_BuildNumber",
             env.WinVer_BuildNumber, u"sFlags", winver::DescribeFlags(winver::EnvFlags(env))});
}

}  // namespace kes
