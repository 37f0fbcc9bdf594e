#!/usr/bin/env bash
# Windows 7 has no F8 choice in the window: the check box "同时启用 F8 启动键" and the menu
# "选项" are hidden and the window is shorter by the menu bar. The same prefix shows the window
# first as Windows 10 and then as Windows 7; both are closed with Alt+F4, which must end the
# program without changing anything.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" main-window-win7

# show_and_close NAME: shows the main window, keeps a screenshot NAME of the screen, of the window
# and of where the F8 check box is, then closes it with Alt+F4. Sets HEIGHT and F8_INK.
show_and_close() {
  kes_wine_start 120 'C:\Tools\Kestrune.exe'
  e2e_main_window
  e2e_shot "$1-screen"
  e2e_window_crop "$E2E_SHOTS/$1-screen.png" "$E2E_SHOTS/$1.png"
  e2e_crop "$E2E_SHOTS/$1-screen.png" "$E2E_SHOTS/$1-f8.png" 6360 2160 2895 375
  HEIGHT=$E2E_H
  F8_INK=$(e2e_ink "$E2E_SHOTS/$1-f8.png")
  kes_log "$1: window ${E2E_W}x${E2E_H}, $F8_INK ink pixels where the F8 check box is"
  e2e_close "$E2E_WIN" alt+F4 "main window"
  e2e_finish
}

show_and_close main-window-win10
win10_height=$HEIGHT
((F8_INK > 50)) || kes_fail "Windows 10: the F8 check box is not shown"

kes_timeout 60 "$KES_WINE" winecfg -v win7 >/dev/null 2>&1 || kes_fail "winecfg -v win7 failed"
show_and_close main-window-win7
win7_height=$HEIGHT
((F8_INK == 0)) || kes_fail "Windows 7: the F8 check box is shown ($F8_INK ink pixels)"

# One menu bar (SM_CYMENU, about 19 px at 96 dpi) shorter, not more and not less.
shorter=$((win10_height - win7_height))
kes_log "the Windows 7 window is ${shorter}px shorter"
((shorter >= 15 && shorter <= 30)) ||
  kes_fail "the window is ${win10_height}px high on Windows 10 and ${win7_height}px on Windows 7"

e2e_expect_lines "bcdedit calls" "" "$(e2e_commands)"
[[ -z $(e2e_bootmode) ]] || kes_fail "closing the window wrote BootMode $(e2e_bootmode)"

echo "PASS: on Windows 7 the F8 check box is hidden and the window is ${shorter}px shorter"
