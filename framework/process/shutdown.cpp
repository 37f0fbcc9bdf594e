#include "framework/process/shutdown.h"

#include <string>
#include <string_view>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/process/privileges.h"
#include "framework/process/shell.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::DWORD;
using platform::UINT;

constexpr std::u16string_view kModule = u"App_Common";
constexpr std::u16string_view kFallbackLog = u"API Failure; calling external process.";

// The flag word and the shutdown.exe arguments of one request; the first matching row of the
// table wins: forced, then forced only if hung, then neither.
struct ExitRequest {
  UINT flags = 0;
  std::u16string tool_args;  // each piece with its leading blank
};

ExitRequest ChooseRequest(UINT action, std::u16string_view tool_action,
                          const ShutdownOptions& options) {
  ExitRequest r;
  r.flags = action;
  r.tool_args = std::u16string(tool_action) + u" -t 0";
  if (options.force) {
    r.flags |= platform::kEWX_FORCE;
    r.tool_args += u" -f";
  } else if (options.force_if_hung) {
    r.flags |= platform::kEWX_FORCEIFHUNG;
    r.tool_args += u" -f";
  }
  if (options.restart_apps) r.flags |= platform::kEWX_RESTARTAPPS;
  return r;
}

std::vector<Value> ShutdownArgs(const ShutdownOptions& options) {
  return {u"bForceIfHung", options.force_if_hung, u"bForce",
          options.force,   u"bRestartApps",       options.restart_apps};
}

bool IsVistaOrNewer() {
  return Ctx().env && Ctx().env->WinVista_OrNewer;
}

bool IsWinPE() {
  return Ctx().env && Ctx().env->WinType_PE;
}

// Starts a system tool from the system folder, hidden, without waiting; its outcome is not
// examined.
void StartTool(std::u16string_view tool, std::u16string_view args) {
  std::int32_t exit_code = 0;
  ShellX(SystemToolPath(tool), args, false, kShellHide, exit_code, false, 0);
}

// The end of RestartWindows and LogoffWindows when the system refused: the command-line tool
// that does the same. `winpe_command` is wpeutil's word for it ("Reboot", "Logoff").
void CallExternalFallback(const Proc& p, const std::vector<Value>& args,
                          std::u16string_view tool_args, std::u16string_view winpe_command) {
  if (!IsWinPE()) {
    p.Log(kFallbackLog, debug::Event_Normal, debug::VarsToText(args));
    // ShellX puts one blank between the program and its arguments: the pieces' leading one.
    StartTool(u"shutdown.exe", tool_args.substr(1));
  } else {
    p.Log(std::u16string(kFallbackLog) + u"  (wpeutil.exe)", debug::Event_Normal,
          debug::VarsToText(args));
    StartTool(u"wpeutil.exe", winpe_command);
  }
}

// A run-time error of the shutdown code: its description ends in the system's text for the
// last error, which stays the last error so the handler logs it too.
[[noreturn]] void RaiseShutdownError(std::int32_t number, std::u16string source,
                                     std::u16string_view description, std::u16string_view tail) {
  const DWORD err = OS().sys.GetLastError();
  std::u16string text = std::u16string(description) +
                        debug::GetSystemMsg(static_cast<std::int32_t>(err)) + std::u16string(tail);
  OS().sys.SetLastError(err);
  throw debug::RuntimeErrorException{{number, std::move(text), std::move(source)}};
}

}  // namespace

bool RestartWindows(ShutdownOptions options) {
  Proc p(kModule, u"RestartWindows", Kind::Function);
  const std::vector<Value> args = ShutdownArgs(options);
  p.Args(args);
  bool result = false;
  p.Step([&] {
    if (options.restart_apps && !IsVistaOrNewer()) options.restart_apps = false;
    const ExitRequest r = ChooseRequest(platform::kEWX_REBOOT, u" -r", options);
    result = ShutdownSystem(static_cast<std::int32_t>(r.flags));
    if (!result) {
      CallExternalFallback(p, args, r.tool_args, u"Reboot");
    }
  });
  p.Result(result);
  return result;
}

