// Files, folders, volumes, special folders and WOW64 file-system redirection
// (kernel32, shell32, shlwapi, userenv, imagehlp). Same semantics and last errors as Windows: a
// missing file is 2, a missing folder on the way 3, access denied 5, a locked file 32. Paths may
// carry the "\\?\" and "\\?\UNC\" prefixes; text after an embedded NUL is ignored, as the C
// string Windows receives ends there.
#pragma once

#include "platform/types.h"

namespace kes::platform {

class FileApi {
 public:
  virtual ~FileApi() = default;

  // Redirection of System32 for a 32-bit process on 64-bit Windows. Disable stores the previous
  // state in *old_value; Revert restores the state that token describes, so nested pairs unwind
  // in order. Both fail with 1 (ERROR_INVALID_FUNCTION) for a 64-bit process and on 32-bit
  // Windows.
  virtual BOOL Wow64DisableWow64FsRedirection(std::uintptr_t* old_value) = 0;
  virtual BOOL Wow64RevertWow64FsRedirection(std::uintptr_t old_value) = 0;

  // Returns a handle (closed with SystemApi::CloseHandle) or kInvalidHandle and the last error.
  // `creation` is CREATE_NEW..TRUNCATE_EXISTING; OPEN_ALWAYS and CREATE_ALWAYS leave 183 as last
  // error when the file existed, 0 when it was created.
  virtual HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, DWORD creation,
                             DWORD flags_and_attributes) = 0;
  // Read/write at the handle's position (FILE_APPEND_DATA alone: at the end). FALSE and 6 for a
  // bad handle, 5 without the access right. Reading at the end gives TRUE and *read = 0.
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written) = 0;
  // The result of the last transfer on a handle opened with FILE_FLAG_OVERLAPPED; FALSE with 996
  // while it is still running and `wait` is FALSE.
  virtual BOOL GetOverlappedResult(HANDLE file, DWORD* transferred, BOOL wait) = 0;
  // `method` FILE_BEGIN/CURRENT/END; FALSE and 131 for a position before the start.
  virtual BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* new_position,
                                DWORD method) = 0;
  virtual BOOL GetFileSizeEx(HANDLE file, std::int64_t* size) = 0;
  // Cuts or extends the file at the handle's position; 5 without write access.
  virtual BOOL SetEndOfFile(HANDLE file) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;

  // TRUE when copied (attributes copied, ARCHIVE added); 80 when the target exists and
  // `fail_if_exists`, 5 for a read-only or hidden target, 32 for a locked one.
  virtual BOOL CopyFileW(const char16_t* existing, const char16_t* target, BOOL fail_if_exists) = 0;
  // MOVEFILE_REPLACE_EXISTING/COPY_ALLOWED/DELAY_UNTIL_REBOOT; 183 when the target exists and
  // may not be replaced, 17 across volumes without COPY_ALLOWED.
  virtual BOOL MoveFileExW(const char16_t* existing, const char16_t* target, DWORD flags) = 0;
  // TRUE when deleted; 5 for a read-only file or a folder, 32 while locked.
  virtual BOOL DeleteFileW(const char16_t* name) = 0;
  // TRUE when created; 183 when the name exists, 3 when a folder on the way is missing, 5 when
  // the parent folder's DACL refuses a new sub-folder. With `attributes` holding a security
  // descriptor the folder gets its owner (1307 for one the caller may not give) and its DACL's
  // entries, followed by what the parent passes on unless the DACL is protected; without it,
  // only what the parent passes on.
  virtual BOOL CreateDirectoryW(const char16_t* name,
                                const SECURITY_ATTRIBUTES* attributes = nullptr) = 0;
  // TRUE when removed; 145 when not empty, 267 for a file, 32 for the current directory.
  virtual BOOL RemoveDirectoryW(const char16_t* name) = 0;
  // imagehlp, ANSI: creates every folder up to the last backslash (the rest is a file name).
  // TRUE when they all exist afterwards; otherwise FALSE and the error of the failing step.
  virtual BOOL MakeSureDirectoryPathExists(const char* dir_path) = 0;
  // Profile (INI) files, read as UTF-16LE when they start with FF FE, else in the ANSI code
  // page; a name without a backslash is looked for in the Windows folder. Names of sections and
  // keys compare without letter case and surrounding blanks.
  // GetPrivateProfileStringW: a null `app` lists the section names, a null `key` the key names
  // of [app] (each NUL-terminated, one more NUL at the end); a list that does not fit is cut,
  // ends with two NULs and gives size - 2. A value comes without surrounding blanks and one pair
  // of matching quotes, cut to size - 1 characters. A missing file, section or key gives the
  // default (trailing blanks removed) and the last error 2. Returns the characters copied
  // without the final NUL.
  virtual DWORD GetPrivateProfileStringW(const char16_t* app, const char16_t* key,
                                         const char16_t* default_value, char16_t* buf, DWORD size,
                                         const char16_t* file) = 0;
  // Sets key=value in [app], creating the file, the section and the key as needed and keeping
  // every other line; a null `value` deletes the key, a null `key` the whole section. FALSE and
  // the error (3 for a missing folder, 5 for a read-only file, 32 for a locked one) when the file
  // cannot be written.
  virtual BOOL WritePrivateProfileStringW(const char16_t* app, const char16_t* key,
                                          const char16_t* value, const char16_t* file) = 0;
  // INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) and the last error when the object cannot be read.
  virtual DWORD GetFileAttributesW(const char16_t* name) = 0;
  virtual BOOL GetFileAttributesExW(const char16_t* name, WIN32_FILE_ATTRIBUTE_DATA* data) = 0;
  virtual BOOL SetFileAttributesW(const char16_t* name, DWORD attributes) = 0;
  // advapi32: the parts `info` names (OWNER 1, GROUP 2, DACL 4) of a file's or folder's security
  // descriptor, self-relative, into `descriptor` of `length` bytes; *needed receives the bytes
  // it takes. FALSE with 122 when it does not fit, 5 without READ_CONTROL, 2/3 when missing.
  virtual BOOL GetFileSecurityW(const char16_t* name, DWORD info, void* descriptor, DWORD length,
                                DWORD* needed) = 0;
  // Replaces the parts `info` names by those of `descriptor` (absolute or self-relative); what
  // is inside a folder keeps its own. FALSE with 5 without WRITE_DAC (DACL) or WRITE_OWNER
  // (owner), 1307 for an owner the caller may not give, 1338 for a broken descriptor.
  virtual BOOL SetFileSecurityW(const char16_t* name, DWORD info, const void* descriptor) = 0;
  // shlwapi: FILE_ATTRIBUTE_DIRECTORY (0x10) for a folder, else FALSE.
  virtual BOOL PathIsDirectoryW(const char16_t* path) = 0;
  // shlwapi: TRUE when the file name matches one of the ";"-separated patterns ("*", "?"),
  // letter case ignored; "*.*" matches every name.
  virtual BOOL PathMatchSpecW(const char16_t* file, const char16_t* masks) = 0;

  // Search: kInvalidHandle and 2 when nothing matches (3 for a missing folder, 267 when the
  // folder is a file); FindNextFileW ends with FALSE and 18.
  virtual HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindClose(HANDLE search) = 0;

  // Folder queries: characters written without the NUL; when too small the size needed
  // including the NUL (and nothing written).
  virtual DWORD GetTempPathW(DWORD size, char16_t* buf) = 0;
  // `buf` holds MAX_PATH characters. With `unique` 0 a new empty file <path>\<pre><hex>.tmp is
  // created and its number returned; otherwise only the name is formed. 0 and the last error on
  // failure (267 for a missing folder).
  virtual UINT GetTempFileNameW(const char16_t* path, const char16_t* prefix, UINT unique,
                                char16_t* buf) = 0;
  // Both need the object to exist (2 otherwise) and convert 8.3 names to long names and back.
  virtual DWORD GetLongPathNameW(const char16_t* short_path, char16_t* buf, DWORD size) = 0;
  virtual DWORD GetShortPathNameW(const char16_t* long_path, char16_t* buf, DWORD size) = 0;
  virtual DWORD GetFullPathNameW(const char16_t* name, DWORD size, char16_t* buf) = 0;
  virtual DWORD GetCurrentDirectoryW(DWORD size, char16_t* buf) = 0;
  virtual BOOL SetCurrentDirectoryW(const char16_t* path) = 0;
  virtual UINT GetWindowsDirectoryW(char16_t* buf, UINT size) = 0;
  // The real System32, also for a 32-bit process.
  virtual UINT GetSystemDirectoryW(char16_t* buf, UINT size) = 0;
  // Shell special folder by `csidl` (0x23 ProgramData, 0x26 Program Files, 0x1A AppData...), with
  // CSIDL_FLAG_CREATE/DONT_VERIFY; `path` must hold MAX_PATH characters. Returns S_OK (0), or
  // E_INVALIDARG for an unknown `csidl` and HRESULT_FROM_WIN32(2) for a missing folder.
  virtual LONG SHGetFolderPathW(int csidl, char16_t* path) = 0;
  // userenv: *size in characters including the NUL; FALSE, 122 and the size needed when short.
  virtual BOOL GetProfilesDirectoryW(char16_t* buf, DWORD* size) = 0;
  virtual BOOL GetDefaultUserProfileDirectoryW(char16_t* buf, DWORD* size) = 0;
  // Only the file-system name of the volume (NTFS, FAT32...); `root` needs its trailing
  // backslash ("C:\", "\\server\share\").
  virtual BOOL GetVolumeInformationW(const char16_t* root, char16_t* fs_name,
                                     DWORD fs_name_size) = 0;
  // DRIVE_FIXED, DRIVE_REMOTE...; DRIVE_NO_ROOT_DIR (1) for a root that does not exist.
  virtual UINT GetDriveTypeW(const char16_t* root) = 0;
  // SHFileOperationW for FO_DELETE (3), FO_COPY (2), FO_MOVE (1), FO_RENAME (4); `from` and
  // `to` are double-NUL-terminated lists (`to` may be null). Returns 0 on success, else an error
  // code (2 for a missing source, 5, 32...); *any_operations_aborted (may be null) is TRUE when
  // the user cancelled part of the work.
  virtual int SHFileOperationW(UINT func, const char16_t* from, const char16_t* to, WORD flags,
                               BOOL* any_operations_aborted) = 0;
};

}  // namespace kes::platform
