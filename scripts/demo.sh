#!/usr/bin/env bash
# Builds Kestrune.exe for 64-bit Windows and runs it once under Wine in a throwaway prefix with an
# argument text that matches no switch: the program starts, traces its start-up and ends without
# changing anything. Then it shows the day's log file it wrote.
set -euo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$SRC"

bash scripts/deps.sh
cmake --preset windows-x64
cmake --build --preset windows-x64 -j "${KES_JOBS:-$(nproc)}"
exe=build/windows-x64/Kestrune.exe
echo "== built $exe ($(stat -c %s "$exe") bytes)"

source tests/wine/lib.sh
kes_wine_begin "$SRC" demo
kes_wine_install "$exe"

echo '== running  C:\Tools\Kestrune.exe /nothing  under Wine'
kes_wine_run 120 'C:\Tools\Kestrune.exe' /nothing
echo "== exit code $KES_RC"
kes_wine_show_output

logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
shopt -s nullglob
found=("$logs"/Kestrune_*.log)
if ((${#found[@]} == 0)); then
  echo "== no log file was written under C:\\ProgramData\\Kestrune\\Logs" >&2
  exit 1
fi
log=${found[-1]}
echo "== C:\\ProgramData\\Kestrune\\Logs\\${log##*/}"
# Drop the byte-order mark and the CRs of the Windows line ends for the terminal.
sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$log"
[[ $KES_RC == 0 ]]
