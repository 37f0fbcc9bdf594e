#!/usr/bin/env bash
# Installs what building and testing Kestrune needs on Debian 12, skipping what is already there:
# compilers for Linux and both Windows targets, the test libraries, and Wine with a virtual X
# server and CJK fonts so the real exe can be run and its Chinese texts read.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
  wine wine64 xvfb xdotool x11-utils xauth imagemagick
  fonts-wqy-microhei fonts-wine locales
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

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  # Without recommends Wine stays small (no 32-bit multiarch, no Mono or Gecko).
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
