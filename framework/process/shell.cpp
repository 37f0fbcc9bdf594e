#include "framework/process/shell.h"

#include <exception>
#include <utility>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
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
  platform::PROCESS_INFORMATION pi;
  if (!OS().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi)) {
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

bool ShellX(std::u16string_view sPathAndFilename, std::u16string_view sCmdLineParams, bool bWait,
            std::int32_t lWindowStyle, std::int32_t& lErrLvl, bool bUseTimeOut,
            std::int32_t lTimeOut) {
  debug::Proc p(u"App_Common", u"ShellX", debug::Kind::Function);
  p.Args({u"sPathAndFilename", sPathAndFilename, u"sCmdLineParams", sCmdLineParams, u"bWait", bWait,
          u"lWindowStyle", lWindowStyle, u"bUseTimeOut", bUseTimeOut, u"lTimeOut", lTimeOut});
  p.Vars(debug::Var_PassedByRef, {u"lErrLvl", lErrLvl});

  if (sPathAndFilename.empty()) {
    p.Log(u"Passed empty string!");
    p.Result(false);
    return false;
  }
  if (sPathAndFilename.find(u'\\') != std::u16string_view::npos && !FileExist(sPathAndFilename)) {
    p.Log(u"File not found!", debug::Event_Normal,
          debug::VarsToText({u"sPathAndFilename", sPathAndFilename}));
    p.Result(false);
    return false;
  }

  std::u16string sShell(sPathAndFilename);
  if (sShell.find(u' ') != std::u16string::npos) sShell = u"\"" + sShell + u"\"";
  if (!sCmdLineParams.empty()) sShell += u" " + std::u16string(sCmdLineParams);

  bool result = false;
  Launched launched;
  if (!bWait) {
    {
      FsRedirectionOff redirection_off;
      p.Step([&] { launched = ShellLaunch(sShell, lWindowStyle, &p); });
    }
    const DWORD pid = launched.pid;
    if (pid == 0) {
      p.Log(u"Shell (Failed); Could not obtain a Process ID!", debug::Event_Normal,
            debug::VarsToText({u"sShell", sShell}));
    }
    result = pid != 0;
  } else {
    platform::UniqueHandle process;
    {
      FsRedirectionOff redirection_off;
      p.Step([&] { launched = ShellLaunch(sShell, lWindowStyle, &p); });
      process = HandleToWaitOn(launched);
      if (!process) p.LogAPI(u"OpenProcess", debug::VarsToText({u"sShell", sShell}));
    }
    if (process) {
      result = true;
      const ExitWaitResult w = WaitForProcessExit(process.get(), bUseTimeOut, lTimeOut);
      if (w.timed_out) {
        p.Log(kTimedOutText, debug::Event_Normal,
              debug::VarsToText({u"sShell", sShell, u"lErrLvl",
                                 static_cast<std::int32_t>(platform::kSTILL_ACTIVE), u"bUseTimeOut",
                                 bUseTimeOut, u"lTimeOut", lTimeOut}));
        result = false;
      }
      lErrLvl = static_cast<std::int32_t>(w.exit_code);
    }
    if (!result) p.Log(kTimedOutText, debug::Event_Normal, debug::VarsToText({u"sShell", sShell}));
    p.Vars(debug::Var_ReturnedByRef, {u"lErrLvl", lErrLvl});
  }
  p.Result(result);
  return result;
}

bool ShellAndWait(std::u16string_view sCommandLine, std::int32_t lWindowStyle,
                  std::u16string& sErrorText, std::int32_t lTimeoutMS, bool bUseTimeout,
                  std::int32_t& lExitCode) {
  bool result = false;
  try {
    platform::UniqueHandle process;
    {
      FsRedirectionOff redirection_off;  // also switched back on when the launch raises
      Launched launched = ShellLaunch(sCommandLine, lWindowStyle, nullptr);
      process = HandleToWaitOn(launched);
    }
    if (!process) {
      sErrorText = u"Could not obtain a process handle!";
      return false;
    }
    result = true;
    const ExitWaitResult w = WaitForProcessExit(process.get(), bUseTimeout, lTimeoutMS);
    if (w.timed_out) {
      sErrorText = u"此进程已超时.";
      result = false;
    }
    lExitCode = static_cast<std::int32_t>(w.exit_code);
  } catch (const debug::RuntimeErrorException& e) {
    sErrorText = e.error.description;
    result = false;
  } catch (const platform::ProcessorFault& f) {
    sErrorText = debug::GetExceptionDescription(f.code);
    result = false;
  } catch (const std::exception& e) {
    sErrorText = U16(e.what());
    result = false;
  }
  return result;
}

std::int32_t ToShellWindowStyle(std::int32_t eWindowStyle) {
  switch (eWindowStyle) {
    case kShellHide:
    case kShellNormalFocus:
    case kShellMinimizedFocus:
    case kShellMaximizedFocus:
    case kShellNormalNoFocus:
    case kShellMinimizedNoFocus:
      return eWindowStyle;
    default:
      return kShellHide;
  }
}

}  // namespace kes
