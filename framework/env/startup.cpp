#include "framework/env/startup.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "framework/debug/exception_handler.h"
#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/common_state.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/init_env_folders.h"
#include "framework/env/startup_helpers.h"
#include "framework/env/winpe.h"
#include "framework/env/winver.h"
#include "framework/fs/files.h"
#include "framework/fs/work_folder.h"
#include "framework/process/identity.h"
#include "framework/process/process_queries.h"
#include "framework/util/date.h"
#include "framework/util/time_conversions.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";
// InitApp and InitEnv run while tracing is being set up and keep no trace record of their own:
// they log under this source with procedure ID -1.
constexpr std::u16string_view kInitEnvSource = u"App_Common.InitEnv";
constexpr std::u16string_view kInitAppSource = u"App_Common.InitApp";

constexpr platform::DWORD kBufferChars = 519;

// Runs one start-up step with its failures suppressed: whatever a step throws (a run-time
// error, a processor fault, a C++ exception) is logged as an error-handler event without a
// trace record, and start-up goes on with the next step. The end of the process is not a
// failure and passes through.
template <class F>
void Quietly(std::u16string_view source, std::u16string_view step, F&& f) {
  debug::RuntimeError err;
  try {
    std::forward<F>(f)();
    return;
  } catch (const debug::RuntimeErrorException& e) {
    err = e.error;
  } catch (const platform::ProcessorFault& fault) {
    err = debug::ExceptionHandler(fault);
  } catch (const std::bad_alloc&) {
    err = {7, u"Out of memory", {}};
  } catch (const std::exception& e) {
    err = {51, u"Internal error: " + U16(e.what()), {}};
  }
  debug::SetRuntimeError(err);
  debug::dLogErrHandler(-1, std::u16string(source) + u": " + std::u16string(step));
}

std::u16string FromBuffer(const std::vector<char16_t>& buf) {
  std::u16string_view s(buf.data(), buf.size());
  auto nul = s.find(u'\0');
  if (nul != std::u16string_view::npos) s = s.substr(0, nul);
  return Trim(s);
}

std::u16string WithBS(const std::u16string& dir) {
  if (dir.empty() || dir.back() == u'\\') return dir;
  return dir + u"\\";
}

std::u16string ReplaceAll(std::u16string s, std::u16string_view from, std::u16string_view to) {
  for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::u16string::npos; pos += to.size())
    s.replace(pos, from.size(), to);
  return s;
}

std::u16string EnvVar(const char16_t* name) {
  std::vector<char16_t> buf(kBufferChars, u'\0');
  platform::DWORD n =
      OS().sys.GetEnvironmentVariableW(name, buf.data(), static_cast<platform::DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) {
    // An unset variable simply leaves its fact empty; the next event must not report it.
    OS().sys.SetLastError(0);
    return {};
  }
  return FromBuffer(buf);
}

