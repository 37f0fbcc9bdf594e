#!/usr/bin/env bash
# Reports how Kestrune.exe's start-up under Wine compares with a hello-world window program and
# how big the release exes are (bench/startup_wine.sh). Only Kestrune.exe showing no window fails
# it; a measurement that cannot be taken skips it; the figures are for people to read.
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
exec bash "$SRC/bench/startup_wine.sh" "$SRC" "${KES_RUNS:-5}"
