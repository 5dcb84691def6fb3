#!/usr/bin/env python3
"""Writes the WAVE files of the host-script tests that the example waves do
not cover, beside this script: alaw.wav (0.35 s of A-law at 8000 Hz, which
the system's sound mapper decodes, and which reports no levels) and
unplayable.wav (0.1 s of a format tag that no device or codec knows, which a
player loads and the device refuses)."""
import os
import struct


def write(name, tag, rate, block, bits, data):
    fmt = struct.pack("<HHIIHHH", tag, 1, rate, rate * block, block, bits, 0)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)


write("alaw.wav", 6, 8000, 1, 8, bytes(0xAA if (i // 20) % 2 else 0x2A for i in range(2800)))
write("unplayable.wav", 0x7A7A, 8000, 2, 16, bytes(1600))
