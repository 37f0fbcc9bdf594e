#!/usr/bin/env bash
# The whole suite again and again on a busy machine: a test that fails only when the machine is
# loaded shows up here, not in somebody's submission. Run scripts/test.sh once first (it installs,
# builds and runs everything once).
#
#   scripts/soak.sh [RUNS [CTEST-ARGS...]]   # default 10 runs of everything; stops at the first
#                                            # run that does not pass
#   scripts/soak.sh 20 -L wine                # only the Wine tests, 20 times
#
# Beside the runs, a second CPU-heavy job keeps compiling: clean rebuilds of the native tree in a
# scratch folder, KES_SOAK_LOAD_JOBS (default 1) compilers at a time. Each run's ctest output
# goes to build/soak/run-N.log, one line per run to build/soak/summary.txt.
set -uo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$SRC"
runs=${1:-10}
shift $(($# ? 1 : 0))
jobs=${KES_JOBS:-$(nproc)}
out=$SRC/build/soak
scratch=$out/load-build
mkdir -p "$out"
: >"$out/summary.txt"

cmake -S "$SRC" -B "$scratch" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKES_SANITIZE=ON >/dev/null ||
  exit 1
(
  builds=0
  while :; do
    ninja -C "$scratch" clean >/dev/null
    ninja -C "$scratch" -j "${KES_SOAK_LOAD_JOBS:-1}" >/dev/null 2>&1
    builds=$((builds + 1))
    echo "$builds" >"$out/load-builds"
  done
) &
load_job=$!
trap 'pkill -P "$load_job"; kill "$load_job" 2>/dev/null' EXIT
sleep 10 # let the compiling get going

passed=0
for ((run = 1; run <= runs; run++)); do
  started=$SECONDS
  ctest --preset linux -j "$jobs" "$@" >"$out/run-$run.log" 2>&1
  rc=$?
  result=$(grep -E 'tests passed|tests failed' "$out/run-$run.log" | tail -1)
  printf 'run %d: exit %d in %ds, load %s, %s\n' "$run" "$rc" $((SECONDS - started)) \
    "$(cut -d' ' -f1-3 /proc/loadavg)" "$result" | tee -a "$out/summary.txt"
  ((rc == 0)) || break
  passed=$((passed + 1))
done
echo "$passed consecutive runs passed, beside $(cat "$out/load-builds" 2>/dev/null || echo 0) clean rebuilds" |
  tee -a "$out/summary.txt"
((passed == runs))
