#!/usr/bin/env bash
# Makes the game's eight sound effects with sox: DIR/snd/*.wav.
#   scripts/make-sounds.sh DIR
# Several sounds are restarted every tick (thrust, the saucer hum), so those
# start at full level and have no fade-in that would pulse at the tick rate.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR   (writes DIR/snd/*.wav)" >&2
    exit 2
fi
if ! command -v sox >/dev/null; then
    echo "make-sounds.sh: sox is needed (apt-get install sox)" >&2
    exit 1
fi

out="$1/snd"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fmt=(-r 22050 -b 16 -c 1)
make() {  # make NAME SOX-EFFECTS...: a sound synthesised from nothing
    local name="$1"; shift
    sox -q -n "${fmt[@]}" "$tmp/$name.wav" "$@"
    mv "$tmp/$name.wav" "$out/$name.wav"
}

# A falling square blip.
make fire synth 0.14 square 1100-380 vol 0.35 lowpass 4000 fade 0.003 0.14 0.06

# Low filtered noise with a slight wobble.
make thrust synth 0.30 brownnoise vol 0.5 lowpass 380 tremolo 18 25 fade 0.004 0.30 0.08 gain -n -6

# Explosions: noise bursts, longer and deeper with the size of the rock.
make bangSmall synth 0.25 whitenoise vol 0.5 lowpass 2600 fade 0.002 0.25 0.22 gain -n -5
make bangMedium synth 0.45 pinknoise vol 0.5 lowpass 1300 fade 0.002 0.45 0.40 gain -n -4
make bangLarge synth 0.80 brownnoise vol 0.5 lowpass 600 overdrive 8 fade 0.002 0.80 0.72 gain -n -3

# A rising three-note chime.
for note in 784:0.11 988:0.11 1319:0.40; do
    sox -q -n "${fmt[@]}" "$tmp/chime-${note%%:*}.wav" \
        synth "${note##*:}" pluck "${note%%:*}" fade 0.002 "${note##*:}" 0.05 vol 0.6
done
sox -q "$tmp/chime-784.wav" "$tmp/chime-988.wav" "$tmp/chime-1319.wav" "$tmp/extraShip.wav"
mv "$tmp/extraShip.wav" "$out/extraShip.wav"

# Saucer hums: two detuned square tones, the small saucer an octave higher.
make saucerBig synth 0.40 square 110 square 113 remix - vol 0.4 lowpass 1000 fade 0.004 0.40 0.05 gain -n -9
make saucerSmall synth 0.40 square 220 square 226 remix - vol 0.4 lowpass 2000 fade 0.004 0.40 0.05 gain -n -10
