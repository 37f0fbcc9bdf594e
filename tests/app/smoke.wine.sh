#!/usr/bin/env bash
# The real Kestrune.exe starts under Wine, traces its start-up into the day's log file under
# ProgramData and ends by itself when its argument text matches no switch.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=$SRC/build/windows-x64/Kestrune.exe
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" smoke
kes_wine_install "$EXE"

day_before=$(date +%F)
kes_wine_run 120 'C:\Tools\Kestrune.exe' /nothing
day_after=$(date +%F)

# A text that is no switch ends with 87 (ERROR_INVALID_PARAMETER), after the start-up.
if [[ $KES_RC != 87 ]]; then
  kes_wine_show_output
  kes_fail "Kestrune.exe /nothing $(kes_wine_ending)"
fi

logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
log=
for day in "$day_before" "$day_after"; do
  [[ -f $logs/Kestrune_$day.log ]] && log=$logs/Kestrune_$day.log
done
if [[ -z $log ]]; then
  ls -la "$logs" 2>&1 || true
  kes_fail "no log file Kestrune_$day_after.log under C:\\ProgramData\\Kestrune\\Logs"
fi

# A new log file starts with the UTF-8 byte-order mark and holds valid UTF-8 only.
bom=$(od -An -tx1 -N3 "$log" | tr -d ' \n')
[[ $bom == efbbbf ]] || kes_fail "log does not start with a UTF-8 BOM (starts with $bom)"
iconv -f UTF-8 -t UTF-8 "$log" >/dev/null || kes_fail "log is not valid UTF-8"

show_log() {
  echo "--- $log"
  cat "$log"
}
grep -qF -- '--== New Instance [' "$log" || { show_log; kes_fail "no \"--== New Instance [\" banner"; }
details=$(grep -F 'Instance Details:' "$log" || true)
[[ -n $details ]] || { show_log; kes_fail "no \"Instance Details:\" entry"; }
# The program's path may come back in another case; the argument text must come back unchanged.
[[ ${details,,} == *'[c:\tools\kestrune.exe] started with parameters [/nothing]'* ]] ||
  { show_log; kes_fail "Instance Details does not give [C:\Tools\Kestrune.exe] and [/nothing]: $details"; }

echo "PASS: Kestrune.exe /nothing started, logged its start-up to ${log##*/} and exited (code 87, no switch)"
