#!/usr/bin/env bash
# The Linux game in a hostile environment, one case per run:
#   tests/hostile/run.sh CASE GAME SNDDIR CLOSE-WINDOW
# Cases: no-display, no-audio, no-sounds, no-font, minimised, resized,
# typing-flood, mouse-flood, depths, huge-screen, replays-unwritable. Each
# expects the game to keep running (or, with no display at all, to stop with
# one clear line) and to exit 0 when its window is closed.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 CASE GAME SNDDIR CLOSE-WINDOW" >&2
    exit 2
fi
case_name=$1
game=$(realpath "$2")
snd=$(realpath "$3")
closer=$(realpath "$4")

# A sanitized game reports at exit what system libraries never free.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(realpath "$0")")/lsan.supp:print_suppressions=0"

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
vr_tmp_and_cleanup

fail() {
    echo "FAIL: $case_name: $*" >&2
    [ -f "$tmp/game.err" ] && sed 's/^/  game: /' "$tmp/game.err" >&2
    exit 1
}
pass() { echo "ok: $case_name: $*"; }

start_x() {
    for tool in Xvfb xdotool import convert; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh test)"
    done
    vr_start_xvfb 800x600 || fail "Xvfb did not start"
}

# start_game [ENV=VALUE...]: the game in $tmp/run, with the sounds unless
# the case takes them away; silent audio unless the case sets its own.
start_game() {
    mkdir -p "$tmp/run"
    [ -e "$tmp/run/snd" ] || [ "${NO_SND:-}" = 1 ] || cp -r "$snd" "$tmp/run/snd"
    [ -e "$tmp/run/settings.txt" ] || : >"$tmp/run/settings.txt" 2>/dev/null || true  # no welcome
    vr_start_game "$tmp/run" 15 env SDL_AUDIODRIVER=dummy "$@" "$game" >"$tmp/game.out" 2>"$tmp/game.err" ||
        fail "$vr_why"
}

alive() { kill -0 "$game_pid" 2>/dev/null || fail "the game died: $*"; }

# White pixels of the HUD's score line, centred at the top of an 800x600 field.
score_line_pixels() {
    import -window "${shot_window:-root}" "$tmp/shot.png"
    convert "$tmp/shot.png" -crop 120x20+340+10 +repage -alpha off \
        -fill black +opaque '#FFFFFF' -fill white -opaque '#FFFFFF' -colorspace gray \
        -format '%[fx:round(mean*w*h)]' info:
}
wait_frames() {
    for _ in $(seq 150); do
        [ "$(score_line_pixels)" -gt 0 ] && return 0
        alive "before its first frame"
        sleep 0.1
    done
    fail "no frame with the score line within 15 s"
}

# Closes the window like a window manager and expects exit code 0 soon.
close_game() {
    local closed=0
    vr_close_game "$closer" 10 || closed=$?
    [ "$closed" -ne 2 ] || fail "could not send the close request"
    [ "$closed" -ne 1 ] || fail "the game still runs 10 s after its window was closed"
    [ "$vr_exit_code" -eq 0 ] || fail "exit code $vr_exit_code after the window was closed"
}

# Play a little: turn, fire, thrust; the game must still be there.
play_a_little() {
    xdotool keydown Left keydown space
    sleep 0.5
    xdotool keyup space keyup Left
    alive "while playing"
}

