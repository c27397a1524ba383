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

echo "== the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVIREO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" \
  ctest --output-on-failure -j"$jobs")

echo "== fuzzing smoke run"
tools/run-fuzz.sh 30

# About 11 minutes of a clean build on two cores (the libraries and the
# page); VIREO_SKIP_WEB=1 leaves it out.
if [ -z "${VIREO_SKIP_WEB:-}" ]; then
  echo "== the page: the WebAssembly build in headless Chromium, compared with vireo-cli"
  tools/build-web.sh
  tests/web/run-web-tests.sh build-test build-web/vireo.html
fi
