#include <map>

#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"

// After windows_support.h, which shapes <windows.h> for these headers too.
#include <imagehlp.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <userenv.h>

namespace kes::win32 {
namespace {

// The interface's Win32-shaped names; Windows' own (::DWORD, ::HANDLE) stay for the calls.
using KDWORD = platform::DWORD;
using KHANDLE = platform::HANDLE;

::HANDLE H(KHANDLE h) {
  return reinterpret_cast<::HANDLE>(h);
}
KHANDLE P(::HANDLE h) {
  return reinterpret_cast<platform::HANDLE>(h);
}

platform::FILETIME Ft(const ::FILETIME& f) {
  return {f.dwLowDateTime, f.dwHighDateTime};
}

platform::WIN32_FIND_DATAW FindData(const ::WIN32_FIND_DATAW& d) {
  platform::WIN32_FIND_DATAW out;
  out.dwFileAttributes = d.dwFileAttributes;
  out.ftCreationTime = Ft(d.ftCreationTime);
  out.ftLastAccessTime = Ft(d.ftLastAccessTime);
  out.ftLastWriteTime = Ft(d.ftLastWriteTime);
  out.nFileSizeHigh = d.nFileSizeHigh;
  out.nFileSizeLow = d.nFileSizeLow;
  out.cFileName = U(d.cFileName);
  out.cAlternateFileName = U(d.cAlternateFileName);
  return out;
}

class Win32FileApi final : public platform::FileApi {
  using BOOL = platform::BOOL;
  using LONG = platform::LONG;
  using UINT = platform::UINT;
  using WORD = platform::WORD;

 public:
  // Windows XP before SP2 lacks the redirection entry points; they are looked up once.
  Win32FileApi() {
    if (HMODULE k = ::GetModuleHandleW(L"kernel32.dll")) {
      disable_ = reinterpret_cast<DisableFn>(
          reinterpret_cast<void*>(::GetProcAddress(k, "Wow64DisableWow64FsRedirection")));
      revert_ = reinterpret_cast<RevertFn>(
          reinterpret_cast<void*>(::GetProcAddress(k, "Wow64RevertWow64FsRedirection")));
    }
  }

  BOOL Wow64DisableWow64FsRedirection(std::uintptr_t* old_value) override {
    if (!disable_) return Missing();
    PVOID old = nullptr;
    const BOOL ok = disable_(&old);
    if (ok && old_value) *old_value = reinterpret_cast<std::uintptr_t>(old);
    return ok;
  }
  BOOL Wow64RevertWow64FsRedirection(std::uintptr_t old_value) override {
    if (!revert_) return Missing();
    return revert_(reinterpret_cast<PVOID>(old_value));
  }

