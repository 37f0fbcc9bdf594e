// App_Common process queries: the executable of a process ID, the parent of a process, the ID of
// a running program found by its name or path, and whether an ID runs. Start-up learns from them
// who started the program; the full launcher finds a process it started without an ID. Each
// call takes a fresh tool-help snapshot and closes every handle it opened; SeDebugPrivilege is
// enabled only while a path or the program's own parent is looked up. Nothing here throws: a
// lookup that fails gives "" or 0 after its log entry.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kes {

// The full path of the executable of process `pid`; "" when it cannot be found (the idle
// process 0, a process that has ended, one that refuses to be opened and read). With
// `clean_path` the path is normalised (FixPathFromAPI). Windows before Vista (or without
// QueryFullProcessImageNameW) read it with GetModuleFileNameExW; an OpenProcess refusal tries
// fGetPathFromPID2 instead.
std::u16string GetPathFromPID(std::int32_t pid, bool clean_path = true);

// Module App_ExtProcess. The fallback of GetPathFromPID: enables SeDebugPrivilege on the token
// itself, opens the process for query and read access and reads its executable through the ANSI
// call; "" when any step fails. The privilege is disabled again before it returns.
std::u16string fGetPathFromPID2(std::int32_t pid, bool clean_path);

// The ID of the process that started `pid`; 0 when `pid` is not running. Asked for the program's
// own ID (AppInst_ProcessID) it holds SeDebugPrivilege meanwhile.
std::int32_t GetParentPID(std::int32_t pid);

// The ID of the first running process, in snapshot order, whose file name matches the text
// (letter case and surrounding blanks ignored): a bare name with or without its extension
// ("cmd", "cmd.exe") or a full path, which must also equal the process's own path (without its
// extension when the text has none). 0 when none does.
std::int32_t GetPID(std::u16string_view file_name_path_opt_ext_opt);

// True when a process with this ID is running (0, the idle process, included).
bool IsProcessRunningByPID(std::int32_t pid);

// A fixed byte field as text: UTF-16 as it stands when it has at least two bytes and its second
// byte is 0, else the system's ANSI code page. With `trim` cut at the first NUL and trimmed.
// Untraced. A UTF-16 text whose first character lies above U+00FF is read as ANSI by this rule,
// which is why the process enumeration reads its UTF-16 names directly.
std::u16string ByteArrayToString(std::span<const std::uint8_t> bytes, bool trim);

}  // namespace kes
