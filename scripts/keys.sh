#!/usr/bin/env bash
# The keys of app/host/Keys.def as the build writes them into the manual
# page and the Windows README.txt (the game's F1 box and --help read the
# list themselves).
#   scripts/keys.sh man     roff: a .TP paragraph a key (the manual's KEYS)
#   scripts/keys.sh text    plain text: a key a line, its text wrapped at 76
set -euo pipefail
list="$(dirname "$(realpath "$0")")/../app/host/Keys.def"
rows=$(sed -n 's/^VR_KEY("\([^"]*\)", "\([^"]*\)", "\([^"]*\)")$/\1\t\2/p' "$list")
[ -n "$rows" ] || { echo "keys.sh: no VR_KEY lines in $list" >&2; exit 1; }
case "${1:-}" in
man)
    # A minus is \- in roff; the keys in bold.
    awk -F'\t' '{ gsub(/-/, "\\-"); print ".TP"; print ".B \"" $1 "\""; print $2 }' <<<"$rows"
    ;;
text)
    awk -F'\t' '
        { keys[NR] = $1; does[NR] = $2; if (length($1) > w) w = length($1) }
        END {
            for (i = 1; i <= NR; i++) {
                line = sprintf("  %-" w "s  ", keys[i]); indent = length(line); fresh = 1
                n = split(does[i], words, " ")
                for (j = 1; j <= n; j++) {
                    if (!fresh && length(line) + 1 + length(words[j]) > 76) {
                        print line; line = sprintf("%" indent "s", ""); fresh = 1
                    }
                    line = line (fresh ? "" : " ") words[j]; fresh = 0
                }
                print line
            }
        }' <<<"$rows"
    ;;
*) echo "usage: scripts/keys.sh man|text" >&2; exit 2 ;;
esac
