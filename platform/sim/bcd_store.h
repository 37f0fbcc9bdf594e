// The boot configuration store of the simulated machine and the bcdedit.exe that edits it. The
// store holds Windows Boot Loader entries by identifier, with the well-known names {current}
// (the loader that started the running system) and {default} (the one the boot manager starts
// next) pointing at one of them. Only the elements the program touches are understood:
// safeboot, safebootalternateshell and bootmenupolicy. The boot cycle (boot_cycle.h) reads the
// {default} entry to decide how the next boot starts.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace kes::sim {

// One Windows Boot Loader entry: its description and its elements (lower-case name -> value as
// bcdedit /enum shows it: "Minimal", "Network", "Yes", "Legacy"...).
struct BcdEntry {
  std::u16string identifier;  // "{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
  std::u16string description;
  std::map<std::u16string, std::u16string> elements;
};

class BcdStore {
 public:
  // One loader entry "Windows 10", which is both {current} and {default}.
  BcdStore();

  // The entry an identifier names ("{current}", "{default}" or the entry's own identifier,
  // letter case ignored); null for any other text.
  BcdEntry* Find(std::u16string_view identifier);
  const BcdEntry* Find(std::u16string_view identifier) const;
  // The value of an element of an entry; nullopt when the entry or the element is absent.
  std::optional<std::u16string> Get(std::u16string_view identifier,
                                    std::u16string_view element) const;
  // Adds a loader entry (replacing one with the same identifier); it becomes {default} when
  // `make_default`.
  void AddEntry(BcdEntry entry, bool make_default);

  // The store as a text (what /export writes, and a digest of its state for tests).
  std::u16string Serialize() const;

  // SM_CLEANBOOT of the next boot: 1 when {default} carries safeboot Minimal, 2 for Network,
  // 0 otherwise.
  int NextCleanBoot() const;
  // True when the next boot is a minimal Safe Mode boot with the alternate shell.
  bool NextBootAlternateShell() const;

  std::map<std::u16string, BcdEntry> entries;  // by lower-cased identifier
  std::u16string current_id;                   // lower-cased identifier of {current}
  std::u16string default_id;                   // lower-cased identifier of {default}
  // Commands that fail on demand: "set safeboot", "deletevalue safeboot", "export"... (verb
  // without its slash and, where it has one, the element name, lower case) -> exit code. The
  // store stays as it was and bcdedit prints the error.
  std::map<std::u16string, DWORD> failing;
};

// bcdedit.exe: "/set [ID] ELEMENT VALUE", "/deletevalue [ID] ELEMENT" (ID defaults to
// {current}) and "/export FILE". Exit 0 when done; 1 with the tool's error text for an unknown
// entry, element, value or command, for an element /deletevalue does not find, for an export
// whose folder is missing, and when the process is not elevated. InjectFault("bcdedit.exe",
// code) makes every (or the nth) run exit with `code` and change nothing.
DWORD RunBcdedit(Machine& m, const std::u16string& command_line);

}  // namespace kes::sim
