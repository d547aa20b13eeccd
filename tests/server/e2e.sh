#!/usr/bin/env bash
# The server end to end on 127.0.0.1: tickets, runs played by the replay bot
# with the tickets' seeds, verified, listed, fetched back, and the refusals.
#   e2e.sh SERVER BOT sqlite|postgresql
# The server's clock runs 100 times faster (--clock-scale), so a run of 1500
# ticks may be sent after 0.93 s instead of 93 s.
set -euo pipefail
server=$(realpath "$1") bot=$(realpath "$2") kind=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/server.sh
. "$here/../../scripts/lib/server.sh"
tmp=$(mktemp -d)
chmod 755 "$tmp"
cd "$tmp"  # the bot signs its table into save.txt here
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ "$kind" = postgresql ] && "$here/pg-cluster.sh" stop "$tmp/pg"
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$tmp/err" ] && cat "$tmp/err" >&2; exit 1; }

case "$kind" in
sqlite) url="sqlite:$tmp/leaderboard.db" ;;
postgresql) url=$("$here/pg-cluster.sh" start "$tmp/pg") ;;
*) echo "usage: e2e.sh SERVER BOT sqlite|postgresql" >&2; exit 2 ;;
esac
echo "operator-token-for-the-test" >"$tmp/token"
# Made before the server starts: the loop below may read before the
# background shell has opened it.
: >"$tmp/out"
"$server" --listen 127.0.0.1:0 --db "$url" --key "$tmp/key" --operator-token "$tmp/token" \
    --clock-scale 100 --workers 2 --rate 1000 >"$tmp/out" 2>"$tmp/err" &
pid=$!
vr_server_port "$tmp/out" "$pid" || fail "$vr_why"
base=http://127.0.0.1:$port/api/v1

# req METHOD PATH [curl options]: sets status and body.
req() {
    local m=$1 p=$2
    shift 2
    status=$(curl -s -o "$tmp/body" -w '%{http_code}' --max-time 20 -X "$m" "$@" "$base$p")
    body=$(cat "$tmp/body")
}
expect() { [ "$status" = "$1" ] || fail "$2: status $status, want $1: $body"; }
# submit TICKET PLAYER SCORE FILE: with the key the player's name was
# claimed with (keys[PLAYER]), if any.
declare -A keys
submit() {
    local auth=() uri
    uri=$(jq -rn --arg p "$2" '$p|@uri')
    [ -n "${keys[$2]:-}" ] && auth=(-H "Authorization: Bearer ${keys[$2]}")
    req POST "/runs?ticket=$1&player=$uri&score=$3" -H 'Content-Type: text/plain' \
        --data-binary "@$4" "${auth[@]}"
}
# claim NAME: its key in keys[NAME].
claim() {
    req POST /players --data-binary "$(jq -cn --arg n "$1" '{name: $n}')"
    expect 201 "claim $1"
    [ "$(jq -r .name <<<"$body")" = "$1" ] || fail "claimed another name: $body"
    keys[$1]=$(jq -r .key <<<"$body")
    [ "${#keys[$1]}" -ge 22 ] || fail "a key of fewer than 128 bits: $body"
}
for name in ABC DAY '<b>&"x'; do claim "$name"; done
# metric 'NAME{LABELS}': its value on /metrics, 0 while it is not there.
metric() {
    curl -s --max-time 20 "http://127.0.0.1:$port/metrics" >"$tmp/metrics"
    awk -v m="$1" '$1 == m { v = $2 } END { print v + 0 }' "$tmp/metrics"
}
refused() { metric "voidrunner_runs_total{outcome=\"refused\",reason=\"$1\"}"; }

# Four tickets and a run played with each one's seed.
declare -A ticket seed score
for name in good wrongscore wrongfield daily; do
    req POST "/tickets$([ $name = daily ] && echo '?kind=daily')"
    expect 200 "ticket $name"
    ticket[$name]=$(jq -r .ticket <<<"$body")
    seed[$name]=$(jq -r .seed <<<"$body")
    field=1280x720
    [ $name = wrongfield ] && field=800x600
    "$bot" --seed "${seed[$name]}" --field $field --games 1 --ticks 1500 "$tmp/$name.txt" 2>"$tmp/bot"
    score[$name]=$(sed -n 's/.*best score \([0-9]*\).*/\1/p' "$tmp/bot")
done
day=$(jq -r .day <<<"$body")
[ "$(jq -r .field <<<"$body" | tr -d ' \n')" = "[1280,720]" ] || fail "ranked field: $body"

