#include "platform/sim/version_profiles.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/file_system.h"
#include "platform/sim/registry_store.h"

namespace kes::sim {
namespace {

using platform::kHKEY_LOCAL_MACHINE;

// Suite masks as the releases report them.
constexpr platform::WORD kSuiteTerminal = 0x0010;
constexpr platform::WORD kSuitePersonal = 0x0200;
constexpr platform::WORD kSuiteSingleUserTS = 0x0100;
constexpr platform::WORD kSuiteWHServer = 0x8000;
constexpr platform::WORD kServerSuite = kSuiteTerminal | kSuiteSingleUserTS;

// Build numbers of Windows 9x carry major and minor in their high word.
constexpr DWORD NineX(DWORD major, DWORD minor, DWORD build) {
  return major << 24 | minor << 16 | build;
}

constexpr std::u16string_view kLab81 = u"9600.16384.amd64fre.winblue_rtm.130821-1623";
constexpr std::u16string_view kLab81u1 = u"9600.17031.amd64fre.winblue_gdr.140221-1952";

// Columns: id, ProductName, major, minor, build, platform, CSD, SP major, SP minor, suite,
// product type, 64-bit, GetProductInfo, WMI SKU, BuildLabEx, edition metrics, prodspec.ini.
constexpr VersionProfile kProfiles[] = {
    {"win95", u"Windows 95", 4, 0, NineX(4, 0, 950), 1, u"", 0, 0, 0, 0},
    {"win98", u"Windows 98", 4, 10, NineX(4, 10, 2222), 1, u" A ", 0, 0, 0, 0},
    {"winme", u"Windows Millennium Edition", 4, 90, NineX(4, 90, 3000), 1, u" ", 0, 0, 0, 0},
    {"nt4", u"Windows NT Workstation 4.0", 4, 0, 1381, 2, u"Service Pack 6", 6, 0, 0, 1},
    {"win2000",
     u"Microsoft Windows 2000",
     5,
     0,
     2195,
     2,
     u"Service Pack 4",
     4,
     0,
     0,
     1,
     false,
     0,
     0,
     u"",
     {},
     u"Windows 2000 Professional"},
    {"server2000",
     u"Microsoft Windows 2000",
     5,
     0,
     2195,
     2,
     u"Service Pack 4",
     4,
     0,
     kSuiteTerminal,
     3,
     false,
     0,
     0,
     u"",
     {},
     u"Windows 2000 Server"},
    {"xp-sp3",
     u"Microsoft Windows XP",
     5,
     1,
     2600,
     2,
     u"Service Pack 3",
     3,
     0,
     kSuiteSingleUserTS,
     1,
     false,
     0,
     0,
     u"",
     {},
     u"Windows XP Professional"},
    {"xp-mce",
     u"Microsoft Windows XP",
     5,
     1,
     2600,
     2,
     u"Service Pack 3",
     3,
     0,
     kSuiteSingleUserTS,
     1,
     false,
     0,
     0,
     u"",
     {0, 0, 1, 0},
     u"Windows XP Professional"},
    {"xp-x64",
     u"Microsoft Windows XP",
     5,
     2,
     3790,
     2,
     u"Service Pack 2",
     2,
     0,
     kSuiteSingleUserTS,
     1,
     true,
     0,
     0,
     u"",
     {},
     u"Windows XP Professional x64 Edition"},
    {"server2003",
     u"Microsoft Windows Server 2003",
     5,
     2,
     3790,
     2,
     u"Service Pack 2",
     2,
     0,
     kServerSuite,
     3,
     false,
     0,
     0,
     u"",
     {},
     u"Windows Server 2003, Standard Edition"},
    {"server2003r2",
     u"Microsoft Windows Server 2003 R2",
     5,
     2,
     3790,
     2,
     u"Service Pack 2",
     2,
     0,
     kServerSuite,
     3,
     false,
     0,
     0,
     u"",
     {1, 0, 0, 0},
     u"Windows Server 2003, Standard Edition"},
    {"homeserver",
     u"Microsoft Windows Home Server",
     5,
     2,
     3790,
     2,
     u"Service Pack 2",
     2,
     0,
     kServerSuite | kSuiteWHServer,
     3,
     false,
     0,
     0,
     u"",
     {},
     u"Windows Home Server"},
    {"vista", u"Windows Vista (TM) Ultimate", 6, 0, 6002, 2, u"Service Pack 2", 2, 0,
     kSuiteSingleUserTS, 1, false, 0x01, 1},
    {"server2008", u"Windows Server (R) 2008 Standard", 6, 0, 6002, 2, u"Service Pack 2", 2, 0,
     kServerSuite, 3, true, 0x07, 7},
    {"server2008-dc", u"Windows Server (R) 2008 Enterprise", 6, 0, 6002, 2, u"Service Pack 2", 2, 0,
     kServerSuite | 0x0002, 2, true, 0x0A, 10},
    {"win7", u"Windows 7 Professional", 6, 1, 7601, 2, u"Service Pack 1", 1, 0, kSuiteSingleUserTS,
     1, true, 0x30, 48},
    {"server2008r2", u"Windows Server 2008 R2 Standard", 6, 1, 7601, 2, u"Service Pack 1", 1, 0,
     kServerSuite, 3, true, 0x07, 7},
    {"homeserver2011", u"Windows Home Server 2011", 6, 1, 7601, 2, u"Service Pack 1", 1, 0,
     kServerSuite | kSuiteWHServer, 3, true, 0x22, 34},
    {"win8", u"Windows 8", 6, 2, 9200, 2, u"", 0, 0, kSuiteSingleUserTS | kSuitePersonal, 1, true,
     0x65, 101},
    {"server2012", u"Windows Server 2012 Standard", 6, 2, 9200, 2, u"", 0, 0, kServerSuite, 3, true,
     0x07, 7},
    {"win81", u"Windows 8.1 Pro", 6, 3, 9600, 2, u"", 0, 0, kSuiteSingleUserTS, 1, true, 0x30, 48,
     kLab81},
    {"win81-u1", u"Windows 8.1 Pro", 6, 3, 9600, 2, u"", 0, 0, kSuiteSingleUserTS, 1, true, 0x30,
     48, kLab81u1},
    {"server2012r2", u"Windows Server 2012 R2 Standard", 6, 3, 9600, 2, u"", 0, 0, kServerSuite, 3,
     true, 0x07, 7, kLab81},
    {"server2012r2-u1", u"Windows Server 2012 R2 Standard", 6, 3, 9600, 2, u"", 0, 0, kServerSuite,
     3, true, 0x07, 7, kLab81u1},
    {"preview64", u"Windows Technical Preview", 6, 4, 9841, 2, u"", 0, 0, kSuiteSingleUserTS, 1,
     true, 0x30, 48, u"9841.0.amd64fre.fbl_release.140912-1613"},
    {"win10", u"Windows 10 Pro", 10, 0, 19045, 2, u"", 0, 0, kSuiteSingleUserTS, 1, true, 0x30, 48,
     u"19041.1.amd64fre.vb_release.191206-1406"},
    {"server2016", u"Windows Server 2016 Standard", 10, 0, 14393, 2, u"", 0, 0, kServerSuite, 3,
     true, 0x07, 7, u"14393.693.amd64fre.rs1_release.161220-1747"},
    // Windows 11 still reports 10.0; only its build number tells it apart.
    {"win11", u"Windows 10 Pro", 10, 0, 22631, 2, u"", 0, 0, kSuiteSingleUserTS, 1, true, 0x30, 48,
     u"22621.1.amd64fre.ni_release.220506-1250"},
    {"winpe",
     u"Windows 10 Pro",
     10,
     0,
     19041,
     2,
     u"",
     0,
     0,
     kSuiteSingleUserTS,
     1,
     true,
     0x30,
     48,
     u"19041.1.amd64fre.vb_release.191206-1406",
     {},
     u"",
     true},
};

void RemoveExport(Machine& m, const std::u16string& library, std::string_view name) {
  auto it = m.libraries.find(library);
  if (it == m.libraries.end()) return;
  auto& exports = it->second;
  exports.erase(std::remove(exports.begin(), exports.end(), std::string(name)), exports.end());
}

// Entry points by the release that brought them.
void SetExports(Machine& m, const VersionProfile& p) {
  const bool nt = p.platform_id == 2;
  const bool win2000 = nt && p.major >= 5;
  const bool xp = nt && (p.major > 5 || (p.major == 5 && p.minor >= 1));
  const bool xp_sp2 = xp && (p.major > 5 || p.minor >= 2 || p.sp_major >= 2);
  const bool vista = nt && p.major >= 6;
  // File-system redirection arrived with the 64-bit releases of 5.2 and with Vista.
  const bool wow64_redirection = vista || (nt && p.major == 5 && p.minor == 2);
  if (!win2000) RemoveExport(m, u"ntdll.dll", "RtlGetVersion");
  if (!win2000) RemoveExport(m, u"advapi32.dll", "CheckTokenMembership");
  if (!xp) RemoveExport(m, u"shell32.dll", "IsUserAnAdmin");  // by ordinal only before XP
  if (!xp_sp2) RemoveExport(m, u"kernel32.dll", "IsWow64Process");
  if (!wow64_redirection) {
    RemoveExport(m, u"kernel32.dll", "Wow64DisableWow64FsRedirection");
    RemoveExport(m, u"kernel32.dll", "Wow64RevertWow64FsRedirection");
  }
  if (!vista) {
    for (const char* name : {"GetProductInfo", "QueryFullProcessImageNameW",
                             "GetFileInformationByHandleEx", "GetTimeZoneInformationForYear"})
      RemoveExport(m, u"kernel32.dll", name);
  }
}

void SetMetric(Machine& m, int index, int value) {
  if (value != 0)
    m.facts.system_metrics[index] = value;
  else
    m.facts.system_metrics.erase(index);
}

std::u16string Number(DWORD n) {
  std::u16string s;
  do {
    s.insert(s.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n != 0);
  return s;
}

void SetString(RegistryStore& r, std::u16string_view key, std::u16string_view name,
               std::u16string_view value) {
  if (value.empty())
    r.DeleteValue(kHKEY_LOCAL_MACHINE, key, name);
  else
    r.SetString(kHKEY_LOCAL_MACHINE, key, name, std::u16string(value));
}

// The CurrentVersion values of an NT installation, in both registry views.
void SetCurrentVersionKey(Machine& m, const VersionProfile& p) {
  RegistryStore& r = m.registry();
  const DWORD build = p.build & 0xFFFF;
  for (std::u16string_view software : {u"SOFTWARE", u"SOFTWARE\\WOW6432Node"}) {
    const std::u16string key =
        std::u16string(software) + u"\\Microsoft\\Windows NT\\CurrentVersion";
    // Windows 10 keeps "6.3" here for old programs and gives its real numbers apart.
    const std::u16string current =
        p.major >= 10 ? u"6.3" : Number(p.major) + u"." + Number(p.minor);
    SetString(r, key, u"CurrentVersion", current);
    SetString(r, key, u"CurrentBuild", Number(build));
    SetString(r, key, u"CurrentBuildNumber", Number(build));
    SetString(r, key, u"ProductName", p.product_name);
    SetString(r, key, u"CSDVersion", p.csd);
    SetString(r, key, u"BuildLabEx", p.build_lab_ex);
    if (p.major >= 10) {
      r.SetDword(kHKEY_LOCAL_MACHINE, key, u"CurrentMajorVersionNumber", p.major);
      r.SetDword(kHKEY_LOCAL_MACHINE, key, u"CurrentMinorVersionNumber", p.minor);
    } else {
      r.DeleteValue(kHKEY_LOCAL_MACHINE, key, u"CurrentMajorVersionNumber");
      r.DeleteValue(kHKEY_LOCAL_MACHINE, key, u"CurrentMinorVersionNumber");
      for (const char16_t* later : {u"ReleaseId", u"DisplayVersion", u"UBR"})
        r.DeleteValue(kHKEY_LOCAL_MACHINE, key, later);
    }
    if (p.winpe) r.CreateKey(kHKEY_LOCAL_MACHINE, key + u"\\WinPE");
  }
}

// WinPE runs from its RAM drive X: and the program from a CD.
void MakeWinPE(Machine& m) {
  FileSystem& fs = m.fs();
  fs.AddDrive(u"X:", u"NTFS", DriveType::kRamDisk);
  fs.AddFolder(u"X:\\Windows\\System32");
  fs.AddDrive(u"D:", u"CDFS", DriveType::kCdRom, true);
  const std::u16string exe = u"D:\\Kestrune.exe";
  SimProcess& self = m.CurrentProcess();
  const std::u16string old_key = LowerCase(self.image);
  if (auto bytes = fs.ReadFile(self.image)) fs.AddFile(exe, *bytes);
  const auto resource = m.version_resources.find(old_key);
  if (resource != m.version_resources.end())
    m.version_resources[u"d:\\kestrune.exe"] = resource->second;
  self.image = exe;
  m.SetProgramCommandLine(u"\"" + exe + u"\"");
}

}  // namespace

std::span<const VersionProfile> VersionProfiles() {
  return kProfiles;
}

const VersionProfile* FindVersionProfile(std::string_view id) {
  for (const VersionProfile& p : kProfiles)
    if (p.id == id) return &p;
  return nullptr;
}

void ApplyVersionProfile(Machine& m, const VersionProfile& p, BootMode mode) {
  platform::OSVERSIONINFOEXW& v = m.facts.version;
  v = {};
  v.dwMajorVersion = p.major;
  v.dwMinorVersion = p.minor;
  v.dwBuildNumber = p.build;
  v.dwPlatformId = p.platform_id;
  v.szCSDVersion = std::u16string(p.csd);
  v.wServicePackMajor = p.sp_major;
  v.wServicePackMinor = p.sp_minor;
  v.wSuiteMask = p.suite_mask;
  v.wProductType = p.product_type;
  m.facts.is_64bit = p.is_64bit;
  m.facts.product_info = p.product_info;
  m.facts.wmi_os_sku = p.wmi_sku;
  SetMetric(m, platform::kSM_SERVERR2, p.metrics.serverr2);
  SetMetric(m, platform::kSM_TABLETPC, p.metrics.tabletpc);
  SetMetric(m, platform::kSM_MEDIACENTER, p.metrics.mediacenter);
  SetMetric(m, platform::kSM_STARTER, p.metrics.starter);
  SetExports(m, p);
  if (p.platform_id == 2) SetCurrentVersionKey(m, p);
  const bool nt5 = p.platform_id == 2 && p.major == 5;
  if (nt5) {
    // Windows 2000 to Server 2003 keep prodspec.ini in System32.
    const std::u16string ini = m.facts.windows_dir + u"\\System32\\prodspec.ini";
    if (!p.prodspec_product.empty()) {
      std::string text =
          "[SMS Inventory Identification]\r\nVersion=1.0\r\n\r\n"
          "[Product Specification]\r\nProduct=";
      for (char16_t c : p.prodspec_product) text += static_cast<char>(c);
      text += "\r\n\r\nVersion=5.0\r\nLocalization=English\r\n";
      m.fs().AddFile(ini, text);
    }
  }
  // Profiles before Vista keep their users under "Documents and Settings".
  if (p.major != 0 && p.major < 6) m.fs().AddShellFolders();
  if (p.winpe) MakeWinPE(m);
  SetBootMode(m, mode);
}

bool ApplyVersionProfile(Machine& m, std::string_view id, BootMode mode) {
  const VersionProfile* p = FindVersionProfile(id);
  if (!p) return false;
  ApplyVersionProfile(m, *p, mode);
  return true;
}

void SetBootMode(Machine& m, BootMode mode) {
  const int value = static_cast<int>(mode);
  m.facts.clean_boot = value;
  constexpr std::u16string_view kOption = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Option";
  if (mode == BootMode::kNormal) {
    m.registry().DeleteKey(kHKEY_LOCAL_MACHINE, kOption);
    m.environment.erase(u"SAFEBOOT_OPTION");
  } else {
    m.registry().SetDword(kHKEY_LOCAL_MACHINE, kOption, u"OptionValue", static_cast<DWORD>(value));
    m.SetEnv(u"SAFEBOOT_OPTION", mode == BootMode::kSafe ? u"MINIMAL" : u"NETWORK");
  }
}

}  // namespace kes::sim
