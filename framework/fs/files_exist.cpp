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

bool IsDirByStringPointer(const std::u16string& prepared_path) {
  Proc p(kModule, u"IsDirByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", prepared_path});
  bool result = false;
  p.Step([&] {
    if (prepared_path.empty()) return;
    std::int32_t attributes = 0;
    {
      FsRedirectionOff redirection_off;
      attributes = static_cast<std::int32_t>(OS().fs.PathIsDirectoryW(prepared_path.c_str()));
    }
    result = attributes != -1 && IsDirAttrib(attributes);
  });
  p.Result(result);
  return result;
}

bool IsDir(std::u16string_view object) {
  Proc p(kModule, u"IsDir", Kind::Function);
  p.Args({u"sObject", object});
  bool result = false;
  p.Step([&] {
    const std::u16string object_w = Prepared(object);
    result = IsDirByStringPointer(object_w);
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

bool FileExistByStringPointer(const std::u16string& prepared_path) {
  Proc p(kModule, u"FileExistByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", prepared_path});
  bool result = false;
  p.Step([&] {
    if (prepared_path.empty()) return;
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(prepared_path, ok, error);
    // A file another process holds open exclusively cannot even be asked, but it is there.
    result = ok ? !IsDirAttrib(static_cast<std::int32_t>(attributes))
                : error == platform::kERROR_SHARING_VIOLATION;
  });
  p.Result(result);
  return result;
}

bool FSObjectExistByStringPointer(const std::u16string& prepared_path, bool& obj_is_dir) {
  Proc p(kModule, u"FSObjectExistByStringPointer", Kind::Function);
  p.Args({u"lStringPointer", prepared_path});
  bool result = false;
  p.Step([&] {
    if (prepared_path.empty()) return;
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(prepared_path, ok, error);
    if (ok) {
      obj_is_dir = IsDirAttrib(static_cast<std::int32_t>(attributes));
      result = true;
    } else {
      result = error == platform::kERROR_SHARING_VIOLATION;
    }
  });
  p.ReturnedByRef({u"Obj_Is_Dir", obj_is_dir});
  p.Result(result);
  return result;
}

bool FileExist(std::u16string_view file, bool ensure_non_zero_byte, std::u16string& result_msg) {
  Proc p(kModule, u"FileExist", Kind::Function);
  p.Args({u"sFile", file, u"bEnsureNonZeroByte", ensure_non_zero_byte});
  bool result = false;
  result_msg.clear();
  p.Step([&] {
    if (file.empty()) {
      result_msg = u"Passed empty string!";
      return;
    }
    // Nothing shorter than "C:\x" and nothing without a folder can name a file here.
    if (file.size() < 4 || file.find(u'\\') == std::u16string_view::npos) {
      result_msg = u"Path not found!";
      return;
    }
    const std::u16string file_w = Prepared(file);
    if (!FileExistByStringPointer(file_w)) {
      result_msg = u"File not found!";
      return;
    }
    p.Log(u"File exists!", debug::Event_Verbose, debug::VarsToText({u"sFile", file}));
    result = true;
    if (!ensure_non_zero_byte) return;
    platform::WIN32_FILE_ATTRIBUTE_DATA data;
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.GetFileAttributesExW(file_w.c_str(), &data);
    }
    if (ok) {
      const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
      if (size == 0) {
        result_msg = u"Zero Byte File!";
        result = false;
      }
    } else {
      const std::int32_t error =
          p.LogAPI(u"GetFileAttributesExW", debug::VarsToText({u"sFile", file, u"sFileW", file_w}));
      result_msg = u"API Error: " + Dec(error);
      result = false;
    }
  });
  if (!result_msg.empty()) {
    p.Log(result_msg, debug::Event_Normal, debug::VarsToText({u"sFile", file}));
  }
  p.ReturnedByRef({u"sResultMsg", result_msg});
  p.Result(result);
  return result;
}

bool FileExist(std::u16string_view file, bool ensure_non_zero_byte) {
  std::u16string result_msg;
  return FileExist(file, ensure_non_zero_byte, result_msg);
}

bool DirExist(std::u16string_view dir) {
  Proc p(kModule, u"DirExist", Kind::Function);
  p.Args({u"sDir", dir});
  bool result = false;
  p.Step([&] {
    if (dir.empty()) return;
    const std::u16string dir_w = Prepared(dir);
    bool ok = false;
    DWORD error = 0;
    const DWORD attributes = ReadAttributes(dir_w, ok, error);
    result = ok && IsDirAttrib(static_cast<std::int32_t>(attributes));
  });
  p.Result(result);
  return result;
}

// ---- attributes ---------------------------------------------------------------------------------

std::int32_t GetAttrib(std::u16string_view object) {
  Proc p(kModule, u"GetAttrib", Kind::Function);
  p.Args({u"sObject", object});
  std::int32_t result = 0;
  p.Step([&] {
    if (object.empty()) return;
    const std::u16string object_w = Prepared(object);
    std::int32_t attributes = 0;
    {
      FsRedirectionOff redirection_off;
      attributes = static_cast<std::int32_t>(OS().fs.GetFileAttributesW(object_w.c_str()));
    }
    if (attributes == -1 || attributes == 0) {
      const std::int32_t proc_error = static_cast<std::int32_t>(OS().sys.GetLastError());
      p.LogAPI(u"GetFileAttributesW",
               debug::VarsToText({u"lRet", attributes, u"sObject", object, u"sObjectW", object_w,
                                  u"lProcError", proc_error}));
    }
    p.Log(u"GetFileAttributesW Result", debug::Event_Normal,
          debug::VarsToText({u"lRet", attributes}));
    // Unreadable attributes give 0 rather than the 1 (read-only) that -1 would turn into.
    if (attributes != -1)
      result = static_cast<std::int32_t>(attributes < 0 ? -std::int64_t{attributes} : attributes);
  });
  p.Result(result);
  return result;
}

bool SetAttrib(std::u16string_view object, std::int32_t attributes) {
  Proc p(kModule, u"SetAttrib", Kind::Function);
  p.Args({u"sObject", object, u"lAttributes", attributes});
  bool result = false;
  p.Step([&] {
    const std::u16string object_w = Prepared(object);
    platform::BOOL set = 0;
    {
      FsRedirectionOff redirection_off;
      set = OS().fs.SetFileAttributesW(object_w.c_str(), static_cast<DWORD>(attributes));
    }
    if (set == 0) {
      p.LogAPI(u"SetFileAttributesW",
               debug::VarsToText({u"sObject", object, u"lAttributes", attributes}));
    }
    p.Log(u"SetFileAttributesW Result", debug::Event_Normal,
          debug::VarsToText({u"lRet", static_cast<std::int32_t>(set)}));
    result = set != 0;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
