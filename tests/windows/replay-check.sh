#!/usr/bin/env bash
# The Windows game under Wine records what is played: a game lost on a small
# screen and signed leaves its replay in replays\, and the Linux trace tool
# replaying it ends with the table of the game's save.txt: one game, two
# platforms. `voidrunner.exe --replay` plays it back without touching
# save.txt.
#   tests/windows/replay-check.sh TRACE [WORKDIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
trace=$(realpath "$1")
work=$(mkdir -p "${2:-$root/build-winreplay}" && cd "${2:-$root/build-winreplay}" && pwd)

say() { echo "replay-check.sh: $*"; }
fail() { echo "replay-check.sh: FAIL: $*" >&2; exit 1; }

# shellcheck source=../../scripts/lib/xvfb.sh
. "$root/scripts/lib/xvfb.sh"
# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
vr_tmp_and_cleanup

vr_windows_build "$work/build.log" || fail "no Windows build"
rm -rf "$work/game" "$work/trace" "$work"/*.log
mkdir -p "$work/game" "$work/trace"
(cd "$work/game" && unzip -q "$root/build-win/voidrunner-windows.zip")
: >"$work/game/settings.txt"  # played in before: no welcome

# A small screen: the maximised window's field is small and rocks come soon.
vr_start_xvfb 400x300 || fail "Xvfb did not start"
vr_wine_prefix "$work/wineboot.log" desktop || fail "could not make the Wine prefix (see $work/wineboot.log)"

start_game() {  # start_game LOG ARGS...
    local log=$1
    shift
    vr_start_game "$work/game" 30 timeout 180 wine ./voidrunner.exe "$@" >"$log" 2>&1 ||
        fail "$vr_why (see $log)"
    xdotool windowfocus "$window" 2>/dev/null || true
    sleep 1
}
end_game() {
    xdotool key alt+F4
    for _ in $(seq 200); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$game_pid" 2>/dev/null && fail "the game did not end after Alt+F4"
    local status=0
    wait "$game_pid" || status=$?
    game_pid=""
    [ "$status" -eq 0 ] || fail "exit code $status"
}

start_game "$work/play.log"
replayed() { ls "$work/game/replays/"*.txt >/dev/null 2>&1; }
vr_fly_until 120 0.3 replayed || fail "$vr_why: no replay within 120 s"
sleep 0.5
vr_sign XYZ "$work/game/save.txt" || fail "no save.txt after signing"
sleep 0.5
end_game
replays=("$work/game/replays/"*.txt)
[ "${#replays[@]}" -eq 1 ] || fail "expected one replay, found ${#replays[@]}"
replay=${replays[0]}
say "the Windows game wrote $(basename "$replay") ($(wc -c <"$replay") bytes)"

(cd "$work/trace" && "$trace" "$replay" >"$work/replay.jsonl") || fail "the Linux trace tool refused the replay"
python3 - "$work/replay.jsonl" "$work/game/save.txt" <<'PY' || fail "the replay does not end as the Windows game did"
import json, sys
last = json.loads(open(sys.argv[1]).read().splitlines()[-1])
words = open(sys.argv[2]).read().split()
rows = [[int(words[i]), int(words[i + 1]), words[i + 2]] for i in range(0, 30, 3)]
signed = [r for r in rows if r[2] == "XYZ"]
assert signed and last["table"] == rows, (last["table"], rows)
assert [last["score"], last["level"]] == signed[0][:2]
print("replay-check.sh: the Linux trace of the Windows replay ends with score %d, level %d and save.txt's table"
      % (last["score"], last["level"]))
PY

# Watched in the Windows game, fast-forwarded: save.txt stays as it was.
before=$(stat -c '%i %Y %s' "$work/game/save.txt")
sleep 1.1
start_game "$work/replay.log" --replay "replays\\$(basename "$replay")"
# Eight ticks a frame while SPACE is held: the whole replay in ticks / 8
# frames of 62 ms, and some time to spare.
ticks=$(awk '$1 == "tick" { n += (NF > 1 ? $2 : 1) } END { print n + 0 }' "$replay")
xdotool keydown space
sleep "$(awk -v t="$ticks" 'BEGIN { print 2 + t / 8 * 0.062 * 1.5 }')"
xdotool keyup space
kill -0 "$game_pid" 2>/dev/null || fail "--replay ended by itself (see $work/replay.log)"
end_game
[ "$(stat -c '%i %Y %s' "$work/game/save.txt")" = "$before" ] || fail "--replay touched save.txt"
[ "$(ls "$work/game/replays" | wc -l)" -eq 1 ] || fail "--replay recorded a replay"
say "ok: recorded under Wine, same table in the Linux trace tool, --replay leaves save.txt alone"