std::u16string LastElement(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  auto slash = path.find_last_of(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// ---- version resource of the running executable -----------------------------------------

struct OwnVersion {
  std::u16string comments;
  std::u16string file_version;
};

// One string of the "\StringFileInfo\<language><code page>\" table, "" when absent.
std::u16string QueryVersionString(const std::vector<std::uint8_t>& block, std::u16string_view table,
                                  std::u16string_view name) {
  std::u16string sub = u"\\StringFileInfo\\" + std::u16string(table) + u"\\" + std::u16string(name);
  const void* ptr = nullptr;
  platform::UINT len = 0;
  if (!OS().sys.VerQueryValueW(block.data(), sub.c_str(), &ptr, &len) || !ptr || len == 0) {
    // A resource without this string is normal (no Comments: no flavour).
    OS().sys.SetLastError(0);
    return {};
  }
  std::u16string_view s(static_cast<const char16_t*>(ptr), len);
  auto nul = s.find(u'\0');
  if (nul != std::u16string_view::npos) s = s.substr(0, nul);
  return Trim(s);
}

OwnVersion ReadOwnVersion(const Proc& p) {
  OwnVersion v;
  std::vector<char16_t> path_buf(kBufferChars, u'\0');
  platform::DWORD n = OS().sys.GetModuleFileNameW(0, path_buf.data(), kBufferChars);
  if (n == 0 || n >= kBufferChars) {
    p.LogAPI(u"GetModuleFileNameW");
    return v;
  }
  std::u16string exe = FromBuffer(path_buf);
  platform::DWORD handle = 0;
  platform::DWORD size = OS().sys.GetFileVersionInfoSizeW(exe.c_str(), &handle);
  if (size == 0) {
    p.LogAPI(u"GetFileVersionInfoSizeW", u"sFile=" + exe);
    return v;
  }
  std::vector<std::uint8_t> block(size);
  if (!OS().sys.GetFileVersionInfoW(exe.c_str(), handle, size, block.data())) {
    p.LogAPI(u"GetFileVersionInfoW", u"sFile=" + exe);
    return v;
  }
  // The string table is named after the first language/code-page pair the resource lists;
  // resources without that list are written for US English, Unicode.
  std::u16string table = u"040904B0";
  const void* ptr = nullptr;
  platform::UINT len = 0;
  if (OS().sys.VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &ptr, &len) && ptr &&
      len >= 4) {
    const auto* words = static_cast<const std::uint8_t*>(ptr);
    unsigned lang = words[0] | (words[1] << 8);
    unsigned cp = words[2] | (words[3] << 8);
    table = Hex(lang, 4) + Hex(cp, 4);
  } else {
    OS().sys.SetLastError(0);
  }
  v.comments = QueryVersionString(block, table, u"Comments");
  v.file_version = QueryVersionString(block, table, u"FileVersion");
  return v;
}

// The four numbers of a file version text ("1.2.3.4", also the old "1, 2, 3, 4" form); missing
// or unreadable parts count as 0.
std::vector<std::int64_t> VersionNumbers(std::u16string_view text) {
  std::vector<std::int64_t> parts;
  std::int64_t cur = 0;
  bool have = false;
  for (char16_t c : text) {
    if (c >= u'0' && c <= u'9') {
      if (cur < 1000000) cur = cur * 10 + (c - u'0');
      have = true;
    } else if (c == u'.' || c == u',') {
      parts.push_back(have ? cur : 0);
      cur = 0;
      have = false;
    } else if (c != u' ') {
      break;
    }
  }
  if (have || !parts.empty()) parts.push_back(cur);
  parts.resize(4, 0);
  return parts;
}

// ---- pieces of InitEnv ----------------------------------------------------------------------

// Windows version, platform, edition and boot-mode facts; Windows 9x and NT 4 end the process
// inside. One summary line tells a reader of the log which Windows the facts describe.
void InitEnv_VersionFacts() {
  SetupEnvOSVersionDetails();
  if (Ctx().env)
    debug::dLog(-1, u"Windows: " + winver::DescribeWinVersion(*Ctx().env), debug::Event_Normal);
}

// The 64-bit test. g_Win64bit means "this process runs under WOW64": it is what makes the
// file-system redirection pair act. Without IsWow64Process only Windows XP x64 counts; with it
// IsWow64Process on the current process answers (a failed call leaves it false and is logged).
// A 64-bit build of this program is never a WOW64 process, yet it can only run on 64-bit
// Windows: there Win64bit is true while g_Win64bit stays false, so the redirection pair does
// nothing (a 64-bit process sees the real System32 anyway).
//
// Should the probe or the call fail, Windows' own mark of a WOW64 process decides: it gives
// every such process PROCESSOR_ARCHITEW6432 (the machine's real architecture). Guessing wrong
// here would send the boot-tool calls and the undo hook to the 32-bit views of System32 and the
// registry, where Windows never looks for them.
void InitEnv_Win64bit(AppEnv& env) {
  bool answered = false;
  if (!env.API_IsWow64Process) {
    env.g_Win64bit = env.WinXP64;
    answered = env.WinXP64;
  } else {
    platform::BOOL wow64 = 0;
    answered = OS().sys.IsWow64Process(platform::kCurrentProcess, &wow64) != 0;
    if (answered)
      env.g_Win64bit = wow64 != 0;
    else
      debug::dLogAPI(-1, u"IsWow64Process");
  }
  if (!answered && !EnvVar(u"PROCESSOR_ARCHITEW6432").empty()) env.g_Win64bit = true;
  platform::SYSTEM_INFO si;
  OS().sys.GetSystemInfo(&si);
  const bool process_is_64bit = si.wProcessorArchitecture == 9 || si.wProcessorArchitecture == 12;
  env.Win64bit = env.g_Win64bit || process_is_64bit;
}

// Dir_ProgramFiles (with its " (x86)" rule), Dir_CommonProgramFiles, Dir_ProgramFiles32 and
// Dir_CommonProgramFiles32 from the special-folder reader.
void InitEnv_ProgramFilesDirs() {
  InitEnv_SetProgramFilesDirs(*Ctx().env);
}

// AppInst_IsAdmin and AppInst_IsSystem from the account-identity tests. Both go into the log:
// what the program may do on this machine depends on them.
void InitEnv_IdentityFacts() {
  AppEnv& env = *Ctx().env;
  env.AppInst_IsAdmin = IsCurrentUserAnAdmin();
  env.AppInst_IsSystem = IsSystemAccount();
  debug::dLog(-1, u"Account rights of this instance.", debug::Event_Normal,
              debug::VarsToText({u"AppInst_IsAdmin", env.AppInst_IsAdmin, u"AppInst_IsSystem",
                                 env.AppInst_IsSystem}));
}

// AppEXE and AppPath read again by the executable-path reader of the path functions.
void InitEnv_ExecutableFacts() {
  InitEnv_SetExecutableFacts(*Ctx().env);
}

// Whether the program's folder accepts new files: a probe file made there and removed again.
void InitEnv_AppPathWritable() {
  AppEnv& env = *Ctx().env;
  env.AppPath_IsWritable = !env.AppPath.empty() && HasWriteAccess(env.AppPath);
}

// Dir_UserProfilesParent, UserDir_CurrentUser_Temp, the user and all-users shell folders with
// their NameDir facts and the default user's profile from the special-folder reader.
void InitEnv_UserDirs() {
  InitEnv_SetUserDirs(*Ctx().env);
}

// NameDir_Documents (before it: "Pre-CSIDL_PERSONAL"), then NameDir_Pictures, NameDir_Music and
// NameDir_Videos (before them: "Pre-CSIDL_MYPICTURES") also come from the special-folder reader.
void InitEnv_DocumentNames() {
  debug::dPrint(kInitEnvSource, u"Pre-CSIDL_PERSONAL", debug::Event_Verbose);
  InitEnv_SetDocumentsName(*Ctx().env);
  debug::dPrint(kInitEnvSource, u"Pre-CSIDL_MYPICTURES", debug::Event_Verbose);
  InitEnv_SetMediaNames(*Ctx().env);
}

// WinType_PE comes from the early preinstallation-environment check of the version detection.
void InitEnv_WinPE() {
  Ctx().env->WinType_PE = EarlyWinPECheck();
}

// EXE_SubInACL: the copy carried in the program's Tools folder when it is there and not empty,
// else the one the Windows Resource Kit tools install.
void InitEnv_SubInACL() {
  AppEnv& env = *Ctx().env;
  if (!env.AppPathBS_Tools.empty()) {
    const std::u16string carried = env.AppPathBS_Tools + u"subinacl.exe";
    if (FileExist(carried, true)) {
      env.EXE_SubInACL = carried;
      return;
    }
  }
  if (env.Dir_ProgramFiles32.empty()) return;
  const std::u16string kit =
      env.Dir_ProgramFiles32 + u"\\Windows Resource Kits\\Tools\\subinacl.exe";
  if (FileExist(kit)) env.EXE_SubInACL = kit;
}

// Parent process facts and the service test: the service control manager (services.exe)
// starts a service, and the service marker says so for a program started another way.
void SetParentProcessInfo(AppEnv& env) {
  Proc p(kModule, u"SetParentProcessInfo", Kind::Sub);
  p.Step([&] {
    env.AppInst_ParentProcess_ProcessID = GetParentPID(env.AppInst_ProcessID);
    if (HasServiceArgs()) env.AppInst_IsService = true;
    env.AppInst_ParentProcess_AppEXE = GetPathFromPID(env.AppInst_ParentProcess_ProcessID, true);
    if (EqualsNoCase(LastElement(env.AppInst_ParentProcess_AppEXE), u"services.exe"))
      env.AppInst_IsService = true;
  });
  p.Created({u"AppInst_ParentProcess_ProcessID", env.AppInst_ParentProcess_ProcessID,
             u"AppInst_ParentProcess_AppEXE", env.AppInst_ParentProcess_AppEXE,
             u"AppInst_IsService", env.AppInst_IsService});
}

void SetTitles(AppEnv& env) {
  env.AppTitle = GetWindowTitle({.no_version = true, .pretty_version = true});
  env.AppTitle_WithVersionPretty = GetWindowTitle({.pretty_version = true});
  env.AppTitle_WithVersionFull = GetWindowTitle({});
}

std::u16string ComputerName(int format) {
  std::vector<char16_t> buf(kBufferChars, u'\0');
  platform::DWORD size = kBufferChars;
  if (!OS().sys.GetComputerNameExW(format, buf.data(), &size)) {
    debug::dLogAPI(-1, u"GetComputerNameExW", u"lFormat=" + Dec(format));
    return {};
  }
  return FromBuffer(buf);
}

void SetAppFolders(AppEnv& env, const std::u16string& res_name, bool res_absolute) {
  env.AppPath_3pApps = env.AppPathBS + u"Apps";
  // Today's local date, year first, separators as "-" (2016-03-01).
  const std::u16string today = GetDateString(u"", true, u"-", false, true);
  if (!res_absolute) {
    env.AppPath_Resources = env.AppPathBS + res_name;
    env.AppPath_Reports = env.AppPathBS + res_name + u" Reports\\" + today;
  } else {
    env.AppPath_Resources = env.AppPath;
    env.AppPath_Reports = env.AppPathBS + u"Reports\\" + today;
  }
  env.AppPathBS_3pApps = WithBS(env.AppPath_3pApps);
  env.AppPathBS_Resources = WithBS(env.AppPath_Resources);
  env.AppPathBS_Reports = WithBS(env.AppPath_Reports);
  const std::u16string& res = env.AppPathBS_Resources;
  struct Sub {
    const char16_t* name;
    std::u16string* dir;
    std::u16string* dir_bs;
  };
  const Sub subs[] = {
      {u"Config", &env.AppPath_Config, &env.AppPathBS_Config},
      {u"Defs", &env.AppPath_Defs, &env.AppPathBS_Defs},
      {u"Downloads", &env.AppPath_Downloads, &env.AppPathBS_Downloads},
      {u"Modules", &env.AppPath_Modules, &env.AppPathBS_Modules},
      {u"Previous Versions", &env.AppPath_PreviousVersions, &env.AppPathBS_PreviousVersions},
      {u"Reqs", &env.AppPath_Reqs, &env.AppPathBS_Reqs},
      {u"Tools", &env.AppPath_Tools, &env.AppPathBS_Tools},
      {u"Temp", &env.AppPath_Temp, &env.AppPathBS_Temp},
  };
  for (const Sub& s : subs) {
    *s.dir = res + s.name;
    *s.dir_bs = WithBS(*s.dir);
  }
}

}  // namespace

