#include "app/safeboot.h"

#include <cstdint>
#include <optional>
#include <string>

#include "app/accounts.h"
#include "app/bootini.h"
#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/repair.h"
#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/fs/path_forms.h"
#include "framework/fs/textfile.h"
#include "framework/process/shell.h"
#include "framework/process/shutdown.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::kHKEY_LOCAL_MACHINE;

constexpr std::u16string_view kModule = u"KestruneMain";

// The tools are waited for until they end: the timeout is given but not enforced.
constexpr std::int32_t kToolTimeoutMS = 2000000000;

// The boot configuration tool's command lines as notices show them; each runs from the system
// folder (SystemToolCommand).
constexpr std::u16string_view kBootTool = u"bcdedit.exe";
constexpr std::u16string_view kSetMinimal = u"bcdedit.exe /set safeboot minimal";
constexpr std::u16string_view kSetAltShell = u"bcdedit.exe /set safebootalternateshell true";
constexpr std::u16string_view kSetNetwork = u"bcdedit.exe /set safeboot network";
constexpr std::u16string_view kDeleteSafeBoot = u"bcdedit.exe /deletevalue safeboot";
constexpr std::u16string_view kDeleteAltShell = u"bcdedit.exe /deletevalue safebootalternateshell";
constexpr std::u16string_view kF8OnDefault = u"bcdedit.exe /set {default} bootmenupolicy legacy";
constexpr std::u16string_view kF8OnCurrent = u"bcdedit.exe /set {current} bootmenupolicy legacy";
constexpr std::u16string_view kF8OffDefault = u"bcdedit.exe /set {default} bootmenupolicy standard";
constexpr std::u16string_view kF8OffCurrent = u"bcdedit.exe /set {current} bootmenupolicy standard";

constexpr std::u16string_view kAskSafe = u"重启到安全模式?";
constexpr std::u16string_view kAskSafeNet = u"重启到带网络的安全模式?";
constexpr std::u16string_view kAskSafeCmd =
    u"仅使用命令提示符重启到安全模式?\r\n\r\n"
    u"(一旦到了这里, 您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 'kestrune "
    u"/reboot'重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
    u"或简单的输入适用于所有选项的 \"kestrune\".)";
constexpr std::u16string_view kBootIniFailed = u"无法对 Boot.INI 文件进行必要的更改, 正在中止.";

constexpr std::u16string_view kMarkerScript = u"kestrune.cmd";
constexpr std::u16string_view kSafeShell = u"cmd.exe";

const AppEnv& Env() {
  // Before InitApp there are no facts: every one reads as empty or false.
  static const AppEnv kNoFacts{};
  return HasCtx() && Ctx().env ? *Ctx().env : kNoFacts;
}

std::u16string QuotedExe() {
  return u"\"" + Env().AppEXE + u"\"";
}

// Runs one boot-tool command line ("bcdedit.exe /set ...") hidden, the tool from the system
// folder, and waits for its end. True when it ran and exited 0; a tool that could not be started,
// whose exit code could not be read, or that failed is logged with what it got.
bool RunBootTool(const Proc& p, std::u16string_view tool_command) {
  const std::u16string command_line =
      SystemToolCommand(kBootTool, tool_command.substr(kBootTool.size() + 1));
  std::u16string error;
  std::int32_t exit_code = 0;
  bool ran = false;
  p.Step([&] {
    ran = ShellAndWait(command_line, kShellHide, error, kToolTimeoutMS, false, exit_code);
  });
  if (!ran) {
    p.Log(u"The boot configuration tool could not be run.", debug::Event_Normal,
          u"sCommandLine=" + command_line + u", sError=" + error);
    return false;
  }
  if (exit_code != 0) {
    p.Log(u"The boot configuration tool reported a failure.", debug::Event_Normal,
          u"sCommandLine=" + command_line + u", lExitCode=" + Dec(exit_code));
    return false;
  }
  return true;
}

// Whether the next boot still carries the Safe Mode element: bcdedit lists the element by its
// name (lower case, never translated), and find answers 0 when it printed a line, 1 when none.
// The trailing blank keeps "safebootalternateshell" out; no /i, which not every find knows.
// nullopt when the answer could not be had.
// The query runs through cmd without its start hooks: with the command prompt variant's hook in
// place, a cmd that ran it would start this program's undo again, which asks again, and so on.
std::optional<bool> SafeBootStillSet(const Proc& p) {
  const std::u16string query =
      CmdCommandLine(SystemToolCommand(kBootTool, u"/enum {current}") + u" | " +
                     SystemToolCommand(u"find.exe", u"\"safeboot \""));
  std::u16string error;
  std::int32_t exit_code = -1;
  bool ran = false;
  p.Step([&] { ran = ShellAndWait(query, kShellHide, error, kToolTimeoutMS, false, exit_code); });
  p.Created({u"sQuery", query, u"lExitCode", exit_code});
  if (ran && (exit_code == 0 || exit_code == 1)) return exit_code == 0;
  p.Log(u"Whether the Safe Mode boot setting is still there could not be found out.",
        debug::Event_Normal, u"sError=" + error + u", lExitCode=" + Dec(exit_code));
  return std::nullopt;
}

