#include "framework/process/launcher.h"

#include <optional>
#include <utility>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/fs/path_forms.h"
#include "framework/process/exit_wait.h"
#include "framework/process/launch_values.h"
#include "framework/process/process_queries.h"
#include "framework/process/shell.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using platform::DWORD;
using platform::HANDLE;

constexpr std::u16string_view kModule = u"App_Common";
constexpr DWORD kInputIdleMs = 5500;
constexpr std::int32_t kLongPathChars = 259;

std::u16string ErrorText(DWORD error) {
  return debug::GetSystemMsg(static_cast<std::int32_t>(error));
}

// The text before the last backslash; "" when there is none.
std::u16string ParentFolder(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, slash));
}

std::u16string LowerExtension(std::u16string_view path) {
  const std::size_t dot = path.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string() : LowerCase(path.substr(dot + 1));
}

std::u16string WithNullsShown(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) out += c == 0 ? std::u16string(u"<NULL>") : std::u16string(1, c);
  return out;
}

std::u16string ReplaceAllNoCase(std::u16string text, std::u16string_view what,
                                std::u16string_view with) {
  for (std::size_t at = FindNoCase(text, what); at != std::u16string::npos;
       at = FindNoCase(text, what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

const AppEnv* Env() {
  return Ctx().env.get();
}

// The creation inputs RunX hands to CreateProcessW: the application, the command line (none
// when null) and the folder the program starts in.
struct Creation {
  std::u16string application;
  std::optional<std::u16string> command_line;
  std::u16string directory;
  DWORD flags = 0;
  platform::STARTUPINFOW startup;
};

// One CreateProcessW call with redirection off just around it; the handles go into `pi`.
platform::BOOL Create(const Proc& p, const Creation& c, platform::PROCESS_INFORMATION& pi,
                      DWORD& error) {
  std::u16string command = c.command_line.value_or(u"");
  platform::BOOL ok = 0;
  {
    FsRedirectionOff redirection_off;
    // Windows leaves the last error alone on success: only what this call sets may count.
    OS().sys.SetLastError(0);
    ok = OS().proc.CreateProcessW(c.application.c_str(), c.command_line ? command.data() : nullptr,
                                  c.flags, c.directory.empty() ? nullptr : c.directory.c_str(),
                                  &c.startup, &pi);
    error = OS().sys.GetLastError();
  }
  if (error) {
    OS().sys.SetLastError(error);
    p.LogAPI(u"CreateProcessW", VarsToText({u"sPathAndFilename_W", WithNullsShown(c.application)}));
  }
  return ok;
}

// The last fallback of both roads: the light launcher on `program` and `args`; on success the
// process ID found by the name of what was asked for, and its exit code when waited for.
bool ShellXFallback(RunXResult& r, std::u16string_view program, std::u16string_view args,
                    std::u16string_view looked_up, bool wait_for_exit, std::int32_t show_type,
                    std::int32_t wait_timeout_ms) {
  std::int32_t exit_code = 0;
  if (!ShellX(program, args, wait_for_exit, ToShellWindowStyle(show_type), exit_code,
              wait_timeout_ms >= 1, wait_timeout_ms))
    return false;
  r.lPID = GetPID(looked_up);
  if (wait_for_exit) r.lExitCode = exit_code;
  r.bSuccess = true;
  return true;
}

}  // namespace

DWORD MsgWaitObj(DWORD timeout_ms, const HANDLE* handles, DWORD count) {
  auto& os = OS();
  const bool infinite = timeout_ms == platform::kINFINITE;
  const DWORD deadline = os.sys.timeGetTime() + timeout_ms;  // modulo 2^32
  for (;;) {
    DWORD wait_ms = platform::kINFINITE;
    if (!infinite) {
      // Read as signed, the distance to the deadline stays right across the tick count's wrap.
      const auto remaining = static_cast<std::int32_t>(deadline - os.sys.timeGetTime());
      const auto timeout = static_cast<std::int32_t>(timeout_ms);
      const bool expired = ((remaining ^ timeout) >= 0) ? remaining > timeout : remaining < 0;
      if (expired || remaining < 0) return platform::kWAIT_TIMEOUT;
      wait_ms = static_cast<DWORD>(remaining);
    }
    const DWORD r =
        os.proc.MsgWaitForMultipleObjects(count, handles, 0, wait_ms, platform::kQS_ALLINPUT);
    os.ui.PumpPendingMessages();
    if (r != platform::kWAIT_OBJECT_0 + count) return r;
  }
}

bool ShellExW(std::u16string_view path_and_filename, std::u16string_view cmd_line_params,
              std::int32_t show_type, bool force_run_as_verb, bool force_fail_on_cancelled_uac,
              ShellExOutcome* outcome) {
  Proc p(kModule, u"ShellExW", Kind::Function);
  p.Args({u"sPathAndFilename", path_and_filename, u"sCmdLineParams", cmd_line_params, u"ShowType",
          show_type, u"bForceRunAsVerb", force_run_as_verb, u"bForceFailOnCancelledUAC",
          force_fail_on_cancelled_uac});
  ShellExOutcome local;
  ShellExOutcome& out = outcome ? *outcome : local;
  out = {};
  bool result = false;
  p.Step([&] {
    auto& os = OS();
    // The entry point never loads forms, so the shell's prompts have no owner window.
    const std::u16string_view source_of_hwnd = u"null";
    os.ui.PumpPendingMessages();
    std::u16string verb = force_run_as_verb ? u"runas" : u"open";
    const std::u16string path(path_and_filename);
    // An empty text, never an absent one, so the program gets no parameters at all.
    const std::u16string params(cmd_line_params);
    const std::u16string folder = ParentFolder(path);
    const bool admin = Env() && Env()->AppInst_IsAdmin;
    for (;;) {
      std::intptr_t ret = 0;
      DWORD error = 0;
      {
        FsRedirectionOff redirection_off;
        ret = os.proc.ShellExecuteW(0, verb.c_str(), path.c_str(), params.c_str(),
                                    folder.empty() ? nullptr : folder.c_str(), show_type);
        error = os.sys.GetLastError();
      }
      if (error) {
        os.sys.SetLastError(error);
        p.LogAPI(u"ShellExecute2",
                 VarsToText({u"sVerb", verb, u"sPathAndFilename", path, u"sCmdLineParams", params,
                             u"sPathOnly", folder, u"ShowType", show_type, u"sSourceOf_hWnd",
                             source_of_hwnd}));
      }
      if (error == platform::kERROR_ELEVATION_REQUIRED) {
        if (force_fail_on_cancelled_uac) {
          std::u16string text = u"ShellExW.ShellExecuteW lRet = " + Dec(ret);
          text += u"  Error = ERROR_ELEVATION_REQUIRED  AppRunningAsAdmin = ";
          text += admin ? u"True" : u"False";
          text += u" (LAUNCH FAIL AS ADMIN, NO RETRY SPECIFIED BY BOOLEAN)  verb = ";
          text += verb;
          text += u"  File = [" + path + u"]";
          p.Log(text);
          out.elevation_required = true;
          return;
        }
        if (verb == u"open") {
          p.Log(
              u"ShellExW  Error = ERROR_ELEVATION_REQUIRED  AppRunningAsAdmin = False  verb = "
              u"'open' (retrying run using 'runas' verb!)  File = [" +
              path + u"]");
          verb = u"runas";
          continue;
        }
        // Windows still refuses after the prompt: nothing was started.
        p.Log(
            u"ShellExW  Error = ERROR_ELEVATION_REQUIRED  AppRunningAsAdmin = False  verb = "
            u"'runas' (aborting run, elevation was not granted)  File = [" +
            path + u"]");
        out.elevation_required = true;
        return;
      }
      if (error == platform::kERROR_CANCELLED) {
        // The user said no: the program did not start, which the caller must learn.
        p.Log(u"ShellExW.ShellExecuteW (UAC Prompt Cancelled by User)");
        out.uac_cancelled = true;
        return;
      }
      if (ret < 0 || ret >= 33) {
        result = true;
        return;
      }
      std::u16string text = u"ShellExW.ShellExecuteW lRet = " + Dec(ret);
      text += u"  Error = " + Dec(error) + u" [" + ErrorText(error) + u"]  verb = ";
      text += verb;
      text += u"  (LAUNCH FAIL, NO RETRY)  File = [" + path + u"]";
      p.Log(text);
      return;
    }
  });
  p.Result(result);
  return result;
}

bool RunXShellX(RunXResult& result, std::u16string_view path_and_filename,
                std::u16string_view cmd_line_params, bool wait_for_exit, bool wait_for_init,
                std::int32_t wait_timeout_ms, std::int32_t show_type, bool force_run_as_verb) {
  Proc p(kModule, u"RunXShellX", Kind::Function);
  p.Args({u"sPathAndFilename", path_and_filename, u"sCmdLineParams", cmd_line_params,
          u"bWaitForExit", wait_for_exit, u"bWaitForInit", wait_for_init, u"lWaitTimeoutMS",
          wait_timeout_ms, u"ShowType", show_type, u"bForceRunAsVerb", force_run_as_verb});
  result.bUsedShellFallback = true;
  p.Step([&] {
    ShellExOutcome outcome;
    if (ShellExW(path_and_filename, cmd_line_params, show_type, force_run_as_verb, true,
                 &outcome)) {
      p.Log(u"ShellExW success");
      result.lPID = GetPID(path_and_filename);
      result.bSuccess = true;
      return;
    }
    if (outcome.uac_cancelled || outcome.elevation_required) {
      // Starting it once more without elevation would only be refused again.
      result.bElevationRequired = true;
      result.bUACCancelled = outcome.uac_cancelled;
      p.Log(outcome.uac_cancelled
                ? u"ShellExW Failure (UAC Prompt Cancelled by User); not passing to ShellX"
                : u"ShellExW Failure (ERROR_ELEVATION_REQUIRED); not passing to ShellX");
      return;
    }
    p.Log(u"ShellExW Failure, passing to ShellX");
    if (ShellXFallback(result, path_and_filename, cmd_line_params, path_and_filename, wait_for_exit,
                       show_type, wait_timeout_ms)) {
      p.Log(u"ShellX success");
    } else {
      p.Log(u"ShellX failure!");
    }
  });
  p.Result(result.bSuccess);
  return result.bSuccess;
}

void RunHelper_ProcessWaitForResult(RunXResult& r, HANDLE& process) {
  Proc p(kModule, u"RunHelper_ProcessWaitForResult", Kind::Sub);
  p.Args({u"hProcess", static_cast<std::int64_t>(process)});
  p.Step([&] {
    auto& os = OS();
    const std::u16string tail = u" for [" + r.sPathAndFilename + u"] ([" + r.sPathUsed + u"])";
    if (process && r.lPID != 0) {
      p.Log(u"PID=" + Dec(r.lPID) + u" Process started with valid handle");
    } else if (process) {
      r.lPID = GetPID(r.sPathAndFilename);
      p.Log(u"GetPID=" + Dec(r.lPID) +
            u" Process started with valid handle, but NO PID, trying GetPID then OpenProcess");
    } else {
      if (r.lPID == 0) {
        r.lPID = GetPID(r.sPathAndFilename);
        if (r.lPID == 0) {
          p.Log(u"Aborting after GetPID failure");
          return;
        }
        p.Log(u"GetPID=" + Dec(r.lPID) +
              u" Process started, but Handle invalid and NO PID, trying GetPID then OpenProcess");
      }
      p.Log(u"PID=" + Dec(r.lPID) + u" Process started, but Handle invalid, trying OpenProcess");
      // SYNCHRONIZE as well, so that the exit wait sleeps on the process instead of polling.
      const DWORD access =
          (Env() && Env()->WinVista_OrNewer ? DWORD{platform::kPROCESS_QUERY_LIMITED_INFORMATION}
                                            : DWORD{platform::kPROCESS_QUERY_INFORMATION}) |
          platform::kSYNCHRONIZE;
      process = os.proc.OpenProcess(access, 0, static_cast<DWORD>(r.lPID));
      if (!process) {
        p.Log(u"OpenProcess failure");
        return;
      }
      p.Log(u"OpenProcess success");
      r.bHandleFromOpenProcess = true;
    }

    DWORD code = 0;
    bool read = false;
    if (!r.bWaitForExit) {
      p.Log(u"Aborting WaitForExit; Flag Not Specified");
      if (r.bWaitForInit) {
        const DWORD w = os.proc.WaitForInputIdle(process, kInputIdleMs);
        const std::u16string text = w == platform::kWAIT_FAILED    ? u"WAIT_FAILED"
                                    : w == platform::kWAIT_TIMEOUT ? u"WAIT_TIMEOUT"
                                                                   : u"";
        if (!text.empty()) {
          r.bWaitForInitFailed = true;
          r.sWaitResult = text;
          p.Log(u"(no wait) Failed WaitForInputIdle=" + text +
                (IsProcessRunningByPID(r.lPID) ? u" [ACTIVE PID=" : u" [FAILED PID=") +
                Dec(r.lPID) + u"]" + tail);
        }
      } else {
        p.Log(u"Aborting WaitForInit; Flag Not Specified");
      }
    } else {
      const bool timed = r.lWaitTimeoutMS >= 1;
      const DWORD start = os.sys.timeGetTime();
      const DWORD w = MsgWaitObj(timed ? static_cast<DWORD>(r.lWaitTimeoutMS) : platform::kINFINITE,
                                 &process, 1);
      std::u16string text;
      if (w == platform::kWAIT_FAILED) {
        text = u"WAIT_FAILED";
        p.LogAPI(u"WaitForSingleObject WAIT_FAILED");
      } else if (w == platform::kWAIT_TIMEOUT) {
        text = u"WAIT_TIMEOUT";
        p.Log(u"WaitForSingleObject WAIT_TIMEOUT");
      }
      if (!text.empty()) r.sWaitResult = text;
      if (IsProcessRunningByPID(r.lPID)) {
        const auto elapsed = static_cast<std::int64_t>(os.sys.timeGetTime() - start);
        if (timed && elapsed > r.lWaitTimeoutMS) {
          r.bTimedOut = true;
          p.Log(u"(Process Timeout/STILL_ACTIVE) WaitForSingleObject=" + text + u" [ACTIVE PID=" +
                Dec(r.lPID) + u"]" + tail);
        } else {
          // The same message-aware polling as the shell launchers, for what is left of the time.
          const ExitWaitResult e = WaitForProcessExit(
              process, timed, timed ? r.lWaitTimeoutMS - static_cast<std::int32_t>(elapsed) : 0);
          if (e.timed_out) {
            r.bTimedOut = true;
            p.Log(u"(Process Timeout/STILL_ACTIVE) FAIL: WaitForSingleObject=" + text +
                  u" [ACTIVE PID=" + Dec(r.lPID) + u"]" + tail);
          } else if (!e.read_failed) {
            code = e.exit_code;
            read = true;
          }
        }
      }
    }
    if (!read || code == 0 || code == platform::kSTILL_ACTIVE) {
      code = 0;
      os.proc.GetExitCodeProcess(process, &code);
    }
    r.lExitCode = static_cast<std::int32_t>(code);
  });
}

RunXResult RunX(std::u16string_view path_and_filename, std::u16string_view cmd_line_params,
                bool wait_for_exit, bool wait_for_init, std::int32_t wait_timeout_ms,
                std::int32_t show_type) {
  Proc p(kModule, u"RunX", Kind::Function);
  p.Args({u"sPathAndFilename", path_and_filename, u"sCmdLineParams", cmd_line_params,
          u"bWaitForExit", wait_for_exit, u"bWaitForInit", wait_for_init, u"lWaitTimeoutMS",
          wait_timeout_ms, u"ShowType", show_type});
  RunXResult r;
  r.sPathAndFilename = path_and_filename;
  r.sCmdLineParams = cmd_line_params;
  r.bWaitForExit = wait_for_exit;
  r.bWaitForInit = wait_for_init;
  r.lWaitTimeoutMS = wait_timeout_ms;
  r.ShowType = show_type;
  const std::int32_t show =
      show_type == platform::kSW_SHOWDEFAULT ? platform::kSW_SHOWNORMAL : show_type;
  platform::UniqueHandle created_process(OS());
  platform::UniqueHandle created_thread(OS());
  HANDLE working = 0;
  bool wait = false;

  p.Step([&] {
    const std::u16string path(path_and_filename);
    const std::u16string params(cmd_line_params);
    if (path.find(u'\\') == std::u16string::npos) {
      // A bare name is the shell's to find, never CreateProcessW's search order's.
      if (RunXShellX(r, path, params, wait_for_exit, false, wait_timeout_ms, show_type, false)) {
        p.Log(u"RunX (to ShellX for exe/no path) Success for PID=" + Dec(r.lPID) + u" [" + path +
              u"]");
        wait = true;
      } else {
        p.Log(u"Failure:  RunX (to ShellX for exe/no path)");
      }
      return;
    }

    Creation c;
    c.startup.dwFlags = platform::kSTARTF_USESHOWWINDOW;
    c.startup.wShowWindow = static_cast<platform::WORD>(show);
    const std::u16string extension = LowerExtension(path);
    bool alternate = false;
    std::u16string alt_path = path;
    std::u16string alt_params = params;
    if (extension == u"cpl") {
      GetCPLValuesForRunX(alt_path, alt_params);
      alternate = true;
    } else if (extension == u"bat" || extension == u"cmd") {
      GetBatchFileValuesForRunX(alt_path, alt_params);
      alternate = true;
    }
    if (alternate) {
      c.command_line = alt_params;
    } else {
      if (!Trim(params).empty()) {
        std::u16string name = StripPath(path);
        if (name.find(u' ') != std::u16string::npos) name = u"\"" + name + u"\"";
        c.command_line = name + (params.starts_with(u' ') ? params : u" " + params);
      }
    }

    r.bLongPath = static_cast<std::int32_t>(path.size()) > kLongPathChars;
    r.bWideCharsInPath = UseWideAPI(path);
    std::u16string path_w = path;
    std::u16string folder_w = ParentFolder(path);
    if (r.bLongPath || r.bWideCharsInPath) {
      SetProcFlags(c.flags, 0, false, false);
      PrepPathForUnicodeAPI(path_w);
      PrepPathForUnicodeAPI(folder_w);
    } else {
      SetProcFlags(c.flags, 0, true, false);
    }
    r.lCreationFlags = c.flags;
    r.sPathUsed = WithNullsShown(path_w);
    c.directory = folder_w;

    platform::PROCESS_INFORMATION pi;
    DWORD error = 0;
    platform::BOOL ok = 0;
    if (!alternate) {
      c.application = path_w;
      ok = Create(p, c, pi, error);
    } else {
      p.Log(u"Alt Vars Set for CreateProcessW");
      c.application = alt_path;
      ok = Create(p, c, pi, error);
      // An alternate launch that failed may succeed with the 32-bit tool of a 64-bit Windows.
      const bool retry_kind = error != platform::kERROR_ELEVATION_REQUIRED &&
                              error != platform::kERROR_CANCELLED &&
                              error != platform::kERROR_ACCESS_DISABLED_BY_POLICY;
      if (!ok && retry_kind) {
        const std::u16string text = ErrorText(error);
        if (!(Env() && Env()->Win64bit)) {
          p.Log(u"32bit OS, no retry on error:  " + text);
        } else if (FindNoCase(alt_params, u"System32") == std::u16string::npos &&
                   path.find(u'\\') != std::u16string::npos) {
          p.Log(
              u"64bit OS, but no retry with syswow64 (target path not in system32, or no path "
              u"passed with exe) on error:  " +
              text);
        } else {
          if (FindNoCase(c.application, u"System32") != std::u16string::npos) {
            c.application = ReplaceAllNoCase(c.application, u"System32", u"SysWOW64");
            p.Log(
                u"64bit OS, retry with sPathAndFilename_Alt_W modified to replace system32 "
                u"with syswow64 (target path in system32) on error:  " +
                text);
          } else {
            p.Log(u"64bit OS, retry with no modification? (no path passed with exe?) on error:  " +
                  text);
          }
          error = 0;
          ok = Create(p, c, pi, error);
        }
      }
    }
    created_process.reset(ok ? pi.hProcess : 0);
    created_thread.reset(ok ? pi.hThread : 0);

    if (!ok) {
      if (!FileExistByStringPointer(path_w)) {
        r.bFileNotFound = true;
        p.Log(
            u"RunX (post run check reveals FILE NOT FOUND via FileExistByStringPointer) error:  " +
            ErrorText(error));
        return;
      }
      switch (error) {
        case platform::kERROR_ELEVATION_REQUIRED:
          p.Log(u"elevation req");
          r.bElevationRequired = true;
          if (RunXShellX(r, path, params, wait_for_exit, false, wait_timeout_ms, show_type, true)) {
            p.Log(u"RunX (to ShellX for ERROR_ELEVATION_REQUIRED) Success for PID=" + Dec(r.lPID) +
                  u" [" + path + u"]");
            wait = true;
          } else {
            p.Log(u"Failure:  RunX (to ShellX for ERROR_ELEVATION_REQUIRED)");
          }
          return;
        case platform::kERROR_CANCELLED:
          // Declined: the program did not run, so this is no success.
          p.Log(u"RunX (UAC Prompt Cancelled by User)");
          r.bUACCancelled = r.bElevationRequired = true;
          return;
        case platform::kERROR_ACCESS_DISABLED_BY_POLICY:
          p.Log(u"RunX (Blocked by Software Restriction Policy)");
          r.bBlockedByPolicy = true;
          return;
        default:
          break;
      }
      p.Log(u"RunX -> ShellX / RunX (no wait) on CreateProcessW Fail " + ErrorText(error));
      r.bUsedShellFallback = true;
      std::u16string program = path;
      std::u16string args = params;
      if (alternate) {
        std::u16string quoted = path;
        EnsureWrappingChr(quoted, u"\"");
        if (extension == u"cpl") {
          program = u"control.exe";
          args = quoted;
        } else {
          program = u"cmd.exe";
          args = u"/c " + quoted + (params.empty() ? u"" : u" " + params);
        }
      }
      p.Log(ShellXFallback(r, program, args, path, wait_for_exit, show_type, wait_timeout_ms)
                ? u"ShellX returned success"
                : u"ShellX returned failure");
      return;
    }

    r.bSuccess = true;
    r.lPID = static_cast<std::int32_t>(pi.dwProcessId);
    r.lThreadID = static_cast<std::int32_t>(pi.dwThreadId);
    working = pi.hProcess;
    if (working) {
      p.Log(u"CreateProcessW success (PID=" + Dec(r.lPID) + u")");
    } else {
      r.bNoProcessHandle = true;
      p.Log(r.lPID > 1
                ? u"CreateProcessW success (PID=" + Dec(r.lPID) + u"), but no handle in hProcess!"
                : std::u16string(u"CreateProcessW success, but no handle in hProcess!"));
    }
    wait = true;
    switch (error) {
      case 0:
        break;
      case platform::kERROR_ACCESS_DENIED:
        p.Log(
            u"CreateProcessW success?  (access denied...)  Doing nothing, allowing to proceed...");
        break;
      case platform::kERROR_NO_MORE_FILES:
        p.Log(
            u"RunX (ERROR_NO_MORE_FILES, possible permissions and/or app that started asInvoker "
            u"but re-launched itself again with UAC) for [" +
            path + u"] ([" + path_w + u"])");
        r.bElevationRequired = true;
        break;
      case platform::kERROR_ELEVATION_REQUIRED:
        p.Log(u"Elevation Required (on CreateProcess success)");
        r.bElevationRequired = true;
        break;
      case platform::kERROR_CANCELLED:
        p.Log(u"UAC Prompt Cancelled by User");
        r.bUACCancelled = true;
        wait = false;
        break;
      case platform::kERROR_ACCESS_DISABLED_BY_POLICY:
        p.Log(u"Blocked by Software Restriction Policy");
        r.bBlockedByPolicy = true;
        wait = false;
        break;
      default:
        if (r.lPID < 1) p.Log(u"Unknown Error (No Process ID in pi structure!)");
        break;
    }
  });

  if (wait) p.Step([&] { RunHelper_ProcessWaitForResult(r, working); });
  // A handle the wait step opened is its own; those of the creation close with their owners.
  if (working && working != created_process.get()) {
    const platform::UniqueHandle opened_by_wait(OS(), working);
  }
  p.Log(u"RunX Finished=" + std::u16string(r.bSuccess ? u"True" : u"False") + u" ReturnCode=" +
        Dec(r.lExitCode) + u" for PID=" + Dec(r.lPID) + u" [" + r.sPathAndFilename +
        u"] with arguments [" + r.sCmdLineParams + u"]");
  p.Result(r.bSuccess);
  return r;
}

}  // namespace kes
