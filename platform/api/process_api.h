// Starting programs, waiting for them and their exit codes (kernel32, user32, shell32).
// Each call has the meaning, return value and last error of the Windows call of the same name:
// a program file that cannot be found is 2, a path whose folder is missing 3, a handle opened
// without the access a call needs 5, an unknown handle 6, a process ID that is not running 87.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace kes::platform {

// Process access rights (winnt.h).
enum : DWORD {
  kPROCESS_TERMINATE = 0x1,
  kPROCESS_VM_READ = 0x10,
  kPROCESS_QUERY_INFORMATION = 0x400,
  kPROCESS_QUERY_LIMITED_INFORMATION = 0x1000,
  kSYNCHRONIZE = 0x100000,
  kPROCESS_ALL_ACCESS = 0x1FFFFF,
};

// Creation flags (the ones the launchers pick; see CreateProcessW) and startup flags.
enum : DWORD {
  kCREATE_NEW_CONSOLE = 0x10,
  kNORMAL_PRIORITY_CLASS = 0x20,
  kCREATE_UNICODE_ENVIRONMENT = 0x400,
  kCREATE_NO_WINDOW = 0x8000000,
  kSTARTF_USESHOWWINDOW = 0x1,
};

// Show-window values (SW_*).
enum : int {
  kSW_HIDE = 0,
  kSW_SHOWNORMAL = 1,
  kSW_SHOWMINIMIZED = 2,
  kSW_SHOWMAXIMIZED = 3,
  kSW_SHOWNOACTIVATE = 4,
  kSW_SHOW = 5,
  kSW_SHOWMINNOACTIVE = 7,
  kSW_SHOWDEFAULT = 10,
};

// Wait results and masks (winbase.h, winuser.h).
enum : DWORD {
  kWAIT_OBJECT_0 = 0,
  kWAIT_TIMEOUT = 258,
  kWAIT_FAILED = 0xFFFFFFFFu,
  kINFINITE = 0xFFFFFFFFu,
  kQS_ALLINPUT = 0x4FF,
  kERROR_ELEVATION_REQUIRED = 740,
  kERROR_POSSIBLE_DEADLOCK = 1131,
  kERROR_CANCELLED = 1223,
};

// Errors of the launches beyond those of types.h (winerror.h).
enum : DWORD {
  kERROR_PARTIAL_COPY = 299,
  kERROR_ACCESS_DISABLED_BY_POLICY = 1260,
};

// Tool-help snapshot of the running processes (tlhelp32.h).
inline constexpr DWORD kTH32CS_SNAPPROCESS = 0x2;

// PROCESSENTRY32W with Windows' layout: 556 bytes in a 32-bit process, 568 in a 64-bit one.
// dwSize must hold that size before the first call.
struct PROCESSENTRY32W {
  DWORD dwSize = 0;
  DWORD cntUsage = 0;
  DWORD th32ProcessID = 0;
  std::uintptr_t th32DefaultHeapID = 0;
  DWORD th32ModuleID = 0;
  DWORD cntThreads = 0;
  DWORD th32ParentProcessID = 0;
  LONG pcPriClassBase = 0;
  DWORD dwFlags = 0;
  char16_t szExeFile[260] = {};  // the executable's file name, NUL-terminated
};
static_assert(sizeof(PROCESSENTRY32W) == (sizeof(void*) == 4 ? 556 : 568));

// ShellExecuteExW mask: hand back the process handle in `process`.
inline constexpr DWORD kSEE_MASK_NOCLOSEPROCESS = 0x40;

// STARTUPINFOW reduced to the fields the launchers set; cb and the rest are the backend's.
struct STARTUPINFOW {
  DWORD dwFlags = 0;     // STARTF_USESHOWWINDOW makes wShowWindow count
  WORD wShowWindow = 0;  // SW_* value
};

struct PROCESS_INFORMATION {
  HANDLE hProcess = 0;
  HANDLE hThread = 0;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// SHELLEXECUTEINFOW with the fields the launchers use. Texts may be null.
struct SHELLEXECUTEINFOW {
  DWORD fMask = 0;
  HWND hwnd = 0;
  const char16_t* lpVerb = nullptr;  // "open", "runas", null = default verb
  const char16_t* lpFile = nullptr;
  const char16_t* lpParameters = nullptr;
  const char16_t* lpDirectory = nullptr;
  int nShow = 0;
  std::intptr_t hInstApp = 0;  // > 32 on success, else the classic SE_ERR_* code
  HANDLE hProcess = 0;         // with SEE_MASK_NOCLOSEPROCESS; may stay 0 (no new process)
};

class ProcessApi {
 public:
  virtual ~ProcessApi() = default;

