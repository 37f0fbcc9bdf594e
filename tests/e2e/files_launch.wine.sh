#!/usr/bin/env bash
# labels: fs process
# The file primitives, reg.exe import and launchers on the real Windows backend
# (framework_e2e.exe under Wine, after the program's own start-up): files with attributes,
# a .reg import read back, and the exit codes of cmd.exe through ShellAndWait and ShellX.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_E2E_EXE:-$SRC/build/windows-x64/framework_e2e.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" files-launch
kes_wine_install "$EXE"
kes_wine_run 120 'C:\Tools\framework_e2e.exe' files-launch

if [[ $KES_RC != 0 ]] || ! grep -q $'^PASS files-launch' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe files-launch $(kes_wine_ending) without reporting PASS"
fi
echo "PASS: files-launch under Wine: $(head -1 "$KES_OUT" | tr -d '\r')"
