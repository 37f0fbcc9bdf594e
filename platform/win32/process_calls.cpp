#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"

#include <shellapi.h>
#include <tlhelp32.h>
// psapi.dll's own entry points, which Windows XP has (version 2 would bind to kernel32's K32
// names of Windows 7).
#define PSAPI_VERSION 1
#include <psapi.h>

#include <cstddef>

namespace kes::win32 {
namespace {

using platform::DWORD;

::HANDLE H(platform::HANDLE h) {
  return reinterpret_cast<::HANDLE>(h);
}
platform::HANDLE P(::HANDLE h) {
  return reinterpret_cast<platform::HANDLE>(h);
}

static_assert(sizeof(platform::PROCESSENTRY32W) == sizeof(::PROCESSENTRY32W));
static_assert(offsetof(platform::PROCESSENTRY32W, th32ParentProcessID) ==
              offsetof(::PROCESSENTRY32W, th32ParentProcessID));
static_assert(offsetof(platform::PROCESSENTRY32W, szExeFile) ==
              offsetof(::PROCESSENTRY32W, szExeFile));

// Vista brought QueryFullProcessImageNameW; it is looked up so that the program loads on XP.
using QueryImageNameFn = BOOL(WINAPI*)(::HANDLE, DWORD, LPWSTR, PDWORD);
QueryImageNameFn QueryImageName() {
  HMODULE k32 = ::GetModuleHandleW(L"kernel32.dll");
  return k32 ? reinterpret_cast<QueryImageNameFn>(reinterpret_cast<void (*)()>(
                   ::GetProcAddress(k32, "QueryFullProcessImageNameW")))
             : nullptr;
}

class Win32ProcessApi final : public platform::ProcessApi {
 public:
  Win32ProcessApi() {
    // ntdll is in every process; only the entry point is looked up.
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll"))
      nt_close_ =
          reinterpret_cast<NtCloseFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtClose")));
  }

  platform::BOOL CreateProcessW(const char16_t* application_name, char16_t* command_line,
                                DWORD creation_flags, const char16_t* current_directory,
                                const platform::STARTUPINFOW* startup_info,
                                platform::PROCESS_INFORMATION* pi) override {
    ::STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (startup_info) {
      si.dwFlags = startup_info->dwFlags;
      si.wShowWindow = startup_info->wShowWindow;
    }
    ::PROCESS_INFORMATION info{};
    const ::BOOL ok = ::CreateProcessW(
        application_name ? W(application_name) : nullptr, command_line ? W(command_line) : nullptr,
        nullptr, nullptr, FALSE, creation_flags, nullptr,
        current_directory ? W(current_directory) : nullptr, &si, &info);
    if (ok && pi) {
      pi->hProcess = P(info.hProcess);
      pi->hThread = P(info.hThread);
      pi->dwProcessId = info.dwProcessId;
      pi->dwThreadId = info.dwThreadId;
    }
    return ok;
  }

  platform::HANDLE OpenProcess(DWORD desired_access, platform::BOOL inherit_handle,
                               DWORD process_id) override {
    return P(::OpenProcess(desired_access, inherit_handle, process_id));
  }

  platform::BOOL GetExitCodeProcess(platform::HANDLE process, DWORD* exit_code) override {
    ::DWORD code = 0;
    const ::BOOL ok = ::GetExitCodeProcess(H(process), &code);
    if (ok && exit_code) *exit_code = code;
    return ok;
  }

  platform::BOOL TerminateProcess(platform::HANDLE process, platform::UINT exit_code) override {
    return ::TerminateProcess(H(process), exit_code);
  }

  DWORD WaitForSingleObject(platform::HANDLE handle, DWORD milliseconds) override {
    return ::WaitForSingleObject(H(handle), milliseconds);
  }

  DWORD MsgWaitForMultipleObjects(DWORD count, const platform::HANDLE* handles,
                                  platform::BOOL wait_all, DWORD milliseconds,
                                  DWORD wake_mask) override {
    ::HANDLE native[MAXIMUM_WAIT_OBJECTS];
    if (count > MAXIMUM_WAIT_OBJECTS - 1) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) native[i] = H(handles[i]);
    return ::MsgWaitForMultipleObjects(count, count ? native : nullptr, wait_all, milliseconds,
                                       wake_mask);
  }

