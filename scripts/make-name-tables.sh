#!/usr/bin/env bash
# Writes app/online/NameTables.inc, the player-name rule's Unicode data, from
# the installed utf8proc (after a Debian upgrade brings a newer Unicode).
#   scripts/make-name-tables.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target voidrunner-name-tables >/dev/null
"$build/voidrunner-name-tables" >"$root/app/online/NameTables.inc.new"
mv "$root/app/online/NameTables.inc.new" "$root/app/online/NameTables.inc"
echo "app/online/NameTables.inc: $(head -2 "$root/app/online/NameTables.inc" | tail -1)"
