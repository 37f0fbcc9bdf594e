#!/usr/bin/env bash
# "/safe" on Windows 10 answered No at the restart question: the user backed out before anything
# happened, so the boot configuration, the registry and the undo hooks must be exactly as before.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" safe-declined

kes_wine_start 120 'C:\Tools\Kestrune.exe' /safe
e2e_answer Kestrune n
e2e_finish

# Not even the undo of earlier changes may run before the question is answered Yes.
e2e_expect_lines "bcdedit calls of /safe answered No" "" "$(e2e_commands)"
[[ -z $(e2e_store) ]] || kes_fail "the boot store was changed: $(e2e_store)"
[[ -z $(e2e_bootmode) ]] || kes_fail "/safe answered No wrote BootMode $(e2e_bootmode)"
[[ -z $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] ||
  kes_fail "/safe answered No wrote the RunOnce entry $E2E_HOOK"
[[ ! -e $(kes_c_path 'C:\BCDbak') ]] || kes_fail "/safe answered No exported C:\\BCDbak"
e2e_expect_lines "runs of Kestrune.exe" "/safe" "$(e2e_started_with)"

echo "PASS: /safe answered No changed nothing"
