#!/bin/sh
# Prints the program's lines, the tests' lines and their ratio, counted the
# same way every time: non-blank lines of *.cpp, *.h and *.c files that git
# knows of (tracked or new), tests = tests/ without tests/data/, program =
# every other folder but build*/. The aim is a ratio of at most 0.35.
set -eu
cd "$(dirname "$0")/.."
sources() { git ls-files -co --exclude-standard | grep -E '\.(cpp|h|c)$' | grep -v '^build'; }
count() { xargs -r cat 2>/dev/null | grep -c '[^[:space:]]' || true; }
tests=$(sources | grep '^tests/' | grep -v '^tests/data/' | count)
program=$(sources | grep -v '^tests/' | count)
awk -v t="$tests" -v p="$program" 'BEGIN {
  printf "program lines: %d\ntest lines:    %d\nratio:         %.2f\n", p, t, (p > 0 ? t / p : 0)
}'