  // Starts a program. `application_name` is the exact file to run (no search, no default
  // extension) or null; then the program is the first token of `command_line`, which is
  // searched in the application's folder, the current folder, System32 (SysWOW64 for a 32-bit
  // process with redirection on), the Windows folder and PATH, with ".exe" added when the name
  // has no extension. `command_line` must be writable, as Windows may change it in place.
  // On success TRUE and `pi` holds two new handles (process, thread) the caller closes; on
  // failure FALSE with 2 (not found), 3 (folder missing), 5 (a folder or access denied),
  // 193 (not a program) or 740 (needs elevation).
  virtual BOOL CreateProcessW(const char16_t* application_name, char16_t* command_line,
                              DWORD creation_flags, const char16_t* current_directory,
                              const STARTUPINFOW* startup_info, PROCESS_INFORMATION* pi) = 0;

  // Opens a running process. The handle on success; 0 on failure with 87 for an ID that is not
  // running (0, the idle process, included) and 5 when access is refused.
  virtual HANDLE OpenProcess(DWORD desired_access, BOOL inherit_handle, DWORD process_id) = 0;

  // TRUE and the exit code, or 259 (STILL_ACTIVE) while the process runs; FALSE with 6 for an
  // unknown handle, 5 when it was opened without query access.
  virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) = 0;

  // Ends a process with `exit_code`. TRUE on success; FALSE with 5 without PROCESS_TERMINATE
  // access (or when it has already ended), 6 for an unknown handle.
  virtual BOOL TerminateProcess(HANDLE process, UINT exit_code) = 0;

  // WAIT_OBJECT_0 when the process (or other waitable object) is signalled, WAIT_TIMEOUT after
  // `milliseconds` (INFINITE = never), WAIT_FAILED with 6 / 5 (no SYNCHRONIZE access).
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;

  // The message-aware wait: WAIT_OBJECT_0 + i when handle i is signalled (with `wait_all`
  // false), WAIT_OBJECT_0 + count when new input of `wake_mask` arrived for this thread,
  // WAIT_TIMEOUT after `milliseconds`, WAIT_FAILED with 6, 5 or 87 (bad count).
  virtual DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                          DWORD milliseconds, DWORD wake_mask) = 0;

  // 0 when the process is waiting for input, WAIT_TIMEOUT, or WAIT_FAILED (also for a process
  // without a message queue, such as a console program).
  virtual DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds) = 0;

  // Shell launch by verb. Returns a value > 32 on success; otherwise an SE_ERR_* code
  // (2 file not found, 3 path not found, 5 access denied...) with the last error set.
  virtual std::intptr_t ShellExecuteW(HWND owner, const char16_t* verb, const char16_t* file,
                                      const char16_t* parameters, const char16_t* directory,
                                      int show) = 0;

  // ntdll's close of any kernel handle, the fallback when CloseHandle refuses one. Returns
  // NTSTATUS: 0 on success, 0xC0000008 (STATUS_INVALID_HANDLE) for an unknown handle; it does
  // not set the last error.
  virtual LONG NtClose(HANDLE handle) = 0;

  // Shell launch by verb with the extended record. TRUE on success (hInstApp > 32, `process`
  // set with SEE_MASK_NOCLOSEPROCESS when a process was started); FALSE with the last error
  // (2 for a missing file) and hInstApp holding the SE_ERR_* code.
  virtual BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) = 0;

  // ---- process queries -----------------------------------------------------------------------
  // A snapshot of the processes running now (`flags` TH32CS_SNAPPROCESS; `process_id` is not
  // used for it): a handle to close with CloseHandle, or INVALID_HANDLE_VALUE with 87 for other
  // flags. The idle process is listed with ID 0, the System process with ID 4.
  virtual HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD process_id) = 0;
  // The first / next process of a snapshot, in its order. FALSE with 24 when entry->dwSize is
  // not sizeof(PROCESSENTRY32W), 18 past the last process, 6 for a handle that is no snapshot.
  virtual BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
  virtual BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
  // Vista and later: the full path of the process's executable (`flags` 0: the Win32 form) into
  // `buf` of *size characters; *size becomes its length without the NUL. FALSE with 122 when it
  // does not fit, 5 for a handle without PROCESS_QUERY_LIMITED_INFORMATION, 6 for an unknown
  // one, 31 for a process without an image file (System), 127 where kernel32 lacks the entry.
  virtual BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, char16_t* buf,
                                          DWORD* size) = 0;
  // psapi: the path of a module of the process (`module` 0: its executable) into `buf` of `size`
  // characters, cut and NUL-terminated when longer. The characters copied; 0 on failure with 5
  // for a handle without both PROCESS_QUERY_INFORMATION and PROCESS_VM_READ, 299 asked by a
  // 32-bit process about a 64-bit one, 6 for an unknown handle. The A form converts the path to
  // the ANSI code page.
  virtual DWORD GetModuleFileNameExW(HANDLE process, HMODULE module, char16_t* buf, DWORD size) = 0;
  virtual DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, char* buf, DWORD size) = 0;
  // psapi: as many of the process's module handles as `bytes` hold (its executable first);
  // *needed receives the bytes all of them take. Fails as GetModuleFileNameExW.
  virtual BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* needed) = 0;
};

}  // namespace kes::platform
