#!/usr/bin/env bash
# How long Kestrune.exe takes under Wine from its launch to its main window being mapped, against
# two static hello-world window programs measured in the same Wine session: hello.exe, and
# hello_styled.exe, the same program carrying Kestrune.exe's manifest (visual styles, DPI
# awareness, administrator), which shows the floor the manifest alone sets. Plus the sizes of both
# release builds of Kestrune.exe. A report, not a test of speed: it fails only when a program
# does not show its window at all.
#
#   bash bench/startup_wine.sh [SOURCE_FOLDER] [RUNS]     (RUNS defaults to 11, or $KES_RUNS)
#   KES_BITS=32 bash bench/startup_wine.sh                the 32-bit exes as WOW64 processes
#
# Method: one warm Wine session (bench/wine_session.sh); one unmeasured launch of each program,
# then RUNS rounds that launch the three programs in turn; each time is from the launch to the
# window's MapNotify on Wine's desktop; the report gives the median of each and their ratios.
# Goals (64-bit): median of Kestrune.exe <= 1.5 x median of hello.exe; the i686 Kestrune.exe
# <= 1.5 MB. The 32-bit figures (under emulation where the kernel cannot run 32-bit programs)
# are for information. A measurement that cannot be taken (Wine's desktop not coming up, a
# hello-world showing no window) is skipped, not failed: only Kestrune.exe can fail the report.
set -euo pipefail
SRC=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
RUNS=${2:-${KES_RUNS:-11}}
BITS=${KES_BITS:-64}

x64=$SRC/build/windows-x64
x86=$SRC/build/windows-x86
case $BITS in
  64)
    source "$SRC/tests/support/wine_lib.sh"
    build=$x64
    ;;
  32)
    source "$SRC/tests/support/wine32_lib.sh"
    build=$x86
    ;;
  *)
    echo "KES_BITS must be 64 or 32" >&2
    exit 2
    ;;
esac
source "$SRC/bench/wine_session.sh"
kes_exe=${KES_EXE:-$build/Kestrune.exe}
programs=("$kes_exe" "$build/hello.exe" "$build/hello_styled.exe")
for file in "${programs[@]}"; do
  [[ -f $file ]] || kes_fail "$file is not built (cmake --build build/windows-x${BITS/32/86} --target all)"
done

if [[ $BITS == 32 ]]; then
  kes_wine32_begin "$SRC" startup32
  KES_BENCH_START_SECS=$KES_WINE32_SECS
else
  kes_wine_begin "$SRC" startup
fi
for file in "${programs[@]}"; do kes_wine_install "$file"; done

kes_pattern='^Kestrune.*  v[0-9]'
hello_pattern='^hello window$'
kes_prog='C:\Tools\Kestrune.exe'
hello_prog='C:\Tools\hello.exe'
styled_prog='C:\Tools\hello_styled.exe'
KES_BENCH_UNDER_TEST=$kes_prog

kes_bench_session "$hello_prog" "$hello_pattern"
# One launch of each, unmeasured: the first start also reads the files from disk.
kes_bench_launch "$kes_prog" "$kes_pattern" >/dev/null
kes_bench_launch "$hello_prog" "$hello_pattern" >/dev/null
kes_bench_launch "$styled_prog" "$hello_pattern" >/dev/null
kes_times=() hello_times=() styled_times=()
for ((i = 0; i < RUNS; i++)); do
  kes_times+=("$(kes_bench_launch "$kes_prog" "$kes_pattern")")
  hello_times+=("$(kes_bench_launch "$hello_prog" "$hello_pattern")")
  styled_times+=("$(kes_bench_launch "$styled_prog" "$hello_pattern")")
done
kes_median=$(printf '%s\n' "${kes_times[@]}" | kes_bench_median)
hello_median=$(printf '%s\n' "${hello_times[@]}" | kes_bench_median)
styled_median=$(printf '%s\n' "${styled_times[@]}" | kes_bench_median)
ratio=$(kes_bench_ratio "$kes_median" "$hello_median")
styled_ratio=$(kes_bench_ratio "$kes_median" "$styled_median")
floor=$(kes_bench_ratio "$styled_median" "$hello_median")
if [[ $BITS == 64 ]]; then
  verdict="goal <= 1.5x: $(awk -v r="$ratio" 'BEGIN {print (r <= 1.5) ? "met" : "NOT met"}')"
else
  verdict="information; Wine's 32-bit side runs $KES_WINE32_MODE"
fi
size_verdict="not built"
if [[ -f $x86/Kestrune.exe ]]; then
  size_verdict=$(awk -v s="$(stat -c %s "$x86/Kestrune.exe")" \
    'BEGIN {print (s <= 1.5 * 1048576) ? "met" : "NOT met"}')
fi

cat <<REPORT
Start-up under Wine $("$KES_WINE" --version), $BITS-bit exes, launch to first window mapped,
median of $RUNS runs each, the three programs in turn in one warm session (load $(cut -d' ' -f1-3 /proc/loadavg)):
  Kestrune.exe (no arguments)  median ${kes_median} ms   runs: ${kes_times[*]}
  hello.exe                    median ${hello_median} ms   runs: ${hello_times[*]}
  hello_styled.exe (manifest)  median ${styled_median} ms   runs: ${styled_times[*]}
  Kestrune / hello          ${ratio}x ($verdict)
  Kestrune / hello_styled   ${styled_ratio}x
  hello_styled / hello      ${floor}x (the floor Kestrune.exe's manifest sets)
Release sizes:
  windows-x64 Kestrune.exe  $(kes_bench_size_of "$x64/Kestrune.exe")
  windows-x86 Kestrune.exe  $(kes_bench_size_of "$x86/Kestrune.exe")
    goal <= 1.5 MB (1572864 bytes): $size_verdict
  ${build##*/} hello.exe     $(kes_bench_size_of "$build/hello.exe")
REPORT