// True when the text value reads back exactly as expected.
bool ReadsBack(const Proc& p, std::u16string_view key, std::u16string_view value,
               std::u16string_view expected) {
  Value value_read;
  bool ok = false;
  p.Step([&] {
    ok = RegReadValue(kHKEY_LOCAL_MACHINE, key, value, platform::kREG_SZ, Value(u""), value_read);
  });
  const auto* text = value_read.get_if<std::u16string>();
  if (ok && text && *text == expected) return true;
  p.Log(u"The undo hook did not read back as written.", debug::Event_Normal,
        u"sValue=" + HklmName(key, value) + u", sExpected=" + std::u16string(expected) +
            u", sRead=" + (text ? *text : std::u16string()));
  return false;
}

// RemoveMods; `ask_store`: when the Safe Mode setting could not be deleted, ask the boot store
// whether it is still there and, if so, keep the way back (RemoveMods asks on the way back to
// normal only: a configuration that starts by clearing an earlier one sets its own hooks).
bool RemoveModifications(bool full, bool ask_store);

// Undoes a configuration that did not take and tells the user that nothing will restart. A
// temporary administrator this configuration made goes with it: a passwordless administrator
// must not outlive the configuration it was made for. Should the boot setting itself refuse to
// go, RemoveMods keeps the way back, and the user is told that instead of "undone".
void AbandonConfiguration(const Proc& p, std::u16string_view failed, TempAdminOutcome temp_admin) {
  p.Log(u"Safe Mode configuration failed; undoing it, no restart.", debug::Event_Normal,
        u"sFailed=" + std::u16string(failed));
  bool undone = true;
  p.Step([&] { undone = RemoveModifications(false, /*ask_store=*/true); });
  if (temp_admin != TempAdminOutcome::kNotNeeded) {
    p.Log(u"The temporary administrator made for this configuration is deleted again.",
          debug::Event_Normal, u"sUserName=" + std::u16string(kTempAdminUser));
    p.Step([&] { DeleteTempAdminUser(); });
  }
  p.Step([&] { ShowFailure(undone ? kConfigFailedNotice : kUndoFailedNotice, failed); });
}

// Writes the undo hook of the variant and reads it back; returns what failed ("" when it took).
std::u16string WriteUndoHook(const Proc& p, SafeMode mode) {
  if (mode == SafeMode::kCommandPrompt) {
    p.Step([&] { SetCMDAutorun(); });
    if (!ReadsBack(p, kSafeBootKey, u"AlternateShell", kSafeShell))
      return HklmName(kSafeBootKey, u"AlternateShell");
    if (!ReadsBack(p, kCommandProcessorKey, u"Autorun", QuotedExe() + u" /undo"))
      return HklmName(kCommandProcessorKey, u"Autorun");
    // The reminder tells the user to type "kestrune /normal" at the Safe Mode prompt: without
    // the script (a folder of that name, say) that way back is not there.
    std::u16string script = Env().DirBS_Windows + std::u16string(kMarkerScript);
    bool written = false;
    p.Step([&] { written = FileExist(script); });
    if (!written) return script;
    return u"";
  }
  p.Step([&] { AddMeToRunOnce(kRemoveSwitch, kRunOnceEntryName); });
  const std::u16string name = u"*" + std::u16string(kRunOnceEntryName);
  if (!ReadsBack(p, kRunOnceKey, name, RunOnceCommand(kRemoveSwitch)))
    return HklmName(kRunOnceKey, name);
  return u"";
}

