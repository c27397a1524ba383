#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 30) on a
# seed corpus made from the test field files, the template and a processed
# workbook. Findings stop the script with the fuzzer's report; crash inputs
# are left in build-fuzz/findings/.
#   tools/run-fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DVIREO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_process fuzz_workbook fuzz_control vireo-cli vireo_template vireo_samples

corpus="$build/corpus"
rm -rf "$corpus"
mkdir -p "$corpus/process" "$corpus/workbook" "$corpus/control" "$build/findings"
cp tests/data/real/*.dat tests/data/instrument-like/*.dat "$corpus/process/"
head -c 3000 "$build/app-folder/Field Data/TWO_LINES_aBFFB.dat" > "$corpus/process/two_lines_start.dat"
# A file without line ends (the target also strips them from every fourth input).
tr -d '\r\n' < "$build/app-folder/Field Data/LOOP_BFFB.dat" | head -c 4000 > "$corpus/process/no_line_ends.dat"
cp "$build/app-folder/Existing.xlsx" "$corpus/workbook/"
home=$(mktemp -d)
cp "$build/app-folder/ctlini.dat" "$build/app-folder/Existing.xlsx" "$home/"
ASAN_OPTIONS=detect_leaks=0 "$build/app-folder/vireo-cli" process tests/data/real/l900416_bluetooth_central_level_excerpt.dat --home "$home" >/dev/null 2>&1
cp "$home/Processed Files/"*.xlsx "$corpus/workbook/"
rm -rf "$home"
cp examples/ctlini.dat "$corpus/control/"
printf 'E2\rE8\nY\r\nyLower\r\nP Spaced  \r\n' > "$corpus/control/mixed.dat"

status=0
for target in process workbook control; do
  echo "== fuzz_$target for ${seconds} s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
      -artifact_prefix="$build/findings/${target}-" -print_final_stats=1 \
      "$corpus/$target" >"$build/fuzz_$target.log" 2>&1; then
    status=1
    tail -n 40 "$build/fuzz_$target.log"
  fi
  grep -E "^Done|stat::number_of_executed_units" "$build/fuzz_$target.log" | tail -n 2
done
exit $status
