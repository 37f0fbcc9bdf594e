#include "app/dispatch.h"

#include <string>

#include "app/accounts.h"
#include "app/exit_codes.h"
#include "app/main_window.h"
#include "app/safeboot.h"
#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup_helpers.h"
#include "framework/process/shutdown.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"KestruneMain";

constexpr std::u16string_view kNextBootPrompt =
    u"您是否要将下一次的 Windows 重启配置为 \"正常模式\"?\r\n\r\n"
    u"选择 \"否\" 继续 \"安全模式\" 配置, 或点击\"取消\"取消所有选项选择.";
constexpr std::u16string_view kCommandPromptReminder =
    u"请记住:  您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 \"kestrune /reboot\" "
    u"重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
    u"或简单的输入适用于所有选项的 \"kestrune\".";
constexpr std::u16string_view kNetworkNotice =
    u"Kestrune 可能正在从网络上运行, 请在使用前将 Kestrune.exe 复制到本地计算机中.\r\n\r\n"
    u"(如果 Windows 现在以安全模式重新启动, 则在重新启动时无法访问 Kestrune.exe 以删除此临时配置, "
    u"这可能会使您陷入安全模式中!)";

}  // namespace

std::int32_t ShowMessage(std::u16string_view text, std::int32_t style, std::u16string_view title) {
  Proc p(kModule, u"ShowMessage", Kind::Function);
  p.Args({u"sText", text, u"lStyle", style, u"sTitle", title});
  std::int32_t result = 0;
  p.Step([&] {
    const std::u16string text_z(text);
    const std::u16string title_z(title);
    result =
        OS().ui.MessageBoxW(0, text_z.c_str(), title_z.c_str(), static_cast<platform::UINT>(style));
    if (result == 0) p.LogAPI(u"MessageBoxW");
  });
  p.Result(result);
  return result;
}

void AppMainSub() {
  Proc p(kModule, u"AppMainSub", Kind::Sub);
  std::u16string args;
  p.Step([&] {
    if (Ctx().env) args = Ctx().env->AppInst_CommandLineArgs_String;
  });
  // The argument text is compared whole: "/safe now" is not "/safe".
  const std::u16string sw = LowerCase(args);
  if ((sw == u"/remove" || sw == u"/undo") && Ctx().env && !Ctx().env->WinMode_Normal) {
    // Windows deleted the one-time entry before it ran it: on the Safe Mode boot it is written
    // again first of all, or a power cut now would leave Safe Mode with nothing to bring the
    // program back.
    p.Step([&] { AddMeToRunOnce(kRemoveSwitch, kRunOnceEntryName); });
  }
  p.Step([&] { InitVisualStyles(true); });

  if (args.empty()) {
    p.Step([&] { ShowMainWindow(); });
    return;
  }

  ExitCode code = ExitCode::kDone;
  // A configuration that returned false was declined or failed: the restart question says which.
  const auto configured = [&code](bool done) {
    if (!done) code = Ctx().RestartDeclined ? ExitCode::kDeclined : ExitCode::kConfigurationFailed;
  };
  p.Step([&] {
    if (sw == u"/reboot" || sw == u"/restart") {
      if (!RestartWindows(kForcedShutdown)) code = ExitCode::kRestartRefused;
    } else if (sw == u"/normal") {
      // When the Safe Mode setting stays, the user has been told that the program retries on
      // the next boot; nothing may then claim a normal boot.
      if (!RemoveMods(true)) {
        code = ExitCode::kReturnIncomplete;
        return;
      }
      if (ShowMessage(kNormalRestartPrompt, kStyleYesNoQuestion, kNormalRestartTitle) ==
          platform::kIDYES) {
        if (!RestartWindows(kForcedShutdown)) code = ExitCode::kRestartRefused;
      } else {
        ShowMessage(kNormalNextTime, kStyleOk);
      }
    } else if (sw == u"/deletetempadminuser") {
      DeleteTempAdminUser();
    } else if (sw == u"/remove" || sw == u"/undo") {
      if (!RestartNormallyPrompt()) {
        code = ExitCode::kDeclined;
      } else if (!RemoveMods(true)) {
        code = ExitCode::kReturnIncomplete;
      }
    } else if (sw == u"/safe" || sw == u"/safecmd") {
      if (AbortOnUNCPath()) {
        code = ExitCode::kNetworkLocation;
        return;
      }
      configured(DoSafe(sw == u"/safecmd", kSwitchOptions));
    } else if (sw == u"/safenet") {
      // Safe Mode with networking can still reach the program's share on the next boot.
      configured(DoSafeNet(kSwitchOptions));
    } else if (sw == u"/safenet-noreboot") {
      configured(DoSafeNetNoReboot(true, true));
    } else {
      // The user is not told (the program simply ends), but the log keeps what was asked.
      p.Log(u"The argument text matches no switch; nothing to do.", debug::Event_Normal,
            u"sArgs=" + args);
      code = ExitCode::kNotASwitch;
    }
  });
  // A run that ends in the window (Cancel on the Safe Mode boot) ends as the window's runs do.
  if (Ctx().main_window) code = ExitCode::kDone;
  Ctx().exit_status = static_cast<std::int32_t>(code);
  p.Created({u"sArgs", args, u"lExitCode", static_cast<std::int32_t>(code)});
}

