#!/usr/bin/env python3
"""A replay's sound track: the sounds the trace tool prints for each tick,
mixed as the game plays them, to a wave file as long as the video.

    voidrunner-trace REPLAY | replay-sound.py SOUND-FOLDER FIRST-TICK LAST-TICK OUT.wav

The game has one voice: a new sound starts at its tick and the one that
played fades out over 8 ms (a cut clicks). The video's first frame is the
tick FIRST-TICK's, its last LAST-TICK's, one every 62 ms.
"""
import array
import json
import os
import sys
import wave

RATE = 44100
TICK_MS = 62
FADE = RATE * 8 // 1000


def fail(message):
    print(f"replay-sound: {message}", file=sys.stderr)
    sys.exit(1)


def load(folder, name, cache):
    # "snd\\fire.wav", as the game names it: the file's name in the folder.
    base = name.replace("\\", "/").rsplit("/", 1)[-1]
    if base not in cache:
        path = os.path.join(folder, base)
        try:
            with wave.open(path, "rb") as f:
                if f.getsampwidth() != 2 or f.getnchannels() != 1 or f.getframerate() != RATE:
                    fail(f"{path}: not 16-bit mono at {RATE} Hz")
                samples = array.array("h")
                samples.frombytes(f.readframes(f.getnframes()))
        except (OSError, wave.Error, EOFError) as e:
            fail(f"cannot read {path}: {e}")
        if sys.byteorder == "big":
            samples.byteswap()
        cache[base] = samples
    return cache[base]


def main():
    if len(sys.argv) != 5:
        fail("usage: replay-sound.py SOUND-FOLDER FIRST-TICK LAST-TICK OUT.wav")
    folder, first, last, out_path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    at = lambda tick: (tick - first) * TICK_MS * RATE // 1000
    total = at(last + 1)
    cache = {}
    starts = []  # (sample, sound), in order
    for line in sys.stdin:
        try:
            state = json.loads(line)
        except ValueError:
            fail("the trace tool's output is not JSON lines")
        tick = state.get("n", 0)
        for name in state.get("sounds", []):
            if first <= tick <= last:
                starts.append((at(tick), load(folder, name, cache)))

    out = array.array("h", bytes(2 * total))
    # Each sound until the next starts; then the fading tails on top.
    tails = []
    for i, (start, sound) in enumerate(starts):
        end = starts[i + 1][0] if i + 1 < len(starts) else total
        n = max(0, min(len(sound), end - start))
        out[start:start + n] = sound[:n]
        if n < len(sound) and end < total:
            tails.append((end, sound[n:n + FADE]))
    for end, tail in tails:
        for j in range(min(len(tail), total - end)):
            v = out[end + j] + tail[j] * (FADE - j) // FADE
            out[end + j] = max(-32768, min(32767, v))

    if sys.byteorder == "big":
        out.byteswap()
    with wave.open(out_path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(out.tobytes())


main()
