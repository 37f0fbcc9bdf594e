// Context: all process-wide state of one run of the program. A real process has exactly one;
// a test creates a fresh one, and the simulated machine creates a new one each time it starts
// Kestrune itself (for example from a RunOnce entry on a simulated Safe Mode boot).
// The current context is reached through Ctx(); ContextScope makes a context current.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace kes {

namespace debug {
struct DebugState;
}
class AppEnv;
struct CommonState;

struct Context {
  explicit Context(platform::Platform& os);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  platform::Platform& os;
  std::unique_ptr<debug::DebugState> debug;  // tracing registry, counters, in-memory log
  std::unique_ptr<AppEnv> env;               // App_Env; created by InitApp
  std::unique_ptr<CommonState> common;       // App_Common module state
  bool RestartDeclined = false;              // the user declined the restart question
};

// The current context; a programming error (terminates) when none is current.
Context& Ctx();
// True when a context is current.
bool HasCtx();
// The current machine's interfaces.
inline platform::Platform& OS() { return Ctx().os; }

// Makes a context current for its lifetime and restores the previous one afterwards.
class ContextScope {
 public:
  explicit ContextScope(Context& ctx);
  ~ContextScope();
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  Context* previous_;
};

}  // namespace kes
