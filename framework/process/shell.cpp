#include "framework/process/shell.h"

#include <exception>
#include <utility>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/process/exit_wait.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using platform::DWORD;
using platform::HANDLE;

// Query access is what the exit-code read needs; SYNCHRONIZE lets the wait sleep on the
// process itself instead of polling blindly.
constexpr DWORD kWaitAccess = platform::kPROCESS_QUERY_INFORMATION | platform::kSYNCHRONIZE;

constexpr char16_t kTimedOutText[] = u"ShellX (Failed) The process has timed out.";

debug::RuntimeErrorException ShellError(DWORD api_error) {
  switch (api_error) {
    case platform::kERROR_FILE_NOT_FOUND:
    case platform::kERROR_PATH_NOT_FOUND:
      return {{53, u"File not found", u"Kestrune"}};
    case platform::kERROR_ACCESS_DENIED:
      return {{70, u"Permission denied", u"Kestrune"}};
    default:
      return {{5, u"Invalid procedure call or argument", u"Kestrune"}};
  }
}

// A started process: its ID and the handle the launch gave, which keeps the process object (and
// so its exit code and its ID) alive until the wait is over.
struct Launched {
  platform::UniqueHandle process;
  DWORD pid = 0;
};

// The shell launcher: starts a whole command line (the system finds the program) with a
// shell window style. A failure is raised as a run-time error; `p`, when given, first gets the
// system call's error entry.
Launched ShellLaunch(std::u16string_view command_line, std::int32_t window_style,
                     const debug::Proc* p) {
  if (window_style < kShellHide || window_style > kShellMinimizedNoFocus || window_style == 5)
    throw debug::RuntimeErrorException{{5, u"Invalid procedure call or argument", u"Kestrune"}};
  std::u16string cmd(command_line);  // CreateProcessW may write into its command line
  platform::STARTUPINFOW si;
  si.dwFlags = platform::kSTARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<platform::WORD>(window_style);
  // A hidden console program gets its console without a window: nobody could see one, and
  // making a console window costs more than the small tools take to run. (No console at all would
  // cost less still, but then cmd.exe cannot connect the programs of a pipe.)
  const DWORD flags = window_style == kShellHide ? DWORD{platform::kCREATE_NO_WINDOW} : DWORD{0};
  platform::PROCESS_INFORMATION pi;
  if (!OS().proc.CreateProcessW(nullptr, cmd.data(), flags, nullptr, &si, &pi)) {
    const DWORD err = OS().sys.GetLastError();
    if (p) p->LogAPI(u"CreateProcessW", debug::VarsToText({u"sShell", command_line}));
    throw ShellError(err);
  }
  const platform::UniqueHandle thread(OS(), pi.hThread);
  return {platform::UniqueHandle(OS(), pi.hProcess), pi.dwProcessId};
}

// The handle to wait on: the launch's own. Reopening by ID is only the way out where a launch
// gave none, because a child that has ended by then (a fast bcdedit.exe) cannot be reopened, and
// its ID may already belong to another process.
platform::UniqueHandle HandleToWaitOn(Launched& launched) {
  if (launched.process) return std::move(launched.process);
  return platform::UniqueHandle(OS(), OS().proc.OpenProcess(kWaitAccess, 0, launched.pid));
}

}  // namespace

