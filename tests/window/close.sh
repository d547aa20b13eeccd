#!/usr/bin/env bash
# Closing the window always ends the game with status 0: on a desktop with
# a window manager (Xvfb and openbox), the game is closed many times, each
# time just after a round of fullscreen, resize and pause changes (paused
# is when it waits on the window system, and a close raced SDL's wake-up of
# that wait into an X error).
#   tests/window/close.sh GAME SNDDIR CLOSE-WINDOW [ROUNDS]
set -euo pipefail

if [ $# -lt 3 ]; then
    echo "usage: $0 GAME SNDDIR CLOSE-WINDOW [ROUNDS]" >&2
    exit 2
fi
game=$(realpath "$1")
snd=$(realpath "$2")
closer=$(realpath "$3")
rounds=${4:-12}
for tool in Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "close test: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
vr_tmp_and_cleanup
fail() {
    echo "FAIL: $*" >&2
    [ -f "$dir/game.log" ] && sed 's/^/  game: /' "$dir/game.log" >&2
    exit 1
}

vr_start_xvfb 1024x768 || fail "Xvfb did not start"
vr_start_openbox || fail "openbox did not start"

# The changes before each close, in turn; each ends within a moment of the
# close.
changes=(
    "type p; key F11; key F11"
    "key F11; type p"
    "type p; windowsize WIN 500 300"
    "key alt+Return; type p; key alt+Return"
    "windowsize WIN 400 600; key F11; type p"
    "type p; key F11"
)
for round in $(seq "$rounds"); do
    dir="$tmp/$round"
    mkdir -p "$dir"
    cp -r "$snd" "$dir/snd"
    : >"$dir/settings.txt"  # played in before: no welcome
    vr_start_game "$dir" 30 env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/audio.raw" \
        VOIDRUNNER_PRESENT_LOG="$dir/present.log" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        "$game" >"$dir/game.log" 2>&1 || fail "round $round: $vr_why"
    for _ in $(seq 150); do
        [ -f "$dir/present.log" ] && [ "$(wc -l <"$dir/present.log")" -gt 2 ] && break
        sleep 0.1
    done
    what=${changes[$(((round - 1) % ${#changes[@]}))]}
    IFS=';' read -ra steps <<<"$what"
    for step in "${steps[@]}"; do
        # shellcheck disable=SC2086 # a step is xdotool's words
        xdotool ${step//WIN/$window}
        sleep 0.2
    done
    closed=0
    vr_close_game "$closer" 10 || closed=$?
    [ "$closed" -eq 0 ] || { kill "$game_pid" 2>/dev/null; fail "round $round ($what): the game did not end when its window was closed"; }
    [ "$vr_exit_code" -eq 0 ] || fail "round $round ($what): the game exited with code $vr_exit_code"
    echo "ok: round $round ($what): closed with status 0"
done
echo "close window test passed: $rounds rounds"
