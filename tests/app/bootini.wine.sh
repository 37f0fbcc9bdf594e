#!/usr/bin/env bash
# labels: app bootini
# The boot.ini road of the real Kestrune.exe under Wine, in a prefix that reports Windows XP
# (64-bit Wine offers "winxp64": 5.2.3790) with a real C:\boot.ini, read-only, hidden and system.
# "/safenet-noreboot" edits it without asking or telling anything: the timeout 3, the default
# boot path's entry with the Safe Mode switches, the old entry as the last line, and a backup
# C:\boot.Quorlen that is the file as it was. "/remove" then restores boot.ini byte for byte
# with attributes read-only, hidden and system, and deletes the backup. The bcdedit double in
# System32 must never run. Wine's profile calls rewrite the whole file (blank lines dropped,
# blanks around "=" trimmed, every line ended with CR LF), so the edit is checked by the values
# read back, not by its bytes; the restore by its bytes.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" bootini winxp64

ini=$(kes_c_path 'C:\boot.ini')
backup=$(kes_c_path 'C:\boot.Quorlen')
original=$KES_RUN_DIR/boot.ini.original
path='multi(0)disk(0)rdisk(0)partition(1)\WINDOWS'
old_entry='"Microsoft Windows XP Professional x64 Edition" /noexecute=optin /fastdetect'
printf '[boot loader]\r\ntimeout=30\r\ndefault=%s\r\n\r\n[operating systems]\r\n%s=%s\r\n' \
  "$path" "$path" "$old_entry" >"$ini"
cp "$ini" "$original"

# The letters "attrib" shows for boot.ini among R, H and S, sorted ("HRS" for read-only, hidden,
# system). Wine shows A (archive) for every file whatever its attributes, so A says nothing.
attributes() {
  kes_timeout 60 "$KES_WINE" cmd /c attrib 'C:\boot.ini' 2>/dev/null | tr -d '\r' |
    sed 's/C:.*//' | tr -cd 'RHS' | fold -w1 | sort | tr -d '\n'
}
# Wine's attrib applies only the first of several flags: one call each.
for flag in +r +h +s; do
  kes_timeout 60 "$KES_WINE" cmd /c attrib "$flag" 'C:\boot.ini' >/dev/null 2>&1 ||
    kes_fail "attrib $flag failed"
done
[[ $(attributes) == HRS ]] || kes_fail "boot.ini has the attributes \"$(attributes)\", not HRS"

# The value of KEY in [SECTION] of boot.ini as read back (names without letter case).
ini_value() {
  tr -d '\r' <"$ini" | awk -v s="[$1]" -v k="$2" '
    /^\[/ { inside = tolower($0) == tolower(s); next }
    inside && (i = index($0, "=")) && tolower(substr($0, 1, i - 1)) == tolower(k) {
      print substr($0, i + 1); exit }'
}

kes_wine_start 120 'C:\Tools\Kestrune.exe' /safenet-noreboot
e2e_finish # any notice fails the test

[[ $(ini_value 'boot loader' timeout) == 3 ]] ||
  kes_fail "the timeout is \"$(ini_value 'boot loader' timeout)\", not 3"
e2e_expect_lines "the default path's entry" \
  '"Quorlen Kestrune Mod" /fastdetect /safeboot:network /sos /bootlog /noguiboot' \
  "$(ini_value 'operating systems' "$path")"
e2e_expect_lines "the last line of boot.ini" "$path=$old_entry" "$(tr -d '\r' <"$ini" | tail -n 1)"
if [[ ! -f $backup ]] || ! cmp -s "$backup" "$original"; then
  kes_fail "C:\\boot.Quorlen is not boot.ini as it was"
fi

kes_wine_start 120 'C:\Tools\Kestrune.exe' /remove
e2e_finish

cmp "$ini" "$original" || kes_fail "/remove did not restore boot.ini byte for byte"
[[ $(attributes) == HRS ]] || kes_fail "the restored boot.ini has the attributes \"$(attributes)\""
[[ ! -e $backup ]] || kes_fail "/remove left the backup C:\\boot.Quorlen"
e2e_expect_lines "bcdedit calls" "" "$(e2e_commands)"
[[ -z $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") ]] || kes_fail "a one-time entry was left"

# What the program made of the prefix, for the record.
log_text=$(find "$WINEPREFIX/drive_c" -name 'Kestrune_*.log' -exec cat {} + 2>/dev/null |
  tr -d '\r')
[[ -n $log_text ]] || kes_fail "the program wrote no log"
detected=$(grep -m1 -o 'Windows: .*' <<<"$log_text" || true)
imported=$(grep -c '已导入用于修复安全模式的注册表文件' <<<"$log_text" || true)
echo "detected: ${detected:-nothing logged}; SafeBoot registry file imported $imported time(s)"
echo "PASS: /safenet-noreboot edited boot.ini silently and /remove restored it byte for byte"
