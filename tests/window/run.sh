#!/usr/bin/env bash
# Plays the real game in a real window on a private X server (Xvfb) and
# checks what a player would see and hear: the HUD, the ship, the rocks,
# turning, firing, the throttle, the sound, a game over signed with three
# characters, and a clean exit when the window is closed; the first launch
# in a folder greets the player with the keys.
#   tests/window/run.sh GAME SNDDIR CLOSE-WINDOW OUTDIR
# Screenshots stay in OUTDIR for a look after a failure.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 GAME SNDDIR CLOSE-WINDOW OUTDIR" >&2
    exit 2
fi
game=$(realpath "$1")
snd=$(realpath "$2")
closer=$(realpath "$3")
out=$4
for tool in Xvfb xdotool import convert compare sox; do
    command -v "$tool" >/dev/null || { echo "window test: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
vr_tmp_and_cleanup

fail() {
    echo "FAIL: $*" >&2
    [ -f "$tmp/game.log" ] && sed 's/^/  game: /' "$tmp/game.log" >&2
    exit 1
}
pass() { echo "ok: $*"; }

# --- an X server of the given size on a free display --------------------------
start_x() {  # start_x WxH
    vr_stop_xvfb
    vr_start_xvfb "$1" || fail "Xvfb did not start"
    w=${1%x*}
    h=${1#*x}
    cx=$((w / 2))
    cy=$((h / 2))
}

# --- the game in a fresh working folder ---------------------------------------
start_game() {  # start_game DIR
    local dir=$1
    mkdir -p "$dir"
    cp -r "$snd" "$dir/snd"
    # In a sanitized build memory errors still end the game; leak reports are
    # left to the unit tests, since the system libraries SDL loads (X11, D-Bus,
    # fontconfig) keep allocations of their own until exit.
    vr_start_game "$dir" 30 env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/audio.raw" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$game" >"$tmp/game.log" 2>&1 ||
        fail "$vr_why"
}

# Closes the window as a window manager would and expects exit code 0 soon.
close_game() {
    local closed=0
    vr_close_game "$closer" 5 || closed=$?
    [ "$closed" -ne 2 ] || fail "could not send the close request"
    [ "$closed" -ne 1 ] || fail "the game still runs 5 s after its window was closed"
    [ "$vr_exit_code" -eq 0 ] || fail "the game exited with code $vr_exit_code after its window was closed"
}

# --- looking at the screen -----------------------------------------------------
shots=0
screenshot() {  # screenshot NAME: takes one into $out/NAME.png, sets $shot
    shots=$((shots + 1))
    shot="$out/$(printf '%02d' "$shots")-$1.png"
    import -window root "$shot"
}
# count FILE X Y W H COLOUR: pixels of exactly that colour in the box
count() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -alpha off \
        -fill black +opaque "$6" -fill white -opaque "$6" -colorspace gray \
        -format '%[fx:round(mean*w*h)]' info:
}
white() { count "$@" '#FFFFFF'; }
grey() { count "$@" '#C8C8C8'; }
# differs A B X Y W H: how many pixels of the box differ between two shots
differs() {
    local a="$tmp/a.png" b="$tmp/b.png"
    convert "$1" -crop "${5}x${6}+${3}+${4}" +repage "$a"
    convert "$2" -crop "${5}x${6}+${3}+${4}" +repage "$b"
    compare -metric AE "$a" "$b" null: 2>&1 || true
}
# The HUD's score line: centred at the top, white once frames are shown.
wait_first_frame() {
    for _ in $(seq 150); do
        screenshot frame
        [ "$(white "$shot" $((cx - 60)) 10 120 20)" -gt 0 ] && return 0
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended before its first frame"
        sleep 0.1
    done
    fail "no frame with the score line within 15 s"
}
peak_amplitude() {  # of the disk audio driver's output: 44.1 kHz, 16-bit, stereo
    [ -s "$1" ] || { echo 0; return; }
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$1" -n stat 2>&1 |
        awk '/^Maximum amplitude/ { print $3 }'
}

# === 1. Playing on a 800x600 screen ==========================================
start_x 800x600
start_game "$tmp/play"
wait_first_frame

# The first launch in a folder: a box of seven lines on the keys stands over
# the first frame and the game waits; the first key takes it away.
sleep 0.3
screenshot welcome
welcome=$shot
box_top=$(((h - 7 * 18 - 16) / 2))
[ "$(white "$welcome" $((cx - 150)) "$box_top" 300 1)" -ge 290 ] || fail "no welcome box on the first launch"
[ "$(white "$welcome" $((cx - 140)) $((box_top + 4)) 280 130)" -gt 200 ] || fail "no lines in the welcome box"
sleep 0.5
screenshot still-welcome
[ "$(differs "$welcome" "$shot" 0 0 "$w" "$h")" -eq 0 ] || fail "the game went on under the welcome"
[ -e "$tmp/play/settings.txt" ] || fail "no settings.txt once the welcome was shown"
xdotool key Escape
sleep 0.5
screenshot start
start=$shot
[ "$(white "$start" $((cx - 150)) "$box_top" 300 1)" -lt 100 ] || fail "the welcome stayed after a key"
pass "the first launch shows the welcome until a key, then plays"

[ "$(white "$start" $((cx - 60)) 10 120 20)" -gt 10 ] || fail "no score text at the top"
[ "$(white "$start" $((cx - 60)) 30 120 20)" -gt 10 ] || fail "no level text under the score"
[ "$(white "$start" $((cx - 80)) $((h - 30)) 160 20)" -gt 10 ] || fail "no throttle text at the bottom"
[ "$(white "$start" $((cx - 12)) $((cy - 12)) 24 24)" -gt 10 ] || fail "no ship outline at the centre"
[ "$(grey "$start" 0 55 "$w" $((h - 100)))" -gt 30 ] || fail "no grey rocks in the field"
[ "$(grey "$start" $((w - 80)) $((h - 35)) 80 30)" -gt 10 ] || fail "no reserve ships at the bottom right"
for i in 0 1 2 3; do
    [ "$(white "$start" $((10 + 15 * i)) $((h - 15)) 10 10)" -gt 20 ] || fail "shot circle $i missing"
done
[ "$(white "$start" 70 $((h - 15)) 10 10)" -eq 0 ] || fail "a fifth shot circle at level 1"
pass "HUD texts, ship, rocks, reserve ships and four shot circles are shown"

# Turning: the ship's outline at the centre changes while LEFT is held.
xdotool keydown Left
sleep 0.5
xdotool keyup Left
sleep 0.2
screenshot turned
[ "$(differs "$start" "$shot" $((cx - 12)) $((cy - 12)) 24 24)" -gt 10 ] || fail "the ship did not turn while LEFT was held"
turned=$shot
pass "holding LEFT turns the ship"

# Firing: a white dot leaves the ship and one shot circle goes.
audio_before=$(peak_amplitude "$tmp/play/audio.raw")
xdotool keydown space
sleep 0.15
xdotool keyup space
sleep 0.25
screenshot fired
field_white=$(white "$shot" 0 55 "$w" $((h - 95)))
ship_white=$(white "$shot" $((cx - 15)) $((cy - 15)) 30 30)
[ $((field_white - ship_white)) -gt 0 ] || fail "no shot in flight away from the ship"
[ "$(white "$shot" 55 $((h - 15)) 10 10)" -eq 0 ] || fail "the fourth shot circle is still there with a shot in flight"
[ "$(differs "$turned" "$shot" 0 55 "$w" $((h - 95)))" -gt 0 ] || fail "nothing moved"
pass "SPACE fires a shot that flies"

sleep 0.3
audio_after=$(peak_amplitude "$tmp/play/audio.raw")
awk -v a="$audio_after" 'BEGIN { exit !(a > 0.05) }' ||
    fail "the sound output stayed silent after firing (peak $audio_after, before $audio_before)"
pass "firing is heard (peak amplitude $audio_after)"

# The throttle: typing 5 halves it, and the text says so.
screenshot before-throttle
before=$shot
xdotool type 5
sleep 0.3
screenshot throttle
[ "$(differs "$before" "$shot" $((cx - 80)) $((h - 30)) 160 20)" -gt 10 ] || fail "typing 5 did not change the throttle text"
pass "typing 5 changes the throttle text"

close_game
pass "closing the window ends the game with exit code 0"

# === 2. A game over on a small screen, signed with three characters ==========
start_x 320x240
mkdir -p "$tmp/over"
: >"$tmp/over/settings.txt"  # played in before: no welcome
start_game "$tmp/over"
wait_first_frame
y0=$((h / 4))

# The game-over view: headings and table rows in grey where the table goes,
# unchanged between two looks (rocks would move).
game_over_shown() {
    local f=$1
    [ "$(grey "$f" $((cx - 60)) "$y0" 54 16)" -gt 5 ] &&      # SCORE
    [ "$(grey "$f" $((cx + 10)) "$y0" 54 16)" -gt 5 ] &&      # LEVEL
    [ "$(grey "$f" $((cx + 70)) "$y0" 54 16)" -gt 5 ] &&      # NAME
    [ "$(grey "$f" $((cx + 70)) $((y0 + 20)) 54 16)" -gt 5 ] &&  # row 0's initials
    [ "$(grey "$f" $((cx + 10)) $((y0 + 60)) 54 16)" -gt 2 ]     # row 2's level
}

# Fly around with the engine on until the last ship is lost.
# Over when the table shows twice, 0.3 s apart, unchanged.
over() {
    screenshot over
    game_over_shown "$shot" || return 1
    sleep 0.3
    previous=$shot
    screenshot over
    game_over_shown "$shot" && [ "$(differs "$previous" "$shot" $((cx - 60)) "$y0" 184 76)" -eq 0 ]
}
vr_fly_until 75 0.4 over || fail "$vr_why: no game over within 75 s of flying into rocks"
pass "flying into rocks ends the game; the table is shown"

[ ! -e "$tmp/over/save.txt" ] || fail "save.txt was written before any initials"
vr_sign XYZ "$tmp/over/save.txt" || fail "no save.txt 5 s after typing three characters"
cp "$tmp/over/save.txt" "$out/save.txt"
save="$tmp/over/save.txt"
[ "$(wc -l <"$save")" -eq 9 ] || fail "save.txt should have ten lines, the last without a line end"
[ "$(tail -c1 "$save" | od -An -c | tr -d ' ')" != '\n' ] || fail "save.txt ends with a line end"
(cat "$save"; echo) | grep -Evq '^-?[0-9]+ [0-9]+ [^ ]+$' && fail "a line of save.txt is not 'score level initials'"
[ "$(grep -c ' XYZ$' "$save")" -eq 1 ] || fail "save.txt holds no row signed XYZ"
[ "$(grep -c ' AAA$' "$save")" -eq 9 ] || fail "save.txt should keep the nine default rows"
pass "three typed characters sign the table; save.txt is written in the save format"

close_game
pass "closing the window after a game over ends the game with exit code 0"
echo "window test passed"
