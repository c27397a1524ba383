#!/bin/sh
# The page's test: runs every case of cases.txt with vireo-cli and in the
# page (headless Chromium, networking off) and compares the outputs.
#   tests/web/run-web-tests.sh NATIVE_BUILD_DIR PAGE [SCREENSHOT]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
page=$2
screenshot=${3:-}
app="$build/app-folder"
for package in chromium python3; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    apt-get install -y --no-install-recommends "$package"
done
work=$(mktemp -d)
# VIREO_WEB_KEEP=1 keeps both sides' outputs for a look.
trap '[ -n "${VIREO_WEB_KEEP:-}" ] && echo "outputs kept in $work" || rm -rf "$work"' EXIT
mkdir -p "$work/cli" "$work/page"
printf 'this is no field data file\nnor a level data file\n' >"$work/NOT_LEVELLING.dat"

# vireo-cli, each case in a fresh application folder whose path the page's
# own (/vireo) replaces in what it prints.
tab=$(printf '\t')
grep -v '^#' "$here/cases.txt" | while IFS="$tab" read -r name command inputs options; do
  home="$work/home"
  rm -rf "$home" && mkdir -p "$home/Field Data" "$home/Inputs"
  cp "$app/ctlini.dat" "$app/Existing.xlsx" "$home/"
  folder="$home/Field Data"
  [ "$command" = adjust ] && folder="$home/Inputs"
  set --
  for input in $(echo "$inputs" | tr ',' ' '); do
    file=$(echo "$input" | sed "s|^@samples|$app/Field Data|; s|^@data|$root/tests/data|; s|^@work|$work|")
    cp "$file" "$folder/"
    set -- "$@" "$folder/$(basename "$file")"
  done
  out="$work/cli/$name"
  mkdir -p "$out"
  status=0
  # shellcheck disable=SC2086
  "$app/vireo-cli" "$command" "$@" $options --json --home "$home" >"$out/stdout" 2>"$out/stderr" ||
    status=$?
  echo "$status" >"$out/status"
  sed -i "s|$home|/vireo|g" "$out/stdout" "$out/stderr"
  base=$(basename "$1" | sed 's/\.[^.]*$//')
  for workbook in "$home/Processed Files/$base.xlsx" "$home/Adjusted Networks"/*.xlsx; do
    [ -f "$workbook" ] && cp "$workbook" "$out/workbook.xlsx"
  done
  [ -f "$home/StarNet Format/SN_$base.dat" ] && cp "$home/StarNet Format/SN_$base.dat" "$out/level.dat"
  true
done

modules="$root/build-web/node/node_modules"
if [ ! -d "$modules/puppeteer-core" ]; then
  npm install --no-audit --no-fund --prefix "$root/build-web/node" puppeteer-core@24 >/dev/null
fi
VIREO_NODE_MODULES="$modules" node "$here/page-test.mjs" "$page" "$here/cases.txt" "$app/Field Data" \
  "$root/tests/data" "$work" "$work/page" $screenshot
python3 "$here/compare.py" "$work/page" "$work/cli" "$work/home"
