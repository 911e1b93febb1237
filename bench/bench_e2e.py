#!/usr/bin/env python3
"""End-to-end benchmark: sonari3 against the I/O it cannot avoid, and against peers.

Makes a mono 16-bit 44,100 Hz input of about 256 MB and an 8-bit one of about
128 MB, then times in rounds, alternating the commands within each round:
  - sonari3 IN OUT
  - the floor: reading the input twice and writing twice its data size
    (cat IN twice, head -c 2*DATA from /dev/zero)
  - where installed: sox IN -c 2 OUT, sox IN OUT remix 1 1 delay 0 0.03,
    ffmpeg -i IN -af haas OUT, ffmpeg -i IN -ac 2 OUT
Reports the median wall time, the ratio to the floor, and the peak resident
memory (from wait4) against three times the data size.

usage: bench/bench_e2e.py [--program build/release/sonari3] [--dir /tmp/sonari3-bench]
                          [--rounds 5] [--mb16 256] [--mb8 128]
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time


def write_input(path, bits, data_bytes, rate=44100):
    """A mono PCM file whose samples are a fixed pseudo-random block, repeated."""
    block = bytearray(os.urandom(1 << 20))
    if bits == 16:
        # Keep the noise moderate so that the echo sums do not all clip.
        for i in range(1, len(block), 2):
            block[i] = (block[i] & 0x1F) | (0xE0 if block[i] & 0x10 else 0)
    block = bytes(block)
    align = bits // 8
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * align, align, bits)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", 16) + fmt)
        f.write(b"data" + struct.pack("<I", data_bytes))
        left = data_bytes
        while left > 0:
            piece = block[: min(left, len(block))]
            f.write(piece)
            left -= len(piece)


def run(cmd, out_path):
    """Runs a command once; returns (wall seconds, peak RSS in MB)."""
    if out_path and os.path.exists(out_path):
        os.unlink(out_path)
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(cmd)}")
    return wall, usage.ru_maxrss / 1024.0


def bench_one(label, program, work, bits, megabytes, rounds):
    data = megabytes * 1000 * 1000 // 2 * 2
    src = os.path.join(work, f"in{bits}.wav")
    out = os.path.join(work, f"out{bits}.wav")
    if not os.path.exists(src) or os.path.getsize(src) != data + 44:
        write_input(src, bits, data)

    commands = [
        ("sonari3", [program, src, out], out),
        ("floor (read twice, write 2x)",
         ["sh", "-c", f'cat "{src}" >/dev/null; cat "{src}" >/dev/null; '
                      f'head -c {2 * data} /dev/zero >"{out}"'], out),
    ]
    if shutil.which("sox"):
        commands.append(("sox -c 2", ["sox", src, "-c", "2", out], out))
        commands.append(("sox remix+delay", ["sox", src, out, "remix", "1", "1", "delay", "0", "0.03"], out))
    if shutil.which("ffmpeg"):
        commands.append(("ffmpeg haas", ["ffmpeg", "-y", "-v", "error", "-i", src, "-af", "haas", out], out))
        commands.append(("ffmpeg -ac 2", ["ffmpeg", "-y", "-v", "error", "-i", src, "-ac", "2", out], out))

    times = {name: [] for name, _, _ in commands}
    peaks = {name: 0.0 for name, _, _ in commands}
    run(commands[0][1], out)  # warm the page cache with the input
    for _ in range(rounds):
        for name, cmd, path in commands:
            wall, peak = run(cmd, path)
            times[name].append(wall)
            peaks[name] = max(peaks[name], peak)
    if os.path.exists(out):
        os.unlink(out)

    floor = statistics.median(times[commands[1][0]])
    print(f"\n{label}: {data / 1e6:.0f} MB of {bits}-bit data, {rounds} rounds")
    print(f"  {'command':32} {'median s':>9} {'x floor':>8} {'peak MB':>9}")
    for name, _, _ in commands:
        med = statistics.median(times[name])
        print(f"  {name:32} {med:9.3f} {med / floor:8.2f} {peaks[name]:9.1f}")
    budget = 3 * data / (1 << 20) + 16
    print(f"  sonari3 peak memory budget (3 x data + 16 MB): {budget:.1f} MB")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", default="build/release/sonari3")
    parser.add_argument("--dir", default="/tmp/sonari3-bench")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--mb16", type=int, default=256)
    parser.add_argument("--mb8", type=int, default=128)
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    program = os.path.abspath(args.program)
    bench_one("16-bit 44,100 Hz", program, args.dir, 16, args.mb16, args.rounds)
    bench_one("8-bit 44,100 Hz", program, args.dir, 8, args.mb8, args.rounds)


if __name__ == "__main__":
    main()
