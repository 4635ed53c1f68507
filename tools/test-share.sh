#!/usr/bin/env bash
# Prints the test lines, the code lines and their ratio, counted in tracked
# lines that are neither blank nor comments. Tests: everything under tests/,
# the fuzz targets and the soak script; code: every other source file.
set -euo pipefail
cd "$(dirname "$0")/.."

count() { xargs -r cat | grep -cvE '^\s*(#.*|//.*)?$' || true; }
tests=$( { git ls-files tests; git ls-files 'fuzz/*.cpp' 'fuzz/*.h' 'fuzz/*.py' scripts/soak.py; } | count)
code=$(git ls-files '*.cpp' '*.h' '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' '*.js' '*.html' '*.css' |
    grep -vE '^(tests|fuzz)/|^scripts/soak\.py$' | count)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, code %d: %.1f%% (budget 35%%)\n", t, c, 100 * t / c }'
