// Folders, deletion, temporary names and the volume and write-access probes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/fs/files_internal.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using fs_detail::kModule;
using fs_detail::Prepared;
using platform::DWORD;

namespace {

// Buffers handed to the system are this many characters.
constexpr std::size_t kBufferChars = 519;

// Paths longer than this are beyond what the ANSI folder call can take.
constexpr std::size_t kMaxAnsiDirChars = 244;

// The text in the ANSI code page; `lossless` is false when a character had no ANSI form (the
// conversion then put the code page's default character in its place).
std::string ToAnsi(std::u16string_view text, bool& lossless) {
  lossless = true;
  if (text.empty()) return {};
  const int src_len = static_cast<int>(text.size());
  const int size =
      OS().sys.WideCharToMultiByte(0, 0, text.data(), src_len, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    lossless = false;
    return {};
  }
  std::string out(static_cast<std::size_t>(size), '\0');
  platform::BOOL used_default = 0;
  const int written = OS().sys.WideCharToMultiByte(0, 0, text.data(), src_len, out.data(), size,
                                                   nullptr, &used_default);
  if (written <= 0) {
    lossless = false;
    return {};
  }
  out.resize(static_cast<std::size_t>(written));
  lossless = used_default == 0;
  return out;
}

// A path split into the part that is never created (drive, share, wide-API prefix) and the
// folder names below it.
struct PathParts {
  std::u16string root;
  std::vector<std::u16string> names;
};

PathParts SplitForCreation(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::u16string cur;
  for (char16_t c : path) {
    if (c == u'\\') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  // How many leading pieces form the root: "C:" is one; "\\server\share" is four (two empty
  // pieces first); "\\?\C:" four; "\\?\UNC\server\share" six.
  std::size_t root_pieces = 1;
  if (path.starts_with(u"\\\\")) {
    root_pieces = 4;
    if (parts.size() > 2 && (parts[2] == u"?" || parts[2] == u".")) {
      root_pieces = (parts.size() > 3 && EqualsNoCase(parts[3], u"UNC")) ? 6 : 4;
    }
  }
  PathParts out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i < root_pieces) {
      if (i > 0) out.root += u'\\';
      out.root += parts[i];
    } else if (!parts[i].empty()) {
      out.names.push_back(parts[i]);
    }
  }
  return out;
}

std::u16string EnvironmentVariable(std::u16string_view name) {
  std::u16string buf(kBufferChars, u'\0');
  const std::u16string n(name);
  const DWORD len =
      OS().sys.GetEnvironmentVariableW(n.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  if (len == 0 || len >= buf.size()) return {};
  buf.resize(len);
  return buf;
}

}  // namespace

// ---- folders ----------------------------------------------------------------------------------

