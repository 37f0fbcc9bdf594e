# What the end-to-end tests of the real Kestrune.exe under Wine share (tests/app/*.wine.sh);
# sourced, never run. Builds on the harness of tests/support/wine_lib.sh:
#
#   source "$SRC/tests/support/window_lib.sh"
#   e2e_begin "$SRC" safe-declined        # fresh Windows 10 prefix, exe + recording bcdedit.exe
#   kes_wine_start 120 'C:\Tools\Kestrune.exe' /safe
#   e2e_answer Kestrune n
#   e2e_finish                             # the program must end by itself, asking nothing more
#
# A new Wine session runs (and deletes) every HKLM RunOnce entry, just as a Windows boot would.
# So that a one-time entry is seen as Kestrune left it, each test keeps one Wine session for
# its whole run (a persistent wineserver) and reads the registry inside it; only a test that
# restarts "Windows" on purpose lets a session end.
# shellcheck shell=bash disable=SC2034 # the E2E_ names are for the tests that source this file

source "$SRC/tests/support/wine_lib.sh"

E2E_EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
E2E_DOUBLE=${KES_BCDEDIT_DOUBLE:-$SRC/build/windows-x64/bcdedit_double.exe}
E2E_KEY='HKLM\Software\Quorlen\Kestrune'
E2E_RUNONCE='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
E2E_HOOK='*Quorlen Kestrune Mod'
E2E_AUTORUN_KEY='HKLM\SOFTWARE\Microsoft\Command Processor'

# Pictures for people to look at: beside the exe under test, e.g. build/windows-x64/window-e2e/.
E2E_SHOTS=${KES_E2E_SHOTS:-$(dirname "$E2E_EXE")/window-e2e}

# e2e_begin SRC NAME [WINVER]: a fresh prefix reporting WINVER (default win10), Kestrune.exe in
# C:\Tools, the recording bcdedit double in System32, one persistent Wine session with Wine's
# desktop open (kes_wine_setup_session).
e2e_begin() {
  local src=$1 name=$2 winver=${3:-win10}
  [[ -f $E2E_EXE ]] || kes_fail "$E2E_EXE is not built (cmake --build --preset windows-x64)"
  [[ -f $E2E_DOUBLE ]] ||
    kes_fail "$E2E_DOUBLE is not built (cmake --build build/windows-x64 --target bcdedit_double)"
  kes_wine_begin "$src" "$name"
  kes_wine_install "$E2E_EXE"
  kes_wine_tool "$E2E_DOUBLE" bcdedit.exe
  E2E_RECORD=$(kes_c_path 'C:\bcdedit_record.txt')
  E2E_STORE=$(kes_c_path 'C:\bcdedit_store.txt')
  rm -f "$E2E_RECORD" "$E2E_STORE"
  kes_wine_setup_session
  # The template reports Windows 10; anything else is set here, inside the session.
  if [[ $winver != win10 ]]; then
    kes_timeout 60 "$KES_WINE" winecfg -v "$winver" >/dev/null 2>&1 ||
      kes_fail "winecfg -v $winver failed"
  fi
}

# Starts the session of a "Windows" the program under test has already run in (a restart): its
# start runs what the program left to run, so a failure here may be the program's and fails the
# test; kes_wine_setup_session sets up a session before the program's first run.
e2e_session_start() {
  kes_wine_session_start || kes_fail "$KES_SETUP_WHY"
}

