#!/usr/bin/env bash
# The launcher's choice of the player's folder, without the package: a stub
# game that prints the folder it was started in.
#   tests/package/launcher.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
# The launcher of old made this, as root, when HOME was not set.
stray=/nonexistent
[ -e "$stray" ] && stray=
trap 'rm -rf "$tmp"; [ -z "$stray" ] || rm -rf "$stray"' EXIT
mkdir -p "$tmp/prefix/games" "$tmp/prefix/lib/games/voidrunner" "$tmp/prefix/share/games/voidrunner/snd"
cp "$root/packaging/debian/voidrunner.sh" "$tmp/prefix/games/voidrunner"
printf '#!/bin/sh\npwd\n' >"$tmp/prefix/lib/games/voidrunner/voidrunner"
chmod +x "$tmp/prefix/games/voidrunner" "$tmp/prefix/lib/games/voidrunner/voidrunner"
failed=0
case_failed=0
fail() { echo "FAIL: $*" >&2; failed=1; case_failed=1; }
ok() { [ "$case_failed" -eq 1 ] || echo "ok: $*"; case_failed=0; }

# launch ENV...: the launcher from $tmp/here with a display; output in $tmp/out, $tmp/err.
launch() {
    mkdir -p "$tmp/here"
    (cd "$tmp/here" && env -i PATH="$PATH" DISPLAY=:99 "$@" "$tmp/prefix/games/voidrunner") \
        >"$tmp/out" 2>"$tmp/err"
}

# HOME unset or relative: refused with one line, nothing made.
for home in unset "" relative/home; do
    code=0
    if [ "$home" = unset ]; then launch || code=$?; else launch HOME="$home" || code=$?; fi
    [ "$code" -eq 1 ] || fail "HOME $home: exit code $code"
    [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q HOME "$tmp/err" || fail "HOME $home: said '$(cat "$tmp/err")'"
    [ -z "$(ls -A "$tmp/here")" ] || fail "HOME $home: made $(ls -A "$tmp/here") in the current folder"
    [ -z "$stray" ] || [ ! -e "$stray" ] || fail "HOME $home: $stray was made"
done
ok "HOME unset, empty or relative: refused with one line, nothing made"

# An absolute XDG_DATA_HOME needs no HOME; an absolute HOME is used.
launch XDG_DATA_HOME="$tmp/data" || fail "XDG_DATA_HOME without HOME: exit code $?"
[ "$(cat "$tmp/out")" = "$tmp/data/voidrunner" ] || fail "XDG_DATA_HOME: started in $(cat "$tmp/out")"
launch HOME="$tmp/home" || fail "absolute HOME: exit code $?"
[ "$(cat "$tmp/out")" = "$tmp/home/.local/share/voidrunner" ] || fail "HOME: started in $(cat "$tmp/out")"
ok "an absolute XDG_DATA_HOME or HOME: the game starts in its folder"
exit "$failed"
