#!/usr/bin/env bash
# Both Windows builds of Kestrune.exe carry the five SafeBoot registry files as "CUSTOM"
# resources, byte for byte as the build generated them (the same bytes the simulated machine
# serves to the native tests). Skips (77) when no Windows build or no host compiler is present.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
# The tools' answers are read as text: untranslated, whatever locale the caller runs.
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v c++ >/dev/null || { echo "SKIP: no host C++ compiler" >&2; exit 77; }
c++ -std=c++17 -O1 "$SRC/tools/resdump/resdump.cpp" -o "$work/resdump"

failures=0
checked=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# check PRESET TOOL_PREFIX
check() {
  local preset=$1 tools=$2
  local dir=$SRC/build/$preset exe=$SRC/build/$preset/Kestrune.exe
  [[ -f $exe && -d $dir/safeboot ]] || { echo "note: $preset not built, not checked" >&2; return; }
  checked=$((checked + 1))
  local out=$work/$preset
  mkdir -p "$out"
  if ! "$tools-windres" -i "$exe" -O res -o "$out/all.res" 2>"$out/err"; then
    fail "$preset: cannot read the resources of $exe: $(cat "$out/err")"
    return
  fi
  local count
  count=$("$work/resdump" "$out/all.res" CUSTOM "$out" .reg)
  [[ $count == 5 ]] || fail "$preset: $count CUSTOM resources instead of 5"
  for name in sb_10 sb_8 sb_7 sb_v sb_xp; do
    if [[ ! -f $out/$name.reg ]]; then
      fail "$preset: resource ${name^^} missing"
    elif ! cmp -s "$out/$name.reg" "$dir/safeboot/$name.reg"; then
      fail "$preset: resource ${name^^} differs from the generated $name.reg"
    fi
  done
}

check windows-x64 x86_64-w64-mingw32
check windows-x86 i686-w64-mingw32

if ((checked == 0)); then
  echo "SKIP: no Windows build to check" >&2
  exit 77
fi
if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "OK: the SafeBoot resources of $checked Windows build(s) match the generated files"
