#!/bin/sh
# A run bounded as a batch job bounds it (ulimit -v), in two cases:
#  - a multi-gigabyte field data file without line ends (a sparse file):
#    the run must end with a reported failure and lose nothing, the earlier
#    outputs of the same name staying byte for byte, no temporary file left;
#  - a 200 MB file of one valid loop followed by 3.4 million lines that each
#    raise a warning (DiNi lines with the marks of a reading record out of
#    column): process, process --json and adjust must succeed, each under
#    100 MB of peak resident memory.
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

# Runs vireo-cli with ARGS under the bound; sets $status and $peak (KB).
bounded() {
  set +e
  /usr/bin/time -f '%M' -o "$home/peak" sh -c "ulimit -v $limit && exec '$cli' $1" >"$home/out" 2>"$home/err"
  status=$?
  set -e
  peak=$(tail -n 1 "$home/peak")
}

truncate -s 0 "$home/Field Data/ENDLESS.dat"
truncate -s "$size" "$home/Field Data/ENDLESS.dat"
echo "field data file: $(du -h --apparent-size "$home/Field Data/ENDLESS.dat" | cut -f1) without line ends; ulimit -v $limit KB"
start=$(date +%s%N)
bounded "process '$home/Field Data/ENDLESS.dat' --home '$home'"
end=$(date +%s%N)
after=$(cd "$home" && find . -type f ! -name .vireo.lock ! -name err ! -name out ! -name peak ! -path './Field Data/*' -exec md5sum {} + | sort)
echo "exit status: $status"
echo "message: $(cat "$home/err")"
echo "time: $(( (end - start) / 1000000 )) ms, peak resident memory: $peak KB"
if [ "$status" -ne 0 ] && [ -s "$home/err" ] && [ "$before" = "$after" ]; then
  echo "PASS: a reported failure, earlier outputs unchanged, no temporary file left"
else
  echo "FAIL"; echo "before:"; echo "$before"; echo "after:"; echo "$after"; exit 1
fi
rm "$home/Field Data/ENDLESS.dat"

flood="$home/Field Data/FLOOD.dat"
{ cat "$build/app-folder/Field Data/LOOP_BFFB.dat"
  awk 'BEGIN { for (i = 1; i <= 3400000; i++)
    printf "For M5|Adr %7d|KD1  TP%04d Rb 1.23456 m  HD 12.345 m |\r\n", i + 100, i % 1000 }'
} > "$flood"
echo "field data file: $(du -h --apparent-size "$flood" | cut -f1), a loop and 3.4 million lines with a warning each; ulimit -v $limit KB"
failed=0
for run in "process '$flood'" "process '$flood' --json" "adjust '$flood' --fixed BM1=100"; do
  start=$(date +%s%N)
  bounded "$run --home '$home'"
  end=$(date +%s%N)
  echo "vireo-cli $(echo "$run" | sed "s|'$flood'|FLOOD.dat|"): exit status $status, $(( (end - start) / 1000000 )) ms, peak resident memory $peak KB, $(wc -l < "$home/err") lines of warnings"
  if [ "$status" -ne 0 ] || [ "$peak" -ge 102400 ] || ! grep -q "and 3399000 more of this kind" "$home/out" "$home/err"; then
    failed=1
    tail -n 3 "$home/err"
  fi
done
if [ "$failed" -eq 0 ]; then
  echo "PASS: every run under 100 MB, the warnings counted in one line"
else
  echo "FAIL"; exit 1
fi
