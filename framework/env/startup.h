// Start-up and termination of the framework: InitApp builds the process-wide state everything
// else reads (tracing, the environment object App_Env with its facts, the build flavour, the
// generated strings); TerminateApp takes it down again and ends the process.
// Every start-up step runs with its failures logged and suppressed: a failed probe or lookup
// leaves its fact empty, 0 or false and start-up goes on.
#pragma once

#include <cstdint>
#include <string_view>

namespace kes {

// Dump masks of the debug log by build flavour.
inline constexpr std::int32_t kDumpMaskVerbose = 63;
inline constexpr std::int32_t kDumpMaskNormal = 51;

// The start-up sequence (`is_dll`: hosted as a library; `resources_dir`: name of the resources
// folder, empty for "<title> Resources" beside the executable). Creates Ctx().env and fills its
// facts; never fails. Ends the process only when the Windows version is refused.
void InitApp(bool is_dll, std::u16string_view resources_dir);

// Sets AppInst_InitDateTime (UTC now) and its three text forms. Leaves them empty on failure.
void InitEnv_AppInstStartDateTime();

// Reads the build flavour and the version from the executable's version resource and sets the
// flavour, version and application-title facts. A missing resource leaves flavour and version
// empty/false (logged).
void InitEnv_VersionAndTitle();

// Fills the bulk of the environment facts whose sources this build carries, in catalogue order.
// Never fails; a failed source leaves its fact empty, 0 or false.
void InitEnv(std::u16string_view resources_dir);

// The framework's termination routine: unless `skip_cleanup` shuts tracing down and releases the
// environment object, the collections and shell32; removes the exception handler; then ends the
// process with `exit_code` (0 included) unless hosted as a library or inside the development
// environment, in which case it returns.
void TerminateApp(std::int32_t exit_code, bool skip_cleanup);

}  // namespace kes