void InitEnv_AppInstStartDateTime() {
  Proc p(kModule, u"InitEnv_AppInstStartDateTime", Kind::Sub);
  if (!Ctx().env) return;
  AppEnv& env = *Ctx().env;
  p.Step([&] {
    Date now = NowUTC();
    auto ct = SplitDate(now);
    if (!ct) return;
    env.AppInst_InitDateTime = now;
    env.AppInst_InitTime24h =
        Pad(ct->hour, 2) + u":" + Pad(ct->minute, 2) + u":" + Pad(ct->second, 2);
    env.AppInst_InitDateOnly = Dec(ct->year) + u"-" + Pad(ct->month, 2) + u"-" + Pad(ct->day, 2);
    env.AppInst_InitDateTime_FilenameFriendly =
        env.AppInst_InitDateOnly + u" " + ReplaceAll(env.AppInst_InitTime24h, u":", u".");
  });
  p.Created({u"AppInst_InitDateTime", env.AppInst_InitDateTime,
             u"AppInst_InitDateTime_FilenameFriendly", env.AppInst_InitDateTime_FilenameFriendly});
}

void InitEnv_VersionAndTitle() {
  Proc p(kModule, u"InitEnv_VersionAndTitle", Kind::Sub);
  if (!Ctx().env) return;
  AppEnv& env = *Ctx().env;
  OwnVersion v;
  p.Step([&] { v = ReadOwnVersion(p); });
  p.Step([&] {
    env.AppVer_TestBuild = FindNoCase(v.comments, u"TestBuild") != std::u16string::npos;
    env.AppVer_FastTrack = FindNoCase(v.comments, u"FastTrack") != std::u16string::npos;
  });
  p.Step([&] {
    env.AppTitle_Bare = std::u16string(kAppTitle);
    env.AppTitle_Basic = ReplaceAll(env.AppTitle_Bare, u" ", u"_");
  });
  p.Step([&] {
    if (v.file_version.empty()) return;
    auto n = VersionNumbers(v.file_version);
    env.AppVer_Full = Dec(n[0]) + u"." + Dec(n[1]) + u"." + Dec(n[2]) + u"." + Dec(n[3]);
    // The program's own version numbers are major, minor and revision (the build is not one of
    // them).
    env.AppVer_VB = Dec(n[0]) + u"." + Dec(n[1]) + u"." + Dec(n[3]);
    // Display forms: "1.4" short; "1.4.2" with the build, and the revision only when it is set.
    env.AppVer_Pretty_Short = Dec(n[0]) + u"." + Dec(n[1]);
    env.AppVer_Pretty = env.AppVer_Pretty_Short + u"." + Dec(n[2]);
    if (n[3] != 0) env.AppVer_Pretty += u"." + Dec(n[3]);
  });
  p.Created({u"sComments", v.comments, u"AppVer_Full", env.AppVer_Full, u"AppVer_TestBuild",
             env.AppVer_TestBuild, u"AppVer_FastTrack", env.AppVer_FastTrack});
}

