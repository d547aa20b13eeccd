#!/usr/bin/env bash
# Figures of the game's sound effects (present/Sounds.def), one line each: integrated loudness
# (ffmpeg ebur128 of the sound played in a loop for 3 s, LUFS), the share of
# its energy above 200 Hz, its DC offset (mean), its peak, its first and
# last sample and its largest step between two samples (all full scale = 1).
#   scripts/measure-sounds.sh SNDDIR           print the figures
#   scripts/measure-sounds.sh --check SNDDIR   also fail unless the loudness
#       is within 1.5 LU of -18, the bangs carry half their energy or more
#       above 200 Hz, and no sound has a DC offset or ends away from zero
set -euo pipefail

check=""
if [ "${1:-}" = --check ]; then check=1; shift; fi
if [ $# -ne 1 ]; then
    echo "usage: $0 [--check] SNDDIR" >&2
    exit 2
fi
for tool in sox ffmpeg; do
    command -v "$tool" >/dev/null || { echo "measure-sounds.sh: $tool is needed" >&2; exit 1; }
done

# shellcheck source=lib/sounds.sh
. "$(dirname "$(realpath "$0")")/lib/sounds.sh"

failed=0
printf '%-12s %8s %6s %9s %6s %9s %9s %7s\n' sound LUFS '>200Hz' mean peak first last step
for name in $(vr_sound_names); do
    f="$1/$name.wav"
    [ -f "$f" ] || { echo "measure-sounds.sh: $f is missing" >&2; exit 1; }
    lufs=$(ffmpeg -nostats -hide_banner -stream_loop -1 -t 3 -i "$f" -af ebur128 -f null - 2>&1 |
        awk '/Integrated loudness/ { getline; print $2 }')
    rms=$(sox "$f" -n stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }')
    high=$(sox "$f" -n sinc 200 stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }')
    mean=$(sox "$f" -n stat 2>&1 | awk '/^Mean +amplitude/ { print $3 }')
    peak=$(sox "$f" -n stat 2>&1 | awk '/^Maximum amplitude/ { print $3 }')
    read -r first last step < <(sox "$f" -t dat - |
        awk '!/^;/ { if (n++) { d = $2 - p; if (d < 0) d = -d; if (d > m) m = d } else f = $2; p = $2 }
             END { printf "%.5f %.5f %.4f\n", f, p, m }')
    share=$(awk -v a="$rms" -v b="$high" 'BEGIN { printf "%.2f", (a > 0) ? (b / a) ^ 2 : 0 }')
    printf '%-12s %8s %6s %9.6f %6.3f %9s %9s %7s\n' "$name" "$lufs" "$share" "$mean" "$peak" "$first" "$last" "$step"
    [ -n "$check" ] || continue
    bad() { echo "  $name: $*" >&2; failed=1; }
    awk -v l="$lufs" 'BEGIN { exit !(l >= -19.5 && l <= -16.5) }' || bad "loudness $lufs LUFS, not -18 +-1.5"
    case "$name" in bang*) awk -v s="$share" 'BEGIN { exit !(s >= 0.5) }' || bad "only $share of the energy above 200 Hz" ;; esac
    awk -v m="$mean" -v a="$first" -v b="$last" 'BEGIN { exit !(m < 0.001 && m > -0.001 && a * a < 1e-6 && b * b < 1e-6) }' ||
        bad "DC offset $mean or ends away from zero ($first, $last)"
done
[ "$failed" -eq 0 ] || { echo "measure-sounds.sh: the sounds do not meet their targets" >&2; exit 1; }
