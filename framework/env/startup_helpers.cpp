#include "framework/env/startup_helpers.h"

#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/common_state.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";

// Texts that come back from a buffer-filling API: cut at the first NUL, blanks trimmed.
std::u16string FromBuffer(const std::vector<char16_t>& buf) {
  std::u16string_view s(buf.data(), buf.size());
  auto nul = s.find(u'\0');
  if (nul != std::u16string_view::npos) s = s.substr(0, nul);
  return Trim(s);
}

// The text after the program's path on the process command line, as the C run time hands it
// to wWinMain: the shell's own rule for skipping the first (possibly quoted) token.
std::u16string ArgumentTextOfProcess() {
  std::u16string cmd = OS().sys.GetCommandLineW();
  return Trim(OS().sys.PathGetArgsW(cmd.c_str()));
}

// The folder the run time knows the program by when the module file name cannot be read: the
// folder of the command line's first token, else the current directory.
std::u16string RuntimeAppFolder() {
  std::u16string cmd = Trim(OS().sys.GetCommandLineW());
  std::u16string first;
  if (!cmd.empty() && cmd[0] == u'"') {
    auto close = cmd.find(u'"', 1);
    first = cmd.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
  } else {
    first = cmd.substr(0, cmd.find(u' '));
  }
  auto slash = first.find_last_of(u'\\');
  if (slash != std::u16string::npos && slash > 0) return first.substr(0, slash);
  std::vector<char16_t> buf(519, u'\0');
  if (OS().fs.GetCurrentDirectoryW(static_cast<platform::DWORD>(buf.size()), buf.data()) == 0)
    return {};
  std::u16string dir = FromBuffer(buf);
  while (dir.size() > 3 && dir.back() == u'\\') dir.pop_back();
  return dir;
}

std::u16string WithBS(const std::u16string& dir) {
  if (!dir.empty() && dir.back() == u'\\') return dir;
  return dir + u"\\";
}

}  // namespace

bool NeverLoadForms() {
  return Ctx().common->NeverLoadForms;
}

void SetNeverLoadForms(bool bValue) {
  CommonState& c = *Ctx().common;
  if (c.NeverLoadForms_Assigned) return;
  c.NeverLoadForms = bValue;
  c.NeverLoadForms_Assigned = true;
}

std::u16string GetMyCommandLine(bool bRuntimeArgs) {
  Proc p(kModule, u"GetMyCommandLine", Kind::Function);
  p.Args({u"bRuntimeArgs", bRuntimeArgs});
  std::u16string sRet;
  p.Step([&] {
    bool in_ide = Ctx().env && Ctx().env->AppInst_IsIDE;
    if (!bRuntimeArgs && !in_ide) {
      std::u16string cmd = OS().sys.GetCommandLineW();
      sRet = Trim(OS().sys.PathGetArgsW(cmd.c_str()));
    } else {
      // The run time derives the argument text it hands to the program the same way.
      sRet = ArgumentTextOfProcess();
    }
  });
  p.Result(sRet);
  return sRet;
}

void InitVisualStyles(bool bInit) {
  Proc p(kModule, u"InitVisualStyles", Kind::Sub);
  p.Args({u"bInit", bInit});
  CommonState& c = *Ctx().common;
  if (bInit) {
    p.Step([&] {
      if (c.Shell32 == 0) {
        // Loading shell32 before the common controls makes the manifest's visual styles take.
        c.Shell32 = OS().sys.LoadLibraryW(u"shell32.dll");
        if (c.Shell32 == 0) p.LogAPI(u"LoadLibraryW", u"sFile=shell32.dll");
      }
    });
    p.Step([&] { OS().ui.InitCommonControls(); });
  } else {
    p.Step([&] {
      if (c.Shell32 != 0) {
        if (!OS().sys.FreeLibrary(c.Shell32)) p.LogAPI(u"FreeLibrary");
        c.Shell32 = 0;
      }
    });
  }
}

