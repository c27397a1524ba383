#!/bin/sh
# Saves pictures of the windows for the documentation, as the screen shows
# them under a window manager (openbox) on Xvfb: docs/main-window.png (the
# main window after the real DNA03 job, with its failed checks),
# docs/rl-dialog.png (the Input RL dialog beside the main window) and
# docs/network-window.png (the network window with the sample network
# opened as a job and adjusted). Builds nothing; give it the build's
# application folder, the one that holds vireo, ctlini.dat, Existing.xlsx
# and "Field Data/". A second argument 2 takes them at QT_SCALE_FACTOR=2 on
# a 1920 x 1080 screen, into docs/scale-2/ (docs/progress.png shows a long
# run's progress bar and Cancel).
#   tools/screenshots.sh build-gui/app-folder [2]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
app=$(cd "${1:-$root/build/app-folder}" && pwd)
[ -x "$app/vireo" ] || { echo "no vireo in $app" >&2; exit 1; }
scale=${2:-1}
if [ "$scale" = 1 ]; then screen=1280x800 docs="$root/docs"; else screen=1920x1080 docs="$root/docs/scale-$scale"; fi
command -v openbox >/dev/null || { echo "no openbox (tools/install-deps.sh test)" >&2; exit 1; }

# The runs write their outputs into the application folder: work on a copy,
# with the real DNA03 job among the samples.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$app/ctlini.dat" "$app/Existing.xlsx" "$work/"
cp -r "$app/Field Data" "$work/"
cp "$root/tests/data/gsi/OSGeoLabBp_tutorials_test.gsi" "$work/Field Data/"

xvfb-run -a -s "-screen 0 ${screen}x24" sh -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  XDG_CONFIG_HOME="$1/config" QT_SCALE_FACTOR="$4" "$2/vireo" --home "$1" --screenshot-demo "$3"
  status=$?
  kill $wm
  exit $status' sh "$work" "$app" "$docs" "$scale"
