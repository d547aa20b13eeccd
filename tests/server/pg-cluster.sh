#!/usr/bin/env bash
# A throw-away PostgreSQL cluster on a unix socket in DIR, no TCP port:
#   pg-cluster.sh start DIR   prints the database URL
#   pg-cluster.sh stop DIR
# Run as root, the cluster belongs to `nobody` (initdb refuses root).
set -euo pipefail
bin=${VR_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
[ -x "$bin/initdb" ] || { echo "pg-cluster.sh: no PostgreSQL server (postgresql)" >&2; exit 77; }
cmd=$1 dir=$2
as_owner() {
    if [ "$(id -u)" = 0 ]; then setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; else "$@"; fi
}
case "$cmd" in
start)
    mkdir -p "$dir"
    [ "$(id -u)" = 0 ] && chown nobody:nogroup "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U leaderboard --auth=trust -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
        -o "-c listen_addresses='' -k $dir -c fsync=off" start >&2 ||
        { cat "$dir/server.log" >&2; exit 1; }
    echo "postgresql:///postgres?host=$dir&user=leaderboard"
    ;;
stop)
    [ -d "$dir/data" ] && as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -s stop >&2 || true
    ;;
*) echo "usage: pg-cluster.sh start|stop DIR" >&2; exit 2 ;;
esac
