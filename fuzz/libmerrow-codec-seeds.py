#!/usr/bin/env python3
"""Writes seed inputs for the inflate and xz fuzz targets with python3's zlib
and lzma: every level and strategy, several windows, check types and LZMA
properties, over text, random and repetitive data.

usage: libmerrow-codec-seeds.py INFLATE_CORPUS_DIR XZ_CORPUS_DIR
"""
import lzma
import os
import random
import struct
import sys
import zlib


def main():
    inflate_dir, xz_dir = sys.argv[1:3]
    os.makedirs(inflate_dir, exist_ok=True)
    os.makedirs(xz_dir, exist_ok=True)
    rng = random.Random(5)
    words = [b"frame", b"unit", b"line", b"\n", b" ", b"0x1f"]
    data = [b"", b"a" * 600, bytes(rng.getrandbits(8) for _ in range(700)),
            b"".join(rng.choice(words) for _ in range(800)), b"abc" * 300]
    n = 0
    for raw in data:
        for level in (0, 1, 6, 9):
            for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FIXED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE):
                for wbits in (9, 15):
                    c = zlib.compressobj(level, zlib.DEFLATED, wbits, 8, strategy)
                    stream = c.compress(raw) + c.flush()
                    with open(os.path.join(inflate_dir, "seed%d" % n), "wb") as f:
                        f.write(struct.pack("<I", len(raw)) + stream)
                    n += 1
        for check in (lzma.CHECK_NONE, lzma.CHECK_CRC32, lzma.CHECK_CRC64, lzma.CHECK_SHA256):
            for lc, lp, pb in ((3, 0, 2), (0, 2, 0), (1, 3, 4)):
                filters = [{"id": lzma.FILTER_LZMA2, "preset": 6, "lc": lc, "lp": lp, "pb": pb}]
                with open(os.path.join(xz_dir, "seed%d" % n), "wb") as f:
                    f.write(lzma.compress(raw, check=check, filters=filters))
                n += 1


if __name__ == "__main__":
    main()
