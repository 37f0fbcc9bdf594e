// WOW64 redirection pair, existence and type tests, attribute reads and writes.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "platform/base/u16.h"

namespace kes {

using debug::Kind;
using debug::Proc;
using fs_detail::IsDirAttrib;
using fs_detail::kModule;
using fs_detail::Prepared;
using platform::DWORD;

namespace {

// Only a 32-bit process on 64-bit Windows has a redirection to switch.
bool Win64() {
  return Ctx().env && Ctx().env->g_Win64bit;
}

void MirrorRedirState() {
  if (Ctx().env) Ctx().env->FSRedirDisabled = Ctx().fs_redir.disabled();
}

}  // namespace

// ---- redirection ------------------------------------------------------------------------------

void DisableFSRedir() {
  FsRedirState& st = Ctx().fs_redir;
  if (!st.disabled() && Win64()) {
    // The switch is bookkeeping around the real call; the caller's error must survive it.
    const DWORD keep = OS().sys.GetLastError();
    std::uintptr_t old_value = 0;
    if (OS().fs.Wow64DisableWow64FsRedirection(&old_value))
      st.switched_off = platform::UniqueRedirection(OS(), old_value);
    OS().sys.SetLastError(keep);
  }
  MirrorRedirState();
}

void RevertFSRedir() {
  // The owner switches it back on and leaves the last error as it was.
  Ctx().fs_redir.switched_off.reset();
  MirrorRedirState();
}

// ---- existence and type tests -------------------------------------------------------------------

bool IsDirByStringPointer(const std::u16string& lStringPointer) {
  Proc p(kModule, u"IsDirByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", lStringPointer});
  bool result = false;
  p.Step([&] {
    if (lStringPointer.empty()) return;
    std::int32_t lRet = 0;
    {
      FsRedirectionOff redirection_off;
      lRet = static_cast<std::int32_t>(OS().fs.PathIsDirectoryW(lStringPointer.c_str()));
    }
    result = lRet != -1 && IsDirAttrib(lRet);
  });
  p.Result(result);
  return result;
}

bool IsDir(std::u16string_view sObject) {
  Proc p(kModule, u"IsDir", Kind::Function);
  p.Args({u"sObject", sObject});
  bool result = false;
  p.Step([&] {
    const std::u16string sObjectW = Prepared(sObject);
    result = IsDirByStringPointer(sObjectW);
  });
  p.Result(result);
  return result;
}

namespace {

// The attributes of a prepared path, read with redirection off; nullopt-like answer through
// `ok`, and the last error of a failed read in `error`.
DWORD ReadAttributes(const std::u16string& path, bool& ok, DWORD& error) {
  FsRedirectionOff redirection_off;
  const DWORD attributes = OS().fs.GetFileAttributesW(path.c_str());
  ok = attributes != platform::kINVALID_FILE_ATTRIBUTES;
  error = ok ? 0 : OS().sys.GetLastError();
  return attributes;
}

}  // namespace

bool FileExistByStringPointer(const std::u16string& lStringPointer) {
  Proc p(kModule, u"FileExistByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", lStringPointer});
  bool result = false;
  p.Step([&] {
    if (lStringPointer.empty()) return;
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(lStringPointer, ok, error);
    // A file another process holds open exclusively cannot even be asked, but it is there.
    result = ok ? !IsDirAttrib(static_cast<std::int32_t>(attributes))
                : error == platform::kERROR_SHARING_VIOLATION;
  });
  p.Result(result);
  return result;
}

bool FSObjectExistByStringPointer(const std::u16string& lStringPointer, bool& Obj_Is_Dir) {
  Proc p(kModule, u"FSObjectExistByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", lStringPointer});
  bool result = false;
  p.Step([&] {
    if (lStringPointer.empty()) return;
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(lStringPointer, ok, error);
    if (ok) {
      Obj_Is_Dir = IsDirAttrib(static_cast<std::int32_t>(attributes));
      result = true;
    } else {
      result = error == platform::kERROR_SHARING_VIOLATION;
    }
  });
  p.ReturnedByRef({u"Obj_Is_Dir", Obj_Is_Dir});
  p.Result(result);
  return result;
}

