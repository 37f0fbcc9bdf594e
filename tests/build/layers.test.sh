#!/usr/bin/env bash
# labels: build
# The layers hold: nothing in platform/ includes framework/ or app/, nothing in framework/
# includes app/, only the entry point above platform/ reaches <windows.h>, no handle is closed
# by hand above the platform, and no product target links a library of a higher layer (read from the dependency graph CMake writes for the native
# and, where its compiler is installed, the 64-bit Windows configuration).
set -euo pipefail
SRC=${1:?source folder}
cd "$SRC"
export LC_ALL=C
fail=0
bad() { echo "layers: $*" >&2; fail=1; }

includes() { grep -rn --include='*.h' --include='*.cpp' -E "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($2)/" $1 || true; }
hits=$(includes "platform" "framework|app"); [[ -z $hits ]] || bad "platform/ includes a higher layer:"$'\n'"$hits"
hits=$(includes "framework" "app"); [[ -z $hits ]] || bad "framework/ includes app/:"$'\n'"$hits"
hits=$(includes "platform/base" "platform/(api|sim|win32)|platform/[a-z_]+\\.h"); [[ -z $hits ]] || bad "platform/base includes the platform:"$'\n'"$hits"
hits=$(includes "platform/sim" "platform/win32"); [[ -z $hits ]] || bad "the simulated machine includes the real one:"$'\n'"$hits"
hits=$(includes "platform/win32" "platform/sim"); [[ -z $hits ]] || bad "the real machine includes the simulated one:"$'\n'"$hits"
hits=$(grep -rln -E '#[[:space:]]*include[[:space:]]*[<"](windows\.h|platform/win32/)' app framework | grep -v '^app/winmain\.cpp$' || true)
[[ -z $hits ]] || bad "only app/winmain.cpp may reach the Windows headers above platform/: $hits"

# Handles are owned (platform/unique_handle.h): nothing above the platform closes one by hand,
# apart from CloseMyHandle's own definition.
hits=$(grep -rn --include='*.h' --include='*.cpp' -E '\b(CloseHandle|RegCloseKey|FindClose|CloseMyHandle)[[:space:]]*\(' app framework |
  grep -v -E '^[^:]+:[0-9]+:[[:space:]]*//' |
  grep -v -E '^framework/process/close_handle\.(h|cpp):[0-9]+:(void CloseMyHandle|.*os\.sys\.CloseHandle\(handle\)|.*u"Failure in CloseHandle)' || true)
[[ -z $hits ]] || bad "a handle is closed by hand above the platform:"$'\n'"$hits"

# Rank of each product target; a target may link only targets of a lower rank.
declare -A rank=([kes_base]=0 [kes_platform_api]=1 [kes_platform_sim]=2 [kes_platform_win32]=2
                 [kes_framework]=3 [kes_app]=4 [Kestrune]=5)
check_graph() {  # $1: configure arguments
  local tmp; tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  if ! cmake -S "$SRC" -B "$tmp/b" $1 --graphviz="$tmp/g.dot" >"$tmp/log" 2>&1; then
    cat "$tmp/log" >&2; bad "configure failed ($1)"; return
  fi
  # node lines: "node3" [ label = "kes_app" ...]; edges: "node3" -> "node1" ...
  declare -A name=()
  while read -r id label; do name[$id]=$label; done < <(
    sed -n -E 's/^[[:space:]]*"(node[0-9]+)"[[:space:]]*\[[[:space:]]*label[[:space:]]*=[[:space:]]*"([^"]+)".*/\1 \2/p' "$tmp/g.dot")
  local edges=0
  while read -r from to; do
    local a=${name[$from]:-} b=${name[$to]:-}
    [[ -n ${rank[$a]:-} && -n ${rank[$b]:-} ]] || continue
    edges=$((edges + 1))
    (( rank[$b] < rank[$a] )) || bad "$a links $b, which is not below it"
    [[ $a == kes_platform_sim && $b == kes_platform_win32 || $a == kes_platform_win32 && $b == kes_platform_sim ]] &&
      bad "$a links the other back-end $b"
  done < <(sed -n -E 's/^[[:space:]]*"(node[0-9]+)"[[:space:]]*->[[:space:]]*"(node[0-9]+)".*/\1 \2/p' "$tmp/g.dot")
  (( edges >= 3 )) || bad "no dependency edges between product targets read ($1)"
  echo "layers: $edges edges between product targets checked ($1)"
}
check_graph "-G Ninja"
if command -v x86_64-w64-mingw32-g++-win32 >/dev/null || command -v x86_64-w64-mingw32-g++ >/dev/null; then
  check_graph "-G Ninja -DCMAKE_TOOLCHAIN_FILE=$SRC/cmake/toolchain-mingw-x86_64.cmake"
fi
exit $fail
