#!/usr/bin/env python3
"""Inflate and xz throughput of the stack-trace library beside python3's zlib
and lzma decoding the same streams (best of several rounds, decoded MB/s).

usage: bench/libmerrow-codecs.py BUILD_DIR [ROUNDS]   (BUILD_DIR from the bench preset)"""
import lzma
import os
import random
import subprocess
import sys
import tempfile
import time
import zlib


def data_sets():
    rng = random.Random(3)
    words = [b"frame", b"unit", b"line", b"inlined", b"symbol", b"section", b"\n", b" ", b"0x",
             b"DW_TAG_subprogram", b"DW_AT_name", b"/usr/lib/debug/.build-id/", b"0123456789abcdef"]
    text = b"".join(rng.choice(words) for _ in range(1200000))
    # Debug sections are text and small numbers, not uniform noise.
    binary = bytes(min(255, int(rng.expovariate(0.08))) for _ in range(4000000))
    return {"text": text, "binary": binary}


def python_rate(decode, stream, size, rounds):
    best = min(timed(decode, stream) for _ in range(rounds))
    return size / best / 1e6


def timed(decode, stream):
    start = time.perf_counter()
    decode(stream)
    return time.perf_counter() - start


def main():
    build = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    tool = os.path.join(build, "bench", "libmerrow_codecs")
    print("%-8s %-6s %10s %10s %6s" % ("data", "codec", "own MB/s", "python", "ratio"))
    with tempfile.TemporaryDirectory() as tmp:
        for name, raw in data_sets().items():
            for codec, stream, decode in (("zlib", zlib.compress(raw, 6), zlib.decompress),
                                          ("xz", lzma.compress(raw, preset=6), lzma.decompress)):
                path = os.path.join(tmp, name + "." + codec)
                with open(path, "wb") as f:
                    f.write(stream)
                own = float(subprocess.run([tool, codec, path, str(len(raw)), str(rounds)],
                                           check=True, capture_output=True, text=True).stdout)
                theirs = python_rate(decode, stream, len(raw), rounds)
                print("%-8s %-6s %10.1f %10.1f %6.2f" % (name, codec, own, theirs, own / theirs))


if __name__ == "__main__":
    main()
