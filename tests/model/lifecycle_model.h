// The pieces of the lifecycle model check: a digest of what a simulated machine keeps across a
// power cut (registry, files, boot store, accounts, boot mode, signed-in user), the steps a user
// or Windows takes (a switch, the window, a restart), a runner that plays one step with scripted
// answers, at most one injected failure and an optional power cut, and the two facts the
// invariants are made of: where the next boot goes and whether something brings the program
// back there.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace kes::lifecycle_model {

// A 64-bit hash of everything a power cut leaves behind. Timestamps, open handles, processes
// and the clock are left out: they do not survive a restart or do not change what the program
// does next (the processes change only the calls start-up makes to learn its parent). Only reads
// the machine (the stores hand their trees out through non-const access).
std::uint64_t Digest(const sim::Machine& m);

// What a power cut leaves of a machine (the same parts the digest covers, plus the boot mode's
// traces in the environment, the signed-in user's token and the keys' and files' security),
// with the running processes and the clock, to be put back into a machine of the same profile.
// Cheaper than replaying the steps that led there.
struct Snapshot {
  std::uint64_t digest = 0;
  std::unique_ptr<sim::RegKey> machine_hive;
  std::unique_ptr<sim::RegKey> users_hive;
  std::vector<std::pair<std::u16string, std::shared_ptr<sim::FsNode>>> volumes;
  std::vector<std::pair<std::u16string, std::u16string>> pending_renames;
  std::u16string current_directory;  // where a program starts
  std::shared_ptr<sim::BcdStore> bcd;
  std::map<std::u16string, sim::SimAccount> accounts;
  std::map<std::u16string, sim::SimGroup> local_groups;
  sim::MachineFacts facts;
  std::map<std::u16string, std::u16string> environment;
  std::u16string user_name;
  sim::SimToken token;
  // Not part of what a power cut leaves, but of what the next program finds: start-up walks
  // the running processes to find its parent, so every replay of a step from this state must
  // see the same ones at the same time of day (which of them still run depends on the clock),
  // or the number of calls it makes, and so where a power cut at call n lands, would depend on
  // what earlier replays on the same machine left behind (a restart ends the session's
  // processes, a Safe Mode boot with the command prompt starts no Explorer).
  std::vector<sim::SimProcess> processes;
  platform::DWORD current_pid = 0;
  std::int64_t local_ms = 0;
};
Snapshot Take(const sim::Machine& m);
// Puts the snapshot back and forgets what earlier runs left in the machine's records (boxes,
// started programs, restart requests).
void Restore(sim::Machine& m, const Snapshot& s);

// What one step is.
struct Step {
  enum class Kind { kSwitch, kWindow, kRestart };
  Kind kind = Kind::kSwitch;
  std::u16string args;                     // kSwitch: the argument text
  std::vector<sim::WindowAction> actions;  // kWindow: what the user does in the window
  std::string label;                       // how a report names it
};

// Every switch of the command-line table ("/restart" = "/reboot" and "/undo" = "/remove" are
// the same action and appear once), the window with each action reachable from a plain start
// (the F8 box and the menu only where the window offers them), and a restart.
std::vector<Step> AllSteps(bool win8_or_newer);

// A platform call (or tool) that fails: the nth use of `api` within the step, with `error`.
struct Fault {
  std::string api;
  int nth = 0;
  platform::DWORD error = 0;
};

// One step as played: the step, the answers to its message boxes in order (boxes past the end
// get the answer Escape would give), at most one failure and the gated call (1-based, counted
// within the step) at whose entry the power goes (0: it does not).
struct StepRun {
  int step = 0;  // index into the step table
  std::vector<int> answers;
  std::optional<Fault> fault;
  int cut_at = 0;
};

