// The program's working folder under ProgramData ("<ProgramData>\Kestrune") and the folders in
// it: the one place where the elevated program writes files that it later hands to a tool or
// appends to (the SafeBoot .reg files, the debug log). ProgramData lets every user create
// folders, so a folder found there is trusted only when Administrators or SYSTEM own it, no one
// else may write in it, and it is no link (reparse point) to another place. A folder that falls
// short is re-secured (owner Administrators, the program's own protection replacing its
// entries) where that works, and otherwise not used. On a volume without security (FAT, a WinPE
// RAM disk) nothing can be protected: the folder is used as it is, and the log says so.
//
// Traced under the module "App_Common". Nothing here throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_handle.h"

namespace kes {

enum class FolderTrust {
  kTrusted,     // protected as described above (made so, or found so, or re-secured)
  kNoSecurity,  // on a volume that keeps no owners or permissions: used as before
  kUntrusted,   // could not be made safe: not to be used
};

// Makes `folder` (whose parent must exist) the program's protected folder: created with the
// protection when missing, otherwise checked and re-secured when it falls short.
FolderTrust SecureFolder(std::u16string_view folder);

// The working folder "<ProgramData>\Kestrune", secured once per run; "" when it is not to be
// used (not trusted, or ProgramData unknown).
std::u16string WorkFolder();

// `prefix` + 32 hexadecimal digits from the system's cryptographic random source + `suffix`: a
// name no one can guess. nullopt when the random source fails.
std::optional<std::u16string> UnguessableName(std::u16string_view prefix,
                                              std::u16string_view suffix);

// `file` opened for reading and shared for reading only: while the handle lives, no one can
// write, replace or delete the file. Invalid when it cannot be opened (the last error says why).
platform::UniqueHandle HoldForReading(std::u16string_view file);

}  // namespace kes
