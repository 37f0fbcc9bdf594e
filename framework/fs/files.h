// App_Common file primitives: existence tests, attributes, folders, deletion (plain and through
// the shell), copying of single files and of file sets, temporary names, write-access and
// file-system probes, the current directory, and the WOW64 redirection pair they all use.
//
// Every path goes through PrepPathForUnicodeAPI before it reaches a wide file call, and every
// file call runs with WOW64 file-system redirection switched off, so that this 32-bit program
// on 64-bit Windows sees the real System32. Everything except the redirection pair is traced
// under the module "App_Common". Nothing here throws: results are flags, names, numbers or "",
// and each failed system call is logged as an API error under its own name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// ---- WOW64 redirection (untraced; process-wide state in Context::fs_redir) --------------------

// Switches redirection off on 64-bit Windows (g_Win64bit) unless it already is; does nothing
// on 32-bit Windows or when the switch fails. The state is mirrored into App_Env's
// FSRedirDisabled. The thread's last error is left as it was.
void DisableFSRedir();
// Switches redirection back on when DisableFSRedir switched it off; otherwise nothing. An
// inner pair therefore already switches it on again for an outer one. Leaves the last error.
void RevertFSRedir();

// Redirection off for the lifetime of the object (DisableFSRedir, then RevertFSRedir): the
// bracket around each file call and each launch, which also holds when the call raises or ends
// in a processor fault, so that a 32-bit process on 64-bit Windows reaches the real System32.
class FsRedirectionOff {
 public:
  FsRedirectionOff() { DisableFSRedir(); }
  ~FsRedirectionOff() { RevertFSRedir(); }
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;
};

// ---- existence and type tests ---------------------------------------------------------------

// True when the (already prepared) path names a folder; false for a file, a missing object or
// an empty path.
bool IsDirByStringPointer(const std::u16string& lStringPointer);
// True when sObject names a folder; false otherwise.
bool IsDir(std::u16string_view sObject);
// True when the (already prepared) path names a file, or an object locked by another process
// (sharing violation); false for a folder, a missing object or an empty path.
bool FileExistByStringPointer(const std::u16string& lStringPointer);
// True when the (already prepared) path names a file or a folder (or a locked object); then
// Obj_Is_Dir tells which, except for a locked object, where it is left unchanged. False
// otherwise, Obj_Is_Dir unchanged.
bool FSObjectExistByStringPointer(const std::u16string& lStringPointer, bool& Obj_Is_Dir);
// True when sFile is an existing file (with bEnsureNonZeroByte: and not empty). Otherwise false
// and sResultMsg says why ("Passed empty string!", "Path not found!", "File not found!",
// "Zero Byte File!", "API Error: <n>"), which is also logged; "" on success.
bool FileExist(std::u16string_view sFile, bool bEnsureNonZeroByte, std::u16string& sResultMsg);
bool FileExist(std::u16string_view sFile, bool bEnsureNonZeroByte = false);
// True when sDir is an existing folder; false for "", a file or a missing object.
bool DirExist(std::u16string_view sDir);

// ---- folders ------------------------------------------------------------------------------

// True when the folder sDir exists afterwards (created with every missing parent; a file of
// the same name is deleted first). False, with the reason logged and the last system error in
// lFailReason when there is one, when it could not be made; a text with neither ":" nor "\\"
// is refused.
bool EnsureDirExists(std::u16string_view sDir, std::int32_t& lFailReason);
bool EnsureDirExists(std::u16string_view sDir);
// Creates every missing folder of destDir one by one with CreateDirectoryW; works for paths of
// any length and any characters. True when destDir exists afterwards; otherwise false and
// lFailReason holds the error of the last failed creation.
bool CreateDirW(std::u16string_view destDir, std::int32_t& lFailReason);
// Makes sPath the current directory. True on success, false (logged) otherwise.
bool SetCurrentDir(std::u16string_view sPath);

// ---- deletion -----------------------------------------------------------------------------

// True when no file is at sFile afterwards (also when there was none). "" and names ending in
// a backslash are refused with false and nothing touched; a file that stays is false (logged).
bool FileDelete(std::u16string_view sFile);

