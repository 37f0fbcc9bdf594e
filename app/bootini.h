// KestruneMain boot.ini editing: on Windows older than Vista the boot menu lives in the text
// file boot.ini at the root of the system drive, and Safe Mode is configured by pointing its
// default entry at a Safe Mode variant (a backup "boot.Quorlen" keeps the file as it was).
// This build does not edit boot.ini yet: both procedures log that and report failure, so the
// callers take their failure roads (the configuration is abandoned with a notice).
#pragma once

#include "app/safe_mode.h"

namespace kes {

// Traced. Makes the default boot entry start the Safe Mode variant (logged as iBootIniMode, the
// boot.ini mode of safe_mode.h). True when boot.ini now boots the Safe Mode entry by default.
// Not available in this build: logs so and returns false, file untouched.
bool BootIniSafeMod(SafeMode mode);

// Traced. Restores boot.ini from its backup and deletes the backup. True when restored. Not
// available in this build: logs so and returns false, nothing touched.
bool BootIniUndoMod();

}  // namespace kes
