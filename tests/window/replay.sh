#!/usr/bin/env bash
# Replays of real play: the real game, lost on a small screen and signed,
# leaves its run in replays/; that replay run through the trace tool ends
# with the score, level and table of the game's save.txt. `voidrunner
# --replay` shows it (fast-forwarded) without touching save.txt, and a bad
# replay ends with one line and exit code 2.
#   tests/window/replay.sh GAME TRACE SNDDIR CLOSE-WINDOW OUTDIR
set -euo pipefail

if [ $# -ne 5 ]; then
    echo "usage: $0 GAME TRACE SNDDIR CLOSE-WINDOW OUTDIR" >&2
    exit 2
fi
game=$(realpath "$1")
trace=$(realpath "$2")
snd=$(realpath "$3")
closer=$(realpath "$4")
rm -rf "$5" && mkdir -p "$5"
out=$(realpath "$5")

# shellcheck source=../../scripts/lib/xvfb.sh
. "$(dirname "$(realpath "$0")")/../../scripts/lib/xvfb.sh"
vr_tmp_and_cleanup
fail() {
    echo "FAIL: $*" >&2
    [ -f "$tmp/game.log" ] && sed 's/^/  game: /' "$tmp/game.log" >&2
    exit 1
}
pass() { echo "ok: $*"; }

start_game() {  # start_game ARGS...: in $tmp/play
    vr_start_game "$tmp/play" 30 env SDL_AUDIODRIVER=dummy \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$game" "$@" >"$tmp/game.log" 2>&1 ||
        fail "$vr_why"
}
close_game() {
    local closed=0
    vr_close_game "$closer" 10 || closed=$?
    [ "$closed" -eq 0 ] || fail "the game did not end after its window was closed"
    [ "$vr_exit_code" -eq 0 ] || fail "exit code $vr_exit_code after the window was closed"
}

vr_start_xvfb 320x240 || fail "Xvfb did not start"
mkdir -p "$tmp/play"
cp -r "$snd" "$tmp/play/snd"
: >"$tmp/play/settings.txt"  # played in before: no welcome
start_game

# Fly into the rocks until the game is over: the replay is written then.
replayed() { ls "$tmp/play/replays/"*.txt >/dev/null 2>&1; }
vr_fly_until 90 0.3 replayed || fail "$vr_why: no replay written within 90 s"
pass "the game over wrote a replay"
sleep 0.5
vr_sign XYZ "$tmp/play/save.txt" || fail "no save.txt after signing"
sleep 0.5
close_game
replays=("$tmp/play/replays/"*.txt)
[ "${#replays[@]}" -eq 1 ] || fail "expected one replay, found ${#replays[@]}"
replay=${replays[0]}
cp "$replay" "$tmp/play/save.txt" "$out/"
pass "signed XYZ; the run's replay is $(basename "$replay") ($(wc -c <"$replay") bytes)"

# The trace tool, in a folder of its own, ends where the game ended.
mkdir -p "$tmp/trace"
(cd "$tmp/trace" && "$trace" "$replay" >"$out/replay.jsonl") || fail "the trace tool refused the replay"
python3 - "$out/replay.jsonl" "$tmp/play/save.txt" <<'PY' || fail "the replay does not end as the game did"
import json, sys
last = json.loads(open(sys.argv[1]).read().splitlines()[-1])
words = open(sys.argv[2]).read().split()
rows = [[int(words[i]), int(words[i + 1]), words[i + 2]] for i in range(0, 30, 3)]
signed = [r for r in rows if r[2] == "XYZ"]
assert signed, "no XYZ row in save.txt"
assert last["table"] == rows, (last["table"], rows)
assert [last["score"], last["level"]] == signed[0][:2], (last["score"], last["level"], signed)
print("ok: the trace of the replay ends with score %d, level %d and save.txt's table"
      % (last["score"], last["level"]))
PY

# Shown in the window, fast-forwarded (SPACE held), it never touches save.txt.
before=$(stat -c '%i %Y %s' "$tmp/play/save.txt")
sleep 1.1
start_game --replay "$replay"
xdotool keydown space
for _ in $(seq 600); do grep -q 'replay ended' "$tmp/game.log" && break; sleep 0.1; done
xdotool keyup space
grep -q 'replay ended' "$tmp/game.log" || fail "the replay did not end within 60 s"
close_game
[ "$(stat -c '%i %Y %s' "$tmp/play/save.txt")" = "$before" ] || fail "the replay touched save.txt"
[ "$(ls "$tmp/play/replays" | wc -l)" -eq 1 ] || fail "watching a replay recorded another"
pass "--replay plays to the end; save.txt and replays/ untouched"

# Bad replays: one line, exit code 2, no window needed.
bad="$tmp/bad" && mkdir -p "$bad"
head -c 3000 "$game" >"$bad/not-a-replay"
sed '1s/replay 1/replay 2/' "$replay" >"$bad/future"
head -c $(($(wc -c <"$replay") / 2)) "$replay" >"$bad/truncated"
sed '0,/^tick [0-9]/s/^tick \([0-9]*\)/tick 1\1/' "$replay" >"$bad/edited"
for f in not-a-replay future truncated edited; do
    code=0
    (cd "$bad" && env -u DISPLAY timeout 20 "$game" --replay "$f" >"$bad/$f.out" 2>"$bad/$f.err") || code=$?
    [ "$code" -eq 2 ] || fail "$f: exit code $code, not 2"
    [ "$(wc -l <"$bad/$f.err")" -eq 1 ] || fail "$f: not one line: $(cat "$bad/$f.err")"
    pass "$f: $(cat "$bad/$f.err")"
done