// SHFileOperationW function codes.
enum ShellOperationEnum : std::uint32_t {
  ShellOp_Move = 1,
  ShellOp_Copy = 2,
  ShellOp_Delete = 3,
  ShellOp_Rename = 4,
};
// How ShellDelete asks the shell to work.
struct ShellDeleteOptions {
  bool no_confirm = false;                // ask no question
  bool recycle = false;                   // move to the recycle bin
  bool invisible_plus_no_errors = false;  // show neither progress nor errors
};
// Traced (options logged as bNoConfirm, bRecycle, bInvisiblePlusNoErrors). Deletes a file or a
// folder tree through the shell. True when the shell reports success with nothing cancelled;
// false otherwise (logged).
bool ShellDelete(std::u16string_view sObject, const ShellDeleteOptions& options);
// No question, no progress, no error boxes: how the framework clears what it made itself.
inline constexpr ShellDeleteOptions kQuietDelete{.no_confirm = true,
                                                 .invisible_plus_no_errors = true};
// Runs one shell file operation (lFlags: FOF_ bits) on sObject, to sObjectDest when that is
// not empty. True when the shell reports success with nothing cancelled; false for an empty
// sObject and on failure (logged).
bool ShellOperation(ShellOperationEnum eOperation, std::int32_t lFlags, std::u16string_view sObject,
                    std::u16string_view sObjectDest);

// ---- attributes ---------------------------------------------------------------------------

// The attribute bits of sObject (FILE_ATTRIBUTE_*); 0 for "" and when they cannot be read
// (logged as an API error).
std::int32_t GetAttrib(std::u16string_view sObject);
// True when the attributes of sObject were set to lAttributes; false (logged) otherwise.
bool SetAttrib(std::u16string_view sObject, std::int32_t lAttributes);

// ---- other ---------------------------------------------------------------------------------

// Creates a new empty file "qztXXXX.tmp" in sAltPath (empty: the user's temp folder) and
// returns its full name; with bRemoveFileBeforeReturn the file is deleted again and only the
// name returned; with bEnsurePathExists a missing folder is created first. "" on failure.
std::u16string GetTempFile(std::u16string_view sAltPath = {}, bool bRemoveFileBeforeReturn = false,
                           bool bEnsurePathExists = false);
// True when a file can be created in sDir (a probe file is made and deleted again); false
// otherwise, leaving nothing behind.
bool HasWriteAccess(std::u16string_view sDir);
// The file-system name of the volume of a drive letter ("C", "C:", "C:\..."; empty: the system
// drive), for example "NTFS"; "" when it cannot be read or the text is no drive letter (logged).
std::u16string GetFileSystemType_AsString(std::u16string_view sDriveLetter = {});

// Copies one file into the folder Dest_Path (or, with Dest_Path_Contains_New_Filename, to the
// full name Dest_Path), creating that folder when missing. A source with "*" or "?" copies the
// matching files of its folder (not below it) instead. With Overwrite_Existing_File a
// read-only or hidden target is replaced and keeps its attributes; without it an existing
// target is left alone and the result is false. Skip_All_Path_Checks trusts both paths as
// given. True when the copy (every copy, for a pattern) succeeded; false otherwise (logged).
bool FileCopy(std::u16string_view Source_Path_File, std::u16string_view Dest_Path,
              bool Overwrite_Existing_File = false, bool Dest_Path_Contains_New_Filename = false,
              bool Skip_All_Path_Checks = false);
// Copies the files of Source_Path that match sFileMask (";"-separated patterns) and carry every
// bit of lAttributeFilter (0xA7: any file), RecursionLevel folders deep (-1: all), to Dest_Path
// under their path relative to Source_Path (folders created with
// Preserve_Recursive_SubDirs_In_Dest_Path). lFilesToCopy receives the number of matches and
// lCopyFailures the number that failed. True when there were matches and every one was copied;
// false otherwise (logged).
bool CopyFiles(std::u16string_view Source_Path, std::u16string_view Dest_Path,
               std::u16string_view sFileMask, std::int32_t lAttributeFilter,
               bool Overwrite_Existing_Files, std::int32_t RecursionLevel,
               bool Preserve_Recursive_SubDirs_In_Dest_Path, std::int32_t& lFilesToCopy,
               std::int32_t& lCopyFailures);
bool CopyFiles(std::u16string_view Source_Path, std::u16string_view Dest_Path,
               std::u16string_view sFileMask = u"*", std::int32_t lAttributeFilter = 0xA7,
               bool Overwrite_Existing_Files = false, std::int32_t RecursionLevel = 0,
               bool Preserve_Recursive_SubDirs_In_Dest_Path = true);

}  // namespace kes
