#!/usr/bin/env python3
"""Writes the seed corpus of the wave fuzzer into tests/fuzz/corpus.

Every file is a small RIFF WAVE file built here, well-formed or damaged in
one way. Some end with a tape of edit choices after the RIFF chunk (where
the reader ignores it): the fuzz body reads its steps from the input's last
bytes, backwards, so a tape is written reversed.

Run it from anywhere: python3 tests/fuzz/make_corpus.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# Steps, in the order of the fuzz body's Step enumeration.
KEEP, DELETE, TRIM_START, TRIM_END, SILENCE, INVERT, VOLUME, CONCAT, CONVERT, READ, \
    RELOAD, INSERT_SELF, MIX_SELF = range(13)


def chunk(ck_id, contents, size=None):
    size = len(contents) if size is None else size
    pad = b"\0" if len(contents) % 2 else b""
    return ck_id + struct.pack("<I", size) + contents + pad


def riff(chunks, form=b"WAVE", size=None):
    body = form + b"".join(chunks)
    return chunk(b"RIFF", body, size)


def fmt(tag, channels, rate, bits, block=None, avg=None, extra=None, length=None):
    block = block if block is not None else channels * bits // 8
    avg = avg if avg is not None else rate * block
    record = struct.pack("<HHIIHH", tag, channels, rate, avg, block, bits)
    if extra is not None:
        record += struct.pack("<H", len(extra)) + extra
    elif length is None or length >= 18:
        record += struct.pack("<H", 0)
    if length is not None:
        record = record[:length]
    return chunk(b"fmt ", record)


def pcm(channels, rate, bits, **kw):
    return fmt(1, channels, rate, bits, **kw)


def tone(frames, channels, bits):
    out = bytearray()
    for i in range(frames):
        v = math.sin(2 * math.pi * i / 16)
        for c in range(channels):
            s = v if c == 0 else -v
            if bits == 8:
                out.append(int(128 + 100 * s) & 0xFF)
            else:
                out += struct.pack("<h", int(20000 * s))
    return bytes(out)


def time(kind, small=0, word=None):
    """A time argument: kind 0..7 of the fuzz body's Tape.Time."""
    t = [(small << 3) | kind]
    if kind == 7:
        t += list(struct.pack(">I", word))
    return t


def percent(kind, small=0):
    return [(small << 2) | kind]


def tape(*steps):
    forward = [len(steps) - 1]
    for step in steps:
        forward += step
    return bytes(reversed(forward))


def ima_block(channels, block_align):
    """An IMA ADPCM block: a header per channel, then nibble groups."""
    out = bytearray()
    for c in range(channels):
        out += struct.pack("<hBB", 1000 * (c + 1), 20, 0)
    for i in range(block_align - 4 * channels):
        out.append((i * 37 + 11) & 0xFF)
    return bytes(out)