# The day's seed is everyone's: a fresh daily ticket has it too, but a run
# sent at once is sooner than its 1500 ticks can be played.
req POST "/daily/tickets"
[ "$(jq -r .seed <<<"$body")" = "${seed[daily]}" ] || fail "the day's seed changed: $body"
submit "$(jq -r .ticket <<<"$body")" ABC "${score[daily]}" "$tmp/daily.txt"
expect 422 "too soon"
grep -q sooner <<<"$body" || fail "too soon: $body"
sleep 1.2

forged=${ticket[good]%?}0
[ "$forged" = "${ticket[good]}" ] && forged=${ticket[good]%?}1
submit "$forged" ABC "${score[good]}" "$tmp/good.txt"
expect 401 "forged ticket"
submit "${ticket[good]}" ABC "${score[good]}" "$tmp/daily.txt"
expect 422 "another ticket's seed"
# A refusal moves its own reason's counter, and no other.
before_mismatch=$(refused score_mismatch) before_forged=$(refused forged)
submit "${ticket[wrongscore]}" ABC "$((score[wrongscore] + 10))" "$tmp/wrongscore.txt"
expect 422 "score that does not reproduce"
grep -q "does not reproduce" <<<"$body" || fail "wrong score: $body"
[ "$(refused score_mismatch)" = "$((before_mismatch + 1))" ] || fail "score_mismatch not counted"
[ "$(refused forged)" = "$before_forged" ] || fail "a score mismatch counted as forged"
[ "$(metric voidrunner_verification_seconds_count)" -ge 1 ] || fail "no verification timed"
submit "${ticket[wrongfield]}" ABC "${score[wrongfield]}" "$tmp/wrongfield.txt"
expect 422 "another field"
req POST "/runs?ticket=${ticket[good]}&player=A%FFB&score=${score[good]}" --data-binary "@$tmp/good.txt"
expect 400 "invalid UTF-8"
req POST "/runs?ticket=${ticket[good]}&player=AB%00C&score=${score[good]}" --data-binary "@$tmp/good.txt" \
    -H "Authorization: Bearer ${keys[ABC]}"
expect 400 "a name cut short by %00"
head -c 5000000 /dev/zero >"$tmp/big"
submit "${ticket[good]}" ABC 0 "$tmp/big"
expect 413 "too large"

player='<b>&"x'
uri=$(jq -rn --arg p "$player" '$p|@uri')
# A claimed name: without its key, with another's, and a name nobody claimed.
req POST "/runs?ticket=${ticket[good]}&player=$uri&score=${score[good]}" --data-binary "@$tmp/good.txt"
expect 401 "a claimed name without its key"
req POST "/runs?ticket=${ticket[good]}&player=$uri&score=${score[good]}" --data-binary "@$tmp/good.txt" \
    -H "Authorization: Bearer ${keys[ABC]}"
expect 403 "a claimed name with another player's key"
req POST "/runs?ticket=${ticket[good]}&player=NOBODY&score=${score[good]}" --data-binary "@$tmp/good.txt"
expect 401 "a name nobody claimed"
submit "${ticket[good]}" "$player" "${score[good]}" "$tmp/good.txt"
expect 201 "good run"
id=$(jq -r .id <<<"$body")
[ "$(jq -r .rank <<<"$body")" = 1 ] || fail "the answer carries no rank: $body"
submit "${ticket[good]}" ABC "${score[good]}" "$tmp/good.txt"
expect 409 "reused ticket"
submit "${ticket[daily]}" DAY "${score[daily]}" "$tmp/daily.txt"
expect 201 "daily run"
daily_id=$(jq -r .id <<<"$body")

req GET "/top?limit=5"
expect 200 top
[ "$(jq -r '.[0].player' <<<"$body")" = "$player" ] || fail "top lists: $body"
[ "$(jq -r '.[0].score' <<<"$body")" = "${score[good]}" ] || fail "top score: $body"
[ "$(jq length <<<"$body")" = 1 ] || fail "the global table holds only the ranked run: $body"
grep -q '[<>&]' <<<"$body" && fail "markup reached the JSON unescaped: $body"
req GET "/daily/top?day=$day"
[ "$(jq -r '.[0].id' <<<"$body")" = "$daily_id" ] || fail "daily table: $body"
req GET "/runs/$id/replay"
expect 200 replay
cmp -s "$tmp/body" "$tmp/good.txt" || fail "the replay comes back changed"
req GET "/top?limit=1000"
expect 400 "limit out of range"
req GET "/top?day=today"
[ "$(jq -r '.[0].id' <<<"$body")" = "$id" ] || fail "today's runs of the standard board: $body"
req GET "/players/$uri"
expect 200 "the player's page"
[ "$(jq -r '.best.id,.best.rank,.bestRank,.runs[0].id' <<<"$body" | tr '\n' ' ')" = "$id 1 1 $id " ] ||
    fail "the player's page: $body"
