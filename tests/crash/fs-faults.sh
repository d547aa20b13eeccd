#!/usr/bin/env bash
# The save file in a hostile folder: read-only, on a full disk, and a
# directory named save.txt. In each, the headless game plays two games and
# signs both; the saves fail, and the game must go on with both rows in its
# table in memory, exit 0, and leave the old file exactly as it was.
#   tests/crash/fs-faults.sh TRACE-TOOL
# A case that needs what this machine does not allow (mounts, chattr) is
# skipped with a message; the test fails only on a real fault.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 TRACE-TOOL" >&2
    exit 2
fi
trace=$(realpath "$1")
tmp=$(mktemp -d)
mounted=()
immutable=()
cleanup() {
    for p in "${immutable[@]}"; do chattr -i "$p" 2>/dev/null || true; done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
skip() { echo "skipped: $*"; }

# Two games on a tiny field, where the ship is lost within a few ticks;
# each ends in the table and is signed.
cat >"$tmp/script" <<'EOF'
field 17 9
seed 3
tick 5
tick 30
char 65
char 66
char 67
tick
keys S
tick
keys -
tick
keys S
tick
keys -
tick 30
char 88
char 89
char 90
tick 3
EOF

# An old table on disk that both games make: one high row, nine zero rows.
old_table() {
    printf '999 7 OLD'
    for _ in 1 2 3 4 5 6 7 8 9; do printf '\n0 1 OLD'; done
}

# play DIR NAME [LINES]: runs the script in DIR, checks the game's side of
# things and that it said at least LINES (2) lines about save.txt.
play() {
    local dir=$1 name=$2 code=0
    (cd "$dir" && "$trace" "$tmp/script" >"$tmp/out.json" 2>"$tmp/err.txt") || code=$?
    [ "$code" -eq 0 ] || { fail "$name: the game exited with $code: $(cat "$tmp/err.txt")"; return; }
    local table
    table=$(tail -n1 "$tmp/out.json" | grep -o '"table":\[\(\[[^]]*\],\?\)*\]' || true)
    case "$table" in
        *'"ABC"'*'"XYZ"'* | *'"XYZ"'*'"ABC"'*) ;;
        *) fail "$name: the signed rows are not in the table in memory: $table"; return ;;
    esac
    [ ! -e "$dir/save.txt.tmp" ] || fail "$name: a temporary file was left behind"
    # Each failed save says so: a full disk as much as a locked file.
    local said
    said=$(grep -c 'save.txt' "$tmp/err.txt" || true)
    [ "$said" -ge "${3:-2}" ] || fail "$name: $said lines said for two failed saves: $(cat "$tmp/err.txt")"
    echo "ok: $name: two games signed, both rows kept in memory, said so, exit 0"
}

# --- a read-only folder -----------------------------------------------------
ro=$tmp/readonly
mkdir -p "$ro"
old_table >"$ro/save.txt"
cp "$ro/save.txt" "$tmp/old.txt"
how=""
if [ "$(id -u)" -ne 0 ]; then
    chmod a-w "$ro" && how="chmod"
elif mount --bind "$ro" "$ro" 2>/dev/null; then
    mounted+=("$ro")
    if mount -o remount,ro,bind "$ro" 2>/dev/null; then how="read-only bind mount"; fi
fi
if [ -z "$how" ] && [ "$(id -u)" -eq 0 ] && chattr +i "$ro" 2>/dev/null; then
    immutable+=("$ro")
    how="chattr +i"
fi
if [ -n "$how" ] && ! touch "$ro/probe" 2>/dev/null; then
    play "$ro" "read-only folder ($how)"
    cmp -s "$ro/save.txt" "$tmp/old.txt" || fail "read-only folder: save.txt changed"
else
    rm -f "$ro/probe" 2>/dev/null || true
    skip "read-only folder: no way to make a folder read-only here (needs mount or chattr as root)"
fi

# --- a full disk ---------------------------------------------------------------
full=$tmp/full
mkdir -p "$full"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k,nr_inodes=64 tmpfs "$full" 2>/dev/null; then
    mounted+=("$full")
    old_table >"$full/save.txt"
    dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null || true  # until the disk is full
    if dd if=/dev/zero of="$full/probe" bs=4k count=1 2>/dev/null; then
        fail "full disk: the disk is not full after filling it"
    else
        rm -f "$full/probe"
        play "$full" "full disk (tmpfs)"
        cmp -s "$full/save.txt" "$tmp/old.txt" || fail "full disk: save.txt changed"
    fi
else
    skip "full disk: cannot mount a small tmpfs here (needs root and mount rights)"
fi

# --- save.txt is a directory ---------------------------------------------------
dir=$tmp/dir
mkdir -p "$dir/save.txt"
echo "keep" >"$dir/save.txt/inside"
play "$dir" "save.txt is a directory" 1
[ -d "$dir/save.txt" ] && [ "$(cat "$dir/save.txt/inside")" = keep ] ||
    fail "save.txt is a directory: the directory was changed"

exit "$failed"
