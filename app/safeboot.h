// KestruneMain safe-boot switching: sets the next boot of Windows to one of the three Safe Mode
// variants (minimal, with networking, with the command prompt as shell) through the system's
// bcdedit.exe (boot.ini on older Windows), leaves an undo hook that brings the program back on
// the Safe Mode boot, and takes everything back again. A configuration whose boot setting or
// undo hook did not take is undone at once and never followed by a restart: a machine must not
// be restarted into Safe Mode with nothing to bring it back, nor restarted at all for a
// configuration that did not happen.
#pragma once

#include <string>
#include <string_view>

#include "app/safe_mode.h"

namespace kes {

// The one-time start entry's value name is "*" + this (the "*" makes it run in Safe Mode too).
inline constexpr std::u16string_view kRunOnceKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::u16string_view kCommandProcessorKey =
    u"SOFTWARE\\Microsoft\\Command Processor";
// The switch the one-time start entry runs the program with on the Safe Mode boot.
inline constexpr std::u16string_view kRemoveSwitch = u"/Remove";
inline constexpr std::u16string_view kSafeBootKey = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
// The notice shown when a configuration failed and was undone; the failed command line or
// registry value follows after CR LF CR LF.
inline constexpr std::u16string_view kConfigFailedNotice =
    u"安全模式配置失败, 已撤消所做的更改, Windows 将不会重新启动.";

// The notice shown when the return to normal could not remove the Safe Mode boot setting; the
// failed command line follows after CR LF CR LF.
inline constexpr std::u16string_view kUndoFailedNotice =
    u"无法删除安全模式启动配置, Kestrune 将在下次启动 Windows 时再次运行并重试.";

// Traced. Configures minimal Safe Mode (command_prompt: with the command prompt as shell): with
// options.restart asks first (No: sets RestartDeclined, changes nothing, false), then repairs
// the SafeBoot branch, clears an earlier configuration, creates the temporary administrator
// (options.temp_admin), backs the boot store up once, sets the boot mode, writes the undo hook,
// turns the F8 menu on (options.enable_f8) and restarts (options.restart). True when the
// configuration is in place (and the restart asked for). When the boot setting or the undo hook
// failed: undoes it with RemoveMods(false), shows the failure notice (style 16), does not
// restart, false (RestartDeclined stays as it is: only the user's No sets it). Older Windows:
// boot.ini is edited instead; its failure is told and false.
bool DoSafe(bool command_prompt, const ConfigureOptions& options);

// Traced. As DoSafe for Safe Mode with networking (always the one-time start entry as hook).
bool DoSafeNet(const ConfigureOptions& options);

// DoSafeNet for the networking variant, DoSafe for the other two. Untraced (they are).
bool ConfigureSafeMode(SafeMode mode, const ConfigureOptions& options);

// Traced. Configures Safe Mode with networking with no question, no undo hook and no restart
// (for scripts, which take care of the return themselves). True when the boot setting took;
// false, only logged, when it did not (nothing is undone, nothing shown).
bool DoSafeNetNoReboot(bool enable_f8, bool temp_admin);

// Traced. Undoes every modification: first the boot setting (bcdedit, or boot.ini on older
// Windows), then BootMode, the one-time start entry and the command processor hook; with `full`
// also the marker script and the temporary administrator. Each step that fails is logged and
// the next one still runs. "AlternateShell", the boot menu policy and "BCDbak" stay. True when
// the next boot is normal. With `full`, when the Safe Mode boot setting could not be deleted and
// the boot store still has it (or, when the store cannot be asked, the program runs in Safe
// Mode), the way back is kept instead: the one-time start entry is written again, the command
// processor hook stays, the user is told (style 16), and the result is false.
bool RemoveMods(bool full);

// Traced. Exports the boot store to SystemDriveBS + "BCDbak" when that file does not exist;
// an existing backup is never replaced. A failed export is logged.
void BackupBCD();

// Traced. Makes the command prompt the Safe Mode shell ("AlternateShell" = "cmd.exe"), hooks
// the program into every start of the command processor ("Autorun" = "AppEXE" /undo) and writes
// the marker script kestrune.cmd into the Windows folder. Failures are logged; the caller reads
// the hook back to know whether it took.
void SetCMDAutorun();

// Traced. Writes the one-time start entry "*" + `entry_name` under HKLM RunOnce that runs the
// program with `param` (an existing one is replaced). A refused write is logged.
void AddMeToRunOnce(std::u16string_view param, std::u16string_view entry_name);

// Traced. True when the one-time start entry reads back as AddMeToRunOnce writes it for `param`;
// false (logged) when it is missing or different.
bool RunOnceEntryWritten(std::u16string_view param);

// Traced. Turns the legacy F8 boot menu on ({default} then {current}); results are not read.
void EnableF8Menu();
// Traced. Turns the legacy F8 boot menu off ({default} then {current}); results are not read.
void DisableF8Menu();

// "HKEY_LOCAL_MACHINE\key\value": how notices and the log name a registry value. Untraced.
std::u16string HklmName(std::u16string_view key, std::u16string_view value);

// Shows a failure notice (style 16): `notice`, CR LF CR LF, then what failed (a command line or a
// registry value). Untraced; ShowMessage logs the box.
void ShowFailure(std::u16string_view notice, std::u16string_view failed);

// The data of the one-time start entry for `param`: cmd /c start "" "AppEXE" `param`. Untraced.
std::u16string RunOnceCommand(std::u16string_view param);

}  // namespace kes
