#!/usr/bin/env bash
# Renders a replay to a video at the game's own pace: every tick's frame
# drawn by the trace tool (the same SDL drawing code as the window) and
# streamed to ffmpeg as raw pixels (--raw-frames -), encoded at 1000/62
# frames per second, one frame per tick.
#   scripts/replay-video.sh [--no-sound] REPLAY OUT    OUT ends in .mp4, .webm or .gif
# An mp4 or webm has the game's sounds, mixed from the wave files in snd/
# beside the trace tool at the ticks the trace tool prints them; without
# that folder (or with --no-sound) the video is silent.
# The trace tool is build/voidrunner-trace (or $VR_TRACE). Each of its runs
# has a scratch folder of its own, so a replay that signs the table never
# touches save.txt.
set -euo pipefail
shopt -s lastpipe

usage() { echo "usage: $0 [--no-sound] REPLAY OUT.{mp4,webm,gif}" >&2; exit 2; }
sound=1
[ "${1:-}" = --no-sound ] && { sound=0; shift; }
[ $# -eq 2 ] || usage
replay=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
trace=${VR_TRACE:-$root/build/voidrunner-trace}
sounds=$(dirname "$trace")/snd

[ -r "$replay" ] && [ -f "$replay" ] || { echo "replay-video: cannot read $replay" >&2; exit 2; }
[ -x "$trace" ] || { echo "replay-video: no trace tool at $trace (build the game first, or set VR_TRACE)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "replay-video: ffmpeg is missing (scripts/setup.sh)" >&2; exit 1; }
# Encoders need even sizes; a field may be odd.
even="pad=ceil(iw/2)*2:ceil(ih/2)*2"
case "$out" in
*.mp4)  encode=(-vf "$even" -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -movflags +faststart)
        audio=(-c:a aac -b:a 96k -movflags +faststart) ;;
*.webm) encode=(-vf "$even" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -row-mt 1 -b:v 0 -crf 36 -pix_fmt yuv420p)
        audio=(-c:a libopus -b:a 64k) ;;
*.gif)  encode=() sound=0 ;;  # a palette, below
*) usage ;;
esac
head -n1 "$replay" | grep -q '^# voidrunner replay ' || { echo "replay-video: $replay is not a voidrunner replay" >&2; exit 2; }

replay=$(realpath "$replay")
outdir=$(cd "$(dirname "$out")" && pwd) || { echo "replay-video: no folder for $out" >&2; exit 1; }
out="$outdir/$(basename "$out")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

play() {  # play OPTION...: the trace tool on the replay, in a fresh folder
    local dir
    dir=$(mktemp -d -p "$tmp")
    (cd "$dir" && exec "$trace" "$@" "$replay")
}

# The end state gives the field's size and the ticks (a small part of the
# cost of drawing them); the frames exist from the sixth tick on.
end=$(play --final) || { echo "replay-video: the trace tool could not play $replay" >&2; exit 2; }
value() { sed -n "s/.*\"$1\":\([0-9]*\),.*/\1/p" <<<"$end"; }
total=$(value n)
width=$(value fieldWidth)
height=$(value fieldHeight)
[ -n "$total" ] && [ "$total" -gt 5 ] || { echo "replay-video: the replay has no frames" >&2; exit 2; }

progress() {  # progress WHAT DONE
    printf '\rreplay-video: %s %d/%d ticks (%d%%)' "$1" "$2" "$total" $(( total ? 100 * $2 / total : 100 )) >&2
}

# encode WHAT FFMPEG-OUTPUT-ARGUMENTS...: the frames through ffmpeg, with
# its progress shown; `frames` is the count it reports last.
# 1000/62 = 500/31 frames per second: one frame per tick, the game's pace.
# (A gif counts in hundredths: ffmpeg alternates 6 and 7 to keep the pace.)
frames=0
pixels=bgr0
encode() {
    local what=$1 key value
    shift
    set +e
    play --raw-frames - |
        ffmpeg -hide_banner -loglevel error -y \
            -f rawvideo -pix_fmt "$pixels" -video_size "${width}x${height}" -framerate 500/31 -i pipe:0 \
            "$@" -progress pipe:1 -nostats |
        while IFS='=' read -r key value; do
            if [ "$key" = frame ]; then
                frames=$value
                progress "$what" "$((value + 5))"
            fi
        done
    local status=("${PIPESTATUS[@]}")
    set -e
    echo >&2
    [ "${status[1]}" -eq 0 ] || { echo "replay-video: ffmpeg could not encode $out" >&2; exit 1; }
    [ "${status[0]}" -eq 0 ] || { echo "replay-video: the trace tool could not play $replay" >&2; exit 2; }
}

if [ "$out" = "${out%.gif}" ]; then
    # The sound track from the trace tool's lines (a small part of the cost):
    # each tick's sounds, from the first frame's tick to the last.
    if [ "$sound" = 1 ] && [ -d "$sounds" ] && command -v python3 >/dev/null; then
        play | python3 "$root/scripts/lib/replay-sound.py" "$sounds" 6 "$total" "$tmp/sound.wav" ||
            { echo "replay-video: could not mix the sounds" >&2; exit 1; }
    elif [ "$sound" = 1 ]; then
        echo "replay-video: no sounds in $sounds (or no python3): a silent video" >&2
    fi
    if [ -s "$tmp/sound.wav" ]; then
        # The sound joins the finished video: a second input while
        # encoding holds more raw frames in ffmpeg's queues (130 MB more).
        encode encoding "${encode[@]}" "$tmp/video.${out##*.}"
        ffmpeg -hide_banner -loglevel error -y -i "$tmp/video.${out##*.}" -i "$tmp/sound.wav" \
            -map 0:v -map 1:a -c:v copy "${audio[@]}" "$out" ||
            { echo "replay-video: ffmpeg could not add the sound to $out" >&2; exit 1; }
    else
        encode encoding "${encode[@]}" "$out"
    fi
else
    # The game draws black, white, grey C8C8C8 and green, and its text's
    # edges in greys between: a palette of those four and greys about 18
    # apart, made here, not found by a pass over every frame. (paletteuse
    # takes 256 entries; the rest is black.) Only one frame at a time is held.
    byte() { printf %b "\\0$(printf %03o "$1")"; }
    {
        for v in 0 18 36 55 73 91 109 127 145 164 182 200 218 237 255; do byte "$v"; byte "$v"; byte "$v"; done
        byte 0; byte 255; byte 0
        head -c $((3 * 240)) /dev/zero
    } >"$tmp/palette.rgb"
    # paletteuse takes bgra: the frames' unused fourth byte read as alpha
    # and ignored (alpha_threshold=0: nothing is transparent) spares a
    # conversion that costs as much as the palette.
    pixels=bgra
    encode encoding -f rawvideo -pix_fmt rgb24 -video_size 16x16 -i "$tmp/palette.rgb" \
        -filter_complex "[0:v][1:v]paletteuse=dither=none:alpha_threshold=0:diff_mode=rectangle" "$out"
fi
[ -s "$out" ] || { echo "replay-video: ffmpeg wrote nothing" >&2; exit 1; }
echo "replay-video: $out ($frames frames, $(du -h "$out" | cut -f1))"