def extensible(sub_tag, channels, rate, bits, valid=None, mask=0):
    """WAVE_FORMAT_EXTENSIBLE of PCM (1) or IEEE float (3), as sox writes it."""
    guid = struct.pack("<HHHH", sub_tag, 0, 0, 0x10) + bytes([0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    extra = struct.pack("<HI", valid if valid is not None else bits, mask) + guid
    return fmt(0xFFFE, channels, rate, bits, extra=extra)


def random_bytes(n, seed):
    out = bytearray()
    for _ in range(n):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out.append((seed >> 16) & 0xFF)
    return bytes(out)


def rf64(chunks, data, form=b"RF64", data_size=None, samples=None, table=b"", wide_data=True):
    """An RF64 (or BW64) file: sizes of all ones, the true ones in "ds64"."""
    data_size = len(data) if data_size is None else data_size
    body = b"".join(chunks) + chunk(b"data", data, 0xFFFFFFFF if wide_data else None)
    riff_size = 4 + 8 + 28 + len(table) + len(body)
    ds64 = struct.pack("<QQQI", riff_size, data_size, samples if samples is not None else 0,
                       len(table) // 12) + table
    return form + struct.pack("<I", 0xFFFFFFFF) + b"WAVE" + chunk(b"ds64", ds64) + body


def files():
    mono8 = tone(200, 1, 8)
    stereo16 = tone(64, 2, 16)
    yield "pcm8-mono", riff([pcm(1, 8000, 8), chunk(b"data", mono8)])
    yield "pcm8-stereo", riff([pcm(2, 11025, 8), chunk(b"data", tone(100, 2, 8))])
    yield "pcm16-mono", riff([pcm(1, 22050, 16), chunk(b"data", tone(100, 1, 16))])
    yield "pcm16-stereo", riff([pcm(2, 44100, 16), chunk(b"data", stereo16)])
    yield "pcm8-odd-data", riff([pcm(1, 8000, 8), chunk(b"data", mono8[:101])])
    yield "pcm16-odd-data", riff([pcm(1, 8000, 16), chunk(b"data", tone(40, 1, 16) + b"\x7f")])
    info = chunk(b"INAM", b"seed\0")
    yield "list-between-fmt-and-data", riff(
        [pcm(1, 8000, 8), chunk(b"LIST", b"INFO" + info), chunk(b"data", mono8[:64])])
    yield "fmt-16-bytes", riff([pcm(1, 8000, 8, length=16), chunk(b"data", mono8[:50])])
    yield "fmt-14-bytes", riff([pcm(1, 8000, 8, length=14), chunk(b"data", mono8[:50])])
    yield "fmt-odd-extra", riff([pcm(1, 8000, 8, extra=b"\x01"), chunk(b"data", mono8[:30])])
    yield "truncated-data", riff([pcm(1, 8000, 8), chunk(b"data", mono8[:100])])[:-40]
    yield "data-size-past-end", riff(
        [pcm(2, 44100, 16), chunk(b"data", stereo16[:64], size=100000)])
    yield "data-before-fmt", riff([chunk(b"data", mono8[:40]), pcm(1, 8000, 8)])
    yield "huge-sizes", riff(
        [pcm(1, 8000, 8), chunk(b"data", mono8[:32], size=0xFFFFFFF0)], size=0xFFFFFFFF)
    yield "huge-rate", riff(
        [pcm(2, 0xFFFFFFF0, 16, avg=0xFFFFFFFF), chunk(b"data", stereo16[:32])])
    yield "pcm24", riff([pcm(1, 8000, 24), chunk(b"data", bytes(range(60)))])
    blocks = ima_block(1, 256) * 2
    yield "ima-adpcm", riff([
        fmt(0x11, 1, 8000, 4, block=256, avg=4055, extra=struct.pack("<H", 505)),
        chunk(b"fact", struct.pack("<I", 1010)),
        chunk(b"data", blocks)])
    coefficients = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
    extra = struct.pack("<HH", 500, len(coefficients)) + b"".join(
        struct.pack("<hh", a, b) for a, b in coefficients)
    ms_block = bytes([1]) + struct.pack("<hhh", 64, 100, -100) + bytes(
        (i * 29) & 0xFF for i in range(256 - 7))
    yield "ms-adpcm", riff([
        fmt(2, 1, 11025, 4, block=256, avg=5644, extra=extra), chunk(b"data", ms_block)])
    yield "alaw", riff([fmt(6, 1, 8000, 8), chunk(b"data", bytes(range(0, 256, 3)))])

    # Recording formats, converted by the engine's own code.
    yield "extensible-pcm24-stereo", riff(
        [extensible(1, 2, 44100, 24, mask=3), chunk(b"data", random_bytes(6 * 50, 3))]) + tape(
        [CONVERT, 16], [INVERT], [CONVERT, 1])
    yield "extensible-pcm16-mono", riff(
        [extensible(1, 1, 22050, 16, valid=12), chunk(b"data", tone(80, 1, 16))]) + tape(
        [VOLUME] + percent(0, 3), [INVERT], [TRIM_START] + time(0, 1))
    yield "extensible-float32", riff(
        [extensible(3, 2, 48000, 32), chunk(b"data", b"".join(
            struct.pack("<ff", math.sin(i / 5), 2.0 - i / 10) for i in range(40)))]) + tape(
        [CONVERT, 19])
    yield "float64-mono", riff([
        fmt(3, 1, 8000, 64), chunk(b"data", b"".join(
            struct.pack("<d", v) for v in (0.5, -1.0, 1e300, float("nan"), -0.25)))]) + tape(
        [CONVERT, 3])
    yield "pcm32-mono", riff([pcm(1, 11025, 32), chunk(b"data", random_bytes(4 * 30, 5))]) + tape(
        [CONVERT, 12])
    yield "pcm16-three-channels", riff(
        [pcm(3, 8000, 16), chunk(b"data", random_bytes(6 * 40, 7))]) + tape([CONVERT, 4])
    # A writer to a pipe leaves both sizes unknown; the data ends with a part of a frame.
    yield "piped-sizes", riff(
        [pcm(2, 44100, 16), chunk(b"data", stereo16[:62], size=0xFFFFFFFF)], size=0xFFFFFFFF) + tape(
        [TRIM_START] + time(0, 0), [INVERT])
    yield "gsm610", riff([
        fmt(0x31, 1, 8000, 0, block=65, avg=1625, extra=struct.pack("<H", 320)),
        chunk(b"data", random_bytes(65 * 3 + 7, 11))]) + tape([CONVERT, 3])
    ms_random = b"".join(bytes([i % 7]) + random_bytes(255, 20 + i) for i in range(3))
    yield "ms-adpcm-random-nibbles", riff([
        fmt(2, 1, 11025, 4, block=256, avg=5644, extra=extra), chunk(b"data", ms_random)]) + tape(
        [CONVERT, 7])

    # RF64: sizes in "ds64"; as a pipe leaves it (all 0, the data runs to the
    # end); more data than a wave holds; no "ds64"; BW64 with a chunk whose
    # size is in the table.
    info_list = chunk(b"LIST", b"INFO" + chunk(b"INAM", b"take\0"))
    yield "rf64", rf64([pcm(1, 8000, 16), info_list], tone(60, 1, 16), samples=60) + tape(
        [KEEP] + time(0, 1) + time(0, 2), [INVERT], [CONVERT, 3])
    yield "rf64-piped", rf64([pcm(2, 8000, 8)], tone(40, 2, 8), data_size=0) + tape(
        [CONVERT, 2], [VOLUME] + percent(1, 5), [DELETE] + time(0, 0) + time(0, 1))
    yield "rf64-huge-data", rf64([pcm(1, 8000, 8)], mono8[:20], data_size=5 << 30)
    yield "rf64-no-ds64", b"RF64" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE" + pcm(
        1, 8000, 8) + chunk(b"data", mono8[:20])
    table = b"junk" + struct.pack("<Q", 6)
    yield "bw64-table", rf64([pcm(1, 8000, 8), chunk(b"junk", b"abcdef", 0xFFFFFFFF)],
                             mono8[:33], form=b"BW64", table=table) + tape([INVERT], [RELOAD])
    # A byte rate that contradicts the blocks, as one converter writes it.
    yield "ima-adpcm-wrong-rate", riff([
        fmt(0x11, 1, 8000, 4, block=256, avg=16000, extra=struct.pack("<H", 505)),
        chunk(b"data", blocks * 2)]) + tape([KEEP] + time(0, 3) + time(0, 9), [TRIM_END] + time(0, 2))
    # Metadata around the data: kept, dropped or left as it is by the edits.
    yield "metadata", riff([
        pcm(1, 8000, 8, length=16), chunk(b"bext", random_bytes(17, 4)), chunk(b"data", mono8[:41]),
        chunk(b"cue ", random_bytes(28, 5)), info_list, chunk(b"iXML", b"<x/>")]) + tape(
        [DELETE] + time(0, 0) + time(0, 1), [INVERT], [CONCAT] + time(0, 1), [VOLUME] + percent(0, 2))

    # Seeds that carry edits.
    yield "edits-pcm16-stereo", riff([pcm(2, 44100, 16), chunk(b"data", stereo16)]) + tape(
        [KEEP] + time(0, 0) + time(0, 1),
        [SILENCE] + time(3) + time(0, 1),
        [CONCAT] + time(0, 0),
        [VOLUME] + percent(0, 10),
        [READ] + time(0, 3) + [2],
        [DELETE] + time(0, 0) + time(0, 1),
        [INVERT],
        [RELOAD])
    yield "edits-pcm8-mono", riff([pcm(1, 8000, 8), chunk(b"data", mono8)]) + tape(
        [TRIM_END] + time(0, 5),
        [TRIM_START] + time(4, 3),
        [INSERT_SELF] + time(2, 4),
        [MIX_SELF],
        [CONVERT, 16],
        [KEEP] + time(6, 2) + time(1, 1),
        [CONCAT] + time(7, word=3),
        [DELETE] + time(2, 15) + time(5, 2))
    yield "edits-ima-adpcm", riff([
        fmt(0x11, 1, 8000, 4, block=256, avg=4055, extra=struct.pack("<H", 505)),
        chunk(b"data", blocks)]) + tape(
        [CONVERT, 1], [READ] + time(4, 1) + [0], [CONVERT, 0], [INVERT], [TRIM_END] + time(0, 1))


def main():
    os.makedirs(CORPUS, exist_ok=True)
    for name, data in files():
        with open(os.path.join(CORPUS, name + ".wav"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
