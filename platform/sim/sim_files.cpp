#include "platform/sim/machine.h"

namespace kes::sim {
namespace {

class SimFileApi final : public platform::FileApi {
 public:
  explicit SimFileApi(Machine& m) : m_(m) {}

 private:
  [[maybe_unused]] Machine& m_;
};

}  // namespace

std::unique_ptr<platform::FileApi> MakeSimFiles(Machine& m) { return std::make_unique<SimFileApi>(m); }

}  // namespace kes::sim
