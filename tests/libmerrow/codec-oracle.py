#!/usr/bin/env python3
"""Compares the library's zlib inflater and xz decoder, run through the decode
tool, with python3's zlib and lzma modules: every stream the modules make must
decode byte for byte, and the malformed ones must be refused.

usage: codec-oracle.py DECODE_TOOL
"""
import lzma
import random
import struct
import subprocess
import sys
import zlib


def samples():
    rng = random.Random(19)
    words = [b"frame", b"unit", b"line", b"inlined", b"symbol", b"section", b"\n", b" ", b"0x"]
    text = b"".join(rng.choice(words) for _ in range(40000))
    return {
        "empty": b"",
        "one byte": b"x",
        "text": text,
        "random": bytes(rng.getrandbits(8) for _ in range(70000)),
        "zeros": bytes(300000),
        "one byte repeated": b"a" * 5000,
        "short period": b"abc" * 20000,
        "mixed": text[:20000] + bytes(rng.getrandbits(8) for _ in range(20000)) + bytes(20000),
    }


def zlib_cases():
    """(name, stream, size, expected bytes or None for refused)."""
    cases = []
    data = samples()
    strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "filtered": zlib.Z_FILTERED,
                  "huffman only": zlib.Z_HUFFMAN_ONLY, "rle": zlib.Z_RLE, "fixed": zlib.Z_FIXED}
    for name, raw in data.items():
        for level in range(10):
            for sname, strategy in strategies.items():
                c = zlib.compressobj(level, zlib.DEFLATED, 15, 9, strategy)
                cases.append(("%s level %d %s" % (name, level, sname),
                              c.compress(raw) + c.flush(), len(raw), raw))
        for wbits in range(9, 16):
            c = zlib.compressobj(6, zlib.DEFLATED, wbits, 1 + wbits % 9)
            cases.append(("%s window %d" % (name, wbits), c.compress(raw) + c.flush(), len(raw), raw))
    text = data["text"]
    good = zlib.compress(text)
    # A stream flushed in pieces holds stored, fixed and dynamic blocks in turn.
    c = zlib.compressobj(6)
    pieces = c.compress(text[:3000]) + c.flush(zlib.Z_FULL_FLUSH)
    pieces += c.compress(text[3000:3010]) + c.flush(zlib.Z_SYNC_FLUSH)
    pieces += c.compress(data["random"][:5000]) + c.flush(zlib.Z_FULL_FLUSH)
    pieces += c.compress(text[3010:]) + c.flush()
    mixed = text[:3010] + data["random"][:5000] + text[3010:]
    cases.append(("flushed pieces", pieces, len(mixed), mixed))
    cases.append(("two streams", good + zlib.compress(b"tail"), len(text) + 4, text + b"tail"))
    cases.append(("trailing bytes", good + b"\0" * 9, len(text), text))
    cases.append(("size one short", good, len(text) - 1, None))
    cases.append(("size one long", good, len(text) + 1, None))
    cases.append(("truncated", good[:-5], len(text), None))
    cases.append(("checksum changed", good[:-1] + bytes([good[-1] ^ 1]), len(text), None))
    cases.append(("preset dictionary", zlib.compressobj(zdict=b"frame unit").compress(text[:100])
                  + b"", 100, None))
    window8 = bytes([0x88]) + bytes([(31 - (0x88 << 8) % 31) % 31]) + good[2:]
    cases.append(("window field 8", window8, len(text), None))
    cases.append(("header not a multiple of 31", bytes([good[0], good[1] ^ 1]) + good[2:], len(text), None))
    stored = zlib.compress(b"stored bytes", 0)
    # Stored block: header byte, then LEN and NLEN at 3-6.
    bad_nlen = stored[:5] + bytes([stored[5] ^ 1]) + stored[6:]
    cases.append(("stored NLEN not LEN's complement", bad_nlen, 12, None))
    cases.append(("block type 3", stored[:2] + bytes([0x07]) + stored[3:], 12, None))
    cases.append(("no end-of-block code", dynamic_without_end_of_block(), 10, None))
    return cases


class Bits:
    def __init__(self):
        self.value, self.count = 0, 0

    def put(self, v, n):
        self.value |= v << self.count
        self.count += n

    def huffman(self, code, n):
        """A Huffman code goes most significant bit first."""
        self.put(int(format(code, "0%db" % n)[::-1], 2), n)

    def bytes(self):
        return self.value.to_bytes((self.count + 7) // 8, "little")


def dynamic_without_end_of_block():
    """A zlib stream of one dynamic block in which code 256 has length 0."""
    b = Bits()
    b.put(1, 1)
    b.put(2, 2)
    b.put(0, 5)       # HLIT: 257 codes
    b.put(0, 5)       # HDIST: 1 code
    b.put(15, 4)      # HCLEN: all 19 code-length codes
    order = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]
    lengths = {0: 1, 8: 1}  # code-length symbols 0 and 8, one bit each: 0 -> "0", 8 -> "1"
    for sym in order:
        b.put(lengths.get(sym, 0), 3)
    for i in range(258):
        b.huffman(1 if i < 256 else 0, 1)  # literals length 8, code 256 and the distance 0
    return bytes([0x78, 0x9c]) + b.bytes() + bytes(8)


