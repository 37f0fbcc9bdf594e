#!/usr/bin/env bash
# labels: exe shipped-exe
# Both Windows builds of Kestrune.exe load on the oldest Windows they claim: Windows XP SP3 (5.1)
# for the 32-bit exe, XP x64 / Server 2003 x64 (5.2) for the 64-bit one. The loader refuses an exe
# whose import table names a function the system DLL lacks, before any of the program's own code
# runs; a delay-loaded function that is missing ends the program at its first call. So every
# function in either table must exist on the claimed minimum.
#
# Which Windows has which function is taken from the Windows headers themselves: a probe that
# names every imported function is compiled with the headers set to each Windows version in turn
# (_WIN32_WINNT), and a function is as new as the first version whose headers declare it. The few
# C runtime entry points that no header declares are accepted only where the toolchain's own
# start-up object (crt2u.o, linked into every program it builds) calls them.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -std=c++17 -O1 "$SRC/tools/peimports/peimports.cpp" -o "$work/peimports"

# The Windows versions the headers know, oldest first, and their names for the report.
levels=(0x0500 0x0501 0x0502 0x0600 0x0601 0x0602 0x0603 0x0A00)
declare -A level_name=([0x0500]="2000 (5.0)" [0x0501]="XP (5.1)" [0x0502]="Server 2003 / XP x64 (5.2)"
  [0x0600]="Vista (6.0)" [0x0601]="7 (6.1)" [0x0602]="8 (6.2)" [0x0603]="8.1 (6.3)" [0x0A00]="10 (10.0)")
# Every header that declares a function the program or its runtime calls.
headers=(windows.h shellapi.h shlobj.h shlwapi.h userenv.h imagehlp.h commctrl.h mmsystem.h lm.h
  winnetwk.h ole2.h oleauto.h psapi.h tlhelp32.h winternl.h assert.h ctype.h errno.h io.h locale.h
  malloc.h math.h process.h setjmp.h signal.h stdio.h stdlib.h string.h time.h wchar.h)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# undeclared CC LEVEL NAMES_FILE: the names that the headers at LEVEL do not declare, one a line.
undeclared() {
  local cc=$1 level=$2 names=$3 probe=$work/probe_$2.c
  {
    printf '#define WINVER %s\n#define _WIN32_WINNT %s\n' "$level" "$level"
    printf '#include <%s>\n' "${headers[@]}"
    echo 'void kes_probe(void) {'
    sed 's/.*/  (void)(&);/' "$names"
    echo '}'
  } >"$probe"
  local out=$work/probe_$2.out
  LC_ALL=C "$cc" -fsyntax-only -w -x c "$probe" >"$out" 2>&1 || true
  # Any other error means the probe itself is broken, and its answer worthless.
  if grep 'error:' "$out" | grep -qv "undeclared (first use"; then
    grep 'error:' "$out" | grep -v "undeclared (first use" | head -5 >&2
    echo "FAIL: the header probe for $level does not compile" >&2
    return 1
  fi
  sed -n "s/.*error: '\([A-Za-z_0-9]*\)' undeclared.*/\1/p" "$out" | sort -u
}

# check PRESET TOOL_PREFIX MINIMUM_LEVEL
check() {
  local preset=$1 tools=$2 minimum=$3 exe=$SRC/build/$1/Kestrune.exe
  if [[ ! -f $exe ]]; then
    fail "$preset: $exe is not built (cmake --preset $preset && cmake --build --preset $preset)"
    return
  fi
  local cc
  cc=$(sed -n 's/^CMAKE_C_COMPILER:[A-Z]*=//p' "$SRC/build/$preset/CMakeCache.txt")
  [[ -n $cc ]] || cc=$tools-gcc
  local table=$work/$preset.imports
  "$work/peimports" "$exe" >"$table" || {
    fail "$preset: cannot read the import tables of $exe"
    return
  }
  local unbound
  unbound=$(awk '$1 == "delay-nostub" {printf " %s (%s)", $3, $2}' "$table")
  [[ -z $unbound ]] || fail "$preset: delay imports without their stub, whose first call jumps to" \
    "address 0:$unbound (GNU ld drops the stub of a function called through its import address)"
  if grep -q ' #[0-9]*$' "$table"; then
    fail "$preset: imports by ordinal, which no header can vouch for: $(grep ' #' "$table" | tr '\n' ' ')"
  fi
  local names=$work/$preset.names
  awk '$3 !~ /^#/ {print $3}' "$table" | sort -u >"$names"

  # The version each function first appears in, as far as it matters: the claimed minimum, then
  # newer versions while some name is still unknown.
  declare -A first=()
  local level name
  local missing=$work/$preset.missing
  for level in "${levels[@]}"; do
    ((level >= minimum)) || continue
    grep -qvxF -f <(printf '%s\n' "${!first[@]}") "$names" || break
    undeclared "$cc" "$level" "$names" >"$missing"
    while read -r name; do
      if [[ -z ${first[$name]:-} ]] && ! grep -qx -- "$name" "$missing"; then
        first[$name]=$level
      fi
    done <"$names"
  done

  # Names no header declares: only the start-up object's own calls are accepted.
  local startup
  startup=$("$tools-nm" -u "$("$cc" -print-file-name=crt2u.o)" | awk '{print $2}' |
    sed -E 's/^__imp_//; s/@[0-9]+$//')
  [[ $tools == i686-* ]] && startup=$(sed 's/^_//' <<<"$startup")
  local needed=$minimum dll
  while read -r _ dll name; do
    level=${first[$name]:-}
    if [[ -z $level ]]; then
      grep -qx -- "$name" <<<"$startup" ||
        fail "$preset: imports $name from $dll, which no Windows header declares (add its header to the probe)"
      continue
    fi
    if ((level > minimum)); then
      fail "$preset: imports $name from $dll ($(grep -q "^delay $dll $name\$" "$table" && echo delay-loaded || echo import table)), which Windows ${level_name[$level]} introduced; the exe claims ${level_name[$minimum]}"
    fi
    if ((level > needed)); then needed=$level; fi
  done < <(awk '$3 !~ /^#/' "$table")

  printf '%-12s claims Windows %s; its imports exist from Windows %s on:\n' "$preset" \
    "${level_name[$minimum]}" "${level_name[$needed]}"
  awk '{n[$1 " " $2]++} END {for (k in n) printf "  %-7s %-14s %3d\n", substr(k, 1, index(k, " ") - 1),
    substr(k, index(k, " ") + 1), n[k]}' "$table" | sort -k1,1r -k2,2f
}

# The DLLs the build delay-loads (cmake/windows.cmake) must be in the delay-import table only:
# otherwise start-up loads them again.
delay_loaded=$(sed -n 's/^set(KES_DELAY_LOADED \(.*\))$/\1/p' "$SRC/cmake/windows.cmake")
[[ -n $delay_loaded ]] || fail "no KES_DELAY_LOADED list in cmake/windows.cmake"
check_delay_loaded() {
  local preset=$1 table=$work/$1.imports dll
  [[ -f $table ]] || return 0
  for dll in $delay_loaded; do
    grep -qiE "^delay(-nostub)? $dll\.dll " "$table" || fail "$preset: $dll.dll is not delay-loaded"
    if grep -qi "^import $dll\.dll " "$table"; then
      fail "$preset: $dll.dll is in the import table, so start-up loads it"
    fi
  done
}

check windows-x86 i686-w64-mingw32 0x0501
check windows-x64 x86_64-w64-mingw32 0x0502
check_delay_loaded windows-x86
check_delay_loaded windows-x64

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "PASS: every function both exes import exists on the oldest Windows they claim"