bool RestartNormallyPrompt() {
  Proc p(kModule, u"RestartNormallyPrompt", Kind::Function);
  bool result = false;
  std::int32_t boot_mode = 0;
  p.Step([&] {
    Value mode;
    RegReadValue(platform::kHKEY_LOCAL_MACHINE, kKestruneKey, u"BootMode", platform::kREG_DWORD,
                 Value(std::int32_t{0}), mode);
    if (const auto* n = mode.get_if<std::int32_t>()) boot_mode = *n;
  });
  p.Created({u"lBootMode", boot_mode});

  const std::optional<SafeMode> recorded = SafeModeFromBootMode(boot_mode);
  if (!recorded && boot_mode != 0) {
    p.Log(u"BootMode names no Safe Mode variant; it is treated as absent.", debug::Event_Normal,
          u"lBootMode=" + Dec(boot_mode));
  }
  if (!recorded) {
    // Nothing recorded: the undo goes ahead without a question.
    p.Result(true);
    return true;
  }

  std::int32_t answer = 0;
  p.Step([&] { answer = ShowMessage(kNextBootPrompt, kStyleYesNoCancelQuestion); });
  p.Created({u"lAnswer", answer});
  if (answer == platform::kIDYES) {
    result = true;
  } else {
    // No or Cancel: Safe Mode stays, and the question comes again on the next Safe Mode boot -
    // but only with the entry that brings the program back there. Without it the machine would
    // stay in Safe Mode for good, so the configuration is taken back instead.
    bool entry = false;
    p.Step([&] { AddMeToRunOnce(kRemoveSwitch, kRunOnceEntryName); });
    p.Step([&] { entry = RunOnceEntryWritten(kRemoveSwitch); });
    if (!entry) {
      result = true;
      p.Step([&] {
        ShowFailure(kConfigFailedNotice,
                    HklmName(kRunOnceKey, u"*" + std::u16string(kRunOnceEntryName)));
      });
    }
    if (answer == platform::kIDCANCEL) {
      p.Step([&] { ShowMainWindow(); });
    } else if (entry && recorded == SafeMode::kCommandPrompt) {
      p.Step([&] { ShowMessage(kCommandPromptReminder, kStyleOk); });
    }
  }
  p.Result(result);
  return result;
}

bool AbortOnUNCPath() {
  Proc p(kModule, u"AbortOnUNCPath", Kind::Function);
  bool result = false;
  p.Step([&] { result = IsNetworkPath(u""); });
  if (result) p.Step([&] { ShowMessage(kNetworkNotice, kStyleOk); });
  p.Result(result);
  return result;
}

}  // namespace kes
