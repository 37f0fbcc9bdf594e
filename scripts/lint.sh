#!/usr/bin/env bash
# Style checks run by the test command: clang-format in check mode over every C and C++ file of
# the tree, then clang-tidy (.clang-tidy) over app/ and framework/ with the native build's
# compile commands. Exits non-zero on the first kind of finding and says where.
set -euo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$SRC"
export LC_ALL=C
jobs=${KES_JOBS:-$(nproc)}
build=${KES_LINT_BUILD:-build/linux}

echo "== lint: clang-format"
git ls-files -z -- '*.c' '*.h' '*.cpp' | xargs -0 clang-format --dry-run --Werror

echo "== lint: clang-tidy ($jobs jobs)"
[[ -f $build/compile_commands.json ]] || { echo "lint: no $build/compile_commands.json (configure the linux preset first)" >&2; exit 1; }
# clang-tidy counts the warnings it suppressed in system headers on stderr; only findings matter.
git ls-files -- 'app/*.cpp' 'framework/*.cpp' | grep -v '^app/winmain\.cpp$' |
  xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option \
    2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "== lint: clean"
