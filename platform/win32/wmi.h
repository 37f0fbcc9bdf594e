// WMI queries of the real backend (COM through the SDK headers mingw-w64 ships).
#pragma once

#include <vector>

#include "platform/api/system_api.h"

namespace kes::win32 {

// "OperatingSystemSKU" of the Win32_OperatingSystem instances of the "winmgmts:" moniker (the
// local root\cimv2 namespace with impersonation): the last instance wins, 0 when there is none.
// Returns S_OK (0), or the HRESULT of the step that failed, which is then also the last error.
// Starts COM on the calling thread for the call when it is not started yet.
platform::LONG QueryOperatingSystemSKU(platform::DWORD* sku);

// Every Win32_UserAccount instance of root\cimv2 ("Select * from Win32_UserAccount", returned
// immediately, forward only), replacing *accounts; a property without a value keeps its default.
// S_OK (0) or the failing HRESULT (also the last error), *accounts then left empty. COM as for
// QueryOperatingSystemSKU.
platform::LONG QueryUserAccounts(std::vector<platform::WmiUserAccount>* accounts);

}  // namespace kes::win32
