#!/usr/bin/env bash
# Every build plays the same game. The replay bot (--wobble: it turns out and
# back by equal steps and thrusts at every throttle) plays N long runs (game
# after game for T ticks) on a range of field sizes; each replay goes through
# the trace tool of every build, and the output (--draw) and the table left
# behind must be the Linux build's, byte for byte. First the numerics probe
# of every build must print the Linux one's output.
#   scripts/cross-check.sh [OPTIONS] N [WORKDIR]
#   --linux DIR     the reference build (voidrunner-trace, voidrunner-replay-bot,
#                   voidrunner-numerics-probe), built already; default build/,
#                   brought up to date
#   --bot PATH      the replay bot to use (default the reference build's)
#   --builds LIST   of scripts/build-trace-variants.sh (default "ld64 ld128 a64 node wine")
#   --first S       the first bot seed (default 1; run i uses seed S+i-1)
#   --ticks T       ticks of each run (default 3000)
#   --tally         play all N and count the runs each build parts ways on,
#                   instead of stopping at the first
#   --no-build      use the other builds as they are
#   --trees DIR     where the other builds' trees are (default the source tree)
# WORKDIR (default a temporary folder) keeps the replays that parted ways.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    sed -n '/^#   scripts/,/^# WORKDIR/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

linux=$root/build trees=$root bot= own=1 builds="ld64 ld128 a64 node wine" first=1 ticks=3000 tally=0 build=1
while [ $# -gt 0 ]; do
    case $1 in
    --linux) linux=$(cd "$2" && pwd) own=0; shift 2 ;;
    --bot) bot=$2; shift 2 ;;
    --builds) builds=$2; shift 2 ;;
    --first) first=$2; shift 2 ;;
    --ticks) ticks=$2; shift 2 ;;
    --tally) tally=1; shift ;;
    --no-build) build=0; shift ;;
    --trees) trees=$(cd "$2" && pwd); shift 2 ;;
    -*) usage ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] && [ "$1" -ge 1 ] 2>/dev/null || usage
runs=$1
say() { echo "cross-check: $*"; }
fail() { echo "cross-check: FAIL: $*" >&2; exit 1; }

if [ "$own" = 1 ]; then
    cmake --build "$linux" --target voidrunner-trace voidrunner-replay-bot \
        voidrunner-numerics-probe >/dev/null
fi
if [ "$build" = 1 ]; then
    # shellcheck disable=SC2086
    "$root/scripts/build-trace-variants.sh" $builds
fi
bot=${bot:-$linux/voidrunner-replay-bot}
[ -x "$bot" ] && [ -x "$linux/voidrunner-trace" ] || fail "no trace tool and bot in $linux"

named=${2:-}
if [ -n "$named" ]; then
    work=$(mkdir -p "$named" && cd "$named" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-cross.XXXXXX")
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-cross-run.XXXXXX")
prefix=
cleanup() {
    if [ -n "$prefix" ]; then
        WINEPREFIX="$prefix" timeout 20 wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
    rm -rf "$scratch"
    [ -n "$named" ] || [ -n "$(ls -A "$work")" ] || rmdir "$work"
}
trap cleanup EXIT

# How each build's programs are started: the runner, the tree, the suffix.
declare -A runner tree suffix
for name in $builds; do
    runner[$name]="" tree[$name]=build-$name suffix[$name]=""
    case $name in
    ld64 | ld128) ;;
    a64) runner[$name]="qemu-aarch64 -L /usr/aarch64-linux-gnu" ;;
    node) runner[$name]=node tree[$name]=build-wasm suffix[$name]=.js ;;
    wine)
        runner[$name]=wine tree[$name]=build-win suffix[$name]=.exe
        prefix=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-wine.XXXXXX")
        export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml="
        timeout 180 wineboot -i >/dev/null 2>&1 || fail "wineboot failed" ;;
    *) fail "unknown build '$name'" ;;
    esac
done
program() {  # NAME PROGRAM: the command line that starts it
    echo "${runner[$1]} $trees/${tree[$1]}/$2${suffix[$1]}"
}

