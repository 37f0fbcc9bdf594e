#!/usr/bin/env bash
# labels: app shipped-exe
# The 32-bit Kestrune.exe, the one that ships, as a WOW64 process (a 32-bit process on 64-bit
# Windows 10, under Wine), on the road most real machines take:
# - start-up: IsWow64Process makes Win64bit true, so the 32-bit program folder gets its " (x86)",
#   and the log is written under C:\ProgramData\Kestrune\Logs;
# - "/safenet-noreboot": every launch runs with file-system redirection off, so the bcdedit double
#   of the 64-bit System32 answers, never a second one placed in SysWOW64; the SafeBoot .reg is
#   imported; the clean-up step deletes the one-time entry and the command processor's Autorun
#   that the test placed beforehand in the native (64-bit) registry view, where Windows reads
#   them; nothing lands under WOW6432Node;
# - "/remove" takes the boot setting back.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine32_lib.sh"
source "$SRC/tests/support/safeboot_wine.sh"

EXE=${KES_EXE:-$SRC/build/windows-x86/Kestrune.exe}
DOUBLE=${KES_BCDEDIT_DOUBLE:-$SRC/build/windows-x64/bcdedit_double.exe}
DOUBLE32=$SRC/build/windows-x86/bcdedit_double.exe
for file in "$EXE" "$DOUBLE" "$DOUBLE32"; do
  [[ -f $file ]] || kes_fail "$file is not built (cmake --build --preset windows-x86 / windows-x64)"
done

started=$SECONDS
kes_wine32_begin "$SRC" wow64
kes_wine_install "$EXE"
kes_wine_tool "$DOUBLE" bcdedit.exe
cp "$DOUBLE32" "$(kes_c_path 'C:\windows\syswow64')/bcdedit.exe"
record32=$(kes_c_path 'C:\bcdedit_record32.txt')
backup=$(kes_c_path 'C:\BCDbak')

# Everything under WOW6432Node as saved to disk (keys and values, without Wine's time stamps).
wow6432node() {
  awk '/^\[/ {inside = tolower($0) ~ /^\[software\\\\wow6432node/} inside' "$WINEPREFIX/system.reg" |
    sed -E 's/^(\[.*\]) [0-9]+$/\1/; /^#time=/d; /^$/d'
}
# saved_value KEY NAME: the line of value NAME of HKLM\KEY as saved to disk, empty when absent.
# Read from the file, not with reg.exe: a new Wine session would run (and so delete) a one-time
# entry that the program failed to delete.
saved_value() {
  local key=${1//\\/\\\\\\\\}
  awk -v key="[${key,,}]" -v name="\"${2,,}\"=" '/^\[/ {k = tolower($0); sub(/\] [0-9]+$/, "]", k)
    inside = k == key} inside && index(tolower($0), name) == 1' "$WINEPREFIX/system.reg"
}
wow_before=$(wow6432node)

# ---- /safenet-noreboot -----------------------------------------------------------------------
# The hooks an earlier configuration left, where Windows reads them (the 64-bit view), are placed
# in the same Wine session that runs the program: a new session would run the one-time entry.
entry='*Quorlen Kestrune Mod'
runonce=${KES_RUNONCE_KEY#HKLM\\}
cmdproc=${KES_CMDPROC_KEY#HKLM\\}
printf '%s\r\n' '@echo off' \
  "reg add \"$KES_RUNONCE_KEY\" /v \"$entry\" /t REG_SZ /d \"C:\\Tools\\Kestrune.exe /Remove\" /f /reg:64 >nul" \
  'if errorlevel 1 exit /b 90' \
  "reg add \"$KES_CMDPROC_KEY\" /v Autorun /t REG_SZ /d \"C:\\Tools\\Kestrune.exe /undo\" /f /reg:64 >nul" \
  'if errorlevel 1 exit /b 91' \
  'C:\Tools\Kestrune.exe /safenet-noreboot' 'exit /b %errorlevel%' >"$(kes_c_path 'C:\noreboot.cmd')"
kes_run_unasked "$KES_WINE32_SECS" cmd /c 'C:\noreboot.cmd'
for value in "$runonce|$entry" "$cmdproc|Autorun"; do
  [[ -z $(saved_value "${value%%|*}" "${value#*|}") ]] ||
    kes_fail "the clean-up left HKLM\\${value%%|*} ${value#*|} in the 64-bit view"
done

# Start-up: the day's log, the instance, and the 32-bit program folder with " (x86)" (where the
# program looks for subinacl.exe), which only Win64bit adds.
log=$(ls -1 "$(kes_c_path 'C:\ProgramData\Kestrune\Logs')"/Kestrune_*.log 2>/dev/null | tail -1)
[[ -n $log ]] || kes_fail "no log under C:\\ProgramData\\Kestrune\\Logs"
grep -qiF 'Instance Details:  [C:\Tools\Kestrune.exe] started with parameters [/safenet-noreboot]' "$log" ||
  kes_fail "the log has no Instance Details of this run"
grep -qF 'C:\Program Files (x86)\Windows Resource Kits\Tools\subinacl.exe' "$log" ||
  kes_fail "the 32-bit program folder lacks its \" (x86)\": Win64bit was not set through WOW64"

kes_expect_lines "bcdedit calls of /safenet-noreboot (System32)" "$KES_NOREBOOT_BCDEDIT" \
  "$(kes_bcdedit_commands)"
[[ ! -f $record32 ]] ||
  kes_fail "SysWOW64's bcdedit.exe was run (redirection was on): $(kes_bcdedit_commands "$record32" | tr '\n' ';')"
[[ -f $backup ]] || kes_fail "the backup C:\\BCDbak was not written"
kes_expect_lines "safeboot element after /safenet-noreboot" "safeboot=network" "$(kes_bcdedit_safeboot)"
kes_check_safeboot_import "$EXE"

# ---- /remove with no pending boot mode ---------------------------------------------------------
kes_run_unasked "$KES_WINE32_SECS" 'C:\Tools\Kestrune.exe' /remove
kes_expect_lines "bcdedit calls after /remove (System32)" "$KES_NOREBOOT_BCDEDIT
$KES_REMOVE_BCDEDIT" "$(kes_bcdedit_commands)"
[[ ! -f $record32 ]] || kes_fail "/remove ran SysWOW64's bcdedit.exe"
store_after_remove=$(kes_bcdedit_safeboot)
[[ -z $store_after_remove ]] || kes_fail "/remove left the element $store_after_remove"

diff <(echo "$wow_before") <(wow6432node) >&2 || kes_fail "the runs changed the registry under WOW6432Node"

echo "PASS: the 32-bit exe as a WOW64 process ($KES_WINE32_MODE): start-up facts, /safenet-noreboot" \
  "through the 64-bit System32 and registry view, /remove; $((SECONDS - started)) s"
