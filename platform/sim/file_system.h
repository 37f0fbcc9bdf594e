// The simulated file system: drives, folders, files with attributes, sizes, times and locks; System32 seen as SysWOW64 by a 32-bit process unless redirection is off.
#pragma once

namespace kes::sim {

class Machine;

class FileSystem {
 public:
  explicit FileSystem(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace kes::sim
