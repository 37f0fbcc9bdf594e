#include "platform/sim/machine.h"

namespace kes::sim {
namespace {

class SimProcessApi final : public platform::ProcessApi {
 public:
  explicit SimProcessApi(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace

std::unique_ptr<platform::ProcessApi> MakeSimProcesses(Machine& m) { return std::make_unique<SimProcessApi>(m); }

}  // namespace kes::sim
