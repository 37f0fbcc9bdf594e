#include "framework/env/context.h"

#include <cstdlib>

#include "framework/debug/tracing_state.h"
#include "framework/env/common_state.h"
#include "framework/env/environment.h"

namespace kes {
namespace {
// The one pointer to the running program's state. Everything process-wide hangs off it.
thread_local Context* g_current = nullptr;
}  // namespace

Context::Context(platform::Platform& machine)
    : os(machine),
      debug(std::make_unique<debug::DebugState>()),
      common(std::make_unique<CommonState>()) {}

Context::~Context() = default;

Context& Ctx() {
  if (!g_current) std::abort();
  return *g_current;
}

bool HasCtx() {
  return g_current != nullptr;
}

ContextScope::ContextScope(Context& ctx) : previous_(g_current) {
  g_current = &ctx;
}
ContextScope::~ContextScope() {
  g_current = previous_;
}

}  // namespace kes
