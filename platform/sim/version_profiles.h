// Named Windows installations for the simulated machine: each profile turns a fresh Machine into
// one Windows release as the version detection sees it - the version record (RtlGetVersion and
// GetVersionExA), product type and suite mask, the system metrics that tell editions apart,
// "BuildLabEx" and the other CurrentVersion values in the registry, GetProductInfo's and WMI's
// answers, the entry points that release's system libraries export, 32- or 64-bit, and, for
// Windows 2000 to Server 2003, prodspec.ini where Windows keeps it (System32), boot.ini (one
// system, attributes read-only, hidden and system) and the old profile folders. The boot mode
// (normal, Safe Mode, Safe Mode with networking) is chosen apart.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace kes::sim {

// Edition metrics of Windows XP and Server 2003 (GetSystemMetrics; 0 when not listed).
struct EditionMetrics {
  int serverr2 = 0;     // SM_SERVERR2
  int tabletpc = 0;     // SM_TABLETPC
  int mediacenter = 0;  // SM_MEDIACENTER
  int starter = 0;      // SM_STARTER
};

struct VersionProfile {
  std::string_view id;               // "xp-sp3", "win10", "server2008-dc"...
  std::u16string_view product_name;  // "ProductName" under CurrentVersion
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;          // `build_number` as the record carries it (Windows 9x: with 4.x on top)
  DWORD platform_id = 2;    // 1 Windows 9x, 2 NT
  std::u16string_view csd;  // service-pack text
  platform::WORD sp_major = 0;
  platform::WORD sp_minor = 0;
  platform::WORD suite_mask = 0;
  std::uint8_t product_type = 1;  // 1 workstation, 2 domain controller, 3 server
  bool is_64bit = false;
  DWORD product_info = 0;            // GetProductInfo (Vista and later)
  DWORD wmi_sku = 0;                 // Win32_OperatingSystem OperatingSystemSKU (Vista and later)
  std::u16string_view build_lab_ex;  // "" where Windows does not write the value
  EditionMetrics metrics;
  std::u16string_view prodspec_product;  // System32\prodspec.ini "Product" ("" : no file)
  bool winpe = false;                    // a preinstallation environment (see ApplyVersionProfile)
};

enum class BootMode { kNormal = 0, kSafe = 1, kSafeNetwork = 2 };

// Every profile: Windows 95, 98, ME and NT 4 (refused by the program), 2000, Server 2000, XP SP3,
// XP Media Center, XP x64, Server 2003, Server 2003 R2, Home Server, Vista, Server 2008 and a
// Server 2008 domain controller, 7, Server 2008 R2, Home Server 2011, 8, Server 2012, 8.1, 8.1
// Update 1, Server 2012 R2 (without and with Update 1), a 6.4 preview, 10, Server 2016, 11,
// a WinPE 10.
std::span<const VersionProfile> VersionProfiles();

// The profile with this id; nullptr when there is none.
const VersionProfile* FindVersionProfile(std::string_view id);

// Makes `m` (a machine as constructed) that installation, booted in `mode`. A WinPE profile also
// adds the writable RAM drive X:, the "WinPE" key under CurrentVersion, and moves the program to
// D:\Kestrune.exe on a read-only CD. False (and nothing changes) for an unknown id.
void ApplyVersionProfile(Machine& m, const VersionProfile& profile,
                         BootMode mode = BootMode::kNormal);
bool ApplyVersionProfile(Machine& m, std::string_view id, BootMode mode = BootMode::kNormal);

// Boots the machine in `mode`: SM_CLEANBOOT, the SafeBoot "Option" key Windows writes in Safe
// Mode (removed in normal mode) and the SAFEBOOT_OPTION environment variable.
void SetBootMode(Machine& m, BootMode mode);

}  // namespace kes::sim
