#include "framework/process/app_shell.h"

#include <exception>
#include <utility>

#include "framework/debug/app_debug.h"
#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/fs/app_fs.h"
#include "framework/process/app_process.h"
#include "framework/process/process_wait.h"
#include "framework/util/u16.h"

namespace kes {
namespace {

using platform::DWORD;
using platform::HANDLE;

// Query access is what the exit-code read needs; SYNCHRONIZE lets the wait sleep on the
// process itself instead of polling blindly.
constexpr DWORD kWaitAccess = platform::kPROCESS_QUERY_INFORMATION | platform::kSYNCHRONIZE;

constexpr char16_t kTimedOutText[] = u"ShellX (Failed) The process has timed out.";

// Keeps WOW64 file-system redirection off for its lifetime, so that a 32-bit process on 64-bit
// Windows launches the real System32 programs (bcdedit.exe has no 32-bit twin); switched back
// on also when the launch raises.
class RedirectionOff {
 public:
  RedirectionOff() { DisableFSRedir(); }
  ~RedirectionOff() { RevertFSRedir(); }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;
};

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

// The shell launcher: starts a whole command line (the system finds the program) with a
// shell window style and hands back the new process ID, closing the handles it got. A failure
// is raised as a run-time error; `p`, when given, first gets the system call's error entry.
DWORD ShellLaunch(std::u16string_view command_line, std::int32_t window_style,
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
  CloseMyHandle(pi.hThread);
  CloseMyHandle(pi.hProcess);
  return pi.dwProcessId;
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
  HANDLE process = 0;
  DWORD pid = 0;
  if (!bWait) {
    {
      RedirectionOff off;
      p.Step([&] { pid = ShellLaunch(sShell, lWindowStyle, &p); });
    }
    if (pid == 0) {
      p.Log(u"Shell (Failed); Could not obtain a Process ID!", debug::Event_Normal,
            debug::VarsToText({u"sShell", sShell}));
    }
    result = pid != 0;
  } else {
    {
      RedirectionOff off;
      p.Step([&] { pid = ShellLaunch(sShell, lWindowStyle, &p); });
      process = OS().proc.OpenProcess(kWaitAccess, 0, pid);
      if (process == 0) p.LogAPI(u"OpenProcess", debug::VarsToText({u"sShell", sShell}));
    }
    if (process != 0) {
      result = true;
      const ExitWaitResult w = WaitForProcessExit(process, bUseTimeOut, lTimeOut);
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
  CloseMyHandle(process);
  p.Result(result);
  return result;
}

bool ShellAndWait(std::u16string_view sCommandLine, std::int32_t lWindowStyle,
                  std::u16string& sErrorText, std::int32_t lTimeoutMS, bool bUseTimeout,
                  std::int32_t& lExitCode) {
  HANDLE process = 0;
  bool result = false;
  try {
    {
      RedirectionOff off;  // also switched back on when the launch raises
      const DWORD pid = ShellLaunch(sCommandLine, lWindowStyle, nullptr);
      process = OS().proc.OpenProcess(kWaitAccess, 0, pid);
    }
    if (process == 0) {
      sErrorText = u"Could not obtain a process handle!";
      return false;
    }
    result = true;
    const ExitWaitResult w = WaitForProcessExit(process, bUseTimeout, lTimeoutMS);
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
  CloseMyHandle(process);
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