void InitEnv(std::u16string_view resources_dir) {
  if (!Ctx().env) {
    debug::dPrint(kInitEnvSource, u"The environment object does not exist; nothing set.",
                  debug::Event_Normal);
    return;
  }
  AppEnv& env = *Ctx().env;
  bool service = false;
  Quietly(kInitEnvSource, u"service marker", [&] { service = HasServiceArgs(); });

  // 1. Resources folder name: relative to the program's folder unless given as an absolute one.
  std::u16string res_name;
  bool res_absolute = false;
  Quietly(kInitEnvSource, u"resources folder", [&] {
    if (resources_dir.empty()) {
      res_name = std::u16string(kAppTitle) + u" Resources";
    } else if (resources_dir.size() >= 2 && resources_dir.substr(0, 2) == u".\\") {
      res_name = std::u16string(resources_dir);
    } else {
      res_name = std::u16string(resources_dir);
      res_absolute = true;
    }
  });

  // 2. Process facts; a service has no instance handle or desktop of its own to report.
  Quietly(kInitEnvSource, u"process facts", [&] {
    env.AppInst_ProcessID = static_cast<std::int32_t>(OS().sys.GetCurrentProcessId());
    if (!service) {
      env.AppInst_hInstance = static_cast<std::int32_t>(OS().sys.GetModuleHandleW(nullptr));
      env.hWnd_Desktop = static_cast<std::int32_t>(OS().sys.GetDesktopWindow());
    }
  });

  // 3. The Windows folder.
  Quietly(kInitEnvSource, u"Dir_Windows", [&] {
    std::vector<char16_t> buf(kBufferChars, u'\0');
    platform::UINT n = OS().fs.GetWindowsDirectoryW(buf.data(), kBufferChars);
    if (n == 0 || n >= kBufferChars) {
      debug::dLogAPI(-1, u"GetWindowsDirectoryW");
      return;
    }
    env.Dir_Windows = FromBuffer(buf);
    while (env.Dir_Windows.size() > 3 && env.Dir_Windows.back() == u'\\')
      env.Dir_Windows.pop_back();
    env.DirBS_Windows = WithBS(env.Dir_Windows);
  });

  // 4. Windows version (may end the program on an unsupported version).
  Quietly(kInitEnvSource, u"version facts", [&] { InitEnv_VersionFacts(); });

  // 5. Entry points that older Windows versions lack.
  Quietly(kInitEnvSource, u"IsWow64Process", [&] {
    env.AppInst_IsWow64Process = DLLFunctionCheck(u"kernel32.dll", u"IsWow64Process");
    env.API_IsWow64Process = env.AppInst_IsWow64Process;
    InitEnv_Win64bit(env);
  });
  Quietly(kInitEnvSource, u"API probes", [&] {
    env.API_CheckTokenMembership = DLLFunctionCheck(u"advapi32.dll", u"CheckTokenMembership");
    env.API_IsUserAnAdmin = DLLFunctionCheck(u"shell32.dll", u"IsUserAnAdmin");
    env.API_QueryFullProcessImageNameW =
        DLLFunctionCheck(u"kernel32.dll", u"QueryFullProcessImageNameW");
    env.API_GetFileInformationByHandleEx =
        DLLFunctionCheck(u"kernel32.dll", u"GetFileInformationByHandleEx");
  });

  // 6. System drive and Windows directories, in catalogue order.
  Quietly(kInitEnvSource, u"SystemDrive", [&] {
    std::u16string drive = EnvVar(u"systemdrive");
    if (drive.empty() && env.Dir_Windows.size() >= 2) drive = env.Dir_Windows.substr(0, 2);
    env.SystemDrive = UpperCase(drive);
    env.SystemDriveBS = WithBS(env.SystemDrive);
  });
  Quietly(kInitEnvSource, u"Windows directories", [&] {
    if (env.Dir_Windows.empty()) return;
    env.Dir_System16 = env.Dir_Windows + u"\\System";
    env.DirBS_System16 = WithBS(env.Dir_System16);
  });
  Quietly(kInitEnvSource, u"Dir_ProgramData", [&] {
    std::vector<char16_t> buf(260, u'\0');
    platform::LONG hr = OS().fs.SHGetFolderPathW(0x23, buf.data());
    if (hr != 0) {
      debug::dLog(-1, u"SHGetFolderPathW failed for CSIDL_COMMON_APPDATA.", debug::Event_Normal,
                  u"HRESULT=" + Hex(static_cast<std::uint32_t>(hr)));
      return;
    }
    env.Dir_ProgramData = FromBuffer(buf);
    env.DirBS_ProgramData = WithBS(env.Dir_ProgramData);
  });
  // From here on the debug log also goes to the day's log file, in the Logs folder of the
  // program's protected working folder; while that cannot be trusted the log stays in memory.
  Quietly(kInitEnvSource, u"log file folder", [&] {
    if (env.Dir_ProgramData.empty()) return;
    const std::u16string work = WorkFolder();
    if (!work.empty() && SecureFolder(work + u"\\Logs") != FolderTrust::kUntrusted) {
      debug::SetLogFileFolder(env.Dir_ProgramData);
    } else {
      debug::dLog(-1, u"The log folder is not to be used; the debug log stays in memory.",
                  debug::Event_Normal, u"sFolder=" + env.Dir_ProgramData + u"\\Kestrune\\Logs");
    }
  });
  Quietly(kInitEnvSource, u"System32 and SysWOW64", [&] {
    if (env.Dir_Windows.empty()) return;
    env.Dir_System32 = env.Dir_Windows + u"\\System32";
    env.DirBS_System32 = WithBS(env.Dir_System32);
    env.Dir_SysWOW64 = env.Dir_Windows + u"\\SysWOW64";
    env.DirBS_SysWOW64 = WithBS(env.Dir_SysWOW64);
  });
  Quietly(kInitEnvSource, u"program files", [&] { InitEnv_ProgramFilesDirs(); });

  // 7. Administrator and system account.
  Quietly(kInitEnvSource, u"identity", [&] { InitEnv_IdentityFacts(); });

  // 8. Executable facts.
  Quietly(kInitEnvSource, u"executable", [&] { InitEnv_ExecutableFacts(); });

  // 9. Application folders (nothing is created here).
  Quietly(kInitEnvSource, u"application folders",
          [&] { SetAppFolders(env, res_name, res_absolute); });

  // 10. Write access to the application folder.
  Quietly(kInitEnvSource, u"write access", [&] { InitEnv_AppPathWritable(); });

  // 11. Command line, titles, process origin and names.
  if (service) {
    Quietly(kInitEnvSource, u"service command line",
            [&] { env.AppInst_CommandLineArgs_String = GetMyCommandLine(true); });
    Quietly(kInitEnvSource, u"titles", [&] { SetTitles(env); });
    Quietly(kInitEnvSource, u"service facts", [&] {
      env.AppInst_IsService = true;
      env.AppInst_ParentProcess_AppEXE = u"services.exe";
    });
    // A service runs where GetUserNameW and the computer-name calls may not answer for the
    // interactive user; the environment it was started with does.
    Quietly(kInitEnvSource, u"service names", [&] {
      env.Name_CurrentUser = EnvVar(u"username");
      env.Name_ComputerName = EnvVar(u"computername");
      env.Name_DomainName = EnvVar(u"userdomain");
    });
  } else {
    Quietly(kInitEnvSource, u"command line",
            [&] { env.AppInst_CommandLineArgs_String = GetMyCommandLine(false); });
    Quietly(kInitEnvSource, u"current directory", [&] {
      if (env.AppPathBS.empty()) return;
      if (!OS().fs.SetCurrentDirectoryW(env.AppPathBS.c_str()))
        debug::dLogAPI(-1, u"SetCurrentDirectoryW", u"sPath=" + env.AppPathBS);
    });
    Quietly(kInitEnvSource, u"titles", [&] { SetTitles(env); });
    Quietly(kInitEnvSource, u"parent process", [&] { SetParentProcessInfo(env); });
    Quietly(kInitEnvSource, u"Name_CurrentUser", [&] {
      env.Name_CurrentUser = GetMyUserName();
      debug::dLog(-1, u"Current user of this instance.", debug::Event_Normal,
                  debug::VarsToText({u"Name_CurrentUser", env.Name_CurrentUser}));
    });
    Quietly(kInitEnvSource, u"network names", [&] {
      env.Name_NetBIOS = ComputerName(platform::ComputerNameNetBIOS);
      env.Name_ComputerName = ComputerName(platform::ComputerNameDnsHostname);
      env.Name_DomainName = ComputerName(platform::ComputerNameDnsDomain);
      env.Name_DnsFullyQualified = ComputerName(platform::ComputerNameDnsFullyQualified);
      env.Name_NetBIOSPhysical = ComputerName(platform::ComputerNamePhysicalNetBIOS);
      env.Name_ComputerNamePhysical = ComputerName(platform::ComputerNamePhysicalDnsHostname);
      env.Name_DomainNamePhysical = ComputerName(platform::ComputerNamePhysicalDnsDomain);
      env.Name_DnsFullyQualifiedPhysical =
          ComputerName(platform::ComputerNamePhysicalDnsFullyQualified);
    });
  }

  // 12. User folders.
  Quietly(kInitEnvSource, u"user folders", [&] { InitEnv_UserDirs(); });

  // 13. Folder names that vary with the Windows language.
  Quietly(kInitEnvSource, u"document folder names", [&] { InitEnv_DocumentNames(); });

  // 14. Network location of the program's folder.
  debug::dPrint(kInitEnvSource, u"Pre-IsNetworkPath", debug::Event_Verbose);
  Quietly(kInitEnvSource, u"IsNetworkPath",
          [&] { env.AppPath_IsNetworkPath = IsNetworkPath(env.AppPath); });

  // 15. Preinstallation environment.
  debug::dPrint(kInitEnvSource, u"Pre-EarlyWinPECheck", debug::Event_Verbose);
  Quietly(kInitEnvSource, u"WinPE", [&] { InitEnv_WinPE(); });

  // 16. subinacl.exe.
  debug::dPrint(kInitEnvSource, u"Pre-subinacl-Check", debug::Event_Verbose);
  Quietly(kInitEnvSource, u"subinacl", [&] { InitEnv_SubInACL(); });

  debug::dPrint(kInitEnvSource, u"done-InitEnv", debug::Event_Verbose);
}

