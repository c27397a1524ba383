#!/bin/sh
# Sets everything up, builds, and processes the bundled sample field data
# file into its report workbook and level data file.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVIREO_WITH_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
app=build/app-folder
"$app/vireo-cli" process "$app/Field Data/LOOP_BFFB.dat"
echo
echo "Report workbook:  $app/Processed Files/LOOP_BFFB.xlsx"
echo "Level data file:  $app/StarNet Format/SN_LOOP_BFFB.dat"
echo "First records of the level data file:"
head -n 12 "$app/StarNet Format/SN_LOOP_BFFB.dat"
