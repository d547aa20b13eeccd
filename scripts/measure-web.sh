#!/usr/bin/env bash
# Figures of the browser game, next to the Linux game's in the same run:
# the page's download size, load to first frame, tick intervals, the CPU
# share of chromium's processes over SECONDS of play against two floor
# pages, and the heaviest frame at 1920x1080 timed in the page. With
# BEFORE-SITE (a site that scripts/build-web.sh made from an earlier
# commit), that build is played by turns in the same run.
#   scripts/measure-web.sh [SECONDS [BEFORE-SITE]]      (default 30)
set -euo pipefail
seconds="${1:-30}"
before="${2:-}"
if [ -n "$before" ]; then
    if [ ! -f "$before/index.wasm" ]; then
        echo "measure-web.sh: $before has no built site (index.wasm)" >&2
        exit 2
    fi
    before="$(cd "$before" && pwd)"
fi
cd "$(dirname "$0")/.."
scripts/setup.sh browser
scripts/build-web.sh build-web >/dev/null

echo "== download size (build-web/)"
total=0 total_gz=0
for f in index.html index.js index.wasm; do
    raw=$(stat -c %s "build-web/$f") gz=$(gzip -9c "build-web/$f" | wc -c)
    total=$((total + raw)) total_gz=$((total_gz + gz))
    printf '%-11s %7d bytes, %7d gzip -9\n' "$f" "$raw" "$gz"
done
printf '%-11s %7d bytes, %7d gzip -9\n' "together" "$total" "$total_gz"
# shellcheck source=lib/sounds.sh
. scripts/lib/sounds.sh
mapfile -t sounds < <(vr_sound_names | sed 's|.*|build-web/snd/&.wav|')
printf '%-11s %7d bytes, %7d gzip -9 (%d files, fetched after the page)\n' "snd/*.wav" \
    "$(cat "${sounds[@]}" | wc -c)" "$(cat "${sounds[@]}" | gzip -9c | wc -c)" "${#sounds[@]}"

echo "== the page in headless chromium"
node scripts/measure-web.mjs build-web build-wasm/frame-bench "$seconds" ${before:+"$before"}

echo "== the Linux game, same run (scripts/measure-game.sh, 1920x1080)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target voidrunner voidrunner_sounds >/dev/null
scripts/measure-game.sh build/voidrunner "$seconds" 1920x1080
