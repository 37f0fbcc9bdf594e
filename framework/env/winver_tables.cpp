#include "framework/env/winver_tables.h"

namespace kes::winver {
namespace {

using C = ReleaseCondition;
using F = WinFlag;

// Client and server versions share their minor numbers but not their names; Home Server is a
// server suite on top of Server 2003 and Server 2008 R2; XP x64 is the client of 5.2.
constexpr ReleaseRow kReleases[] = {
    {5, 0, C::kWorkstation, F::kWin2000, std::nullopt, u"Windows 2000", 1, 0},
    {5, 0, C::kAlways, F::kWinServer2000, std::nullopt, u"Windows Server 2000", 1, 1},
    {5, 1, C::kDomainController, F::kWinXP, std::nullopt, u"Windows XP", 2, 1},
    {5, 1, C::kAlways, F::kWinXP, std::nullopt, u"Windows XP", 2, 0},
    {5, 2, C::kHomeServerSuite, F::kWinHomeServer, F::kWinHomeServer_Any, u"Windows Home Server", 2,
     3},
    {5, 2, C::kWorkstation, F::kWinXP64, F::kWin64bit, u"Windows XP", 2, 0},
    {5, 2, C::kNoServerR2, F::kWinServer2003, std::nullopt, u"Windows Server 2003", 2, 2},
    {5, 2, C::kAlways, F::kWinServer2003r2, std::nullopt, u"Windows Server 2003 R2", 2, 3},
    {6, 0, C::kWorkstation, F::kWinVista, std::nullopt, u"Windows Vista", 3, 0},
    {6, 0, C::kAlways, F::kWinServer2008, std::nullopt, u"Windows Server 2008", 3, 4},
    {6, 1, C::kHomeServerSuite, F::kWinHomeServer2011, F::kWinHomeServer_Any,
     u"Windows Home Server 2011", 4, 5},
    {6, 1, C::kWorkstation, F::kWin7, std::nullopt, u"Windows 7", 4, 0},
    {6, 1, C::kAlways, F::kWinServer2008r2, std::nullopt, u"Windows Server 2008 R2", 4, 5},
    {6, 2, C::kWorkstation, F::kWin8, std::nullopt, u"Windows 8", 5, 0},
    {6, 2, C::kAlways, F::kWinServer2012, std::nullopt, u"Windows Server 2012", 5, 6},
    {6, 3, C::kWorkstationUpdate1, F::kWin81u1, std::nullopt, u"Windows 8.1 Update 1", 7, 0},
    {6, 3, C::kWorkstation, F::kWin81, std::nullopt, u"Windows 8.1", 6, 0},
    {6, 3, C::kUpdate1, F::kWinServer2012r2u1, std::nullopt, u"Windows Server 2012 R2 Update 1", 7,
     8},
    {6, 3, C::kAlways, F::kWinServer2012r2, std::nullopt, u"Windows Server 2012 R2", 6, 7},
    // Windows 11 and Server 2019/2022 report 10 as well and are taken for 10 and 2016.
    {10, -1, C::kWorkstation, F::kWin10, std::nullopt, u"Windows 10", 8, 0},
    {10, -1, C::kAlways, F::kWinServer2016, std::nullopt, u"Windows Server 2016", 8, 9},
};

constexpr WinFlag kClientOrder[] = {
    F::kWin2000_OrNewer, F::kWinXP_OrNewer, F::kWinVista_OrNewer, F::kWin7_OrNewer,
    F::kWin8_OrNewer,    F::kWin81_OrNewer, F::kWin81u1_OrNewer,  F::kWin10_OrNewer,
};

constexpr WinFlag kServerOrder[] = {
    F::kWinServer2000_OrNewer,   F::kWinServer2003_OrNewer,     F::kWinServer2003r2_OrNewer,
    F::kWinServer2008_OrNewer,   F::kWinServer2008r2_OrNewer,   F::kWinServer2012_OrNewer,
    F::kWinServer2012r2_OrNewer, F::kWinServer2012r2u1_OrNewer, F::kWinServer2016_OrNewer,
};

constexpr ProductRow kProducts[] = {
    {0x00, u"Undefined"},
    {0x01, u"Ultimate"},
    {0x02, u"Home Basic"},
    {0x03, u"Home Premium"},
    {0x04, u"Enterprise"},
    {0x05, u"Home Basic N"},
    {0x06, u"Business"},
    {0x07, u"Server Standard"},
    {0x08, u"Server Datacenter (full installation)"},
    {0x09, u"Windows Small Business Server"},
    {0x0A, u"Server Enterprise (full installation)"},
    {0x0B, u"Starter"},
    {0x0C, u"Server Datacenter (core installation)"},
    {0x0D, u"Server Standard (core installation)"},
    {0x0E, u"Server Enterprise (core installation)"},
    {0x0F, u"Server Enterprise for Itanium-based Systems"},
    {0x10, u"Business N"},
    {0x11, u"Web Server (full installation)"},
    {0x12, u"HPC Edition"},
    {0x13, u"Windows Storage Server 2008 R2 Essentials"},
    {0x14, u"Storage Server Express"},
    {0x15, u"Storage Server Standard"},
    {0x16, u"Storage Server Workgroup"},
    {0x17, u"Storage Server Enterprise"},
    {0x18, u"Windows Server 2008 for Windows Essential Server Solutions"},
    {0x19, u"Small Business Server Premium"},
    {0x1A, u"Home Premium N"},
    {0x1B, u"Enterprise N"},
    {0x1C, u"Ultimate N"},
    {0x1D, u"Web Server (core installation)"},
    {0x1E, u"Windows Essential Business Server Management Server"},
    {0x1F, u"Windows Essential Business Server Security Server"},
    {0x20, u"Windows Essential Business Server Messaging Server"},
    {0x21, u"Server Foundation"},
    {0x22, u"Windows Home Server 2011"},
    {0x23, u"Windows Server 2008 without Hyper-V for Windows Essential Server Solutions"},
    {0x24, u"Server Standard without Hyper-V"},
    {0x25, u"Server Datacenter without Hyper-V (full installation)"},
    {0x26, u"Server Enterprise without Hyper-V (full installation)"},
    {0x27, u"Server Datacenter without Hyper-V (core installation)"},
    {0x28, u"Server Standard without Hyper-V (core installation)"},
    {0x29, u"Server Enterprise without Hyper-V (core installation)"},
    {0x2A, u"Microsoft Hyper-V Server"},
    {0x2B, u"Storage Server Express (core installation)"},
    {0x2C, u"Storage Server Standard (core installation)"},
    {0x2D, u"Storage Server Workgroup (core installation)"},
    {0x2E, u"Storage Server Enterprise (core installation)"},
    {0x2F, u"Starter N"},
    {0x30, u"Pro"},
    {0x31, u"Pro N"},
    {0x32, u"Windows Small Business Server 2011 Essentials"},
    {0x33, u"Server For SB Solutions"},
    {0x34, u"Server Solutions Premium"},
    {0x35, u"Server Solutions Premium (core installation)"},
    {0x36, u"Server For SB Solutions EM"},
    {0x37, u"Server For SB Solutions EM"},
    {0x38, u"Windows MultiPoint Server"},
    {0x3B, u"Windows Essential Server Solution Management"},
    {0x3C, u"Windows Essential Server Solution Additional"},
    {0x3D, u"Windows Essential Server Solution Management SVC"},
    {0x3E, u"Windows Essential Server Solution Additional SVC"},
    {0x3F, u"Small Business Server Premium (core installation)"},
    {0x40, u"Server Hyper Core V"},
    {0x42, u"Starter E (Unsupported)"},
    {0x43, u"Home Basic E"},
    {0x44, u"Home Premium E (Unsupported)"},
    {0x45, u"Pro E (Unsupported)"},
    {0x46, u"Enterprise E"},
    {0x47, u"Ultimate E (Unsupported)"},
    {0x48, u"Enterprise Evaluation"},
    {0x4C, u"Windows MultiPoint Server Standard (full installation)"},
    {0x4D, u"Windows MultiPoint Server Premium (full installation)"},
    {0x4F, u"Server Standard (evaluation installation)"},
    {0x50, u"Server Datacenter (evaluation installation)"},
    {0x54, u"Enterprise N Evaluation"},
    {0x5F, u"Storage Server Workgroup (evaluation installation)"},
    {0x60, u"Storage Server Standard (evaluation installation)"},
    {0x62, u"Home N"},
    {0x63, u"Home (China)"},
    {0x64, u"Home (Single Language)"},
    {0x65, u"Home"},
    {0x67, u"Professional with Media Center"},
    {0x68, u"Mobile"},
    {0x79, u"Education"},
    {0x7A, u"Education N"},
    {0x7B, u"IoT Core"},
    {0x7D, u"Enterprise 2015 LTSB"},
    {0x7E, u"Enterprise 2015 LTSB N"},
    {0x81, u"Enterprise 2015 LTSB Evaluation"},
    {0x82, u"Enterprise 2015 LTSB N Evaluation"},
    {0x83, u"IoT Core Commercial"},
    {0x85, u"Mobile Enterprise"},
};

}  // namespace

std::span<const ReleaseRow> ReleaseTable() {
  return kReleases;
}
std::span<const WinFlag> ClientMinimumOrder() {
  return kClientOrder;
}
std::span<const WinFlag> ServerMinimumOrder() {
  return kServerOrder;
}
std::span<const ProductRow> ProductTable() {
  return kProducts;
}

}  // namespace kes::winver
