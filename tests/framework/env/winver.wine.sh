#!/usr/bin/env bash
# Windows version detection on the real Kestrune.exe under Wine: the prefix is switched to
# Windows 10 and then to Windows 7, and each start-up writes the Windows it found - release and
# edition text, version numbers, release flag and boot mode - into the day's log file.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" version
kes_wine_install "$EXE"
logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')

# check_version WINECFG_NAME RELEASE_TEXT VERSION_PREFIX RELEASE_FLAG
check_version() {
  local wine_version=$1 release=$2 numbers=$3 flag=$4
  kes_timeout 60 "$KES_WINE" winecfg -v "$wine_version" >/dev/null 2>&1 ||
    kes_fail "winecfg -v $wine_version failed"
  kes_wine_wait 60 || true
  rm -rf "$logs"

  kes_wine_run 120 'C:\Tools\Kestrune.exe' /nothing
  # A text that is no switch ends with 87 (ERROR_INVALID_PARAMETER), after the start-up.
  if [[ $KES_RC != 87 ]]; then
    kes_wine_show_output
    kes_fail "Kestrune.exe /nothing as $wine_version $(kes_wine_ending)"
  fi
  local log
  log=$(find "$logs" -name 'Kestrune_*.log' 2>/dev/null | head -1)
  [[ -n $log ]] || kes_fail "no log file under C:\\ProgramData\\Kestrune\\Logs after the $wine_version run"
  local line
  line=$(grep -a 'Windows: ' "$log" | tr -d '\r' | tail -1 || true)
  if [[ -z $line ]]; then
    cat "$log"
    kes_fail "the $wine_version log names no Windows"
  fi
  echo "$wine_version: $line"
  [[ $line == *"Windows: $release ["*"] | $numbers"* ]] ||
    kes_fail "as $wine_version the log should name \"$release [...]\" and version $numbers*: $line"
  [[ $line == *"| release flag: $flag |"* ]] ||
    kes_fail "as $wine_version the release flag should be $flag: $line"
  # Wine never boots into Safe Mode.
  [[ $line == *"| boot mode: WinMode_Normal"* ]] ||
    kes_fail "as $wine_version the boot mode should be normal: $line"
}

check_version win10 'Windows 10' '10.0.' Win10
check_version win7 'Windows 7' '6.1.' Win7

echo "PASS: Kestrune.exe names Windows 10 and Windows 7 under Wine with their release flags"