case "$case_name" in
no-display)
    code=0
    (cd "$tmp" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
        timeout 20 "$game" >"$tmp/game.out" 2>"$tmp/game.err") || code=$?
    [ "$code" -ne 124 ] || fail "the game ran on without a display (stopped after 20 s)"
    [ "$code" -ne 0 ] || fail "exit code 0 without a display"
    [ "$(wc -l <"$tmp/game.err")" -eq 1 ] || fail "expected one line on standard error"
    grep -q 'display' "$tmp/game.err" || fail "the message does not mention the display"
    pass "exit code $code, one line: $(cat "$tmp/game.err")"

    # A display that is named but not there: the same.
    code=0
    (cd "$tmp" && env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:239 SDL_AUDIODRIVER=dummy \
        timeout 20 "$game" >"$tmp/game.out" 2>"$tmp/game.err") || code=$?
    [ "$code" -ne 124 ] || fail "the game ran on with an unreachable display"
    [ "$code" -ne 0 ] || fail "exit code 0 with an unreachable display"
    [ "$(wc -l <"$tmp/game.err")" -eq 1 ] || fail "expected one line on standard error (unreachable)"
    pass "unreachable display: exit code $code, one line: $(cat "$tmp/game.err")"
    ;;
no-audio)
    start_x
    for driver in dummy no-such-driver; do
        start_game SDL_AUDIODRIVER="$driver"
        wait_frames
        play_a_little
        close_game
        pass "audio driver '$driver': plays and exits 0"
    done
    ;;
no-sounds)
    start_x
    NO_SND=1 start_game
    wait_frames
    play_a_little
    close_game
    pass "no snd folder: plays and exits 0"
    rm -rf "$tmp/run"
    mkdir -p "$tmp/run/snd"
    start_game
    wait_frames
    play_a_little
    close_game
    pass "an empty snd folder: plays and exits 0"
    ;;
no-font)
    start_x
    printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$tmp/fonts.conf"
    start_game FONTCONFIG_FILE="$tmp/fonts.conf"
    sleep 2
    play_a_little
    sleep 1
    alive "without fonts"
    close_game
    warnings=$(grep -c -i 'font' "$tmp/game.err" || true)
    [ "$warnings" -eq 1 ] || fail "expected one warning about fonts, got $warnings"
    pass "no font: one warning ($(grep -i font "$tmp/game.err")), plays, exits 0"
    ;;
minimised)
    start_x
    start_game
    # Right after it appears: minimised, and (there is no window manager to
    # do it) unmapped, then shown again a few seconds later.
    xdotool windowminimize "$window" 2>/dev/null || true
    xdotool windowunmap "$window"
    sleep 3
    alive "while minimised"
    xdotool windowmap "$window"
    wait_frames
    play_a_little
    close_game
    pass "minimised at start, shown later: plays and exits 0"
    ;;
resized)
    start_x
    start_game
    wait_frames
    before=$(score_line_pixels)
    xdotool windowsize "$window" 200 150
    sleep 1
    alive "after a resize to 200x150"
    xdotool windowsize "$window" 1 1
    sleep 1
    alive "after a resize to 1x1"
    xdotool windowsize "$window" 800 600
    sleep 1
    wait_frames
    after=$(score_line_pixels)
    # The playfield kept its size: the centred score line is where it was.
    [ "$after" -gt 0 ] && [ "$before" -gt 0 ] || fail "score line missing ($before, $after)"
    play_a_little
    close_game
    pass "resized to 200x150 and 1x1, restored: score line in place ($before/$after px), exits 0"
    ;;
typing-flood)
    start_x
    start_game
    wait_frames
    # Thousands of characters with no delay: digits, letters, punctuation.
    chars=$(for _ in $(seq 60); do printf '0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN!?.,;:'; done)
    xdotool type --delay 0 --window "$window" "$chars"
    alive "after ${#chars} typed characters"
    wait_frames
    play_a_little
    close_game
    pass "${#chars} characters typed with no delay: plays and exits 0"
    ;;
mouse-flood)
    start_x
    start_game
    wait_frames
    # One xdotool run with thousands of moves (and some clicks and wheel notches).
    args=()
    for i in $(seq 3000); do args+=(mousemove $((i * 7 % 800)) $((i * 13 % 600))); done
    for _ in $(seq 50); do args+=(click 1 click 3 click 4 click 5); done
    xdotool "${args[@]}"
    alive "after 3000 mouse moves"
    wait_frames
    play_a_little
    close_game
    pass "3000 mouse moves and 200 clicks and wheel notches: plays and exits 0"
    ;;
