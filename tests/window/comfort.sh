#!/usr/bin/env bash
# The host around the game on a desktop as a player has it (Xvfb with the
# openbox window manager): a minimised window pauses the game, P pauses
# and resumes, the whole playfield stays visible and centred in a smaller
# or larger window and in fullscreen (F11), drawn again at any scale in the
# vector look, back from fullscreen the window is maximised again with the
# frame 1:1 in the pixel look (F3), the window has the ship's icon, a
# virtual game controller
# turns, fires and thrusts and may be unplugged, and 5 s of thrust sound
# have no step larger than the sound's own largest step.
#   tests/window/comfort.sh GAME SNDDIR CLOSE-WINDOW OUTDIR
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
for tool in Xvfb openbox xdotool xprop xwininfo import convert compare sox; do
    command -v "$tool" >/dev/null || { echo "comfort test: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
vr_tmp_and_cleanup
pad_fd=""

fail() {
    echo "FAIL: $*" >&2
    [ -f "$dir/game.log" ] && sed 's/^/  game: /' "$dir/game.log" >&2
    exit 1
}
pass() { echo "ok: $*"; }

sw=1024
sh=768
vr_start_xvfb "${sw}x${sh}" || fail "Xvfb did not start"
vr_start_openbox || fail "openbox did not start"

# --- the game, its present log (one line per frame) and its processor time -
start_game() {  # start_game NAME [VAR=VALUE...]
    dir="$tmp/$1"
    shift
    mkdir -p "$dir"
    cp -r "$snd" "$dir/snd"
    : >"$dir/settings.txt"  # played in before: no welcome
    # shellcheck disable=SC2086 # game_args: words
    vr_start_game "$dir" 30 env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/audio.raw" \
        VOIDRUNNER_PRESENT_LOG="$dir/present.log" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$@" \
        "$game" ${game_args:-} >"$dir/game.log" 2>&1 || fail "$vr_why"
    for _ in $(seq 150); do
        [ "$(frames)" -gt 2 ] && return 0
        sleep 0.1
    done
    fail "no frames within 15 s"
}
# Frames only: not the black field logged before the first.
frames() { [ -f "$dir/present.log" ] || { echo 0; return; }; grep -cx "[0-9]*" "$dir/present.log" || true; }
cpu() { awk '{ print $14 + $15 }' "/proc/$game_pid/stat"; }  # in 1/100 s
close_game() {
    local closed=0
    vr_close_game "$closer" 5 || closed=$?
    [ "$closed" -eq 0 ] || { kill "$game_pid" 2>/dev/null; fail "the game did not end when its window was closed"; }
    [ "$vr_exit_code" -eq 0 ] || fail "the game exited with code $vr_exit_code"
}
# The client area on the screen: sets wx wy ww wh. (xdotool's position
# counts the window manager's frame twice.)
geometry() {
    read -r wx wy ww wh < <(xwininfo -id "$window" | awk '/Absolute upper-left X/ { x = $NF }
        /Absolute upper-left Y/ { y = $NF } /Width:/ { w = $NF } /Height:/ { h = $NF }
        END { print x, y, w, h }')
}

# --- looking at the screen -------------------------------------------------
shots=0
screenshot() {  # screenshot NAME: takes one into $out/NAME.png, sets $shot
    shots=$((shots + 1))
    shot="$out/$(printf '%02d' "$shots")-$1.png"
    import -window root "$shot"
}
# lit FILE X Y W H: pixels brighter than a quarter in the box (a scaled
# frame blends white and grey lines into their black surroundings)
lit() {
    [ "$4" -gt 0 ] && [ "$5" -gt 0 ] || { echo 0; return; }
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -alpha off -colorspace gray \
        -threshold 25% -format '%[fx:round(mean*w*h)]' info:
}
differs() {  # differs A B X Y W H
    convert "$1" -crop "${5}x${6}+${3}+${4}" +repage "$tmp/a.png"
    convert "$2" -crop "${5}x${6}+${3}+${4}" +repage "$tmp/b.png"
    compare -metric AE "$tmp/a.png" "$tmp/b.png" null: 2>&1 || true
}

# The playfield (fw x fh, the client area at start) shown in the client
# area now: centred; in the vector look (the default) as large as fits,
# with two pixels all round for the border unless the window is the field's
# size; in the field's pixels (look=pixels) shrunk to fit or enlarged by
# whole steps. Checks the score at the top, the throttle text at the
# bottom, the reserve ships at the bottom right and black all around (but
# for the border's thin line, a few pixels out).
check_placed() {  # check_placed WHAT
    geometry
    screenshot "$1"
    read -r px py pw ph < <(awk -v fw="$fw" -v fh="$fh" -v w="$ww" -v h="$wh" -v look="${look:-vector}" 'BEGIN {
        if (look == "vector" && (fw != w || fh != h)) {
            rw = w - 4; rh = h - 4
            if (rw * fh <= rh * fw) { pw = rw; ph = int((fh * rw + int(fw / 2)) / fw) }
            else { ph = rh; pw = int((fw * rh + int(fh / 2)) / fh) }
        } else if (look == "vector") { pw = w; ph = h
        } else if (fw > w || fh > h) {
            if (w * fh <= h * fw) { pw = w; ph = int(fh * w / fw) } else { ph = h; pw = int(fw * h / fh) }
        } else { s = int(w / fw); t = int(h / fh); if (t < s) s = t; pw = fw * s; ph = fh * s }
        print int((w - pw) / 2), int((h - ph) / 2), pw, ph }')
    local s1000=$((pw * 1000 / fw)) x=$((wx + px)) y=$((wy + py))
    at() { echo $(($1 + $2 * s1000 / 1000)); }  # at ORIGIN FIELD-OFFSET
    [ "$(lit "$shot" "$(at "$x" $((fw / 2 - 60)))" "$(at "$y" 10)" $((120 * s1000 / 1000)) $((20 * s1000 / 1000)))" -gt 3 ] ||
        fail "$1: no score text at the top of the placed frame"
    [ "$(lit "$shot" "$(at "$x" $((fw / 2 - 80)))" "$(at "$y" $((fh - 30)))" $((160 * s1000 / 1000)) $((20 * s1000 / 1000)))" -gt 3 ] ||
        fail "$1: no throttle text at the bottom of the placed frame"
    [ "$(lit "$shot" "$(at "$x" $((fw - 80)))" "$(at "$y" $((fh - 35)))" $((80 * s1000 / 1000)) $((30 * s1000 / 1000)))" -gt 3 ] ||
        fail "$1: no reserve ships at the bottom right of the placed frame"
    # Outside the frame (and its border): black.
    local b=0
    [ "${look:-vector}" = vector ] && b=4
    [ "$(lit "$shot" "$wx" "$wy" $((px - b)) "$wh")" -eq 0 ] || fail "$1: not black left of the frame"
    [ "$(lit "$shot" $((x + pw + b)) "$wy" $((ww - px - pw - b)) "$wh")" -eq 0 ] || fail "$1: not black right of the frame"
    [ "$(lit "$shot" "$wx" "$wy" "$ww" $((py - b)))" -eq 0 ] || fail "$1: not black above the frame"
    [ "$(lit "$shot" "$wx" $((y + ph + b)) "$ww" $((wh - py - ph - b)))" -eq 0 ] || fail "$1: not black below the frame"
    pass "$1: ${ww}x${wh} window shows the ${fw}x${fh} field at ${pw}x${ph}+${px}+${py} with its HUD texts and reserve ships"
}

start_game play
geometry
fw=$ww
fh=$wh
# The ship's icon for the window manager: 64x64 pixels.
xprop -id "$window" -notype 32c _NET_WM_ICON | grep -q '= 64, 64,' || fail "the window has no icon of its own"
pass "the window has the ship's icon"

# === 1. Thrust sound: 5 s held, no click ========================================
# At the lowest throttle the ship hardly leaves the centre, where no rock
# comes this early: no bang mixes into the recording.
xdotool type 1
xdotool keydown Up
sleep 5
xdotool keyup Up
max_step() {  # of a sound file, or of the disk driver's raw output
    sox "$@" -t dat - | awk '!/^;/ { d = $2 - p; if (d < 0) d = -d; if (NR > 3 && d > m) m = d; p = $2 }
        END { printf "%.5f\n", m }'
}
own=$(max_step "$snd/thrust.wav")
heard=$(max_step -t raw -r 44100 -e signed -b 16 -c 2 "$dir/audio.raw")
cp "$dir/audio.raw" "$out/thrust.raw"
awk -v o="$own" -v h="$heard" 'BEGIN { exit !(h > 0.001 && h <= o) }' ||
    fail "5 s of thrust: largest step $heard against the sound's own $own"
pass "5 s of thrust restarted every tick: largest step $heard, the sound's own $own"

# === 2. Minimised: paused, asleep, and still paused when restored ===========
f0=$(frames)
screenshot before-minimise
before=$shot
xdotool windowminimize "$window"
sleep 0.5
f1=$(frames)
c1=$(cpu)
sleep 3
f2=$(frames)
c2=$(cpu)
[ "$f2" -eq "$f1" ] || fail "$((f2 - f1)) frames drawn in 3 s while minimised"
[ $((c2 - c1)) -le 9 ] || fail "the minimised game used $(((c2 - c1) * 10)) ms of processor time in 3 s"
pass "minimised: no ticks in 3 s, $(((c2 - c1) * 10)) ms of processor time"
xdotool windowactivate "$window" 2>/dev/null || xdotool windowmap "$window"
sleep 1
screenshot restored
restored=$shot
[ "$(frames)" -le $((f2 + 2)) ] || fail "the game ran on after its window came back, without a key"
# The score as before and every reserve ship still there, when no frame was
# drawn between the screenshot and the minimise (one drawn then may rightly
# show another score: a rock can hit the ship); nothing moving while the
# game waits for a key.
if [ "$f1" -eq "$f0" ]; then
    [ "$(differs "$before" "$restored" $((wx + fw / 2 - 60)) $((wy + 10)) 120 20)" -eq 0 ] || fail "the score changed"
    for slot in 0 1 2; do  # icon i sits at (fw - 20 - 20 i, fh - 20)
        box="$((wx + fw - 27 - 20 * slot)) $((wy + fh - 30)) 14 20"
        # shellcheck disable=SC2086
        if [ "$(lit "$before" $box)" -gt 8 ] && [ "$(lit "$restored" $box)" -le 8 ]; then
            fail "reserve ship $slot is gone"
        fi
    done
fi
[ "$(lit "$restored" $((wx + fw / 2 - 100)) $((wy + fh / 2 - 10)) 200 20)" -gt 20 ] || fail "no Paused box over the game"
sleep 1
screenshot still-paused
[ "$(differs "$restored" "$shot" "$wx" "$wy" "$ww" "$wh")" -eq 0 ] || fail "the frame changed while waiting for a key"
pass "restored: score and reserve ships as they were, \"Paused\" shown, nothing moves"
xdotool key Right
sleep 0.5
[ "$(frames)" -gt $((f2 + 3)) ] || fail "a key did not resume the game"
pass "a key plays on"

# === 3. P pauses and resumes ===============================================
xdotool type p
sleep 0.3
f1=$(frames)
c1=$(cpu)
sleep 2
[ "$(frames)" -eq "$f1" ] || fail "ticks ran while paused with P"
c2=$(cpu)
[ $((c2 - c1)) -le 6 ] || fail "the paused game used $(((c2 - c1) * 10)) ms of processor time in 2 s"
xdotool type p
sleep 0.5
[ "$(frames)" -gt $((f1 + 3)) ] || fail "P did not resume the game"
pass "P pauses (no ticks, $(((c2 - c1) * 10)) ms of processor time in 2 s) and resumes"

# === 4. Fullscreen and back: maximised again, the frame 1:1 ==================
# In the field's own pixels (F3), shown 1:1 the field between the HUD's
# texts (the only smoothed drawing) holds just the game's four colours; a
# scaled frame blends them.
xdotool key F3
sleep 0.5
grep -qx 'look pixels' "$dir/settings.txt" || fail "F3 did not keep the pixel look in settings.txt"
blended() {  # blended FILE: pixels of that part of the field in no colour of the game
    convert "$1" -crop "${ww}x$((wh - 95))+${wx}+$((wy + 55))" +repage -alpha off -fill black \
        -opaque '#000000' -opaque '#FFFFFF' -opaque '#C8C8C8' -opaque '#00FF00' \
        -fill white +opaque black -colorspace gray -format '%[fx:round(mean*w*h)]' info:
}
for keys in "F11 F11" "alt+Return alt+Return"; do
    for key in $keys; do
        xdotool key "$key"
        sleep 1.5
    done
    geometry
    screenshot "back-from-fullscreen"
    xprop -id "$window" _NET_WM_STATE | grep -q MAXIMIZED || fail "$keys: the window is no longer maximised"
    [ "$ww" -eq "$fw" ] && [ "$wh" -eq "$fh" ] || fail "$keys: the window is ${ww}x${wh}, the field ${fw}x${fh}"
    [ "$(blended "$shot")" -eq 0 ] || fail "$keys: the frame is scaled ($(blended "$shot") blended pixels)"
    pass "$keys: maximised again and the ${fw}x${fh} frame shown 1:1"
done
look=pixels check_placed pixels-1to1
xdotool key F3
sleep 0.5
grep -qx 'look vector' "$dir/settings.txt" || fail "F3 again did not bring the vector look back"

# === 5. Any window size: shrunk, enlarged, fullscreen =======================
# Paused, so that no rock takes the last reserve ship while the sizes change:
# the paused frame is drawn again at each size.
xdotool type p
sleep 0.3
# A double click on the title bar un-maximises; the window must fit the screen.
for _ in 1 2 3; do
    xdotool mousemove $((sw / 2)) $((wy / 2)) click --repeat 2 --delay 100 1
    sleep 1
    xprop -id "$window" _NET_WM_STATE | grep -q MAXIMIZED || break
done
xprop -id "$window" _NET_WM_STATE | grep -q MAXIMIZED && fail "the window did not leave the maximised state"
geometry
[ "$wy" -ge 0 ] && [ $((wy + wh)) -le "$sh" ] && [ $((wx + ww)) -le "$sw" ] ||
    fail "the restored window (${ww}x${wh}+${wx}+${wy}) does not fit the ${sw}x${sh} screen"
pass "the restored window fits the screen (${ww}x${wh}+${wx}+${wy})"
xdotool windowmove "$window" 20 60 windowsize "$window" 500 300
sleep 1
check_placed shrunk
xdotool windowsize "$window" 400 600
sleep 1
check_placed narrow
xdotool windowsize "$window" 900 680
sleep 1
check_placed enlarged
windowed="${ww}x${wh}"
xdotool key F11
sleep 1.5
geometry
[ "$ww" -eq "$sw" ] && [ "$wh" -eq "$sh" ] || fail "F11: the window is ${ww}x${wh}, not the screen"
check_placed fullscreen
xdotool key F11
sleep 1.5
geometry
[ "${ww}x${wh}" = "$windowed" ] || fail "F11 again: ${ww}x${wh}, not the ${windowed} window it was"
pass "F11 goes fullscreen and back (${ww}x${wh})"
close_game

# === 6. --fullscreen, and a virtual game controller =========================
mkfifo "$tmp/pad.fifo"
exec {pad_fd}<>"$tmp/pad.fifo"
game_args=--fullscreen start_game pad VOIDRUNNER_TEST_PAD="$tmp/pad.fifo"
pad() { echo "$*" >&"$pad_fd"; sleep "${delay:-0.4}"; }
geometry
[ "$ww" -eq "$sw" ] && [ "$wh" -eq "$sh" ] || fail "--fullscreen: the window is ${ww}x${wh}, not the screen"
fw=$sw
fh=$sh
check_placed started-fullscreen
# The playfield is the whole screen: the shot circles sit 5 to 15 pixels
# above its bottom edge.
[ "$(lit "$shot" 10 $((sh - 12)) 60 5)" -gt 10 ] || fail "--fullscreen: the playfield is not the whole screen"
pass "--fullscreen starts fullscreen with the whole screen as the playfield"
cx=$((wx + ww / 2))
cy=$((wy + wh / 2))
screenshot pad-start
start=$shot
pad leftx -32767
pad leftx 0
screenshot pad-turned
[ "$(differs "$start" "$shot" $((cx - 12)) $((cy - 12)) 24 24)" -gt 10 ] || fail "the stick did not turn the ship"
turned=$shot
pass "the stick turns the ship"
delay=0.15 pad a 1
delay=0.25 pad a 0
screenshot pad-fired
[ $(($(lit "$shot" "$wx" $((wy + 55)) "$ww" $((wh - 95))) - $(lit "$shot" $((cx - 15)) $((cy - 15)) 30 30))) -gt 0 ] ||
    fail "the south button fired no shot"
pass "the south button fires"
pad righttrigger 32767
pad righttrigger -32768
screenshot pad-thrust
[ "$(lit "$shot" $((cx - 12)) $((cy - 12)) 24 24)" -lt "$(lit "$turned" $((cx - 12)) $((cy - 12)) 24 24)" ] ||
    fail "the trigger did not move the ship away from the centre"
pass "the trigger thrusts"
f1=$(frames)
pad unplug
sleep 1
kill -0 "$game_pid" 2>/dev/null || fail "the game ended when the controller was unplugged"
[ "$(frames)" -gt $((f1 + 10)) ] || fail "the game stopped ticking when the controller was unplugged"
pass "unplugging the controller leaves the game running"
close_game
echo "comfort window test passed"
