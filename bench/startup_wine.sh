#!/usr/bin/env bash
# How long Kestrune.exe takes under Wine from its launch to its main window being mapped, against a
# static hello-world window program (hello.exe) measured in the same Wine session, plus the sizes
# of both release builds of Kestrune.exe. A report, not a test of speed: it fails only when a
# program does not show its window at all.
#
#   bash bench/startup_wine.sh [SOURCE_FOLDER] [RUNS]     (RUNS defaults to 5, or $KES_RUNS)
#
# Goals: median of Kestrune.exe <= 1.5 x median of hello.exe; the i686 Kestrune.exe <= 1.5 MB.
set -euo pipefail
SRC=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
RUNS=${2:-${KES_RUNS:-5}}
source "$SRC/tests/support/wine_lib.sh"

x64=$SRC/build/windows-x64
x86=$SRC/build/windows-x86
kes_exe=${KES_EXE:-$x64/Kestrune.exe}
hello_exe=${KES_HELLO_EXE:-$x64/hello.exe}
[[ -f $kes_exe ]] || kes_fail "$kes_exe is not built (cmake --build --preset windows-x64)"
[[ -f $hello_exe ]] ||
  kes_fail "$hello_exe is not built (cmake --build build/windows-x64 --target hello_window)"

kes_wine_begin "$SRC" startup
kes_wine_install "$kes_exe"
kes_wine_install "$hello_exe"
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The X id of the first visible window whose title matches the ERE $1, empty when there is none.
find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }

# close_window WIN: closes the window with X id WIN like a user would, with Alt+F4, and waits until
# it is gone. On a busy machine a key now and then arrives before the window listens, so while the
# window is still shown the keys are pressed again every two seconds.
close_window() {
  local win=$1 deadline=$((SECONDS + 20)) next=0
  while kes_window_shown "$win"; do
    ((SECONDS < deadline)) || kes_fail "window $win did not close on Alt+F4"
    if ((SECONDS >= next)); then
      xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
      xdotool key alt+F4
      next=$((SECONDS + 2))
    fi
    sleep 0.05
  done
}

# launch PROGRAM PATTERN: starts PROGRAM, prints the milliseconds until a window matching PATTERN
# is mapped, then closes it like a user would (Alt+F4) and waits for the program to end. Polls
# every few milliseconds: "xdotool search --sync" only looks twice a second.
launch() {
  local program=$1 pattern=$2 start win="" pid elapsed
  [[ -z $(find_window "$pattern") ]] || kes_fail "a window matching $pattern is already shown"
  start=$(now_ms)
  local err=$KES_RUN_DIR/launch.err
  kes_timeout 60 "$KES_WINE" "$program" >/dev/null 2>"$err" </dev/null &
  pid=$!
  while [[ -z $win ]]; do
    win=$(find_window "$pattern")
    [[ -n $win ]] && break
    if ! kill -0 "$pid" 2>/dev/null; then
      local rc=0
      wait "$pid" || rc=$?
      [[ -s $err ]] && { echo "--- stderr"; cat "$err"; } >&2
      launch_failed "$program" "ended (exit code $rc) without showing a window matching $pattern"
    fi
    (($(now_ms) - start < 30000)) || launch_failed "$program" "showed no window within 30 s"
    sleep 0.005
  done
  elapsed=$(($(now_ms) - start))
  close_window "$win"
  local deadline=$((SECONDS + 10))
  while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    kes_log "$program did not end after its window closed; ending it"
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  # Let the session settle, so no launch pays for the teardown of the one before.
  sleep 0.5
  echo "$elapsed"
}

# launch_failed PROGRAM WHAT: Kestrune.exe showing no window is its own failure and fails the
# report; hello.exe, the yardstick, showing none leaves nothing to compare with: skipped.
launch_failed() {
  if [[ $1 == "$hello_prog" ]]; then
    echo "SKIP: no measurement: $1 $2$(kes_wine_state)" >&2
    exit 77
  fi
  kes_fail "$1 $2"
}

median() {
  sort -n | awk '{a[NR] = $1}
    END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}

kes_pattern='^Kestrune.*  v[0-9]'
hello_pattern='^hello window$'
kes_prog='C:\Tools\Kestrune.exe'
hello_prog='C:\Tools\hello.exe'

# One warm session for every launch, so no run pays for starting Wine itself, with Wine's desktop
# held open (kes_wine_session_start), so no launch pays for opening it or races its closing; then
# hello.exe once from the session's prompt, out of the launches' process groups, to see the
# desktop take windows. Setting up the measurement is the harness's own business: a session
# whose desktop does not come up, or in which hello.exe shows no window, is ended and set up
# afresh, up to three times; after that the report says the measurement could not be taken
# (skipped) rather than blame Kestrune.exe.
warm_up() {
  kes_wine_session_start || return 1
  echo "start \"\" $hello_prog" >&"$KES_PROMPT_FD"
  local win="" deadline=$((SECONDS + 30))
  until win=$(find_window "$hello_pattern") && [[ -n $win ]]; do
    if ((SECONDS >= deadline)); then
      KES_SETUP_WHY="$hello_prog showed no window within 30 s$(kes_wine_state)"
      return 1
    fi
    sleep 0.05
  done
  close_window "$win"
}
for ((try = 1; try <= 3; try++)); do
  warm_up && break
  kes_log "set-up try $try of 3: $KES_SETUP_WHY"
done
if ((try > 3)); then
  echo "SKIP: no measurement: the session could not be set up in 3 tries"
  exit 77
fi
# Then one launch of each, unmeasured: the first start also reads the files from disk.
launch "$kes_prog" "$kes_pattern" >/dev/null
launch "$hello_prog" "$hello_pattern" >/dev/null
kes_times=() hello_times=()
for ((i = 0; i < RUNS; i++)); do
  kes_times+=("$(launch "$kes_prog" "$kes_pattern")")
  hello_times+=("$(launch "$hello_prog" "$hello_pattern")")
done
kes_median=$(printf '%s\n' "${kes_times[@]}" | median)
hello_median=$(printf '%s\n' "${hello_times[@]}" | median)
ratio=$(awk -v k="$kes_median" -v h="$hello_median" 'BEGIN {printf "%.2f", (h > 0) ? k / h : 0}')
verdict=$(awk -v r="$ratio" 'BEGIN {print (r <= 1.5) ? "met" : "NOT met"}')

# The size in bytes and when the file was built, so a stale build is seen as one.
size_of() {
  if [[ -f $1 ]]; then
    stat -c '%s bytes (built %y)' "$1" | sed -E 's/\.[0-9]+ / /'
  else
    echo "not built"
  fi
}
size_verdict="not built"
if [[ -f $x86/Kestrune.exe ]]; then
  size_verdict=$(awk -v s="$(stat -c %s "$x86/Kestrune.exe")" \
    'BEGIN {print (s <= 1.5 * 1048576) ? "met" : "NOT met"}')
fi

cat <<REPORT
Start-up under Wine $("$KES_WINE" --version), launch to first window mapped, $RUNS runs each:
  Kestrune.exe (no arguments)  median ${kes_median} ms   runs: ${kes_times[*]}
  hello.exe                    median ${hello_median} ms   runs: ${hello_times[*]}
  ratio ${ratio}x (goal <= 1.5x: $verdict)
Release sizes:
  windows-x64 Kestrune.exe  $(size_of "$x64/Kestrune.exe")
  windows-x86 Kestrune.exe  $(size_of "$x86/Kestrune.exe")
    goal <= 1.5 MB (1572864 bytes): $size_verdict
  windows-x64 hello.exe     $(size_of "$hello_exe")
REPORT
