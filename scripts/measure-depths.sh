#!/usr/bin/env bash
# The game and the X server's CPU at other screen depths against depth 24,
# in the same run: scripts/measure-game.sh at each depth in turn, ROUNDS
# times (alternating), medians. Depths 30 and 8 draw through X11 itself.
#   scripts/measure-depths.sh [GAME] [SECONDS] [WxH] [ROUNDS] [DEPTH...]
# Defaults: build/voidrunner, 20 s, 1920x1080, 3 rounds, depths 30 and 8.
set -euo pipefail
game=${1:-build/voidrunner}
span=${2:-20}
size=${3:-1920x1080}
rounds=${4:-3}
shift $(($# < 4 ? $# : 4))
depths=("$@")
[ ${#depths[@]} -gt 0 ] || depths=(30 8)
here=$(dirname "$0")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for _ in $(seq "$rounds"); do
    for depth in 24 "${depths[@]}"; do
        "$here/measure-game.sh" "$game" "$span" "${size}x$depth" |
            sed -n 's/^with the X server (depth [0-9]*): \([0-9.]*\) %.*/\1/p' >>"$tmp/$depth"
    done
done
median() { sort -n "$tmp/$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
base=$(median 24)
echo "game and X server, $size, medians of $rounds runs of $span s: depth 24 $base % of one core"
for depth in "${depths[@]}"; do
    awk -v d="$depth" -v m="$(median "$depth")" -v b="$base" \
        'BEGIN { printf "depth %s: %.1f %% = %.2f x depth 24\n", d, m, m / b }'
done
