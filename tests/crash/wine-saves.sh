#!/usr/bin/env bash
# The save-file cases and the kill-during-save test against the Windows
# build (save-tool.exe) under Wine, with fewer saves and kills than on Linux:
#   tests/crash/wine-saves.sh KILL-DURING-SAVE [SAVES-PER-GAME] [KILLS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
killer=$(realpath "$1")
saves=${2:-500}
kills=${3:-30}

# The Windows tree that scripts/build-windows.sh keeps, with the helper in it.
"$root/scripts/build-windows.sh" >/dev/null
cmake --build "$root/build-win" --target save-tool -j 2 >/dev/null
tool=$root/build-win/save-tool.exe

status=0
"$root/tests/crash/save-cases.sh" "$tool" wine "$saves" || status=1

prefix=$(mktemp -d)
trap 'WINEPREFIX=$prefix timeout 20 wineserver -k 2>/dev/null; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 180 wineboot -i >/dev/null 2>&1
# wine64 itself, not the wrapper script: the killed process is the saver.
"$killer" --trials "$kills" --max-delay-us 20000 --saver /usr/lib/wine/wine64 "$tool" forever || status=1
exit "$status"
