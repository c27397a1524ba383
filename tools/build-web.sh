#!/bin/sh
# Builds the single-file page build-web/vireo.html: the core compiled to
# WebAssembly with Debian's emscripten, and the libraries it needs (zlib,
# libzip, expat, pugixml) built from Debian's source packages. Installs what
# is missing first; the machine's own apt sources are left as they are.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=${VIREO_WEB_BUILD:-$root/build-web}
jobs=$(nproc)

missing=""
for package in emscripten libfast-float-dev libfmt-dev libcli11-dev nlohmann-json3-dev libeigen3-dev dpkg-dev; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "== installing$missing"
  apt-get install -y --no-install-recommends $missing
fi
# emscripten's tools find acorn and the other Node modules here.
export NODE_PATH=/usr/share/nodejs
# CMake runs its size checks under Node; Node's own fetch would make
# emscripten's loader take the module's path for a URL.
emulator="-DCMAKE_CROSSCOMPILING_EMULATOR=$(command -v node);--no-experimental-fetch"

mkdir -p "$out/apt/lists/partial" "$out/src" "$out/prefix"
prefix=$out/prefix

# The source list is private to this folder.
apt_options="-o Dir::Etc::sourcelist=$out/apt/sources.list -o Dir::Etc::sourceparts=/nonexistent
  -o Dir::State::Lists=$out/apt/lists -o Dir::Cache=$out/apt/cache"
mkdir -p "$out/apt/cache/archives/partial"
if [ ! -f "$out/apt/sources.list" ]; then
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$out/apt/sources.list"
  # shellcheck disable=SC2086
  apt-get $apt_options update
fi

# Unpacks Debian's source package $1 into src/ once and prints its folder.
source_of() {
  existing=$(find "$out/src" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n 1)
  if [ -z "$existing" ]; then
    # shellcheck disable=SC2086
    (cd "$out/src" && apt-get $apt_options source "$1" >&2)
    existing=$(find "$out/src" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n 1)
  fi
  echo "$existing"
}

# Builds a CMake project from $1 (its source folder) into the prefix, the
# rest of the arguments its options. The build is done once for the same
# options (they are kept in its stamp): a C++ library built with other
# exception handling would not link with the page.
build_library() {
  name=$1
  shift
  [ -f "$out/lib-$name.done" ] && [ "$(cat "$out/lib-$name.done")" = "$*" ] && return 0
  echo "== building $name"
  folder=$(source_of "$name")
  # expat keeps its CMake project in a folder of its own name.
  [ -f "$folder/CMakeLists.txt" ] || folder=$folder/$name
  # Debian's expat patches test "#if XML_DTD == 1", as its autotools build
  # defines it; the CMake build's header must say so too.
  [ "$name" != expat ] || sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$folder/expat_config.h.cmake"
  seed=""
  [ ! -f "$root/tools/web-checks/$name.cmake" ] || seed="-C$root/tools/web-checks/$name.cmake"
  # shellcheck disable=SC2086
  emcmake cmake $seed -S "$folder" -B "$out/lib/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "$emulator" "$@" >"$out/lib-$name.log"
  cmake --build "$out/lib/$name" -j"$jobs" >>"$out/lib-$name.log"
  cmake --install "$out/lib/$name" >>"$out/lib-$name.log"
  echo "$*" >"$out/lib-$name.done"
}

# zlib's own CMake project builds a shared library only; its few sources
# are compiled here.
if [ ! -f "$out/lib-zlib.done" ]; then
  echo "== building zlib"
  folder=$(source_of zlib)
  mkdir -p "$out/lib/zlib" "$prefix/lib" "$prefix/include"
  # As zlib's configure does on a system with unistd.h: z_off_t is off_t
  # for zlib and for everything that includes it.
  # (zlib's sources include the zconf.h beside them.)
  sed 's|^#ifdef HAVE_UNISTD_H .*|#if 1|' "$folder/zconf.h.in" >"$folder/zconf.h"
  cp "$folder/zconf.h" "$prefix/include/zconf.h"
  for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
    inftrees trees uncompr zutil; do
    emcc -O2 -I"$prefix/include" -c "$folder/$c.c" -o "$out/lib/zlib/$c.o"
  done
  rm -f "$prefix/lib/libz.a"
  emar rcs "$prefix/lib/libz.a" "$out"/lib/zlib/*.o
  cp "$folder/zlib.h" "$prefix/include/"
  touch "$out/lib-zlib.done"
fi
build_library expat -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
  -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS=OFF
build_library pugixml -DPUGIXML_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS=-fwasm-exceptions
build_library libzip -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF \
  -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"

# The header-only libraries, beside the others: no folder of the machine's
# own headers may come before emscripten's C library.
for header in CLI nlohmann fast_float fmt; do
  [ -d "$prefix/include/$header" ] || cp -r "/usr/include/$header" "$prefix/include/"
done

echo "== building the page"
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=""
emcmake cmake -S . -B "$out/page" "$emulator" -DCMAKE_BUILD_TYPE=Release -DVIREO_WEB_PREFIX="$prefix" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
  -DEigen3_DIR=/usr/share/eigen3/cmake >"$out/page.log"
cmake --build "$out/page" -j"$jobs" --target vireo-page
cp "$out/page/vireo.html" "$out/vireo.html"
echo "== $out/vireo.html ($(stat -c %s "$out/vireo.html") bytes)"
