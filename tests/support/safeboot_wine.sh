# What the safe-boot road of the real Kestrune.exe leaves in a Wine prefix, for the tests that run
# it with a recording bcdedit.exe double (tests/support/bcdedit_double.c) in System32.
# shellcheck shell=bash
# Sourced after wine_lib.sh (or wine32_lib.sh), once the prefix exists.

# The boot-tool commands of "/safenet-noreboot" on Windows 10 with no C:\BCDbak: first the undo
# of earlier changes (both elements are absent, so both fail: that is fine), then the backup, the
# boot setting, and the F8 menu on both entries.
KES_NOREBOOT_BCDEDIT="/deletevalue safeboot
/deletevalue safebootalternateshell
/export C:\\BCDbak
/set safeboot network
/set {default} bootmenupolicy legacy
/set {current} bootmenupolicy legacy"
# And what "/remove" with no pending boot mode adds to them.
KES_REMOVE_BCDEDIT="/deletevalue safeboot
/deletevalue safebootalternateshell"

KES_SAFEBOOT_KEY='HKLM\SYSTEM\CurrentControlSet\Control\SafeBoot'
KES_RUNONCE_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
KES_CMDPROC_KEY='HKLM\SOFTWARE\Microsoft\Command Processor'

# kes_bcdedit_commands [RECORD]: the commands the double saw, one a line, without the program
# name (the caller may have given it with or without a path or quotes): "/set safeboot network".
kes_bcdedit_commands() {
  local record=${1:-$(kes_c_path 'C:\bcdedit_record.txt')}
  [[ -f $record ]] || return 0
  tr -d '\r' <"$record" | sed -E 's/^("[^"]*"|[^ ]*) *//'
}

# The "safeboot" element the double's store holds ("safeboot=network"), empty when none.
kes_bcdedit_safeboot() {
  tr -d '\r' <"$(kes_c_path 'C:\bcdedit_store.txt')" 2>/dev/null | grep -i '^safeboot=' || true
}

# kes_expect_lines WHAT EXPECTED ACTUAL: fails, showing both, unless the line lists are identical.
kes_expect_lines() {
  local what=$1 expected=$2 actual=$3
  if [[ $expected != "$actual" ]]; then
    echo "--- expected $what"
    printf '%s\n' "$expected"
    echo "--- got"
    printf '%s\n' "$actual"
    kes_fail "$what differ"
  fi
}

# kes_reg_value KEY VALUE [VIEW]: the value's line in "reg query" output of the registry view
# VIEW (64 or 32, default 64), empty when the value (or its key) is absent.
kes_reg_value() {
  local key=$1 value=$2 view=${3:-64}
  kes_timeout 60 "$KES_WINE" reg query "$key" /v "$value" "/reg:$view" 2>/dev/null | tr -d '\r' |
    grep -F "$value" || true
}

# kes_run_unasked SECS COMMAND...: runs COMMAND (C:\Tools\Kestrune.exe with a switch that asks
# nothing, or a batch file that runs it), which must end by itself within SECS seconds with exit
# code 0. A message box it shows anyway (about Microsoft accounts, a failure notice...) fails the
# test at once with its title; leaving the script tears the prefix down with the program in it.
kes_run_unasked() {
  local secs=$1
  shift
  kes_wine_start "$secs" "$@"
  local deadline=$((SECONDS + secs)) box
  while kill -0 "$KES_PID" 2>/dev/null && ((SECONDS < deadline)); do
    local win
    win=$(xdotool search --onlyvisible --name '.+' 2>/dev/null | while read -r w; do
      n=$(xdotool getwindowname "$w" 2>/dev/null || true)
      [[ -n $n && $n != Default* && $n != *"Wine desktop"* ]] && { echo "$w"; break; }
    done || true)
    if [[ -n $win ]]; then
      box=$(xdotool getwindowname "$win" 2>/dev/null || true)
      kes_screenshot "$KES_RUN_DIR/window.png" 2>/dev/null || true
      kes_fail "$* showed a window titled \"$box\" but must ask nothing"
    fi
    sleep 0.3
  done
  kes_wine_finish
  if [[ $KES_RC != 0 ]]; then
    kes_wine_show_output
    kes_fail "$* $(kes_wine_ending)"
  fi
}

# The number of direct sub-keys of SafeBoot\$1 in Wine's registry.
kes_safeboot_subkeys() {
  local under="^HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\Control\\\\SafeBoot"
  kes_timeout 60 "$KES_WINE" reg query "$KES_SAFEBOOT_KEY\\$1" /reg:64 2>/dev/null | tr -d '\r' |
    grep -ci "$under\\\\$1\\\\" || true
}

# kes_check_safeboot_import EXE: the SafeBoot keys come from the registry files carried inside the
# exe ("SB_10" on Windows 10: 33 services, 18 drivers, 10 driver groups and 21 device classes
# allowed in Minimal, 63 / 30 / 19 / 26 in Network). An exe built without them can only be
# checked for the bcdedit road.
kes_check_safeboot_import() {
  local exe=$1 exe_texts
  # (Read into a variable first: grep -q stopping early would fail strings under pipefail.)
  exe_texts=$(strings -el "$exe")
  if ! grep -qx 'SB_10' <<<"$exe_texts" || ! grep -qx 'CUSTOM' <<<"$exe_texts"; then
    echo "note: $exe carries no CUSTOM \"SB_10\" resource; the SafeBoot keys were not checked"
    return 0
  fi
  local minimal network
  minimal=$(kes_safeboot_subkeys Minimal)
  network=$(kes_safeboot_subkeys Network)
  echo "SafeBoot keys in Wine's registry: Minimal $minimal, Network $network"
  ((minimal == 82 && network == 138)) ||
    kes_fail "SafeBoot\\Minimal should hold 82 keys and SafeBoot\\Network 138 (those of \"sb_10\")"
  [[ $(kes_reg_value "$KES_SAFEBOOT_KEY" AlternateShell) == *REG_SZ*cmd.exe ]] ||
    kes_fail "SafeBoot has no AlternateShell value cmd.exe"
  local branch
  for branch in Minimal Network; do
    local media="$KES_SAFEBOOT_KEY\\$branch\\{4D36E96C-E325-11CE-BFC1-08002BE10318}"
    [[ $(kes_reg_value "$media" SafeBootDrivers) == *REG_DWORD*0x1 ]] ||
      kes_fail "SafeBoot\\$branch: the Media class lacks SafeBootDrivers=1 (only \"sb_10\" has it)"
  done
}
