#!/usr/bin/env bash
# The long soak: builds voidrunner-soak in build-soak/ and lets the bot play
# TICKS ticks (default 10,000,000) over all field sizes, at low priority.
#   scripts/soak.sh [TICKS] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
ticks=${1:-10000000}
seed=${2:-$RANDOM}
cmake -S . -B build-soak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-soak -j 2 --target voidrunner-soak >/dev/null
exec nice -n 10 build-soak/voidrunner-soak --ticks "$ticks" --seed "$seed"
