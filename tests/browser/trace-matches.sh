#!/usr/bin/env bash
# The trace tool built for node prints, byte for byte, what the Linux one
# prints (frames included) on every long committed script.
#   trace-matches.sh LINUX-TRACE TRACE.js DIR...
set -euo pipefail
linux=$(realpath "$1") js=$(realpath "$2")
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0 compared=0
same_save() {  # the table each left behind, or neither wrote one
    { [ ! -e "$work"/a/save.txt ] && [ ! -e "$work"/b/save.txt ]; } ||
        cmp -s "$work"/a/save.txt "$work"/b/save.txt
}
for dir in "$@"; do
    for script in "$(realpath "$dir")"/*.trace; do
        # Each in an empty folder: a script that signs the table writes save.txt.
        rm -rf "$work"/a "$work"/b && mkdir "$work"/a "$work"/b
        (cd "$work"/a && "$linux" --draw "$script" >out.jsonl 2>&1) || true
        (cd "$work"/b && node "$js" --draw "$script" >out.jsonl 2>&1) || true
        compared=$((compared + 1))
        if cmp -s "$work"/a/out.jsonl "$work"/b/out.jsonl && same_save; then
            echo "same: ${script##*/} ($(wc -l <"$work"/a/out.jsonl) lines)"
        else
            echo "DIFFERENT: $script"
            cmp "$work"/a/out.jsonl "$work"/b/out.jsonl | head -1 || true
            failed=1
        fi
    done
done
[ "$compared" -gt 0 ] || { echo "no scripts found"; exit 1; }
exit "$failed"
