// The simulated machine's FileApi, shared by the translation units that implement it:
// file_calls.cpp (handles, reading and writing, copies, deletion, attributes, search) and
// folder_calls.cpp (well-known folders, path conversions, volumes, shell operations).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace kes::sim {

// A file (or, with FILE_FLAG_BACKUP_SEMANTICS, a folder) opened through CreateFileW. Its share
// record leaves the file when the handle goes away, whoever closes it.
class OpenFile final : public KernelObject {
 public:
  OpenFile(std::shared_ptr<FsNode> node, std::uint64_t id, platform::DWORD access,
           platform::DWORD share, bool overlapped);
  ~OpenFile() override;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  std::shared_ptr<FsNode> node;
  bool can_read = false;
  bool can_write = false;
  bool append_only = false;  // FILE_APPEND_DATA without FILE_WRITE_DATA
  bool overlapped = false;
  std::int64_t position = 0;
  platform::DWORD last_transfer = 0;

 private:
  std::uint64_t id_;
};

// The entries a FindFirstFileW call matched, handed out by FindNextFileW.
class FileSearch final : public KernelObject {
 public:
  std::vector<platform::WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
};

// Data access of an access mask, reduced to FILE_READ_DATA, FILE_WRITE_DATA and DELETE.
platform::DWORD DataAccess(platform::DWORD access);
// True when `node` is `tree` or lies anywhere below it.
bool TreeContains(const FsNode& tree, const FsNode* node);

class SimFileApi final : public platform::FileApi {
  using BOOL = platform::BOOL;
  using DWORD = platform::DWORD;
  using HANDLE = platform::HANDLE;
  using LONG = platform::LONG;
  using UINT = platform::UINT;
  using WORD = platform::WORD;

 public:
  explicit SimFileApi(Machine& m) : m_(m), fs_(m.fs()) {}

  BOOL Wow64DisableWow64FsRedirection(std::uintptr_t* old_value) override;
  BOOL Wow64RevertWow64FsRedirection(std::uintptr_t old_value) override;
  HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, DWORD creation,
                     DWORD flags_and_attributes) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD to_read, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD to_write, DWORD* written) override;
  BOOL GetOverlappedResult(HANDLE file, DWORD* transferred, BOOL wait) override;
  BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* new_position,
                        DWORD method) override;
  BOOL GetFileSizeEx(HANDLE file, std::int64_t* size) override;
  BOOL SetEndOfFile(HANDLE file) override;
  BOOL FlushFileBuffers(HANDLE file) override;
  BOOL CopyFileW(const char16_t* existing, const char16_t* target, BOOL fail_if_exists) override;
  BOOL MoveFileExW(const char16_t* existing, const char16_t* target, DWORD flags) override;
  BOOL DeleteFileW(const char16_t* name) override;
  // file_security_calls.cpp
  BOOL CreateDirectoryW(const char16_t* name,
                        const platform::SECURITY_ATTRIBUTES* attributes = nullptr) override;
  BOOL GetFileSecurityW(const char16_t* name, DWORD info, void* descriptor, DWORD length,
                        DWORD* needed) override;
  BOOL SetFileSecurityW(const char16_t* name, DWORD info, const void* descriptor) override;
  BOOL RemoveDirectoryW(const char16_t* name) override;
  BOOL MakeSureDirectoryPathExists(const char* dir_path) override;
  DWORD GetFileAttributesW(const char16_t* name) override;
  BOOL GetFileAttributesExW(const char16_t* name,
                            platform::WIN32_FILE_ATTRIBUTE_DATA* data) override;
  BOOL SetFileAttributesW(const char16_t* name, DWORD attributes) override;
  BOOL PathIsDirectoryW(const char16_t* path) override;
  BOOL PathMatchSpecW(const char16_t* file, const char16_t* masks) override;
  HANDLE FindFirstFileW(const char16_t* pattern, platform::WIN32_FIND_DATAW* data) override;
  BOOL FindNextFileW(HANDLE search, platform::WIN32_FIND_DATAW* data) override;
  BOOL FindClose(HANDLE search) override;

  DWORD GetTempPathW(DWORD size, char16_t* buf) override;
  UINT GetTempFileNameW(const char16_t* path, const char16_t* prefix, UINT unique,
                        char16_t* buf) override;
  DWORD GetLongPathNameW(const char16_t* short_path, char16_t* buf, DWORD size) override;
  DWORD GetShortPathNameW(const char16_t* long_path, char16_t* buf, DWORD size) override;
  DWORD GetFullPathNameW(const char16_t* name, DWORD size, char16_t* buf) override;
  DWORD GetCurrentDirectoryW(DWORD size, char16_t* buf) override;
  BOOL SetCurrentDirectoryW(const char16_t* path) override;
  UINT GetWindowsDirectoryW(char16_t* buf, UINT size) override;
  UINT GetSystemDirectoryW(char16_t* buf, UINT size) override;
  LONG SHGetFolderPathW(int csidl, char16_t* path) override;
  BOOL GetProfilesDirectoryW(char16_t* buf, DWORD* size) override;
  BOOL GetDefaultUserProfileDirectoryW(char16_t* buf, DWORD* size) override;
  BOOL GetVolumeInformationW(const char16_t* root, char16_t* fs_name, DWORD fs_name_size) override;
  UINT GetDriveTypeW(const char16_t* root) override;
  int SHFileOperationW(UINT func, const char16_t* from, const char16_t* to, WORD flags,
                       BOOL* any_operations_aborted) override;
  // profile_calls.cpp
  DWORD GetPrivateProfileStringW(const char16_t* app, const char16_t* key,
                                 const char16_t* default_value, char16_t* buf, DWORD size,
                                 const char16_t* file) override;
  BOOL WritePrivateProfileStringW(const char16_t* app, const char16_t* key, const char16_t* value,
                                  const char16_t* file) override;

 private:
  // Sets the last error and returns `result`, so that a failure reads as one statement.
  template <class T>
  T Fail(DWORD error, T result) {
    m_.last_error = error;
    return result;
  }
  // 0 when the file may be opened with this data access and sharing, else 32.
  // FindFirstFileW's work: every entry of the folder that the pattern matches, or the error.
  DWORD Search(std::u16string pattern, std::vector<platform::WIN32_FIND_DATAW>* found) const;
  static DWORD ShareCheck(const FsNode& node, DWORD data_access, DWORD share);
  // Copies one file node's content and attributes over or beside another; shared by CopyFileW,
  // MoveFileExW and the shell operations. Returns 0 or the error.
  DWORD CopyNode(const FsNode& source, const Located& target, bool fail_if_exists);
  // Removes a file or a folder tree as the shell does (read-only files included); 0 or error.
  DWORD ShellDelete(const Located& at);
  DWORD ShellCopy(const std::shared_ptr<FsNode>& source, const std::u16string& target);
  DWORD ShellMove(const Located& source, const std::u16string& target);
  // Text of a folder query into a caller buffer with the usual size rules.
  static DWORD Deliver(const std::u16string& text, char16_t* buf, DWORD size);
  std::u16string ProfileDir() const;
  std::u16string ProfilesDir() const;
  bool OldProfileLayout() const;

  Machine& m_;
  FileSystem& fs_;
};

}  // namespace kes::sim
