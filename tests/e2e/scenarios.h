// framework_e2e.exe scenarios: each one drives a part of the framework on the real Windows
// backend (under Wine in the tests) and reports whether it behaved as on Windows. A scenario is
// one function in its own file under tests/e2e/ plus one row of the table in scenarios.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kes::win32::e2e {

// What one scenario found. `detail` is one line of ASCII: the reason on failure, an optional
// note on success.
struct Outcome {
  bool passed = false;
  std::string detail;
};

struct Scenario {
  const char* name;  // the argument that selects it, e.g. "fault-selftest"
  Outcome (*run)();  // runs inside a fresh context with tracing started; never throws out
};

// Every scenario, in a fixed order; never empty.
std::span<const Scenario> Scenarios();

// Finds a scenario by its exact name; nullptr when there is none.
const Scenario* FindScenario(std::string_view name);

// A null dereference and an integer division by zero inside a traced step both end as handled
// errors of the running procedure, which goes on. Passes when RunFaultSelfTest reports 0.
Outcome FaultSelfTest();

// "cmd.exe /c exit 0" waited for with the classic 100 ms sleep and with the message-aware wait;
// the detail gives median and 90th percentile of the delay from exit to return. Passes when
// every run ended with code 0 and the message-aware median is the smaller one.
Outcome WaitLatency();

// App_Registry on HKCU and HKLM through advapi32: DWORD, text and text-list values written and
// read back, a text stored with its NUL, existence, and a double delete (the second one "not
// found" and still a success). Cleans up its key.
Outcome Registry();

// After the program's start-up: folders created, a file written, its read-only and hidden
// attributes set, copied onto a read-only target (which keeps its attribute), deleted; a folder
// tree removed through the shell; a UTF-16 .reg file imported with reg.exe and read back;
// "cmd.exe /c exit 3" through ShellAndWait returns 3 and ShellX returns cmd's exit code 7.
Outcome FilesLaunch();

// After the program's start-up: the directory search over a folder tree made in the temp folder
// (levels, masks, exclusions, the hidden-only filter, folders after their contents), the file
// version of the running exe against its version resource, and the user lists from the profile
// folders and from WMI; the detail names the profiles found and what WMI gave.
Outcome EnvSearch();

// GetPathFromPID of its own ID is its exe; RunX of "cmd.exe /c exit 3" waits and returns 3; a
// child run through RunX ("launch-perms-child", which writes GetParentPID of itself to a file in
// the temp folder) names this process as its parent; RegSetKeyPermission on a test key under
// HKLM adds a Guests read entry that the security calls read back. Cleans up its key.
Outcome LaunchPerms();
Outcome LaunchPermsChild();

}  // namespace kes::win32::e2e
