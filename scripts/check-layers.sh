#!/usr/bin/env bash
# The layers point one way: the backends under platform/ serve the game and
# know nothing of it, and the platform-free core knows no backend.
#   scripts/check-layers.sh [ROOT]   exit 0 when clean, 1 naming each include
# Fails when a file under platform/ includes an app/, game/, space/, scores/
# or present/ header, and when a core file (space/, game/, scores/,
# present/, app/, platform/ top level) includes a backend (a folder below
# platform/) or a system's own headers (SDL, windows.h).
# A backend's program entry (main.cpp, WinMain.cpp) is where it meets the
# game: it hands its services to runGame, so it alone may include app/
# (the application shell), and nothing below it.
# The game itself (space/, game/, scores/, present/) never includes app/:
# the rules build without the window, the host or the network, and what
# the tick reads of the window comes in through game/Tick.h's TickInput.
# Within app/ the rooms (the loop, the host's controls, the replays) point
# one way too: an include cycle among its files (X.h and X.cpp count as
# one) fails the check.
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$root"

# The C++ files below the given folders that exist (-maxdepth may come first).
sources() {
    local depth=() dirs=()
    [ "${1:-}" = -maxdepth ] && { depth=(-maxdepth "$2"); shift 2; }
    for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done
    [ ${#dirs[@]} -eq 0 ] && return 0
    find "${dirs[@]}" "${depth[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) | sort
}
# file:line:include for every #include in the given files matching the pattern
includes() {
    local pattern=$1; shift
    [ $# -eq 0 ] && return 0
    grep -HnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" "$@" || true
}

found=0
report() {
    while IFS= read -r line; do
        [ -z "$line" ] && continue
        echo "$line  <- $1"
        found=1
    done
}

mapfile -t platform_files < <(sources platform)
entries=() services=()
for f in "${platform_files[@]}"; do
    case "${f##*/}" in
        main.cpp | WinMain.cpp) entries+=("$f") ;;
        *) services+=("$f") ;;
    esac
done
report "a backend or service must not reach up into the game" \
    < <(includes '(\.\./)*(app|game|space|scores|present)/' "${services[@]}")
report "a program entry may reach the application shell (app/) only" \
    < <(includes '(\.\./)*(game|space|scores|present)/' "${entries[@]}")

mapfile -t core_files < <(sources space game scores present app; sources -maxdepth 1 platform)
report "the core must not depend on a backend" \
    < <(includes '(\.\./)*platform/[^/"]+/|SDL|windows\.h|mmsystem\.h' "${core_files[@]}")

mapfile -t game_files < <(sources space game scores present)
report "the game must not reach up into the application (app/)" \
    < <(includes '(\.\./)*app/' "${game_files[@]}")

# Each app/ file's unit (its path without .h or .cpp) and every app/ unit it
# includes, as pairs for tsort, which names the files of any loop.
app_pairs() {
    local f unit inc
    while IFS= read -r f; do
        unit=${f%.*}
        echo "$unit $unit"
        while IFS= read -r inc; do
            inc=${inc%.h}
            if [ "$inc" != "$unit" ]; then echo "$unit $inc"; fi
        done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"((\.\.\/)*app\/[^"]+)".*/\1/p' "$f")
    done < <(sources app)
}
if ! loops=$(app_pairs | tsort 2>&1 >/dev/null); then
    # One line a loop: its files in the order they include each other.
    report "an include cycle among app/ files" < <(awk '
        function flush() { if (first != "") print line " -> " first; first = "" }
        /contains a loop/ { flush(); next }
        { sub(/^tsort: /, ""); if (first == "") { first = $0; line = $0 } else line = line " -> " $0 }
        END { flush() }' <<<"$loops")
fi

if [ "$found" -ne 0 ]; then
    echo "check-layers: FAIL: includes against the layering above"
    exit 1
fi
echo "check-layers: ok (${#platform_files[@]} platform files, ${#core_files[@]} core files)"
