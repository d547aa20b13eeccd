#!/usr/bin/env bash
# A ranked game in the real window against a local voidrunner-server: the
# server's test seed makes a game in which holding UP ends the last ship
# some 35 s in; the run must be listed under the player settings.txt names
# with the score the game sent. Then F2 shows the top ten over the frame,
# and Esc gives back the very same frame.
#   tests/window/ranked.sh GAME SERVER SNDDIR OUTDIR
# Screenshots stay in OUTDIR for a look after a failure.
set -euo pipefail

[ $# -eq 4 ] || { echo "usage: $0 GAME SERVER SNDDIR OUTDIR" >&2; exit 2; }
game=$(realpath "$1") server=$(realpath "$2") snd=$(realpath "$3") out=$4
for tool in Xvfb xdotool import convert compare curl jq; do
    command -v "$tool" >/dev/null || { echo "ranked window test: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done
rm -rf "$out" && mkdir -p "$out" && out=$(realpath "$out")

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
# shellcheck source=../../scripts/lib/server.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/server.sh"
vr_tmp_and_cleanup
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    vr_cleanup
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -f "$tmp/game/game.log" ] && sed 's/^/  game: /' "$tmp/game/game.log" >&2
    [ -f "$tmp/server.err" ] && sed 's/^/  server: /' "$tmp/server.err" >&2
    exit 1
}
pass() { echo "ok: $*"; }

# --- the server on a free port, its database and key in the scratch folder ---
: >"$tmp/server.out"
"$server" --listen 127.0.0.1:0 --db "sqlite:$tmp/lb.db" --key "$tmp/key" --test-seed 43 \
    >"$tmp/server.out" 2>"$tmp/server.err" &
server_pid=$!
vr_server_port "$tmp/server.out" "$server_pid" || fail "$vr_why"
base=http://127.0.0.1:$port

# --- the game, ranked, in a 1280x720 screen: the field shown 1:1 -------------
vr_start_xvfb 1280x720 || fail "Xvfb did not start"
dir=$tmp/game
mkdir -p "$dir"
cp -r "$snd" "$dir/snd"
printf 'leaderboard %s\nplayer Tester\n' "$base" >"$dir/settings.txt"
vr_start_game "$dir" 30 env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/audio.raw" \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$game" --ranked >"$dir/game.log" 2>&1 ||
    fail "$vr_why"
grep -q "a ranked game on $base" "$dir/game.log" || fail "no ranked game"

# --- the host's sign, over the frame: "Ranked" at the top right ---------------
screenshot() { shot="$out/$1.png"; import -window root "$shot"; }
# Lit pixels in the top right corner, right of the score, where the sign is.
sign() {
    convert "$1" -crop 500x20+772+6 +repage -alpha off -colorspace gray -threshold 25% \
        -format '%[fx:round(mean*w*h)]' info:
}
sleep 1
screenshot playing
[ "$(sign "$shot")" -gt 20 ] || fail "no sign says the game is ranked ($shot)"
pass "the sign says the game is ranked ($(sign "$shot") lit pixels)"

# --- UP held until the run is listed ------------------------------------------
xdotool keydown Up
listed=""
for _ in $(seq 180); do
    listed=$(curl -s --max-time 5 "$base/api/v1/top?limit=10" || true)
    [ "$(jq length <<<"${listed:-[]}" 2>/dev/null || echo 0)" -gt 0 ] && break
    kill -0 "$game_pid" 2>/dev/null || { xdotool keyup Up; fail "the game ended"; }
    sleep 1
done
xdotool keyup Up
[ "$(jq length <<<"${listed:-[]}")" -eq 1 ] || fail "no run listed within 3 minutes: ${listed:-no answer}"
sent=$(sed -n 's/.*sending the ranked run (\([0-9]*\) points).*/\1/p' "$dir/game.log")
[ "$(jq -r '.[0].player' <<<"$listed")" = Tester ] || fail "listed under another name: $listed"
[ "$(jq -r '.[0].score' <<<"$listed")" = "$sent" ] || fail "listed with another score than the $sent sent: $listed"
pass "the ranked run is listed: Tester, $sent points"

grep -q "the run is listed, #1 on the board" "$dir/game.log" || fail "the game did not hear its place"
sleep 0.5
screenshot listed
[ "$(sign "$shot")" -gt "$(sign "$out/playing.png")" ] || fail "the sign does not say listed #1 ($shot)"
pass "the sign says where the run is listed"

# --- F2: the top ten over the frame; Esc: the frame as it was -----------------
# Lit pixels where the box's first row of the all-time table stands (the
# box is centred in the 1280x720 field, 15 lines of 18 pixels).
lit() {
    convert "$1" -crop 260x18+370+279 +repage -alpha off -colorspace gray -threshold 25% \
        -format '%[fx:round(mean*w*h)]' info:
}
differs() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
sleep 0.5
screenshot over
over=$shot
xdotool key F2
shown=0
for _ in $(seq 50); do
    sleep 0.2
    screenshot top-ten
    # Loading first, then the row: far more lit than the frame under it.
    if [ "$(lit "$shot")" -gt $(($(lit "$over") + 100)) ]; then shown=1; break; fi
done
[ "$shown" -eq 1 ] || fail "F2: no top ten with its rows over the frame ($out/top-ten.png)"
pass "F2 shows the top ten ($(lit "$shot") lit pixels in its first row, $(lit "$over") there in the frame)"
xdotool key Escape
sleep 0.5
screenshot closed
[ "$(differs "$over" "$shot")" = 0 ] || fail "Esc: the frame is not as it was ($(differs "$over" "$shot") pixels differ)"
pass "Esc closes it and the frame is as it was"