declare -A parted
for name in $builds; do parted[$name]=0; done

# The C library's sin and cos on every input the game gives them, and its
# %.9g: a difference there would part games sooner or later.
probe=$linux/voidrunner-numerics-probe
if [ -x "$probe" ]; then
    "$probe" >"$scratch/probe.linux"
    for name in $builds; do
        # Into a file: node drops what a pipe has not taken when it exits.
        # shellcheck disable=SC2046
        $(program "$name" voidrunner-numerics-probe) >"$scratch/probe.raw" || true
        tr -d '\r' <"$scratch/probe.raw" >"$scratch/probe.$name"
        cmp -s "$scratch/probe.linux" "$scratch/probe.$name" && continue
        differ=$(diff "$scratch/probe.linux" "$scratch/probe.$name" | grep -c '^<' || true)
        parted[$name]=$((parted[$name] + 1))
        say "$name: $differ of $(wc -l <"$scratch/probe.linux") probe lines differ, first:"
        diff "$scratch/probe.linux" "$scratch/probe.$name" | head -4 || true
        cp "$scratch/probe.linux" "$scratch/probe.$name" "$work/"
        [ "$tally" = 1 ] || fail "$name's C library differs from Linux's (see $work)"
    done
    say "numerics probe: $(wc -l <"$scratch/probe.linux") lines compared"
fi

# Runs a trace tool on the replay in an empty folder of its own: the output,
# its exit status and the table it may write.
play() {  # NAME COMMAND...
    local dir=$scratch/$1
    shift
    rm -rf "$dir" && mkdir "$dir"
    local status=0
    (cd "$dir" && timeout 900 "$@" --draw ../replay.txt >out.jsonl 2>err.txt) || status=$?
    echo "$status" >"$dir/status"
}

same() {  # NAME: as the Linux run left it
    local a=$scratch/linux b=$scratch/$1
    cmp -s "$a/out.jsonl" "$b/out.jsonl" && cmp -s "$a/status" "$b/status" || return 1
    { [ ! -e "$a/save.txt" ] && [ ! -e "$b/save.txt" ]; } || cmp -s "$a/save.txt" "$b/save.txt"
}

tallied() {  # RUNS so far
    local summary="$1 runs, $lines lines in all:"
    for name in $builds; do summary+=" $name ${parted[$name]}"; done
    say "$summary parted ways (the numerics probe counts as one)"
}

sizes=(200x150 320x240 400x300 640x480 800x600 1024x768 1280x720 1920x1080 333x197)
lines=0
for ((i = 0; i < runs; i++)); do
    seed=$((first + i))
    field=${sizes[$(((seed - 1) % ${#sizes[@]}))]}
    rm -f "$scratch/replay.txt"
    (cd "$scratch" && "$bot" --wobble --seed "$seed" --field "$field" --ticks "$ticks" \
        --games 1000 replay.txt 2>/dev/null) || fail "the bot failed on seed $seed"
    play linux "$linux/voidrunner-trace"
    lines=$((lines + $(wc -l <"$scratch/linux/out.jsonl")))
    for name in $builds; do
        # shellcheck disable=SC2046
        play "$name" $(program "$name" voidrunner-trace)
        same "$name" && continue
        parted[$name]=$((parted[$name] + 1))
        keep=$work/seed$seed-$field
        mkdir -p "$keep" && cp "$scratch/replay.txt" "$keep/"
        where=$(cmp "$scratch/linux/out.jsonl" "$scratch/$name/out.jsonl" 2>&1 |
            sed -n 's/.*\(line [0-9]*\).*/\1/p' || true)
        say "seed $seed, field $field: $name parts ways at ${where:-the end or in the table} (replay in $keep)"
        [ "$tally" = 1 ] || fail "$name differs from Linux"
    done
    if [ "$tally" = 1 ] && [ $(((i + 1) % 25)) = 0 ] && [ $((i + 1)) -lt "$runs" ]; then
        tallied $((i + 1))
    fi
done
tallied "$runs"
for name in $builds; do [ "${parted[$name]}" = 0 ] || exit 1; done
say "OK: every build matches Linux byte for byte"
