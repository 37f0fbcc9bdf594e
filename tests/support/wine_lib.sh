# Shared harness for the tests that run the real Windows build under Wine.
# shellcheck shell=bash
# Sourced (never run) by tests/<label>/*.wine.sh and scripts/demo.sh:
#
#   source "$SRC/tests/support/wine_lib.sh"
#   kes_wine_begin "$SRC" smoke        # skips (exit 77) without Wine; X server + fresh prefix
#   kes_wine_install "$SRC/build/windows-x64/Kestrune.exe"   # -> C:\Tools\Kestrune.exe
#   kes_wine_run 60 'C:\Tools\Kestrune.exe' /nothing        # sets KES_RC, KES_OUT, KES_ERR
#
# A program that asks questions runs in the background and is answered like a person would:
#
#   kes_wine_start 120 'C:\Tools\Kestrune.exe' /normal
#   kes_answer '正常重启 Windows?' n                        # the box's title, the key to press
#   kes_wine_finish                                          # sets KES_RC
#
# A program that shows windows runs in a session the harness started, with Wine's desktop open:
#
#   kes_wine_setup_session                                   # retried; skips (77) if it never works
#
# Every test gets its own throwaway prefix, copied from a template prefix that is made once per
# build folder (making one costs ~15 s, copying ~2 s). Everything started here is bounded by a
# timeout and torn down on exit, so a hanging or crashing program cannot block the run.

: "${KES_WINE:=/usr/lib/wine/wine64}"
: "${KES_WINESERVER:=/usr/lib/wine/wineserver}"
# Debian's Wine does not find its own fonts: each prefix gets a copy from here.
: "${KES_WINE_FONTS:=/usr/share/wine/fonts}"

# Wine's own knobs: no debug chatter, never offer Mono or Gecko, no desktop menu entries in $HOME.
# A Chinese UTF-8 locale makes CJK text render and X window titles searchable by their text.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
unset LANGUAGE # the caller's would outrank both for translated texts

# The machine-wide switch of QEMU's emulation of 32-bit programs (see wine32_lib.sh), and the file
# in which the 32-bit test that switched it on leaves who it is: "PID STARTTIME". Only root may
# switch it, and the file is in a folder only root may write: in /tmp, anybody could have put a
# link there for root to write through.
: "${KES_WINE32_ENTRY:=/proc/sys/fs/binfmt_misc/qemu-i386}"
: "${KES_WINE32_HOLDER:=/run/kestrune-qemu-i386.holder}"

kes_log() { printf '[wine] %s\n' "$*" >&2; }
kes_fail() {
  printf '[wine] FAIL: %s\n' "$*" >&2
  exit 1
}

# Runs a command with a hard limit; a command that ignores SIGTERM is killed 5 s later.
kes_timeout() {
  local secs=$1
  shift
  timeout -k 5 "$secs" "$@"
}

# Starts Xvfb on a display of its own and waits until it answers. The server picks a free display
# itself (-displayfd): a display picked here and then started could be taken by another test run
# in between, and the loser then drew on the winner's screen - two sessions on one display, each
# test seeing the other's windows and keys, and the first to end taking the screen from the other.
kes_xvfb_start() {
  local file tries waited n
  file=$(mktemp)
  for ((tries = 0; tries < 3; tries++)); do
    : >"$file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
    KES_XVFB_PID=$!
    for ((waited = 0; waited < 100; waited++)); do
      # The number comes with a newline once the server listens.
      n=$(<"$file")
      if [[ $(wc -l <"$file") == 1 && -n $n ]] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
        rm -f "$file"
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$KES_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$KES_XVFB_PID" 2>/dev/null || true
    wait "$KES_XVFB_PID" 2>/dev/null || true
    KES_XVFB_PID=
  done
  rm -f "$file"
  kes_fail "no X display could be started"
}

