#include "framework/fs/folders.h"

#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup_helpers.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/fs/path_forms.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";
constexpr platform::DWORD kBufferChars = 519;

std::u16string BufferText(const std::vector<char16_t>& buf) {
  std::u16string s(buf.data(), buf.size());
  TrimNull(s, true);
  return s;
}

// The program's folder as the run time knows it, for when Windows cannot name the module:
// the start-up fact when it is set, else the folder of the command line's first token.
std::u16string RuntimeAppFolder() {
  if (Ctx().env && !Ctx().env->AppPath.empty()) return Ctx().env->AppPath;
  std::u16string cmd = Trim(OS().sys.GetCommandLineW());
  std::u16string first;
  if (!cmd.empty() && cmd[0] == u'"') {
    const auto close = cmd.find(u'"', 1);
    first = cmd.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
  } else {
    first = cmd.substr(0, cmd.find(u' '));
  }
  const auto slash = first.find_last_of(u'\\');
  return slash == std::u16string::npos ? std::u16string() : first.substr(0, slash);
}

// The module file name of the process, normalised; "" (with the API error logged) on failure.
std::u16string ModuleFileName(const Proc& p, std::u16string* raw = nullptr) {
  std::vector<char16_t> buf(kBufferChars, u'\0');
  const platform::DWORD n = OS().sys.GetModuleFileNameW(0, buf.data(), kBufferChars);
  if (raw) *raw = BufferText(buf);
  if (n == 0 || n >= kBufferChars) {
    p.LogAPI(u"GetModuleFileNameW");
    return {};
  }
  std::u16string s = BufferText(buf);
  FixPathFromAPI(s);
  return s;
}

}  // namespace

std::u16string GetSpecialfolder(std::int32_t csidl) {
  Proc p(kModule, u"GetSpecialfolder", Kind::Function);
  p.Args({u"CSIDL", csidl});
  std::u16string result;
  p.Step([&] {
    std::vector<char16_t> buf(kBufferChars, u'\0');
    platform::LONG hr = 0;
    {
      FsRedirectionOff redirection_off;
      hr = OS().fs.SHGetFolderPathW(csidl, buf.data());
    }
    if (hr != platform::kS_OK) {
      const auto code = static_cast<std::uint32_t>(hr);
      if ((code & 0xFFFF0000u) == 0x80070000u) {
        // A Win32 error wrapped in an HRESULT: logged with its own system message.
        OS().sys.SetLastError(code & 0xFFFF);
        p.LogAPI(u"SHGetFolderPathW", u"CSIDL=" + Dec(csidl));
      } else {
        p.Log(u"SHGetFolderPathW failed!", debug::Event_Normal,
              u"CSIDL=" + Dec(csidl) + u"; HRESULT=0x" + Hex(code, 8));
      }
      return;
    }
    result = BufferText(buf);
    FixPathFromAPI(result);
    const std::int32_t folder = csidl & 0xFF;
    if (folder == kCSIDL_PROGRAM_FILES || folder == kCSIDL_PROGRAM_FILES_COMMON)
      result = ReplaceAll(result, u" (x86)", u"");
  });
  p.Result(result);
  return result;
}

std::u16string GetMyExe() {
  Proc p(kModule, u"GetMyExe", Kind::Function);
  std::u16string result;
  p.Step([&] {
    result = ModuleFileName(p);
    if (!result.empty()) return;
    const std::u16string base = RuntimeAppFolder() + u"\\" + std::u16string(kAppExeName);
    result = base;
    for (const char16_t* ext : {u".qzr", u".exe", u".pif", u".VostrelEXEC", u".scr", u".com"}) {
      if (FileExist(base + ext)) {
        result = base + ext;
        break;
      }
    }
    FixPathFromAPI(result);
  });
  p.Result(result);
  return result;
}

std::u16string GetMyPath() {
  Proc p(kModule, u"GetMyPath", Kind::Function);
  std::u16string result;
  std::u16string buffer;
  p.Step([&] {
    const std::u16string exe = ModuleFileName(p, &buffer);
    const auto slash = exe.find_last_of(u'\\');
    if (!exe.empty() && slash != std::u16string::npos) {
      result = exe.substr(0, slash);
      return;
    }
    result = DirNoBS(Trim(RuntimeAppFolder()));
  });
  p.Created({u"Buffer", buffer});
  p.Result(result);
  return result;
}

std::u16string GetWinDir() {
  Proc p(kModule, u"GetWinDir", Kind::Function);
  std::u16string result;
  p.Step([&] {
    std::vector<char16_t> buf(kBufferChars, u'\0');
    const platform::UINT n = OS().fs.GetWindowsDirectoryW(buf.data(), kBufferChars);
    if (n == 0 || n >= kBufferChars) {
      p.LogAPI(u"GetWindowsDirectoryW");
      return;
    }
    result = BufferText(buf);
    FixPathFromAPI(result);
  });
  p.Result(result);
  return result;
}

std::u16string GetSystemDrive(std::u16string_view use_this_win_dir) {
  Proc p(kModule, u"GetSystemDrive", Kind::Function);
  p.Args({u"sUseThisWinDir", std::u16string(use_this_win_dir)});
  std::u16string result;
  p.Step([&] {
    if (!use_this_win_dir.empty()) {
      result = UpperCase(use_this_win_dir.substr(0, 2));
      return;
    }
    std::vector<char16_t> buf(kBufferChars, u'\0');
    const platform::DWORD n =
        OS().sys.GetEnvironmentVariableW(u"systemdrive", buf.data(), kBufferChars);
    if (n == 0 || n >= kBufferChars) {
      p.LogAPI(u"GetEnvironmentVariableW", u"sName=systemdrive");
      return;
    }
    result = UpperCase(BufferText(buf));
  });
  p.Result(result);
  return result;
}

namespace {

// The userenv folder getters share one shape: a 519-character buffer, the call's failure
// logged under its own name, the (possibly empty) buffer normalised.
using ProfileDirCall = platform::BOOL (platform::FileApi::*)(char16_t*, platform::DWORD*);

std::u16string ProfileFolder(std::u16string_view proc_name, ProfileDirCall call,
                             std::u16string_view api_name) {
  Proc p(kModule, proc_name, Kind::Function);
  std::u16string result;
  p.Step([&] {
    std::vector<char16_t> buf(kBufferChars, u'\0');
    platform::DWORD size = kBufferChars;
    if (!(OS().fs.*call)(buf.data(), &size)) p.LogAPI(api_name);
    result = BufferText(buf);
    FixPathFromAPI(result);
  });
  p.Result(result);
  return result;
}

}  // namespace

std::u16string GetUserProfilesParentDir() {
  return ProfileFolder(u"GetUserProfilesParentDir", &platform::FileApi::GetProfilesDirectoryW,
                       u"GetProfilesDirectoryW");
}

std::u16string GetDefaultUserProfileDir() {
  return ProfileFolder(u"GetDefaultUserProfileDir",
                       &platform::FileApi::GetDefaultUserProfileDirectoryW,
                       u"GetDefaultUserProfileDirectoryW");
}

std::u16string GetTempDir() {
  Proc p(kModule, u"GetTempDir", Kind::Function);
  std::u16string result;
  p.Step([&] {
    std::vector<char16_t> buf(kBufferChars, u'\0');
    const platform::DWORD n = OS().fs.GetTempPathW(kBufferChars, buf.data());
    if (n == 0 || n >= kBufferChars) {
      if (n >= kBufferChars) OS().sys.SetLastError(platform::kERROR_INSUFFICIENT_BUFFER);
      p.LogAPI(u"GetTempPathW");
      return;
    }
    result = BufferText(buf);
    FixPathFromAPI(result);
    while (!result.empty() && result.back() == u'\\') result.pop_back();
  });
  p.Result(result);
  return result;
}

std::u16string GetStrFromPtrW(const char16_t* pointer) {
  if (!pointer) return {};
  return std::u16string(pointer);
}

}  // namespace kes