  KHANDLE CreateFileW(const char16_t* name, KDWORD access, KDWORD share, KDWORD creation,
                      KDWORD flags) override {
    ::HANDLE h = ::CreateFileW(W(name), access, share, nullptr, creation, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return platform::kInvalidHandle;
    const ::DWORD error = ::GetLastError();
    if (flags & FILE_FLAG_OVERLAPPED) {
      overlapped_[P(h)] = Overlapped{};
    } else {
      overlapped_.erase(P(h));  // the number of a handle closed earlier
    }
    ::SetLastError(error);
    return P(h);
  }
  BOOL ReadFile(KHANDLE file, void* buffer, KDWORD to_read, KDWORD* read) override {
    return Transfer(file, buffer, to_read, read, false);
  }
  BOOL WriteFile(KHANDLE file, const void* buffer, KDWORD to_write, KDWORD* written) override {
    return Transfer(file, const_cast<void*>(buffer), to_write, written, true);
  }
  BOOL GetOverlappedResult(KHANDLE file, KDWORD* transferred, BOOL wait) override {
    auto it = overlapped_.find(file);
    if (it == overlapped_.end()) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(H(file), &it->second.ov, &n, wait);
    if (ok && it->second.pending) {
      it->second.position += n;
      it->second.pending = false;
    }
    if (transferred) *transferred = n;
    return ok;
  }
  BOOL SetFilePointerEx(KHANDLE file, std::int64_t distance, std::int64_t* new_position,
                        KDWORD method) override {
    LARGE_INTEGER d;
    d.QuadPart = distance;
    LARGE_INTEGER out;
    const BOOL ok = ::SetFilePointerEx(H(file), d, &out, method);
    if (ok && new_position) *new_position = out.QuadPart;
    return ok;
  }
  BOOL GetFileSizeEx(KHANDLE file, std::int64_t* size) override {
    LARGE_INTEGER s;
    const BOOL ok = ::GetFileSizeEx(H(file), &s);
    if (ok && size) *size = s.QuadPart;
    return ok;
  }
  BOOL SetEndOfFile(KHANDLE file) override { return ::SetEndOfFile(H(file)); }
  BOOL FlushFileBuffers(KHANDLE file) override { return ::FlushFileBuffers(H(file)); }

  BOOL CopyFileW(const char16_t* existing, const char16_t* target, BOOL fail) override {
    return ::CopyFileW(W(existing), W(target), fail);
  }
  BOOL MoveFileExW(const char16_t* existing, const char16_t* target, KDWORD flags) override {
    return ::MoveFileExW(W(existing), target ? W(target) : nullptr, flags);
  }
  BOOL DeleteFileW(const char16_t* name) override { return ::DeleteFileW(W(name)); }
  BOOL CreateDirectoryW(const char16_t* name,
                        const platform::SECURITY_ATTRIBUTES* attributes = nullptr) override {
    ::SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, FALSE};
    if (attributes) {
      sa.lpSecurityDescriptor = attributes->lpSecurityDescriptor;
      sa.bInheritHandle = attributes->bInheritHandle;
    }
    return ::CreateDirectoryW(W(name), attributes ? &sa : nullptr);
  }
  BOOL GetFileSecurityW(const char16_t* name, KDWORD info, void* descriptor, KDWORD length,
                        KDWORD* needed) override {
    ::DWORD n = 0;
    const ::BOOL ok = ::GetFileSecurityW(W(name), info, descriptor, length, &n);
    if (needed) *needed = n;
    return ok;
  }
  BOOL SetFileSecurityW(const char16_t* name, KDWORD info, const void* descriptor) override {
    return ::SetFileSecurityW(W(name), info, const_cast<void*>(descriptor));
  }
  BOOL RemoveDirectoryW(const char16_t* name) override { return ::RemoveDirectoryW(W(name)); }
  BOOL MakeSureDirectoryPathExists(const char* dir_path) override {
    return ::MakeSureDirectoryPathExists(dir_path);
  }
  KDWORD GetFileAttributesW(const char16_t* name) override { return ::GetFileAttributesW(W(name)); }
  BOOL GetFileAttributesExW(const char16_t* name,
                            platform::WIN32_FILE_ATTRIBUTE_DATA* data) override {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!::GetFileAttributesExW(W(name), GetFileExInfoStandard, &d)) return 0;
    data->dwFileAttributes = d.dwFileAttributes;
    data->ftCreationTime = Ft(d.ftCreationTime);
    data->ftLastAccessTime = Ft(d.ftLastAccessTime);
    data->ftLastWriteTime = Ft(d.ftLastWriteTime);
    data->nFileSizeHigh = d.nFileSizeHigh;
    data->nFileSizeLow = d.nFileSizeLow;
    return 1;
  }
  BOOL SetFileAttributesW(const char16_t* name, KDWORD attributes) override {
    return ::SetFileAttributesW(W(name), attributes);
  }
  BOOL PathIsDirectoryW(const char16_t* path) override { return ::PathIsDirectoryW(W(path)); }
  BOOL PathMatchSpecW(const char16_t* file, const char16_t* masks) override {
    return ::PathMatchSpecW(W(file), W(masks));
  }

  KHANDLE FindFirstFileW(const char16_t* pattern, platform::WIN32_FIND_DATAW* data) override {
    ::WIN32_FIND_DATAW d;
    ::HANDLE h = ::FindFirstFileW(W(pattern), &d);
    if (h == INVALID_HANDLE_VALUE) return platform::kInvalidHandle;
    if (data) *data = FindData(d);
    return P(h);
  }
  BOOL FindNextFileW(KHANDLE search, platform::WIN32_FIND_DATAW* data) override {
    ::WIN32_FIND_DATAW d;
    if (!::FindNextFileW(H(search), &d)) return 0;
    if (data) *data = FindData(d);
    return 1;
  }
  BOOL FindClose(KHANDLE search) override { return ::FindClose(H(search)); }

  KDWORD GetTempPathW(KDWORD size, char16_t* buf) override { return ::GetTempPathW(size, W(buf)); }
  UINT GetTempFileNameW(const char16_t* path, const char16_t* prefix, UINT unique,
                        char16_t* buf) override {
    return ::GetTempFileNameW(W(path), W(prefix), unique, W(buf));
  }
  KDWORD GetLongPathNameW(const char16_t* short_path, char16_t* buf, KDWORD size) override {
    return ::GetLongPathNameW(W(short_path), W(buf), size);
  }
  KDWORD GetShortPathNameW(const char16_t* long_path, char16_t* buf, KDWORD size) override {
    return ::GetShortPathNameW(W(long_path), W(buf), size);
  }
  KDWORD GetFullPathNameW(const char16_t* name, KDWORD size, char16_t* buf) override {
    return ::GetFullPathNameW(W(name), size, W(buf), nullptr);
  }
  KDWORD GetCurrentDirectoryW(KDWORD size, char16_t* buf) override {
    return ::GetCurrentDirectoryW(size, W(buf));
  }
  BOOL SetCurrentDirectoryW(const char16_t* path) override {
    return ::SetCurrentDirectoryW(W(path));
  }
  UINT GetWindowsDirectoryW(char16_t* buf, UINT size) override {
    return ::GetWindowsDirectoryW(W(buf), size);
  }
  UINT GetSystemDirectoryW(char16_t* buf, UINT size) override {
    return ::GetSystemDirectoryW(W(buf), size);
  }
  LONG SHGetFolderPathW(int csidl, char16_t* path) override {
    return ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, W(path));
  }
  BOOL GetProfilesDirectoryW(char16_t* buf, KDWORD* size) override {
    ::DWORD n = *size;
    const BOOL ok = ::GetProfilesDirectoryW(W(buf), &n);
    *size = n;
    return ok;
  }
  BOOL GetDefaultUserProfileDirectoryW(char16_t* buf, KDWORD* size) override {
    ::DWORD n = *size;
    const BOOL ok = ::GetDefaultUserProfileDirectoryW(W(buf), &n);
    *size = n;
    return ok;
  }
  BOOL GetVolumeInformationW(const char16_t* root, char16_t* fs_name,
                             KDWORD fs_name_size) override {
    return ::GetVolumeInformationW(W(root), nullptr, 0, nullptr, nullptr, nullptr, W(fs_name),
                                   fs_name_size);
  }
  UINT GetDriveTypeW(const char16_t* root) override { return ::GetDriveTypeW(W(root)); }
  KDWORD GetPrivateProfileStringW(const char16_t* app, const char16_t* key,
                                  const char16_t* default_value, char16_t* buf, KDWORD size,
                                  const char16_t* file) override {
    return ::GetPrivateProfileStringW(W(app), W(key), W(default_value), W(buf), size, W(file));
  }
  BOOL WritePrivateProfileStringW(const char16_t* app, const char16_t* key, const char16_t* value,
                                  const char16_t* file) override {
    return ::WritePrivateProfileStringW(W(app), W(key), W(value), W(file));
  }
  // No owner window: the program asks only for silent operations, which show no dialog.
  int SHFileOperationW(UINT func, const char16_t* from, const char16_t* to, WORD flags,
                       BOOL* any_operations_aborted) override {
    SHFILEOPSTRUCTW op{};
    op.hwnd = nullptr;
    op.wFunc = func;
    op.pFrom = W(from);
    op.pTo = to ? W(to) : nullptr;
    op.fFlags = flags;
    const int result = ::SHFileOperationW(&op);
    if (any_operations_aborted) *any_operations_aborted = op.fAnyOperationsAborted;
    return result;
  }

 private:
  using DisableFn = ::BOOL(WINAPI*)(PVOID*);
  using RevertFn = ::BOOL(WINAPI*)(PVOID);

  // The record of a handle opened with FILE_FLAG_OVERLAPPED: Windows keeps no file position
  // for such a handle, so it is kept here and each transfer continues where the last one ended.
  struct Overlapped {
    OVERLAPPED ov{};
    std::uint64_t position = 0;
    bool pending = false;
  };

  static BOOL Missing() {
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return 0;
  }

  BOOL Transfer(KHANDLE file, void* buffer, KDWORD size, KDWORD* done, bool write) {
    if (done) *done = 0;
    auto it = overlapped_.find(file);
    if (it == overlapped_.end()) {
      ::DWORD n = 0;
      const BOOL ok = write ? ::WriteFile(H(file), buffer, size, &n, nullptr)
                            : ::ReadFile(H(file), buffer, size, &n, nullptr);
      if (done) *done = n;
      return ok;
    }
    Overlapped& o = it->second;
    o.ov = OVERLAPPED{};
    o.ov.Offset = static_cast<::DWORD>(o.position & 0xFFFFFFFFu);
    o.ov.OffsetHigh = static_cast<::DWORD>(o.position >> 32);
    ::DWORD n = 0;
    const BOOL ok = write ? ::WriteFile(H(file), buffer, size, &n, &o.ov)
                          : ::ReadFile(H(file), buffer, size, &n, &o.ov);
    if (ok) {
      o.position += n;
      if (done) *done = n;
      return ok;
    }
    const ::DWORD error = ::GetLastError();
    o.pending = error == ERROR_IO_PENDING;
    ::SetLastError(error);
    return 0;
  }

  DisableFn disable_ = nullptr;
  RevertFn revert_ = nullptr;
  std::map<KHANDLE, Overlapped> overlapped_;
};

}  // namespace

std::unique_ptr<platform::FileApi> MakeWin32Files() {
  return std::make_unique<Win32FileApi>();
}

}  // namespace kes::win32
