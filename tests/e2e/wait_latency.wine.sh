#!/usr/bin/env bash
# labels: process
# On the real Windows backend the launchers' message-aware exit wait notices a program's end
# sooner than the classic fixed 100 ms sleep: framework_e2e.exe starts "cmd.exe /c exit 0" again
# and again under Wine, waits both ways and reports median and 90th percentile of the delay from
# the process's exit time to the wait's return.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_E2E_EXE:-$SRC/build/windows-x64/framework_e2e.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" wait-latency
kes_wine_install "$EXE"
kes_wine_run 300 'C:\Tools\framework_e2e.exe' wait-latency

if [[ $KES_RC != 0 ]] || ! grep -q '^PASS wait-latency' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe wait-latency $(kes_wine_ending) without reporting PASS"
fi
echo "PASS: $(grep '^PASS wait-latency' "$KES_OUT" | tr -d '\r')"