depths)
    # The window shows the game at every common X depth; where SDL has no
    # window surface for the depth the game says once which way it draws.
    matrix=""
    for depth in 8 16 24 30; do
        vr_stop_xvfb
        vr_start_xvfb 800x600 "$depth" || fail "Xvfb did not start at depth $depth"
        start_game
        # The window itself: an 8-bit screen shows it through its own colour
        # map, which a picture of the root window would not use.
        shot_window=$window
        wait_frames
        shown=$(score_line_pixels)
        shot_window=""
        play_a_little
        close_game
        said=$(grep -c -i 'draws through' "$tmp/game.err" || true)
        case $depth in
            8 | 30) [ "$said" -eq 1 ] || fail "depth $depth: expected one line on the fallback, got $said" ;;
            *) [ "$said" -eq 0 ] || fail "depth $depth: a fallback where the window surface works" ;;
        esac
        matrix+=" ${depth}-bit: picture ($shown px of the score line), $([ "$said" -eq 1 ] && echo fallback || echo "window surface");"
    done
    pass "every depth shows the game and exits 0:$matrix"
    ;;
huge-screen)
    # Wider than SDL makes windows: the window is kept within the limit and
    # the game plays (the picture tools here take nothing this wide).
    vr_start_xvfb 20000x700 || fail "Xvfb did not start at 20000x700"
    start_game
    width=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    [ -n "$width" ] && [ "$width" -le 16384 ] || fail "window width '$width' on a 20000-pixel screen"
    sleep 2
    play_a_little
    close_game
    pass "a 20000x700 screen: a ${width}-pixel window, plays, exits 0"
    ;;
replays-unwritable)
    # replays/ a file, on a full disk, read-only: the replay written when the
    # window closes fails, the game still exits 0 and save.txt is intact.
    start_x
    mounted=""
    trap 'if [ -n "$mounted" ]; then umount "$mounted" 2>/dev/null || true; fi; vr_cleanup' EXIT
    mkdir -p "$tmp/run"
    printf '900 3 OLD\n' >"$tmp/run/save.txt"
    try_case() {  # try_case NAME
        start_game
        wait_frames
        play_a_little
        close_game
        [ "$(cat "$tmp/run/save.txt")" = "900 3 OLD" ] || fail "$1: save.txt changed"
        pass "$1: plays, exits 0, save.txt intact"
    }
    echo "not a folder" >"$tmp/run/replays"
    try_case "a file in place of replays/"
    [ "$(cat "$tmp/run/replays")" = "not a folder" ] || fail "the file in place of replays/ changed"
    rm "$tmp/run/replays" && mkdir "$tmp/run/replays"
    if mount -t tmpfs -o size=8k tmpfs "$tmp/run/replays" 2>/dev/null; then
        mounted="$tmp/run/replays"
        dd if=/dev/zero of="$tmp/run/replays/fill" bs=1k count=64 2>/dev/null || true
        try_case "replays/ on a full disk"
        [ "$(ls "$tmp/run/replays")" = "fill" ] || fail "a partial replay was left on the full disk"
        umount "$mounted" && mounted=""
    else
        echo "skipped: full disk (cannot mount a small tmpfs here)"
    fi
    if mount --bind "$tmp/run/replays" "$tmp/run/replays" 2>/dev/null; then
        mounted="$tmp/run/replays"
        if mount -o remount,ro,bind "$mounted" 2>/dev/null; then
            try_case "a read-only replays/"
            [ -z "$(ls "$tmp/run/replays")" ] || fail "something was written to a read-only replays/"
        else
            echo "skipped: read-only (cannot remount read-only here)"
        fi
        umount "$mounted" && mounted=""
    else
        echo "skipped: read-only (cannot bind-mount here)"
    fi
    ;;
*)
    echo "unknown case '$case_name'" >&2
    exit 2
    ;;
esac
