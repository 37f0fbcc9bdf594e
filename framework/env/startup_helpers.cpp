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

void SetNeverLoadForms(bool value) {
  CommonState& c = *Ctx().common;
  if (c.NeverLoadForms_Assigned) return;
  c.NeverLoadForms = value;
  c.NeverLoadForms_Assigned = true;
}

std::u16string GetMyCommandLine(bool runtime_args) {
  Proc p(kModule, u"GetMyCommandLine", Kind::Function);
  p.Args({u"bRuntimeArgs", runtime_args});
  std::u16string result;
  p.Step([&] {
    bool in_ide = Ctx().env && Ctx().env->AppInst_IsIDE;
    if (!runtime_args && !in_ide) {
      std::u16string cmd = OS().sys.GetCommandLineW();
      result = Trim(OS().sys.PathGetArgsW(cmd.c_str()));
    } else {
      // The run time derives the argument text it hands to the program the same way.
      result = ArgumentTextOfProcess();
    }
  });
  p.Result(result);
  return result;
}

void InitVisualStyles(bool init) {
  Proc p(kModule, u"InitVisualStyles", Kind::Sub);
  p.Args({u"bInit", init});
  CommonState& c = *Ctx().common;
  if (init) {
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

void SetIconFromRes(platform::HWND window, std::u16string_view icon_res_name,
                    bool set_as_app_icon) {
  Proc p(kModule, u"SetIconFromRes", Kind::Sub);
  p.Args({u"hWnd", static_cast<std::int64_t>(window), u"sIconResName", icon_res_name,
          u"bSetAsAppIcon", set_as_app_icon});
  // Resource names are ANSI for LoadImageA; icon names are plain ASCII.
  std::string name;
  for (char16_t ch : icon_res_name) name.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
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
        p.LogAPI(u"LoadImageA", u"sIconResName=" + std::u16string(icon_res_name));
        return;
      }
      const auto lparam = static_cast<std::intptr_t>(icon);
      OS().ui.SendMessageW(window, platform::kWM_SETICON, size.kind, lparam);
      if (!set_as_app_icon) return;
      platform::HWND top = window;
      for (platform::HWND owner = OS().ui.GetWindow(top, platform::kGW_OWNER); owner != 0;
           owner = OS().ui.GetWindow(top, platform::kGW_OWNER))
        top = owner;
      if (top != window) OS().ui.SendMessageW(top, platform::kWM_SETICON, size.kind, lparam);
    });
  }
}

std::int32_t GetConnection(std::u16string_view local_name, std::u16string& remote_name) {
  Proc p(kModule, u"GetConnection", Kind::Function);
  p.Args({u"sLocalName", local_name});
  std::int32_t api_result = -1;
  remote_name.clear();
  p.Step([&] {
    std::u16string local(local_name);
    std::vector<char16_t> buf(519, u'\0');
    platform::DWORD len = static_cast<platform::DWORD>(buf.size());
    api_result =
        static_cast<std::int32_t>(OS().sys.WNetGetConnectionW(local.c_str(), buf.data(), &len));
    if (api_result == 0) {
      remote_name = FromBuffer(buf);
    } else if (api_result != static_cast<std::int32_t>(platform::kERROR_NOT_CONNECTED)) {
      p.LogAPI(u"WNetGetConnectionW", u"sLocalName=" + local);
    } else {
      // A local drive is an answer, not a failure: the next event must not report it.
      OS().sys.SetLastError(0);
    }
  });
  p.Vars(debug::Var_ReturnedByRef, {u"sRemoteName", remote_name});
  p.Result(api_result);
  return api_result;
}

bool IsNetworkPath(std::u16string_view path_in) {
  Proc p(kModule, u"IsNetworkPath", Kind::Function);
  p.Args({u"sPath", path_in});
  bool result = false;
  p.Step([&] {
    std::u16string path = Trim(path_in);
    if (path.empty() && Ctx().env) path = Ctx().env->AppPath;
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
      result = true;
    } else if (path.size() >= 2 && path[1] == u':') {
      if (Ctx().env && Ctx().env->AppInst_IsSystem) {
        p.Log(
            u"System account detected; skipping WNetGetConnectionW (This API will crash app under "
            u"LocalSystem...)",
            debug::Event_Normal);
      } else {
        std::u16string remote;
        result = GetConnection(path.substr(0, 2), remote) !=
                 static_cast<std::int32_t>(platform::kERROR_NOT_CONNECTED);
      }
    }
  });
  p.Result(result);
  return result;
}

bool DLLFunctionCheck(std::u16string_view dll_file, std::u16string_view function_name) {
  Proc p(kModule, u"DLLFunctionCheck", Kind::Function);
  p.Args({u"sDLLFile", dll_file, u"sFunctionName", function_name});
  bool result = false;
  p.Step([&] {
    std::u16string file(dll_file);
    platform::HMODULE module = OS().sys.LoadLibraryW(file.c_str());
    if (module == 0) {
      p.LogAPI(u"LoadLibraryW", u"sDLLFile=" + file);
      return;
    }
    std::string name;
    for (char16_t c : function_name) name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    result = OS().sys.GetProcAddress(module, name.c_str()) != 0;
    // A missing export is the answer sought, not a failure to report with the next event.
    if (!result) OS().sys.SetLastError(0);
    OS().sys.FreeLibrary(module);
  });
  p.Result(result);
  return result;
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
  const bool no_version = options.no_version;
  const bool pretty_version = options.pretty_version;
  const bool short_version = options.short_version;
  p.Args({u"bNoVersion", no_version, u"bPrettyVersion", pretty_version, u"bShortVersion",
          short_version});
  std::u16string result;
  p.Step([&] {
    std::u16string suffix;
    std::u16string base(kAppTitle);
    if (const AppEnv* env = Ctx().env.get()) {
      if (env->AppVer_FastTrack) {
        if (!no_version) suffix = u"  v" + env->AppVer_Full + u" [FastTrack]";
      } else if (env->AppVer_TestBuild) {
        suffix = no_version ? std::u16string(u"  [TestBuild]")
                            : u"  v" + env->AppVer_Full + u" [TestBuild]";
      } else if (!no_version) {
        suffix = u"  v" + (short_version    ? env->AppVer_Pretty_Short
                           : pretty_version ? env->AppVer_Pretty
                                            : env->AppVer_Full);
      }
      if (!env->AppTitle_EditionName.empty()) base += u" " + env->AppTitle_EditionName;
    }
    result = base + suffix;
  });
  p.Result(result);
  return result;
}

void SetAppPathExeInfo(bool use_fallback) {
  Proc p(kModule, u"SetAppPathExeInfo", Kind::Sub);
  p.Args({u"bUseFallback", use_fallback});
  if (!Ctx().env) {
    p.Log(u"The environment object does not exist yet; nothing set.", debug::Event_Normal);
    return;
  }
  AppEnv& env = *Ctx().env;
  std::u16string exe;
  bool from_module = false;
  if (!use_fallback) {
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
