#!/usr/bin/env bash
# A registry write of the harness's own set-up that Wine turns down once is tried again: the
# program under test has not run yet, so it must not fail the test. That holds for a scenario's
# writes and for the template prefix's. One that Wine never takes fails, with what reg.exe said.
# Stand-ins play Wine and its server.
# labels: support robustness
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KES_WINE=$work/wine64 KES_WINESERVER=$work/wineserver KES_WINE_FONTS=$work/fonts
mkdir "$KES_WINE_FONTS"
: >"$KES_WINE_FONTS/standin.ttf"
printf '#!/bin/sh\nexit 0\n' >"$KES_WINESERVER"
# Turns down the first REFUSALS "reg add" calls, counting them in the file calls.
cat >"$KES_WINE" <<'STANDIN'
#!/bin/sh
case "$1" in
  --version) echo wine-standin; exit 0 ;;
  wineboot) mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"; exit 0 ;;
  reg) ;;
  *) exit 0 ;;
esac
calls=$(($(cat "${0%/*}/calls" 2>/dev/null || echo 0) + 1))
echo "$calls" >"${0%/*}/calls"
[ "$calls" -gt "$REFUSALS" ] && exit 0
echo "reg: 无法访问注册表项" >&2
exit 1
STANDIN
chmod +x "$KES_WINE" "$KES_WINESERVER"
fail() {
  echo "FAIL: $*, the log:"
  cat "$work/log"
  exit 1
}
# harness REFUSALS COMMAND: runs a harness command while Wine turns the first REFUSALS writes
# down; sets rc and calls (the writes tried).
harness() {
  rm -f "$work/calls"
  rc=0
  REFUSALS=$1 bash -c "set -euo pipefail; SRC='$SRC'; source '$SRC/tests/support/window_lib.sh'
    KES_RUN_DIR='$work'; KES_WINE_TEMPLATE='$work/tpl'; $2" 2>"$work/log" || rc=$?
  calls=$(cat "$work/calls")
}

scenario="e2e_reg_add 'HKLM\\Software\\Quorlen\\Kestrune' BootMode REG_DWORD 2"
harness 1 "$scenario"
if ((rc != 0 || calls != 2)); then
  fail "a scenario's write turned down once: exit $rc after $calls tries"
fi
harness 9 "$scenario"
if ((rc == 0 || calls != 3)) || ! grep -q '无法访问注册表项' "$work/log"; then
  fail "a scenario's write never taken: exit $rc after $calls tries"
fi

# The template prefix makes six writes; the first is turned down once.
harness 1 kes_wine_template
if ((rc != 0 || calls != 7)) || [[ ! -f $work/tpl/.kes-template ]]; then
  fail "a template write turned down once: exit $rc after $calls tries"
fi
grep -q 'WineDbg\\ShowCrashDialog, try 1 of 3' "$work/log" || fail "the refusal was not logged"
rm -rf "$work/tpl"
harness 9 kes_wine_template
if ((rc == 0 || calls != 3)) || [[ -e $work/tpl ]] || compgen -G "$work/tpl.new.*" >/dev/null ||
  ! grep -q '无法访问注册表项' "$work/log"; then
  fail "a template write never taken: exit $rc after $calls tries"
fi
echo "PASS"