// The marker script's line, `"AppEXE" %1` and CR LF, in the bytes cmd.exe reads a batch file in:
// the OEM code page, not the ANSI one (they differ on most Western systems, 1252 beside 850 or
// 437). A path that code page cannot hold is written in its short (8.3) form, which is plain
// ASCII; nullopt (logged) when neither works.
std::optional<std::string> MarkerScriptLine(const Proc& p) {
  const platform::UINT oem = OS().sys.GetOEMCP();
  std::optional<std::string> line = EncodeText(QuotedExe() + u" %1\r\n", oem);
  if (line) return line;
  const std::u16string short_exe = ShortPath(Env().AppEXE);
  if (!short_exe.empty()) line = EncodeText(u"\"" + short_exe + u"\" %1\r\n", oem);
  p.Log(line ? u"The program's path cannot be written in the console code page; the marker script "
               u"names it by its short form."
             : u"The program's path cannot be written in the console code page, not even in its "
               u"short form.",
        debug::Event_Normal,
        u"sFile=" + Env().AppEXE + u", sShortFile=" + short_exe + u", lCodePage=" + Dec(oem));
  return line;
}

void RepairSafeBoot(const Proc& p) {
  p.Step([&] { RepairSafeBootLocal(); });
}

// Sets the boot mode of the variant: the boot store on Vista and later, boot.ini before. Returns
// what failed ("" when it took).
std::u16string SetBootSetting(const Proc& p, SafeMode mode) {
  if (!Env().WinVista_OrNewer) {
    bool edited = false;
    p.Step([&] { edited = BootIniSafeMod(mode); });
    return edited ? u"" : std::u16string(kBootIniFailed);
  }
  // The command prompt as shell is set before Safe Mode itself: on its own it changes nothing,
  // while Safe Mode without it would start Explorer, which the command prompt's hook does not
  // reach.
  if (mode == SafeMode::kCommandPrompt && !RunBootTool(p, kSetAltShell))
    return std::u16string(kSetAltShell);
  const std::u16string_view set = mode == SafeMode::kNetwork ? kSetNetwork : kSetMinimal;
  if (!RunBootTool(p, set)) return std::u16string(set);
  return u"";
}

// The common road of DoSafe and DoSafeNet after the question. The undo hook is written (and
// read back) before the boot setting, so that at no moment - a power cut included - does the
// next boot go to Safe Mode without something that brings the program back.
bool Configure(const Proc& p, SafeMode mode, const ConfigureOptions& options) {
  RepairSafeBoot(p);
  p.Step([&] { RemoveMods(false); });

  TempAdminOutcome temp_admin = TempAdminOutcome::kNotNeeded;
  if (Env().WinVista_OrNewer) {
    if (options.temp_admin) p.Step([&] { temp_admin = CreateTempAdminUser(); });
    if (temp_admin == TempAdminOutcome::kFailed) {
      AbandonConfiguration(p, kCreateTempAdminCommand, temp_admin);
      return false;
    }
    p.Step([&] { BackupBCD(); });
  }

  const std::u16string failed_hook = WriteUndoHook(p, mode);
  if (!failed_hook.empty()) {
    AbandonConfiguration(p, failed_hook, temp_admin);
    return false;
  }
  const std::u16string failed_setting = SetBootSetting(p, mode);
  if (!failed_setting.empty()) {
    if (Env().WinVista_OrNewer) {
      AbandonConfiguration(p, failed_setting, temp_admin);
    } else {
      // boot.ini told its own failure; the hook written for it goes again, unless boot.ini
      // could not be restored and still starts Safe Mode: then the hook stays, and that is told.
      bool undone = true;
      p.Step([&] { undone = RemoveModifications(false, /*ask_store=*/true); });
      p.Step([&] {
        if (undone) {
          ShowMessage(kBootIniFailed, kStyleOk);
        } else {
          ShowFailure(kUndoFailedNotice, BootIniPath());
        }
      });
    }
    return false;
  }
  if (Env().WinVista_OrNewer && options.enable_f8) p.Step([&] { EnableF8Menu(); });
  if (options.restart) p.Step([&] { RestartWindows(kForcedShutdown); });
  return true;
}

// The restart question: true to go on. Any answer but Yes declines.
bool AskRestart(const Proc& p, std::u16string_view prompt) {
  std::int32_t answer = 0;
  p.Step([&] { answer = ShowMessage(prompt, kStyleYesNoQuestion); });
  if (answer == platform::kIDYES) return true;
  p.Step([&] { Ctx().RestartDeclined = true; });
  return false;
}

}  // namespace

std::u16string HklmName(std::u16string_view key, std::u16string_view value) {
  return u"HKEY_LOCAL_MACHINE\\" + std::u16string(key) + u"\\" + std::u16string(value);
}

void ShowFailure(std::u16string_view notice, std::u16string_view failed) {
  ShowMessage(std::u16string(notice) + u"\r\n\r\n" + std::u16string(failed), kStyleCritical);
}

