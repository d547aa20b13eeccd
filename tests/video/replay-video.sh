#!/usr/bin/env bash
# scripts/replay-video.sh on a short replay with an odd field: each format
# ends with status 0 and a video ffprobe reads (padded to even sizes but
# for a gif), one frame per drawn tick, an mp4 or webm with the sounds
# (none with --no-sound); a replay the trace tool stops on ends with status 2.
#   tests/video/replay-video.sh SCRIPT TRACE-TOOL
set -euo pipefail
video=$1
export VR_TRACE=$2
# A sanitized trace tool: fontconfig keeps memory to the end.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

printf '# voidrunner replay 1\nfield 97 61\nseed 3\ntick 5\nkeys LS\ntick 30\nkeys U\ntick 10\n' >"$work/ok.replay"
# (A gif needs no even size.)
for format in mp4,h264,98,62 webm,vp9,98,62 gif,gif,97,61; do
    ext=${format%%,*}
    status=0
    "$video" "$work/ok.replay" "$work/out.$ext" >"$work/log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { cat "$work/log" >&2; fail "$ext: status $status"; }
    got=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$work/out.$ext")
    want="${format#*,},40"
    [ "$got" = "$want" ] || fail "$ext: ffprobe says '$got', not '$want'"
    # The fire sounds, heard, over the video's 40 ticks (2.48 s); no sound in a gif.
    sound=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$work/out.$ext")
    case $ext in
    mp4 | webm)
        [ "$sound" = "$([ "$ext" = mp4 ] && echo aac || echo opus)" ] || fail "$ext: sound track '$sound'"
        loud=$(ffmpeg -nostats -i "$work/out.$ext" -map 0:a -af volumedetect -f null - 2>&1 |
            sed -n 's/.*max_volume: \(.*\) dB/\1/p')
        awk -v v="$loud" 'BEGIN { exit !(v > -20) }' || fail "$ext: the sound track is silent ($loud dB)"
        ;;
    *) [ -z "$sound" ] || fail "$ext: a sound track" ;;
    esac
done
"$video" --no-sound "$work/ok.replay" "$work/quiet.mp4" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "--no-sound"; }
[ -z "$(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$work/quiet.mp4")" ] ||
    fail "--no-sound: a sound track"

printf '# voidrunner replay 1\nfield 97 61\ntick 8\nnonsense\n' >"$work/bad.replay"
status=0
"$video" "$work/bad.replay" "$work/bad.mp4" >"$work/log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "a replay the trace tool refuses: status $status"
echo "replay-video: mp4 and webm with sound, gif, written and read back"
