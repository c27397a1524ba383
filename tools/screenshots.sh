#!/bin/sh
# Saves pictures of the windows for the documentation: docs/main-window.png
# (the main window after a sample run), docs/rl-dialog.png (the filled RL
# input dialog) and docs/network-window.png (the network adjustment window
# after adjusting the sample network). Builds nothing; give it the build's
# application folder, the one that holds vireo, ctlini.dat, Existing.xlsx and
# "Field Data/".
#   tools/screenshots.sh build-gui/app-folder
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
app=$(cd "${1:-$root/build/app-folder}" && pwd)
[ -x "$app/vireo" ] || { echo "no vireo in $app" >&2; exit 1; }

# The run writes its outputs into the application folder: work on a copy.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$app/ctlini.dat" "$app/Existing.xlsx" "$work/"
cp -r "$app/Field Data" "$work/"

xvfb-run -a -s "-screen 0 1280x800x24" \
  "$app/vireo" --home "$work" --screenshot-demo "$root/docs"
