#!/usr/bin/env bash
# scripts/replay-video.sh on a short replay with an odd field: each format
# ends with status 0 and a video ffprobe reads (padded to even sizes but
# for a gif), one frame per drawn tick; a replay the trace tool stops on
# ends with status 2.
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
done

printf '# voidrunner replay 1\nfield 97 61\ntick 8\nnonsense\n' >"$work/bad.replay"
status=0
"$video" "$work/bad.replay" "$work/bad.mp4" >"$work/log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "a replay the trace tool refuses: status $status"
echo "replay-video: mp4, webm and gif written and read back"
