// App_Common: start-up helpers of the framework that the program and the rest of the framework
// share: the NeverLoadForms switch, the argument text, visual styles, the network-location
// rule, the service marker, the window title, the executable's path facts and the
// generated-string table. Failures never propagate: each procedure logs them and returns an
// empty, false or 0 result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes {

// The application title (what the run time calls the program's title).
inline constexpr std::u16string_view kAppTitle = u"Kestrune";
// The program's base file name, used when the executable's own path cannot be read.
inline constexpr std::u16string_view kAppExeName = u"Kestrune";

// True when the framework never loads its own hidden window and shows no message boxes of its
// own. Reading never fails; false until assigned.
bool NeverLoadForms();
// Records `value` on the first call only; every later call changes nothing.
void SetNeverLoadForms(bool value);

// The argument text: the process command line without the program's own path, trimmed of
// blanks. `runtime_args` selects the text the run time handed to the program instead. Logs the
// result as the function's return value; "" when the command line cannot be read.
std::u16string GetMyCommandLine(bool runtime_args);

// `init` true: loads shell32.dll once (kept loaded) and initialises the common controls so that
// windows get the visual styles the manifest asks for; false: frees shell32.dll again.
// Failures are logged and leave the controls uninitialised.
void InitVisualStyles(bool init);

// Sets the icon group `icon_res_name` of the program's own module as the big and small icon of
// window `window` (and, with `set_as_app_icon`, of its topmost owner). An icon that does not load
// is logged and that size is left as it was.
void SetIconFromRes(platform::HWND window, std::u16string_view icon_res_name, bool set_as_app_icon);

// True when `path` (empty: the program's own folder AppPath) is a UNC path or a drive letter
// connected to a network share. Under the system account the connection query is skipped
// (logged) and the answer is false; any failure gives false.
bool IsNetworkPath(std::u16string_view path);

// Asks WNetGetConnectionW for the network name behind the local device `local_name` ("Z:").
// Returns its status: 0 with `remote_name` filled, 2250 for a local drive, another code on
// failure (`remote_name` then empty).
std::int32_t GetConnection(std::u16string_view local_name, std::u16string& remote_name);

// True when `dll_file` loads and exports `function_name`; false when either is missing (a library
// that does not load is logged).
bool DLLFunctionCheck(std::u16string_view dll_file, std::u16string_view function_name);

// True when the trimmed argument text is longer than one character and begins with "$" (the
// program runs as a service). Worked out on the first call and remembered; false on failure.
bool HasServiceArgs();

// Which version the window title shows (the build flavour has its own say).
struct TitleOptions {
  bool no_version = false;      // none
  bool pretty_version = false;  // "1.0.0" rather than the full four numbers
  bool short_version = false;   // "1.0" (wins over pretty_version)
};
// Traced (options logged as bNoVersion, bPrettyVersion, bShortVersion). The window title:
// application title, edition name when set, and a version suffix chosen by the build flavour
// and the options. Never fails; without an environment object the title has no version.
std::u16string GetWindowTitle(const TitleOptions& options);

// Fills AppEXE, AppPath(BS), AppEXE_NoPath, AppEXE_NoPath_NoExt and AppEXE_ExtOnly from the
// process's module file name; when that fails (logged) or `use_fallback` is set, from the
// program's own folder as the run time knows it and its base name with ".exe".
void SetAppPathExeInfo(bool use_fallback);

// Fills slots 1..64 of the generated-string table, then calls SetAppGeneratedVars. Never fails.
void InitAppGeneratedVars();
// Hands the label texts and the separator of the table to the debug log. Never fails.
void SetAppGeneratedVars();

}  // namespace kes
