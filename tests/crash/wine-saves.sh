#!/usr/bin/env bash
# The save-file cases and the kill-during-save test against the Windows
# build (save-tool.exe) under Wine, with fewer saves and kills than on Linux:
#   tests/crash/wine-saves.sh KILL-DURING-SAVE [SAVES-PER-GAME] [KILLS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
killer=$(realpath "$1")
saves=${2:-500}
kills=${3:-30}

# shellcheck source=../../scripts/lib/wine.sh
. "$root/scripts/lib/wine.sh"
work=$(mktemp -d)
trap 'vr_wine_stop; rm -rf "$work"' EXIT

# The Windows tree that scripts/build-windows.sh keeps, with the helper in it.
vr_windows_build "$work/build.log" || exit 1
tool=$root/build-win/save-tool.exe

status=0
"$root/tests/crash/save-cases.sh" "$tool" wine "$saves" || status=1

vr_wine_prefix "$work/wineboot.log" || { echo "FAIL: wineboot" >&2; cat "$work/wineboot.log" >&2; exit 1; }
# wine64 itself, not the wrapper script: the killed process is the saver.
"$killer" --trials "$kills" --max-delay-us 20000 --saver /usr/lib/wine/wine64 "$tool" forever || status=1
exit "$status"
