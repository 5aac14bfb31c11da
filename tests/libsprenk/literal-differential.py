#!/usr/bin/env python3
"""Random string literals interpreted by ppdump and by clang, for each of the
five execution character sets (narrow, wide, UTF-8, UTF-16, UTF-32).

clang compiles an array initialised from each literal (clang -S -emit-llvm)
and its constant gives the code units; ppdump --literals gives the bytes,
big-endian in units of the character set's width. Escapes stay in the range
of their character set (clang rejects the rest, where ours masks with
a warning).

usage: literal-differential.py PPDUMP [COUNT] [SEED]
Exits 77 (skipped) when clang is not installed.
"""
import random
import re
import shutil
import subprocess
import sys
import tempfile

# prefix, element type in C, bytes per unit, largest escape value
CHARSETS = [("", "char", 1, 0xFF), ("L", "__WCHAR_TYPE__", 4, 0x7FFFFFFF),
            ("u8", "char", 1, 0xFF), ("u", "unsigned short", 2, 0xFFFF),
            ("U", "unsigned int", 4, 0x7FFFFFFF)]
SIMPLE = ["\\n", "\\t", "\\\\", "\\\"", "\\'", "\\?", "\\a", "\\b", "\\f", "\\r", "\\v"]
PLAIN = "abcXYZ019 _+-*/=<>()[]{};:,.!~#%&|^"
HEX = "0123456789abcdefABCDEF"


def piece(rng, largest, after_hex):
    kind = rng.randrange(7)
    if kind == 0:
        return rng.choice(SIMPLE), False
    if kind == 1:
        return "\\%03o" % rng.randrange(min(largest, 0o377) + 1), False
    if kind == 2:
        return "\\x%x" % rng.choice([0, 1, 0x7F, 0x80, largest, rng.randrange(largest + 1)]), True
    if kind == 3:
        c = rng.choice([0xA0, 0xE9, 0x3B1, 0x20AC, 0xFFFD, 0x1F600, 0x10FFFF, 0x24, 0x40])
        return ("\\u%04x" % c if c < 0x10000 else "\\U%08x" % c), False
    if kind == 4:
        return rng.choice(["é", "€", "😀", "ω"]), False
    c = rng.choice(PLAIN)
    while after_hex and c in HEX:
        c = rng.choice(PLAIN)
    return c, False


def literal(rng, largest):
    text, after_hex = "", False
    for _ in range(rng.randrange(0, 8)):
        p, after_hex = piece(rng, largest, after_hex)
        text += p
    return text


def units_of_ir(line, unit_bytes):
    body = line.split(" constant ", 1)[1]
    if "zeroinitializer" in body:
        count = int(re.search(r"\[(\d+) x", body).group(1))
        return [0] * count
    if unit_bytes == 1:
        text = re.search(r'c"(.*)"', body).group(1)
        units, i = [], 0
        while i < len(text):
            if text.startswith("\\\\", i):
                units.append(0x5C)
                i += 2
            elif text[i] == "\\":
                units.append(int(text[i + 1:i + 3], 16))
                i += 3
            else:
                units.append(ord(text[i]))
                i += 1
        return units
    return [int(v) % (1 << (8 * unit_bytes)) for v in re.findall(r"i\d+ (-?\d+)", body)]


def main():
    ppdump = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261210
    clang = shutil.which("clang")
    if clang is None:
        print("clang is not installed: the literal differential test is skipped")
        return 77
    rng = random.Random(seed)
    cases = []
    for _ in range(count):
        prefix, ctype, unit, largest = rng.choice(CHARSETS)
        cases.append((prefix, ctype, unit, prefix + '"' + literal(rng, largest) + '"'))
    with tempfile.TemporaryDirectory() as workdir:
        with open(workdir + "/clang.c", "w") as f:
            for i, (_, ctype, _, text) in enumerate(cases):
                f.write("const %s s%d[] = %s;\n" % (ctype, i, text))
        ir = subprocess.run([clang, "-S", "-emit-llvm", "-o", "-", "-x", "c", "-std=c11", "-w",
                             workdir + "/clang.c"], capture_output=True, text=True, check=True)
        theirs = {}
        for line in ir.stdout.splitlines():
            m = re.match(r"@s(\d+) = ", line)
            if m:
                k = int(m.group(1))
                theirs[k] = units_of_ir(line, cases[k][2])
        with open(workdir + "/ours.c", "w") as f:
            f.write("".join(text + "\n" for _, _, _, text in cases))
        out = subprocess.run([ppdump, "-std=c11", "--literals", workdir + "/ours.c"],
                             capture_output=True, text=True).stdout.splitlines()
    failures = 0
    for k, (prefix, _, unit, text) in enumerate(cases):
        data = bytes(int(b, 16) for b in out[k].split()[1:]) if k < len(out) else b""
        ours = [int.from_bytes(data[i:i + unit], "big") for i in range(0, len(data), unit)]
        if ours != theirs.get(k):
            failures += 1
            print("%s\n  clang  %s\n  ppdump %s" % (text, theirs.get(k), ours))
    print("%d literals, %d differences" % (count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
