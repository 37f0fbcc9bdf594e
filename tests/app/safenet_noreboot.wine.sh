#!/usr/bin/env bash
# The safe-boot road of the real Kestrune.exe under Wine (Windows 10 prefix), with a recording
# bcdedit.exe double in System32: "/safenet-noreboot" must run exactly the boot-tool commands of
# a Safe Mode with networking set-up (undo of earlier changes, backup, boot setting, F8 menu)
# without asking anything, and "/remove" with no pending boot mode must take it all back, again
# without asking.
# labels: app safe-elevated failure-paths
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"
source "$SRC/tests/support/safeboot_wine.sh"

EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
DOUBLE=${KES_BCDEDIT_DOUBLE:-$SRC/build/windows-x64/bcdedit_double.exe}
SD_DUMP=${KES_SD_DUMP:-$SRC/build/windows-x64/sd_dump.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"
[[ -f $DOUBLE ]] ||
  kes_fail "$DOUBLE is not built (cmake --build build/windows-x64 --target bcdedit_double)"

kes_wine_begin "$SRC" safenet-noreboot
kes_wine_install "$EXE"
kes_wine_install "$SD_DUMP"
kes_wine_tool "$DOUBLE" bcdedit.exe
# A bcdedit.exe planted in the program's folder, which CreateProcess would find before System32:
# the program starts its tools by their full path, so this one never runs.
cp "$DOUBLE" "$(kes_c_path 'C:\Tools')/bcdedit.exe"
planted=$(kes_c_path 'C:\bcdedit_planted.txt')
rm -f "$planted"
backup=$(kes_c_path 'C:\BCDbak')
rm -f "$(kes_c_path 'C:\bcdedit_record.txt')" "$(kes_c_path 'C:\bcdedit_store.txt')" "$backup"

# The Windows the prefix reports decides between bcdedit and boot.ini: make sure it is 10.
kes_timeout 60 "$KES_WINE" winecfg -v win10 >/dev/null 2>&1 || kes_fail "winecfg -v win10 failed"
kes_wine_wait 60 || true

# ---- /safenet-noreboot -----------------------------------------------------------------------
kes_run_unasked 120 'C:\Tools\Kestrune.exe' /safenet-noreboot

[[ ! -f $planted ]] || kes_fail "the bcdedit.exe planted beside the program ran: $(cat "$planted")"
kes_expect_lines "bcdedit calls of /safenet-noreboot" "$KES_NOREBOOT_BCDEDIT" "$(kes_bcdedit_commands)"
[[ -f $backup ]] || kes_fail "the backup C:\\BCDbak was not written"
kes_expect_lines "safeboot element after /safenet-noreboot" "safeboot=network" "$(kes_bcdedit_safeboot)"
kes_check_safeboot_import "$EXE"

# The working folder: made by the elevated program with its own protection (owner Administrators,
# a protected DACL). Wine 8 does not keep a descriptor given at creation: it reads the folder back
# as owned by the Unix user's SID with that user and SYSTEM in full control. What matters here is
# what the program does with what it reads back: the .reg file it imported from there is gone
# again, the log is in Logs, and its next run (below) says what it made of the folder.
kes_wine_run 60 'C:\Tools\sd_dump.exe' 'C:\ProgramData\Kestrune'
sddl=$(tr -d '\r' <"$KES_OUT")
kes_log "C:\ProgramData\Kestrune as Wine reads it back: $sddl (sd_dump exit code $KES_RC)"
[[ $KES_RC == 0 ]] || kes_fail "the working folder's security could not be read back ($KES_RC)"
work=$(kes_c_path 'C:\ProgramData\Kestrune')
leftovers=$(find "$work" -maxdepth 1 -iname '*.reg')
[[ -z $leftovers ]] || kes_fail "the extracted .reg file was left behind: $leftovers"
compgen -G "$work/Logs/Kestrune_*.log" >/dev/null || kes_fail "no log file in $work/Logs"

# A text that is no switch ends with its own exit code and does nothing else.
kes_wine_run 60 'C:\Tools\Kestrune.exe' /safenet-now
[[ $KES_RC == 87 ]] || kes_fail "an argument text that is no switch ended with $KES_RC, not 87"

# ---- /remove with no pending boot mode ---------------------------------------------------------
[[ -z $(kes_reg_value 'HKLM\Software\Quorlen\Kestrune' BootMode) ]] ||
  kes_fail "/safenet-noreboot left a BootMode value, so /remove would ask a question"
kes_run_unasked 120 'C:\Tools\Kestrune.exe' /remove

# Every run logged into the folder; where Wine kept no protection, the log says so each time
# instead of trusting the folder.
runs=$(cat "$work"/Logs/Kestrune_*.log | grep -ac 'New Instance' || true)
((runs >= 3)) || kes_fail "only $runs of the 3 runs logged into $work\\Logs"
if [[ $sddl != O:BAD:P* ]]; then
  told=$(cat "$work"/Logs/Kestrune_*.log | tr -d '\r' | grep -acE \
    'did not keep the protection the folder was made with|keeps no protection it is given' || true)
  ((told >= 3)) || kes_fail "the log does not say, run by run, that the folder is unprotected ($told)"
fi

kes_expect_lines "bcdedit calls after /remove" "$KES_NOREBOOT_BCDEDIT
$KES_REMOVE_BCDEDIT" "$(kes_bcdedit_commands)"
store_after_remove=$(kes_bcdedit_safeboot)
[[ -z $store_after_remove ]] || kes_fail "/remove left the element $store_after_remove"
[[ -z $(kes_reg_value "$KES_RUNONCE_KEY" '*Quorlen Kestrune Mod') ]] ||
  kes_fail "/remove left the RunOnce entry *Quorlen Kestrune Mod"
[[ -z $(kes_reg_value "$KES_CMDPROC_KEY" Autorun) ]] ||
  kes_fail "/remove left the command processor's Autorun value"

echo "PASS: /safenet-noreboot ran the expected bcdedit calls (exit code 0), logged into its working folder (read back as $sddl), an unknown text ended with 87, and /remove took it all back"
