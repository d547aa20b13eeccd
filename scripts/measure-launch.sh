#!/usr/bin/env bash
# Launch to the first present: the game against a minimal SDL2 program that
# opens its window the same way and presents it once (scripts/lib/first-present.c),
# launched by turns on one private X server (Xvfb); medians of RUNS launches
# each, and their ratio.
#   scripts/measure-launch.sh [--before OTHER_GAME] [GAME] [RUNS] [SCREEN]
# GAME defaults to build/voidrunner, RUNS to 9, SCREEN to 1024x768. The game
# logs each present (VOIDRUNNER_PRESENT_LOG): the field it shows as soon as
# its window is mapped ("field"), then each frame it draws. --before adds
# another build of the game to the turns (say the one before a change).
set -euo pipefail

before=""
if [ "${1:-}" = --before ]; then
    before=$(realpath "$2")
    shift 2
fi
game=$(realpath "${1:-build/voidrunner}")
runs=${2:-9}
screen=${3:-1024x768}
here=$(dirname "$(realpath "$0")")
for tool in Xvfb cc pkg-config; do
    command -v "$tool" >/dev/null || { echo "measure-launch: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
[ -x "$game" ] || { echo "measure-launch: no game at $game (build it first)" >&2; exit 1; }

# shellcheck source=lib/xvfb.sh
. "$here/lib/xvfb.sh"
vr_tmp_and_cleanup
# shellcheck disable=SC2046
cc -O2 -o "$tmp/floor" "$here/lib/first-present.c" $(pkg-config --cflags --libs sdl2)
vr_start_xvfb "$screen" || { echo "measure-launch: Xvfb did not start" >&2; exit 1; }
mkdir -p "$tmp/run"

# launch PROGRAM PATTERN: the microseconds from launch to the first line of
# its present log that matches PATTERN; the program is ended then.
launch() {
    local log=$tmp/presents start
    rm -f "$log" "$tmp/run/settings.txt"
    touch "$log"
    start=$(date +%s%6N)
    (cd "$tmp/run" && SDL_AUDIODRIVER=dummy VOIDRUNNER_PRESENT_LOG="$log" exec "$1" >/dev/null 2>&1) &
    game_pid=$!
    local line=""
    for _ in $(seq 2000); do
        line=$(grep -m1 -E "$2" "$log" || true)
        [ -n "$line" ] && break
        sleep 0.005
    done
    kill "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
    game_pid=""
    [ -n "$line" ] || { echo "measure-launch: $1 presented nothing in 10 s" >&2; exit 1; }
    echo $((${line%% *} - start))
}

: >"$tmp/floor.times"
for _ in $(seq "$runs"); do
    launch "$tmp/floor" . >>"$tmp/floor.times"
    for g in game before; do
        [ -n "${!g}" ] || continue
        launch "${!g}" . >>"$tmp/$g.field"
        launch "${!g}" '^[0-9]+$' >>"$tmp/$g.frame"
    done
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
floor=$(median "$tmp/floor.times")
awk -v f="$floor" -v n="$runs" \
    'BEGIN { printf "launch to the first present, medians of %d: minimal SDL2 program %.1f ms\n", n, f / 1000 }'
for g in game before; do
    [ -n "${!g}" ] || continue
    awk -v f="$floor" -v a="$(median "$tmp/$g.field")" -v b="$(median "$tmp/$g.frame")" \
        -v name="${!g}" 'BEGIN {
        printf "  %s: its first present %.1f ms (%.2f x), its first drawn frame %.1f ms (%.2f x)\n",
               name, a / 1000, a / f, b / 1000, b / f
    }'
done