void SetIconFromRes(platform::HWND hWnd, std::u16string_view sIconResName, bool bSetAsAppIcon) {
  Proc p(kModule, u"SetIconFromRes", Kind::Sub);
  p.Args({u"hWnd", static_cast<std::int64_t>(hWnd), u"sIconResName", sIconResName, u"bSetAsAppIcon",
          bSetAsAppIcon});
  // Resource names are ANSI for LoadImageA; icon names are plain ASCII.
  std::string name;
  for (char16_t ch : sIconResName) name.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
  struct Size {
    platform::UINT kind;
    int cx_metric;
    int cy_metric;
  };
  constexpr Size kSizes[] = {{platform::kICON_BIG, 11, 12}, {platform::kICON_SMALL, 49, 50}};
  for (const Size& size : kSizes) {
    p.Step([&] {
      const int cx = OS().sys.GetSystemMetrics(size.cx_metric);
      const int cy = OS().sys.GetSystemMetrics(size.cy_metric);
      const platform::HANDLE icon =
          OS().ui.LoadImageA(0, name.c_str(), platform::kIMAGE_ICON, cx, cy, platform::kLR_SHARED);
      if (icon == 0) {
        p.LogAPI(u"LoadImageA", u"sIconResName=" + std::u16string(sIconResName));
        return;
      }
      const auto lparam = static_cast<std::intptr_t>(icon);
      OS().ui.SendMessageW(hWnd, platform::kWM_SETICON, size.kind, lparam);
      if (!bSetAsAppIcon) return;
      platform::HWND top = hWnd;
      for (platform::HWND owner = OS().ui.GetWindow(top, platform::kGW_OWNER); owner != 0;
           owner = OS().ui.GetWindow(top, platform::kGW_OWNER))
        top = owner;
      if (top != hWnd) OS().ui.SendMessageW(top, platform::kWM_SETICON, size.kind, lparam);
    });
  }
}

