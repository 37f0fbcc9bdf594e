#!/usr/bin/env bash
# The safe-boot road of the real Kestrune.exe under Wine (Windows 10 prefix), with a recording
# bcdedit.exe double in System32: "/safenet-noreboot" must run exactly the boot-tool commands of
# a Safe Mode with networking set-up (undo of earlier changes, backup, boot setting, F8 menu)
# without asking anything, and "/remove" with no pending boot mode must take it all back, again
# without asking.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"
source "$SRC/tests/support/safeboot_wine.sh"

EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
DOUBLE=${KES_BCDEDIT_DOUBLE:-$SRC/build/windows-x64/bcdedit_double.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"
[[ -f $DOUBLE ]] ||
  kes_fail "$DOUBLE is not built (cmake --build build/windows-x64 --target bcdedit_double)"

kes_wine_begin "$SRC" safenet-noreboot
kes_wine_install "$EXE"
kes_wine_tool "$DOUBLE" bcdedit.exe
backup=$(kes_c_path 'C:\BCDbak')
rm -f "$(kes_c_path 'C:\bcdedit_record.txt')" "$(kes_c_path 'C:\bcdedit_store.txt')" "$backup"

# The Windows the prefix reports decides between bcdedit and boot.ini: make sure it is 10.
kes_timeout 60 "$KES_WINE" winecfg -v win10 >/dev/null 2>&1 || kes_fail "winecfg -v win10 failed"
kes_wine_wait 60 || true

# ---- /safenet-noreboot -----------------------------------------------------------------------
kes_run_unasked 120 'C:\Tools\Kestrune.exe' /safenet-noreboot

kes_expect_lines "bcdedit calls of /safenet-noreboot" "$KES_NOREBOOT_BCDEDIT" "$(kes_bcdedit_commands)"
[[ -f $backup ]] || kes_fail "the backup C:\\BCDbak was not written"
kes_expect_lines "safeboot element after /safenet-noreboot" "safeboot=network" "$(kes_bcdedit_safeboot)"
kes_check_safeboot_import "$EXE"

# ---- /remove with no pending boot mode ---------------------------------------------------------
[[ -z $(kes_reg_value 'HKLM\Software\Quorlen\Kestrune' BootMode) ]] ||
  kes_fail "/safenet-noreboot left a BootMode value, so /remove would ask a question"
kes_run_unasked 120 'C:\Tools\Kestrune.exe' /remove

kes_expect_lines "bcdedit calls after /remove" "$KES_NOREBOOT_BCDEDIT
$KES_REMOVE_BCDEDIT" "$(kes_bcdedit_commands)"
store_after_remove=$(kes_bcdedit_safeboot)
[[ -z $store_after_remove ]] || kes_fail "/remove left the element $store_after_remove"
[[ -z $(kes_reg_value "$KES_RUNONCE_KEY" '*Quorlen Kestrune Mod') ]] ||
  kes_fail "/remove left the RunOnce entry *Quorlen Kestrune Mod"
[[ -z $(kes_reg_value "$KES_CMDPROC_KEY" Autorun) ]] ||
  kes_fail "/remove left the command processor's Autorun value"

echo "PASS: /safenet-noreboot ran the expected bcdedit calls and /remove took them back"
