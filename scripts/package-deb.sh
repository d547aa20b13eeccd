#!/usr/bin/env bash
# Builds the Debian packages in build-pkg/ with Debian's hardening flags,
# the game and the leaderboard server, and prints the paths of those named:
#   scripts/package-deb.sh [NAME...]   ->  build-pkg/NAME_VERSION_ARCH.deb
# NAME is voidrunner (the default) or voidrunner-server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh package >&2
[ $# -gt 0 ] || set -- voidrunner

out=build-pkg
# -ffp-contract=off stays last among the compile options (see CMakeLists.txt).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVR_TESTS=OFF -DVR_PACKAGE=ON \
        -DVR_REQUIRE_ALL=ON >/dev/null
cmake --build "$out" -j 2 >&2
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB >&2)
for name in "$@"; do
    deb=$(ls "$out/${name}"_*.deb 2>/dev/null) ||
        { echo "package-deb.sh: no package $name was made" >&2; exit 1; }
    echo "$deb"
done
