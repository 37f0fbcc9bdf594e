#!/usr/bin/env bash
# labels: app failure-paths
# "/normal" on a Windows 10 machine configured for Safe Mode with networking, while the boot store
# refuses to delete the Safe Mode element. bcdedit answers a refused delete and an absent element
# alike, so the program asks the store (bcdedit /enum piped through find, in Wine's own cmd.exe
# without its start hooks), learns that Safe Mode stays, writes the one-time entry again and says
# so - the machine is not left to boot into Safe Mode with nothing to bring the program back - and
# nothing after that notice claims a normal boot: no restart question, no "starts normally".
# Once the store gives way, "/remove" (what that entry runs) takes everything back.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" undo-retry

printf 'safeboot=network\r\n' >"$E2E_STORE"
e2e_reg_add "$E2E_RUNONCE" "$E2E_HOOK" REG_SZ 'cmd /d /c start "" "C:\Tools\Kestrune.exe" /Remove'
fail=$(kes_c_path 'C:\bcdedit_fail.txt')
printf 'deletevalue safeboot\r\n' >"$fail"

kes_wine_start 120 'C:\Tools\Kestrune.exe' /normal
e2e_answer Kestrune Return undo-retry-notice
# The program ends here: any further box (the restart question, "Windows will start normally")
# fails the test.
e2e_finish

e2e_expect_lines "bcdedit calls of the refused /normal" "/deletevalue safeboot
/deletevalue safebootalternateshell
/enum {current}" "$(e2e_commands | sed 's/ *$//')"
e2e_expect_lines "boot store after the refused delete" "safeboot=network" "$(e2e_store)"
[[ $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") == *'Kestrune.exe" /Remove' ]] ||
  kes_fail "the refused delete left no one-time entry to bring the program back"

rm -f "$fail"
kes_wine_start 120 'C:\Tools\Kestrune.exe' /remove
e2e_finish
e2e_expect_lines "boot store after /remove" "" "$(e2e_store)"
[[ -z $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] || kes_fail "/remove left the entry $E2E_HOOK"

echo "PASS: a refused delete kept the way back, said so and nothing else, and the retry took everything back"