# Waits for every process of the current prefix to end; kills them after $1 seconds.
kes_wine_wait() {
  local secs=${1:-60}
  if ! kes_timeout "$secs" "$KES_WINESERVER" -w; then
    kes_log "processes still running after ${secs}s; killing the prefix's wineserver"
    "$KES_WINESERVER" -k 2>/dev/null || true
    return 1
  fi
}

# kes_reg_add KEY /v NAME ...: "reg add" in the current prefix. Wine now and then turns a write down
# (seen once in ten full runs on a loaded machine, reg.exe ending at once): it is tried again, up to
# three times, each refusal logged with reg.exe's exit code and last lines. Returns 1 if the third
# try is turned down too.
kes_reg_add() {
  local try rc out
  out=$(mktemp)
  for ((try = 1; try <= 3; try++)); do
    rc=0
    kes_timeout 60 "$KES_WINE" reg add "$@" >"$out" 2>&1 || rc=$?
    if ((rc == 0)); then
      rm -f "$out"
      return 0
    fi
    kes_log "writing $1\\$3, try $try of 3: reg.exe ended with exit code $rc:" \
      "$(tr -d '\r' <"$out" | tail -3)"
    if ((try < 3)); then sleep 1; fi
  done
  rm -f "$out"
  return 1
}

