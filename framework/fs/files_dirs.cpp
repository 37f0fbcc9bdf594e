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

bool EnsureDirExists(std::u16string_view dir_in, std::int32_t& fail_reason) {
  Proc p(kModule, u"EnsureDirExists", Kind::Function);
  p.Args({u"sDir", dir_in, u"lFailReason", fail_reason});
  bool result = false;
  std::u16string dir(dir_in);
  p.Step([&] {
    TrimNull(dir, true);
    if (dir.find(u':') == std::u16string::npos && dir.find(u"\\\\") == std::u16string::npos) {
      p.Log(u"Passed bad string (no colon or \\\\ in string) for sDir: [" + dir + u"]",
            debug::Event_Normal);
      return;
    }
    std::u16string dir_to_create = dir;
    StripTrailingBackslash(dir_to_create);
    p.Created({u"sDirToCreate", dir_to_create});
    if (DirExist(dir_to_create)) {
      p.Log(u"DirExist = True!", debug::Event_Verbose);
      result = true;
      return;
    }

    // A file where the folder belongs has to go first.
    if (FileExist(dir_to_create, false)) {
      const bool removed = FileDelete(dir_to_create) || ShellDelete(dir_to_create, kQuietDelete);
      if (!removed) {
        p.Log(u"Aborting; failure to remove existing file!", debug::Event_Normal,
              VarsToText({u"sDirToCreate", dir_to_create}));
        return;
      }
      p.Log(u"A file existed of same name, but was deleted successfully!", debug::Event_Normal,
            VarsToText({u"sDirToCreate", dir_to_create}));
    }

    // The ANSI call takes only paths the ANSI code page can carry and that fit its length;
    // everything else is created folder by folder through the wide call.
    bool via_wide = HasUnicodeCharacters(dir_to_create) || dir_to_create.size() > kMaxAnsiDirChars;
    const std::u16string dir_to_create_bs = dir_to_create + u"\\";
    std::string ansi;
    if (!via_wide) {
      bool lossless = true;
      ansi = ToAnsi(dir_to_create_bs, lossless);
      via_wide = !lossless;
    }
    bool succeeded = false;
    if (via_wide) {
      succeeded = CreateDirW(dir_to_create, fail_reason);
    } else {
      platform::BOOL ok = 0;
      {
        FsRedirectionOff redirection_off;
        ok = OS().fs.MakeSureDirectoryPathExists(ansi.c_str());
      }
      if (!ok) {
        fail_reason = static_cast<std::int32_t>(OS().sys.GetLastError());
        p.LogAPI(u"MakeSureDirectoryPathExists", VarsToText({u"sDirToCreateBS", dir_to_create_bs}));
      }
      succeeded = ok != 0;
    }

    if (succeeded) {
      p.Log(u"Completed; Success = True!", debug::Event_Verbose,
            VarsToText({u"sDir", dir, u"lFailReason", fail_reason}));
      result = true;
    } else if (DirExist(dir_to_create)) {
      p.Log(u"Completed; Success <> True, yet DirExist = True; returning success!",
            debug::Event_Normal, VarsToText({u"sDir", dir, u"lFailReason", fail_reason}));
      result = true;
    } else {
      p.Log(via_wide ? u"Completed via CreateDirectoryW; DirExist = False!"
                     : u"Completed via MakeSureDirectoryPathExists; DirExist = False!",
            debug::Event_Normal, VarsToText({u"sDir", dir, u"lFailReason", fail_reason}));
    }
  });
  p.ReturnedByRef({u"lFailReason", fail_reason});
  p.Result(result);
  return result;
}

bool EnsureDirExists(std::u16string_view dir) {
  std::int32_t fail_reason = 0;
  return EnsureDirExists(dir, fail_reason);
}

