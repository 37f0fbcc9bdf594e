#include "platform/sim/machine.h"

namespace kes::sim {
namespace {
using namespace platform;  // NOLINT: Win32 type names read best unqualified here

class SimFileApi final : public platform::FileApi {
 public:
  explicit SimFileApi(Machine& m) : m_(m) {}
  // Not yet simulated: every call fails.
  platform::BOOL Wow64DisableWow64FsRedirection(std::uintptr_t*) override { return 0; }
  platform::BOOL Wow64RevertWow64FsRedirection(std::uintptr_t) override { return 0; }
  platform::HANDLE CreateFileW(const char16_t*, DWORD, DWORD, DWORD, DWORD) override { return platform::kInvalidHandle; }
  platform::BOOL ReadFile(HANDLE, void*, DWORD, DWORD*) override { return 0; }
  platform::BOOL WriteFile(HANDLE, const void*, DWORD, DWORD*) override { return 0; }
  platform::BOOL SetFilePointerEx(HANDLE, std::int64_t, std::int64_t*, DWORD) override { return 0; }
  platform::BOOL GetFileSizeEx(HANDLE, std::int64_t*) override { return 0; }
  platform::BOOL SetEndOfFile(HANDLE) override { return 0; }
  platform::BOOL FlushFileBuffers(HANDLE) override { return 0; }
  platform::BOOL CopyFileW(const char16_t*, const char16_t*, BOOL) override { return 0; }
  platform::BOOL DeleteFileW(const char16_t*) override { return 0; }
  platform::BOOL CreateDirectoryW(const char16_t*) override { return 0; }
  platform::BOOL RemoveDirectoryW(const char16_t*) override { return 0; }
  platform::DWORD GetFileAttributesW(const char16_t*) override { return 0; }
  platform::BOOL GetFileAttributesExW(const char16_t*, WIN32_FILE_ATTRIBUTE_DATA*) override { return 0; }
  platform::BOOL SetFileAttributesW(const char16_t*, DWORD) override { return 0; }
  platform::BOOL PathIsDirectoryW(const char16_t*) override { return 0; }
  platform::HANDLE FindFirstFileW(const char16_t*, WIN32_FIND_DATAW*) override { return platform::kInvalidHandle; }
  platform::BOOL FindNextFileW(HANDLE, WIN32_FIND_DATAW*) override { return 0; }
  platform::BOOL FindClose(HANDLE) override { return 0; }
  platform::DWORD GetTempPathW(DWORD, char16_t*) override { return 0; }
  platform::UINT GetTempFileNameW(const char16_t*, const char16_t*, UINT, char16_t*) override { return 0; }
  platform::DWORD GetLongPathNameW(const char16_t*, char16_t*, DWORD) override { return 0; }
  platform::DWORD GetFullPathNameW(const char16_t*, DWORD, char16_t*) override { return 0; }
  platform::DWORD GetCurrentDirectoryW(DWORD, char16_t*) override { return 0; }
  platform::BOOL SetCurrentDirectoryW(const char16_t*) override { return 0; }
  platform::UINT GetWindowsDirectoryW(char16_t*, UINT) override { return 0; }
  platform::UINT GetSystemDirectoryW(char16_t*, UINT) override { return 0; }
  platform::LONG SHGetFolderPathW(int, char16_t*) override { return 0; }
  platform::BOOL GetProfilesDirectoryW(char16_t*, DWORD*) override { return 0; }
  platform::BOOL GetDefaultUserProfileDirectoryW(char16_t*, DWORD*) override { return 0; }
  platform::BOOL GetVolumeInformationW(const char16_t*, char16_t*, DWORD) override { return 0; }
  int SHFileOperationW(UINT, const char16_t*, const char16_t*, WORD) override { return 0; }

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace

std::unique_ptr<platform::FileApi> MakeSimFiles(Machine& m) { return std::make_unique<SimFileApi>(m); }

}  // namespace kes::sim
