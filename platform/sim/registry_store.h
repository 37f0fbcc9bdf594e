// The simulated registry: case-insensitive keys, typed values stored as raw bytes, the 32-bit view of SOFTWARE under WOW6432Node.
#pragma once

namespace kes::sim {

class Machine;

class RegistryStore {
 public:
  explicit RegistryStore(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace kes::sim
