// The boot cycle of the simulated machine: what happens between a restart and the signed-in
// desktop. The boot loader decides the mode: from Vista on the boot configuration store
// ({default}'s safeboot element: normal, Safe Mode or Safe Mode with networking, and for minimal
// Safe Mode with safebootalternateshell the alternate shell named under SafeBoot
// "AlternateShell"); before Vista NTLDR, from the entry of boot.ini's [operating systems] that
// "default" names and its /safeboot switch (minimal, network, minimal(alternateshell)). Then the
// shell starts: the alternate shell (cmd.exe, which runs the command processor's "Autorun"
// first), or Explorer, which processes HKLM RunOnce as Windows does - in Safe Mode only the
// entries whose name starts with "*", each deleted before it runs ("!" entries after). Whatever
// these start runs at once; Kestrune itself runs through Machine::run_kestrune.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace kes::sim {

// How the boot loader will start the next boot.
struct BootChoice {
  int clean_boot = 0;            // SM_CLEANBOOT: 0 normal, 1 Safe Mode, 2 with networking
  bool alternate_shell = false;  // minimal Safe Mode with SafeBoot's "AlternateShell" as shell
};

// True for a machine whose boot loader reads boot.ini (NT before Vista).
bool BootsFromBootIni(const Machine& m);

// The next boot as the boot loader will start it. NTLDR reads boot.ini at the root of the
// system drive whatever its attributes or locks: the first entry of [operating systems] named
// like "default" (letter case ignored), else the first entry; without boot.ini or without
// entries it starts \WINDOWS of the first disk normally, as NTLDR does.
BootChoice NextBootChoice(Machine& m);

// What one boot did.
struct BootReport {
  int clean_boot = 0;                    // SM_CLEANBOOT of the new boot (0, 1, 2)
  std::u16string shell;                  // the shell's command line
  std::u16string autorun;                // the "Autorun" command the shell ran ("" for none)
  std::vector<std::u16string> run_once;  // the RunOnce entries that ran, in order
  // Every command line the program itself was started with during the boot, in order.
  std::vector<std::u16string> kestrune_runs;
};

// Restarts the machine: every process ends, the new boot mode comes from the boot store, the
// shell starts and runs what Windows runs at the first sign-in. The program's own process record
// is back afterwards (not running) with the command line of a plain start, so a test can start
// it again. Shutdown requests already made stay recorded.
BootReport Restart(Machine& m);

}  // namespace kes::sim
