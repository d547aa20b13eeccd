#!/usr/bin/env bash
# The Windows game plays ranked over WinHTTP under Wine: offline it says why
# and plays unranked; against voidrunner-server on 127.0.0.1 its first game
# is sent at game over and listed under the player's name with the score
# the game claimed. The server's test seed 43 keeps the run short: with
# thrust held from the start, the last ship meets a rock about 35 s later.
#   tests/windows/ranked-check.sh SERVER [WORKDIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
server=$(realpath "$1")
work=$(mkdir -p "${2:-$root/build-winranked}" && cd "${2:-$root/build-winranked}" && pwd)

say() { echo "ranked-check.sh: $*"; }
fail() { echo "ranked-check.sh: FAIL: $*" >&2; exit 1; }

# shellcheck source=../../scripts/lib/xvfb.sh
. "$root/scripts/lib/xvfb.sh"
# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
# shellcheck source=../../scripts/lib/server.sh
. "$root/scripts/lib/server.sh"
vr_tmp_and_cleanup
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; vr_cleanup' EXIT

vr_windows_build "$work/build.log" || fail "no Windows build"
rm -rf "$work/game" "$work"/*.log
mkdir -p "$work/game"
(cd "$work/game" && unzip -q "$root/build-win/voidrunner-windows.zip")

# The server on a free port, its database and key in the scratch folder.
: >"$work/server.log"
"$server" --listen 127.0.0.1:0 --db "sqlite:$tmp/lb.db" --key "$tmp/key" --test-seed 43 \
    >"$work/server.log" 2>&1 &
server_pid=$!
vr_server_port "$work/server.log" "$server_pid" || fail "$vr_why (see $work/server.log)"
best() { curl -s --max-time 10 "http://127.0.0.1:$port/api/v1/top"; }

vr_start_xvfb 1024x768 || fail "Xvfb did not start"
vr_wine_prefix "$work/wineboot.log" desktop || fail "could not make the Wine prefix (see $work/wineboot.log)"

start_game() {  # start_game LOG
    vr_start_game "$work/game" 60 env WINEDEBUG=fixme-all timeout 300 wine ./voidrunner.exe --ranked \
        >"$1" 2>&1 || fail "$vr_why (see $1)"
    xdotool windowfocus "$window" 2>/dev/null || true
}
alt_f4() { xdotool key alt+F4; }
end_game() {
    vr_close_game alt_f4 20 || fail "the game did not end after Alt+F4"
    [ "$vr_exit_code" -eq 0 ] || fail "exit code $vr_exit_code"
}
said() {  # said LOG TEXT: waits up to 20 s for the game to print TEXT
    for _ in $(seq 100); do
        grep -q "$2" "$1" && return 0
        sleep 0.2
    done
    return 1
}

# --- offline: nothing listens on port 1 --------------------------------------
printf 'leaderboard http://127.0.0.1:1\nplayer WINE\n' >"$work/game/settings.txt"
start_game "$work/offline.log"
said "$work/offline.log" "not ranked" || fail "offline: no word of it (see $work/offline.log)"
grep -q "could not connect" "$work/offline.log" || fail "offline: no clear reason (see $work/offline.log)"
say "offline: $(grep -o 'the name.*not ranked' "$work/offline.log" | head -1 | tr -d '\r')"
end_game

# --- a hostile leaderboard: a ticket that would name a file ------------------
# A kept run's file was once named after the ticket's end: x\..\..\save
# replaced save.txt. Such a ticket is now refused before the game starts.
python3 -c '
import http.server, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = b"{\"ticket\":\"r.x\\\\..\\\\..\\\\save\",\"seed\":1}"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *a): pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
print("hostile port", s.server_address[1], flush=True)
s.serve_forever()' >"$work/hostile.out" 2>&1 &
hostile_pid=$!
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; kill "$hostile_pid" 2>/dev/null; vr_cleanup' EXIT
for _ in $(seq 50); do grep -q "hostile port" "$work/hostile.out" && break; sleep 0.1; done
hostile_port=$(sed -n 's/hostile port //p' "$work/hostile.out")
# A key for the name already, so the game asks for the ticket at once.
printf 'leaderboard http://127.0.0.1:%s\nplayer WINE key AAAAAAAAAAAAAAAAAAAAAA\n' "$hostile_port" \
    >"$work/game/settings.txt"
start_game "$work/hostile.log"
said "$work/hostile.log" "not one this game reads" || fail "a hostile ticket was taken (see $work/hostile.log)"
end_game
[ ! -e "$work/game/save.txt" ] || fail "a hostile ticket wrote save.txt"
say "hostile ticket: refused, no file written"

# --- ranked: thrust held until the run is listed -----------------------------
printf 'leaderboard http://127.0.0.1:%s\nplayer WINE\n' "$port" >"$work/game/settings.txt"
start_game "$work/ranked.log"
grep -q "a ranked game on" "$work/ranked.log" || fail "no ticket (see $work/ranked.log)"
xdotool keydown Up
listed=""
for _ in $(seq 90); do
    listed=$(best | jq -c '.[0] // empty' 2>/dev/null || true)
    [ -n "$listed" ] && break
    kill -0 "$game_pid" 2>/dev/null || fail "the game ended during play (see $work/ranked.log)"
    sleep 2
done
xdotool keyup Up
[ -n "$listed" ] || fail "no run listed within 3 minutes (see $work/ranked.log, $work/server.log)"
say "listed: $listed"
said "$work/ranked.log" "the run is listed" || fail "the game did not hear of it (see $work/ranked.log)"
claimed=$(sed -n 's/.*sending the ranked run (\([0-9]*\) points).*/\1/p' "$work/ranked.log")
[ "$(jq -r .player <<<"$listed")" = WINE ] || fail "listed under another name: $listed"
[ "$(jq -r .score <<<"$listed")" = "$claimed" ] || fail "listed score is not the game's $claimed: $listed"
[ "$(jq -r .id <<<"$listed")" = "$(sed -n 's/.*run is listed.*(run \([0-9]*\)).*/\1/p' "$work/ranked.log")" ] ||
    fail "the game was told of another run (see $work/ranked.log): $listed"
end_game
[ ! -d "$work/game/unsent" ] || [ -z "$(ls -A "$work/game/unsent")" ] || fail "a listed run was kept as unsent"
say "ok: offline says why; ranked run sent over WinHTTP, listed as WINE with $claimed points"
