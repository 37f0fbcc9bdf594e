#!/usr/bin/env bash
# A Wine scenario's set-up write that Wine turns down once is tried again: the program under test
# has not run yet, so it must not fail the test. One that Wine never takes fails it, with what
# reg.exe said. A stand-in plays Wine's reg.exe.
# labels: support robustness
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KES_WINE=$work/wine64
cat >"$KES_WINE" <<'STANDIN'
#!/bin/sh
calls=$(($(cat "${0%/*}/calls" 2>/dev/null || echo 0) + 1))
echo "$calls" >"${0%/*}/calls"
[ "$calls" -gt "$REFUSALS" ] && exit 0
echo "reg: 无法访问注册表项" >&2
exit 1
STANDIN
chmod +x "$KES_WINE"
# write REFUSALS: one set-up write, when Wine turns the first REFUSALS tries down; sets rc, calls.
write() {
  rm -f "$work/calls"
  rc=0
  REFUSALS=$1 bash -c "SRC='$SRC'; source '$SRC/tests/support/window_lib.sh'; KES_RUN_DIR='$work'
    e2e_reg_add 'HKLM\\Software\\Quorlen\\Kestrune' BootMode REG_DWORD 2" 2>"$work/log" || rc=$?
  calls=$(cat "$work/calls")
}
write 1
if ((rc != 0 || calls != 2)); then
  echo "FAIL: a write turned down once: exit $rc after $calls tries"
  cat "$work/log"
  exit 1
fi
write 9
if ((rc == 0 || calls != 3)) || ! grep -q '无法访问注册表项' "$work/log"; then
  echo "FAIL: a write never taken: exit $rc after $calls tries, the log:"
  cat "$work/log"
  exit 1
fi
echo "PASS"
