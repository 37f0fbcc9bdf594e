#!/usr/bin/env bash
# The whole road once, for real, on Windows 10: "/safenet" answered Yes configures Safe Mode with
# networking, leaves the one-time entry and restarts Windows (under Wine ExitWindowsEx ends every
# process of the prefix). The next session start runs the entry, so Kestrune.exe comes back with
# "/Remove"; no BootMode was recorded from the command line, so it asks nothing and takes the whole
# configuration back: no safeboot element and no hook may be left.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" safenet-restart

# ---- before the restart ----------------------------------------------------------------------
kes_wine_start 120 'C:\Tools\Kestrune.exe' /safenet
e2e_answer Kestrune y safenet-restart-question
# The restart takes the program down with everything else; any ending but a timeout is fine.
e2e_finish 60
# The persistent server outlives the restart; stop it so the next start is a new session.
kes_timeout 30 "$KES_WINESERVER" -k 2>/dev/null || true
kes_wine_wait 30 || true

e2e_expect_lines "bcdedit calls of /safenet" "/deletevalue safeboot
/deletevalue safebootalternateshell
/export C:\\BCDbak
/set safeboot network
/set {default} bootmenupolicy legacy
/set {current} bootmenupolicy legacy" "$(e2e_commands)"
e2e_expect_lines "safeboot element before the restart" "safeboot=network" \
  "$(e2e_store | grep -i '^safeboot=' || true)"
# Reading through Wine would start a session and so run the entry: read the saved hive instead.
hook_line=$(grep -aF '"*Quorlen Kestrune Mod"=' "$WINEPREFIX/system.reg" || true)
[[ $hook_line == *'Kestrune.exe\" /Remove"'* ]] ||
  kes_fail "before the restart no entry $E2E_HOOK runs Kestrune.exe /Remove: ${hook_line:-none}"
[[ -z $(grep -aF 'BootMode' "$WINEPREFIX/system.reg" || true) ]] ||
  kes_fail "/safenet from the command line recorded a BootMode"

# ---- the next boot ---------------------------------------------------------------------------
# A new session runs the RunOnce entries: "cmd /c start" launches Kestrune.exe /Remove, which
# must end by itself without a question.
e2e_session_start
deadline=$((SECONDS + 90))
while [[ $(e2e_started_with | tail -1) != /Remove ]] || e2e_kestrune_running; do
  ((SECONDS < deadline)) || kes_fail "Kestrune.exe /Remove did not run and end in the next session"
  # Windows too shows the console of "cmd /c start" for a moment; anything else is a question.
  title=$(e2e_windows | grep -v '\\cmd\.exe$' | head -1 || true)
  [[ -z $title ]] || { e2e_shot next-boot-window; kes_fail "a window \"$title\" was shown"; }
  sleep 0.2
done

e2e_expect_lines "runs of Kestrune.exe" "/safenet
/Remove" "$(e2e_started_with)"
e2e_expect_lines "bcdedit calls after the next boot" "$(printf '%s\n' "/deletevalue safeboot" \
  "/deletevalue safebootalternateshell" "/export C:\\BCDbak" "/set safeboot network" \
  "/set {default} bootmenupolicy legacy" "/set {current} bootmenupolicy legacy" \
  "/deletevalue safeboot" "/deletevalue safebootalternateshell")" "$(e2e_commands)"
[[ -z $(e2e_store | grep -i 'safeboot' || true) ]] ||
  kes_fail "a safeboot element is left: $(e2e_store)"
[[ -z $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] || kes_fail "the entry $E2E_HOOK is left"
[[ -z $(e2e_reg "$E2E_AUTORUN_KEY" Autorun) ]] || kes_fail "an Autorun hook is left"
[[ -z $(e2e_bootmode) ]] || kes_fail "a BootMode $(e2e_bootmode) is left"

echo "PASS: /safenet restarted into the configuration and the next session's /Remove took it back"
