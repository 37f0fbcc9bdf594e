#!/usr/bin/env bash
# labels: debug
# On the real Windows backend a null dereference and an integer division by zero inside a traced
# step become handled errors of the running procedure, which goes on (framework_e2e.exe runs the
# framework's own fault self-test under Wine).
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=$SRC/build/windows-x64/framework_e2e.exe
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" fault
kes_wine_install "$EXE"
kes_wine_run 120 'C:\Tools\framework_e2e.exe' fault-selftest

if [[ $KES_RC != 0 ]] || ! grep -qx $'PASS fault-selftest\r\\?' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe fault-selftest $(kes_wine_ending) without reporting PASS"
fi
echo "PASS: fault-selftest under Wine: $(head -1 "$KES_OUT" | tr -d '\r')"
