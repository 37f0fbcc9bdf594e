#!/usr/bin/env bash
# The Wine harness's X servers: test runs that start theirs at the same moment (several people's
# runs on one machine) get a display each. Two sessions on one display see each other's windows
# and keys, and the first to end takes the screen from the other.
# labels: support robustness
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
if ! command -v Xvfb >/dev/null || ! command -v xdpyinfo >/dev/null; then
  echo "SKIP: no Xvfb or xdpyinfo (scripts/deps.sh installs them)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# start NAME: an X server started as a Wine test starts it; writes its display and whether that
# server is still the one answering a moment later, when the other one has started too.
start() {
  source "$SRC/tests/support/wine_lib.sh"
  kes_xvfb_start
  sleep 1
  local alive=dead
  kill -0 "$KES_XVFB_PID" 2>/dev/null && alive=alive
  echo "$DISPLAY $alive" >"$work/$1"
  kill "$KES_XVFB_PID" 2>/dev/null || true
  wait "$KES_XVFB_PID" 2>/dev/null || true
}

for round in 1 2 3 4 5; do
  start a &
  start b &
  wait
  read -r display_a alive_a <"$work/a"
  read -r display_b alive_b <"$work/b"
  if [[ $display_a == "$display_b" || $alive_a != alive || $alive_b != alive ]]; then
    echo "FAIL: round $round: one harness got $display_a ($alive_a), the other $display_b ($alive_b)"
    exit 1
  fi
done
echo "PASS: X servers started at the same moment got displays of their own, 5 times in a row"
