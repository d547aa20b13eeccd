#!/usr/bin/env bash
# Builds the Debian package in build-pkg/ with Debian's hardening flags:
#   scripts/package-deb.sh    ->  build-pkg/voidrunner_VERSION-1_ARCH.deb
# and prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh package >&2

out=build-pkg
# -ffp-contract=off stays last among the compile options (see CMakeLists.txt).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVR_TESTS=OFF -DVR_PACKAGE=ON >/dev/null
cmake --build "$out" -j 2 >&2
rm -f "$out"/voidrunner_*.deb
(cd "$out" && cpack -G DEB >&2)
ls "$out"/voidrunner_*.deb
