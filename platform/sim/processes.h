// Processes of the simulated machine, shared by the process interface (processes.cpp) and by
// the tools that start programs themselves (cmd.exe): the program search of CreateProcessW,
// process creation and the kernel objects behind process and thread handles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace kes::sim {

// The running time of a program that only ends when it is terminated (an interactive cmd.exe).
inline constexpr std::uint32_t kRunsUntilTerminated = 0xFFFFFFFFu;

// The object behind a process handle. `pid` 0 never occurs; access is what was granted.
struct ProcessObject : KernelObject {
  ProcessObject(DWORD p, DWORD a) : pid(p), access(a) {}
  DWORD pid;
  DWORD access;
};

// The object behind the primary-thread handle of a started process; signalled with it.
struct ThreadObject : KernelObject {
  ThreadObject(DWORD p, DWORD t) : pid(p), tid(t) {}
  DWORD pid;
  DWORD tid;
};

struct LaunchRequest {
  std::u16string application;  // the exact file to run; empty: the command line's first token
  std::u16string command_line;
  std::u16string directory;     // current folder of the new process; empty: the starter's
  std::u16string search_first;  // folder searched before the usual places (ShellExecute)
  DWORD creation_flags = 0;
  DWORD startup_flags = 0;
  platform::WORD show_window = 1;
  bool elevated = false;  // the user granted elevation for it (an accepted prompt)
};

// Finds the file a command line or application name names, as CreateProcessW does, from the
// point of view of the current process (its folder, the current folder, System32 - SysWOW64
// for a 32-bit process with redirection on - System, the Windows folder, PATH). Returns the
// real path of the file (after redirection) or nullopt with 2 (not found) or 3 (its folder
// missing) in *error.
std::optional<std::u16string> FindProgramFile(Machine& m, const LaunchRequest& req, DWORD* error);

// Starts a process as a child of the current process: records it, remembers the command line,
// and runs its program as the new process. Returns the new process ID, or 0 with the error
// (2, 3, 193 not a program) in *error; nothing is recorded then.
DWORD LaunchProcess(Machine& m, const LaunchRequest& req, DWORD* error);

// The record of a process ID, or null.
SimProcess* FindProcess(Machine& m, DWORD pid);

// The process queries of the machine's process interface (process_queries.cpp), with the
// meaning and errors of the calls they are named after.
platform::HANDLE SimCreateToolhelp32Snapshot(Machine& m, DWORD flags);
platform::BOOL SimProcess32(Machine& m, platform::HANDLE snapshot, platform::PROCESSENTRY32W* entry,
                            bool first);
platform::BOOL SimQueryFullProcessImageNameW(Machine& m, platform::HANDLE process, DWORD flags,
                                             char16_t* buf, DWORD* size);
// GetModuleFileNameExW into `wide`, or with `ansi` GetModuleFileNameExA.
DWORD SimGetModuleFileNameEx(Machine& m, platform::HANDLE process, char16_t* wide, char* ansi,
                             DWORD size);
platform::BOOL SimEnumProcessModules(Machine& m, platform::HANDLE process,
                                     platform::HMODULE* modules, DWORD bytes, DWORD* needed);

// The current process waits for its child: since a program's behaviour runs at once and the
// clock stands still meanwhile, the current process's running time grows by what the child
// still has to run. A child that never ends makes the current process never end either.
void WaitForChild(Machine& m, DWORD child_pid);

}  // namespace kes::sim