std::u16string RunOnceCommand(std::u16string_view param) {
  // /d: with the command processor hook also in place (a retry armed on the command prompt
  // variant), a cmd that ran it would start a second copy of the program beside this one.
  return u"cmd /d /c start \"\" " + QuotedExe() + u" " + std::u16string(param);
}

bool DoSafe(bool command_prompt, const ConfigureOptions& options) {
  Proc p(kModule, u"DoSafe", Kind::Function);
  p.Args({u"bCommandPrompt", command_prompt, u"bRestart", options.restart, u"bEnableF8",
          options.enable_f8, u"bTempAdmin", options.temp_admin});
  bool configured = false;
  if (!options.restart || AskRestart(p, command_prompt ? kAskSafeCmd : kAskSafe)) {
    configured =
        Configure(p, command_prompt ? SafeMode::kCommandPrompt : SafeMode::kMinimal, options);
  }
  p.Result(configured);
  return configured;
}

bool DoSafeNet(const ConfigureOptions& options) {
  Proc p(kModule, u"DoSafeNet", Kind::Function);
  p.Args({u"bRestart", options.restart, u"bEnableF8", options.enable_f8, u"bTempAdmin",
          options.temp_admin});
  bool configured = false;
  if (!options.restart || AskRestart(p, kAskSafeNet))
    configured = Configure(p, SafeMode::kNetwork, options);
  p.Result(configured);
  return configured;
}

bool ConfigureSafeMode(SafeMode mode, const ConfigureOptions& options) {
  if (mode == SafeMode::kNetwork) return DoSafeNet(options);
  return DoSafe(mode == SafeMode::kCommandPrompt, options);
}

bool DoSafeNetNoReboot(bool enable_f8, bool temp_admin) {
  Proc p(kModule, u"DoSafeNetNoReboot", Kind::Function);
  p.Args({u"bEnableF8", enable_f8, u"bTempAdmin", temp_admin});
  bool result = false;
  RepairSafeBoot(p);
  p.Step([&] { RemoveMods(false); });
  if (Env().WinVista_OrNewer) {
    TempAdminOutcome made = TempAdminOutcome::kNotNeeded;
    if (temp_admin) p.Step([&] { made = CreateTempAdminUser(); });
    p.Step([&] { BackupBCD(); });
    // Scripts call this: a failure is only logged (by RunBootTool), never shown.
    result = made != TempAdminOutcome::kFailed && RunBootTool(p, kSetNetwork);
    if (!result && made != TempAdminOutcome::kNotNeeded) {
      // No Safe Mode to sign in to: the passwordless administrator made for it goes again.
      p.Log(u"Safe Mode was not configured; the temporary administrator is deleted again.",
            debug::Event_Normal, u"sUserName=" + std::u16string(kTempAdminUser));
      p.Step([&] { DeleteTempAdminUser(); });
    }
    if (result && enable_f8) p.Step([&] { EnableF8Menu(); });
  } else {
    p.Step([&] { result = BootIniSafeMod(SafeMode::kNetwork); });
  }
  p.Result(result);
  return result;
}

bool RemoveMods(bool full) {
  return RemoveModifications(full, /*ask_store=*/full);
}

