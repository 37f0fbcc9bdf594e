// Shared set-up of the safe-boot tests: a fresh simulated machine and context per test, the
// program started (InitApp) as a plain run would, and short ways to read what a configuration
// left on the machine.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dispatch.h"
#include "app/safeboot.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "framework/env/startup.h"
#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace kes::safeboot_tests {

inline constexpr platform::HKEY kHKLM = platform::kHKEY_LOCAL_MACHINE;
inline constexpr char16_t kEntryValue[] = u"*Quorlen Kestrune Mod";
inline constexpr char16_t kEntryData[] = u"cmd /c start \"\" \"C:\\Tools\\Kestrune.exe\" /Remove";
inline constexpr char16_t kAutorunData[] = u"\"C:\\Tools\\Kestrune.exe\" /undo";
inline constexpr char16_t kMarker[] = u"C:\\Windows\\kestrune.cmd";

// What a machine carries of a configuration.
inline std::optional<std::u16string> RunOnceEntry(sim::Machine& m) {
  return m.registry().GetString(kHKLM, kRunOnceKey, kEntryValue);
}
inline std::optional<std::u16string> Autorun(sim::Machine& m) {
  return m.registry().GetString(kHKLM, kCommandProcessorKey, u"Autorun");
}
inline std::optional<platform::DWORD> BootModeValue(sim::Machine& m) {
  return m.registry().GetDword(kHKLM, u"SOFTWARE\\Quorlen\\Kestrune", u"BootMode");
}
inline std::optional<std::u16string> SafeBoot(sim::Machine& m) {
  return m.bcd().Get(u"{current}", u"safeboot");
}

// A 32-bit Windows 10: start-up does not yet learn that a 32-bit program runs on 64-bit Windows
// (the IsWow64Process answer is still to come), and without that fact the program can reach
// neither the native registry view nor System32's bcdedit.exe there.
inline void MakeThirtyTwoBit(sim::Machine& m) {
  m.facts.is_64bit = false;
}

class SafeBootTest : public ::testing::Test {
 protected:
  SafeBootTest() { MakeThirtyTwoBit(machine_); }

  // Starts the framework as the program does before it dispatches; what start-up itself ran
  // is forgotten so that only the procedure under test shows.
  void Start() {
    InitApp(false, u"");
    machine_.started_command_lines.clear();
  }
  // The command lines of bcdedit.exe runs, in order.
  std::vector<std::u16string> BootToolRuns() const {
    std::vector<std::u16string> out;
    for (const auto& c : machine_.started_command_lines)
      if (c.starts_with(u"bcdedit.exe")) out.push_back(c);
    return out;
  }
  // The names of the trace records of these procedures, in order of entry.
  std::vector<std::u16string> ProcsRun(const std::vector<std::u16string>& names) const {
    std::vector<std::u16string> out;
    const auto& procs = ctx_.debug->procs;
    for (std::size_t i = 0; i < procs.size(); ++i)
      for (const auto& n : names)
        if (procs[i].ProcName() == n) out.push_back(n);
    return out;
  }
  bool LogHas(std::u16string_view text) const {
    return debug::DebugLogText().find(text) != std::u16string::npos;
  }
  void SetBootModeValue(platform::DWORD mode) {
    machine_.registry().SetDword(kHKLM, u"SOFTWARE\\Quorlen\\Kestrune", u"BootMode", mode);
  }

  sim::Machine machine_;
  Context ctx_{machine_.platform()};
  ContextScope scope_{ctx_};
};

}  // namespace kes::safeboot_tests
