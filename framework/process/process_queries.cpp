#include "framework/process/process_queries.h"

#include <string>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/path_forms.h"
#include "framework/fs/textfile.h"
#include "framework/process/privileges.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using platform::DWORD;

constexpr std::u16string_view kModule = u"App_Common";
constexpr DWORD kPathChars = 519;

// Visits the processes of a fresh snapshot in order until `visit` returns false. A snapshot
// that cannot be taken makes the first read fail: nothing is visited.
template <class F>
void WalkProcesses(F&& visit) {
  auto& os = OS();
  const platform::UniqueSnapshot snapshot(
      os, os.proc.CreateToolhelp32Snapshot(platform::kTH32CS_SNAPPROCESS, 0));
  platform::PROCESSENTRY32W entry;
  entry.dwSize = sizeof(entry);
  for (platform::BOOL more = os.proc.Process32FirstW(snapshot.get(), &entry); more;
       more = os.proc.Process32NextW(snapshot.get(), &entry)) {
    if (!visit(entry)) return;
  }
}

// The file name of a snapshot entry. The record is always UTF-16, whatever its first character.
std::u16string ExeName(const platform::PROCESSENTRY32W& entry) {
  std::u16string name(entry.szExeFile, std::size(entry.szExeFile));
  return TrimNull(name, true);
}

std::u16string WithoutExtension(std::u16string text) {
  const std::size_t dot = text.rfind(u'.');
  const std::size_t slash = text.rfind(u'\\');
  if (dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash))
    text.resize(dot);
  return text;
}

}  // namespace

std::u16string GetPathFromPID(std::int32_t pid, bool clean_path) {
  Proc p(kModule, u"GetPathFromPID", Kind::Function);
  p.Args({u"lPID", pid, u"bCleanPath", clean_path});
  std::u16string result;
  p.Step([&] { SetPrivilegeToken(p.id(), kPrivType_Debug, true); });
  const AppEnv* env = Ctx().env.get();
  const bool image_name_api = env && env->API_QueryFullProcessImageNameW;
  DWORD query_flag = platform::kPROCESS_QUERY_LIMITED_INFORMATION;
  std::u16string_view why = u"lQueryFlag = PROCESS_QUERY_LIMITED_INFORMATION";
  if (!env || !env->WinVista_OrNewer) {
    query_flag = platform::kPROCESS_QUERY_INFORMATION | platform::kPROCESS_VM_READ;
    why = u"lQueryFlag = PROCESS_QUERY_INFORMATION Or PROCESS_VM_READ";
  } else if (!image_name_api) {
    query_flag |= platform::kPROCESS_VM_READ;
    why = u"lQueryFlag = PROCESS_QUERY_LIMITED_INFORMATION Or PROCESS_VM_READ";
  }
  p.Log(why, debug::Event_Verbose,
        VarsToText({u"lQueryFlag", static_cast<std::int32_t>(query_flag)}));

  bool use_fallback = false;
  p.Step([&] {
    auto& proc = OS().proc;
    platform::UniqueHandle process(OS(), proc.OpenProcess(query_flag, 0, static_cast<DWORD>(pid)));
    if (!process) {
      const std::int32_t error = p.LogAPI(u"OpenProcess");
      if (error == 5) {
        p.Log(
            u"Access Denied; OpenProcess may have been called on Idle or a CSRSS Process...  "
            u"Sending to fGetPathFromPID2");
      } else if (error == 87) {
        p.Log(
            u"Invalid Parameter; OpenProcess called on System Process 0x0... Sending to "
            u"fGetPathFromPID2");
      }
      use_fallback = true;
      return;
    }
    if (image_name_api) {
      std::u16string buffer(kPathChars, u' ');
      DWORD size = kPathChars;
      const platform::BOOL ret =
          proc.QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size);
      if (ret) {
        process.reset();
        result = TrimNull(buffer, true);
        if (clean_path) FixPathFromAPI(result);
        p.Log(u"QueryFullProcessImageNameW Result", debug::Event_Verbose,
              VarsToText({u"sRetPath", result, u"API_Return", static_cast<std::int32_t>(ret)}));
        return;
      }
      p.LogAPI(u"QueryFullProcessImageNameW Failure!");
    }
    if (!(query_flag & platform::kPROCESS_VM_READ)) {
      // Only noted: the handle keeps the rights it was opened with.
      query_flag |= platform::kPROCESS_VM_READ;
      p.Log(u"Adjusted:  lQueryFlag = lQueryFlag Or PROCESS_VM_READ", debug::Event_Verbose,
            VarsToText({u"lQueryFlag", static_cast<std::int32_t>(query_flag)}));
    }
    std::u16string buffer(kPathChars, u' ');
    const DWORD ret = proc.GetModuleFileNameExW(process.get(), 0, buffer.data(), kPathChars);
    process.reset();  // keeps the call's last error
    if (!ret) {
      p.LogAPI(u"GetModuleFileNameExW Failure!");
      return;
    }
    // The wide path as it came: a trip through the ANSI code page would turn every character
    // outside it into "?".
    result = TrimNull(buffer, true);
    p.Log(u"GetModuleFileNameExW Result", debug::Event_Verbose,
          VarsToText({u"sRetPath", result, u"API_Return", static_cast<std::int32_t>(ret)}));
  });
  if (use_fallback) {
    p.Step([&] { SetPrivilegeToken(p.id(), kPrivType_Debug, false); });
    result = fGetPathFromPID2(pid, clean_path);
  }
  p.Step([&] { SetPrivilegeToken(p.id(), kPrivType_Debug, false); });
  p.Result(result);
  return result;
}

