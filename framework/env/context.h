// Context: all process-wide state of one run of the program. A real process has exactly one;
// a test creates a fresh one, and the simulated machine creates a new one each time it starts
// Kestrune itself (for example from a RunOnce entry on a simulated Safe Mode boot).
// The current context is reached through Ctx(); ContextScope makes a context current.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace kes {

namespace debug {
struct DebugState;
}
class AppEnv;
struct CommonState;

// WOW64 file-system redirection as DisableFSRedir/RevertFSRedir (framework/fs/files.h) left it:
// owned while switched off by DisableFSRedir and not yet reverted (a run that ends with it off
// switches it back on).
struct FsRedirState {
  platform::UniqueRedirection switched_off;
  bool disabled() const { return switched_off.valid(); }
};

// Privileges switched by SetPrivilegeToken (framework/process/privileges.h), kept for the
// whole run: the LUID slot of each privilege name, the names whose LUID has been looked up, and
// who enabled which privilege (token name -> text of the enabling procedure's ID).
struct PrivilegeState {
  std::map<std::u16string, platform::LUID> luid_slots;
  std::set<std::u16string> looked_up;
  std::map<std::u16string, std::u16string> enabled_by;
};

// A window of the program kept loaded between events (the main window); the context owns it so
// that it goes with the run.
struct LoadedWindow {
  virtual ~LoadedWindow() = default;
};

struct Context {
  explicit Context(platform::Platform& machine);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  platform::Platform& os;
  std::unique_ptr<debug::DebugState> debug;  // tracing registry, counters, in-memory log
  std::unique_ptr<AppEnv> env;               // App_Env; created by InitApp
  std::unique_ptr<CommonState> common;       // App_Common module state
  bool RestartDeclined = false;              // the user declined the restart question
  std::int32_t exit_status = 0;              // what the process ends with (the program sets it)
  FsRedirState fs_redir;                     // WOW64 redirection switched off by the framework
  // Text files open under a file number (App_Common's sequential files); numbers start at 1.
  std::map<std::int32_t, platform::UniqueHandle> file_nums;
  PrivilegeState privileges;                  // SetPrivilegeToken's owners and LUID cache
  std::unique_ptr<LoadedWindow> main_window;  // the main window once loaded
};

// The current context; a programming error (terminates) when none is current.
Context& Ctx();
// True when a context is current.
bool HasCtx();
// The current machine's interfaces.
inline platform::Platform& OS() {
  return Ctx().os;
}

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
