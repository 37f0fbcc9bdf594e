#!/usr/bin/env bash
# The switch of QEMU's 32-bit emulation outlives a 32-bit Wine test that the test runner kills at
# its time limit. Left on, it made every later prefix run its 32-bit parts emulated, and the next
# 64-bit test timed out making its template. Here a stand-in file plays the kernel's switch and a
# stand-in loader runs only while it is on, as Wine's 32-bit loader does without the kernel's help.
# labels: support robustness
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KES_WINE32_ENTRY=$work/qemu-i386 KES_WINE32_HOLDER=$work/holder KES_WINE32_LOADER=$work/wine
printf '#!/bin/sh\ngrep -qx 1 "%s"\n' "$KES_WINE32_ENTRY" >"$KES_WINE32_LOADER"
chmod +x "$KES_WINE32_LOADER"
fails=0
check() { # WHAT EXPECTED-SWITCH EXPECTED-HOLDER(yes|no)
  local state holder=no
  state=$(cat "$KES_WINE32_ENTRY")
  [[ -f $KES_WINE32_HOLDER ]] && holder=yes
  if [[ $state == "$2" && $holder == "$3" ]]; then
    echo "ok: $1"
  else
    echo "FAIL: $1: switch $state (want $2), holder file $holder (want $3)"
    fails=$((fails + 1))
  fi
}
# harness CODE: runs CODE in a shell of its own with the 32-bit harness loaded, as a test would.
harness() { bash -c "source '$SRC/tests/support/wine32_lib.sh'; $1" 2>>"$work/log"; }

echo 0 >"$KES_WINE32_ENTRY"
harness 'kes_wine32_on; [[ $KES_WINE32_MODE == emulated ]]; kes_wine32_off'
check "a test switches the emulation on and off again" 0 no

# Killed while it runs: nothing of its own clean-up happens.
(harness 'kes_wine32_on; kill -KILL $$' || true) 2>/dev/null
check "a killed test leaves the switch on" 1 yes
harness 'kes_wine32_on; echo "$KES_WINE32_MODE" >"'"$work"'/mode"; kes_wine32_off'
check "the next 32-bit test takes the switch as its own and switches it off" 0 no

(harness 'kes_wine32_on; kill -KILL $$' || true) 2>/dev/null
harness kes_wine32_release_stale
check "the next 64-bit test switches it off" 0 no

# A test that still runs keeps it on, even when a 64-bit test starts beside it (another run).
{ harness 'kes_wine32_on; touch "'"$work"'/on"; exec sleep 30'; } 2>/dev/null &
holder_shell=$!
for ((i = 0; i < 100; i++)); do
  [[ -f $work/on ]] && break
  sleep 0.1
done
harness kes_wine32_release_stale
check "a running test's switch is left on" 1 yes
pkill -P "$holder_shell" || true
wait "$holder_shell" 2>/dev/null || true

# The same process ID, taken by another process since: the start time tells them apart.
read -r _ started <"$KES_WINE32_HOLDER"
echo "$$ $((started + 1))" >"$KES_WINE32_HOLDER"
harness kes_wine32_release_stale
check "a holder whose process ID was reused counts as gone" 0 no

# Switched on by somebody else, outside the tests: not the harness's to switch off.
echo 1 >"$KES_WINE32_ENTRY"
harness kes_wine32_release_stale
check "a switch the harness did not turn on is left alone" 1 no

# Root writes the holder file: its folder must be one that only root may write, or anybody could
# put a link there for root to write through.
folder=$(dirname "$(env -u KES_WINE32_HOLDER bash -c \
  "source '$SRC/tests/support/wine_lib.sh'; echo \"\$KES_WINE32_HOLDER\"")")
if [[ $(stat -c '%u %A' "$folder") =~ ^0\ d....-..-.$ ]]; then
  echo "ok: the holder file's folder $folder is root's alone"
else
  echo "FAIL: the holder file's folder $folder is writable by others: $(stat -c '%U %A' "$folder")"
  fails=$((fails + 1))
fi

if ((fails)); then
  cat "$work/log"
  exit 1
fi
echo "PASS"