std::u16string fGetPathFromPID2(std::int32_t pid, bool clean_path) {
  Proc p(u"App_ExtProcess", u"fGetPathFromPID2", Kind::Function);
  std::u16string result;
  p.Step([&] {
    auto& os = OS();
    platform::UniqueToken token(os);
    if (!os.sec.OpenProcessToken(platform::kCurrentProcess,
                                 platform::kTOKEN_ADJUST_PRIVILEGES | platform::kTOKEN_QUERY,
                                 token.put())) {
      return;
    }
    platform::TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    if (!os.sec.LookupPrivilegeValueA("", "SeDebugPrivilege", &privileges.Privileges[0].Luid))
      return;
    privileges.Privileges[0].Attributes = platform::kSE_PRIVILEGE_ENABLED;
    if (!os.sec.AdjustTokenPrivileges(token.get(), 0, &privileges, 0, nullptr, nullptr)) return;
    {
      platform::UniqueHandle process(
          os, os.proc.OpenProcess(platform::kPROCESS_QUERY_INFORMATION | platform::kPROCESS_VM_READ,
                                  0, static_cast<DWORD>(pid)));
      platform::HMODULE module = 0;
      DWORD needed = 0;
      if (os.proc.EnumProcessModules(process.get(), &module, 0, &needed)) {
        std::string ansi(platform::kMAX_PATH + 1, '\0');
        os.proc.GetModuleFileNameExA(process.get(), 0, ansi.data(), platform::kMAX_PATH);
        process.reset();
        std::u16string fixed = AToW(ansi.c_str());
        fixed.resize(platform::kMAX_PATH, u' ');
        if (clean_path) {
          FixPathFromAPI(fixed);
          result = fixed;
        } else {
          result = TrimNull(fixed, true);
        }
      }
    }
    privileges.Privileges[0].Attributes = 0;
    os.sec.AdjustTokenPrivileges(token.get(), 0, &privileges, 0, nullptr, nullptr);
  });
  return result;
}

std::int32_t GetParentPID(std::int32_t pid) {
  Proc p(kModule, u"GetParentPID", Kind::Function);
  p.Args({u"lPID", pid});
  const bool own = Ctx().env && pid == Ctx().env->AppInst_ProcessID;
  if (own) p.Step([&] { SetPrivilegeToken(p.id(), kPrivType_Debug, true); });
  std::int32_t parent = 0;
  p.Step([&] {
    WalkProcesses([&](const platform::PROCESSENTRY32W& e) {
      if (e.th32ProcessID != static_cast<DWORD>(pid)) return true;
      parent = static_cast<std::int32_t>(e.th32ParentProcessID);
      return false;
    });
  });
  if (own) p.Step([&] { SetPrivilegeToken(p.id(), kPrivType_Debug, false); });
  p.Vars(debug::Var_FunctionReturn, {u"lRet", parent});
  return parent;
}

std::int32_t GetPID(std::u16string_view file_name_path_opt_ext_opt) {
  Proc p(kModule, u"GetPID", Kind::Function);
  p.Args({u"sFileNamePathOptExtOpt", file_name_path_opt_ext_opt});
  std::int32_t result = 0;
  p.Step([&] {
    const std::u16string given(file_name_path_opt_ext_opt);
    const bool full_path = given.find(u'\\') != std::u16string::npos;
    std::u16string name = given;
    if (full_path) StripStringNS(name, u"\\", Strip_AfterLast);
    const bool no_extension = name.find(u'.') == std::u16string::npos;
    WalkProcesses([&](const platform::PROCESSENTRY32W& e) {
      std::u16string entry = ExeName(e);
      if (no_extension) entry = WithoutExtension(entry);
      if (!StringMatch(entry, name)) return true;
      if (full_path) {
        std::u16string path = GetPathFromPID(static_cast<std::int32_t>(e.th32ProcessID), true);
        // A path given without its extension is compared without the process's one.
        if (no_extension) path = WithoutExtension(path);
        if (path.empty() || !StringMatch(path, given)) return true;
      }
      result = static_cast<std::int32_t>(e.th32ProcessID);
      return false;
    });
  });
  p.Result(result);
  return result;
}

bool IsProcessRunningByPID(std::int32_t pid) {
  Proc p(kModule, u"IsProcessRunningByPID", Kind::Function);
  p.Args({u"lPID", pid});
  bool running = false;
  p.Step([&] {
    WalkProcesses([&](const platform::PROCESSENTRY32W& e) {
      running = e.th32ProcessID == static_cast<DWORD>(pid);
      return !running;
    });
  });
  p.Result(running);
  return running;
}

std::u16string ByteArrayToString(std::span<const std::uint8_t> bytes, bool trim) {
  std::u16string text;
  if (bytes.size() >= 2 && bytes[1] == 0) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  } else if (!bytes.empty()) {
    auto& sys = OS().sys;
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    const int n = static_cast<int>(bytes.size());
    text.resize(static_cast<std::size_t>(n));
    const int got = sys.MultiByteToWideChar(0, 0, data, n, text.data(), n);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  }
  if (trim) TrimNull(text, true);
  return text;
}

}  // namespace kes
