#!/usr/bin/env bash
# The safe-boot road of the real Kestrune.exe under Wine (Windows 10 prefix), with a recording
# bcdedit.exe double in System32: "/safenet-noreboot" must run exactly the boot-tool commands of
# a Safe Mode with networking set-up (undo of earlier changes, backup, boot setting, F8 menu)
# without asking anything, and "/remove" with no pending boot mode must take it all back, again
# without asking.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
DOUBLE=${KES_BCDEDIT_DOUBLE:-$SRC/build/windows-x64/bcdedit_double.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"
[[ -f $DOUBLE ]] ||
  kes_fail "$DOUBLE is not built (cmake --build build/windows-x64 --target bcdedit_double)"

kes_wine_begin "$SRC" safenet-noreboot
kes_wine_install "$EXE"
kes_wine_tool "$DOUBLE" bcdedit.exe
record=$(kes_c_path 'C:\bcdedit_record.txt')
store=$(kes_c_path 'C:\bcdedit_store.txt')
backup=$(kes_c_path 'C:\BCDbak')
rm -f "$record" "$store" "$backup"

# The Windows the prefix reports decides between bcdedit and boot.ini: make sure it is 10.
kes_timeout 60 "$KES_WINE" winecfg -v win10 >/dev/null 2>&1 || kes_fail "winecfg -v win10 failed"
kes_wine_wait 60 || true

# The commands the double saw, one a line, without the program name (the caller may have given
# it with or without a path or quotes): "/set safeboot network" and so on.
recorded_commands() {
  [[ -f $record ]] || return 0
  tr -d '\r' <"$record" | sed -E 's/^("[^"]*"|[^ ]*) *//'
}

# Runs Kestrune.exe with SWITCH; the switch asks nothing, so the run must end by itself. A
# message box it shows anyway (about Microsoft accounts, a failure notice...) fails the test at
# once with its title; leaving the script tears the prefix down with the program in it.
run_unasked() {
  local switch=$1
  kes_wine_start 120 'C:\Tools\Kestrune.exe' "$switch"
  local deadline=$((SECONDS + 120)) box
  while kill -0 "$KES_PID" 2>/dev/null && ((SECONDS < deadline)); do
    local win
    win=$(xdotool search --onlyvisible --name '.+' 2>/dev/null | while read -r w; do
      n=$(xdotool getwindowname "$w" 2>/dev/null || true)
      [[ -n $n && $n != Default* && $n != *"Wine desktop"* ]] && { echo "$w"; break; }
    done || true)
    if [[ -n $win ]]; then
      box=$(xdotool getwindowname "$win" 2>/dev/null || true)
      kes_screenshot "$KES_RUN_DIR/window.png" 2>/dev/null || true
      kes_fail "Kestrune.exe $switch showed a window titled \"$box\" but must ask nothing"
    fi
    sleep 0.3
  done
  kes_wine_finish
  if [[ $KES_RC != 0 ]]; then
    kes_wine_show_output
    kes_fail "Kestrune.exe $switch $(kes_wine_ending)"
  fi
}

# expect_lines WHAT EXPECTED ACTUAL: fails, showing both, unless the line lists are identical.
expect_lines() {
  local what=$1 expected=$2 actual=$3
  if [[ $expected != "$actual" ]]; then
    echo "--- expected $what"
    printf '%s\n' "$expected"
    echo "--- got"
    printf '%s\n' "$actual"
    kes_fail "$what differ"
  fi
}

# The value's line in "reg query" output, empty when the value (or its key) is absent.
reg_value() {
  local key=$1 value=$2
  kes_timeout 60 "$KES_WINE" reg query "$key" /v "$value" /reg:64 2>/dev/null | tr -d '\r' |
    grep -F "$value" || true
}

# ---- /safenet-noreboot -----------------------------------------------------------------------
run_unasked /safenet-noreboot

# First the undo of earlier changes (both elements are absent, so both fail: that is fine), then
# the backup because C:\BCDbak is absent, the boot setting, and the F8 menu on both entries.
expected_setup="/deletevalue safeboot
/deletevalue safebootalternateshell
/export C:\\BCDbak
/set safeboot network
/set {default} bootmenupolicy legacy
/set {current} bootmenupolicy legacy"
expect_lines "bcdedit calls of /safenet-noreboot" "$expected_setup" "$(recorded_commands)"
[[ -f $backup ]] || kes_fail "the backup C:\\BCDbak was not written"

store_after_setup=$(tr -d '\r' <"$store" 2>/dev/null | grep -i '^safeboot=' || true)
expect_lines "safeboot element after /safenet-noreboot" "safeboot=network" "$store_after_setup"

# The SafeBoot keys come from the registry files carried inside the exe ("SB_10" on Windows 10:
# 33 services, 18 drivers, 10 driver groups and 21 device classes allowed in Minimal, 63 / 30 /
# 19 / 26 in Network). An exe built without them can only be checked for the bcdedit road.
safeboot='HKLM\SYSTEM\CurrentControlSet\Control\SafeBoot'
# The number of direct sub-keys of SafeBoot\$1 in Wine's registry.
safeboot_subkeys() {
  local under="^HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\Control\\\\SafeBoot"
  kes_timeout 60 "$KES_WINE" reg query "$safeboot\\$1" /reg:64 2>/dev/null | tr -d '\r' |
    grep -ci "$under\\\\$1\\\\" || true
}
check_sb10_keys() {
  local minimal network
  minimal=$(safeboot_subkeys Minimal)
  network=$(safeboot_subkeys Network)
  echo "SafeBoot keys in Wine's registry: Minimal $minimal, Network $network"
  ((minimal == 82 && network == 138)) ||
    kes_fail "SafeBoot\\Minimal should hold 82 keys and SafeBoot\\Network 138 (those of \"sb_10\")"
  [[ $(reg_value "$safeboot" AlternateShell) == *REG_SZ*cmd.exe ]] ||
    kes_fail "SafeBoot has no AlternateShell value cmd.exe"
  local branch
  for branch in Minimal Network; do
    local media="$safeboot\\$branch\\{4D36E96C-E325-11CE-BFC1-08002BE10318}"
    [[ $(reg_value "$media" SafeBootDrivers) == *REG_DWORD*0x1 ]] ||
      kes_fail "SafeBoot\\$branch: the Media class lacks SafeBootDrivers=1 (only \"sb_10\" has it)"
  done
}
# (Read into a variable first: grep -q stopping early would fail strings under pipefail.)
exe_texts=$(strings -el "$EXE")
if grep -qx 'SB_10' <<<"$exe_texts" && grep -qx 'CUSTOM' <<<"$exe_texts"; then
  check_sb10_keys
else
  echo "note: $EXE carries no CUSTOM \"SB_10\" resource; the SafeBoot keys were not checked"
fi

# ---- /remove with no pending boot mode ---------------------------------------------------------
[[ -z $(reg_value 'HKLM\Software\Quorlen\Kestrune' BootMode) ]] ||
  kes_fail "/safenet-noreboot left a BootMode value, so /remove would ask a question"
run_unasked /remove

expect_lines "bcdedit calls after /remove" "$expected_setup
/deletevalue safeboot
/deletevalue safebootalternateshell" "$(recorded_commands)"
store_after_remove=$(tr -d '\r' <"$store" 2>/dev/null | grep -i '^safeboot=' || true)
[[ -z $store_after_remove ]] || kes_fail "/remove left the element $store_after_remove"
runonce='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
[[ -z $(reg_value "$runonce" '*Quorlen Kestrune Mod') ]] ||
  kes_fail "/remove left the RunOnce entry *Quorlen Kestrune Mod"
[[ -z $(reg_value 'HKLM\SOFTWARE\Microsoft\Command Processor' Autorun) ]] ||
  kes_fail "/remove left the command processor's Autorun value"

echo "PASS: /safenet-noreboot ran the expected bcdedit calls and /remove took them back"
