// Scenario "fault-selftest": processor faults become handled errors on the real backend too.
#include <string>

#include "framework/debug/exception_handler.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {

Outcome FaultSelfTest() {
  const int rc = kes::debug::RunFaultSelfTest();
  if (rc == 0) return {true, {}};
  return {false, "RunFaultSelfTest returned " + std::to_string(rc)};
}

}  // namespace kes::win32::e2e
