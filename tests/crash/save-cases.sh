#!/usr/bin/env bash
# The save file shared, locked, unreadable and surrounded by links, with the
# game's own table code (save-tool), on Linux or, given "wine", the Windows
# build under Wine:
#   tests/crash/save-cases.sh SAVE-TOOL [wine] [SAVES-PER-GAME]
# Every case checks that no row is lost, nothing outside the game's folder
# changes and nothing blocks.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
    echo "usage: $0 SAVE-TOOL [wine] [SAVES-PER-GAME]" >&2
    exit 2
fi
tool=$(realpath "$1")
wine=${2:-}
[ "$wine" = wine ] || [ -z "$wine" ] || { echo "$0: the second argument is 'wine' or nothing" >&2; exit 2; }
saves=${3:-10000}
# A memory file system when there is one: tens of thousands of saves, each
# synced to a real disk, would take minutes; what is tested is the same.
tmp=$(mktemp -d -p "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
chmod 755 "$tmp"
# shellcheck source=../../scripts/lib/wine.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/wine.sh"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    vr_wine_stop
    rm -rf "$tmp"
}
trap cleanup EXIT

failed=0
case_failed=0
fail() { echo "FAIL: $*" >&2; failed=1; case_failed=1; }
# Each case ends with ok: it says so only when nothing in the case failed.
ok() { [ "$case_failed" -eq 1 ] || echo "ok: $*"; case_failed=0; }
skip() { echo "skipped: $*"; }

if [ -n "$wine" ]; then
    vr_wine_prefix "$tmp/wineboot.log" || { echo "FAIL: wineboot" >&2; cat "$tmp/wineboot.log" >&2; exit 1; }
fi
# run DIR ARGS...: the tool in DIR, never longer than $limit s (a hang is a fault).
limit=30
run() {
    local dir=$1
    shift
    if [ -n "$wine" ]; then
        (cd "$dir" && timeout "$limit" wine "$tool" "$@")
    else
        (cd "$dir" && timeout "$limit" "$tool" "$@")
    fi
}
strip_cr() { tr -d '\r'; }

# A table of ten old rows, as a game writes it.
old_table() {
    printf '900 9 OLD'
    for s in 800 700 600 500 400 300 200 100; do printf '\n%s 1 OLD' "$s"; done
    printf '\n50 1 OLD'
}
fresh() { rm -rf "$tmp/$1" && mkdir -p "$tmp/$1" && chmod 777 "$tmp/$1" && echo "$tmp/$1"; }

# --- an unreadable table survives a signing ------------------------------------
d=$(fresh unreadable)
if [ -n "$wine" ]; then
    old_table >"$d/save.txt"
    cp "$d/save.txt" "$tmp/before"
    (cd "$d" && exec timeout 30 wine "$tool" hold 6000 >"$tmp/hold.out" 2>/dev/null) &
    pids+=($!)
    for _ in $(seq 200); do grep -q holding "$tmp/hold.out" 2>/dev/null && break; sleep 0.05; done
    run "$d" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err" || fail "unreadable: exit code $?"
    cmp -s "$d/save.txt" "$tmp/before" || fail "unreadable: the held table was changed"
    grep -q 'could not be read' "$tmp/err" || fail "unreadable: nothing said: $(cat "$tmp/err")"
    wait "${pids[-1]}" || true
    ok "a table held open by another program: kept, one line said"
