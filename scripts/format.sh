#!/usr/bin/env bash
# The C++ sources against .clang-format.
#   scripts/format.sh          check: name each file clang-format would change
#                              and how many of its lines; exit 1 if any
#   scripts/format.sh --fix    format those files in place
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
case "${1:-}" in
    "") ;;
    --fix) fix=1 ;;
    *) echo "usage: scripts/format.sh [--fix]" >&2; exit 2 ;;
esac
command -v clang-format >/dev/null ||
    { echo "format.sh: clang-format is missing (scripts/setup.sh test installs it)" >&2; exit 1; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi

changed=0 lines=0
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    ! clang-format --style=file "$f" | cmp -s "$f" - || continue
    # Lines of the file that formatting would replace.
    n=$(clang-format --style=file "$f" | diff "$f" - | grep -c '^<' || true)
    changed=$((changed + 1)) lines=$((lines + n))
    if [ "$fix" = 1 ]; then
        clang-format --style=file -i "$f"
    else
        echo "  $f: $n lines"
    fi
done

if [ "$fix" = 1 ]; then
    echo "format: formatted $changed of ${#files[@]} files ($lines lines)"
elif [ "$changed" -gt 0 ]; then
    echo "format: $changed of ${#files[@]} files differ from .clang-format ($lines lines); scripts/format.sh --fix formats them"
    exit 1
else
    echo "format: all ${#files[@]} files match .clang-format"
fi