bool CreateDirW(std::u16string_view dest_dir, std::int32_t& fail_reason) {
  Proc p(kModule, u"CreateDirW", Kind::Function);
  p.Args({u"destDir", dest_dir, u"lFailReason", fail_reason});
  bool result = false;
  p.Step([&] {
    std::u16string dir(dest_dir);
    TrimNull(dir, true);
    const PathParts parts = SplitForCreation(dir);
    std::u16string path = parts.root;
    for (const std::u16string& name : parts.names) {
      path += u'\\';
      path += name;
      if (DirExist(path)) continue;
      const std::u16string path_w = Prepared(path, true);
      platform::BOOL ok = 0;
      {
        FsRedirectionOff redirection_off;
        ok = OS().fs.CreateDirectoryW(path_w.c_str());
      }
      if (ok) continue;
      const DWORD error = OS().sys.GetLastError();
      fail_reason = static_cast<std::int32_t>(error);
      p.LogAPI(u"CreateDirectoryW", VarsToText({u"sPath", path}));
      // Denied on a folder that exists but cannot be read, or made meanwhile: go on below it.
      if (error != platform::kERROR_ACCESS_DENIED && error != platform::kERROR_ALREADY_EXISTS) {
        break;
      }
    }
    result = DirExist(dir);
  });
  p.ReturnedByRef({u"lFailReason", fail_reason});
  p.Result(result);
  return result;
}

bool SetCurrentDir(std::u16string_view folder) {
  Proc p(kModule, u"SetCurrentDir", Kind::Function);
  p.Args({u"sPath", folder});
  bool result = false;
  p.Step([&] {
    std::u16string path(folder);
    if (path.empty() || path.back() != u'\\') path += u'\\';
    const std::u16string path_w = Prepared(path);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.SetCurrentDirectoryW(path_w.c_str());
    }
    if (!ok) p.LogAPI(u"SetCurrentDirectoryW", VarsToText({u"sPath", path}));
    result = ok != 0;
  });
  p.Result(result);
  return result;
}

// ---- deletion ---------------------------------------------------------------------------------

bool FileDelete(std::u16string_view file) {
  Proc p(kModule, u"FileDelete", Kind::Function);
  p.Args({u"sFile", file});
  bool result = false;
  p.Step([&] {
    // A trailing backslash names a folder: never a file to delete.
    if (file.empty() || file.back() == u'\\') return;
    const std::u16string file_w = Prepared(file);
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.DeleteFileW(file_w.c_str());
    }
    if (ok) {
      result = true;
      return;
    }
    // What counts is that nothing is there any more, whoever removed it.
    const DWORD error = OS().sys.GetLastError();
    bool is_dir = false;
    if (!FSObjectExistByStringPointer(file_w, is_dir)) {
      result = true;
      return;
    }
    OS().sys.SetLastError(error);
    p.LogAPI(u"DeleteFileW", VarsToText({u"sFile", file}));
  });
  p.Result(result);
  return result;
}

bool ShellDelete(std::u16string_view object, const ShellDeleteOptions& options) {
  Proc p(kModule, u"ShellDelete", Kind::Function);
  p.Args({u"sObject", object, u"bNoConfirm", options.no_confirm, u"bRecycle", options.recycle,
          u"bInvisiblePlusNoErrors", options.invisible_plus_no_errors});
  bool result = false;
  p.Step([&] {
    std::int32_t flags = 0;
    if (options.invisible_plus_no_errors) flags |= platform::kFOF_SILENT | platform::kFOF_NOERRORUI;
    if (options.no_confirm) flags |= platform::kFOF_NOCONFIRMATION;
    if (options.recycle) flags |= platform::kFOF_ALLOWUNDO;
    result = ShellOperation(ShellOp_Delete, flags, object, u"");
  });
  p.Result(result);
  return result;
}

namespace {

// The shell's own answers (DE_*, shellapi documentation), which are not system error codes.
struct ShellCode {
  int code;
  std::u16string_view name;
  std::u16string_view text;
};
constexpr ShellCode kShellCodes[] = {
    {0x71, u"DE_SAMEFILE", u"The source and destination files are the same file."},
    {0x72, u"DE_MANYSRC1DEST", u"Several sources were given for a single destination."},
    {0x73, u"DE_DIFFDIR", u"A rename's destination is in another folder."},
    {0x74, u"DE_ROOTDIR", u"The source is a root folder, which cannot be moved or renamed."},
    {0x75, u"DE_OPCANCELLED", u"The operation was cancelled."},
    {0x76, u"DE_DESTSUBTREE", u"The destination is a subtree of the source."},
    {0x78, u"DE_ACCESSDENIEDSRC", u"Access to the source was denied."},
    {0x79, u"DE_PATHTOODEEP", u"The source or destination path is or would be too long."},
    {0x7A, u"DE_MANYDEST", u"The operation has several destinations."},
    {0x7C, u"DE_INVALIDFILES", u"The source or destination path is invalid."},
    {0x7D, u"DE_DESTSAMETREE", u"The source and destination have the same parent folder."},
    {0x7E, u"DE_FLDDESTISFILE", u"The destination is an existing file."},
    {0x80, u"DE_FILEDESTISFLD", u"The destination is an existing folder."},
    {0x81, u"DE_FILENAMETOOLONG", u"A file name is too long."},
    {0x82, u"DE_DEST_IS_CDROM", u"The destination is a read-only CD-ROM."},
    {0x83, u"DE_DEST_IS_DVD", u"The destination is a read-only DVD."},
    {0x84, u"DE_DEST_IS_CDRECORD", u"The destination is a writable CD that is not formatted."},
    {0x85, u"DE_FILE_TOO_LARGE", u"A file is too large for the destination."},
    {0x86, u"DE_SRC_IS_CDROM", u"The source is a read-only CD-ROM."},
    {0x87, u"DE_SRC_IS_DVD", u"The source is a read-only DVD."},
    {0x88, u"DE_SRC_IS_CDRECORD", u"The source is a writable CD that is not formatted."},
    {0xB7, u"DE_ERROR_MAX", u"A path grew too long during the operation."},
    {0x402, u"DE_UNKNOWN", u"An unknown error, typically an invalid source or destination path."},
    {0x10000, u"ERRORONDEST", u"An unspecified error on the destination."},
};

// SHFileOperationW answers with a code of its own, or, for the rest, with a system error code;
// each is logged as what it is, never looked up as something else.
void LogShellOperationCode(const Proc& p, int code, std::u16string_view object) {
  for (const ShellCode& c : kShellCodes) {
    if (c.code != code) continue;
    p.Log(u"SHFileOperationW failed with shell-operation code 0x" +
              Hex(static_cast<std::uint32_t>(code)) + u" (" + std::u16string(c.name) + u"): " +
              std::u16string(c.text),
          debug::Event_Normal, VarsToText({u"lRet", code, u"sObject", object}));
    return;
  }
  OS().sys.SetLastError(static_cast<DWORD>(code));
  p.LogAPI(u"SHFileOperationW", VarsToText({u"lRet", code, u"sObject", object}));
}

}  // namespace

bool ShellOperation(ShellOperationEnum operation, std::int32_t flags, std::u16string_view object,
                    std::u16string_view object_dest) {
  Proc p(kModule, u"ShellOperation", Kind::Function);
  p.Args({u"ShellOperationEnum", static_cast<std::int32_t>(operation), u"lFlags", flags, u"sObject",
          object, u"sObjectDest", object_dest});
  bool result = false;
  p.Step([&] {
    if (object.empty()) return;
    // The shell takes lists: each name ends with a NUL and the list with a second one.
    std::u16string from(object);
    TrimNull(from, true);
    from += std::u16string(2, u'\0');
    std::u16string to(object_dest);
    const bool has_dest = !to.empty();
    if (has_dest) {
      TrimNull(to, true);
      to += std::u16string(2, u'\0');
    }
    // The platform call runs the operation without an owner window; the dialogs it could own
    // are those of non-silent operations, which the framework does not ask for.
    platform::BOOL aborted = 0;
    int code = 0;
    {
      FsRedirectionOff redirection_off;
      code = OS().fs.SHFileOperationW(static_cast<platform::UINT>(operation), from.c_str(),
                                      has_dest ? to.c_str() : nullptr,
                                      static_cast<platform::WORD>(flags), &aborted);
    }
    if (code != 0) LogShellOperationCode(p, code, object);
    result = code == 0 && aborted == 0;
  });
  p.Result(result);
  return result;
}

