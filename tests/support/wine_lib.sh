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
# Every test gets its own throwaway prefix, copied from a template prefix that is made once per
# build folder (making one costs ~15 s, copying ~2 s). Everything started here is bounded by a
# timeout and torn down on exit, so a hanging or crashing program cannot block the run.

KES_WINE=/usr/lib/wine/wine64
KES_WINESERVER=/usr/lib/wine/wineserver

# Wine's own knobs: no debug chatter, never offer Mono or Gecko, no desktop menu entries in $HOME.
# A Chinese UTF-8 locale makes CJK text render and X window titles searchable by their text.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8

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

# Starts Xvfb on the first free display from 90 up and waits until it answers.
kes_xvfb_start() {
  local n
  for ((n = 90; n < 190; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    KES_XVFB_PID=$!
    local tries
    for ((tries = 0; tries < 100; tries++)); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$KES_XVFB_PID" 2>/dev/null || break # lost a race for this display
      sleep 0.1
    done
    kill "$KES_XVFB_PID" 2>/dev/null || true
    wait "$KES_XVFB_PID" 2>/dev/null || true
    KES_XVFB_PID=
  done
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
    # Debian's Wine does not find its own fonts: without them title bars show "0 1 r".
    cp /usr/share/wine/fonts/*.ttf "$tmp/drive_c/windows/Fonts/"
    local reg=("$KES_WINE" reg add)
    # A crash must end the process, not wait for someone to close winedbg's dialog.
    kes_timeout 60 "${reg[@]}" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
      kes_timeout 60 "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d '' /f &&
      # The virtual desktop draws title bars and closes message boxes without a window manager.
      kes_timeout 60 "${reg[@]}" 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f &&
      kes_timeout 60 "${reg[@]}" 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ \
        /d 1024x768 /f &&
      # Tahoma has no Chinese glyphs: as on a Chinese Windows, link it to a CJK font, or the main
      # window's captions (Tahoma, regular and bold) show boxes.
      kes_timeout 60 "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f &&
      kes_timeout 60 "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
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
    "$KES_WINESERVER" -k 2>/dev/null || true
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
  until [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]]; do
    ((SECONDS < deadline)) || kes_fail "window \"$title\" never got the keyboard focus"
    sleep 0.05
  done
  sleep 0.3
  echo "$win"
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
