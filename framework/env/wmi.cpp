#include "framework/env/wmi.h"

#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_QueryWMI";

struct SkuRow {
  std::int32_t sku;
  std::u16string_view text;
};

// WMI's own names, shorter than the product table's and with fewer entries.
constexpr SkuRow kSkus[] = {
    {0, u"Undefined (SKU bit 0)"},
    {1, u"Ultimate"},
    {2, u"Home Basic"},
    {3, u"Home Premium"},
    {4, u"Enterprise"},
    {5, u"Home Basic N"},
    {6, u"Business"},
    {7, u"Standard"},
    {8, u"Datacenter"},
    {9, u"SBS"},
    {10, u"Enterprise"},
    {11, u"Starter"},
    {12, u"Datacenter Core"},
    {13, u"Standard Core"},
    {14, u"Enterprise Core"},
    {15, u"Enterprise IA64"},
    {16, u"Business N"},
    {17, u"Web Server"},
    {18, u"Cluster"},
    {19, u"Home Server"},
    {20, u"Storage Express"},
    {21, u"Storage Standard"},
    {22, u"Storage Workgroup"},
    {23, u"Storage Enterprise"},
    {24, u"For Small Business"},
    {25, u"SBS Premium"},
    {42, u"Hyper-V"},
    {48, u"Professional"},
    {74, u"Consumer Preview?"},
    {103, u"Professional with Media Center"},
};

}  // namespace

std::optional<std::u16string_view> WmiSKUText(std::int32_t sku) {
  for (const SkuRow& row : kSkus)
    if (row.sku == sku) return row.text;
  return std::nullopt;
}

std::u16string WMI_GetWinSKU(std::int32_t& found_sku) {
  Proc p(kModule, u"WMI_GetWinSKU", Kind::Function);
  p.ByRef({u"lFoundSKU", found_sku});
  std::u16string result;
  if (!Ctx().env) {
    p.Log(u"The environment object does not exist; WMI is not asked.");
    p.Result(result);
    return result;
  }
  const AppEnv& env = *Ctx().env;
  if (env.Disable_WMI_Queries) {
    p.Log(u"Aborted; WMI Queries are disabled globally.");
    p.Result(result);
    return result;
  }
  if (!env.WinVista_OrNewer) {
    p.Log(u"Product SKU information is only available through WMI on Vista/Server 2008 and above.");
    p.Result(result);
    return result;
  }
  p.Step(
      [&] {
        platform::DWORD sku = 0;
        const platform::LONG hr = OS().sys.WmiQueryOperatingSystemSKU(&sku);
        if (hr != 0) {
          p.LogAPI(u"winmgmts: Win32_OperatingSystem",
                   u"HRESULT=&H" + Hex(static_cast<std::uint32_t>(hr)));
          return;
        }
        const auto number = static_cast<std::int32_t>(sku);
        if (const auto text = WmiSKUText(number)) {
          result = std::u16string(*text);
        } else {
          result = u"Undefined (SKU Bit " + Dec(number) + u")";
          p.Log(u"Undefined WMI query return value!", debug::Event_Normal,
                u"lProductSKU=" + Dec(number));
        }
        found_sku = number;
      },
      u"WMI query");
  p.ReturnedByRef({u"lFoundSKU", found_sku});
  p.Result(result);
  return result;
}

void WMI_GetUserList(KeyedTexts& users, bool skip_disabled, bool skip_degraded,
                     bool skip_non_user_accounts) {
  Proc p(kModule, u"WMI_GetUserList", Kind::Sub);
  p.Args({u"bSkipDisabled", skip_disabled, u"bSkipDegraded", skip_degraded, u"bSkipNonUserAccounts",
          skip_non_user_accounts});
  p.Step([&] {
    std::vector<platform::WmiUserAccount> accounts;
    const platform::LONG hr = OS().sys.WmiQueryUserAccounts(&accounts);
    if (hr != 0) {
      p.LogAPI(u"winmgmts: Win32_UserAccount", u"HRESULT=&H" + Hex(static_cast<std::uint32_t>(hr)));
      return;
    }
    for (const platform::WmiUserAccount& account : accounts) {
      const bool skipped =
          (skip_non_user_accounts && (account.SIDType != 1 || account.AccountType != 512 ||
                                      account.Name.starts_with(u"VUSR_"))) ||
          (skip_disabled && account.Disabled) || (skip_degraded && account.Status == u"Degraded");
      if (skipped) {
        p.Log(u"Skipped account " + account.Name, debug::Event_Verbose);
        continue;
      }
      users.Add(account.Name, account.Name);
    }
  });
  p.Created({u"lUserCount", static_cast<std::int32_t>(users.Count())});
}

}  // namespace kes
