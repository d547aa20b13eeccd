#!/usr/bin/env bash
# Installs voidrunner-server into a pristine Debian root as an operator would
# (apt-get install ./voidrunner-server_*.deb pulls every dependency) and
# checks what that made: the system user and its state folder, the program's
# --help, the service enabled, and the server started by hand as that user with the unit's own
# command line and /etc/default's options, on a free port: it makes its key
# and database in the state folder, gives a ticket, takes a run played with
# the ticket's seed and lists it. Purging the package leaves the leaderboard
# and the user alone.
#   tests/package/install-server.sh BOT WORKDIR
# The Debian root comes from root.sh (cached; needs root).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bot=$(realpath "$1")
work=$(mkdir -p "$2" && cd "$2" && pwd)

say() { echo "install-server: $*"; }
fail() {
    echo "install-server: FAIL: $*" >&2
    [ -f "$work/server.err" ] && sed 's/^/  server: /' "$work/server.err" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root (chroot and mounts)"

deb=$root/$("$root/scripts/package-deb.sh" voidrunner-server | tail -n1)

# shellcheck source=root.sh
. "$root/tests/package/root.sh"
# shellcheck source=../../scripts/lib/server.sh
. "$root/scripts/lib/server.sh"
pid=""
cleanup() {
    set +e
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    vr_root_cleanup
}
trap cleanup EXIT
vr_root_start "$work"
vr_root_install "$deb"

state=/var/lib/voidrunner-server
in_root getent passwd voidrunner-server | grep -q ":$state:/usr/sbin/nologin$" ||
    fail "no system user voidrunner-server at home in $state: $(in_root getent passwd voidrunner-server)"
[ "$(in_root stat -c '%U:%G %a' "$state")" = "voidrunner-server:voidrunner-server 750" ] ||
    fail "$state is $(in_root stat -c '%U:%G %a' "$state")"
in_root voidrunner-server --help | grep -q -- '--listen' || fail "voidrunner-server --help"
wants=$sysroot/etc/systemd/system/multi-user.target.wants/voidrunner-server.service
# (deb-systemd-helper links to /lib/systemd/system, the same folder.)
case $(readlink "$wants") in
    /lib/systemd/system/voidrunner-server.service | /usr/lib/systemd/system/voidrunner-server.service) ;;
    *) fail "the service is not enabled" ;;
esac
say "installed: the user, $state, --help, the service enabled"

# By hand, as the service would run it: the unit's ExecStart after
# /etc/default, on a free port and with a faster clock for the run below.
exec_start=$(sed -n 's/^ExecStart=//p' "$sysroot/usr/lib/systemd/system/voidrunner-server.service")
chroot --userspec=voidrunner-server:voidrunner-server "$sysroot" env -i PATH=/usr/sbin:/usr/bin:/bin \
    sh -c "set -a && . /etc/default/voidrunner-server && LISTEN=127.0.0.1:0 &&
           OPTIONS=\"\$OPTIONS --clock-scale 100\" && cd $state && exec $exec_start" \
    >"$work/server.out" 2>"$work/server.err" &
pid=$!
vr_server_port "$work/server.out" "$pid" || fail "$vr_why"
[ "$(in_root stat -c '%U %a' "$state/leaderboard.key")" = "voidrunner-server 600" ] ||
    fail "the key is $(in_root stat -c '%U %a' "$state/leaderboard.key")"
[ "$(in_root stat -c '%U' "$state/leaderboard.db")" = voidrunner-server ] || fail "no database in $state"

base=http://127.0.0.1:$port/api/v1
curl -sf --max-time 10 "$base/top" >"$work/top" && [ "$(cat "$work/top")" = "[]" ] ||
    fail "GET /top on a new leaderboard: $(cat "$work/top")"
key=$(curl -sf --max-time 10 -X POST --data-binary '{"name":"OPS"}' "$base/players" | jq -r .key) ||
    fail "the name OPS could not be claimed"
ticket=$(curl -sf --max-time 10 -X POST -H "Authorization: Bearer $key" "$base/tickets?player=OPS") ||
    fail "no ticket"
"$bot" --seed "$(jq -r .seed <<<"$ticket")" --field 1280x720 --games 1 --ticks 1500 \
    "$work/run.txt" 2>"$work/bot" || fail "the replay bot failed"
score=$(sed -n 's/.*best score \([0-9]*\).*/\1/p' "$work/bot")
sleep 1  # the run's 1500 ticks on the server's faster clock
status=$(curl -s -o "$work/run.json" -w '%{http_code}' --max-time 30 -H 'Content-Type: text/plain' \
    -H "Authorization: Bearer $key" --data-binary "@$work/run.txt" "$base/runs?ticket=$(jq -r .ticket <<<"$ticket")&player=OPS&score=$score")
[ "$status" = 201 ] || fail "the run: $status $(cat "$work/run.json")"
[ "$(curl -sf --max-time 10 "$base/top" | jq -r '.[0].player')" = OPS ] || fail "the run is not listed"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""
say "started by hand as voidrunner-server: key and database in $state, a run of $score verified and listed"

in_root apt-get purge -y -q voidrunner-server >>"$work/apt.log" 2>&1 || fail "apt-get purge failed"
[ ! -e "$sysroot/usr/sbin/voidrunner-server" ] && [ ! -e "$sysroot/etc/default/voidrunner-server" ] ||
    fail "the program or its conffile is still there after purge"
[ ! -e "$wants" ] && [ ! -L "$wants" ] || fail "the service is still enabled after purge"
[ -s "$sysroot$state/leaderboard.key" ] && [ -s "$sysroot$state/leaderboard.db" ] ||
    fail "purging the package removed the leaderboard"
in_root getent passwd voidrunner-server >/dev/null || fail "purging removed the user that owns $state"
say "ok: installed, run by hand, purged; the leaderboard is kept"
