#include "platform/sim/machine.h"

namespace kes::sim {
namespace {

class SimRegistryApi final : public platform::RegistryApi {
 public:
  explicit SimRegistryApi(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace

std::unique_ptr<platform::RegistryApi> MakeSimRegistry(Machine& m) { return std::make_unique<SimRegistryApi>(m); }

}  // namespace kes::sim
