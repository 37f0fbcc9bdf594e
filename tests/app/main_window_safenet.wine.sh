#!/usr/bin/env bash
# The main window on Windows 10, used like a person would: click "带网络的安全模式", then
# "仅配置 (不重新启动)". Safe Mode with networking must be configured without a restart
# (BootMode 2, "safeboot network" in the boot store, the undo entry), the notice asking not to
# delete Kestrune.exe must be shown, and the program must end once it is answered.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/window_lib.sh"

e2e_begin "$SRC" main-window-safenet

kes_wine_start 120 'C:\Tools\Kestrune.exe'
e2e_main_window
e2e_shot main-window-safenet-start
e2e_click_twips 360 2520 3615 375 # optSafeMode 1, "带网络的安全模式"
sleep 0.5
e2e_shot main-window-safenet-picked
# The chosen mode is shown in bold: its caption gets more ink than it had.
e2e_crop "$E2E_SHOTS/main-window-safenet-start.png" "$E2E_SHOTS/caption-safenet-start.png" \
  630 2520 3345 375
e2e_crop "$E2E_SHOTS/main-window-safenet-picked.png" "$E2E_SHOTS/caption-safenet-picked.png" \
  630 2520 3345 375
ink_before=$(e2e_ink "$E2E_SHOTS/caption-safenet-start.png")
ink_after=$(e2e_ink "$E2E_SHOTS/caption-safenet-picked.png")
kes_log "caption \"带网络的安全模式\": $ink_before ink pixels before the click, $ink_after after"
((ink_after * 10 > ink_before * 11)) ||
  kes_fail "the clicked option did not turn bold ($ink_before -> $ink_after ink pixels)"
e2e_click_twips 6240 2640 3015 615 # cmdDo 1, "仅配置 (不重新启动)"
e2e_answer Kestrune Return main-window-safenet-notice
e2e_finish

e2e_expect_configured 2 network "Safe Mode with networking"
e2e_expect_lines "runs of Kestrune.exe" "" "$(e2e_started_with)"

echo "PASS: picking Safe Mode with networking and configuring only set it up and said so"
