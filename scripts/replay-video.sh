#!/usr/bin/env bash
# Renders a replay to a video at the game's own pace: every tick's frame
# drawn by the trace tool (--png, the same SDL drawing code as the window),
# then encoded by ffmpeg at 1000/62 frames per second, one frame per tick.
#   scripts/replay-video.sh REPLAY OUT      OUT ends in .mp4, .webm or .gif
# The trace tool is build/voidrunner-trace (or $VR_TRACE). It runs in a
# scratch folder, so a replay that signs the table never touches save.txt.
set -euo pipefail

usage() { echo "usage: $0 REPLAY OUT.{mp4,webm,gif}" >&2; exit 2; }
[ $# -eq 2 ] || usage
replay=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
trace=${VR_TRACE:-$root/build/voidrunner-trace}

[ -r "$replay" ] && [ -f "$replay" ] || { echo "replay-video: cannot read $replay" >&2; exit 2; }
[ -x "$trace" ] || { echo "replay-video: no trace tool at $trace (build the game first, or set VR_TRACE)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "replay-video: ffmpeg is missing (scripts/setup.sh)" >&2; exit 1; }
# Encoders need even sizes; a field may be odd.
even="pad=ceil(iw/2)*2:ceil(ih/2)*2"
case "$out" in
*.mp4)  encode=(-vf "$even" -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -movflags +faststart) ;;
*.webm) encode=(-vf "$even" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -b:v 0 -crf 36 -pix_fmt yuv420p) ;;
*.gif)  encode=(-filter_complex "[0:v]split[a][b];[a]palettegen=max_colors=8[p];[b][p]paletteuse=dither=none") ;;
*) usage ;;
esac
head -n1 "$replay" | grep -q '^# voidrunner replay ' || { echo "replay-video: $replay is not a voidrunner replay" >&2; exit 2; }

replay=$(realpath "$replay")
outdir=$(cd "$(dirname "$out")" && pwd) || { echo "replay-video: no folder for $out" >&2; exit 1; }
out="$outdir/$(basename "$out")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/frames" "$tmp/run"

# The ticks in the replay, for the progress line.
total=$(awk '$1 == "tick" { n += (NF > 1 ? $2 : 1) } END { print n + 0 }' "$replay")
progress() {  # progress WHAT DONE
    printf '\rreplay-video: %s %d/%d ticks (%d%%)' "$1" "$2" "$total" $(( total ? 100 * $2 / total : 100 )) >&2
}

# Frames: one line of output per tick; the frames exist from the sixth tick on.
status=0
(cd "$tmp/run" && "$trace" --png "$tmp/frames" "$replay") | {
    n=0
    while IFS= read -r line; do
        case "$line" in '{"event":"tick"'*) n=$((n + 1)); [ $((n % 200)) -ne 0 ] || progress drawing "$n" ;; esac
    done
    progress drawing "$n"
    echo >&2
} || status=$?
[ "$status" -eq 0 ] || { echo "replay-video: the trace tool could not play $replay" >&2; exit 2; }
frames=$(find "$tmp/frames" -name 'frame-*.png' | wc -l)
[ "$frames" -gt 0 ] || { echo "replay-video: the replay has no frames" >&2; exit 2; }

# 1000/62 = 500/31 frames per second: one frame per tick, the game's pace.
# (A gif counts in hundredths: ffmpeg alternates 6 and 7 to keep the pace.)
ffmpeg -hide_banner -loglevel error -y -framerate 500/31 \
    -pattern_type glob -i "$tmp/frames/frame-*.png" \
    "${encode[@]}" \
    -progress pipe:1 -nostats "$out" | while IFS='=' read -r key value; do
        [ "$key" = frame ] && progress encoding "$((value + 5))"
    done
echo >&2
[ -s "$out" ] || { echo "replay-video: ffmpeg wrote nothing" >&2; exit 1; }
echo "replay-video: $out ($frames frames, $(du -h "$out" | cut -f1))"
