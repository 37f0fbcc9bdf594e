#include "platform/sim/machine.h"

namespace kes::sim {
namespace {

class SimSecurityApi final : public platform::SecurityApi {
 public:
  explicit SimSecurityApi(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace

std::unique_ptr<platform::SecurityApi> MakeSimSecurity(Machine& m) { return std::make_unique<SimSecurityApi>(m); }

}  // namespace kes::sim
