#!/usr/bin/env bash
# "/normal" on a Windows 10 machine left configured for Safe Mode with networking, the restart
# question answered No: every modification must be gone all the same (boot setting, BootMode, the
# one-time entry, the command processor hook, the marker script), and the notice that Windows
# starts normally next time must be shown.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" normal-declined

# What a configuration from the main window leaves behind.
printf 'safeboot=network\r\nsafebootalternateshell=true\r\n' >"$E2E_STORE"
e2e_reg_add "$E2E_KEY" BootMode REG_DWORD 2
e2e_reg_add "$E2E_RUNONCE" "$E2E_HOOK" REG_SZ 'cmd /c start "" "C:\Tools\Kestrune.exe" /Remove'
e2e_reg_add "$E2E_AUTORUN_KEY" Autorun REG_SZ '"C:\Tools\Kestrune.exe" /undo'
marker=$(kes_c_path 'C:\windows\kestrune.cmd')
printf '"C:\\Tools\\Kestrune.exe" %%1\r\n' >"$marker"
[[ $(e2e_bootmode) == 2 && -n $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] ||
  kes_fail "the configured state could not be prepared"

kes_wine_start 120 'C:\Tools\Kestrune.exe' /normal
e2e_answer '正常重启 Windows?' n
e2e_answer Kestrune Return normal-declined-notice
e2e_finish

e2e_expect_lines "bcdedit calls of /normal" "/deletevalue safeboot
/deletevalue safebootalternateshell" "$(e2e_commands)"
e2e_expect_lines "boot store after /normal" "" "$(e2e_store)"
[[ -z $(e2e_bootmode) ]] || kes_fail "/normal left BootMode $(e2e_bootmode)"
[[ -z $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] || kes_fail "/normal left the entry $E2E_HOOK"
[[ -z $(e2e_reg "$E2E_AUTORUN_KEY" Autorun) ]] || kes_fail "/normal left the Autorun hook"
[[ ! -e $marker ]] || kes_fail "/normal left the marker script C:\\windows\\kestrune.cmd"
e2e_expect_lines "runs of Kestrune.exe" "/normal" "$(e2e_started_with)"

echo "PASS: /normal answered No removed every modification and said so"