// What playing a step showed.
struct StepOutcome {
  bool cut = false;                         // the power went
  std::vector<sim::ShownMessageBox> boxes;  // every message box shown, in order
  std::vector<std::string> gates;           // every gated call up to a power cut, in order
  // For each of them: made by a program of ours during its start-up (before dispatch), and
  // by which of the step's program runs (1-based; 0: by Windows itself).
  std::vector<bool> startup;
  std::vector<bool> log_sink;  // made while the log file was being appended to
  // Where each was made: the chain of open traced procedures and the call's ordinal in the
  // innermost one ("log|api#n" inside an append to the log file, "windows|api" outside our
  // programs).
  std::vector<std::string> sites;
  std::vector<int> run_of_gate;
  // The digest of the machine at the entry of each gated call (when recorded): the state a
  // power cut there leaves.
  std::vector<std::uint64_t> digest_at_gate;
  int program_runs = 0;  // starts of the program (a restart may start it)
  // After a cut: how often the dead machine had to stop a call again. A process killed in a
  // tool is seen by its parent at its next call, so 1 or 2; more means something swallowed the
  // end of the process and went on.
  int kills = 0;
  bool killed_outside_program = false;  // the power went while no program of ours ran
  // The calls made after the power went, in order (closing calls while unwinding, and each
  // call the dead machine stopped).
  std::vector<std::string> after_cut;
};

// A machine of one profile ("win10-msa": Windows 10 whose signed-in "Admin" is a Microsoft
// account; "xp-sp3/no-final-break", "xp-sp3/no-boot.ini", "xp-sp3/locked": XP whose boot.ini
// does not end with a line break, is missing, or is held open by another program; otherwise a
// version profile id), with the program at its usual place.
std::unique_ptr<sim::Machine> MakeMachine(std::string_view profile);

// Plays `run` on `m`. The gated calls are always collected; with `record` also the digest at
// each (for finding the power-cut states). The machine is left as a restart would find it:
// the program's process record back, no window, nothing scripted.
StepOutcome PlayStep(sim::Machine& m, const std::vector<Step>& steps, const StepRun& run,
                     bool record);

// Failing these calls changes nothing: the machine answers them whatever is injected.
bool FailureIsIgnored(std::string_view api);

// The error a failure of `api` is injected with: ERROR_ACCESS_DENIED for registry and file
// calls and for the tools (whose exit code it becomes), ERROR_NOT_ENOUGH_MEMORY for windows.
platform::DWORD PlausibleError(std::string_view api);

// The next boot's mode from the boot store: 0 normal, 1 Safe Mode, 2 with networking.
int NextBoot(const sim::Machine& m);
// True when something will start the program with its undo switch on the next boot: a "*"
// RunOnce entry that runs it with "/Remove" (Explorer as shell), or, with the command prompt as
// the Safe Mode shell, "AlternateShell" = cmd.exe and the "Autorun" hook running it with "/undo".
bool HookOnNextBoot(const sim::Machine& m);
// True when an undo hook of the program (a one-time entry running it with "/Remove", the command
// processor hook running it with "/undo") is there, whatever the next boot.
bool UndoHookPresent(const sim::Machine& m);
// What is left of a configuration, as a readable list ("" when nothing is).
std::string Leftovers(const sim::Machine& m);

// boot.ini as a machine keeps it: bytes and attributes.
struct FileImage {
  std::vector<std::uint8_t> bytes;
  platform::DWORD attributes = 0;
};
// boot.ini at the root of the system drive; nullopt when there is none.
std::optional<FileImage> BootIni(const sim::Machine& m);
// What a return to normal left of the boot.ini edit on a machine that boots from boot.ini, as a
// readable list ("" when nothing): boot.ini not byte for byte `original` (or there when it was
// not, or gone), its attributes other than read-only, hidden and system, the backup still there.
std::string BootIniLeftovers(const sim::Machine& m, const std::optional<FileImage>& original);
// True when the temporary administrator account exists.
bool TempAdminExists(const sim::Machine& m);
// True when a one-time entry will run the program to delete the temporary administrator.
bool TempAdminDeletionPending(const sim::Machine& m);

// A readable form of a step as played.
std::string Describe(const std::vector<Step>& steps, const StepRun& run);

}  // namespace kes::lifecycle_model