# True while a process of this prefix runs a program whose command line contains Kestrune.exe.
e2e_kestrune_running() {
  local pid
  for pid in $(pgrep -f -i 'kestrune\.exe' || true); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null |
      grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# The titles of the visible windows of the session other than Wine's desktop, one a line.
e2e_windows() {
  local w n
  xdotool search --onlyvisible --name '.+' 2>/dev/null | while read -r w; do
    n=$(xdotool getwindowname "$w" 2>/dev/null || true)
    [[ -n $n && $n != Default* && $n != *"Wine desktop"* ]] && printf '%s\n' "$n"
  done
  return 0
}

# e2e_finish [SECS]: waits for the program of kes_wine_start to end by itself. A window it shows
# meanwhile (a notice nobody expected) fails the test with its title and a screenshot.
e2e_finish() {
  local secs=${1:-60} deadline title
  deadline=$((SECONDS + secs))
  while kill -0 "$KES_PID" 2>/dev/null; do
    ((SECONDS < deadline)) || kes_fail "Kestrune.exe did not end within ${secs}s"
    title=$(e2e_windows | head -1)
    if [[ -n $title ]]; then
      e2e_shot "unexpected-window"
      kes_fail "an unexpected window titled \"$title\" was shown"
    fi
    sleep 0.2
  done
  KES_RC=0
  wait "$KES_PID" || KES_RC=$?
  if [[ $KES_RC == 124 || $KES_RC == 137 ]]; then
    kes_wine_show_output
    kes_fail "Kestrune.exe $(kes_wine_ending)"
  fi
}

# e2e_shot NAME: a screenshot of the whole screen as $E2E_SHOTS/NAME.png; prints its path.
e2e_shot() {
  mkdir -p "$E2E_SHOTS"
  local file=$E2E_SHOTS/$1.png
  kes_screenshot "$file" 2>/dev/null || {
    kes_log "no screenshot $file"
    return 0
  }
  kes_log "screenshot: $file"
}

# e2e_find PATTERN: the X id of the first visible window whose title matches the ERE, or nothing.
# One search can fail outright when a window goes away while it runs ("xdotool search --sync"
# then gives up at once), so callers poll with this instead.
e2e_find() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }

# e2e_wait PATTERN WHAT [SECS]: prints the X id of the first visible window whose title matches
# PATTERN once it has the keyboard focus; fails after SECS (default 60) naming WHAT.
e2e_wait() {
  local pattern=$1 what=$2 secs=${3:-60} win=""
  local deadline=$((SECONDS + secs))
  until [[ -n $win ]]; do
    if ((SECONDS >= deadline)); then
      e2e_shot missing-window
      kes_fail "no $what within ${secs}s"
    fi
    win=$(e2e_find "$pattern")
    [[ -n $win ]] || sleep 0.1
  done
  if ! kes_focus_wait "$win" "$what" "$deadline"; then
    e2e_shot no-focus
    exit 1
  fi
  echo "$win"
}

# e2e_answer TITLE KEY [SHOT]: waits for the message box titled TITLE, keeps a screenshot SHOT
# of it when asked, presses KEY and waits until the box is gone. A key that arrives before the
# box listens is pressed again, but only while that same box is still shown.
e2e_answer() {
  local title=$1 key=$2 shot=${3:-} win
  win=$(e2e_wait "$(kes_title_pattern "$title")" "box titled \"$title\"") || exit 1
  [[ -z $shot ]] || e2e_shot "$shot"
  e2e_close "$win" "$key" "box \"$title\""
}

# e2e_close WIN KEY WHAT: presses KEY in the window WIN (which has the focus) and waits until the
# window is gone; fails after 60 s naming WHAT. A key that arrives before the window listens is
# pressed again, but only while that same window is still shown and has the focus.
e2e_close() {
  local win=$1 key=$2 what=$3 deadline=$((SECONDS + 60)) next=0
  while kes_window_shown "$win"; do
    ((SECONDS < deadline)) || kes_fail "the $what did not close after key $key"
    if ((SECONDS >= next)) && [[ $(xdotool getwindowfocus 2>/dev/null) == "$win" ]]; then
      kes_key "$key"
      next=$((SECONDS + 3))
    fi
    sleep 0.1
  done
}

# The commands the bcdedit double saw, one a line, without the program name.
e2e_commands() {
  [[ -f $E2E_RECORD ]] || return 0
  tr -d '\r' <"$E2E_RECORD" | sed -E 's/^("[^"]*"|[^ ]*) *//'
}

# The elements the double's store holds, "NAME=VALUE" a line.
e2e_store() {
  [[ -f $E2E_STORE ]] || return 0
  tr -d '\r' <"$E2E_STORE"
}

