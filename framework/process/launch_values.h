// Module App_ExtProcess: what the full launcher hands to CreateProcessW besides the program:
// the creation flags of a launch kind and the alternate values that run control-panel items and
// batch files through their system tools.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes {

// Module App_ExtProcess: the creation flags of a launch kind (`run_as_type` 1, 2, 5, 6, other),
// with CREATE_UNICODE_ENVIRONMENT unless `no_unicode_environment`. A configuration store could
// replace them; this program attaches none, so the table's value holds.
void SetProcFlags(platform::DWORD& flags, std::int32_t run_as_type, bool no_unicode_environment,
                  bool log);
// Adds `flag` to `flags` when the configuration store enables `cfg_item` (never, without one).
void AddCFGFlagIfEnabled(platform::DWORD& flags, std::u16string_view cfg_item, platform::DWORD flag,
                         bool log);
// The launch values of a control-panel item: control.exe in the system folder (extended-length
// form) and the command line " \"item\"[ params]". Both arguments are replaced.
void GetCPLValuesForRunX(std::u16string& path_and_filename, std::u16string& cmd_line_params);
// The same for a batch file: cmd.exe and " /c \"file\"[ params]".
void GetBatchFileValuesForRunX(std::u16string& path_and_filename, std::u16string& cmd_line_params);

}  // namespace kes
