// The file-system view of a simulated process: how the process and tool code of the machine
// reads paths (as the running process sees them: its current folder, its redirection) without
// going through the counted, fault-injectable file calls of the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace kes::sim {

// The current folder of the running process.
std::u16string FsCurrentDirectory(Machine& m);
// `path` made absolute against the current folder, "." and ".." resolved; unchanged when it
// cannot be read as a path.
std::u16string FsFullPath(Machine& m, std::u16string_view path);
// True when `path` is an existing file (not a folder), as the running process sees it.
bool FsIsFile(Machine& m, std::u16string_view path);
bool FsFolderExists(Machine& m, std::u16string_view path);
// Where `path` really leads (System32 becomes SysWOW64 for a 32-bit process while redirection
// is on); unchanged when it cannot be read as a path.
std::u16string FsRealPath(Machine& m, std::u16string_view path);
// The bytes of a file as the running process reads it; nullopt when it is missing or a folder,
// with 2, 3 or 5 (a folder) in *error.
std::optional<std::vector<std::uint8_t>> FsReadFile(Machine& m, std::u16string_view path,
                                                    DWORD* error);

// What a process switch saves of the file system's per-process state.
struct FsProcessState {
  bool redirection_disabled = false;
  std::u16string current_directory;
};
// A new process starts with redirection on and its own current folder; Leave restores the
// starter's state.
FsProcessState FsEnterProcess(Machine& m, std::u16string_view current_directory);
void FsLeaveProcess(Machine& m, const FsProcessState& saved);

}  // namespace kes::sim
