#!/usr/bin/env bash
# Makes the game's sound effects with sox: DIR/snd/NAME.wav for every NAME of
# present/Sounds.def, each by its recipe below.
#   scripts/make-sounds.sh DIR
# The game has one voice and restarts thrust and the saucer hum every tick
# (62 ms), so every sound
#   - starts and ends at zero and carries no DC offset: a restart is then no
#     step in the output (the player hears a step as a click);
#   - is balanced in loudness with the others: each is made at a peak of
#     -1 dBFS and then set by the last number of its line to about -18 LUFS
#     (ffmpeg's ebur128 integrated loudness of the sound played in a loop;
#     scripts/measure-sounds.sh prints the figures);
# and the bangs carry most of their energy above 200 Hz, where laptop
# speakers still play. Noise is seeded (-R): the same files on every build.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR   (writes DIR/snd/*.wav)" >&2
    exit 2
fi
if ! command -v sox >/dev/null; then
    echo "make-sounds.sh: sox is needed (apt-get install sox)" >&2
    exit 1
fi

# shellcheck source=lib/sounds.sh
. "$(dirname "$(realpath "$0")")/lib/sounds.sh"
mapfile -t listed < <(vr_sound_names)
declare -A made=()

out="$1/snd"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The sound device's own rate: no resampling that would smear the ends.
fmt=(-R -r 44100 -b 16 -c 1)
# finish IN NAME FADE-IN FADE-OUT GAIN: no DC, ramps to zero at both ends,
# peak at -1 dBFS, then the loudness gain. The ramp in is a straight line:
# on a restart it mirrors the game's fade out of the sound it replaces
# (8 ms, also straight), so the two add up to a steady level.
finish() {
    local length
    [[ " ${listed[*]} " == *" $2 "* ]] ||
        { echo "make-sounds.sh: $2 has a recipe but is not in present/Sounds.def" >&2; exit 1; }
    length=$(soxi -D "$1")
    sox -D -q "$1" "$tmp/$2.wav" highpass 20 fade t "$3" fade q 0 "$length" "$4" \
        gain -n -1 gain "$5"
    mv "$tmp/$2.wav" "$out/$2.wav"
    made[$2]=1
}
# make NAME FADE-IN FADE-OUT GAIN SOX-EFFECTS...: synthesised from nothing
make() {
    local name=$1 in=$2 outfade=$3 level=$4
    shift 4
    sox -q -n "${fmt[@]}" "$tmp/raw-$name.wav" "$@"
    finish "$tmp/raw-$name.wav" "$name" "$in" "$outfade" "$level"
}

# A falling square blip.
make fire 0.003 0.06 -14.6 synth 0.14 square 1100-380 vol 0.5 lowpass 4000

# Engine rumble: band-limited noise with a slight wobble.
make thrust 0.008 0.02 -5.0 \
    synth 0.30 brownnoise vol 0.5 lowpass 900 highpass 120 highpass 120 tremolo 18 20

# Explosions: noise bursts, longer and deeper with the size of the rock,
# but kept above 200 Hz.
make bangSmall 0.002 0.20 -5.8 synth 0.25 whitenoise vol 0.5 lowpass 3500 highpass 300
make bangMedium 0.002 0.38 -4 synth 0.45 pinknoise vol 0.5 lowpass 2200 highpass 220
make bangLarge 0.002 0.65 0 \
    synth 0.80 brownnoise vol 0.3 lowpass 1400 overdrive 14 highpass 180 highpass 180 \
    equalizer 500 1q 4

# A rising three-note chime.
for note in 784:0.11 988:0.11 1319:0.40; do
    sox -q -n "${fmt[@]}" "$tmp/chime-${note%%:*}.wav" \
        synth "${note##*:}" pluck "${note%%:*}" fade 0.002 "${note##*:}" 0.05
done
sox -q "$tmp/chime-784.wav" "$tmp/chime-988.wav" "$tmp/chime-1319.wav" "$tmp/chime.wav"
finish "$tmp/chime.wav" extraShip 0.002 0.05 -7.4

# Saucer hums: two detuned square tones, the small saucer an octave higher.
make saucerBig 0.008 0.02 -5.4 synth 0.40 square 110 square 113 remix - vol 0.5 lowpass 1400 highpass 90
make saucerSmall 0.008 0.02 -6.5 synth 0.40 square 220 square 226 remix - vol 0.5 lowpass 2400 highpass 150

for name in "${listed[@]}"; do
    [ -n "${made[$name]:-}" ] ||
        { echo "make-sounds.sh: no recipe for $name (present/Sounds.def lists it)" >&2; exit 1; }
done
# A sound taken off the list leaves no file behind.
for f in "$out"/*.wav; do
    name=$(basename "$f" .wav)
    [ -n "${made[$name]:-}" ] || rm -f "$f"
done