bool FileExist(std::u16string_view sFile, bool bEnsureNonZeroByte, std::u16string& sResultMsg) {
  Proc p(kModule, u"FileExist", Kind::Function);
  p.Args({u"sFile", sFile, u"bEnsureNonZeroByte", bEnsureNonZeroByte});
  bool result = false;
  sResultMsg.clear();
  p.Step([&] {
    if (sFile.empty()) {
      sResultMsg = u"Passed empty string!";
      return;
    }
    // Nothing shorter than "C:\x" and nothing without a folder can name a file here.
    if (sFile.size() < 4 || sFile.find(u'\\') == std::u16string_view::npos) {
      sResultMsg = u"Path not found!";
      return;
    }
    const std::u16string sFileW = Prepared(sFile);
    if (!FileExistByStringPointer(sFileW)) {
      sResultMsg = u"File not found!";
      return;
    }
    p.Log(u"File exists!", debug::Event_Verbose, debug::VarsToText({u"sFile", sFile}));
    result = true;
    if (!bEnsureNonZeroByte) return;
    platform::WIN32_FILE_ATTRIBUTE_DATA data;
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.GetFileAttributesExW(sFileW.c_str(), &data);
    }
    if (ok) {
      const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
      if (size == 0) {
        sResultMsg = u"Zero Byte File!";
        result = false;
      }
    } else {
      const std::int32_t lErr = p.LogAPI(u"GetFileAttributesExW",
                                         debug::VarsToText({u"sFile", sFile, u"sFileW", sFileW}));
      sResultMsg = u"API Error: " + Dec(lErr);
      result = false;
    }
  });
  if (!sResultMsg.empty()) {
    p.Log(sResultMsg, debug::Event_Normal, debug::VarsToText({u"sFile", sFile}));
  }
  p.ReturnedByRef({u"sResultMsg", sResultMsg});
  p.Result(result);
  return result;
}

bool FileExist(std::u16string_view sFile, bool bEnsureNonZeroByte) {
  std::u16string sResultMsg;
  return FileExist(sFile, bEnsureNonZeroByte, sResultMsg);
}

bool DirExist(std::u16string_view sDir) {
  Proc p(kModule, u"DirExist", Kind::Function);
  p.Args({u"sDir", sDir});
  bool result = false;
  p.Step([&] {
    if (sDir.empty()) return;
    const std::u16string sDirW = Prepared(sDir);
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(sDirW, ok, error);
    result = ok && IsDirAttrib(static_cast<std::int32_t>(attributes));
  });
  p.Result(result);
  return result;
}

// ---- attributes ---------------------------------------------------------------------------------

std::int32_t GetAttrib(std::u16string_view sObject) {
  Proc p(kModule, u"GetAttrib", Kind::Function);
  p.Args({u"sObject", sObject});
  std::int32_t result = 0;
  p.Step([&] {
    if (sObject.empty()) return;
    const std::u16string sObjectW = Prepared(sObject);
    std::int32_t lRet = 0;
    {
      FsRedirectionOff redirection_off;
      lRet = static_cast<std::int32_t>(OS().fs.GetFileAttributesW(sObjectW.c_str()));
    }
    if (lRet == -1 || lRet == 0) {
      const std::int32_t lProcError = static_cast<std::int32_t>(OS().sys.GetLastError());
      p.LogAPI(u"GetFileAttributesW",
               debug::VarsToText({u"lRet", lRet, u"sObject", sObject, u"sObjectW", sObjectW,
                                  u"lProcError", lProcError}));
    }
    p.Log(u"GetFileAttributesW Result", debug::Event_Normal, debug::VarsToText({u"lRet", lRet}));
    // Unreadable attributes give 0 rather than the 1 (read-only) that -1 would turn into.
    if (lRet != -1) result = static_cast<std::int32_t>(lRet < 0 ? -std::int64_t{lRet} : lRet);
  });
  p.Result(result);
  return result;
}

bool SetAttrib(std::u16string_view sObject, std::int32_t lAttributes) {
  Proc p(kModule, u"SetAttrib", Kind::Function);
  p.Args({u"sObject", sObject, u"lAttributes", lAttributes});
  bool result = false;
  p.Step([&] {
    const std::u16string sObjectW = Prepared(sObject);
    platform::BOOL lRet = 0;
    {
      FsRedirectionOff redirection_off;
      lRet = OS().fs.SetFileAttributesW(sObjectW.c_str(), static_cast<DWORD>(lAttributes));
    }
    if (lRet == 0) {
      p.LogAPI(u"SetFileAttributesW",
               debug::VarsToText({u"sObject", sObject, u"lAttributes", lAttributes}));
    }
    p.Log(u"SetFileAttributesW Result", debug::Event_Normal,
          debug::VarsToText({u"lRet", static_cast<std::int32_t>(lRet)}));
    result = lRet != 0;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
