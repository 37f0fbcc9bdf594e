#!/usr/bin/env bash
# How long "Kestrune.exe /safenet-noreboot" takes under Wine against cmd.exe running the same six
# programs on the same files back to back, in the same Wine session: the SafeBoot .reg import,
# the two deletions of earlier Safe Mode elements, the boot setting and the F8 menu on both
# entries (C:\BCDbak is present, so there is no backup), with the recording bcdedit.exe double in
# System32 (Wine has no bcdedit.exe). Whatever the program adds to the six programs' own time is
# its start-up, its steps and its way of launching. A report, not a test of speed: it fails only
# when a run fails.
#
#   bash bench/noreboot_wine.sh [SOURCE_FOLDER] [RUNS]     (RUNS defaults to 11, or $KES_RUNS)
#   KES_BITS=32 bash bench/noreboot_wine.sh                the 32-bit exe as a WOW64 process
#
# Method: one warm Wine session (a command prompt waiting for input keeps it up); one unmeasured
# run of each, then RUNS rounds that run both in turn; each time is from the launch until the
# program and everything it started have ended. The report gives the medians and their ratio.
# Goal: median of Kestrune.exe <= 1.3 x median of cmd.exe.
set -euo pipefail
SRC=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
RUNS=${2:-${KES_RUNS:-11}}
BITS=${KES_BITS:-64}

x64=$SRC/build/windows-x64
case $BITS in
  64) source "$SRC/tests/support/wine_lib.sh" ;;
  32) source "$SRC/tests/support/wine32_lib.sh" ;;
  *)
    echo "KES_BITS must be 64 or 32" >&2
    exit 2
    ;;
esac
source "$SRC/bench/wine_session.sh"
build=$SRC/build/windows-x${BITS/32/86}
kes_exe=${KES_EXE:-$build/Kestrune.exe}
double=$x64/bcdedit_double.exe
reg_file=$x64/safeboot/sb_10.reg
for file in "$kes_exe" "$double" "$reg_file"; do
  [[ -f $file ]] || kes_fail "$file is not built (cmake --build --preset windows-x$BITS)"
done

if [[ $BITS == 32 ]]; then
  kes_wine32_begin "$SRC" noreboot32
else
  kes_wine_begin "$SRC" noreboot
fi
kes_wine_install "$kes_exe"
kes_wine_install "$reg_file" 'C:\Bench'
kes_wine_tool "$double" bcdedit.exe
# The one-time backup exists, as on every configuration after the first.
echo backup >"$(kes_c_path 'C:\BCDbak')"
# The six programs as the program runs them (full paths, as the system folder holds them).
printf '%s\r\n' '@echo off' \
  'C:\windows\system32\reg.exe import C:\Bench\sb_10.reg' \
  'C:\windows\system32\bcdedit.exe /deletevalue safeboot' \
  'C:\windows\system32\bcdedit.exe /deletevalue safebootalternateshell' \
  'C:\windows\system32\bcdedit.exe /set safeboot network' \
  'C:\windows\system32\bcdedit.exe /set {default} bootmenupolicy legacy' \
  'C:\windows\system32\bcdedit.exe /set {current} bootmenupolicy legacy' \
  >"$(kes_c_path 'C:\Bench\six.cmd')"

kes_bench_start_session

record=$(kes_c_path 'C:\bcdedit_record.txt')
# run PROGRAM [ARGS...]: prints the milliseconds the program took, with everything it started;
# fails unless it ended with code 0 after five bcdedit.exe calls (the sixth program is reg.exe).
calls() { if [[ -f $record ]]; then wc -l <"$record"; else echo 0; fi; }
run() {
  local start elapsed rc=0 before after
  before=$(calls)
  start=$(kes_now_ms)
  kes_timeout "${KES_WINE32_SECS:-120}" "$KES_WINE" "$@" >/dev/null 2>&1 </dev/null || rc=$?
  elapsed=$(($(kes_now_ms) - start))
  after=$(calls)
  [[ $rc == 0 ]] || kes_fail "$* ended with exit code $rc"
  [[ $((after - before)) == 5 ]] || kes_fail "$* ran bcdedit.exe $((after - before)) times, not 5"
  # Let the session settle, so no run pays for the teardown of the one before.
  sleep 0.5
  echo "$elapsed"
}

run 'C:\Tools\Kestrune.exe' /safenet-noreboot >/dev/null
run cmd /c 'C:\Bench\six.cmd' >/dev/null
kes_times=() cmd_times=()
for ((i = 0; i < RUNS; i++)); do
  kes_times+=("$(run 'C:\Tools\Kestrune.exe' /safenet-noreboot)")
  cmd_times+=("$(run cmd /c 'C:\Bench\six.cmd')")
done
kes_median=$(printf '%s\n' "${kes_times[@]}" | kes_bench_median)
cmd_median=$(printf '%s\n' "${cmd_times[@]}" | kes_bench_median)
ratio=$(kes_bench_ratio "$kes_median" "$cmd_median")

cat <<REPORT
"/safenet-noreboot" under Wine $("$KES_WINE" --version), $BITS-bit exe, launch to the end of
everything started, median of $RUNS runs each, both in turn in one warm session (load $(cut -d' ' -f1-3 /proc/loadavg)):
  Kestrune.exe /safenet-noreboot   median ${kes_median} ms   runs: ${kes_times[*]}
  cmd.exe, the same six programs   median ${cmd_median} ms   runs: ${cmd_times[*]}
  ratio ${ratio}x (goal <= 1.3x: $(awk -v r="$ratio" 'BEGIN {print (r <= 1.3) ? "met" : "NOT met"}'))
REPORT
