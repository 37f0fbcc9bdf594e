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
bool IsDirByStringPointer(const std::u16string& prepared_path);
// True when `object` names a folder; false otherwise.
bool IsDir(std::u16string_view object);
// True when the (already prepared) path names a file, or an object locked by another process
// (sharing violation); false for a folder, a missing object or an empty path.
bool FileExistByStringPointer(const std::u16string& prepared_path);
// True when the (already prepared) path names a file or a folder (or a locked object); then
// `obj_is_dir` tells which, except for a locked object, where it is left unchanged. False
// otherwise, `obj_is_dir` unchanged.
bool FSObjectExistByStringPointer(const std::u16string& prepared_path, bool& obj_is_dir);
// True when `file` is an existing file (with `ensure_non_zero_byte`: and not empty). Otherwise
// false and `result_msg` says why ("Passed empty string!", "Path not found!", "File not found!",
// "Zero Byte File!", "API Error: <n>"), which is also logged; "" on success.
bool FileExist(std::u16string_view file, bool ensure_non_zero_byte, std::u16string& result_msg);
bool FileExist(std::u16string_view file, bool ensure_non_zero_byte = false);
// True when `dir` is an existing folder; false for "", a file or a missing object.
bool DirExist(std::u16string_view dir);

// ---- folders ------------------------------------------------------------------------------

// True when the folder `dir` exists afterwards (created with every missing parent; a file of
// the same name is deleted first). False, with the reason logged and the last system error in
// `fail_reason` when there is one, when it could not be made; a text with neither ":" nor "\\"
// is refused.
bool EnsureDirExists(std::u16string_view dir, std::int32_t& fail_reason);
bool EnsureDirExists(std::u16string_view dir);
// Creates every missing folder of `dest_dir` one by one with CreateDirectoryW; works for paths of
// any length and any characters. True when `dest_dir` exists afterwards; otherwise false and
// `fail_reason` holds the error of the last failed creation.
bool CreateDirW(std::u16string_view dest_dir, std::int32_t& fail_reason);
// Makes `folder` the current directory. True on success, false (logged) otherwise.
bool SetCurrentDir(std::u16string_view folder);

// ---- deletion -----------------------------------------------------------------------------

// True when no file is at `file` afterwards (also when there was none). "" and names ending in
// a backslash are refused with false and nothing touched; a file that stays is false (logged).
bool FileDelete(std::u16string_view file);

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
bool ShellDelete(std::u16string_view object, const ShellDeleteOptions& options);
// No question, no progress, no error boxes: how the framework clears what it made itself.
inline constexpr ShellDeleteOptions kQuietDelete{.no_confirm = true,
                                                 .invisible_plus_no_errors = true};
// Runs one shell file operation (`flags`: FOF_ bits) on `object`, to `object_dest` when that is
// not empty. True when the shell reports success with nothing cancelled; false for an empty
// `object` and on failure (logged).
bool ShellOperation(ShellOperationEnum operation, std::int32_t flags, std::u16string_view object,
                    std::u16string_view object_dest);

// ---- attributes ---------------------------------------------------------------------------

// The attribute bits of `object` (FILE_ATTRIBUTE_*); 0 for "" and when they cannot be read
// (logged as an API error).
std::int32_t GetAttrib(std::u16string_view object);
// True when the attributes of `object` were set to `attributes`; false (logged) otherwise.
bool SetAttrib(std::u16string_view object, std::int32_t attributes);

// ---- other ---------------------------------------------------------------------------------

// Creates a new empty file "qztXXXX.tmp" in `alt_path` (empty: the user's temp folder) and
// returns its full name; with `remove_file_before_return` the file is deleted again and only the
// name returned; with `ensure_path_exists` a missing folder is created first. "" on failure.
std::u16string GetTempFile(std::u16string_view alt_path = {},
                           bool remove_file_before_return = false, bool ensure_path_exists = false);
// True when a file can be created in `dir` (a probe file is made and deleted again); false
// otherwise, leaving nothing behind.
bool HasWriteAccess(std::u16string_view dir);
// The file-system name of the volume of a drive letter ("C", "C:", "C:\..."; empty: the system
// drive), for example "NTFS"; "" when it cannot be read or the text is no drive letter (logged).
std::u16string GetFileSystemType_AsString(std::u16string_view drive_letter = {});

// Copies one file into the folder `dest_path` (or, with `dest_path_contains_new_filename`, to the
// full name `dest_path`), creating that folder when missing. A source with "*" or "?" copies the
// matching files of its folder (not below it) instead. With `overwrite_existing_file` a
// read-only or hidden target is replaced and keeps its attributes; without it an existing
// target is left alone and the result is false. `skip_all_path_checks` trusts both paths as
// given. True when the copy (every copy, for a pattern) succeeded; false otherwise (logged).
bool FileCopy(std::u16string_view source_path_file, std::u16string_view dest_path,
              bool overwrite_existing_file = false, bool dest_path_contains_new_filename = false,
              bool skip_all_path_checks = false);
// Copies the files of `source_path` that match `file_mask` (";"-separated patterns) and carry every
// bit of `attribute_filter` (0xA7: any file), RecursionLevel folders deep (-1: all), to `dest_path`
// under their path relative to `source_path` (folders created with
// `preserve_recursive_sub_dirs_in_dest_path`). `files_to_copy` receives the number of matches and
// `copy_failures` the number that failed. True when there were matches and every one was copied;
// false otherwise (logged).
bool CopyFiles(std::u16string_view source_path, std::u16string_view dest_path,
               std::u16string_view file_mask, std::int32_t attribute_filter,
               bool overwrite_existing_files, std::int32_t recursion_level,
               bool preserve_recursive_sub_dirs_in_dest_path, std::int32_t& files_to_copy,
               std::int32_t& copy_failures);
bool CopyFiles(std::u16string_view source_path, std::u16string_view dest_path,
               std::u16string_view file_mask = u"*", std::int32_t attribute_filter = 0xA7,
               bool overwrite_existing_files = false, std::int32_t recursion_level = 0,
               bool preserve_recursive_sub_dirs_in_dest_path = true);

}  // namespace kes
