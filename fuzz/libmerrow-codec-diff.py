#!/usr/bin/env python3
"""Runs a fuzz corpus through the decode tool (tests/libmerrow) and through
python3's zlib or lzma, and prints every input on which they disagree.

usage: libmerrow-codec-diff.py DECODE_TOOL inflate|xz CORPUS_DIR
"""
import lzma
import os
import struct
import subprocess
import sys
import zlib

# Streams python reads and the decoder refuses by design.
def designed_refusal(data):
    return data[7:8] not in (b"\0", b"\1", b"\4", b"\x0a") or data.count(b"\xfd7zXZ\0") > 1


def oracle(kind, data):
    if kind == "inflate":
        size = struct.unpack("<I", data[:4])[0] & ((1 << 20) - 1)
        try:
            d = zlib.decompressobj()
            out = d.decompress(data[4:])
            while d.eof and d.unused_data and len(out) < size:
                rest = d.unused_data
                d = zlib.decompressobj()
                out += d.decompress(rest)
            return out if d.eof and len(out) == size else None
        except zlib.error:
            return None
    try:
        return lzma.decompress(data, format=lzma.FORMAT_XZ)
    except lzma.LZMAError:
        return None


def main():
    tool, kind, corpus = sys.argv[1:4]
    names = sorted(os.listdir(corpus))
    inputs = [open(os.path.join(corpus, n), "rb").read() for n in names]
    if kind == "inflate":
        inputs = [d for d in inputs if len(d) >= 4]
        blob = b"".join(b"z" + struct.pack("<QQ", struct.unpack("<I", d[:4])[0] & ((1 << 20) - 1),
                                           len(d) - 4) + d[4:] for d in inputs)
    else:
        blob = b"".join(b"x" + struct.pack("<QQ", 0, len(d)) + d for d in inputs)
    out = subprocess.run([tool], input=blob, capture_output=True, check=True).stdout
    pos, agree, differ, accepted = 0, 0, 0, 0
    for name, data in zip(names, inputs):
        ok, n = out[pos], struct.unpack("<Q", out[pos + 1:pos + 9])[0]
        got = out[pos + 9:pos + 9 + n] if ok else None
        pos += 9 + n
        want = oracle(kind, data)
        if want is not None and got is None and kind == "xz" and designed_refusal(data):
            want = None
        if got == want:
            agree += 1
            accepted += got is not None
        else:
            differ += 1
            print("%s: decoder %s, python %s" % (name, "refuses" if got is None else "%d bytes" % len(got),
                                                 "refuses" if want is None else "%d bytes" % len(want)))
    print("%d inputs agree (%d decoded), %d differ" % (agree, accepted, differ))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