// ---- other -----------------------------------------------------------------------------------

std::u16string GetTempFile(std::u16string_view alt_path, bool remove_file_before_return,
                           bool ensure_path_exists) {
  Proc p(kModule, u"GetTempFile", Kind::Function);
  p.Args({u"sAltPath", alt_path, u"bRemoveFileBeforeReturn", remove_file_before_return,
          u"bEnsurePathExists", ensure_path_exists});
  std::u16string result;
  p.Step([&] {
    std::u16string path;
    if (!alt_path.empty()) {
      path = alt_path;
      if (path.back() != u'\\') path += u'\\';
    } else if (Ctx().env && !Ctx().env->UserDirBS_CurrentUser_Temp.empty()) {
      path = Ctx().env->UserDirBS_CurrentUser_Temp;
    } else {
      path = EnvironmentVariable(u"Temp") + u"\\";
    }
    p.Created({u"sPath", path});
    if (ensure_path_exists && !EnsureDirExists(path)) {
      p.Log(u"Could not create path!", debug::Event_Normal, VarsToText({u"sPath", path}));
      return;
    }
    const std::u16string path_w = Prepared(path);
    std::u16string buffer(kBufferChars, u'\0');
    platform::UINT unique = 0;
    {
      FsRedirectionOff redirection_off;
      unique = OS().fs.GetTempFileNameW(path_w.c_str(), u"qzt", 0, buffer.data());
    }
    if (unique == 0) {
      p.LogAPI(u"GetTempFileNameW", VarsToText({u"sPath", path}));
      return;
    }
    FixPathFromAPI(buffer);
    if (remove_file_before_return) FileDelete(buffer);
    result = buffer;
  });
  p.Result(result);
  return result;
}

bool HasWriteAccess(std::u16string_view dir) {
  Proc p(kModule, u"HasWriteAccess", Kind::Function);
  p.Args({u"sDir", dir});
  bool result = false;
  p.Step([&] { result = !GetTempFile(dir, true, false).empty(); });
  p.Result(result);
  return result;
}

std::u16string GetFileSystemType_AsString(std::u16string_view drive_letter) {
  Proc p(kModule, u"GetFileSystemType_AsString", Kind::Function);
  p.Args({u"sDriveLetter", drive_letter});
  std::u16string result;
  p.Step([&] {
    std::u16string drive(drive_letter);
    if (drive.empty()) {
      if (Ctx().env) drive = Ctx().env->SystemDriveBS;
      if (drive.empty()) drive = EnvironmentVariable(u"SystemDrive");
    }
    if (drive.empty() || (drive.size() > 1 && drive[1] != u':')) {
      p.Log(u"Invalid value passed as drive letter!", debug::Event_Normal,
            VarsToText({u"sDriveLetter", drive_letter}));
      return;
    }
    const std::u16string root = drive.substr(0, 1) + u":\\";
    std::u16string file_system(platform::kMAX_PATH, u'\0');
    platform::BOOL ok = 0;
    {
      FsRedirectionOff redirection_off;
      ok = OS().fs.GetVolumeInformationW(root.c_str(), file_system.data(), platform::kMAX_PATH);
    }
    if (!ok) {
      p.LogAPI(u"GetVolumeInformationW", VarsToText({u"sRoot", root}));
      return;
    }
    result = TrimNull(file_system);
  });
  p.Result(result);
  return result;
}

}  // namespace kes