# Makes the template prefix once (guarded by a lock, so parallel callers wait for one maker).
# A template made by another Wine version is made again.
kes_wine_template() {
  local tpl=$KES_WINE_TEMPLATE
  local version
  version=$("$KES_WINE" --version 2>/dev/null || echo unknown)
  # The recipe's own revision: a template made by an older recipe is made again too.
  version+=" recipe-2"
  mkdir -p "$(dirname "$tpl")"
  exec {lockfd}>"$tpl.lock"
  flock -w 600 "$lockfd" || kes_fail "timed out waiting for the template lock"
  if [[ -f $tpl/.kes-template && $(cat "$tpl/.kes-template") == "$version" ]]; then
    exec {lockfd}>&-
    return 0
  fi
  kes_log "making template prefix $tpl ($version)"
  local started=$SECONDS tmp="$tpl.new.$$"
  rm -rf "$tpl" "$tmp"
  (
    export WINEPREFIX=$tmp
    # KES_WINE_BOOT_SECS: more time where Wine's 32-bit side runs under emulation (wine32_lib.sh).
    kes_timeout "${KES_WINE_BOOT_SECS:-180}" "$KES_WINE" wineboot --init >/dev/null 2>&1 || exit 1
    kes_wine_wait "${KES_WINE_BOOT_SECS:-120}" || exit 1
    # Without them title bars show "0 1 r".
    cp "$KES_WINE_FONTS"/*.ttf "$tmp/drive_c/windows/Fonts/"
    # A crash must end the process, not wait for someone to close winedbg's dialog.
    kes_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
      kes_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d '' /f &&
      # The virtual desktop draws title bars and closes message boxes without a window manager.
      kes_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f &&
      kes_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f &&
      # Tahoma has no Chinese glyphs: as on a Chinese Windows, link it to a CJK font, or the main
      # window's captions (Tahoma, regular and bold) show boxes.
      kes_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f &&
      kes_reg_add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v 'Tahoma Bold' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f &&
      kes_timeout 60 "$KES_WINE" winecfg -v win10 || exit 1
    kes_wine_wait 60 || exit 1
  ) >/dev/null || {
    rm -rf "$tmp"
    kes_fail "could not make the template prefix"
  }
  echo "$version" >"$tmp/.kes-template"
  mv "$tmp" "$tpl"
  kes_log "template ready in $((SECONDS - started))s"
  exec {lockfd}>&-
}

# Prints the end of the program's newest debug log in the current prefix, for a failing test.
kes_wine_show_log() {
  [[ -n ${WINEPREFIX:-} ]] || return 0
  local logs log
  logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
  log=$(ls -1 "$logs"/Kestrune_*.log 2>/dev/null | sort | tail -1)
  if [[ -z $log ]]; then
    echo "--- no debug log under C:\ProgramData\Kestrune\Logs"
    return 0
  fi
  echo "--- last ${1:-60} lines of $log"
  tail -n "${1:-60}" "$log"
}

kes_wine_end() {
  local rc=$?
  if [[ $rc != 0 && $rc != 77 && -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-} ]]; then
    kes_wine_show_log >&2 || true
  fi
  if [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-} ]]; then
    kes_wine_session_stop
  fi
  if [[ -n ${KES_XVFB_PID:-} ]]; then
    kill "$KES_XVFB_PID" 2>/dev/null || true
    wait "$KES_XVFB_PID" 2>/dev/null || true
  fi
  if [[ -n ${KES_RUN_DIR:-} ]]; then
    # KES_WINE_KEEP=1 keeps the prefix of a run for a look at what the program left behind.
    if [[ ${KES_WINE_KEEP:-0} == 1 ]]; then
      kes_log "kept: $KES_RUN_DIR"
    else
      rm -rf "$KES_RUN_DIR"
    fi
  fi
  return "$rc"
}

# The kernel's entry reads "enabled" once "1" is written to it (a plain file standing in for it in
# the harness's own test reads "1").
kes_wine32_entry_on() { [[ -f $KES_WINE32_ENTRY && $(head -1 "$KES_WINE32_ENTRY") =~ ^(enabled|1)$ ]]; }

# "PID STARTTIME" of a running process (the start time tells a reused process ID apart).
kes_process_id() {
  local stat fields
  stat=$(cat "/proc/${1:?pid}/stat" 2>/dev/null) || return 1
  read -ra fields <<<"${stat##*) }" # the fields after "pid (name) ", from the state on
  echo "$1 ${fields[19]}"
}

# A 32-bit test killed by the test runner's time limit cannot switch the emulation off again, and
# while it stays on, every later prefix runs its 32-bit parts emulated: minutes instead of seconds,
# beyond the time limits of the 64-bit tests. The next test switches it off, unless the test that
# switched it on still runs.
kes_wine32_release_stale() {
  [[ -f $KES_WINE32_HOLDER ]] || return 0
  local holder
  holder=$(<"$KES_WINE32_HOLDER")
  [[ -n $holder && $(kes_process_id "${holder%% *}") == "$holder" ]] && return 0
  if kes_wine32_entry_on; then
    if echo 0 >"$KES_WINE32_ENTRY"; then
      kes_log "switched QEMU's 32-bit emulation off: the test that switched it on (process" \
        "${holder%% *}) ended without doing so"
    else
      kes_log "QEMU's 32-bit emulation stays on: the test that switched it on (process" \
        "${holder%% *}) ended without doing so, and it cannot be switched off from here"
      return 0
    fi
  fi
  rm -f "$KES_WINE32_HOLDER"
}

# kes_wine_begin SRC NAME: skip without Wine, otherwise start X, make sure the template exists and
# make a fresh prefix for this test (WINEPREFIX). Cleans everything up when the script exits.
kes_wine_begin() {
  KES_SRC=$(cd "${1:?source folder}" && pwd)
  local name=${2:-run}
  if [[ ! -x $KES_WINE ]]; then
    echo "SKIP: $KES_WINE is not installed (scripts/deps.sh installs it)"
    exit 77
  fi
  : "${KES_WINE_TEMPLATE:=$KES_SRC/build/linux/wine-template}"
  : "${KES_WINE_RUNS:=$KES_SRC/build/linux/wine-runs}"
  trap kes_wine_end EXIT
  trap 'exit 130' INT TERM
  kes_wine32_release_stale
  kes_xvfb_start
  kes_wine_template
  mkdir -p "$KES_WINE_RUNS"
  KES_RUN_DIR=$(mktemp -d "$KES_WINE_RUNS/$name.XXXXXX")
  export WINEPREFIX=$KES_RUN_DIR/prefix
  cp -a "$KES_WINE_TEMPLATE" "$WINEPREFIX"
  kes_log "prefix $WINEPREFIX on display $DISPLAY"
}

# The Linux path of a C: path inside the current prefix ("C:\Tools\x.exe" -> .../drive_c/Tools/x.exe).
kes_c_path() {
  local p=${1#[Cc]:}
  p=${p//\\//}
  printf '%s/drive_c%s\n' "$WINEPREFIX" "$p"
}

# kes_wine_install FILE [C:\FOLDER]: copies a built file into the prefix (default C:\Tools) so the
# program runs from a local drive, as it would on a real machine.
kes_wine_install() {
  local file=${1:?file} folder=${2:-'C:\Tools'}
  [[ -f $file ]] || kes_fail "not built: $file"
  local dest
  dest=$(kes_c_path "$folder")
  mkdir -p "$dest"
  cp "$file" "$dest/"
}

# kes_wine_run SECS PROGRAM [ARGS...]: runs a Windows program in the prefix and waits for it and
# for everything it started. Sets KES_RC (124 on timeout) and the files KES_OUT / KES_ERR.
kes_wine_run() {
  local secs=${1:?seconds}
  shift
  KES_OUT=$KES_RUN_DIR/stdout.txt
  KES_ERR=$KES_RUN_DIR/stderr.txt
  KES_RC=0
  kes_timeout "$secs" "$KES_WINE" "$@" >"$KES_OUT" 2>"$KES_ERR" </dev/null || KES_RC=$?
  kes_wine_wait 30 || true
  if [[ $KES_RC == 124 || $KES_RC == 137 ]]; then
    kes_log "timed out after ${secs}s: $*"
  fi
  return 0
}

# kes_wine_start SECS PROGRAM [ARGS...]: like kes_wine_run but in the background, for a program
# that waits for the user; answer it with kes_window_wait / kes_key, then call kes_wine_finish.
kes_wine_start() {
  local secs=${1:?seconds}
  shift
  KES_OUT=$KES_RUN_DIR/stdout.txt
  KES_ERR=$KES_RUN_DIR/stderr.txt
  kes_timeout "$secs" "$KES_WINE" "$@" >"$KES_OUT" 2>"$KES_ERR" </dev/null &
  KES_PID=$!
}

# Waits for the program of kes_wine_start to end (its own time limit applies); sets KES_RC.
kes_wine_finish() {
  KES_RC=0
  wait "$KES_PID" || KES_RC=$?
  kes_wine_wait 30 || true
}

# ---- the session of a test that shows windows -------------------------------------------------

# Ends the current prefix's session (every process in it) and the command prompt that held its
# desktop open; returns once the session's wineserver is gone.
kes_wine_session_stop() {
  "$KES_WINESERVER" -k 2>/dev/null || true
  if [[ -n ${KES_PROMPT_PID:-} ]]; then
    kill "$KES_PROMPT_PID" 2>/dev/null || true
    wait "$KES_PROMPT_PID" 2>/dev/null || true
    KES_PROMPT_PID=
  fi
  if [[ -n ${KES_PROMPT_FD:-} ]]; then
    exec {KES_PROMPT_FD}>&-
    KES_PROMPT_FD=
  fi
}

# kes_wine_session_start: one try at a session that outlives its programs (wineboot runs once, at
# its start) with Wine's desktop open, held open until the session ends by a command prompt that
# waits for input; commands written to KES_PROMPT_FD run there, out of the process groups of the
# programs under test, whose time limits end their whole group. The desktop closes a second after
# its last user ends, and a program that finds it closing, or still opening on a busy machine,
# cannot create a window (CreateWindowExW fails with 1400): held open it is ready for every
# program of the test. On failure the session is ended again and KES_SETUP_WHY says what went
# wrong, with the state of the session.
kes_wine_session_start() {
  local rc=0 err=$KES_RUN_DIR/session.err secs=${KES_SESSION_SECS:-60}
  kes_wine_session_stop
  if ! "$KES_WINESERVER" -p 2>"$KES_RUN_DIR/server.err"; then
    KES_SETUP_WHY="wineserver -p failed: $(tail -3 "$KES_RUN_DIR/server.err")"
    return 1
  fi
  # /d: a command processor hook the program under test left is not the harness's to run.
  kes_timeout "$secs" "$KES_WINE" cmd /d /c exit >/dev/null 2>"$err" </dev/null || rc=$?
  if ((rc != 0)); then
    KES_SETUP_WHY="the session did not start: its first program (cmd /c exit) ended with exit code \
$rc$(tail -3 "$err" | sed 's/^/\n  stderr: /')$(kes_wine_state)"
    kes_wine_session_stop
    return 1
  fi
  local fifo=$KES_RUN_DIR/prompt.in
  rm -f "$fifo"
  mkfifo "$fifo"
  exec {KES_PROMPT_FD}<>"$fifo"
  kes_timeout 3600 "$KES_WINE" cmd /d <"$fifo" >/dev/null 2>&1 &
  KES_PROMPT_PID=$!
  echo 'start "" explorer.exe /desktop' >&"$KES_PROMPT_FD"
  local started=$SECONDS
  until [[ -n $(xdotool search --onlyvisible --name 'Wine desktop$' 2>/dev/null) ]]; do
    if ! kill -0 "$KES_PROMPT_PID" 2>/dev/null || ((SECONDS - started >= secs)); then
      KES_SETUP_WHY="Wine's desktop did not come up within $((SECONDS - started))s$(kes_wine_state)"
      kes_wine_session_stop
      return 1
    fi
    sleep 0.1
  done
  kes_log "session with Wine's desktop ready in $((SECONDS - started))s"
}

# kes_wine_setup_session: kes_wine_session_start, and a fresh session for each failed try. Only
# after three tries does the test stop, skipped (exit 77), not failed: the program under test has
# not run yet, and a measurement that cannot be taken says nothing about it.
kes_wine_setup_session() {
  local try
  for ((try = 1; try <= 3; try++)); do
    kes_wine_session_start && return 0
    kes_log "set-up try $try of 3: $KES_SETUP_WHY"
  done
  echo "SKIP: the Wine session could not be set up in 3 tries (no fault of the program under test)"
  exit 77
}

# What the prefix's session looks like: its processes and the windows on the display. For the
# message of a set-up that went wrong.
kes_wine_state() {
  local pid win
  printf '\n  processes of the prefix:'
  for pid in $(pgrep -f -i 'wine|\.exe' || true); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      printf '\n    %s' "$(ps -o pid=,etimes=,stat=,args= -p "$pid" 2>/dev/null)"
  done
  printf '\n  windows on %s:' "$DISPLAY"
  for win in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    printf '\n    %s "%s"' "$win" "$(xdotool getwindowname "$win" 2>/dev/null)"
  done
  win=$(xdotool getwindowfocus 2>/dev/null || true)
  printf '\n  keyboard focus: %s "%s"' "${win:-none}" "$(xdotool getwindowname "$win" 2>/dev/null)"
}

# The ERE that matches exactly TITLE (xdotool matches window titles by regular expression).
kes_title_pattern() { printf '^%s$' "$(sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"${1:?title}")"; }

# kes_window_wait TITLE [SECS]: prints the X id of the first visible window whose title is
# exactly TITLE (Chinese titles work under the UTF-8 locale) once it has the keyboard focus;
# fails after SECS (default 60) seconds. A key pressed before the focus arrives goes to the
# desktop and is lost, and a box needs a moment after that before it takes keys.
kes_window_wait() {
  local title=${1:?title} secs=${2:-60} pattern win
  pattern=$(kes_title_pattern "$title")
  local deadline=$((SECONDS + secs))
  # Polled rather than "search --sync": a search gives up at once when some other window goes
  # away while it walks the window tree.
  until win=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1) && [[ -n $win ]]; do
    ((SECONDS < deadline)) || kes_fail "no window titled \"$title\" within ${secs}s"
    sleep 0.05
  done
  kes_focus_wait "$win" "window \"$title\"" "$deadline" || exit 1
  echo "$win"
}

# kes_focus_wait WIN WHAT DEADLINE: returns once the X window WIN has the keyboard focus and takes
# keys; fails when SECONDS reaches DEADLINE, naming WHAT. Wine gives a new window the X focus as
# it activates it, but now and then, when the window before goes away at the same moment, the X
# focus stays on Wine's desktop while the new window is the active one (its caption drawn active,
# keys reach it). Clicking it does not move the X focus then; the harness gives it the focus it
# should have had, after 5 s without it, logged. A window that never shows still fails.
kes_focus_wait() {
  local win=$1 what=$2 deadline=$3 nudge=$((SECONDS + 5))
  until [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]]; do
    if ((SECONDS >= deadline)); then
      kes_log "FAIL: the $what never got the keyboard focus$(kes_wine_state)"
      return 1
    fi
    if ((SECONDS >= nudge)); then
      kes_log "the $what has had no keyboard focus for 5s; giving it the focus$(kes_wine_state)"
      xdotool windowfocus "$win" 2>/dev/null || true
      nudge=$((SECONDS + 5))
    fi
    sleep 0.05
  done
  sleep 0.3 # a window takes keys a moment after it has the focus
}

# True while the window with X id $1 is still shown.
kes_window_shown() {
  xdotool getwindowname "$1" >/dev/null 2>&1 &&
    xdotool search --onlyvisible --name '.*' 2>/dev/null | grep -qx "$1"
}

# Presses keys like a person at the keyboard (XTEST), e.g. kes_key y, kes_key alt+n, kes_key Return.
kes_key() { xdotool key "$@"; }

# kes_answer TITLE KEY [SECS]: waits for the window titled TITLE (a message box), presses KEY and
# waits until the window is gone. On a loaded machine a key now and then arrives while the box
# is not yet listening; while that same window is still shown the key is pressed again, so a
# box is never answered twice and the next box never gets a stray key.
kes_answer() {
  local title=${1:?title} key=${2:?key} secs=${3:-60} win
  win=$(kes_window_wait "$title" "$secs") || exit 1
  local deadline=$((SECONDS + secs)) next=0
  while kes_window_shown "$win"; do
    ((SECONDS < deadline)) || kes_fail "window \"$title\" did not close after key $key"
    if ((SECONDS >= next)); then
      if [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]]; then
        kes_key "$key"
        next=$((SECONDS + 3))
      fi
    fi
    sleep 0.1
  done
}

# Saves a picture of the whole screen (PNG), for a look at what a failing test saw.
kes_screenshot() { import -window root "${1:?file}"; }

# kes_wine_tool FILE NAME.exe: puts a test double in C:\windows\system32 under NAME.exe, so the
# bare name finds it, and makes Wine prefer it over a built-in program of that name.
kes_wine_tool() {
  local file=${1:?file} name=${2:?name}
  cp "$file" "$(kes_c_path 'C:\windows\system32')/$name"
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;${name,,}=n"
}

# How the last run ended, in words for a failure message.
kes_wine_ending() {
  case $KES_RC in
    124 | 137) echo "did not end within its time limit" ;;
    *) echo "ended with exit code $KES_RC" ;;
  esac
}

# Prints what a run wrote, for the log of a failing test.
kes_wine_show_output() {
  [[ -s ${KES_OUT:-} ]] && { echo "--- stdout"; cat "$KES_OUT"; }
  [[ -s ${KES_ERR:-} ]] && { echo "--- stderr"; cat "$KES_ERR"; }
  return 0
}