  DWORD WaitForInputIdle(platform::HANDLE process, DWORD milliseconds) override {
    return ::WaitForInputIdle(H(process), milliseconds);
  }

  platform::LONG NtClose(platform::HANDLE handle) override {
    // Without the entry point nothing can be closed: report the handle as invalid.
    if (!nt_close_) return static_cast<platform::LONG>(0xC0000008u);
    return nt_close_(H(handle));
  }

  std::intptr_t ShellExecuteW(platform::HWND owner, const char16_t* verb, const char16_t* file,
                              const char16_t* parameters, const char16_t* directory,
                              int show) override {
    return reinterpret_cast<std::intptr_t>(::ShellExecuteW(
        reinterpret_cast<::HWND>(owner), verb ? W(verb) : nullptr, file ? W(file) : nullptr,
        parameters ? W(parameters) : nullptr, directory ? W(directory) : nullptr, show));
  }

  platform::HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD process_id) override {
    return P(::CreateToolhelp32Snapshot(flags, process_id));
  }

  platform::BOOL Process32FirstW(platform::HANDLE snapshot,
                                 platform::PROCESSENTRY32W* entry) override {
    return ::Process32FirstW(H(snapshot), reinterpret_cast<::PROCESSENTRY32W*>(entry));
  }

  platform::BOOL Process32NextW(platform::HANDLE snapshot,
                                platform::PROCESSENTRY32W* entry) override {
    return ::Process32NextW(H(snapshot), reinterpret_cast<::PROCESSENTRY32W*>(entry));
  }

  platform::BOOL QueryFullProcessImageNameW(platform::HANDLE process, DWORD flags, char16_t* buf,
                                            DWORD* size) override {
    static const QueryImageNameFn query = QueryImageName();
    if (!query) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return FALSE;
    }
    ::DWORD n = size ? *size : 0;
    const ::BOOL ok = query(H(process), flags, W(buf), &n);
    if (ok && size) *size = n;
    return ok;
  }

  DWORD GetModuleFileNameExW(platform::HANDLE process, platform::HMODULE module, char16_t* buf,
                             DWORD size) override {
    return ::GetModuleFileNameExW(H(process), reinterpret_cast<::HMODULE>(module), W(buf), size);
  }

  DWORD GetModuleFileNameExA(platform::HANDLE process, platform::HMODULE module, char* buf,
                             DWORD size) override {
    return ::GetModuleFileNameExA(H(process), reinterpret_cast<::HMODULE>(module), buf, size);
  }

  platform::BOOL EnumProcessModules(platform::HANDLE process, platform::HMODULE* modules,
                                    DWORD bytes, DWORD* needed) override {
    static_assert(sizeof(platform::HMODULE) == sizeof(::HMODULE));
    ::DWORD n = 0;
    const ::BOOL ok =
        ::EnumProcessModules(H(process), reinterpret_cast<::HMODULE*>(modules), bytes, &n);
    if (needed) *needed = n;
    return ok;
  }

  platform::BOOL ShellExecuteExW(platform::SHELLEXECUTEINFOW* info) override {
    if (!info) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    ::SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = info->fMask;
    sei.hwnd = reinterpret_cast<::HWND>(info->hwnd);
    sei.lpVerb = info->lpVerb ? W(info->lpVerb) : nullptr;
    sei.lpFile = info->lpFile ? W(info->lpFile) : nullptr;
    sei.lpParameters = info->lpParameters ? W(info->lpParameters) : nullptr;
    sei.lpDirectory = info->lpDirectory ? W(info->lpDirectory) : nullptr;
    sei.nShow = info->nShow;
    const ::BOOL ok = ::ShellExecuteExW(&sei);
    info->hInstApp = reinterpret_cast<std::intptr_t>(sei.hInstApp);
    info->hProcess = P(sei.hProcess);
    return ok;
  }

 private:
  using NtCloseFn = LONG(NTAPI*)(::HANDLE);
  NtCloseFn nt_close_ = nullptr;
};

}  // namespace

std::unique_ptr<platform::ProcessApi> MakeWin32Processes() {
  return std::make_unique<Win32ProcessApi>();
}

}  // namespace kes::win32
