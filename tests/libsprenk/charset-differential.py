#!/usr/bin/env python3
"""Generates conversion cases with the outcome python's codecs give, for
charset-test.cc.

Inputs are built from pieces: valid characters of every UTF-8 length, and
faults (stray continuation bytes, overlong forms, encoded surrogates, bad lead
bytes, sequences cut off at the end, lone or unpaired surrogates, truncated
units). Values that python refuses but the converters accept by design (UTF-8
forms and UTF-32 values above U+10FFFF) are never generated.

Output, one case per line, fields separated by tabs:
  converter  input-hex  outcome  output-hex
converter is one of utf8-utf16le, utf8-utf16be, utf8-utf32le, utf8-utf32be,
utf16le-utf8, utf16be-utf8, utf32le-utf8, utf32be-utf8; outcome is ok, EILSEQ
or EINVAL; on a failure output-hex holds what was converted before the fault.
"""
import random
import sys

TARGETS = {"utf16le": "utf-16-le", "utf16be": "utf-16-be",
           "utf32le": "utf-32-le", "utf32be": "utf-32-be"}


def random_char(rng):
    kind = rng.randrange(5)
    if kind == 0:
        return chr(rng.randrange(0, 0x80))
    if kind == 1:
        return chr(rng.randrange(0x80, 0x800))
    if kind == 2:
        c = rng.randrange(0x800, 0x10000 - 0x800)
        return chr(c if c < 0xD800 else c + 0x800)
    if kind == 3:
        return chr(rng.randrange(0x10000, 0x110000))
    return rng.choice(["\U0001F600", "\uFFFF", "\U0010FFFF", "\u0800", "\x7f"])


UTF8_FAULTS = [b"\x80", b"\xbf", b"\xc0\x80", b"\xc1\xbf", b"\xe0\x80\x80",
               b"\xed\xa0\x80", b"\xed\xbf\xbf", b"\xf0\x80\x80\x80", b"\xfe",
               b"\xff", b"\xc3\x41", b"\xe2\x28\xa1"]
UTF8_CUT = [b"\xc3", b"\xe2\x82", b"\xf0\x9f\x98", b"\xe0"]


def utf8_input(rng):
    text = "".join(random_char(rng) for _ in range(rng.randrange(0, 12)))
    data = text.encode("utf-8")
    roll = rng.random()
    if roll < 0.3:
        at = rng.randrange(0, len(text) + 1)
        data = text[:at].encode("utf-8") + rng.choice(UTF8_FAULTS) + \
            text[at:].encode("utf-8")
    elif roll < 0.45:
        data += rng.choice(UTF8_CUT)
    return data


def units_input(rng, bits, order):
    text = "".join(random_char(rng) for _ in range(rng.randrange(0, 12)))
    data = text.encode("utf-%d-%s" % (bits, order))
    roll = rng.random()
    width = bits // 8
    if roll < 0.3:
        if bits == 16:
            fault = rng.choice([0xDC00, 0xDFFF, 0xD800])
            follow = [0x41] if fault == 0xD800 else []
        else:
            fault = rng.choice([0xD800, 0xDFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000])
            follow = []
        unit = b"".join(v.to_bytes(width, "little" if order == "le" else "big")
                        for v in [fault] + follow)
        at = rng.randrange(0, len(text) + 1)
        data = text[:at].encode("utf-%d-%s" % (bits, order)) + unit + \
            text[at:].encode("utf-%d-%s" % (bits, order))
    elif roll < 0.45:
        data += bytes(rng.randrange(256) for _ in range(rng.randrange(1, width)))
    elif bits == 16 and roll < 0.55:
        data += (0xD83D).to_bytes(2, "little" if order == "le" else "big")
    return data


def errno_of(error):
    reason = error.reason
    return "EINVAL" if ("end of data" in reason or "truncated" in reason) else "EILSEQ"


def decode_case(codec, data):
    """Outcome of decoding data; on failure the UTF-8 of the good prefix."""
    try:
        return "ok", data.decode(codec).encode("utf-8")
    except UnicodeDecodeError as error:
        good = data[:error.start].decode(codec).encode("utf-8")
        return errno_of(error), good


def main():
    seed, count = int(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(seed)
    for _ in range(count):
        name = rng.choice(sorted(TARGETS))
        codec = TARGETS[name]
        bits, order = int(name[3:5]), name[5:]
        if rng.random() < 0.5:
            data = utf8_input(rng)
            try:
                outcome, out = "ok", data.decode("utf-8").encode(codec)
            except UnicodeDecodeError as error:
                outcome = errno_of(error)
                out = data[:error.start].decode("utf-8").encode(codec)
            converter = "utf8-" + name
        else:
            data = units_input(rng, bits, order)
            outcome, out = decode_case(codec, data)
            converter = name + "-utf8"
        print("%s\t%s\t%s\t%s" % (converter, data.hex(), outcome, out.hex()))


if __name__ == "__main__":
    main()
