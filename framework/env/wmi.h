// App_QueryWMI: what the framework asks Windows Management Instrumentation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace kes
