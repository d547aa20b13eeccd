#!/usr/bin/env bash
# cmake/Require.cmake on a project of its own: with VR_REQUIRE_ALL a part
# that is not found stops the configure and names the package of each
# missing module, and only those; without, the configure goes on and says
# what it left out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cat >"$tree/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(require NONE)
include($root/cmake/Require.cmake)
vr_pkg_modules(PART "a part" sdl2=libsdl2-dev vr-no-such-module=libvr-nothing-dev)
CMAKE
fail() { echo "FAIL: $*"; exit 1; }

if out=$(cmake -S "$tree" -B "$tree/strict" -DVR_REQUIRE_ALL=ON 2>&1); then
    fail "a missing module passed the strict configure"
fi
grep -q "a part not found: install libvr-nothing-dev (scripts/setup.sh test)" <<<"$out" || fail "$out"
! grep -q "libsdl2-dev" <<<"$out" || fail "named the package of a module that is there: $out"

out=$(cmake -S "$tree" -B "$tree/forgiving" 2>&1) || fail "the plain configure stopped: $out"
grep -q "a part not found (libvr-nothing-dev): left out of this build" <<<"$out" || fail "$out"
echo ok
