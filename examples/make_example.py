#!/usr/bin/env python3
"""Writes examples/clicks.wav: a short mono 16-bit 22,050 Hz sound for trying sonari3.

A few tone bursts and clicks with silence between them, so that the 30 ms delay
between the channels and the echoes are easy to hear on headphones. The file has
a LIST/INFO chunk after "data", so that the report shows a chunk list.
"""
import math
import struct
import sys

RATE = 22050


def burst(freq, seconds, level):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        env = math.exp(-6.0 * i / n)  # a plucked decay
        out.append(level * env * math.sin(2 * math.pi * freq * i / RATE))
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def click():
    return [0.9, -0.7, 0.5, -0.3, 0.1] + silence(0.01)


def main(path):
    signal = []
    for _ in range(4):
        signal += click() + silence(0.25)
    for freq in (440.0, 554.37, 659.25, 880.0):
        signal += burst(freq, 0.25, 0.6) + silence(0.1)
    signal += burst(220.0, 0.6, 0.7) + silence(0.2)

    data = b"".join(struct.pack("<h", int(round(max(-1.0, min(1.0, s)) * 32767))) for s in signal)

    def chunk(tag, body):
        pad = b"\0" if len(body) % 2 else b""
        return tag + struct.pack("<I", len(body)) + body + pad

    name = b"sonari3 example: clicks and tone bursts\0"
    info = b"INFO" + chunk(b"INAM", name)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", data) + chunk(b"LIST", info)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/clicks.wav")