def xz_cases():
    cases = []
    data = samples()
    checks = {"none": lzma.CHECK_NONE, "crc32": lzma.CHECK_CRC32, "crc64": lzma.CHECK_CRC64,
              "sha256": lzma.CHECK_SHA256}
    for name, raw in data.items():
        for cname, check in checks.items():
            cases.append(("%s check %s" % (name, cname), lzma.compress(raw, check=check), raw))
        for preset in (0, 3, 6, 9 | lzma.PRESET_EXTREME):
            cases.append(("%s preset %d" % (name, preset), lzma.compress(raw, preset=preset), raw))
        for lc, lp, pb in ((0, 0, 0), (4, 0, 2), (0, 4, 4), (1, 3, 1), (3, 1, 0)):
            filters = [{"id": lzma.FILTER_LZMA2, "preset": 6, "lc": lc, "lp": lp, "pb": pb,
                        "dict_size": 4096}]
            cases.append(("%s lc %d lp %d pb %d" % (name, lc, lp, pb),
                          lzma.compress(raw, filters=filters), raw))
    text = data["text"]
    good = lzma.compress(text, check=lzma.CHECK_CRC32)
    cases.append(("two blocks", two_blocks(good), None))
    cases.append(("two streams", good + good, None))
    cases.append(("padding after the stream", good + bytes(4), None))
    cases.append(("check type 2", retype_check(good, 2), None))
    cases.append(("first chunk resets no dictionary", first_control(good, 0xC0), None))
    cases.append(("first chunk without properties", first_control(good, 0xA0), None))
    cases.append(("index size one larger", grow_index_size(good), None))
    cases.append(("truncated", good[:-13] + good[-12:], None))
    for at in range(24, len(good) - 12, max(1, (len(good) - 36) // 40)):
        flipped = bytearray(good)
        flipped[at] ^= 0x10
        cases.append(("byte %d flipped" % at, bytes(flipped), None))
    return cases


def crc(b):
    return struct.pack("<I", zlib.crc32(b))


def parse(stream):
    """Header, block bytes, index records and check type of one stream."""
    backward = struct.unpack("<I", stream[-8:-4])[0]
    index_start = len(stream) - 12 - 4 * (backward + 1)
    return stream[:12], stream[12:index_start], stream[index_start:len(stream) - 12], stream[7]


def varint(n):
    out = bytearray()
    while True:
        byte = n & 0x7f
        n >>= 7
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def rebuild(header, blocks, records, check):
    index = b"\0" + varint(len(records)) + b"".join(varint(u) + varint(s) for u, s in records)
    index += bytes(-len(index) % 4)
    index += crc(index)
    flags = bytes([0, check])
    backward = struct.pack("<I", len(index) // 4 - 1)
    return header + blocks + index + crc(backward + flags) + backward + flags + b"YZ"


def records_of(index):
    pos, records = 2, []
    for _ in range(index[1]):
        values = []
        for _ in range(2):
            n, shift = 0, 0
            while True:
                byte = index[pos]
                pos += 1
                n |= (byte & 0x7f) << shift
                shift += 7
                if not byte & 0x80:
                    break
            values.append(n)
        records.append(tuple(values))
    return records


def two_blocks(stream):
    header, block, index, check = parse(stream)
    return rebuild(header, block + block, records_of(index) * 2, check)


def retype_check(stream, check):
    header = stream[:7] + bytes([check])
    header += crc(header[6:8])
    _, block, index, _ = parse(stream)
    return rebuild(header, block, records_of(index), check)


def first_control(stream, control):
    header, block, index, check = parse(stream)
    size = 4 * (block[0] + 1)
    return rebuild(header, block[:size] + bytes([control]) + block[size + 1:], records_of(index), check)


def grow_index_size(stream):
    header, block, index, check = parse(stream)
    (unpadded, size), = records_of(index)
    return rebuild(header, block, [(unpadded, size + 1)], check)


def run_tool(tool, requests):
    blob = b"".join(kind + struct.pack("<QQ", size, len(data)) + data for kind, size, data in requests)
    out = subprocess.run([tool], input=blob, capture_output=True, check=True).stdout
    results, pos = [], 0
    for _ in requests:
        ok, n = out[pos], struct.unpack("<Q", out[pos + 1:pos + 9])[0]
        results.append(out[pos + 9:pos + 9 + n] if ok else None)
        pos += 9 + n
    return results


# Streams python reads and the decoder refuses by design: more than one block
# or stream, stream padding, and check types other than 0, 1, 4 and 10.
DESIGNED_REFUSALS = {"two blocks", "two streams", "padding after the stream", "check type 2"}


def python_xz(stream):
    try:
        return lzma.decompress(stream, format=lzma.FORMAT_XZ)
    except lzma.LZMAError:
        return None


def main():
    tool = sys.argv[1]
    problems = []
    zcases = zlib_cases()
    for (name, _, _, want), got in zip(zcases, run_tool(tool, [(b"z", s, d) for _, d, s, _ in zcases])):
        if got != want:
            problems.append("zlib %s: got %s, want %s" % (name, describe(got), describe(want)))
    xcases = xz_cases()
    for (name, stream, want), got in zip(xcases, run_tool(tool, [(b"x", 0, d) for _, d, _ in xcases])):
        oracle = python_xz(stream)
        # The decoder takes one stream of one block: where python reads more,
        # or reads nothing, the decoder must refuse.
        if want is None and oracle is not None and name in DESIGNED_REFUSALS:
            oracle = None
        if want is not None and oracle != want:
            problems.append("xz %s: python itself gives %s" % (name, describe(oracle)))
        if got != oracle:
            problems.append("xz %s: got %s, python gives %s" % (name, describe(got), describe(oracle)))
    print("%d zlib and %d xz cases" % (len(zcases), len(xcases)))
    for p in problems:
        print(p)
    return 1 if problems else 0


def describe(b):
    return "refusal" if b is None else "%d bytes" % len(b)


if __name__ == "__main__":
    sys.exit(main())
