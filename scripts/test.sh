#!/usr/bin/env bash
# Every test: installs what is missing, builds the three presets (the Linux build against the
# simulated machine, and Kestrune.exe for 64- and 32-bit Windows), checks the style
# (scripts/lint.sh), then runs the whole suite, which includes the checks of the Windows exes
# and the runs of the real exe under Wine.
set -euo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$SRC"
jobs=${KES_JOBS:-$(nproc)}

bash scripts/deps.sh
for preset in linux windows-x64 windows-x86; do
  echo "== build $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
done
echo "== lint"
bash scripts/lint.sh
echo "== test"
ctest --preset linux -j "$jobs"
