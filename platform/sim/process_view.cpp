#include "platform/sim/process_view.h"

#include "platform/sim/file_system.h"

namespace kes::sim {

std::u16string FsCurrentDirectory(Machine& m) {
  return m.fs().current_directory;
}

std::u16string FsFullPath(Machine& m, std::u16string_view path) {
  const ParsedPath p = m.fs().Parse(path);
  return p.error ? std::u16string(path) : p.Text();
}

bool FsIsFile(Machine& m, std::u16string_view path) {
  const Located l = m.fs().Locate(path);
  return l.error == 0 && l.node && !l.node->is_dir;
}

bool FsFolderExists(Machine& m, std::u16string_view path) {
  const Located l = m.fs().Locate(path);
  return l.error == 0 && l.node && l.node->is_dir;
}

std::u16string FsRealPath(Machine& m, std::u16string_view path) {
  const Located l = m.fs().Locate(path);
  return l.path.error ? std::u16string(path) : l.path.Text();
}

std::optional<std::vector<std::uint8_t>> FsReadFile(Machine& m, std::u16string_view path,
                                                    DWORD* error) {
  const Located l = m.fs().Locate(path);
  if (l.error != 0 || !l.node) {
    *error = l.error ? l.error : platform::kERROR_FILE_NOT_FOUND;
    return std::nullopt;
  }
  if (l.node->is_dir || l.node->locked) {
    *error = l.node->is_dir ? platform::kERROR_ACCESS_DENIED : platform::kERROR_SHARING_VIOLATION;
    return std::nullopt;
  }
  *error = 0;
  return l.node->data;
}

FsProcessState FsEnterProcess(Machine& m, std::u16string_view current_directory) {
  FileSystem& fs = m.fs();
  FsProcessState saved{fs.redirection_disabled, fs.current_directory};
  fs.redirection_disabled = false;
  if (!current_directory.empty()) fs.current_directory = std::u16string(current_directory);
  return saved;
}

void FsLeaveProcess(Machine& m, const FsProcessState& saved) {
  FileSystem& fs = m.fs();
  fs.redirection_disabled = saved.redirection_disabled;
  fs.current_directory = saved.current_directory;
}

}  // namespace kes::sim
