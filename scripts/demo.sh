#!/usr/bin/env bash
# Builds Kestrune.exe for 64-bit Windows and uses it under Wine in a throwaway Windows 10 prefix
# the way an admin would, with a recording stand-in for bcdedit.exe in System32 (Wine has none):
#   1. starts it without arguments: the main window opens (screenshot kept);
#   2. picks "带网络的安全模式" and "仅配置 (不重新启动)": Safe Mode with networking is configured
#      for the next boot, without a restart, and the notice is answered;
#   3. runs "Kestrune.exe /remove", what the undo hook runs on the Safe Mode boot: all of it is
#      taken back.
# It prints what each step left in the boot store and the registry, then the program's log.
set -euo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$SRC"

bash scripts/deps.sh
cmake --preset windows-x64
cmake --build --preset windows-x64 -j "${KES_JOBS:-$(nproc)}"
exe=build/windows-x64/Kestrune.exe
echo "== built $exe ($(stat -c %s "$exe") bytes)"

export KES_E2E_SHOTS=$SRC/build/windows-x64/demo
source tests/support/window_lib.sh
e2e_begin "$SRC" demo

show_state() {
  echo "   BootMode:          ${1:-$(e2e_bootmode)}"
  echo "   boot store:        $(e2e_store | paste -sd ' ')"
  echo "   one-time entry:    $(e2e_reg "$E2E_RUNONCE" "$E2E_HOOK" | sed 's/^ *//')"
}

echo '== 1. C:\Tools\Kestrune.exe (no arguments): the main window'
kes_wine_start 120 'C:\Tools\Kestrune.exe'
e2e_main_window
e2e_shot 1-main-window

echo '== 2. click "带网络的安全模式", then "仅配置 (不重新启动)"'
e2e_click_twips 360 2520 3615 375
sleep 0.5
e2e_click_twips 6240 2640 3015 615
e2e_answer Kestrune Return 2-notice
echo "   notice screenshot: $E2E_SHOTS/2-notice.png"
e2e_finish
echo "   bcdedit.exe was run with:"
e2e_commands | sed 's/^/     bcdedit.exe /'
show_state

echo '== 3. C:\Tools\Kestrune.exe /remove (what the Safe Mode boot runs)'
kes_wine_start 120 'C:\Tools\Kestrune.exe' /remove
# BootMode says the window chose the mode, so the program asks whether to boot normally: Yes.
e2e_answer Kestrune y 3-question
e2e_finish
show_state
[[ -z $(e2e_bootmode) && -z $(e2e_store) ]] || kes_fail "the configuration was not taken back"

logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
shopt -s nullglob
found=("$logs"/Kestrune_*.log)
((${#found[@]} > 0)) || kes_fail "no log file was written under C:\\ProgramData\\Kestrune\\Logs"
log=${found[-1]}
echo "== C:\\ProgramData\\Kestrune\\Logs\\${log##*/} (last 40 lines)"
# Drop the byte-order mark and the CRs of the Windows line ends for the terminal.
sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$log" | tail -40
echo "== screenshots in $KES_E2E_SHOTS"
