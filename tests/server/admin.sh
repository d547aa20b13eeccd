#!/usr/bin/env bash
# The operator's command against a running server's SQLite database: runs
# and refusals listed with where they came from, a run hidden and listed
# again, a player shown and their name released, a board exported, the key checked, and a backup restored into a
# new database that then serves the same board.
#   admin.sh SERVER BOT
set -euo pipefail
server=$(realpath "$1") bot=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/server.sh
. "$here/../../scripts/lib/server.sh"
tmp=$(mktemp -d)
cd "$tmp"
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$tmp/err" ] && tail -5 "$tmp/err" >&2; exit 1; }
admin() { "$server" admin --db "sqlite:$db" --key "$tmp/key" "$@"; }
start() {
    : >"$tmp/out"
    "$server" --listen 127.0.0.1:0 --db "sqlite:$db" --key "$tmp/key" --clock-scale 100 \
        --rate 1000 >"$tmp/out" 2>>"$tmp/err" &
    pid=$!
    vr_server_port "$tmp/out" "$pid" || fail "$vr_why"
    api=http://127.0.0.1:$port/api/v1
}
stop() { kill "$pid"; wait "$pid" 2>/dev/null || true; pid=; }
top() { curl -s --max-time 20 "$api/top"; }

db=$tmp/lb.db
start
# Two runs listed and one refused.
declare -A ids keys
for player in ACE BOB BAD; do
    keys[$player]=$(curl -s -X POST --data-binary "{\"name\":\"$player\"}" "$api/players" | jq -r .key)
    ticket=$(curl -s -X POST "$api/tickets")
    seed=$(jq -r .seed <<<"$ticket")
    "$bot" --seed "$seed" --field 1280x720 --games 1 --ticks 1500 "$tmp/$player.txt" 2>"$tmp/bot"
    score=$(sed -n 's/.*best score \([0-9]*\).*/\1/p' "$tmp/bot")
    [ $player = BAD ] && score=$((score + 10))
    sleep 1
    curl -s -A "voidrunner/test (Linux)" -X POST -H 'Content-Type: text/plain' \
        -H "Authorization: Bearer ${keys[$player]}" --data-binary "@$tmp/$player.txt" \
        "$api/runs?ticket=$(jq -r .ticket <<<"$ticket")&player=$player&score=$score" >"$tmp/run"
    ids[$player]=$(jq -r '.id // empty' "$tmp/run")
done
[ -n "${ids[ACE]}" ] && [ -n "${ids[BOB]}" ] && [ -z "${ids[BAD]}" ] || fail "runs: ${ids[*]}"

admin runs >"$tmp/runs"
grep -qP "^${ids[BOB]}\tglobal\t\d+\t\d+\tBOB\t.*Z\t-\t127\.0\.0\.1\tvoidrunner/test \(Linux\)$" "$tmp/runs" ||
    fail "admin runs: $(cat "$tmp/runs")"
[ "$(wc -l <"$tmp/runs")" = 3 ] || fail "admin runs lists a header and two runs"
admin refusals >"$tmp/refusals"
grep -qP "\t127\.0\.0\.1\t422\tscore_mismatch\tBAD\t" "$tmp/refusals" || fail "admin refusals: $(cat "$tmp/refusals")"

# Hidden and listed again, seen at once by the running server.
before=$(top)
best=$(jq -r '.[0].id' <<<"$before")
admin hide "$best" >/dev/null
jq -e --argjson id "$best" 'map(.id) | index($id) == null' <<<"$(top)" >/dev/null ||
    fail "a run hidden by admin is listed: $(top)"
admin runs | grep -qP "^$best\t.*\thidden\t" || fail "admin runs does not say hidden"
admin unhide "$best" >/dev/null
[ "$(top)" = "$before" ] || fail "the board after unhide: $(top), before: $before"
set +e
admin hide 999999 2>/dev/null; [ $? = 1 ] || fail "hiding no run is not a failure"
admin hide x1 2>/dev/null; [ $? = 2 ] || fail "a bad id is not a usage error"
admin frobnicate 2>/dev/null; [ $? = 2 ] || fail "an unknown command is not a usage error"
"$server" admin --db "sqlite:$tmp/typo.db" runs 2>/dev/null; [ $? = 1 ] || fail "runs of no database"
set -e
[ ! -e "$tmp/typo.db" ] || fail "a mistyped database was made"
# A player seen and their name given back: the old key is worth nothing.
admin player BOB >"$tmp/player"
grep -qP "^best\t\d+ \(#\d+, run ${ids[BOB]}\)$" "$tmp/player" && grep -qP "^${ids[BOB]}\tglobal\t" "$tmp/player" ||
    fail "admin player: $(cat "$tmp/player")"
admin release ACE >/dev/null
status=$(curl -s -o /dev/null -w '%{http_code}' -X POST -H "Authorization: Bearer ${keys[ACE]}" \
    "$api/tickets?player=ACE")
[ "$status" = 401 ] || fail "a released name's old key: $status"
admin player ACE | grep -q "^claimed.no (released)$" || fail "admin player after release"
set +e
admin release NOBODY 2>/dev/null; [ $? = 1 ] || fail "releasing no player is not a failure"
set -e

admin export global >"$tmp/board.csv"
[ "$(sed -n 1p "$tmp/board.csv")" = "rank,id,player,score,ticks,version,submitted" ] || fail "csv header"
[ "$(cut -d, -f2 "$tmp/board.csv" | tail -n +2 | tr '\n' ' ')" = "$(jq -r 'map(.id) | join(" ")' <<<"$before") " ] ||
    fail "the export is not the board: $(cat "$tmp/board.csv")"

admin check-key >/dev/null || fail "check-key refuses the server's own key"
head -c 32 /dev/urandom >"$tmp/other.key"
if "$server" admin --db "sqlite:$db" --key "$tmp/other.key" check-key >/dev/null; then
    fail "check-key takes another key"
fi

# A backup taken while the server runs, never over a file.
admin backup "$tmp/backup.db" >/dev/null || fail "backup"
if admin backup "$tmp/backup.db" 2>/dev/null; then fail "a backup went over a file"; fi
stop

# Restored into a new database: the same board, the same replays.
db=$tmp/restored.db
admin restore "$tmp/backup.db" >/dev/null || fail "restore"
echo "not a database" >"$tmp/junk.db"
if admin restore "$tmp/junk.db" 2>/dev/null; then fail "restored junk"; fi
start
[ "$(top)" = "$before" ] || fail "the restored board: $(top), before: $before"
cmp -s <(curl -s "$api/runs/${ids[ACE]}/replay") "$tmp/ACE.txt" || fail "the restored replay differs"
echo "admin: ok"
