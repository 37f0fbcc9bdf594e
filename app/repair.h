// Repair of the SafeBoot registry branch from the registry files the program carries.
#pragma once

namespace kes {

// Writes the SafeBoot branch of the running Windows version (10, 8/8.1, 7, Vista, XP; other
// versions: nothing) by extracting the matching embedded registry file to the user's temporary
// folder, importing it with reg.exe and deleting it. A failed extraction is logged and nothing
// is imported; the import's own outcome is not examined.
void RepairSafeBootLocal();

}  // namespace kes