std::int32_t GetConnection(std::u16string_view sLocalName, std::u16string& sRemoteName) {
  Proc p(kModule, u"GetConnection", Kind::Function);
  p.Args({u"sLocalName", sLocalName});
  std::int32_t lRet = -1;
  sRemoteName.clear();
  p.Step([&] {
    std::u16string local(sLocalName);
    std::vector<char16_t> buf(519, u'\0');
    platform::DWORD len = static_cast<platform::DWORD>(buf.size());
    lRet = static_cast<std::int32_t>(OS().sys.WNetGetConnectionW(local.c_str(), buf.data(), &len));
    if (lRet == 0) {
      sRemoteName = FromBuffer(buf);
    } else if (lRet != static_cast<std::int32_t>(platform::kERROR_NOT_CONNECTED)) {
      p.LogAPI(u"WNetGetConnectionW", u"sLocalName=" + local);
    } else {
      // A local drive is an answer, not a failure: the next event must not report it.
      OS().sys.SetLastError(0);
    }
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sRemoteName", sRemoteName});
  p.Result(lRet);
  return lRet;
}

bool IsNetworkPath(std::u16string_view sPath) {
  Proc p(kModule, u"IsNetworkPath", Kind::Function);
  p.Args({u"sPath", sPath});
  bool bRet = false;
  p.Step([&] {
    std::u16string path = Trim(sPath);
    if (path.empty() && Ctx().env) path = Ctx().env->AppPath;
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
      bRet = true;
    } else if (path.size() >= 2 && path[1] == u':') {
      if (Ctx().env && Ctx().env->AppInst_IsSystem) {
        p.Log(
            u"System account detected; skipping WNetGetConnectionW (This API will crash app under "
            u"LocalSystem...)",
            debug::Event_Normal);
      } else {
        std::u16string remote;
        bRet = GetConnection(path.substr(0, 2), remote) !=
               static_cast<std::int32_t>(platform::kERROR_NOT_CONNECTED);
      }
    }
  });
  p.Result(bRet);
  return bRet;
}

bool DLLFunctionCheck(std::u16string_view sDLLFile, std::u16string_view sFunctionName) {
  Proc p(kModule, u"DLLFunctionCheck", Kind::Function);
  p.Args({u"sDLLFile", sDLLFile, u"sFunctionName", sFunctionName});
  bool bRet = false;
  p.Step([&] {
    std::u16string file(sDLLFile);
    platform::HMODULE module = OS().sys.LoadLibraryW(file.c_str());
    if (module == 0) {
      p.LogAPI(u"LoadLibraryW", u"sDLLFile=" + file);
      return;
    }
    std::string name;
    for (char16_t c : sFunctionName) name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    bRet = OS().sys.GetProcAddress(module, name.c_str()) != 0;
    // A missing export is the answer sought, not a failure to report with the next event.
    if (!bRet) OS().sys.SetLastError(0);
    OS().sys.FreeLibrary(module);
  });
  p.Result(bRet);
  return bRet;
}

bool HasServiceArgs() {
  CommonState& c = *Ctx().common;
  if (c.ServiceArgs_Checked) return c.ServiceArgs;
  Proc p(kModule, u"HasServiceArgs", Kind::Function);
  p.Step([&] {
    std::u16string args = ArgumentTextOfProcess();
    c.ServiceArgs = args.size() > 1 && args[0] == u'$';
  });
  c.ServiceArgs_Checked = true;
  p.Result(c.ServiceArgs);
  return c.ServiceArgs;
}

std::u16string GetWindowTitle(const TitleOptions& options) {
  Proc p(kModule, u"GetWindowTitle", Kind::Function);
  const bool bNoVersion = options.no_version;
  const bool bPrettyVersion = options.pretty_version;
  const bool bShortVersion = options.short_version;
  p.Args({u"bNoVersion", bNoVersion, u"bPrettyVersion", bPrettyVersion, u"bShortVersion",
          bShortVersion});
  std::u16string sRet;
  p.Step([&] {
    std::u16string suffix;
    std::u16string base(kAppTitle);
    if (const AppEnv* env = Ctx().env.get()) {
      if (env->AppVer_FastTrack) {
        if (!bNoVersion) suffix = u"  v" + env->AppVer_Full + u" [FastTrack]";
      } else if (env->AppVer_TestBuild) {
        suffix = bNoVersion ? std::u16string(u"  [TestBuild]")
                            : u"  v" + env->AppVer_Full + u" [TestBuild]";
      } else if (!bNoVersion) {
        suffix = u"  v" + (bShortVersion    ? env->AppVer_Pretty_Short
                           : bPrettyVersion ? env->AppVer_Pretty
                                            : env->AppVer_Full);
      }
      if (!env->AppTitle_EditionName.empty()) base += u" " + env->AppTitle_EditionName;
    }
    sRet = base + suffix;
  });
  p.Result(sRet);
  return sRet;
}

void SetAppPathExeInfo(bool bUseFallback) {
  Proc p(kModule, u"SetAppPathExeInfo", Kind::Sub);
  p.Args({u"bUseFallback", bUseFallback});
  if (!Ctx().env) {
    p.Log(u"The environment object does not exist yet; nothing set.", debug::Event_Normal);
    return;
  }
  AppEnv& env = *Ctx().env;
  std::u16string exe;
  bool from_module = false;
  if (!bUseFallback) {
    p.Step([&] {
      std::vector<char16_t> buf(509, u'\0');
      platform::DWORD n =
          OS().sys.GetModuleFileNameW(0, buf.data(), static_cast<platform::DWORD>(buf.size()));
      if (n == 0 || n >= buf.size()) {
        p.LogAPI(u"GetModuleFileNameW");
        return;
      }
      exe = FromBuffer(buf);
      from_module = !exe.empty();
    });
  }
  p.Step([&] {
    if (!from_module) {
      std::u16string folder = RuntimeAppFolder();
      exe = WithBS(folder) + std::u16string(kAppExeName) + u".exe";
    }
    auto slash = exe.find_last_of(u'\\');
    std::u16string folder, name;
    if (slash != std::u16string::npos) {
      folder = exe.substr(0, slash);
      name = exe.substr(slash + 1);
    } else {
      if (exe.size() >= 2) folder = u"\\";
      name = exe;
    }
    env.AppEXE = exe;
    env.AppPath = folder;
    env.AppPathBS = folder.empty() ? folder : WithBS(folder);
    env.AppEXE_NoPath = name;
    auto dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) {
      env.AppEXE_NoPath_NoExt = name.substr(0, dot);
      env.AppEXE_ExtOnly = name.substr(dot + 1);
    } else {
      env.AppEXE_NoPath_NoExt = name;
      env.AppEXE_ExtOnly.clear();
    }
  });
  p.Created({u"AppEXE", env.AppEXE, u"AppPath", env.AppPath});
}

}  // namespace kes
