#!/usr/bin/env bash
# The main window on Windows 10: started without arguments it shows, with every Chinese caption
# drawn as characters (not boxes), and "安全模式" selected; so "仅配置 (不重新启动)" clicked at
# once configures minimal Safe Mode: BootMode 1, "safeboot minimal" in the boot store, the undo
# entry, the notice not to delete Kestrune.exe, and the program ends. The screenshots stay under
# the build folder (window-e2e/) for people to look at.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" main-window

kes_wine_start 120 'C:\Tools\Kestrune.exe'
e2e_main_window
e2e_shot main-window-win10-screen
screen=$E2E_SHOTS/main-window-win10-screen.png
window=$E2E_SHOTS/main-window-win10.png
e2e_window_crop "$screen" "$window"
kes_log "the main window on Windows 10: $window"

# A window that painted nothing (or only its frame) has a handful of colours; text drawn with
# smoothing has dozens.
colours=$(e2e_colours "$window")
((colours >= 16)) || kes_fail "the main window looks blank ($colours colours): $window"
# Captions of Chinese characters only, cut out past the option buttons' circles.
e2e_expect_chinese "$screen" caption-normal-mode 630 840 1785 375
e2e_expect_chinese "$screen" caption-safe-mode-network 630 2520 3345 375
e2e_expect_chinese "$screen" caption-safe-mode-command-prompt 630 3360 4425 375

# "仅配置 (不重新启动)" right away: whatever is preselected gets configured.
e2e_click_twips 6240 2640 3015 615
e2e_answer Kestrune Return main-window-configured-notice
e2e_finish

e2e_expect_configured 1 minimal "the minimal Safe Mode"

echo "PASS: the main window showed its Chinese captions and configured the preselected Safe Mode"