bool LogoffWindows(ShutdownOptions options) {
  Proc p(kModule, u"LogoffWindows", Kind::Function);
  const std::vector<Value> args = ShutdownArgs(options);
  p.Args(args);
  bool result = false;
  p.Step([&] {
    if (options.restart_apps && !IsVistaOrNewer()) options.restart_apps = false;
    const ExitRequest r = ChooseRequest(platform::kEWX_LOGOFF, u" -l", options);
    result = ShutdownSystem(static_cast<std::int32_t>(r.flags));
    if (!result) {
      CallExternalFallback(p, args, r.tool_args, u"Logoff");
      // wpeutil.exe knows no logoff, and shutdown.exe may refuse its options; logoff.exe has
      // none to get wrong.
      StartTool(u"logoff.exe", u"");
    }
  });
  p.Result(result);
  return result;
}

bool ShutdownSystem(std::int32_t type) {
  Proc p(kModule, u"ShutdownSystem", Kind::Function);
  p.Args({u"eType", type});
  bool result = false;
  p.Step([&] {
    std::u16string message;
    if (!NTEnableShutDown(message)) {
      p.Log(u"Failed to enable privilege!  Trying again with qzr Platform method...",
            debug::Event_Normal);
      if (!SetPrivilegeToken(Value(p.id()), kPrivType_Shutdown, true)) {
        p.Log(u"Aborting; Failed to enable privilege!  (qzr Platform method.)",
              debug::Event_Normal);
        return;
      }
    }
    if (OS().ui.ExitWindowsEx(static_cast<UINT>(type), kShutdownReason) != 0) {
      result = true;
      return;
    }
    const DWORD err = OS().sys.GetLastError();
    p.LogAPI(u"ExitWindowsEx");
    OS().sys.SetLastError(err);
    const std::u16string source =
        (Ctx().env ? Ctx().env->AppEXE_NoPath_NoExt : std::u16string()) + u".mShutDown";
    RaiseShutdownError(kErrShutdownFailed, source, u"关闭系统失败: ", u"");
  });
  p.Result(result);
  return result;
}

bool NTEnableShutDown(std::u16string& message) {
  Proc p(kModule, u"NTEnableShutDown", Kind::Function);
  p.ByRef({u"sMsg", message});
  bool result = false;
  platform::UniqueToken token(OS());
  p.Step([&] {
    const std::u16string source = u"Kestrune.mShutDown";
    platform::LUID luid;
    if (!OS().sec.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid)) {
      RaiseShutdownError(kErrNoShutdownPrivilegeValue, source,
                         u"Can't enable shutdown: Can't find the SE_SHUTDOWN_NAME privilege "
                         u"value. [",
                         u"]");
    }
    const platform::HANDLE process = platform::kCurrentProcess;
    if (process == 0) {
      RaiseShutdownError(kErrNoCurrentProcess, source,
                         u"Can't enable shutdown: Can't determine the current process. [", u"]");
    }
    constexpr std::u16string_view kNoPrivileges =
        u"Can't enable shutdown: You do not have the privileges to shutdown this system. [";
    if (!OS().sec.OpenProcessToken(
            process, platform::kTOKEN_ADJUST_PRIVILEGES | platform::kTOKEN_QUERY, token.put())) {
      token.release();  // a failed open hands back nothing to close
      RaiseShutdownError(kErrCannotAdjustToken, source, kNoPrivileges, u"]");
    }
    platform::TOKEN_PRIVILEGES tp;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Luid = luid;
    tp.Privileges[0].Attributes = platform::kSE_PRIVILEGE_ENABLED;
    if (!OS().sec.AdjustTokenPrivileges(token.get(), 0, &tp, sizeof(tp), nullptr, nullptr))
      RaiseShutdownError(kErrCannotAdjustToken, source, kNoPrivileges, u"]");
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
