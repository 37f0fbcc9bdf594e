#!/usr/bin/env bash
# labels: process registry launch-perms
# Process queries, the full launcher and the registry DACL merge on the real Windows backend
# (framework_e2e.exe under Wine): its own path and parent ID, RunX's exit code of cmd.exe, and a
# DACL entry added under HKLM read back with the real security calls.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_E2E_EXE:-$SRC/build/windows-x64/framework_e2e.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" launch-perms
kes_wine_install "$EXE"
kes_wine_run 120 'C:\Tools\framework_e2e.exe' launch-perms

if [[ $KES_RC != 0 ]] || ! grep -q $'^PASS launch-perms' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe launch-perms $(kes_wine_ending) without reporting PASS"
fi
echo "PASS: launch-perms under Wine: $(head -1 "$KES_OUT" | tr -d '\r')"
