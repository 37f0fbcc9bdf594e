#!/usr/bin/env bash
# Both Windows builds of Kestrune.exe exist and carry what Windows and the program itself read
# from them: the version resource (with the "Comments" flavour text of their build), the
# manifest that asks for administrator rights and common controls 6, the GUI subsystem at a
# version XP still loads, and no import of a runtime DLL that a bare Windows lacks.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
# The tools' answers are read as text: untranslated, whatever locale the caller runs.
export LC_ALL=C

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The version the build writes into FILEVERSION: project(Kestrune VERSION a.b.c[.d]) -> a.b.c.d
version=$(sed -n 's/^project(Kestrune VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
[[ -n $version ]] || { echo "FAIL: no project version in CMakeLists.txt" >&2; exit 1; }
while [[ $(tr -cd . <<<"$version" | wc -c) -lt 3 ]]; do version+=.0; done

# check PRESET TOOL_PREFIX PE_FORMAT MAX_SUBSYSTEM_MAJOR.MINOR
check() {
  local preset=$1 tools=$2 format=$3 max_subsystem=$4
  local dir=$SRC/build/$preset exe=$SRC/build/$preset/Kestrune.exe
  if [[ ! -f $exe ]]; then
    fail "$preset: $exe is not built (cmake --preset $preset && cmake --build --preset $preset)"
    return
  fi
  local headers imports rc flavour
  if ! headers=$("$tools-objdump" -p "$exe" 2>&1) || ! rc=$("$tools-windres" -i "$exe" -O rc 2>&1); then
    fail "$preset: $exe is not a $format image the $tools tools can read"
    return
  fi

  grep -q "file format $format" <<<"$headers" || fail "$preset: not a $format image"
  grep -qE 'Subsystem[[:space:]]+00000002' <<<"$headers" || fail "$preset: not a Windows GUI program"
  local major minor
  major=$(sed -n 's/^MajorSubsystemVersion[[:space:]]*//p' <<<"$headers")
  minor=$(sed -n 's/^MinorSubsystemVersion[[:space:]]*//p' <<<"$headers")
  if [[ $(printf '%s\n%s\n' "$major.$minor" "$max_subsystem" | sort -V | tail -1) != "$max_subsystem" ]]; then
    fail "$preset: subsystem version $major.$minor is newer than $max_subsystem (Windows XP would refuse it)"
  fi
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
  local dll
  for dll in $imports; do
    case ${dll,,} in
      lib* | api-ms-win-* | ucrtbase*) fail "$preset: imports $dll, which a bare Windows lacks" ;;
    esac
  done

  flavour=$(sed -n 's/^KES_FLAVOUR:STRING=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
  local want
  for want in 'VERSIONINFO' \
    "FILEVERSION ${version//./, }" \
    'VALUE "CompanyName", "Quorlen"' \
    'VALUE "ProductName", "Kestrune"' \
    'VALUE "OriginalFilename", "Kestrune.exe"' \
    "VALUE \"FileVersion\", \"$version\"" \
    "VALUE \"Comments\", \"$flavour\"" \
    'VALUE "Translation", 0x409, 1200'; do
    grep -qF -- "$want" <<<"$rc" || fail "$preset: version resource lacks: $want"
  done
  # Read back as UTF-16 code points: "安全模式" proves the UTF-8 source was read as UTF-8.
  grep -q 'VALUE "FileDescription", L"Kestrune \\x5b89\\x5168\\x6a21\\x5f0f' <<<"$rc" ||
    fail "$preset: FileDescription lost its Chinese text: $(grep FileDescription <<<"$rc")"

  local manifest
  manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$rc")
  [[ -n $manifest ]] || fail "$preset: no manifest resource (type 24, id 1)"
  # windres prints the manifest as one quoted string per line; join them back into one text.
  local joined
  joined=$(tr -d '\n' <<<"$manifest" | sed 's/\\n"[[:space:]]*"//g')
  for want in 'level=""requireAdministrator""' 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""' \
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '{e2011457-1546-43c5-a5fe-008deee3d3f0}' 'true/pm'; do
    grep -qF -- "$want" <<<"$joined" ||
      fail "$preset: manifest lacks: $want"
  done

  printf '%-12s %s  %9d bytes  %s  Comments="%s"\n' "$preset" Kestrune.exe "$(stat -c %s "$exe")" \
    "$format" "$flavour"
  if [[ -f $dir/framework_e2e.exe ]]; then
    printf '%-12s %s  %9d bytes\n' "$preset" framework_e2e.exe "$(stat -c %s "$dir/framework_e2e.exe")"
  fi
}

check windows-x64 x86_64-w64-mingw32 pei-x86-64 5.2
check windows-x86 i686-w64-mingw32 pei-i386 5.1

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: both Kestrune.exe builds carry their version resource and manifest"
