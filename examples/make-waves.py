#!/usr/bin/env python3
"""Writes the small WAVE files the example scripts and the host-script tests
use: tone.wav (1 s, 440 Hz), chime.wav (0.5 s, 660 Hz) and melody.wav (3 s,
the notes C, E and G, one second each), 16-bit mono PCM at 8000 Hz, each note
with a short fade in and out. Run it from any folder; the files land beside
this script."""
import math
import os
import struct
import wave

RATE = 8000


def note(seconds, frequency, amplitude):
    count = int(RATE * seconds)
    fade = RATE // 50
    samples = []
    for i in range(count):
        envelope = min(1.0, i / fade, (count - 1 - i) / fade)
        value = amplitude * envelope * math.sin(2 * math.pi * frequency * i / RATE)
        samples.append(int(round(value * 32767)))
    return samples


def write(name, samples):
    count = len(samples)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % count, *samples))


write("tone.wav", note(1.0, 440, 0.5))
write("chime.wav", note(0.5, 660, 0.8))
write("melody.wav", note(1.0, 523.25, 0.6) + note(1.0, 659.25, 0.6) + note(1.0, 783.99, 0.6))
