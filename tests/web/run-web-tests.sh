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
# (The benchmark's source, a path, would widen a column of the workbook.)
printf 'input = NETWORK_DAY1.dat\ninput = NETWORK_DAY2_BLUNDER.gsi\nsnoop = yes\n' \
  >"$work/network.job"
# A surveyor's own template: A3 paper and a note beside the report.
python3 - "$app/Existing.xlsx" "$work/OWN_TEMPLATE.xlsx" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z, zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as out:
    for name in z.namelist():
        data = z.read(name)
        if name == 'xl/worksheets/sheet1.xml':
            data = data.replace(b'paperSize="9"', b'paperSize="8"').replace(
                b'<c r="A1" s="3"/>', b'<c r="A1" s="3"/><c r="P1" t="inlineStr"><is><t>Checked by:</t></is></c>')
        out.writestr(name, data)
PY
resolve() { echo "$1" | sed "s|^@samples|$app/Field Data|; s|^@data|$root/tests/data|; s|^@work|$work|"; }

# vireo-cli, each case in a fresh application folder whose path the page's
# own (/vireo) replaces in what it prints.
tab=$(printf '\t')
grep -v '^#' "$here/cases.txt" | while IFS="$tab" read -r name command inputs options settings; do
  home="$work/home"
  rm -rf "$home" && mkdir -p "$home/Field Data" "$home/Inputs"
  cp "$app/ctlini.dat" "$app/Existing.xlsx" "$home/"
  for setting in ${settings:-}; do
    case "$setting" in
      template=*) cp "$(resolve "${setting#template=}")" "$home/Existing.xlsx" ;;
      *) "$app/vireo-cli" set "${setting%%=*}" "${setting#*=}" --home "$home" >/dev/null ;;
    esac
  done
  folder="$home/Field Data"
  [ "$command" = adjust ] && folder="$home/Inputs"
  set --
  for input in $(echo "$inputs" | tr ',' ' '); do
    file=$(resolve "$input")
    cp "$file" "$folder/"
    set -- "$@" "$folder/$(basename "$file")"
  done
  # A file among the options goes beside the inputs; a job names the inputs itself.
  words=""
  for word in ${options:-}; do
    case "$word" in
      -) continue ;;
      @*) file=$(resolve "$word") && cp "$file" "$folder/" && word="$folder/$(basename "$file")" ;;
    esac
    words="$words $word"
  done
  options=$words
  base=$(basename "$1" | sed 's/\.[^.]*$//')
  case "$options" in *" --job "*) set -- ;; esac
  out="$work/cli/$name"
  mkdir -p "$out"
  status=0
  # shellcheck disable=SC2086
  "$app/vireo-cli" "$command" "$@" $options --json --home "$home" >"$out/stdout" 2>"$out/stderr" ||
    status=$?
  echo "$status" >"$out/status"
  sed -i "s|$home|/vireo|g" "$out/stdout" "$out/stderr"
  for workbook in "$home/Processed Files/$base.xlsx" "$home/Adjusted Networks"/*.xlsx; do
    [ -f "$workbook" ] && cp "$workbook" "$out/workbook.xlsx"
  done
  [ -f "$home/StarNet Format/SN_$base.dat" ] && cp "$home/StarNet Format/SN_$base.dat" "$out/level.dat"
  true
done

# The page's buttons run the own-settings case once more, from the settings
# and template it keeps.
cp -r "$work/cli/own-settings" "$work/cli/own-settings-buttons"

modules="$root/build-web/node/node_modules"
if [ ! -d "$modules/puppeteer-core" ]; then
  npm install --no-audit --no-fund --prefix "$root/build-web/node" puppeteer-core@24 >/dev/null
fi
VIREO_NODE_MODULES="$modules" node "$here/page-test.mjs" "$page" "$here/cases.txt" "$app/Field Data" \
  "$root/tests/data" "$work" "$work/page" $screenshot
python3 "$here/compare.py" "$work/page" "$work/cli" "$work/home"
