// WMI queries of the real backend (COM through the SDK headers mingw-w64 ships).
#pragma once

#include "platform/types.h"

namespace kes::win32 {

// "OperatingSystemSKU" of the Win32_OperatingSystem instances of the "winmgmts:" moniker (the
// local root\cimv2 namespace with impersonation): the last instance wins, 0 when there is none.
// Returns S_OK (0), or the HRESULT of the step that failed, which is then also the last error.
// Starts COM on the calling thread for the call when it is not started yet.
platform::LONG QueryOperatingSystemSKU(platform::DWORD* sku);

}  // namespace kes::win32
