#!/usr/bin/env bash
# Builds voidrunner.exe and plays it under Wine on a virtual X display:
# the window appears, frames with the HUD and the ship are drawn, LEFT turns
# the ship, a typed digit sets the throttle, and closing the window ends the program with exit code 0.
#   tests/windows/check.sh [WORKDIR]   (logs and screenshots stay in WORKDIR)
#   VR_CPU_SECONDS=30 tests/windows/check.sh   also reports the game's CPU share
# Also checks the exe's resources: the ship icon (also on the window), the
# version information and the manifest.
# Needs: the mingw, wine, zip, sox, xvfb, xdotool, imagemagick, icoutils packages
# (scripts/setup.sh test).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mkdir -p "${1:-$root/build-wincheck}" && cd "${1:-$root/build-wincheck}" && pwd)

say() { echo "check.sh: $*"; }
fail() { echo "check.sh: FAIL: $*" >&2; exit 1; }

# shellcheck source=../../scripts/lib/xvfb.sh
. "$root/scripts/lib/xvfb.sh"
# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
vr_tmp_and_cleanup

# --- build (warnings are errors there too) ---------------------------------
vr_windows_build "$work/build.log" || fail "no Windows build"

rm -rf "$work/game" "$work"/*.png "$work"/*.log "$work/resources"

# --- the exe's resources: the ship icon, the version, the manifest -------------
exe="$root/build-win/voidrunner.exe"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build-win/CMakeCache.txt")
mkdir -p "$work/resources"
wrestool -x --type=14 -o "$work/resources" "$exe" 2>/dev/null || true
icon=$(ls "$work/resources"/*.ico 2>/dev/null | head -n1)
[ -n "$icon" ] || fail "the exe has no icon resource"
sizes=$(icotool -l "$icon" | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
sizes=${sizes% }
for size in 16 32 48 256; do
    [[ " $sizes " == *" $size "* ]] || fail "the exe's icon has no $size px picture (has: $sizes)"
done
info=$(wrestool -x --raw --type=16 "$exe" | iconv -c -f UTF-16LE -t UTF-8 | tr -c '[:print:]' ' ' | tr -s ' ')
for want in "ProductName Voidrunner" "ProductVersion $version" "FileDescription Voidrunner"; do
    [[ "$info" == *"$want"* ]] || fail "the exe's version information lacks '$want'"
done
wrestool -x --raw --type=24 "$exe" | grep -q '<dpiAware[^>]*>true/pm<' || fail "the exe's manifest does not declare DPI awareness"
say "resources: icon ($sizes px), version $version, manifest with DPI awareness"
mkdir -p "$work/game"
# Run from the packed zip, as a player would: the exe and snd/ only.
(cd "$work/game" && unzip -q "$root/build-win/voidrunner-windows.zip")
: >"$work/game/settings.txt"  # played in before: no welcome
[ -s "$work/game/README.txt" ] || fail "the zip has no README.txt for players"
readme=$(tr -d '\r' <"$work/game/README.txt")
[[ "$readme" == *"$("$root/scripts/keys.sh" text)"* ]] || fail "README.txt does not list the keys of app/host/Keys.def"
grep -q "MIT License" "$work/game/LICENSE.txt" || fail "the zip has no LICENSE.txt"

# --- a display of its own, and a Wine prefix booted before anything is timed
vr_start_xvfb 1024x768 || fail "Xvfb did not start"
vr_wine_prefix "$work/wineboot.log" desktop || fail "could not make the Wine prefix (see $work/wineboot.log)"

# --- the run -----------------------------------------------------------------
# Wine's error messages go to the log: they tell why a run went wrong.
vr_start_game "$work/game" 30 env WINEDEBUG=fixme-all timeout 120 wine ./voidrunner.exe >"$work/wine.log" 2>&1 ||
    fail "$vr_why (see $work/wine.log)"
say "window $window is up"

# The window class got the ship icon: Wine hands the class icon to X as
# _NET_WM_ICON (ARGB rows). The ship's picture is mostly opaque black with
# white and green lines; Wine's stand-in icon has neither.
# Wine may set it a moment after the window maps.
for _ in $(seq 20); do
    xprop -id "$window" -notype 32c _NET_WM_ICON | grep -q '= ' && break
    sleep 0.25
done
read -r iw ih black green < <(xprop -id "$window" -notype 32c _NET_WM_ICON | tr -d ',' |
    awk '{ w = $3; h = $4; for (i = 5; i < 5 + w * h && i <= NF; ++i) {
               if ($i == 4278190080) b++; if ($i == 4278255360) g++ }
           print w, h, b + 0, g + 0 }')
say "window icon: ${iw}x${ih}, $black black and $green green pixels"
[ "${iw:-0}" -ge 16 ] || fail "the window has no icon"
[ $((black * 2)) -gt $((iw * ih)) ] && [ "$green" -gt 0 ] ||
    fail "the window's icon is not the ship"

read -r sw sh < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')

# Number of pure white pixels in a box of a screenshot.
white() {  # white FILE X Y W H
    convert "$1" -crop "$4x$5+$2+$3" +repage -fill black +opaque white \
        -format '%[fx:round(mean*w*h)]' info:
}
# The top of the client area: the first black pixel below the caption,
# looked for in a column clear of the caption's text and buttons.
clientTop() {  # clientTop FILE
    convert "$1" -crop "1x120+$((sw * 3 / 4))+0" +repage txt:- |
        awk -F'[,:]' '/#000000/ { print $2; found = 1; exit } END { if (!found) print -1 }'
}

# Frames start on the sixth tick; wait until the HUD's score line shows.
shot="$work/first.png"
top=-1
for _ in $(seq 60); do
    import -window root "$shot"
    top=$(clientTop "$shot")
    if [ "$top" -ge 0 ] && [ "$(white "$shot" $((sw / 2 - 60)) "$top" 120 40)" -gt 20 ]; then break; fi
    sleep 0.25
done
[ "$top" -ge 0 ] || fail "no client area found on the screen (see $shot)"
say "client area: (0, $top) to ($sw, $sh)"

# The window opens maximised: the client area spans the screen below the caption.
[ "$top" -lt 60 ] || fail "the window is not maximised: client area starts at y = $top"

cx=$((sw / 2))
cy=$((top + (sh - top) / 2))
score=$(white "$shot" $((cx - 60)) "$top" 120 40)
throttle=$(white "$shot" $((cx - 80)) $((sh - 35)) 160 30)
ship=$(white "$shot" $((cx - 20)) $((cy - 20)) 40 40)
say "white pixels: score line $score, throttle line $throttle, ship $ship"
[ "$score" -gt 20 ] || fail "no score text at the top centre (see $shot)"
[ "$throttle" -gt 20 ] || fail "no throttle text at the bottom (see $shot)"
[ "$ship" -gt 10 ] || fail "no ship at the centre of the client area (see $shot)"

# --- LEFT turns the ship -------------------------------------------------------
xdotool mousemove "$cx" "$cy"
xdotool windowfocus "$window" 2>/dev/null || true
sleep 0.2
convert "$shot" -crop "40x40+$((cx - 20))+$((cy - 20))" +repage -fill black +opaque white "$work/ship-before.png"
xdotool keydown Left
sleep 0.6
xdotool keyup Left
sleep 0.2
import -window root "$work/turned.png"
convert "$work/turned.png" -crop "40x40+$((cx - 20))+$((cy - 20))" +repage -fill black +opaque white \
    "$work/ship-after.png"
changed=$(compare -metric AE "$work/ship-before.png" "$work/ship-after.png" null: 2>&1 || true)
say "ship pixels changed by holding LEFT: $changed"
[ "${changed%%[!0-9]*}" -gt 10 ] || fail "the ship did not turn (see $work/turned.png)"
[ "$(white "$work/turned.png" $((cx - 20)) $((cy - 20)) 40 40)" -gt 10 ] || fail "the ship vanished"

# --- a typed digit reaches the game as a character: throttle 100 % -> 50 %
crop_throttle() {  # crop_throttle SHOT OUT
    convert "$1" -crop "160x30+$((cx - 80))+$((sh - 35))" +repage -fill black +opaque white "$2"
}
crop_throttle "$work/turned.png" "$work/throttle-before.png"
xdotool type 5
sleep 0.5
import -window root "$work/typed.png"
crop_throttle "$work/typed.png" "$work/throttle-after.png"
changed=$(compare -metric AE "$work/throttle-before.png" "$work/throttle-after.png" null: 2>&1 || true)
say "throttle text pixels changed by typing 5: $changed"
[ "${changed%%[!0-9]*}" -gt 10 ] || fail "the typed digit did not change the throttle (see $work/typed.png)"

# --- P pauses: the frame stands still under a "Paused" box; P plays on -----
xdotool type p
sleep 0.5
import -window root "$work/paused.png"
sleep 1
import -window root "$work/paused-later.png"
moved=$(compare -metric AE "$work/paused.png" "$work/paused-later.png" null: 2>&1 || true)
[ "${moved%%[!0-9]*}" -eq 0 ] || fail "the frame moved while paused (see $work/paused-later.png)"
[ "$(white "$work/paused.png" $((cx - 100)) $((cy - 20)) 200 40)" -gt 20 ] || fail "no Paused box (see $work/paused.png)"
xdotool type p
sleep 1
import -window root "$work/played-on.png"
moved=$(compare -metric AE "$work/paused-later.png" "$work/played-on.png" null: 2>&1 || true)
[ "${moved%%[!0-9]*}" -gt 0 ] || fail "P did not play on (see $work/played-on.png)"

# --- F11: the whole screen, the frame still shown; F11 again: back ----------
size() { xwininfo -id "$window" | awk '/Width:/ { w = $NF } /Height:/ { h = $NF } END { print w "x" h }'; }
xdotool key F11
sleep 1.5
[ "$(size)" = "${sw}x${sh}" ] || fail "F11: the window is $(size), not the ${sw}x${sh} screen"
import -window root "$work/fullscreen.png"
[ "$(clientTop "$work/fullscreen.png")" -eq 0 ] || fail "F11: a caption above the frame (see $work/fullscreen.png)"
[ "$(white "$work/fullscreen.png" $((cx - 80)) $((sh - 40)) 160 40)" -gt 20 ] || fail "no throttle text in fullscreen (see $work/fullscreen.png)"
xdotool key F11
sleep 1.5
import -window root "$work/windowed.png"
[ "$(clientTop "$work/windowed.png")" -gt 0 ] || fail "F11 again: still fullscreen (see $work/windowed.png)"
say "ok: P pauses and plays on; F11 goes fullscreen and back"

# --- optional figure: VR_CPU_SECONDS=30 reports the game's processor share
if [ -n "${VR_CPU_SECONDS:-}" ]; then
    exe_pid=$(pgrep -P "$game_pid" | head -n1)   # timeout's child: the wine process
    cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
    c0=$(cpu "$exe_pid"); s0=$(cpu "$(pgrep -n -x wineserver64 || pgrep -n -x wineserver)")
    sleep "$VR_CPU_SECONDS"
    c1=$(cpu "$exe_pid"); s1=$(cpu "$(pgrep -n -x wineserver64 || pgrep -n -x wineserver)")
    hz=$(getconf CLK_TCK)
    say "CPU over ${VR_CPU_SECONDS} s: game $(awk -v t=$((c1 - c0)) -v w=$((VR_CPU_SECONDS * hz)) \
        'BEGIN { printf "%.1f %%", 100 * t / w }'), wineserver $(awk -v t=$((s1 - s0)) \
        -v w=$((VR_CPU_SECONDS * hz)) 'BEGIN { printf "%.1f %%", 100 * t / w }')"
fi

# --- closing ends the program with 0 ---------------------------------------
xdotool key alt+F4
for _ in $(seq 200); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not end within 20 s of Alt+F4"
status=0
wait "$game_pid" || status=$?
game_pid=""
[ "$status" -eq 0 ] || fail "exit code $status (see $work/wine.log)"
# The table is written only after initials are typed, never at exit.
[ ! -e "$work/game/save.txt" ] || fail "save.txt was written at exit"
say "ok: window, HUD, ship, turn, typed digit, exit code 0"
