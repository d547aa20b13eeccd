#!/usr/bin/env bash
# Builds the browser game with emscripten and lays out the static site:
#   scripts/build-web.sh [SITE]     (default build-web/)
# SITE gets index.html, index.js, index.wasm, icon.svg and snd/*.wav: upload it as it
# is. The emscripten build tree is build-wasm/; it also holds the trace tool
# for node (build-wasm/voidrunner-trace.js).
set -euo pipefail
cd "$(dirname "$0")/.."
site="${1:-build-web}"
tree=build-wasm

# This emscripten runs its tools with node, which must find Debian's modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
if [ ! -f "$tree/build.ninja" ]; then
    emcmake cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$tree" -j 2

mkdir -p "$site"
cp "$tree"/site/index.html "$tree"/site/index.js "$tree"/site/index.wasm \
    "$tree"/site/leaderboard.html "$tree"/site/leaderboard.js "$site"/
# The page's icon: the ship, drawn by the icon tool built for this machine.
icon_tree="$tree"/icon-tool
if [ ! -f "$icon_tree/build.ninja" ]; then
    cmake -S tools/icon -B "$icon_tree" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$icon_tree" >/dev/null
"$icon_tree"/voidrunner-icon "$site"/icon.svg
if [ ! -f "$site/snd/fire.wav" ] || [ scripts/make-sounds.sh -nt "$site/snd/fire.wav" ] ||
    [ present/Sounds.def -nt "$site/snd/fire.wav" ]; then
    scripts/make-sounds.sh "$site"
fi
