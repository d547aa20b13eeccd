#!/usr/bin/env bash
# Builds the trace tool and the numerics probe (only those: no SDL) the ways
# other compilers and CPUs would, to check that every build plays the same game:
#   scripts/build-trace-variants.sh NAME...
#   ld64   x86-64, long double as plain double (as MSVC)   build-ld64/
#   ld128  x86-64, long double as quad                     build-ld128/
#   a64    AArch64 (run under qemu-aarch64)                build-a64/
#   node   WebAssembly (run under node)                    build-wasm/
#   wine   Windows, MinGW-w64 (run under Wine)             build-win/
# build-wasm/ and build-win/ are the trees of scripts/build-web.sh and
# scripts/build-windows.sh, configured the same way.
set -euo pipefail
cd "$(dirname "$0")/.."

configure() {  # TREE CMAKE-ARGS...: once; later builds reuse the tree
    local tree=$1
    shift
    [ -f "$tree/build.ninja" ] || "$@" -S . -B "$tree" -G Ninja >/dev/null
}

# Without pkg-config the trees find no SDL: the trace tool then has no --png
# and needs nothing but the C++ library.
plain=(-DCMAKE_BUILD_TYPE=Release -DVR_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON)

for name in "$@"; do
    case $name in
    ld64 | ld128)
        configure "build-$name" cmake "${plain[@]}" "-DCMAKE_CXX_FLAGS=-mlong-double-${name#ld}"
        cmake --build "build-$name" --target voidrunner-trace voidrunner-numerics-probe -j 2 >/dev/null ;;
    a64)
        configure build-a64 cmake "${plain[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
        cmake --build build-a64 --target voidrunner-trace voidrunner-numerics-probe -j 2 >/dev/null ;;
    node)
        # This emscripten runs its tools with node, which must find Debian's modules.
        export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
        configure build-wasm emcmake cmake -DCMAKE_BUILD_TYPE=Release
        cmake --build build-wasm --target voidrunner-trace voidrunner-numerics-probe -j 2 >/dev/null ;;
    wine)
        configure build-win cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
            -DCMAKE_BUILD_TYPE=Release
        cmake --build build-win --target voidrunner-trace voidrunner-numerics-probe -j 2 >/dev/null ;;
    *)
        echo "build-trace-variants.sh: unknown build '$name' (ld64 ld128 a64 node wine)" >&2
        exit 2 ;;
    esac
done
