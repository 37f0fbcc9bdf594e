// App_Common process queries: the one routine through which the framework closes kernel
// handles.
#pragma once

#include "platform/types.h"

namespace kes {

// Closes a kernel handle (process, thread, snapshot, file...). 0 and INVALID_HANDLE_VALUE are
// never handed to the system. When CloseHandle refuses the handle, NtClose is tried and its
// result ignored; a refusal is written to the debug log without a trace record. Never fails
// and never changes the caller's variable.
void CloseMyHandle(platform::HANDLE handle);

}  // namespace kes