req GET "/players/NOBODY"
expect 404 "an unknown player"
req POST /players --data-binary '{"name":"abc"}'
expect 409 "a look-alike of a claimed name"

# Moderation: only with the operator's token. The table asked for first
# is kept by the server: hiding must drop it.
req GET "/top"
[ "$(jq length <<<"$body")" = 1 ] || fail "the table before hiding: $body"
req POST "/runs/$id/hide"
expect 403 "hide without token"
req POST "/runs/$id/hide" -H "Authorization: Bearer $(cat "$tmp/token")"
expect 200 hide
req GET "/top"
[ "$body" = "[]" ] || fail "a hidden run is listed: $body"
req GET "/runs/$id/replay"
expect 404 "hidden replay"

# Health and figures: /healthz for anyone, /metrics for this machine or
# the operator's token; a log line a run, a ticket and a hide.
status=$(curl -s -o "$tmp/body" -w '%{http_code}' "http://127.0.0.1:$port/healthz")
[ "$status" = 200 ] && [ "$(jq -r .status "$tmp/body")" = ok ] || fail "healthz: $status $(cat "$tmp/body")"
for h in 'X-Real-IP: 192.0.2.1' 'X-Forwarded-For: 192.0.2.1'; do
    status=$(curl -s -o /dev/null -w '%{http_code}' -H "$h" "http://127.0.0.1:$port/metrics")
    [ "$status" = 403 ] || fail "/metrics for another machine ($h): $status"
done
status=$(curl -s -o /dev/null -w '%{http_code}' -H 'X-Real-IP: 192.0.2.1' \
    -H "Authorization: Bearer $(cat "$tmp/token")" "http://127.0.0.1:$port/metrics")
[ "$status" = 200 ] || fail "/metrics with the token: $status"
[ "$(metric 'voidrunner_tickets_total{kind="daily"}')" -ge 2 ] || fail "daily tickets not counted"
grep -q "level=info event=run outcome=listed status=201 run=$id board=global client=127.0.0.1 " "$tmp/err" ||
    fail "no log line for run $id"
grep -q "event=run outcome=refused reason=score_mismatch status=422 .*client=127.0.0.1 player=ABC" "$tmp/err" ||
    fail "no log line for the refused score"
grep -q "event=hide run=$id client=127.0.0.1" "$tmp/err" || fail "no log line for the hide"
grep -q "event=ticket kind=daily ticket=[0-9a-f]* seed=${seed[daily]} client=127.0.0.1" "$tmp/err" ||
    fail "no log line for a ticket"

# Review: only the operator sees it and marks a run as watched.
req GET "/review"
expect 403 "review without token"
req GET "/review" -H "Authorization: Bearer $(cat "$tmp/token")"
expect 200 review
req POST "/runs/$daily_id/watched" -H "Authorization: Bearer $(cat "$tmp/token")"
expect 200 watched
req GET "/runs/$daily_id"
[ "$(jq -r .watched <<<"$body")" = true ] || fail "a watched run is not marked: $body"

# A name released by the operator: its old key is worth nothing.
req POST "/players/DAY/release"
expect 403 "release without token"
req POST "/players/DAY/release" -H "Authorization: Bearer $(cat "$tmp/token")"
expect 200 release
req POST "/tickets?player=DAY" -H "Authorization: Bearer ${keys[DAY]}"
expect 401 "the released name's old key"

# The store keeps what it was given across a restart.
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
"$server" --listen "127.0.0.1:$port" --db "$url" --key "$tmp/key" >"$tmp/out" 2>"$tmp/err" &
pid=$!
for _ in $(seq 100); do grep -q port "$tmp/out" && break; sleep 0.1; done
req GET "/daily/top?day=$day"
[ "$(jq -r '.[0].id' <<<"$body")" = "$daily_id" ] || fail "after a restart: $body"

# Behind a proxy it does not trust, the server says so in its log, once.
req GET /top -H 'X-Real-IP: 192.0.2.1'
req GET /top -H 'X-Forwarded-For: 192.0.2.2'
[ "$(grep -c 'through a proxy' "$tmp/err")" = 1 ] || fail "the untrusted proxy is not named once"

# The database knows its key: another key file, or none, is refused at
# start, and no key is made for it.
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
head -c 32 /dev/urandom >"$tmp/other-key"
for key in "$tmp/other-key" "$tmp/no-key"; do
    if "$server" --listen 127.0.0.1:0 --db "$url" --key "$key" >"$tmp/out" 2>"$tmp/err"; then
        fail "started with the key file $key"
    fi
    grep -q "key" "$tmp/err" || fail "no reason given for $key"
done
[ ! -e "$tmp/no-key" ] || fail "a key was made for a database that has one"
echo "e2e $kind: ok"
