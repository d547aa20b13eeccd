#!/usr/bin/env bash
# Every user of the sound list follows present/Sounds.def: the build made
# exactly its sounds, the page's generated list holds exactly its names, and
# no other source file keeps a list of its own (a file naming every sound).
#   tests/sounds-in-step.sh SNDDIR PAGE-LIST-JS
set -euo pipefail
root="$(dirname "$(realpath "$0")")/.."
# shellcheck source=../scripts/lib/sounds.sh
. "$root/scripts/lib/sounds.sh"
mapfile -t names < <(vr_sound_names)
want=$(printf '%s\n' "${names[@]}" | sort)
failed=0
fail() { echo "sounds-in-step: $*" >&2; failed=1; }

made=$(find "$1" -maxdepth 1 -name '*.wav' -printf '%f\n' | sed 's/[.]wav$//' | sort)
[ "$made" = "$want" ] || fail "$1 holds [$(echo $made)], the list [$(echo $want)]"

page=$(grep -o "'[A-Za-z0-9]*'" "$2" | tr -d "'" | sort)
[ "$page" = "$want" ] || fail "the page's list $2 holds [$(echo $page)], the list [$(echo $want)]"

# A second list: a source file that names every sound. The recipes of
# make-sounds.sh are the one other place a sound is spelled out by name.
cd "$root"
while IFS= read -r f; do
    case "$f" in present/Sounds.def | scripts/make-sounds.sh) continue ;; esac
    for n in "${names[@]}"; do grep -qw "$n" "$f" || continue 2; done
    fail "$f names every sound: read present/Sounds.def instead"
done < <(find app game present platform scripts tools tests cmake benchmarks fuzz \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.js' -o -name '*.mjs' -o -name '*.sh' \
    -o -name '*.cmake' -o -name CMakeLists.txt -o -name '*.html' \) -not -path '*/node_modules/*')
exit "$failed"
