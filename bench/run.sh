#!/bin/sh
# Installs what the benchmark needs when it is missing (libxlsxwriter for the
# baseline), builds it in build-bench (Release, no GUI) and runs it. Extra
# arguments go to the driver, e.g. --repeat 5, --no-limit, --sizes 1000,10000.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/install-deps.sh" bench
build="${VIREO_BENCH_BUILD:-$here/build-bench}"
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVIREO_WITH_GUI=OFF -DVIREO_WITH_BENCH=ON >/dev/null
cmake --build "$build" -j"$jobs" --target vireo-bench
exec "$build/bench/vireo-bench" "$@"
