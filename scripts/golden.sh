#!/usr/bin/env bash
# The golden traces: long scripts (tests/data/golden/*.trace) whose whole
# output, drawing included, must not change by a byte.
#   scripts/golden.sh check  [--tool PATH] [NAME...]   compare with the recorded output
#   scripts/golden.sh record [--tool PATH] [NAME...]   record the output anew (a meant change)
# The expected output of NAME.trace is NAME.out.xz, its SHA-256 in
# expected.sha256, and the rules it was recorded under (kRulesVersion in
# game/Rules.h) in expected.rules. On a mismatch, check prints the first
# differing line and the first key whose value differs. record refuses to
# write another output under the same rules: a change that moves the game
# is a change of the rules, and raises their version first. The tool
# defaults to build/voidrunner-trace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
golden=$root/tests/data/golden
usage() { echo "usage: scripts/golden.sh check|record [--tool PATH] [NAME...]" >&2; exit 2; }

rules=$(sed -n 's/^constexpr int kRulesVersion = \([0-9][0-9]*\);.*/\1/p' "$root/game/Rules.h" 2>/dev/null || true)
[ -n "$rules" ] || { echo "golden.sh: no kRulesVersion in $root/game/Rules.h" >&2; exit 2; }

mode=${1:-}
[ "$mode" = check ] || [ "$mode" = record ] || usage
shift
tool=$root/build/voidrunner-trace
if [ "${1:-}" = --tool ]; then
    [ $# -ge 2 ] || usage
    tool=$2
    shift 2
fi
[ -x "$tool" ] || { echo "golden.sh: no trace tool at $tool (build it first)" >&2; exit 2; }
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for s in "$golden"/*.trace; do names+=("$(basename "$s" .trace)"); done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-golden-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs NAME's script in an empty folder (it may sign the table and write
# save.txt there); stdout and stderr both count.
run() {
    mkdir "$work/$1"
    (cd "$work/$1" && "$tool" --draw "$golden/$1.trace" >"$work/$1.out" 2>&1) || true
}

pinned() { awk -v n="$1.trace" '$2 == n { print $1 }' "$golden/expected.sha256"; }
# The rules NAME was recorded under; 1 for a trace recorded before they had
# a version.
pinned_rules() {
    local r
    r=$(awk -v n="$1.trace" '$2 == n { print $1 }' "$golden/expected.rules" 2>/dev/null || true)
    echo "${r:-1}"
}
# Replaces NAME's line in FILE (NAME.trace's first column) with VALUE.
pin() {  # pin FILE NAME VALUE
    { grep -v " $2.trace\$" "$golden/$1" 2>/dev/null || true
      echo "$3  $2.trace"; } | sort -k2 >"$work/pinned"
    mv "$work/pinned" "$golden/$1"
}

# A JSON line's first top-level key whose value differs, with both values
# cut short.
first_key() {
    jq -rn --slurpfile a "$1" --slurpfile b "$2" '
        def short: tojson | if length > 160 then .[:160] + "..." else . end;
        $a[0] as $x | $b[0] as $y
        | ([$x | keys_unsorted[]] + [$y | keys_unsorted[] | select(. as $k | $x | has($k) | not)])
        | map(select($x[.] != $y[.])) | first // empty
        | "first differing key: \(.)\n  expected: \($x[.] | short)\n  actual:   \($y[.] | short)"' \
        2>/dev/null || echo "(a line is not JSON)"
}

cut_line() { sed -n "$1p" "$2" | cut -c1-200; }

report() {
    local name=$1 expected=$work/$1.expected actual=$work/$1.out
    xz -dc "$golden/$name.out.xz" >"$expected"
    local total_e total_a line=1
    total_e=$(wc -l <"$expected")
    total_a=$(wc -l <"$actual")
    # "differ: byte B, line L", or "EOF on FILE after byte B, line L" when
    # L whole lines are the same and one file ends there.
    local where
    where=$(cmp "$expected" "$actual" 2>&1 || true)
    line=$(sed -n 's/.*line \([0-9]*\).*/\1/p' <<<"$where")
    line=${line:-0}
    case $where in *EOF*) line=$((line + 1)) ;; esac
    [ "$line" -gt 0 ] || line=1
    echo "golden $name: the output drifted ($total_e lines expected, $total_a written)"
    if [ "$line" -gt "$total_a" ]; then
        echo "  the output ends before line $line; expected: $(cut_line "$line" "$expected")"
    elif [ "$line" -gt "$total_e" ]; then
        echo "  the output goes on at line $line: $(cut_line "$line" "$actual")"
    else
        echo "  first differing line $line"
        echo "  expected: $(cut_line "$line" "$expected")"
        echo "  actual:   $(cut_line "$line" "$actual")"
        sed -n "${line}p" "$expected" >"$work/e.line"
        sed -n "${line}p" "$actual" >"$work/a.line"
        first_key "$work/e.line" "$work/a.line" | sed 's/^/  /'
    fi
}

for name in "${names[@]}"; do
    [ -f "$golden/$name.trace" ] || { echo "golden.sh: no script $golden/$name.trace" >&2; exit 2; }
done
# A check runs the scripts side by side (the edit loop waits on it), each
# with the sum of its recorded output; they are compared in turn below.
if [ "$mode" = check ]; then
    for name in "${names[@]}"; do
        { run "$name"
          xz -dc "$golden/$name.out.xz" 2>/dev/null | sha256sum | cut -d' ' -f1 >"$work/$name.xzsum"
        } &
    done
    wait
fi

status=0
for name in "${names[@]}"; do
    [ "$mode" = check ] || run "$name"
    sum=$(sha256sum <"$work/$name.out" | cut -d' ' -f1)
    was=$(pinned_rules "$name")
    if [ "$mode" = record ]; then
        if [ -n "$(pinned "$name")" ] && [ "$sum" != "$(pinned "$name")" ] && [ "$was" = "$rules" ]; then
            echo "golden $name: not recorded: the output changed, but the rules are still $rules" \
                 "(a change that moves the game raises kRulesVersion in game/Rules.h)"
            status=1
            continue
        fi
        xz -9 -c "$work/$name.out" >"$golden/$name.out.xz"
        pin expected.sha256 "$name" "$sum"
        pin expected.rules "$name" "$rules"
        echo "golden $name: recorded $(wc -l <"$work/$name.out") lines under rules $rules"
    elif [ "$was" != "$rules" ]; then
        echo "golden $name: recorded under rules $was, and the game plays rules $rules" \
             "(scripts/golden.sh record $name)"
        status=1
    elif [ "$sum" = "$(pinned "$name")" ]; then
        if [ "$(cat "$work/$name.xzsum")" != "$sum" ]; then
            echo "golden $name: the output is the pinned one, but $name.out.xz is not (record it again)"
            status=1
        else
            echo "golden $name: same"
        fi
    elif [ ! -f "$golden/$name.out.xz" ]; then
        echo "golden $name: nothing recorded (scripts/golden.sh record $name)"
        status=1
    else
        report "$name"
        echo "  (under rules $rules: a meant change of the game raises kRulesVersion in game/Rules.h, then records)"
        status=1
    fi
done
exit "$status"
