// App_FilePath: the path forms of the file calls. Users and the ANSI calls write plain and UNC
// paths; the wide file calls want the extended-length forms "\\?\C:\..." and "\\?\UNC\srv\..."
// so that long paths and any character pass; and paths that come back from Windows may carry
// those prefixes, NT object prefixes, 8.3 short names or "\SystemRoot\". These procedures turn
// one form into the other. The conversions sit under every file call and are untraced;
// PathToDriveLetter and DeleteFilesInPath are traced under the module "App_FilePath".
// Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Gives `path` its wide-API form: cut at the first NUL, blanks trimmed, one pair of wrapping
// double quotes removed, a backslash appended with `ensure_trailing_bs`, then "\\?\" (or
// "\\?\UNC\" for \\server\share) put in front; "\??\" and "\\.\" become "\\?\"; a path already
// in wide form keeps it (a "\\?\unc\" prefix is set to "\\?\UNC\"). A text without any
// backslash (a bare file name, "") is not prefixed. Always ends with one appended NUL character.
void PrepPathForUnicodeAPI(std::u16string& path, bool ensure_trailing_bs = false);

// True when `path` (leading blanks ignored) is in a wide form: a backslash first and "?" or "."
// third ("\\?\", "\??\", "\\.\"), or the bare "UNC\" form (letter case ignored).
bool IsWideAPIPathFormat(std::u16string_view path);

// Turns a wide-form path back into the ordinary one: "\\?\C:\x" becomes "C:\x" and
// "\\?\UNC\srv\share" (or the bare "UNC\srv\share") becomes "\\srv\share". Texts that are not in
// a wide form are left exactly as they are.
void RemoveWideAPIFormatFromPath(std::u16string& path);

// Expands the 8.3 short names in `path` (only when it contains "~") through GetLongPathNameW; the
// result is cut at NUL, in ordinary form and trimmed. When the object does not exist or the call
// fails, the failure is logged as an API error and sPath is left as it was.
void MakeLongPath(std::u16string& path);
// The 8.3 form of an existing `path` through GetShortPathNameW, in ordinary form; "" when the
// object does not exist or has no short form (the failure is logged as an API error).
std::u16string ShortPath(std::u16string_view path);

// Normalises a path that came back from a Windows call: cut at NUL and trimmed, short names
// expanded (or the wide form removed), stray leading backslashes of a non-UNC, non-drive path
// dropped and a leading "SystemRoot" replaced by the Windows folder (Dir_Windows), trimmed
// again. An empty text stays empty.
void FixPathFromAPI(std::u16string& path);

// The folder without one trailing backslash; with `trim_null` cut at the first NUL and trimmed
// first. "" is returned unchanged.
std::u16string DirNoBS(std::u16string_view dir, bool trim_null = false);

// Traced. Reduces `path` ("D:\data", "D:", "D") to its drive letter, plus ":" with
// `append_colon_to_drive_letter`, and returns true. A text that names no drive is logged with the
// reason; then the first character of `return_this_drive_on_failure` is used when that is not empty
// (true), otherwise `path` is left as it was and the result is false.
bool PathToDriveLetter(std::u16string& path, std::u16string_view return_this_drive_on_failure = {},
                       bool append_colon_to_drive_letter = false);

// Traced. Deletes the files in `path` that match `file_mask` (";"-separated patterns),
// `recursion_level` folders deep (-1: all, 0: `path` only), leaving out files whose name contains
// `exclusion_in_str`. Which files were deleted and which could not be is logged; an empty `path` is
// logged and nothing is done, an empty mask does nothing.
void DeleteFilesInPath(std::u16string_view path, std::u16string_view file_mask,
                       std::int32_t recursion_level = 0, std::u16string_view exclusion_in_str = {});

}  // namespace kes
