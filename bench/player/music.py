#!/usr/bin/env python3
# A minute of music-like sound for the playback benchmarks: a bass line, a
# chord and a hi-hat, as a 44.1 kHz stereo WAV; played MINUTES times over.
# Usage: music.py OUT.wav [MINUTES]
import math, struct, sys, wave, random
rate = 44100
random.seed(1)
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    frames = bytearray()
    for n in range(rate * 60):
        t = n / rate
        beat = t % 0.5
        bass = 0.35 * math.sin(2 * math.pi * (55 if int(t) % 2 else 73.4) * t) * math.exp(-beat * 4)
        chord = 0.12 * sum(math.sin(2 * math.pi * f * t) for f in (440, 554.4, 659.3))
        hat = 0.15 * (random.random() * 2 - 1) * math.exp(-((t % 0.25) * 40))
        v = max(-1.0, min(1.0, bass + chord + hat))
        s = int(v * 32000)
        frames += struct.pack("<hh", s, s)
    minute = bytes(frames)
    for _ in range(int(sys.argv[2]) if len(sys.argv) > 2 else 1):
        w.writeframes(minute)
