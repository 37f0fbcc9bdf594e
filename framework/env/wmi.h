// App_QueryWMI: what the framework asks Windows Management Instrumentation: the edition of
// Windows and the local user accounts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/util/keyed_texts.h"

namespace kes {

// The edition name WMI gives for this Windows ("OperatingSystemSKU" of Win32_OperatingSystem):
// on success the name (an unknown number gives "Undefined (SKU Bit <n>)", logged) and the
// number written to `found_sku`. Returns "" with `found_sku` unchanged, each time with a log entry,
// when WMI queries are disabled (Disable_WMI_Queries), before Vista/Server 2008
// (WinVista_OrNewer false), without an environment object, or when WMI cannot be bound or
// enumerated.
std::u16string WMI_GetWinSKU(std::int32_t& found_sku);

// The edition name of an OperatingSystemSKU number; nullopt for a number the program does not
// know.
std::optional<std::u16string_view> WmiSKUText(std::int32_t sku);

// Adds the names of the local accounts WMI reports (Win32_UserAccount, in WMI's order) to
// `users`, keyed by name, skipping with `skip_non_user_accounts` every one that is not a user
// (SIDType 1) with a normal account (AccountType 512) and the "VUSR_" accounts virtualization
// software makes, then with `skip_disabled` the disabled ones and with `skip_degraded` those
// whose status is "Degraded". A failed query is logged and adds nothing.
void WMI_GetUserList(KeyedTexts& users, bool skip_disabled = true, bool skip_degraded = true,
                     bool skip_non_user_accounts = true);

}  // namespace kes
