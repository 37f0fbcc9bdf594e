#!/usr/bin/env bash
# labels: registry
# App_Registry on the real advapi32 (framework_e2e.exe under Wine): values written to HKCU and
# HKLM read back, a text is stored with its NUL, and a second delete of a value is "not found"
# and still a success.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_E2E_EXE:-$SRC/build/windows-x64/framework_e2e.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" registry
kes_wine_install "$EXE"
kes_wine_run 120 'C:\Tools\framework_e2e.exe' registry

if [[ $KES_RC != 0 ]] || ! grep -q $'^PASS registry' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe registry $(kes_wine_ending) without reporting PASS"
fi
echo "PASS: registry under Wine: $(head -1 "$KES_OUT" | tr -d '\r')"