void InitApp(bool is_dll, std::u16string_view resources_dir) {
  Context& ctx = Ctx();
  CommonState& common = *ctx.common;

  // 1. Random numbers differ from run to run: seeded from the time of day, which needs no
  // multimedia timer library at start-up.
  Quietly(kInitAppSource, u"random seed", [&] {
    platform::SYSTEMTIME now{};
    OS().sys.GetLocalTime(&now);
    const std::uint_fast32_t seconds = (now.wHour * 60u + now.wMinute) * 60u + now.wSecond;
    common.Random.seed(seconds * 1000u + now.wMilliseconds);
  });

  // 2. The three keyed collections of the run.
  for (auto& c : common.Collections) c = std::make_unique<KeyedCollection>();

  // 3. Tracing.
  Quietly(kInitAppSource, u"InitDebugModuleVars", [&] { debug::InitDebugModuleVars(); });

  // 4. The environment object.
  ctx.env = std::make_unique<AppEnv>();
  AppEnv& env = *ctx.env;

  // 5. Where the program runs.
  env.AppInst_IsIDE = false;
  env.AppInst_IsDLL = is_dll;

  // 6. Start time.
  Quietly(kInitAppSource, u"start time", [&] { InitEnv_AppInstStartDateTime(); });

  // 7. Processor faults become handled errors of the procedure they hit.
  if (!is_dll)
    Quietly(kInitAppSource, u"exception handler", [&] { debug::InstallExceptionHandler(-1); });

  // 8. Label texts of the debug log.
  Quietly(kInitAppSource, u"generated strings", [&] { InitAppGeneratedVars(); });

  // 9. Build flavour, versions and title facts.
  Quietly(kInitAppSource, u"version and title", [&] { InitEnv_VersionAndTitle(); });

  // 10. How talkative the debug log is, by build flavour.
  const std::u16string title(kAppTitle);
  Quietly(kInitAppSource, u"debug switches", [&] {
    if (env.AppVer_TestBuild) {
      debug::SetDebugLogVerbose(true);
      debug::SetDebugLogSystemOutput(true);
      debug::SetDumpEventTypes(kDumpMaskVerbose);
      debug::OutputDebugStringRaw(u"\r\n[" + title + u"]  --== New Instance @ " +
                                  env.AppInst_InitTime24h + u" ==--");
    } else if (env.AppVer_FastTrack) {
      debug::SetDebugLogVerbose(true);
      debug::SetDumpEventTypes(kDumpMaskVerbose);
    } else {
      debug::SetDumpEventTypes(kDumpMaskNormal);
    }
  });

  // 11. Instance banner.
  Quietly(kInitAppSource, u"banner", [&] {
    debug::DebugLogAddEntry(env.AppInst_InitTime24h + u" --== New Instance [" + title + u"] ==--");
  });

  // 12. Executable facts.
  Quietly(kInitAppSource, u"SetAppPathExeInfo", [&] { SetAppPathExeInfo(false); });

  // 13. Instance details.
  Quietly(kInitAppSource, u"instance details", [&] {
    std::u16string details = u"Instance Details:  [" + env.AppEXE + u"] started with parameters [" +
                             GetMyCommandLine(true) + u"]\r\n--------";
    if (env.AppVer_TestBuild) debug::OutputDebugStringRaw(u"[" + title + u"] " + details);
    debug::DebugLogAddEntry(details);
  });

  // 14. NeverLoadForms (the entry point has normally assigned it already) and COM threading.
  Quietly(kInitAppSource, u"NeverLoadForms", [&] {
    if (!is_dll) {
      SetNeverLoadForms(HasServiceArgs());
      common.COMInitFlags = 2;  // COINIT_APARTMENTTHREADED
    } else {
      SetNeverLoadForms(true);
      common.COMInitFlags = 0;  // COINIT_MULTITHREADED
    }
  });

  // 15. The bulk of the facts.
  InitEnv(resources_dir);
}

void TerminateApp(std::int32_t exit_code, bool skip_cleanup) {
  Context& ctx = Ctx();
  const bool is_dll = ctx.env && ctx.env->AppInst_IsDLL;
  const bool is_ide = ctx.env && ctx.env->AppInst_IsIDE;
  if (!skip_cleanup) {
    Quietly(kInitAppSource, u"CleanupDebug", [&] { debug::CleanupDebug(); });
    ReleaseObject(ctx.env);
    for (auto& c : ctx.common->Collections) c.reset();
    // The framework's COM start-up is not part of this build, so there is nothing to shut down.
    if (ctx.common->Shell32 != 0) {
      OS().sys.FreeLibrary(ctx.common->Shell32);
      ctx.common->Shell32 = 0;
    }
  }
  if (!is_dll)
    Quietly(kInitAppSource, u"exception handler", [&] { debug::UninstallExceptionHandler(); });
  if (!is_dll && !is_ide) {
    // Ends with the code given, 0 included: nothing in the program sets an exit status of its
    // own that a read-back of the current exit code could preserve.
    OS().sys.ExitProcess(static_cast<platform::UINT>(exit_code));
  }
}

}  // namespace kes