# e2e_reg KEY VALUE: the value's line in "reg query" output, empty when it (or its key) is absent.
e2e_reg() {
  kes_timeout 60 "$KES_WINE" reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
    grep -F -- "$2" || true
}

# e2e_reg_add KEY VALUE TYPE DATA: writes a registry value inside the session. It prepares the
# scenario, before the program under test runs, so a write that Wine turns down is tried again
# (kes_reg_add); one never taken fails the test with what reg.exe said.
e2e_reg_add() {
  kes_reg_add "$1" /v "$2" /t "$3" /d "$4" /f /reg:64 || kes_fail "could not write $1\\$2"
}

# The BootMode value as a number, empty when absent.
e2e_bootmode() {
  local line
  line=$(e2e_reg "$E2E_KEY" BootMode)
  [[ -n $line ]] || return 0
  printf '%d\n' "${line##* }"
}

# e2e_expect_lines WHAT EXPECTED ACTUAL: fails, showing both, unless the line lists are identical.
e2e_expect_lines() {
  if [[ $2 != "$3" ]]; then
    echo "--- expected $1"
    printf '%s\n' "$2"
    echo "--- got"
    printf '%s\n' "$3"
    kes_fail "$1 differ"
  fi
}

# e2e_expect_configured MODE VALUE WHAT: the state "仅配置 (不重新启动)" leaves for a Safe Mode without
# the command prompt: BootMode MODE, the bcdedit calls of a first configuration (the backup
# included) ending in "/set safeboot VALUE", that element in the store, and the one-time entry
# that runs Kestrune.exe /Remove. WHAT names the mode in the messages.
e2e_expect_configured() {
  local mode=$1 value=$2 what=$3
  [[ $(e2e_bootmode) == "$mode" ]] ||
    kes_fail "BootMode is \"$(e2e_bootmode)\", not $mode ($what)"
  e2e_expect_lines "bcdedit calls of $what" "/deletevalue safeboot
/deletevalue safebootalternateshell
/export C:\\BCDbak
/set safeboot $value" "$(e2e_commands)"
  e2e_expect_lines "boot store" "safeboot=$value" "$(e2e_store)"
  [[ $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK") == *'Kestrune.exe" /Remove' ]] ||
    kes_fail "no one-time entry runs Kestrune.exe /Remove"
}

# The argument texts Kestrune.exe was started with, in order, as its day's log records them.
e2e_started_with() {
  local logs
  logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
  cat "$logs"/Kestrune_*.log 2>/dev/null | tr -d '\r' |
    sed -nE 's/^Instance Details:  \[[^]]*\] started with parameters \[(.*)\]$/\1/p'
}

# ---- the main window ---------------------------------------------------------------------------

# The main window's title: "Kestrune", two blanks and "v" with the version (a flavour may follow).
E2E_MAIN_TITLE='^Kestrune.*  v[0-9]'
# Its client area in pixels at 96 dpi (9495 x 4320 twips).
E2E_CLIENT_W=633
E2E_CLIENT_H=288

# e2e_main_window [SECS]: waits for the main window to be shown and to have the focus, parks the
# pointer on its caption bar, where no tip opens, and sets E2E_WIN (X id), E2E_X, E2E_Y, E2E_W,
# E2E_H (outer rectangle on the screen) and E2E_CX, E2E_CY (top left of the client area on the
# screen). The client area is found from the bottom: the frame is as wide on every side and the
# caption and menu bar lie above the client area.
e2e_main_window() {
  local secs=${1:-60} info
  E2E_WIN=$(e2e_wait "$E2E_MAIN_TITLE" "main window" "$secs") || exit 1
  info=$(xwininfo -id "$E2E_WIN")
  E2E_X=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
  E2E_Y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
  E2E_W=$(sed -n 's/^ *Width: *//p' <<<"$info")
  E2E_H=$(sed -n 's/^ *Height: *//p' <<<"$info")
  local frame=$(((E2E_W - E2E_CLIENT_W) / 2))
  ((frame >= 0 && E2E_W - 2 * frame == E2E_CLIENT_W)) ||
    kes_fail "a ${E2E_W}px wide main window cannot hold a ${E2E_CLIENT_W}px client area"
  E2E_CX=$((E2E_X + frame))
  E2E_CY=$((E2E_Y + E2E_H - frame - E2E_CLIENT_H))
  kes_log "main window ${E2E_W}x${E2E_H} at ${E2E_X},${E2E_Y}; client area at ${E2E_CX},${E2E_CY}"
  # The window opens under the pointer (the middle of the screen), where a button's tip would
  # cover part of it in every screenshot; the tip goes a moment after the pointer has left.
  e2e_park_pointer
  sleep 1.5
}

# Moves the pointer onto the main window's caption bar.
e2e_park_pointer() { xdotool mousemove $((E2E_X + E2E_W / 3)) $((E2E_Y + 8)); }

# e2e_click_twips LEFT TOP WIDTH HEIGHT: clicks the middle of a control given in twips.
e2e_click_twips() {
  xdotool mousemove $((E2E_CX + ($1 + $3 / 2) / 15)) $((E2E_CY + ($2 + $4 / 2) / 15)) click 1
  sleep 0.3
  e2e_park_pointer
}

# e2e_crop SHOT OUT LEFT TOP WIDTH HEIGHT: cuts a control (twips, client area) out of a screenshot.
e2e_crop() {
  convert "$1" -crop "$(($5 / 15))x$(($6 / 15))+$((E2E_CX + $3 / 15))+$((E2E_CY + $4 / 15))" \
    +repage "$2"
}

# e2e_window_crop SHOT OUT: cuts the whole main window out of a screenshot.
e2e_window_crop() {
  convert "$1" -crop "${E2E_W}x${E2E_H}+${E2E_X}+${E2E_Y}" +repage "$2"
}

# e2e_colours IMAGE: the number of distinct colours.
e2e_colours() { identify -format '%k' "$1"; }

# e2e_text_rows IMAGE: "INKED DISTINCT" for a picture of dark text on a light ground: how many
# pixel rows hold ink, and how many different ink patterns those rows have. A line of real
# Chinese characters changes from row to row; a line of boxes (characters the font lacks) has
# just its top edge, its bottom edge and the same two sides in every row between.
e2e_text_rows() {
  convert "$1" -colorspace Gray -threshold 55% -compress none pbm:- |
    awk 'NR == 1 {next} NR == 2 {w = $1; next} {gsub(/[^01]/, ""); bits = bits $0}
      END {
        inked = 0; distinct = 0
        for (r = 0; r * w < length(bits); r++) {
          row = substr(bits, r * w + 1, w)
          if (row ~ /1/) { inked++; if (!(row in seen)) { seen[row] = 1; distinct++ } }
        }
        print inked, distinct
      }'
}

# e2e_ink IMAGE: how many pixels of a picture of dark text on a light ground are ink.
e2e_ink() {
  convert "$1" -colorspace Gray -threshold 55% -compress none pbm:- |
    awk 'NR > 2 {gsub(/[^1]/, ""); n += length($0)} END {print n + 0}'
}

# e2e_expect_chinese SHOT NAME LEFT TOP WIDTH HEIGHT: fails unless the caption at that place
# (twips, Chinese characters only) is drawn as characters rather than boxes.
e2e_expect_chinese() {
  local crop=$E2E_SHOTS/$2.png inked distinct
  e2e_crop "$1" "$crop" "$3" "$4" "$5" "$6"
  read -r inked distinct < <(e2e_text_rows "$crop")
  kes_log "caption $2: $inked rows with ink, $distinct different ($crop)"
  ((inked >= 6)) || kes_fail "the caption $2 is not drawn (only $inked rows with ink): $crop"
  ((distinct * 10 >= inked * 6)) ||
    kes_fail "the caption $2 shows boxes instead of Chinese characters: $crop"
}
