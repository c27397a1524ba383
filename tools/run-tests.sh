#!/bin/sh
# Sets everything up, builds, and runs every test.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh test
jobs=$(nproc)

echo "== build and unit, end-to-end and window tests"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$jobs"
(cd build-test && ctest --output-on-failure -j"$jobs")
