# The warm Wine session the benchmarks time their launches in.
# shellcheck shell=bash
# Sourced by bench/*_wine.sh after wine_lib.sh (or wine32_lib.sh) and kes_wine_begin:
#
#   kes_bench_session 'C:\Tools\hello.exe' '^hello window$'   # session, desktop, window watcher
#   kes_bench_start_session                                  # the session alone
#   kes_bench_anchor 'start "" C:\Tools\hello.exe'           # a command line for the prompt
#   kes_bench_launch 'C:\Tools\x.exe' '^x window$'           # ms from launch to window mapped
#   printf '%s\n' "${times[@]}" | kes_bench_median
#
# One wineserver and one desktop serve every launch, so no run pays for starting Wine itself:
# wineserver closes a desktop one second after its last user process ends, so a command prompt
# that waits for input stays a user of it until the end. Windows are seen as they are mapped, by
# one xev on Wine's desktop window, without polling that would take processor time from the
# program being timed.

kes_now_ms() { echo $(($(date +%s%N) / 1000000)); }

kes_bench_median() {
  sort -n | awk '{a[NR] = $1}
    END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}

# The X id of the first visible window whose title matches the ERE $1, empty when there is none.
kes_bench_find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }

kes_bench_anchor() { echo "$1" >&"$KES_ANCHOR_FD"; }

# kes_bench_close WIN: closes the window with X id WIN like a user would, with Alt+F4, and waits
# until it is gone. On a busy machine a key now and then arrives before the window listens, so
# while the window is still shown the keys are pressed again every two seconds.
kes_bench_close() {
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

# Starts the persistent session: Wine's desktop held open by a command prompt that waits for
# input (kes_wine_setup_session), set up afresh when it does not come up; after three failed
# tries the benchmark is skipped, since nothing was measured yet.
kes_bench_start_session() {
  KES_SESSION_SECS=${KES_BENCH_START_SECS:-60} kes_wine_setup_session
  KES_ANCHOR_FD=$KES_PROMPT_FD
}

# kes_bench_session WARMUP_PROGRAM PATTERN: starts the session, shows WARMUP_PROGRAM's window (a
# window program whose window matches PATTERN) once, and starts the window watcher. A session in
# which the warm-up shows no window is set up afresh, up to three times; then the measurement
# could not be taken and the benchmark is skipped. The program is started from the command
# prompt, so the desktop's owner stays out of the process groups of the launches: ending a launch
# that hangs ends the whole group its timeout watches, and must not take the desktop with it.
kes_bench_session() {
  local program=$1 pattern=$2 secs=${KES_BENCH_START_SECS:-60}
  local try tries win=
  for ((try = 1; try <= 3; try++)); do
    kes_bench_start_session
    kes_bench_anchor "start \"\" $program"
    for ((tries = 0; tries < secs * 4; tries++)); do
      win=$(kes_bench_find_window "$pattern")
      [[ -n $win ]] && break
      sleep 0.25
    done
    [[ -n $win ]] && break
    kes_log "warm-up $try of 3: no window of $program within $secs s$(kes_wine_state)"
  done
  if [[ -z $win ]]; then
    echo "SKIP: no measurement: the warm-up $program showed no window in 3 fresh sessions"
    exit 77
  fi
  local desktop
  desktop=$(xdotool search --name 'Wine desktop$' 2>/dev/null | head -1)
  [[ -n $desktop ]] || kes_fail "no Wine desktop window to watch"
  coproc KES_XEV { exec stdbuf -oL xev -id "$desktop" -event substructure 2>/dev/null; }
  kes_bench_close "$win"
}

# Reads the watcher's reports until a window whose title matches the ERE $1 is mapped, or for at
# most $2 seconds; prints the window's X id, nothing on time-out.
kes_bench_next_map() {
  local pattern=$1 secs=$2 line win deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)) && read -r -t "$secs" line <&"${KES_XEV[0]}"; do
    [[ $line == MapNotify* ]] || continue
    read -r -t 1 line <&"${KES_XEV[0]}" || continue
    win=$(sed -n 's/.*, window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
    [[ -n $win ]] || continue
    if xdotool getwindowname "$win" 2>/dev/null | grep -qE -- "$pattern"; then
      printf '%d\n' "$win"
      return 0
    fi
  done
}

# kes_bench_launch PROGRAM PATTERN [ARGS...]: starts PROGRAM, prints the milliseconds until a
# window matching PATTERN is mapped, then closes it like a user would (Alt+F4) and waits for the
# program to end.
kes_bench_launch() {
  local program=$1 pattern=$2 secs=${KES_BENCH_START_SECS:-60}
  shift 2
  [[ -z $(kes_bench_find_window "$pattern") ]] || kes_fail "a window matching $pattern is already shown"
  # Whatever the last launch left in the watcher's pipe is old news.
  local line
  while read -r -t 0.05 line <&"${KES_XEV[0]}"; do :; done
  local err=$KES_RUN_DIR/launch.err start pid win elapsed
  start=$(kes_now_ms)
  kes_timeout $((secs * 2)) "$KES_WINE" "$program" "$@" >/dev/null 2>"$err" </dev/null &
  pid=$!
  win=$(kes_bench_next_map "$pattern" "$secs")
  elapsed=$(($(kes_now_ms) - start))
  if [[ -z $win ]]; then
    [[ -s $err ]] && { echo "--- stderr"; cat "$err"; } >&2
    # A yardstick that shows no window leaves nothing to compare with; only the program under
    # test (KES_BENCH_UNDER_TEST) showing none is its own failure.
    if [[ $program != "${KES_BENCH_UNDER_TEST:-}" ]]; then
      echo "SKIP: no measurement: $program showed no window within $secs s$(kes_wine_state)"
      exit 77
    fi
    kes_fail "$program showed no window matching $pattern within $secs s"
  fi
  kes_bench_close "$win"
  kes_bench_wait_end "$pid" "$program"
  echo "$elapsed"
}

# Waits up to 10 s for the launch with process ID $1 to end, then ends it; and lets the session
# settle (a second), so no launch pays for the teardown of the one before.
kes_bench_wait_end() {
  local pid=$1 deadline=$((SECONDS + ${KES_BENCH_START_SECS:-10}))
  while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    kes_log "$2 did not end in time; ending it"
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  sleep 1
}

# The size in bytes and when the file was built, so a stale build is seen as one.
kes_bench_size_of() {
  if [[ -f $1 ]]; then
    stat -c '%s bytes (built %y)' "$1" | sed -E 's/\.[0-9]+ / /'
  else
    echo "not built"
  fi
}

# kes_bench_ratio A B: A / B with two decimals.
kes_bench_ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }
