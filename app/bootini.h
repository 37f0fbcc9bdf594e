// KestruneMain boot.ini editing: on Windows older than Vista the boot menu lives in the text
// file boot.ini at the root of the system drive ([boot loader] with "timeout" and "default",
// [operating systems] with one key per boot path whose value is the quoted menu text and the
// start-up switches). Safe Mode is configured by giving the default boot path's entry the Safe
// Mode switches; the entry as it was goes to the end of the file, so the boot menu still offers
// it. A backup "boot.Quorlen" beside it keeps the file as it was before the first change (never
// replaced once it exists), and the undo copies it back byte for byte.
#pragma once

#include <optional>
#include <string>

#include "app/safe_mode.h"

namespace kes {

// Traced. Makes the default boot entry start the Safe Mode variant (logged as iBootIniMode, the
// boot.ini mode of safe_mode.h): backs boot.ini up when no backup exists, sets its attributes to
// normal, sets the timeout to 3, writes the Safe Mode entry over the default boot path's entry
// and appends the old entry as the last line (after a line break of its own when the file did
// not end with one). True when boot.ini now boots the Safe Mode entry by default. False, logged
// and told (style 0 for a missing boot.ini, else 16), when boot.ini is missing (no backup made),
// the backup or the attributes could not be made, the default entry cannot be read, or a write
// failed; the file is left as the failing step left it and the backup stays.
bool BootIniSafeMod(SafeMode mode);

// Traced. Restores boot.ini from the backup byte for byte, sets its attributes to read-only,
// hidden and system, and deletes the backup. True when all of that was done. False, logged and
// told, when there is no backup (style 0, nothing touched) or the attributes or the copy failed
// (style 16, the backup stays); false, logged only, when boot.ini was restored but the backup
// could not be deleted.
bool BootIniUndoMod();

// Traced. True when the backup of boot.ini exists, that is when boot.ini has been changed and not
// restored since.
bool BootIniBackupExists();

// Traced. Whether the next boot starts Safe Mode as boot.ini reads now: the entry of the default
// boot path carries a /safeboot switch. False without boot.ini (the boot loader then starts
// Windows normally); nullopt when boot.ini is there but cannot be read.
std::optional<bool> BootIniStartsSafeMode();

// The path of boot.ini: the root of the system drive. Untraced.
std::u16string BootIniPath();

}  // namespace kes
