// Files, folders, volumes, special folders and WOW64 file-system redirection
// (kernel32, shell32, shlwapi, userenv). Same semantics and last errors as Windows: a missing
// file is 2, a missing folder on the way 3, access denied 5, a locked file 32.
#pragma once

#include "platform/types.h"

namespace kes::platform {

class FileApi {
 public:
  virtual ~FileApi() = default;

  // Redirection of System32 for a 32-bit process on 64-bit Windows. `old_value` is the token
  // to hand back to Revert. Both fail with 1 (ERROR_INVALID_FUNCTION) for a 64-bit process.
  virtual BOOL Wow64DisableWow64FsRedirection(std::uintptr_t* old_value) = 0;
  virtual BOOL Wow64RevertWow64FsRedirection(std::uintptr_t old_value) = 0;

  // Returns kInvalidHandle on failure. `creation` is CREATE_NEW..TRUNCATE_EXISTING.
  virtual HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, DWORD creation,
                             DWORD flags_and_attributes) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written) = 0;
  virtual BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* new_position,
                                DWORD method) = 0;
  virtual BOOL GetFileSizeEx(HANDLE file, std::int64_t* size) = 0;
  virtual BOOL SetEndOfFile(HANDLE file) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;

  virtual BOOL CopyFileW(const char16_t* existing, const char16_t* target, BOOL fail_if_exists) = 0;
  virtual BOOL DeleteFileW(const char16_t* name) = 0;
  virtual BOOL CreateDirectoryW(const char16_t* name) = 0;
  virtual BOOL RemoveDirectoryW(const char16_t* name) = 0;
  virtual DWORD GetFileAttributesW(const char16_t* name) = 0;
  virtual BOOL GetFileAttributesExW(const char16_t* name, WIN32_FILE_ATTRIBUTE_DATA* data) = 0;
  virtual BOOL SetFileAttributesW(const char16_t* name, DWORD attributes) = 0;
  virtual BOOL PathIsDirectoryW(const char16_t* path) = 0;

  // Search: kInvalidHandle and 2 when nothing matches; FindNextFileW ends with 18.
  virtual HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) = 0;
  virtual BOOL FindClose(HANDLE search) = 0;

  // Folder queries: characters written without the NUL; when too small the size needed.
  virtual DWORD GetTempPathW(DWORD size, char16_t* buf) = 0;
  virtual UINT GetTempFileNameW(const char16_t* path, const char16_t* prefix, UINT unique,
                                char16_t* buf) = 0;
  virtual DWORD GetLongPathNameW(const char16_t* short_path, char16_t* buf, DWORD size) = 0;
  virtual DWORD GetFullPathNameW(const char16_t* name, DWORD size, char16_t* buf) = 0;
  virtual DWORD GetCurrentDirectoryW(DWORD size, char16_t* buf) = 0;
  virtual BOOL SetCurrentDirectoryW(const char16_t* path) = 0;
  virtual UINT GetWindowsDirectoryW(char16_t* buf, UINT size) = 0;
  virtual UINT GetSystemDirectoryW(char16_t* buf, UINT size) = 0;
  // Shell special folder by CSIDL (0x23 ProgramData, 0x26 Program Files, 0x1A AppData...);
  // `path` must hold 260 characters. Returns S_OK (0) or an HRESULT failure.
  virtual LONG SHGetFolderPathW(int csidl, char16_t* path) = 0;
  // userenv: *size in characters including the NUL, 122 when too small.
  virtual BOOL GetProfilesDirectoryW(char16_t* buf, DWORD* size) = 0;
  virtual BOOL GetDefaultUserProfileDirectoryW(char16_t* buf, DWORD* size) = 0;
  // Only the file-system name of the volume (NTFS, FAT32...).
  virtual BOOL GetVolumeInformationW(const char16_t* root, char16_t* fs_name, DWORD fs_name_size) = 0;
  // SHFileOperationW for FO_DELETE (3), FO_COPY (2), FO_MOVE (1), FO_RENAME (4); `from` and
  // `to` are double-NUL-terminated lists. Returns 0 on success, else an error code.
  virtual int SHFileOperationW(UINT func, const char16_t* from, const char16_t* to,
                               WORD flags) = 0;
};

}  // namespace kes::platform