bool EnsureDirExists(std::u16string_view sDirIn, std::int32_t& lFailReason) {
  Proc p(kModule, u"EnsureDirExists", Kind::Function);
  p.Args({u"sDir", sDirIn, u"lFailReason", lFailReason});
  bool result = false;
  std::u16string sDir(sDirIn);
  p.Step([&] {
    TrimNull(sDir, true);
    if (sDir.find(u':') == std::u16string::npos && sDir.find(u"\\\\") == std::u16string::npos) {
      p.Log(u"Passed bad string (no colon or \\\\ in string) for sDir: [" + sDir + u"]",
            debug::Event_Normal);
      return;
    }
    std::u16string sDirToCreate = sDir;
    StripTrailingBackslash(sDirToCreate);
    p.Created({u"sDirToCreate", sDirToCreate});
    if (DirExist(sDirToCreate)) {
      p.Log(u"DirExist = True!", debug::Event_Verbose);
      result = true;
      return;
    }

    // A file where the folder belongs has to go first.
    if (FileExist(sDirToCreate, false)) {
      const bool removed = FileDelete(sDirToCreate) || ShellDelete(sDirToCreate, kQuietDelete);
      if (!removed) {
        p.Log(u"Aborting; failure to remove existing file!", debug::Event_Normal,
              VarsToText({u"sDirToCreate", sDirToCreate}));
        return;
      }
      p.Log(u"A file existed of same name, but was deleted successfully!", debug::Event_Normal,
            VarsToText({u"sDirToCreate", sDirToCreate}));
    }

    // The ANSI call takes only paths the ANSI code page can carry and that fit its length;
    // everything else is created folder by folder through the wide call.
    bool via_wide = HasUnicodeCharacters(sDirToCreate) || sDirToCreate.size() > kMaxAnsiDirChars;
    const std::u16string sDirToCreateBS = sDirToCreate + u"\\";
    std::string ansi;
    if (!via_wide) {
      bool lossless = true;
      ansi = ToAnsi(sDirToCreateBS, lossless);
      via_wide = !lossless;
    }
    bool bSuccess = false;
    if (via_wide) {
      bSuccess = CreateDirW(sDirToCreate, lFailReason);
    } else {
      platform::BOOL ok = 0;
      {
        FsRedirectionOff redirection_off;
        ok = OS().fs.MakeSureDirectoryPathExists(ansi.c_str());
      }
      if (!ok) {
        lFailReason = static_cast<std::int32_t>(OS().sys.GetLastError());
        p.LogAPI(u"MakeSureDirectoryPathExists", VarsToText({u"sDirToCreateBS", sDirToCreateBS}));
      }
      bSuccess = ok != 0;
    }

    if (bSuccess) {
      p.Log(u"Completed; Success = True!", debug::Event_Verbose,
            VarsToText({u"sDir", sDir, u"lFailReason", lFailReason}));
      result = true;
    } else if (DirExist(sDirToCreate)) {
      p.Log(u"Completed; Success <> True, yet DirExist = True; returning success!",
            debug::Event_Normal, VarsToText({u"sDir", sDir, u"lFailReason", lFailReason}));
      result = true;
    } else {
      p.Log(via_wide ? u"Completed via CreateDirectoryW; DirExist = False!"
                     : u"Completed via MakeSureDirectoryPathExists; DirExist = False!",
            debug::Event_Normal, VarsToText({u"sDir", sDir, u"lFailReason", lFailReason}));
    }
  });
  p.ReturnedByRef({u"lFailReason", lFailReason});
  p.Result(result);
  return result;
}

bool EnsureDirExists(std::u16string_view sDir) {
  std::int32_t lFailReason = 0;
  return EnsureDirExists(sDir, lFailReason);
}

bool CreateDirW(std::u16string_view destDir, std::int32_t& lFailReason) {
  Proc p(kModule, u"CreateDirW", Kind::Function);
  p.Args({u"destDir", destDir, u"lFailReason", lFailReason});
  bool result = false;
  p.Step([&] {
    std::u16string dir(destDir);
    TrimNull(dir, true);
    const PathParts parts = SplitForCreation(dir);
    std::u16string sPath = parts.root;
    for (const std::u16string& name : parts.names) {
      sPath += u'\\';
      sPath += name;
      if (DirExist(sPath)) continue;
      const std::u16string sPathW = Prepared(sPath, true);
      platform::BOOL ok = 0;
      {
        FsRedirectionOff redirection_off;
        ok = OS().fs.CreateDirectoryW(sPathW.c_str());
      }
      if (ok) continue;
      const DWORD error = OS().sys.GetLastError();
      lFailReason = static_cast<std::int32_t>(error);
      p.LogAPI(u"CreateDirectoryW", VarsToText({u"sPath", sPath}));
      // Denied on a folder that exists but cannot be read, or made meanwhile: go on below it.
      if (error != platform::kERROR_ACCESS_DENIED && error != platform::kERROR_ALREADY_EXISTS) {
        break;
      }
    }
    result = DirExist(dir);
  });
  p.ReturnedByRef({u"lFailReason", lFailReason});
  p.Result(result);
  return result;
}