bool ShellX(std::u16string_view path_and_filename, std::u16string_view params, bool wait_for_exit,
            std::int32_t window_style, std::int32_t& exit_code, bool use_timeout,
            std::int32_t timeout_ms) {
  debug::Proc p(u"App_Common", u"ShellX", debug::Kind::Function);
  p.Args({u"sPathAndFilename", path_and_filename, u"sCmdLineParams", params, u"bWait",
          wait_for_exit, u"lWindowStyle", window_style, u"bUseTimeOut", use_timeout, u"lTimeOut",
          timeout_ms});
  p.Vars(debug::Var_PassedByRef, {u"lErrLvl", exit_code});

  if (path_and_filename.empty()) {
    p.Log(u"Passed empty string!");
    p.Result(false);
    return false;
  }
  if (path_and_filename.find(u'\\') != std::u16string_view::npos && !FileExist(path_and_filename)) {
    p.Log(u"File not found!", debug::Event_Normal,
          debug::VarsToText({u"sPathAndFilename", path_and_filename}));
    p.Result(false);
    return false;
  }

  std::u16string shell_command(path_and_filename);
  if (shell_command.find(u' ') != std::u16string::npos)
    shell_command = u"\"" + shell_command + u"\"";
  if (!params.empty()) shell_command += u" " + std::u16string(params);

  bool result = false;
  Launched launched;
  if (!wait_for_exit) {
    {
      FsRedirectionOff redirection_off;
      p.Step([&] { launched = ShellLaunch(shell_command, window_style, &p); });
    }
    const DWORD pid = launched.pid;
    if (pid == 0) {
      p.Log(u"Shell (Failed); Could not obtain a Process ID!", debug::Event_Normal,
            debug::VarsToText({u"sShell", shell_command}));
    }
    result = pid != 0;
  } else {
    platform::UniqueHandle process;
    {
      FsRedirectionOff redirection_off;
      p.Step([&] { launched = ShellLaunch(shell_command, window_style, &p); });
      process = HandleToWaitOn(launched);
      if (!process) p.LogAPI(u"OpenProcess", debug::VarsToText({u"sShell", shell_command}));
    }
    if (process) {
      result = true;
      const ExitWaitResult w = WaitForProcessExit(process.get(), use_timeout, timeout_ms);
      if (w.read_failed) {
        // Its outcome is unknown: a tool whose result cannot be read has not been seen to work.
        OS().sys.SetLastError(w.read_error);
        p.LogAPI(u"GetExitCodeProcess", debug::VarsToText({u"sShell", shell_command}));
        result = false;
      } else if (w.timed_out) {
        p.Log(kTimedOutText, debug::Event_Normal,
              debug::VarsToText({u"sShell", shell_command, u"lErrLvl",
                                 static_cast<std::int32_t>(platform::kSTILL_ACTIVE), u"bUseTimeOut",
                                 use_timeout, u"lTimeOut", timeout_ms}));
        result = false;
      }
      if (!w.read_failed) exit_code = static_cast<std::int32_t>(w.exit_code);
    }
    if (!result)
      p.Log(kTimedOutText, debug::Event_Normal, debug::VarsToText({u"sShell", shell_command}));
    p.Vars(debug::Var_ReturnedByRef, {u"lErrLvl", exit_code});
  }
  p.Result(result);
  return result;
}

bool ShellAndWait(std::u16string_view command_line, std::int32_t window_style,
                  std::u16string& error_text, std::int32_t timeout_ms, bool use_timeout,
                  std::int32_t& exit_code) {
  bool result = false;
  try {
    platform::UniqueHandle process;
    {
      FsRedirectionOff redirection_off;  // also switched back on when the launch raises
      Launched launched = ShellLaunch(command_line, window_style, nullptr);
      process = HandleToWaitOn(launched);
    }
    if (!process) {
      error_text = u"Could not obtain a process handle!";
      return false;
    }
    result = true;
    const ExitWaitResult w = WaitForProcessExit(process.get(), use_timeout, timeout_ms);
    if (w.read_failed) {
      error_text = u"Could not read the exit code of the process! " +
                   debug::GetSystemMsg(static_cast<std::int32_t>(w.read_error), false, false, true);
      return false;
    }
    if (w.timed_out) {
      error_text = u"此进程已超时.";
      result = false;
    }
    exit_code = static_cast<std::int32_t>(w.exit_code);
  } catch (const debug::RuntimeErrorException& e) {
    error_text = e.error.description;
    result = false;
  } catch (const platform::ProcessorFault& f) {
    error_text = debug::GetExceptionDescription(f.code);
    result = false;
  } catch (const std::exception& e) {
    error_text = U16(e.what());
    result = false;
  }
  return result;
}

std::u16string SystemToolPath(std::u16string_view exe) {
  const std::u16string folder = Ctx().env ? Ctx().env->DirBS_System32 : std::u16string();
  return folder + std::u16string(exe);
}

std::u16string SystemToolCommand(std::u16string_view exe, std::u16string_view args) {
  std::u16string path = SystemToolPath(exe);
  if (path.find(u' ') != std::u16string::npos) path = u"\"" + path + u"\"";
  return path + u" " + std::u16string(args);
}

std::u16string CmdArguments(std::u16string_view command) {
  return u"/d /c \"" + std::u16string(command) + u"\"";
}

std::u16string CmdCommandLine(std::u16string_view command) {
  return SystemToolCommand(u"cmd.exe", CmdArguments(command));
}

std::int32_t ToShellWindowStyle(std::int32_t window_style) {
  switch (window_style) {
    case kShellHide:
    case kShellNormalFocus:
    case kShellMinimizedFocus:
    case kShellMaximizedFocus:
    case kShellNormalNoFocus:
    case kShellMinimizedNoFocus:
      return window_style;
    default:
      return kShellHide;
  }
}

}  // namespace kes
