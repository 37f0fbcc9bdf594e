// subinacl.exe, the Resource Kit's ownership and permission tool, on the simulated machine.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace kes::sim {

// subinacl.exe with one object and one action: "/keyreg "HKEY_...\key"", "/subkeyreg
// "HKEY_...\key"" (the key and every key below it), "/file "path"" or "/subdirectories
// "folder\*.*"" (everything below the folder), followed by "/setowner=ACCOUNT" or
// "/grant=ACCOUNT=F" (full control; letter case ignored). Exit code 0 when done, 1 for an
// unknown account, a missing object or arguments it does not understand.
platform::DWORD RunSubInAcl(Machine& m, const std::u16string& command_line);

// Puts the tool at `path` (a file, and a program the machine runs).
void InstallSubInAcl(Machine& m, std::u16string_view path);

}  // namespace kes::sim
