# Harness for the Wine tests of the 32-bit Kestrune.exe, the one that ships, running as a WOW64
# process: a 32-bit process on 64-bit Windows, started by wine64 in a 64-bit prefix.
# shellcheck shell=bash
# Sourced (never run) instead of wine_lib.sh, whose functions it brings along:
#
#   source "$SRC/tests/support/wine32_lib.sh"
#   kes_wine32_begin "$SRC" wow64     # skips (exit 77) where Wine's 32-bit side cannot run
#   kes_wine_install "$SRC/build/windows-x86/Kestrune.exe"
#   kes_wine_run "$KES_WINE32_SECS" 'C:\Tools\Kestrune.exe' /nothing
#
# Wine's 32-bit side (wine32:i386) is a 32-bit Linux program. A kernel with 32-bit support runs it
# itself. Elsewhere QEMU's user-mode emulator runs it through the binfmt_misc entry "qemu-i386",
# which scripts/deps.sh registers switched off: it is switched on only while a test here runs
# (one at a time, like every Wine test), because while it is on, every 64-bit prefix made and every
# session started also runs 32-bit parts under emulation, minutes instead of seconds. Each start
# of a 32-bit exe then takes some 45 s.
#
# The prefixes come from a template of their own (build/linux/wine32-template), made with the
# 32-bit side running so that SysWOW64 is filled; the 64-bit tests' template stays as it was.
# KES_REQUIRE_WINE32=1 (.ci/run sets it) turns a skip into a failure.

source "$(dirname "${BASH_SOURCE[0]}")/wine_lib.sh"

: "${KES_WINE32_LOADER:=/usr/lib/wine/wine}"
KES_WINE32_SWITCHED=0
# How the 32-bit side runs ("native" or "emulated"), and a time limit for one start of a 32-bit
# exe that suits it; both are set by kes_wine32_begin.
KES_WINE32_MODE=
KES_WINE32_SECS=120

kes_wine32_skip() {
  [[ ${KES_REQUIRE_WINE32:-0} == 1 ]] && kes_fail "$* (KES_REQUIRE_WINE32=1: this machine must run it)"
  echo "SKIP: $*"
  exit 77
}

kes_wine32_runs() { "$KES_WINE32_LOADER" --version >/dev/null 2>&1; }

# Makes sure Wine's 32-bit loader runs: by the kernel itself, or by switching the emulation on.
kes_wine32_on() {
  kes_wine32_release_stale # or the left-on emulation would be taken for the kernel's own support
  [[ -x $KES_WINE32_LOADER ]] ||
    kes_wine32_skip "Wine's 32-bit side is not installed (scripts/deps.sh installs wine32:i386)"
  if ! kes_wine32_runs; then
    [[ -f $KES_WINE32_ENTRY ]] || kes_wine32_skip "this kernel cannot run 32-bit programs and no" \
      "qemu-i386 binfmt_misc entry is registered (scripts/deps.sh, as root, registers one)"
    [[ -w $KES_WINE32_ENTRY ]] || kes_wine32_skip "switching the qemu-i386 emulation on needs root"
    kes_process_id $$ >"$KES_WINE32_HOLDER" || kes_wine32_skip "cannot write $KES_WINE32_HOLDER"
    echo 1 >"$KES_WINE32_ENTRY" || kes_wine32_skip "could not switch the qemu-i386 emulation on"
    KES_WINE32_SWITCHED=1
    kes_wine32_runs || kes_fail "Wine's 32-bit loader does not run even through qemu-i386"
  fi
  if kes_wine32_entry_on; then
    KES_WINE32_MODE=emulated
    KES_WINE32_SECS=600
    # Making the template runs the 32-bit part of Wine's set-up under emulation: minutes.
    : "${KES_WINE_BOOT_SECS:=1200}"
    export KES_WINE_BOOT_SECS
  else
    KES_WINE32_MODE=native
  fi
}

kes_wine32_off() {
  if ((KES_WINE32_SWITCHED)); then
    if echo 0 >"$KES_WINE32_ENTRY"; then
      rm -f "$KES_WINE32_HOLDER"
    else
      kes_log "could not switch the qemu-i386 emulation off again"
    fi
    KES_WINE32_SWITCHED=0
  fi
}

# kes_wine_end of wine_lib.sh, which every test ends through, also switches the emulation off.
eval "kes_wine64_end() $(declare -f kes_wine_end | tail -n +2)"
kes_wine_end() {
  local rc=$?
  set +e # the script ends anyway: every step of the clean-up must run
  (exit "$rc")
  kes_wine64_end
  rc=$?
  kes_wine32_off
  return "$rc"
}

# kes_wine32_begin SRC NAME: like kes_wine_begin, with Wine's 32-bit side running and a prefix
# from the WOW64 template.
kes_wine32_begin() {
  local src
  src=$(cd "${1:?source folder}" && pwd)
  trap kes_wine32_off EXIT
  [[ -x $KES_WINE ]] || kes_wine32_skip "$KES_WINE is not installed (scripts/deps.sh installs it)"
  kes_wine32_on
  : "${KES_WINE_TEMPLATE:=$src/build/linux/wine32-template}"
  # A template made while the 32-bit side did not run has an empty SysWOW64: make it again.
  if [[ -f $KES_WINE_TEMPLATE/.kes-template && ! -f $KES_WINE_TEMPLATE/drive_c/windows/syswow64/kernel32.dll ]]; then
    kes_log "template $KES_WINE_TEMPLATE lacks its 32-bit side; making it again"
    rm -f "$KES_WINE_TEMPLATE/.kes-template"
  fi
  kes_wine_begin "$src" "${2:-wow64}"
  [[ -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]] ||
    kes_fail "the prefix has no 32-bit side: SysWOW64 stayed empty while the template was made"
  kes_log "Wine's 32-bit side runs $KES_WINE32_MODE"
}
