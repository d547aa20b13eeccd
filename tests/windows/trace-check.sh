#!/usr/bin/env bash
# The Windows trace tool under Wine prints byte for byte what the Linux one
# prints, --draw included, on long replays of real play recorded by the bot:
# one game on both platforms.
#   tests/windows/trace-check.sh BUILD_DIR [WORKDIR]
# BUILD_DIR holds the Linux voidrunner-trace and voidrunner-replay-bot.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mkdir -p "${2:-$build/windows-trace-check}" && cd "${2:-$build/windows-trace-check}" && pwd)

say() { echo "trace-check.sh: $*"; }
fail() { echo "trace-check.sh: FAIL: $*" >&2; exit 1; }

# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
trap vr_wine_stop EXIT
vr_windows_build "$work/build.log" || fail "no Windows build"
exe="$root/build-win/voidrunner-trace.exe"
vr_wine_prefix "$work/wineboot.log" || fail "wineboot failed (see $work/wineboot.log)"

# Two runs of the bot, each in a folder of its own (no save.txt carried in):
# seed 3 ends two games and signs the table; seed 2 plays on to level 8.
total=0
for seed in 3 2; do
    dir="$work/seed$seed"
    rm -rf "$dir" && mkdir -p "$dir/linux" "$dir/windows"
    (cd "$dir" && "$build/voidrunner-replay-bot" --seed "$seed" --ticks 8000 --games 2 replay.txt)
    (cd "$dir/linux" && "$build/voidrunner-trace" --draw ../replay.txt >../linux.jsonl)
    (cd "$dir/windows" && timeout 600 wine "$exe" --draw ../replay.txt >../windows.jsonl 2>../wine.log) \
        || fail "the Windows trace tool failed on seed $seed (see $dir/wine.log)"
    if ! cmp -s "$dir/linux.jsonl" "$dir/windows.jsonl"; then
        line=$(cmp "$dir/linux.jsonl" "$dir/windows.jsonl" | sed -n 's/.* line \([0-9]*\).*/\1/p')
        fail "seed $seed: the outputs differ from line ${line:-?} (see $dir)"
    fi
    ticks=$(wc -l <"$dir/linux.jsonl")
    total=$((total + ticks))
    say "seed $seed: $ticks lines identical ($(wc -c <"$dir/linux.jsonl") bytes)"
done

# What the replays went through, so this stays a test of real play.
last3=$(tail -n1 "$work/seed3/linux.jsonl")
last2=$(tail -n1 "$work/seed2/linux.jsonl")
grep -q '"level":[5-9]' <<<"$last2" || fail "seed 2 did not reach level 5"
grep -q '"shipDestroyed":1' <<<"$last3" || fail "seed 3 did not end in a game over"
grep -q '"table":\[\[[0-9]*,[0-9]*,"[^A]' <<<"$last3" || fail "seed 3 signed no row"
grep -q '"saucers":\[{' "$work/seed2/linux.jsonl" || fail "no saucer flew"
grep -q '^mouse ' "$work/seed2/replay.txt" || fail "no mouse scaling"
grep -q '^char 5[0-7]' "$work/seed2/replay.txt" || fail "no throttle change"
[ "$total" -ge 10000 ] || fail "only $total lines compared"
say "OK: $total lines of --draw output identical under Wine"