namespace {

bool RemoveModifications(bool full, bool ask_store) {
  Proc p(kModule, u"RemoveMods", Kind::Function);
  p.Args({u"bFull", full});
  const std::u16string entry = u"*" + std::u16string(kRunOnceEntryName);
  // The boot setting goes before the hooks: a power cut in between then leaves a normal boot
  // with a hook that only cleans up, never Safe Mode without a hook.
  bool safe_boot_gone = true;
  if (Env().WinVista_OrNewer) {
    // Either element may be absent (the tool then fails): nothing to undo is no failure.
    safe_boot_gone = RunBootTool(p, kDeleteSafeBoot);
    RunBootTool(p, kDeleteAltShell);
  } else if (full || BootIniBackupExists()) {
    p.Step([&] { safe_boot_gone = BootIniUndoMod(); });
  } else {
    // Clearing up before a configuration (or after a failed one): without a backup boot.ini was
    // never changed, which is no reason for a notice.
    p.Log(u"No boot.ini backup exists; boot.ini was not changed and is not restored.",
          debug::Event_Normal, u"sFile=" + BootIniPath());
  }
  // A failed delete is either an element that was not there (nothing to undo) or one that
  // stays: then the next boot is Safe Mode again and must bring the program back to try once
  // more, or the machine would stay there. bcdedit answers both with the same exit code, so the
  // store is asked; a failed restore of boot.ini may have left it either way, so boot.ini is
  // read. Without an answer, running in Safe Mode is taken as the sign that the setting is there.
  bool keep_way_back = false;
  if (!safe_boot_gone && ask_store) {
    std::optional<bool> still_set;
    if (Env().WinVista_OrNewer) {
      still_set = SafeBootStillSet(p);
    } else {
      p.Step([&] { still_set = BootIniStartsSafeMode(); });
    }
    keep_way_back = still_set ? *still_set : !Env().WinMode_Normal;
  }
  // What stayed, as the log and the notice name it.
  const std::u16string undo_failed =
      Env().WinVista_OrNewer ? std::u16string(kDeleteSafeBoot) : BootIniPath();
  p.Created({u"bSafeBootGone", safe_boot_gone, u"bKeepWayBack", keep_way_back});
  p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kKestruneKey, u"BootMode"); });
  if (keep_way_back) {
    p.Log(
        u"The Safe Mode boot setting could not be removed; the program will run again on the "
        u"next boot to retry.",
        debug::Event_Normal, (Env().WinVista_OrNewer ? u"sCommandLine=" : u"sFile=") + undo_failed);
    // The command processor hook stays for a command prompt shell; the entry serves the rest.
    p.Step([&] { AddMeToRunOnce(kRemoveSwitch, kRunOnceEntryName); });
    // On the way back to normal the user is told here; a caller that was configuring says it.
    if (full) p.Step([&] { ShowFailure(kUndoFailedNotice, undo_failed); });
  } else {
    p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kRunOnceKey, entry); });
    p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun"); });
  }
  if (full) {
    p.Step([&] { FileDelete(Env().DirBS_Windows + std::u16string(kMarkerScript)); });
    p.Step([&] { DeleteTempAdminUser(); });
  }
  p.Result(!keep_way_back);
  return !keep_way_back;
}

}  // namespace

void BackupBCD() {
  Proc p(kModule, u"BackupBCD", Kind::Sub);
  const std::u16string file = Env().SystemDriveBS + u"BCDbak";
  p.Created({u"sFile", file});
  bool exists = true;
  p.Step([&] { exists = FileExist(file); });
  if (exists) return;
  RunBootTool(p, u"bcdedit.exe /export " + file);
}

void SetCMDAutorun() {
  Proc p(kModule, u"SetCMDAutorun", Kind::Sub);
  p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun"); });
  p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kSafeBootKey, u"AlternateShell"); });
  p.Step([&] {
    RegWriteValue(kHKEY_LOCAL_MACHINE, kSafeBootKey, u"AlternateShell", platform::kREG_SZ,
                  Value(kSafeShell));
  });
  p.Step([&] {
    RegWriteValue(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun", platform::kREG_SZ,
                  Value(QuotedExe() + u" /undo"));
  });
  const std::u16string script = Env().DirBS_Windows + std::u16string(kMarkerScript);
  p.Step([&] { FileDelete(script); });
  bool saved = false;
  p.Step([&] {
    const std::optional<std::string> line = MarkerScriptLine(p);
    saved = line && FileWriteBytes(script, *line);
  });
  if (!saved) p.Log(u"The marker script could not be written.", debug::Event_Normal, script);
}

void AddMeToRunOnce(std::u16string_view param, std::u16string_view entry_name) {
  Proc p(kModule, u"AddMeToRunOnce", Kind::Sub);
  p.Args({u"sParam", param, u"sEntryName", entry_name});
  const std::u16string cmd = RunOnceCommand(param);
  p.Created({u"sCmd", cmd});
  p.Step([&] {
    RegWriteValue(kHKEY_LOCAL_MACHINE, kRunOnceKey, u"*" + std::u16string(entry_name),
                  platform::kREG_SZ, Value(cmd));
  });
}

bool RunOnceEntryWritten(std::u16string_view param) {
  Proc p(kModule, u"RunOnceEntryWritten", Kind::Function);
  p.Args({u"sParam", param});
  const bool result =
      ReadsBack(p, kRunOnceKey, u"*" + std::u16string(kRunOnceEntryName), RunOnceCommand(param));
  p.Result(result);
  return result;
}

void EnableF8Menu() {
  Proc p(kModule, u"EnableF8Menu", Kind::Sub);
  RunBootTool(p, kF8OnDefault);
  RunBootTool(p, kF8OnCurrent);
}

void DisableF8Menu() {
  Proc p(kModule, u"DisableF8Menu", Kind::Sub);
  RunBootTool(p, kF8OffDefault);
  RunBootTool(p, kF8OffCurrent);
}

}  // namespace kes
