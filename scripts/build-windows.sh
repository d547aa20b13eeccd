#!/usr/bin/env bash
# Cross-builds voidrunner.exe with MinGW-w64 and packs it with its sounds:
#   build-win/voidrunner.exe, build-win/snd/*.wav, build-win/voidrunner-windows.zip
# and the trace tool build-win/voidrunner-trace.exe and the save tests' helper
# build-win/save-tool.exe (neither in the zip).
# The exe links the C and C++ runtimes statically and needs nothing beside it
# but the snd folder. The zip adds README.txt, the players' read-me, and
# LICENSE.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build-win
if [ ! -f "$out/CMakeCache.txt" ]; then
    cmake -S . -B "$out" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$out" --target voidrunner voidrunner-trace save-tool -j 2

rm -rf "$out/snd"
scripts/make-sounds.sh "$out"

rm -f "$out/voidrunner-windows.zip"
(cd "$out" && zip -q -r voidrunner-windows.zip voidrunner.exe snd README.txt LICENSE.txt)
echo "built $out/voidrunner.exe and $out/voidrunner-windows.zip"
