#!/bin/sh
# A run bounded as a batch job bounds it: vireo-cli under ulimit -v over a
# multi-gigabyte field data file without line ends (a sparse file). The run
# must end with a reported failure and lose nothing: the earlier outputs of
# the same name stay byte for byte and no temporary file is left.
#   tools/memory-bounded-run.sh [BUILD_DIR] [SIZE] [LIMIT_KB]
# defaults: build, 3G, 1000000 (about 1 GB of address space).
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
size=${2:-3G}
limit=${3:-1000000}
cli="$build/app-folder/vireo-cli"
[ -x "$cli" ] || { echo "no $cli; build first" >&2; exit 2; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cp "$build/app-folder/ctlini.dat" "$build/app-folder/Existing.xlsx" "$home/"
mkdir "$home/Field Data"
cp "$build/app-folder/Field Data/LOOP_BFFB.dat" "$home/Field Data/ENDLESS.dat"
"$cli" process "$home/Field Data/ENDLESS.dat" --home "$home" >/dev/null 2>&1
before=$(cd "$home" && find . -type f ! -name .vireo.lock ! -path './Field Data/*' -exec md5sum {} + | sort)

truncate -s 0 "$home/Field Data/ENDLESS.dat"
truncate -s "$size" "$home/Field Data/ENDLESS.dat"
echo "field data file: $(du -h --apparent-size "$home/Field Data/ENDLESS.dat" | cut -f1) without line ends; ulimit -v $limit KB"
start=$(date +%s%N)
run="ulimit -v $limit && exec '$cli' process '$home/Field Data/ENDLESS.dat' --home '$home'"
set +e
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f '%M' -o "$home/peak" sh -c "$run" >/dev/null 2>"$home/err"
else
  sh -c "$run" >/dev/null 2>"$home/err"
fi
status=$?
set -e
end=$(date +%s%N)
after=$(cd "$home" && find . -type f ! -name .vireo.lock ! -name err ! -name peak ! -path './Field Data/*' -exec md5sum {} + | sort)

echo "exit status: $status"
echo "message: $(cat "$home/err")"
echo "time: $(( (end - start) / 1000000 )) ms, peak resident memory: $(tail -n 1 "$home/peak" 2>/dev/null || echo '?') KB"
if [ "$status" -ne 0 ] && [ -s "$home/err" ] && [ "$before" = "$after" ]; then
  echo "PASS: a reported failure, earlier outputs unchanged, no temporary file left"
else
  echo "FAIL"; echo "before:"; echo "$before"; echo "after:"; echo "$after"; exit 1
fi
