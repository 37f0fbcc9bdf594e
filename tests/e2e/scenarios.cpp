// The table of framework_e2e.exe scenarios.
#include "tests/e2e/scenarios.h"

#include <iterator>

namespace kes::win32::e2e {

namespace {

constexpr Scenario kScenarios[] = {
    {"fault-selftest", &FaultSelfTest},
    {"wait-latency", &WaitLatency},
    {"registry", &Registry},
    {"files-launch", &FilesLaunch},
    {"env-search", &EnvSearch},
    {"launch-perms", &LaunchPerms},
    {"launch-perms-child", &LaunchPermsChild},
};

}  // namespace

std::span<const Scenario> Scenarios() {
  return kScenarios;
}

const Scenario* FindScenario(std::string_view name) {
  for (const Scenario& s : kScenarios) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

}  // namespace kes::win32::e2e
