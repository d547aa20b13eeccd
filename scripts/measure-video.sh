#!/usr/bin/env bash
# Times scripts/replay-video.sh against the replay's own length: the replay
# bot plays SECONDS of game at WxH, then each format is rendered and its
# wall time, CPU time (the trace tool and ffmpeg together) and peak memory
# are set against real time, all in the same run.
#   scripts/measure-video.sh [SECONDS] [WxH] [FORMAT...]
# Defaults: 300 s, 1920x1080, mp4 webm gif. The tools come from build/.
set -euo pipefail
seconds=${1:-300}
size=${2:-1920x1080}
shift $(($# < 2 ? $# : 2))
formats=("$@")
[ ${#formats[@]} -gt 0 ] || formats=(mp4 webm gif)
root=$(cd "$(dirname "$0")/.." && pwd)
bot=$root/build/voidrunner-replay-bot
[ -x "$bot" ] || { echo "measure-video: build voidrunner-replay-bot first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "measure-video: /usr/bin/time is missing (scripts/setup.sh bench)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ticks=$((seconds * 1000 / 62))
(cd "$tmp" && "$bot" --seed 3 --field "$size" --ticks "$ticks" --games 100 replay.txt) >/dev/null 2>&1
echo "replay: $ticks ticks = $seconds s of play at $size; $(nproc) cores"
for format in "${formats[@]}"; do
    /usr/bin/time -f "%e %U %S %M" -o "$tmp/time" \
        "$root/scripts/replay-video.sh" "$tmp/replay.txt" "$tmp/out.$format" >/dev/null 2>&1 ||
        { echo "measure-video: $format failed" >&2; exit 1; }
    read -r wall user sys rss <"$tmp/time"
    awk -v f="$format" -v w="$wall" -v u="$user" -v k="$sys" -v r="$rss" -v s="$seconds" \
        'BEGIN { c = u + k; printf "%-4s  %6.1f s wall = %.2f x real time;  CPU %6.1f s = %.2f x;  peak %d MB\n", f, w, w / s, c, c / s, r / 1024 }'
    rm -f "$tmp/out.$format"
done
