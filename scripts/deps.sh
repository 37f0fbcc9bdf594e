#!/usr/bin/env bash
# Installs what building and testing Kestrune needs on Debian 12, skipping what is already there:
# compilers for Linux and both Windows targets, the test libraries, and Wine with a virtual X
# server and CJK fonts so the real exe can be run and its Chinese texts read, with its 32-bit side
# so the 32-bit exe runs as a WOW64 process (tests/support/wine32_lib.sh).
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
  wine wine64 xvfb xdotool x11-utils xauth imagemagick
  fonts-wqy-microhei fonts-wine locales wine32:i386
)

as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "deps: need root (or sudo) to run: $*" >&2
    return 1
  fi
}

# Wine's 32-bit side comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "deps: adding the i386 architecture"
  as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  # Without recommends Wine stays small (no Mono or Gecko).
  as_root apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
else
  echo "deps: all packages present"
fi

# Wine renders CJK text and gives UTF-8 window titles only under a Chinese UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  echo "deps: generating locale zh_CN.UTF-8"
  if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen
fi

# Wine's 32-bit side is a 32-bit Linux program. Where the kernel cannot run one itself, QEMU's
# user-mode emulator does, through a binfmt_misc entry for 32-bit x86 programs. The entry is left
# switched off: while it is on, every 64-bit prefix made and every Wine session started also runs
# 32-bit parts under emulation, which makes the 64-bit tests slow; the 32-bit tests switch it on
# while they run.
binfmt=/proc/sys/fs/binfmt_misc
if [[ -x /usr/lib/wine/wine ]] && ! [[ -e $binfmt/qemu-i386 ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "deps: this kernel cannot run 32-bit programs; registering QEMU's emulator for them (off)"
  status=$(dpkg-query -W -f='${Status}' qemu-user 2>/dev/null || true)
  if [[ $status != "install ok installed" ]]; then
    as_root apt-get install -y -q --no-install-recommends qemu-user </dev/null
  fi
  [[ -e $binfmt/register ]] || as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  if ! [[ -e $binfmt/qemu-i386 ]]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | as_root tee "$binfmt/register" >/dev/null
  fi
  echo 0 | as_root tee "$binfmt/qemu-i386" >/dev/null
fi
