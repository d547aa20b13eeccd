#!/usr/bin/env bash
# Runs PROGRAM ARGS... as a user the file permissions hold for: as it is
# when not root; as root, a copy of PROGRAM as nobody (setpriv) in a folder
# that user owns, so CI, which runs as root, tests permissions too. Exits 77,
# CTest's skip, when no such user can be had.
#   tests/as-nobody.sh PROGRAM ARGS...
set -euo pipefail
[ "$(id -u)" -eq 0 ] || exec "$@"
if ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
    echo "skipped: running as root, without setpriv or a user nobody"
    exit 77
fi
uid=$(id -u nobody) gid=$(id -g nobody)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$1" "$dir/"
chown -R "$uid:$gid" "$dir"
cd "$dir"
setpriv --reuid="$uid" --regid="$gid" --clear-groups env HOME="$dir" TMPDIR="$dir" \
    "./$(basename "$1")" "${@:2}"
