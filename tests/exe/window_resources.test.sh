#!/usr/bin/env bash
# Both Windows builds of Kestrune.exe carry, read back from the exe itself, what Windows and the
# program look for: the manifest (administrator rights, common controls 6, the supported Windows
# versions, per-monitor DPI awareness), the version resource with the build flavour in
# "Comments", the window icon group "A1" (16, 32 and 48 pixels, 32-bit) and the five SafeBoot
# registry files (present here; tests/exe/safeboot_resources.test.sh compares their bytes).
# Checks every build present and fails on any fault; skips (77) when a build or the host C++
# compiler is missing. KES_WINDOWS_BUILDS="folder:tool-prefix ..." checks other build folders.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
# The tools' answers are read as text: untranslated, whatever locale the caller runs.
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v c++ >/dev/null || { echo "SKIP: no host C++ compiler" >&2; exit 77; }
c++ -std=c++17 -O1 "$SRC/tools/resdump/resdump.cpp" -o "$work/resdump"

# FILEVERSION text as the build writes it: project(Kestrune VERSION a.b.c[.d]) -> a.b.c.d
version=$(sed -n 's/^project(Kestrune VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
[[ -n $version ]] || { echo "FAIL: no project version in CMakeLists.txt" >&2; exit 1; }
while [[ $(tr -cd . <<<"$version" | wc -c) -lt 3 ]]; do version+=.0; done

failures=0
checked=0
missing=()
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Unsigned little-endian number of N bytes at OFFSET of the byte list in $bytes.
le() {
  local offset=$1 n=$2 value=0 i
  for ((i = n - 1; i >= 0; i--)); do value=$((value * 256 + bytes[offset + i])); done
  echo "$value"
}

check_manifest() {
  local label=$1 xml=$2 want
  for want in 'level="requireAdministrator"' \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}' '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' \
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' \
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>true/pm</dpiAware>'; do
    grep -qF -- "$want" "$xml" || fail "$label: manifest lacks $want"
  done
  grep -q '<dpiAwareness[^>]*>[^<]*PerMonitorV2' "$xml" ||
    fail "$label: manifest does not ask for PerMonitorV2 DPI awareness"
}

check_version() {
  local label=$1 rc=$2 flavour=$3 want
  for want in "VALUE \"FileVersion\", \"$version\"" 'VALUE "ProductName", "Kestrune"' \
    "VALUE \"Comments\", \"$flavour\""; do
    grep -qF -- "$want" "$rc" || fail "$label: version resource lacks: $want"
  done
}

# The group directory: reserved 0, type 1, count, then per image width, height, colours,
# reserved, planes, bit count, byte size, RT_ICON id.
check_icon() {
  local label=$1 list=$2
  if ! "$work/resdump" "$work/$label.res" --get '#14' a1 "$work/$label.a1" 2>/dev/null; then
    fail "$label: no icon group A1 (RT_GROUP_ICON named A1): the window would have no icon"
    return
  fi
  mapfile -t bytes < <(od -An -v -tu1 -w1 "$work/$label.a1" | tr -d ' ')
  local count
  count=$(le 4 2)
  if [[ $(le 0 2) != 0 || $(le 2 2) != 1 || ${#bytes[@]} -ne $((6 + 14 * count)) ]]; then
    fail "$label: icon group A1 is not an icon directory (${#bytes[@]} bytes)"
    return
  fi
  [[ $count == 3 ]] || fail "$label: icon group A1 has $count images instead of 3"
  local sizes=() i
  for ((i = 0; i < count; i++)); do
    local e=$((6 + 14 * i))
    local w=${bytes[e]} h=${bytes[e + 1]} bits size id
    bits=$(le $((e + 6)) 2)
    size=$(le $((e + 8)) 4)
    id=$(le $((e + 12)) 2)
    sizes+=("$w")
    [[ $w == "$h" ]] || fail "$label: icon image $id is ${w}x$h, not square"
    [[ $bits == 32 ]] || fail "$label: icon image ${w}x$h has $bits bits per pixel instead of 32"
    grep -qx "#3 #$id $size" "$list" ||
      fail "$label: icon image ${w}x$h (RT_ICON #$id, $size bytes) is not in the exe"
  done
  [[ $(printf '%s\n' "${sizes[@]}" | sort -n | tr '\n' ' ') == '16 32 48 ' ]] ||
    fail "$label: icon group A1 has sizes ${sizes[*]} instead of 16 32 48"
}

# check FOLDER TOOL_PREFIX
check() {
  local folder=$1 tools=$2
  local dir=$SRC/build/$folder exe=$SRC/build/$folder/Kestrune.exe label=$1
  if [[ ! -f $exe ]]; then
    missing+=("$folder")
    return
  fi
  checked=$((checked + 1))
  if ! "$tools-windres" -i "$exe" -O res -o "$work/$label.res" 2>"$work/err" ||
    ! "$tools-windres" -i "$exe" -O rc -o "$work/$label.rc" 2>>"$work/err"; then
    fail "$label: cannot read the resources of $exe: $(cat "$work/err")"
    return
  fi
  local list=$work/$label.list
  "$work/resdump" "$work/$label.res" --list >"$list"

  if "$work/resdump" "$work/$label.res" --get '#24' '#1' "$work/$label.manifest" 2>/dev/null; then
    check_manifest "$label" "$work/$label.manifest"
  else
    fail "$label: no manifest (RT_MANIFEST #1): Windows would start it without administrator rights"
  fi

  local flavour
  flavour=$(sed -n 's/^KES_FLAVOUR:STRING=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
  if grep -q '^#16 #1 ' "$list"; then
    check_version "$label" "$work/$label.rc" "$flavour"
  else
    fail "$label: no version resource (RT_VERSION #1)"
  fi

  check_icon "$label" "$list"

  local name
  for name in sb_10 sb_8 sb_7 sb_v sb_xp; do
    grep -q "^custom $name [1-9]" "$list" || fail "$label: CUSTOM resource ${name^^} missing or empty"
  done
  echo "$label: $(wc -l <"$list") resources read back, Comments=\"$flavour\""
}

for build in ${KES_WINDOWS_BUILDS:-windows-x64:x86_64-w64-mingw32 windows-x86:i686-w64-mingw32}; do
  check "${build%%:*}" "${build#*:}"
done

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
if ((${#missing[@]} > 0)); then
  echo "SKIP: not built: ${missing[*]} (checked $checked build(s) without fault)" >&2
  exit 77
fi
echo "OK: the resources of $checked Windows build(s) are complete"
