#!/usr/bin/env bash
# Installs, with apt-get, what the named tasks need and the machine lacks.
# Quiet and quick when everything is there.
#   scripts/setup.sh play    build and run the game
#   scripts/setup.sh test    everything the test command uses
#   scripts/setup.sh web     build the browser game (./play web)
#   scripts/setup.sh browser the browser tests: chromium and puppeteer-core
#   scripts/setup.sh package the Debian packages (game and server) and their checks
#   scripts/setup.sh quick   what ./test quick uses
#   scripts/setup.sh server  the leaderboard server, its tests and benchmark
set -euo pipefail

build=(cmake g++ ninja-build pkg-config make)
# libcurl: the game's online play (ranked and daily runs, the top ten).
game=(libsdl2-dev libx11-dev libxext-dev libsdl2-ttf-dev libsdl2-image-dev libcairo2-dev libfontconfig-dev
      libcurl4-openssl-dev fontconfig fonts-dejavu-core sox)
tests=(googletest libgtest-dev libutf8proc-dev xvfb xauth xdotool x11-utils imagemagick libx11-dev ffmpeg openbox jq xz-utils time python3)
windows=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 zip unzip sox librsvg2-bin icoutils)
tools=(clang libclang-rt-dev libbenchmark-dev clang-format)
web=(emscripten nodejs sox python3)
browser=(chromium nodejs)
server=(libmicrohttpd-dev libsqlite3-dev libssl-dev libicu-dev libpqxx-dev postgresql nginx curl jq python3 wrk)
# The trace tool for AArch64, run under qemu-user (scripts/cross-check.sh).
arm=(g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user)
# Both packages, the game's and the server's (its libraries; curl and jq
# for its install test).
package=(dpkg-dev file librsvg2-bin icoutils lintian desktop-file-utils appstream debootstrap
         libmicrohttpd-dev libsqlite3-dev libssl-dev libicu-dev libpqxx-dev curl jq)

wanted=()
for task in "$@"; do
    case "$task" in
        play) wanted+=("${build[@]}" "${game[@]}") ;;
        quick) wanted+=("${build[@]}" "${game[@]}" googletest libgtest-dev libutf8proc-dev jq xz-utils) ;;
        test) wanted+=("${build[@]}" "${game[@]}" "${tests[@]}" "${windows[@]}" "${tools[@]}"
                       "${web[@]}" "${browser[@]}" "${package[@]}" "${server[@]}" "${arm[@]}") ;;
        bench) wanted+=("${build[@]}" "${game[@]}" "${tests[@]}" "${tools[@]}" "${server[@]}") ;;
        server) wanted+=("${build[@]}" "${game[@]}" "${server[@]}") ;;
        windows) wanted+=("${build[@]}" "${windows[@]}") ;;
        web) wanted+=("${build[@]}" "${web[@]}") ;;
        browser) wanted+=("${build[@]}" "${web[@]}" "${browser[@]}") ;;
        package) wanted+=("${build[@]}" "${game[@]}" "${package[@]}") ;;
        *) echo "setup.sh: unknown task '$task'" >&2; exit 2 ;;
    esac
done

# puppeteer-core, pinned by tests/browser/package-lock.json, into the
# ignored tests/browser/node_modules (from the npm registry).
npm_modules() {
    for task in "$@"; do
        case "$task" in
            test|browser)
                local dir
                dir="$(cd "$(dirname "$0")/.." && pwd)/tests/browser"
                if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json"; then
                    npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
                    cp "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json"
                fi
                return ;;
        esac
    done
}

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
# Debian's nodejs comes without npm; some builds of nodejs bring their own.
for task in "$@"; do
    case "$task" in
        test|browser) command -v npm >/dev/null || missing+=(npm) ;;
    esac
done
if [ ${#missing[@]} -eq 0 ]; then
    npm_modules "$@"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
npm_modules "$@"
