#!/usr/bin/env bash
# Measures the real game in a window on a private X server (Xvfb):
# the time from launch to the first frame, the CPU share over 30 s of play
# (LEFT and SPACE held: the ship spins and fires), the peak memory and the
# spread of the intervals between presented frames (one per tick, 62 ms
# apart; the game logs each present when VOIDRUNNER_PRESENT_LOG is set).
#   scripts/measure-game.sh [GAME] [SECONDS] [SCREEN]
# GAME defaults to build/voidrunner; its sounds are taken from snd/ beside it.
# SCREEN is the virtual display's size, 1024x768 unless given (e.g. 1920x1080),
# with its depth after another x (1920x1080x30; 24 unless given). The X
# server's CPU share is reported beside the game's: at depths SDL has no
# window surface for, the game draws through X11 and the server does part
# of the work.
set -euo pipefail

game=$(realpath "${1:-build/voidrunner}")
span=${2:-30}
screen=${3:-1024x768}
depth=24
case "$screen" in *x*x*) depth=${screen##*x}; screen=${screen%x*} ;; esac
screen_w=${screen%x*}
snd="$(dirname "$game")/snd"
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "measure-game: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
[ -x "$game" ] || { echo "measure-game: no game at $game (build it first)" >&2; exit 1; }

# shellcheck source=lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/lib/xvfb.sh"
vr_tmp_and_cleanup
vr_start_xvfb "$screen" "$depth" || { echo "measure-game: Xvfb did not start" >&2; exit 1; }

mkdir -p "$tmp/run"
touch "$tmp/presents"
[ -d "$snd" ] && cp -r "$snd" "$tmp/run/snd"
now_ms() { date +%s%3N; }
launched_us=$(date +%s%6N)
launched=$((launched_us / 1000))
(cd "$tmp/run" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null \
    VOIDRUNNER_PRESENT_LOG="$tmp/presents" exec "$game" >/dev/null 2>&1) &
game_pid=$!

# The first frame: the score line at the top turns white. At depth 8 the
# game's window has a colour map of its own, which only a picture of the
# window itself goes through.
shot=root
if [ "$depth" = 8 ]; then
    vr_wait_for_window 20 || { echo "measure-game: no game window" >&2; exit 1; }
    shot=$window
    screen_w=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
fi
first=""
for _ in $(seq 1000); do
    if import -window "$shot" -crop "200x20+$((screen_w / 2 - 100))+10" "$tmp/top.png" 2>/dev/null &&
        [ "$(convert "$tmp/top.png" -fill black +opaque '#FFFFFF' -format '%[max]' info:)" != 0 ]; then
        first=$(now_ms)
        break
    fi
    kill -0 "$game_pid" 2>/dev/null || { echo "measure-game: the game ended early" >&2; exit 1; }
    sleep 0.02
done
[ -n "$first" ] || { echo "measure-game: no frame within 20 s" >&2; exit 1; }

hz=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/${1:-$game_pid}/stat"; }
xdotool keydown Left keydown space
cpu0=$(cpu)
xcpu0=$(cpu "$xvfb_pid")
t0_us=$(date +%s%6N)
t0=$((t0_us / 1000))
sleep "$span"
cpu1=$(cpu)
xcpu1=$(cpu "$xvfb_pid")
t1=$(now_ms)
xdotool keyup Left keyup space
hwm=$(awk '/^VmHWM/ { print $2, $3 }' "/proc/$game_pid/status")
# The presents of the measured span only (microsecond stamps).
awk -v from="$t0_us" -v to="$((t1 * 1000))" \
    'NF == 1 && $1 >= from && $1 <= to { if (prev) print ($1 - prev) / 1000; prev = $1 }' \
    "$tmp/presents" | sort -n >"$tmp/intervals"

field=$(awk '$2 == "field" { print $1; exit }' "$tmp/presents")
frame=$(awk 'NF == 1 { print $1; exit }' "$tmp/presents")
echo "launch to first frame: $((first - launched)) ms on screen (polled every ~50 ms)," \
    "$(((frame - launched_us) / 1000)) ms to the first present (the game's log);" \
    "the black field shown at $(((${field:-$launched_us} - launched_us) / 1000)) ms"
awk -v c=$((cpu1 - cpu0)) -v hz="$hz" -v ms=$((t1 - t0)) \
    'BEGIN { printf "CPU share over %.1f s of play: %.1f %% of one core\n", ms / 1000, 100 * c / hz / (ms / 1000) }'
awk -v c=$((cpu1 - cpu0)) -v x=$((xcpu1 - xcpu0)) -v hz="$hz" -v ms=$((t1 - t0)) \
    'BEGIN { printf "with the X server (depth '"$depth"'): %.1f %% of one core (server %.1f %%)\n", 100 * (c + x) / hz / (ms / 1000), 100 * x / hz / (ms / 1000) }'
echo "peak memory (VmHWM): $hwm"
awk '{ v[NR] = $1; if ($1 < 55) early++; if ($1 > 80) late++ }
     END {
         if (NR == 0) { print "tick intervals: no presents logged"; exit }
         printf "tick intervals (%d): min %.1f, median %.1f, 95th %.1f, max %.1f ms; under 55 ms: %d, over 80 ms: %d\n",
                NR, v[1], v[int((NR + 1) / 2)], v[int(NR * 0.95 + 0.5)], v[NR], early, late
     }' "$tmp/intervals"
