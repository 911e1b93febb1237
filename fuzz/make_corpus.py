#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: fuzz/corpus/wav_read/ and fuzz/corpus/run/.

wav_read seeds are whole WAVE files: well-formed mono 8- and 16-bit files, and the
shapes the reader has to cope with (extended "fmt " chunks, chunks in odd orders,
odd lengths, lengths far beyond the file, missing chunks, foreign headers).

run seeds are what fuzz_run takes: a selector byte, a delay line, a gain line and
then a WAVE file (see fuzz/fuzz_run.cpp).

Usage: python3 fuzz/make_corpus.py [corpus directory]   (default: fuzz/corpus)
The directories are emptied first, so the script remakes them exactly.
"""
import math
import os
import struct
import sys

MAX_SEED = 4096


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def chunk(tag, body, length=None, pad=False):
    """A chunk; its length is the body's unless given. pad adds the byte RIFF wants after an odd body."""
    if length is None:
        length = len(body)
    extra = b"\0" if pad and len(body) % 2 else b""
    return tag + u32(length) + body + extra


def fmt_body(tag=1, channels=1, rate=8000, bits=16, block=None, byte_rate=None):
    if block is None:
        block = channels * ((bits + 7) // 8)
    if byte_rate is None:
        byte_rate = rate * block
    return struct.pack("<HHIIHH", tag, channels, rate, byte_rate, block, bits)


def riff(chunks, length=None, tag=b"RIFF", form=b"WAVE"):
    body = form + b"".join(chunks)
    return tag + u32(len(body) if length is None else length) + body


def tone8(n, period=16):
    return bytes(int(128 + 100 * math.sin(2 * math.pi * i / period)) for i in range(n))


def tone16(n, period=16):
    return b"".join(struct.pack("<h", int(20000 * math.sin(2 * math.pi * i / period))) for i in range(n))


def extensible_fmt(bits=16, valid=16, channels=1, rate=8000, sub_tag=1):
    block = channels * ((bits + 7) // 8)
    guid = u16(sub_tag) + b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
    return fmt_body(0xFFFE, channels, rate, bits, block) + u16(22) + u16(valid) + u32(4) + guid


def wav_read_seeds():
    fmt8 = chunk(b"fmt ", fmt_body(bits=8))
    fmt16 = chunk(b"fmt ", fmt_body(bits=16))
    d8 = chunk(b"data", tone8(200))
    d16 = chunk(b"data", tone16(200))
    info = b"INFO" + chunk(b"INAM", b"fuzz seed\0", pad=True) + chunk(b"ICMT", b"odd", pad=True)
    canonical16 = riff([fmt16, d16])
    return {
        "mono8": riff([fmt8, d8]),
        "mono16": canonical16,
        "mono16_44100": riff([chunk(b"fmt ", fmt_body(rate=44100)), chunk(b"data", tone16(300, 7))]),
        "fmt18": riff([chunk(b"fmt ", fmt_body() + u16(0)), d16]),
        "fmt40_pcm": riff([chunk(b"fmt ", fmt_body() + u16(22) + bytes(22)), d16]),
        "fmt_short14": riff([chunk(b"fmt ", fmt_body(), length=14), d16]),
        "fmt_twice": riff([fmt8, fmt16, d16]),
        "list_after_data": riff([fmt16, d16, chunk(b"LIST", info)]),
        "list_before_fmt": riff([chunk(b"LIST", info), fmt8, d8]),
        "data_before_fmt": riff([d16, fmt16]),
        "data_twice": riff([fmt16, chunk(b"data", tone16(40)), chunk(b"data", tone16(90))]),
        "data_empty": riff([fmt16, chunk(b"data", b"")]),
        "data_odd16": riff([fmt16, chunk(b"data", tone16(50)[:-1], pad=True)]),
        "odd_chunk_pad": riff([fmt8, chunk(b"junk", b"abc", pad=True), d8]),
        "junk_large": riff([fmt8, chunk(b"junk", bytes(range(256)) * 4), chunk(b"data", tone8(60))]),
        "odd_chunk_nopad": riff([fmt8, chunk(b"junk", b"abc"), d8]),
        "stereo16": riff([chunk(b"fmt ", fmt_body(channels=2)), chunk(b"data", tone16(200))]),
        "stereo8": riff([chunk(b"fmt ", fmt_body(channels=2, bits=8)), chunk(b"data", tone8(200))]),
        "channels0": riff([chunk(b"fmt ", fmt_body(channels=0)), d16]),
        "extensible": riff([chunk(b"fmt ", extensible_fmt()), d16]),
        "float32": riff([chunk(b"fmt ", fmt_body(tag=3, bits=32)), chunk(b"data", bytes(400))]),
        "pcm24": riff([chunk(b"fmt ", fmt_body(bits=24)), chunk(b"data", bytes(300))]),
        "pcm12": riff([chunk(b"fmt ", fmt_body(bits=12)), d16]),
        "rate0_byterate0": riff([chunk(b"fmt ", fmt_body(rate=0, byte_rate=0)), d16]),
        "rate_max": riff([chunk(b"fmt ", fmt_body(rate=0xFFFFFFFF, byte_rate=0xFFFFFFFF)), d16]),
        "truncated_header": canonical16[:30],
        "truncated_riff": canonical16[:10],
        "truncated_fmt": canonical16[:28],
        "truncated_data": canonical16[:200],
        "header_only": riff([]),
        "rifx": riff([chunk(b"fmt ", struct.pack(">HHIIHH", 1, 1, 8000, 16000, 2, 16)),
                      chunk(b"data", tone16(100))], tag=b"RIFX"),
        "not_wave": riff([fmt16, d16], form=b"AVI "),
        "riff_length_huge": riff([fmt16, d16], length=0xFFFFFFFF),
        "riff_length_short": riff([fmt16, d16], length=4),
        "data_declared_16m": riff([fmt16, chunk(b"data", tone16(100), length=16 << 20)]),
        "data_declared_2g": riff([fmt16, chunk(b"data", tone16(100), length=0x7FFFFFFF)]),
        "junk_declared_4g": riff([fmt16, chunk(b"junk", b"x" * 16, length=0xFFFFFFFF), d16]),
        "fmt_declared_2g": riff([chunk(b"fmt ", fmt_body(), length=0x80000000), d16]),
        "no_data": riff([fmt16, chunk(b"LIST", info)]),
        "no_fmt": riff([d16]),
        "no_chunks_trailing": riff([]) + b"dat",
    }


def run_seeds(wavs):
    """Selector byte, delay and gain lines, then a file. See fuzz/fuzz_run.cpp.

    Selector bits 0-1: 0 delay and gain, 1 delay only, 2 neither; bit 2 in place;
    bit 3 an existing output file; bit 4 a file-size limit.
    """
    def run(selector, delay, gain, wav):
        return bytes([selector]) + delay + b"\n" + gain + b"\n" + wavs[wav]

    seeds = {
        "defaults_mono16": run(2, b"", b"", "mono16"),
        "defaults_mono8": run(2, b"", b"", "mono8"),
        "params_mono16": run(0, b"0.001", b"0.5", "mono16"),
        "params_mono8": run(0, b"0.001", b"-0.5", "mono8"),
        "delay_only_mono8": run(1, b"0.002", b"", "mono8"),
        "in_place_mono16": run(4, b"0.0005", b"0.3", "mono16"),
        "old_output_mono8": run(8, b"0.001", b"2", "mono8"),
        "old_output_failing": run(8, b"0.001", b"0.3", "stereo16"),
        "in_place_failing": run(4, b"0.001", b"0.3", "pcm24"),
        "long_delay": run(0, b"1.0e0", b"0.3", "mono16_44100"),
        "delay_beyond_data": run(0, b"  +3.5", b"0.9", "mono8"),
        "gain_large16": run(0, b"0.0001", b"65535", "mono16"),
        "gain_too_large16": run(0, b"0.0001", b"65536", "mono16"),
        "gain_large8": run(0, b"0.0001", b"16777215", "mono8"),
        "gain_exp": run(0, b"1e-4", b"-1.5E+2", "mono8"),
        "delay_negative": run(0, b"-0.01", b"0.3", "mono16"),
        "delay_huge": run(0, b"1e39", b"0.3", "mono16"),
        "delay_rate_max": run(0, b"0.5", b"0.3", "rate_max"),
        "gain_overflow": run(0, b"0.01", b"1e40", "mono16"),
        "text_not_number": run(0, b"inf", b"0x10", "mono16"),
        "data_odd16": run(0, b"0.0002", b"0.3", "data_odd16"),
        "data_twice": run(0, b"0.0002", b"0.3", "data_twice"),
        "data_before_fmt": run(2, b"", b"", "data_before_fmt"),
        "list_after_data": run(2, b"", b"", "list_after_data"),
        "extensible": run(2, b"", b"", "extensible"),
        "no_data": run(2, b"", b"", "no_data"),
        "no_fmt": run(2, b"", b"", "no_fmt"),
        "data_declared_16m": run(0, b"0.01", b"0.3", "data_declared_16m"),
        "rate0": run(0, b"0.5", b"0.3", "rate0_byterate0"),
        "truncated_header": run(2, b"", b"", "truncated_header"),
        # Bit 4: a file-size limit of the seed's own length, shorter than the output.
        "size_limit_new": run(16, b"0.001", b"0.3", "mono16"),
        "size_limit_old_output": run(16 | 8, b"0.001", b"0.3", "mono16"),
        "size_limit_in_place": run(16 | 4, b"0.001", b"0.3", "mono8"),
        "size_limit_fits": run(16 | 8, b"0.001", b"0.3", "junk_large"),
    }
    return seeds


def write_dir(path, seeds):
    os.makedirs(path, exist_ok=True)
    # Also drops what a fuzzer run given this directory first has added to it.
    for name in os.listdir(path):
        if os.path.isfile(os.path.join(path, name)):
            os.remove(os.path.join(path, name))
    for name, data in sorted(seeds.items()):
        if len(data) >= MAX_SEED:
            raise SystemExit(f"seed {name} is {len(data)} bytes, more than {MAX_SEED}")
        with open(os.path.join(path, name + ".bin"), "wb") as f:
            f.write(data)


def main(root):
    wavs = wav_read_seeds()
    write_dir(os.path.join(root, "wav_read"), wavs)
    write_dir(os.path.join(root, "run"), run_seeds(wavs))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus"))