bool SetCurrentDir(std::u16string_view sPath) {
  Proc p(kModule, u"SetCurrentDir", Kind::Function);
  p.Args({u"sPath", sPath});
  bool result = false;
  p.Step([&] {
    std::u16string path(sPath);
    if (path.empty() || path.back() != u'\\') path += u'\\';
    const std::u16string sPathW = Prepared(path);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.SetCurrentDirectoryW(sPathW.c_str());
    }
    if (!ok) p.LogAPI(u"SetCurrentDirectoryW", VarsToText({u"sPath", path}));
    result = ok != 0;
  });
  p.Result(result);
  return result;
}

// ---- deletion ---------------------------------------------------------------------------------

bool FileDelete(std::u16string_view sFile) {
  Proc p(kModule, u"FileDelete", Kind::Function);
  p.Args({u"sFile", sFile});
  bool result = false;
  p.Step([&] {
    // A trailing backslash names a folder: never a file to delete.
    if (sFile.empty() || sFile.back() == u'\\') return;
    const std::u16string sFileW = Prepared(sFile);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.DeleteFileW(sFileW.c_str());
    }
    if (ok) {
      result = true;
      return;
    }
    // What counts is that nothing is there any more, whoever removed it.
    const DWORD error = OS().sys.GetLastError();
    bool is_dir = false;
    if (!FSObjectExistByStringPointer(sFileW, is_dir)) {
      result = true;
      return;
    }
    OS().sys.SetLastError(error);
    p.LogAPI(u"DeleteFileW", VarsToText({u"sFile", sFile}));
  });
  p.Result(result);
  return result;
}

bool ShellDelete(std::u16string_view sObject, const ShellDeleteOptions& options) {
  Proc p(kModule, u"ShellDelete", Kind::Function);
  p.Args({u"sObject", sObject, u"bNoConfirm", options.no_confirm, u"bRecycle", options.recycle,
          u"bInvisiblePlusNoErrors", options.invisible_plus_no_errors});
  bool result = false;
  p.Step([&] {
    std::int32_t lFlags = 0;
    if (options.invisible_plus_no_errors)
      lFlags |= platform::kFOF_SILENT | platform::kFOF_NOERRORUI;
    if (options.no_confirm) lFlags |= platform::kFOF_NOCONFIRMATION;
    if (options.recycle) lFlags |= platform::kFOF_ALLOWUNDO;
    result = ShellOperation(ShellOp_Delete, lFlags, sObject, u"");
  });
  p.Result(result);
  return result;
}

bool ShellOperation(ShellOperationEnum eOperation, std::int32_t lFlags, std::u16string_view sObject,
                    std::u16string_view sObjectDest) {
  Proc p(kModule, u"ShellOperation", Kind::Function);
  p.Args({u"ShellOperationEnum", static_cast<std::int32_t>(eOperation), u"lFlags", lFlags,
          u"sObject", sObject, u"sObjectDest", sObjectDest});
  bool result = false;
  p.Step([&] {
    if (sObject.empty()) return;
    // The shell takes lists: each name ends with a NUL and the list with a second one.
    std::u16string from(sObject);
    TrimNull(from, true);
    from += std::u16string(2, u'\0');
    std::u16string to(sObjectDest);
    const bool has_dest = !to.empty();
    if (has_dest) {
      TrimNull(to, true);
      to += std::u16string(2, u'\0');
    }
    // The platform call runs the operation without an owner window; the dialogs it could own
    // are those of non-silent operations, which the framework does not ask for.
    platform::BOOL aborted = 0;
    int lRet = 0;
    {
      FsRedirectionOff redirection_off;
      lRet = OS().fs.SHFileOperationW(static_cast<platform::UINT>(eOperation), from.c_str(),
                                      has_dest ? to.c_str() : nullptr,
                                      static_cast<platform::WORD>(lFlags), &aborted);
    }
    if (lRet != 0) {
      // The shell answers with its code instead of setting the last error.
      OS().sys.SetLastError(static_cast<DWORD>(lRet));
      p.LogAPI(u"SHFileOperationW", VarsToText({u"lRet", lRet, u"sObject", sObject}));
    }
    result = lRet == 0 && aborted == 0;
  });
  p.Result(result);
  return result;
}

