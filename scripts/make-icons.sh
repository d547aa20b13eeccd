#!/usr/bin/env bash
# Makes the program's icons from the ship model:
#   scripts/make-icons.sh ICON-TOOL DIR
# writes DIR/voidrunner.svg, DIR/NxN/voidrunner.png (16 to 256 px) and
# DIR/voidrunner.ico (for the Windows exe).
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 ICON-TOOL DIR" >&2
    exit 2
fi
for tool in rsvg-convert icotool; do
    command -v "$tool" >/dev/null || {
        echo "make-icons.sh: $tool is needed (scripts/setup.sh play: librsvg2-bin, icoutils)" >&2
        exit 1
    }
done
tool=$1
out=$2
mkdir -p "$out"
"$tool" "$out/voidrunner.svg"
pngs=()
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$out/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" -o "$out/${size}x${size}/voidrunner.png" "$out/voidrunner.svg"
    case $size in 16|24|32|48|256) pngs+=("$out/${size}x${size}/voidrunner.png") ;; esac
done
# 256 px is stored as PNG inside the .ico, the smaller ones as bitmaps.
icotool -c -o "$out/voidrunner.ico" "${pngs[@]:0:4}" -r "${pngs[4]}"
