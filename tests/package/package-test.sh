#!/bin/sh
# The Debian package as a user meets it: built with CPack from the build
# folder, installed with dpkg, the programs run from the PATH by root and by
# an ordinary user (each gets an application folder of their own, nothing
# is written into /opt/vireo), the manual pages read with man -l, and the
# package removed leaving no file of it behind. It installs into the real
# system, so it runs only as root and only where no package "vireo" is
# installed already; it cleans up on every way out.
#   tests/package/package-test.sh BUILD_FOLDER
set -u
build=$(cd "$1" && pwd)
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb cpack runuser man flock; do
  command -v $tool >/dev/null 2>&1 || skip "no $tool"
done
# One package test at a time on this machine.
exec 9>/var/lock/vireo-package-test.lock
flock 9
dpkg -s vireo >/dev/null 2>&1 && skip "a vireo package is installed already; it is left alone"

work=$(mktemp -d)
chmod 755 "$work"
installed=no
cleanup() {
  [ "$installed" = yes ] && dpkg -r vireo >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb=$(ls "$work"/package/vireo_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
dpkg-deb -c "$deb" >"$work/contents"
grep -q '/opt/vireo/share/man/man1/vireo-cli.1.gz$' "$work/contents" ||
  fail "the package holds no manual page"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
installed=yes
dpkg -L vireo >"$work/files"

[ "$(command -v vireo-cli)" = /usr/bin/vireo-cli ] || fail "vireo-cli is not on the PATH"
[ "$(command -v vireo)" = /usr/bin/vireo ] || fail "vireo is not on the PATH"
vireo-cli --version | grep -Eq '^vireo-cli [0-9]+\.[0-9]+\.[0-9]+$' || fail "vireo-cli --version"
QT_QPA_PLATFORM=offscreen vireo --version | grep -Eq '^Vireo [0-9]+\.[0-9]+\.[0-9]+$' ||
  fail "vireo --version"
for page in vireo vireo-cli; do
  case "$(man -w $page)" in */man1/$page.1.gz) ;; *) fail "man does not find $page(1)" ;; esac
  MANWIDTH=80 man -l /usr/share/man/man1/$page.1.gz 2>/dev/null | grep -q "^SYNOPSIS" ||
    fail "man -l cannot read $page(1)"
done

# A run from the PATH as root and as an ordinary user: each one's outputs
# in their own folder, none in the program's.
find /opt/vireo | sort >"$work/before"
sample="/opt/vireo/bin/Field Data/LOOP_BFFB.dat"
mkdir -p "$work/root" "$work/user"
chown nobody "$work/user"
HOME="$work/root" vireo-cli process "$sample" >"$work/root.log" 2>&1 ||
  { cat "$work/root.log"; fail "vireo-cli process as root"; }
runuser -u nobody -- env HOME="$work/user" PATH=/usr/bin:/bin vireo-cli process "$sample" \
  >"$work/user.log" 2>&1 || { cat "$work/user.log"; fail "vireo-cli process as a user"; }
for home in root user; do
  [ -f "$work/$home/.local/share/Vireo/Processed Files/LOOP_BFFB.xlsx" ] ||
    fail "no report in $home's application folder"
done
find /opt/vireo | sort >"$work/after"
cmp -s "$work/before" "$work/after" || fail "the program wrote into /opt/vireo"

dpkg -r vireo >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
installed=no
left=""
while IFS= read -r file; do
  [ -e "$file" ] && [ ! -d "$file" ] && left="$left $file"
done <"$work/files"
for link in /usr/bin/vireo /usr/bin/vireo-cli /usr/share/man/man1/vireo.1.gz \
  /usr/share/man/man1/vireo-cli.1.gz /usr/share/applications/vireo.desktop \
  /usr/share/icons/hicolor/scalable/apps/vireo.svg /opt/vireo; do
  { [ -e "$link" ] || [ -L "$link" ]; } && left="$left $link"
done
[ -z "$left" ] || fail "left behind:$left"
echo "package built, installed, run as root and as a user, and removed"
