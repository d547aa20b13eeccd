#!/usr/bin/env bash
# What the window's look costs: the game's CPU share (and the X server's)
# in play on a 1920x1080 virtual screen, shown in the vector look and in
# the field's pixels, against a floor program (benchmarks/floor: a full-
# window texture presented 16 times a second through SDL's software
# renderer). Two fields: the screen's own (free play, LEFT and SPACE held)
# and the ranked 1280x720 field (a run recorded on a 1280x720 screen, shown
# as a replay: the same ticks and drawing, scaled 1.5 in the vector look,
# 1:1 and centred in pixels). Everything runs by turns in one X server,
# ROUNDS times; medians are printed with their ratios.
#   scripts/measure-look.sh [GAME] [SECONDS] [ROUNDS]
set -euo pipefail

game=$(realpath "${1:-build/voidrunner}")
span=${2:-20}
rounds=${3:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
snd="$(dirname "$game")/snd"
for tool in Xvfb xdotool c++ pkg-config; do
    command -v "$tool" >/dev/null || { echo "measure-look: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
[ -x "$game" ] || { echo "measure-look: no game at $game (build it first)" >&2; exit 1; }

# shellcheck source=lib/xvfb.sh
. "$root/scripts/lib/xvfb.sh"
vr_tmp_and_cleanup
# shellcheck disable=SC2046 # pkg-config's words
c++ -O2 -o "$tmp/sdl-floor" "$root/benchmarks/floor/SdlFloor.cpp" $(pkg-config --cflags --libs sdl2)

hz=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# A run on the ranked field, recorded by playing on a screen of its size.
vr_start_xvfb 1280x720 || { echo "measure-look: Xvfb did not start" >&2; exit 1; }
mkdir -p "$tmp/record"
[ -d "$snd" ] && cp -r "$snd" "$tmp/record/snd"
: >"$tmp/record/settings.txt"
(cd "$tmp/record" && SDL_AUDIODRIVER=dummy exec "$game" >/dev/null 2>&1) &
game_pid=$!
sleep 2
xdotool keydown Left keydown space
sleep $((span + 4))
xdotool keyup Left keyup space
kill -TERM "$game_pid"
wait "$game_pid" || true
game_pid=""
replay=$(ls "$tmp"/record/replays/* | head -n1)
[ -f "$replay" ] || { echo "measure-look: no replay was recorded" >&2; exit 1; }
vr_stop_xvfb

vr_start_xvfb 1920x1080 || { echo "measure-look: Xvfb did not start" >&2; exit 1; }
# measure NAME COMMAND...: the CPU share of the process and of the server
# over the span, one line to $tmp/NAME.
measure() {
    local name=$1
    shift
    rm -rf "$tmp/run"
    mkdir -p "$tmp/run"
    [ -d "$snd" ] && cp -r "$snd" "$tmp/run/snd"
    printf 'look %s\n' "${look:-vector}" >"$tmp/run/settings.txt"
    (cd "$tmp/run" && SDL_AUDIODRIVER=dummy exec "$@" >/dev/null 2>&1) &
    game_pid=$!
    sleep 3
    [ "${keys:-}" = held ] && xdotool keydown Left keydown space
    local c0 x0 c1 x1 t0 t1
    c0=$(cpu "$game_pid")
    x0=$(cpu "$xvfb_pid")
    t0=$(date +%s%3N)
    sleep "$span"
    c1=$(cpu "$game_pid")
    x1=$(cpu "$xvfb_pid")
    t1=$(date +%s%3N)
    [ "${keys:-}" = held ] && xdotool keyup Left keyup space
    kill -TERM "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
    game_pid=""
    awk -v c=$((c1 - c0)) -v x=$((x1 - x0)) -v hz="$hz" -v ms=$((t1 - t0)) \
        'BEGIN { s = ms / 1000; printf "%.2f %.2f\n", 100 * c / hz / s, 100 * (c + x) / hz / s }' \
        >>"$tmp/$name"
}
for round in $(seq "$rounds"); do
    echo "round $round of $rounds" >&2
    measure floor "$tmp/sdl-floor" $((span + 3))
    look=pixels keys=held measure free-pixels "$game"
    look=vector keys=held measure free-vector "$game"
    look=pixels measure ranked-pixels "$game" --replay "$replay"
    look=vector measure ranked-vector "$game" --replay "$replay"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
floor=$(cut -d' ' -f1 "$tmp/floor" | median)
floor_x=$(cut -d' ' -f2 "$tmp/floor" | median)
printf '%-14s %8s %8s %14s %8s\n' what game "/floor" "with server" "/floor"
for name in floor free-pixels free-vector ranked-pixels ranked-vector; do
    g=$(cut -d' ' -f1 "$tmp/$name" | median)
    x=$(cut -d' ' -f2 "$tmp/$name" | median)
    awk -v n="$name" -v g="$g" -v x="$x" -v f="$floor" -v fx="$floor_x" \
        'BEGIN { printf "%-14s %7.2f%% %8.2f %13.2f%% %8.2f\n", n, g, g / f, x, x / fx }'
done
for look in free ranked; do
    p=$(cut -d' ' -f1 "$tmp/$look-pixels" | median)
    v=$(cut -d' ' -f1 "$tmp/$look-vector" | median)
    awk -v n="$look" -v p="$p" -v v="$v" 'BEGIN { printf "%s: vector / pixels %.2f\n", n, v / p }'
done