else
    old_table >"$d/save.txt"
    chmod 000 "$d/save.txt"
    cp --preserve=mode "$d/save.txt" "$tmp/before" 2>/dev/null || old_table >"$tmp/before"
    as=()
    if [ "$(id -u)" -eq 0 ]; then
        if command -v setpriv >/dev/null; then
            as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        fi
    fi
    if [ "$(id -u)" -ne 0 ] || [ ${#as[@]} -gt 0 ]; then
        code=0
        (cd "$d" && timeout 30 "${as[@]}" "$tool" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err") || code=$?
        [ "$code" -eq 0 ] || fail "unreadable: exit code $code"
        [ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -q 'could not be read' "$tmp/err" ||
            fail "unreadable: expected one line: $(cat "$tmp/err")"
        chmod 644 "$d/save.txt"
        [ "$(cat "$d/save.txt")" = "$(old_table)" ] || fail "unreadable: the table was changed"
        # Readable again: the next signing finds it and adds its row.
        (cd "$d" && timeout 30 "${as[@]}" "$tool" sign 5000 7 NEW >/dev/null 2>&1) || true
        head -n1 "$d/save.txt" | grep -qx '5000 7 NEW' || fail "unreadable: not signed once readable"
        grep -qx '50 1 OLD' "$d/save.txt" && fail "unreadable: row 9 should have dropped"
        ok "a mode-000 table: kept, one line said; signed once readable"
    else
        skip "mode-000 table: running as root without setpriv"
    fi
    # A pipe in place of save.txt: unreadable, never waited on.
    d=$(fresh fifo)
    mkfifo "$d/save.txt"
    run "$d" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err" || fail "pipe as save.txt: exit code $? (124: it blocked)"
    [ -p "$d/save.txt" ] || fail "pipe as save.txt: replaced"
    head -n1 "$tmp/out" | grep -qx '5000 7 NEW' || fail "pipe as save.txt: row not in memory"
    ok "a pipe as save.txt: not blocked, not replaced, row kept in memory"
fi

# --- a locked table survives a signing -----------------------------------------
d=$(fresh locked)
old_table >"$d/save.txt"
cp "$d/save.txt" "$tmp/before"
(cd "$d" && if [ -n "$wine" ]; then exec timeout 30 wine "$tool" lock 8000; else exec timeout 30 "$tool" lock 8000; fi >"$tmp/lock.out" 2>/dev/null) &
pids+=($!)
for _ in $(seq 400); do grep -q locked "$tmp/lock.out" 2>/dev/null && break; sleep 0.05; done
grep -q locked "$tmp/lock.out" || fail "locked: the lock could not be taken"
start=$(date +%s%N)
run "$d" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err" || fail "locked: exit code $?"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
cmp -s "$d/save.txt" "$tmp/before" || fail "locked: the table was written under another's lock"
grep -q 'locked' "$tmp/err" || fail "locked: nothing said: $(cat "$tmp/err")"
head -n1 "$tmp/out" | strip_cr | grep -qx '5000 7 NEW' || fail "locked: the row is not in memory"
wait "${pids[-1]}" || true
ok "a locked table: left alone after a bounded wait ($ms ms), row kept in memory"

# --- a row kept in memory joins the table another game saved meanwhile ------------
d=$(fresh kept)
old_table >"$d/save.txt"
(cd "$d" && if [ -n "$wine" ]; then exec timeout 30 wine "$tool" lock 3000; else exec timeout 30 "$tool" lock 3000; fi >"$tmp/lock.out" 2>/dev/null) &
holder=$!
pids+=($holder)
for _ in $(seq 400); do grep -q locked "$tmp/lock.out" 2>/dev/null && break; sleep 0.05; done
# Game A signs under the other's lock, waits while game B signs, signs again.
run "$d" sign 5000 7 AAA wait "$d/go" 1000 1 CCC >"$tmp/a.out" 2>"$tmp/a.err" &
a=$!
pids+=($a)
for _ in $(seq 600); do [ -e "$d/go.ready" ] && break; sleep 0.05; done
wait "$holder" || true
run "$d" sign 4500 7 BBB >/dev/null 2>&1 || fail "kept: game B exited with $?"
touch "$d/go"
wait "$a" || fail "kept: game A exited with $?: $(cat "$tmp/a.err")"
[ "$(strip_cr <"$d/save.txt" | cut -d' ' -f3 | head -n4 | tr '\n' ' ')" = "AAA BBB CCC OLD " ] ||
    fail "kept: rows lost: $(tr '\n' ' ' <"$d/save.txt")"
[ "$(grep -c 'locked' "$tmp/a.err")" -eq 1 ] || fail "kept: expected one line: $(cat "$tmp/a.err")"
ok "a row signed under another's lock: on disk with the other game's row at the next signing"

# --- files of like names are the player's ---------------------------------------
d=$(fresh alike)
old_table >"$d/save.txt"
for f in save.txt.tmp-backup save.txt.tmp-1 save.txt.tmp-12-notes; do echo mine >"$d/$f"; done
echo leftover >"$d/save.txt.tmp-4242-0123456789abcdef"
run "$d" sign 5000 7 NEW >/dev/null 2>"$tmp/err" || fail "alike: exit code $?"
for f in save.txt.tmp-backup save.txt.tmp-1 save.txt.tmp-12-notes; do
    [ "$(strip_cr <"$d/$f" 2>/dev/null)" = mine ] || fail "alike: $f was removed or changed"
done
[ ! -e "$d/save.txt.tmp-4242-0123456789abcdef" ] || fail "alike: the game's own leftover stayed"
ok "the player's files named like temporary files: kept; the game's own leftover removed"

# --- settings.txt written the safe way --------------------------------------------
d=$(fresh settings)
mkdir -p "$tmp/outside"
echo precious >"$tmp/outside/victim"
ln -s "$tmp/outside/victim" "$d/settings.txt.new"
ln -s "$tmp/outside/victim" "$d/settings.txt.tmp"
run "$d" settings 1 >"$tmp/out" 2>"$tmp/err" || fail "settings: exit code $? (124: it blocked)"
[ "$(cat "$tmp/outside/victim")" = precious ] || fail "settings: a file outside was changed"
strip_cr <"$tmp/out" | grep -qx 'saved mute 1' || fail "settings: $(cat "$tmp/out")"
ok "links at the settings file's old temporary names: nothing outside touched, saved"

# --- settings.txt that is no settings file --------------------------------------
kinds="zero"
[ -n "$wine" ] || kinds="zero pipe"
for kind in $kinds; do
    d=$(fresh "settings-$kind")
    if [ $kind = zero ]; then ln -s /dev/zero "$d/settings.txt"; else mkfifo "$d/settings.txt"; fi
    run "$d" settings >"$tmp/out" 2>"$tmp/err" || fail "settings as $kind: exit code $? (124: it blocked)"
    strip_cr <"$tmp/out" | grep -qx 'mute 0' || fail "settings as $kind: $(cat "$tmp/out")"
    [ "$(grep -c 'settings.txt' "$tmp/err")" -eq 1 ] || fail "settings as $kind: said '$(cat "$tmp/err")'"
    ok "settings.txt as $kind: the defaults after a bounded read, one line said"
done

# --- two games signing in one folder, a reader watching --------------------------
d=$(fresh shared)
count=$saves
limit=900
start=$(date +%s%N)
run "$d" watch stop >"$tmp/watch.out" 2>"$tmp/watch.err" &
watcher=$!
pids+=($watcher)
run "$d" loop 1 2 "$count" >/dev/null 2>"$tmp/a.err" &
a=$!
run "$d" loop 2 2 "$count" >/dev/null 2>"$tmp/b.err" &
b=$!
pids+=($a $b)
wait $a || fail "shared: game A exited with $?: $(head -c 300 "$tmp/a.err")"
wait $b || fail "shared: game B exited with $?: $(head -c 300 "$tmp/b.err")"
touch "$d/stop"
wait $watcher || fail "shared: the reader saw torn tables: $(cat "$tmp/watch.out") $(head -c 600 "$tmp/watch.err")"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
# Both played their last rows: the ten highest of either game are on disk.
top=$((2 * count))
expected=$(for ((s = top; s > top - 10; s--)); do printf '%d\n' "$s"; done)
got=$(strip_cr <"$d/save.txt" | cut -d' ' -f1; echo)
[ "$(echo "$got" | sed '/^$/d')" = "$(echo "$expected")" ] || fail "shared: rows lost: $(tr '\n' ' ' <"$d/save.txt")"
leftover=$(find "$d" -name 'save.txt.tmp*' | wc -l)
[ "$leftover" -eq 0 ] || fail "shared: $leftover temporary files left"
ok "two games, $count signings each in $ms ms: every row kept; reader: $(cat "$tmp/watch.out")"
limit=30

# --- links and pipes in place of the temporary and lock files ---------------------
d=$(fresh planted)
mkdir -p "$tmp/outside"
echo precious >"$tmp/outside/victim"
ln -s "$tmp/outside/victim" "$d/save.txt.tmp"
ln -s "$tmp/outside/created" "$d/save.txt.tmp-0"
if [ -z "$wine" ]; then
    # The names this very process will try (the shell's pid is the tool's after exec).
    (cd "$d" && for i in 0 1 2 3; do ln -s "$tmp/outside/victim" "save.txt.tmp-$BASHPID-$i"; done
     mkfifo "save.txt.tmp-$BASHPID-4"; exec timeout 30 "$tool" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err") ||
        fail "planted temp names: exit code $? (124: it blocked)"
else
    run "$d" sign 5000 7 NEW >"$tmp/out" 2>"$tmp/err" ||
        fail "planted temp names: exit code $?: $(head -c 600 "$tmp/err")"
fi
head -n1 "$d/save.txt" 2>/dev/null | strip_cr | grep -qx '5000 7 NEW' || fail "planted temp names: not saved"
[ "$(cat "$tmp/outside/victim")" = precious ] || fail "planted temp names: a file outside was changed"
[ ! -e "$tmp/outside/created" ] || fail "planted temp names: a file outside was created"
ok "links and a pipe at the temporary names: saved, nothing outside touched, not blocked"

for kind in link pipe folder; do
    d=$(fresh "lock-$kind")
    old_table >"$d/save.txt"
    cp "$d/save.txt" "$tmp/before"
    case $kind in
        link) ln -s "$tmp/outside/lock-target" "$d/save.txt.lock" ;;
        pipe) mkfifo "$d/save.txt.lock" ;;
        folder) mkdir "$d/save.txt.lock" ;;
    esac
    [ -n "$wine" ] && [ $kind = pipe ] && continue  # Wine opens a pipe as a file: nothing to learn
    run "$d" sign 5000 7 NEW 4000 7 TWO >"$tmp/out" 2>"$tmp/err" || fail "$kind as lock file: exit code $? (124: it blocked)"
    [ ! -e "$tmp/outside/lock-target" ] || fail "$kind as lock file: a file outside was created"
    if [ -z "$wine" ] || [ $kind = folder ]; then
        cmp -s "$d/save.txt" "$tmp/before" || fail "$kind as lock file: written without the lock"
        # Said at each signing: every one fails while the lock file is there.
        [ "$(grep -c 'save.txt.lock' "$tmp/err")" -eq 2 ] || fail "$kind as lock file: said '$(cat "$tmp/err")'"
    fi
    ok "a $kind as the lock file: nothing outside touched, not blocked, said"
done

# --- save.txt is a link -----------------------------------------------------
d=$(fresh linked)
mkdir -p "$tmp/elsewhere"
old_table >"$tmp/elsewhere/table.txt"
ln -s ../elsewhere/table.txt "$d/save.txt"
run "$d" sign 5000 7 NEW >/dev/null 2>"$tmp/err" || fail "linked: exit code $?"
[ -L "$d/save.txt" ] || fail "linked: save.txt is no longer a link"
head -n1 "$tmp/elsewhere/table.txt" | strip_cr | grep -qx '5000 7 NEW' || fail "linked: the target lacks the new row"
[ "$(find "$d" "$tmp/elsewhere" -name '*.tmp*' | wc -l)" -eq 0 ] || fail "linked: temporary files left"
ok "a linked save.txt: the new row is in its target, the link stays"

exit "$failed"
