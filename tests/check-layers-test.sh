#!/usr/bin/env bash
# The layering check itself: it must name each wrong include in a small
# tree and pass that tree once they are gone.
set -euo pipefail
check="$(cd "$(dirname "$0")/.." && pwd)/scripts/check-layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{app/replay,game,platform/sdl}
echo '#include "platform/Platform.h"' >"$tree/app/GameWindow.cpp"
# An include cycle between rooms of app/ (a header and its .cpp are one
# file); a one-way include beside it is fine.
echo '#include "app/replay/Player.h"' >"$tree/app/GameWindow.h"
echo '#include "app/GameWindow.h"' >"$tree/app/replay/Player.cpp"
echo '#include "app/GameWindow.h"' >"$tree/app/RunGame.cpp"
echo '#include "app/GameWindow.h"' >"$tree/platform/sdl/main.cpp"
echo '#include "app/GameWindow.h"' >"$tree/platform/sdl/SdlWindowSystem.cpp"
echo '#include "game/Tick.h"' >"$tree/platform/sdl/SdlSound.cpp"
echo '#include <SDL.h>' >"$tree/game/Tick.cpp"
mkdir -p "$tree/present"
echo '#include "app/GameWindow.h"' >"$tree/present/Renderer.cpp"
echo '  #  include "platform/sdl/SdlDisplay.h"' >"$tree/platform/Platform.cpp"

if out=$("$check" "$tree"); then echo "passed a tree with wrong includes"; exit 1; fi
for bad in platform/sdl/SdlWindowSystem.cpp platform/sdl/SdlSound.cpp game/Tick.cpp \
           platform/Platform.cpp present/Renderer.cpp; do
    grep -q "^$bad:" <<<"$out" || { echo "missed $bad:"; echo "$out"; exit 1; }
done
grep -q "^app/GameWindow -> app/replay/Player -> app/GameWindow  <- an include cycle" <<<"$out" ||
    grep -q "^app/replay/Player -> app/GameWindow -> app/replay/Player  <- an include cycle" <<<"$out" ||
    { echo "missed the include cycle:"; echo "$out"; exit 1; }
if grep -q -e "^platform/sdl/main.cpp:" -e "^app/.*:" -e "RunGame" <<<"$out"; then
    echo "blamed an allowed include:"; echo "$out"; exit 1
fi

rm "$tree/platform/sdl/SdlWindowSystem.cpp" "$tree/platform/sdl/SdlSound.cpp" \
   "$tree/game/Tick.cpp" "$tree/platform/Platform.cpp" "$tree/app/GameWindow.h" \
   "$tree/present/Renderer.cpp"
"$check" "$tree" >/dev/null || { echo "failed a clean tree"; exit 1; }
echo "ok"
