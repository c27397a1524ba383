#!/bin/sh
# Installs the Debian 12 packages the build needs, only those missing.
#   tools/install-deps.sh build   compilers and libraries for the programs
#   tools/install-deps.sh test    also GoogleTest, LibreOffice, xmllint, openpyxl, poppler, clang,
#                                 man and dpkg-dev (the package test), openbox (the screenshots)
#   tools/install-deps.sh bench   also libxlsxwriter for the benchmark baseline
set -eu
profile=${1:-build}

packages="build-essential cmake pkg-config libzip-dev libpugixml-dev libexpat1-dev zlib1g-dev
libcli11-dev nlohmann-json3-dev libeigen3-dev qt6-base-dev"
if [ "$profile" = test ]; then
  packages="$packages libgtest-dev libgmock-dev libxml2-utils libreoffice-calc-nogui xvfb
clang-14 libclang-rt-14-dev locales python3-openpyxl poppler-utils man-db dpkg-dev openbox"
fi
if [ "$profile" = bench ]; then
  packages="$packages libxlsxwriter-dev"
fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q $missing
fi

if [ "$profile" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$'; then
  # A German locale (decimal comma) proves the numbers do not depend on it.
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: no de_DE.UTF-8 locale; locale tests skip"
fi
