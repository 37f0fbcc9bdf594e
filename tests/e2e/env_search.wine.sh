#!/usr/bin/env bash
# labels: fs env env-search
# The directory search, file versions and user lists on the real Windows backend
# (framework_e2e.exe under Wine, after the program's own start-up): a folder tree searched with
# masks, levels and the hidden-only filter, the exe's own version against its version resource,
# and the prefix's profile folders. Wine's WMI lists no user accounts, so the WMI list is empty
# there; the scenario's detail says so and why, and this script prints it.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_E2E_EXE:-$SRC/build/windows-x64/framework_e2e.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" env-search
kes_wine_install "$EXE"
kes_wine_run 120 'C:\Tools\framework_e2e.exe' env-search

if [[ $KES_RC != 0 ]] || ! grep -q $'^PASS env-search' "$KES_OUT"; then
  kes_wine_show_output
  kes_fail "framework_e2e.exe env-search $(kes_wine_ending) without reporting PASS"
fi
line=$(grep '^PASS env-search' "$KES_OUT" | tr -d '\r')
# Not a skip: the user list from WMI is shown to be empty, and why.
wmi=$(grep -o 'WMI user list[^;]*' <<<"$line") || kes_fail "the report says nothing of WMI: $line"
echo "NOTE: $wmi"
echo "PASS: env-search under Wine: $line"