// ---- other -----------------------------------------------------------------------------------

std::u16string GetTempFile(std::u16string_view sAltPath, bool bRemoveFileBeforeReturn,
                           bool bEnsurePathExists) {
  Proc p(kModule, u"GetTempFile", Kind::Function);
  p.Args({u"sAltPath", sAltPath, u"bRemoveFileBeforeReturn", bRemoveFileBeforeReturn,
          u"bEnsurePathExists", bEnsurePathExists});
  std::u16string result;
  p.Step([&] {
    std::u16string sPath;
    if (!sAltPath.empty()) {
      sPath = sAltPath;
      if (sPath.back() != u'\\') sPath += u'\\';
    } else if (Ctx().env && !Ctx().env->UserDirBS_CurrentUser_Temp.empty()) {
      sPath = Ctx().env->UserDirBS_CurrentUser_Temp;
    } else {
      sPath = EnvironmentVariable(u"Temp") + u"\\";
    }
    p.Created({u"sPath", sPath});
    if (bEnsurePathExists && !EnsureDirExists(sPath)) {
      p.Log(u"Could not create path!", debug::Event_Normal, VarsToText({u"sPath", sPath}));
      return;
    }
    const std::u16string sPathW = Prepared(sPath);
    std::u16string sBuffer(kBufferChars, u'\0');
    platform::UINT lRet = 0;
    {
      FsRedirectionOff redirection_off;
      lRet = OS().fs.GetTempFileNameW(sPathW.c_str(), u"qzt", 0, sBuffer.data());
    }
    if (lRet == 0) {
      p.LogAPI(u"GetTempFileNameW", VarsToText({u"sPath", sPath}));
      return;
    }
    FixPathFromAPI(sBuffer);
    if (bRemoveFileBeforeReturn) FileDelete(sBuffer);
    result = sBuffer;
  });
  p.Result(result);
  return result;
}

bool HasWriteAccess(std::u16string_view sDir) {
  Proc p(kModule, u"HasWriteAccess", Kind::Function);
  p.Args({u"sDir", sDir});
  bool result = false;
  p.Step([&] { result = !GetTempFile(sDir, true, false).empty(); });
  p.Result(result);
  return result;
}

std::u16string GetFileSystemType_AsString(std::u16string_view sDriveLetter) {
  Proc p(kModule, u"GetFileSystemType_AsString", Kind::Function);
  p.Args({u"sDriveLetter", sDriveLetter});
  std::u16string result;
  p.Step([&] {
    std::u16string drive(sDriveLetter);
    if (drive.empty()) {
      if (Ctx().env) drive = Ctx().env->SystemDriveBS;
      if (drive.empty()) drive = EnvironmentVariable(u"SystemDrive");
    }
    if (drive.empty() || (drive.size() > 1 && drive[1] != u':')) {
      p.Log(u"Invalid value passed as drive letter!", debug::Event_Normal,
            VarsToText({u"sDriveLetter", sDriveLetter}));
      return;
    }
    const std::u16string sRoot = drive.substr(0, 1) + u":\\";
    std::u16string sFileSystem(platform::kMAX_PATH, u'\0');
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.GetVolumeInformationW(sRoot.c_str(), sFileSystem.data(), platform::kMAX_PATH);
    }
    if (!ok) {
      p.LogAPI(u"GetVolumeInformationW", VarsToText({u"sRoot", sRoot}));
      return;
    }
    result = TrimNull(sFileSystem);
  });
  p.Result(result);
  return result;
}

}  // namespace kes
