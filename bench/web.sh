#!/bin/sh
# The page against the command line: the time of one processing run of a
# field data file of SETUPS set-ups (default 100000) in build-web/vireo.html
# (headless Chromium) and in vireo-cli on this machine, and the page's size.
#   bench/web.sh [SETUPS]
# VIREO_BENCH_RUNS sets the runs of each side (3). VIREO_BENCH_BUILD names
# a build folder configured already (with -DVIREO_WITH_BENCH=ON); the
# default is build-bench, configured here.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
setups=${1:-100000}
build="${VIREO_BENCH_BUILD:-$here/build-bench}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  "$here/tools/install-deps.sh" bench
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVIREO_WITH_GUI=OFF -DVIREO_WITH_BENCH=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target vireo-bench-gen vireo-cli vireo_template >/dev/null
[ -f "$here/build-web/vireo.html" ] || "$here/tools/build-web.sh"
modules="$here/build-web/node/node_modules"
[ -d "$modules/puppeteer-core" ] ||
  npm install --no-audit --no-fund --prefix "$here/build-web/node" puppeteer-core@24 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Field Data"
cp "$build/app-folder/ctlini.dat" "$build/app-folder/Existing.xlsx" "$work/"
file="$work/Field Data/BENCH_$setups.dat"
"$build/bench/vireo-bench-gen" "$file" "$setups"

# Each side runs RUNS times (default 3) and the median counts: the page's
# first run may still share the machine with the browser's optimising
# compiler, which is done with the module a few seconds after it loads.
runs=${VIREO_BENCH_RUNS:-3}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
native=$(for _ in $(seq "$runs"); do
  start=$(date +%s.%N)
  "$build/app-folder/vireo-cli" process "$file" --json --home "$work" >/dev/null
  echo "$(date +%s.%N) - $start" | bc
done)
page=$(VIREO_NODE_MODULES="$modules" node "$here/bench/web-bench.mjs" "$here/build-web/vireo.html" "$file" "$runs")
size=$(stat -c %s "$here/build-web/vireo.html")
nativeMedian=$(echo "$native" | median)
pageMedian=$(echo "$page" | median)
printf 'set-ups: %s\nvireo-cli process: %.2f s (median of %s: %s)\n' \
  "$setups" "$nativeMedian" "$runs" "$(printf '%.2f ' $native)"
printf 'page Vireo.process: %.2f s (median of %s: %s) = %.1f x\npage size: %.2f MB\n' \
  "$pageMedian" "$runs" "$(printf '%.2f ' $page)" "$(echo "$pageMedian / $nativeMedian" | bc -l)" \
  "$(echo "$size / 1000000" | bc -l)"
