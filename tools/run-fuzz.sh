#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 30) on a
# seed corpus made from the test field files, the template and a processed
# workbook, printing its inputs a second. Findings stop the script with the
# fuzzer's report; crash inputs are left in build-fuzz/findings/.
#
# fuzz_survey explores from a second build (build-fuzz-fast) with
# UndefinedBehaviorSanitizer only and without traced comparisons: it tries
# about three times the inputs a second and, with the GSI dictionary, covers
# more of the readers in the same time. Every input it keeps is then run
# once more by the AddressSanitizer build, so what it found is checked for
# memory faults too.
#   tools/run-fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DVIREO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_process fuzz_survey fuzz_workbook fuzz_control vireo-cli vireo_template vireo_samples
fast=build-fuzz-fast
CC=clang-14 CXX=clang++-14 cmake -S . -B "$fast" -DVIREO_FUZZ=ON -DVIREO_FUZZ_SANITIZE=undefined -DVIREO_FUZZ_TRACE_CMP=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$fast" -j"$(nproc)" --target fuzz_survey

corpus="$build/corpus"
rm -rf "$corpus"
mkdir -p "$corpus/process" "$corpus/survey" "$corpus/workbook" "$corpus/control" "$build/findings"
cp tests/data/real/*.dat tests/data/instrument-like/*.dat "$corpus/process/"
head -c 3000 "$build/app-folder/Field Data/TWO_LINES_aBFFB.dat" > "$corpus/process/two_lines_start.dat"
# GSI: the DNA03 sample, the real job's first section and its end of a line
# (closing blocks, a Latin-1 byte), and a GSI-8 job with a grown word, a
# text word with a blank, an intermediate sight and a single-run line.
cp "$build/app-folder/Field Data/LOOP_DNA03.gsi" tests/data/gsi/OSGeoLabBp_tutorials_test_lines1-24.gsi "$corpus/process/"
sed -n 460,480p tests/data/gsi/OSGeoLabBp_tutorials_test.gsi > "$corpus/process/dna03_line_end.gsi"
printf '%s\r\n' '410001+?......2 ' '110002+000000E6 83..08+00097812 ' \
  '110003+000000E6 32...8+01824930 331.08+00159977 390...+00000002 ' \
  '110004+00000017 32...8+01934470 332.08+00138073 390...+00000002 ' \
  '110005+00000017 32...8+01934520 336.08+00138071 390...+00000002 ' \
  '110006+000000E6 32...8+01825380 335.08+00159980 390...+00000002 391.00+00000000 ' \
  '110007+00000017 571.08-00000000 572.08-00000005 573..8-00010933 574.28+101251687 83..08+00119718 ' \
  '110008+000000I1 32...8+00900000 333.08+00210000 ' '110009+000000I1 83..08+00099387 ' \
  '505.08-00000000 506.08+00000712 508...+Cierre Rapido 509...+000000E6 512...+00000017 ' \
  '410010+?......1 ' '110011+00000017 32...8+01934470 331.08+00138073 ' > "$corpus/process/gsi8_job.gsi"
# A file without line ends (the target also strips them from every fourth input).
tr -d '\r\n' < "$build/app-folder/Field Data/LOOP_BFFB.dat" | head -c 4000 > "$corpus/process/no_line_ends.dat"
cp "$corpus/process/"* "$corpus/survey/"
cp "$build/app-folder/Existing.xlsx" "$corpus/workbook/"
home=$(mktemp -d)
cp "$build/app-folder/ctlini.dat" "$build/app-folder/Existing.xlsx" "$home/"
ASAN_OPTIONS=detect_leaks=0 "$build/app-folder/vireo-cli" process "$build/app-folder/Field Data/LOOP_BFFB.dat" --home "$home" >/dev/null 2>&1
cp "$home/Processed Files/"*.xlsx "$corpus/workbook/"
rm -rf "$home"
cp examples/ctlini.dat "$corpus/control/"
printf 'E2\rE8\nY\r\nyLower\r\nP Spaced  \r\n' > "$corpus/control/mixed.dat"

status=0
for target in process survey workbook control; do
  echo "== fuzz_$target for ${seconds} s"
  dict=""
  case $target in
    process) dict="-dict=tests/fuzz/gsi.dict" ;;
    # Up to 1 KiB: a few set-ups, and many thousand inputs a second.
    survey) dict="-dict=tests/fuzz/gsi.dict -max_len=1024" ;;
  esac
  binary="$build/fuzz/fuzz_$target"
  [ "$target" = survey ] && binary="$fast/fuzz/fuzz_survey"
  # shellcheck disable=SC2086
  if ! "$binary" $dict -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
      -artifact_prefix="$build/findings/${target}-" -print_final_stats=1 \
      "$corpus/$target" >"$build/fuzz_$target.log" 2>&1; then
    status=1
    tail -n 40 "$build/fuzz_$target.log"
  fi
  # "Done N runs in S second(s)"
  awk -v t="fuzz_$target" '/^Done [0-9]+ runs in [0-9]+ second/ {
    printf "%s: %d inputs in %d s, %d a second\n", t, $2, $5, ($5 > 0 ? $2 / $5 : $2) }' \
    "$build/fuzz_$target.log"
  if [ "$target" = survey ]; then
    # -runs=0: run each input of the corpus once, mutating nothing.
    # shellcheck disable=SC2086
    if ! "$build/fuzz/fuzz_survey" $dict -runs=0 \
        -artifact_prefix="$build/findings/survey-asan-" "$corpus/survey" \
        >"$build/fuzz_survey_asan.log" 2>&1; then
      status=1
      tail -n 40 "$build/fuzz_survey_asan.log"
    fi
    echo "fuzz_survey: its corpus of $(find "$corpus/survey" -type f | wc -l) inputs run again with AddressSanitizer"
  fi
done
exit $status
