#!/usr/bin/env python3
"""Random #if expressions evaluated by ppdump and by clang's preprocessor.

ppdump prints each value; clang answers, for each expression E, one #if per
bit of its 64-bit value, ((E) >> i) & 1, and one for its signedness,
(E) * 0 - 1 < 0. Shifts and division by zero are not generated (clang's
results for them are its own), so every expression has one meaning. Wide character constants are not
generated either: the target's wchar_t is unsigned, clang's host one signed.

usage: expr-differential.py PPDUMP [COUNT] [SEED]
Exits 77 (skipped) when clang is not installed.
"""
import random
import shutil
import subprocess
import sys
import tempfile

BINARY = ["+", "-", "*", "<", ">", "<=", ">=", "==", "!=", "&", "^", "|", "&&", "||"]
UNARY = ["-", "+", "~", "!"]
SUFFIXES = ["", "", "", "u", "U", "l", "L", "ul", "LL", "ull"]


def number(rng):
    value = rng.choice([0, 1, 2, 7, 10, 255, 256, 65535, 2**31 - 1, 2**31, 2**32,
                        2**63 - 1, 2**63, 2**64 - 1, rng.randrange(2**16),
                        rng.randrange(2**64)])
    form = rng.randrange(4)
    if form == 0 and value < 2**63:
        text = str(value)
    elif form == 1:
        text = hex(value)
    elif form == 2 and value:
        text = "0" + oct(value)[2:]
    elif form == 3 and value < 2**40:
        text = str(value)
    else:
        text = hex(value)
    return text + rng.choice(SUFFIXES)


def operand(rng):
    kind = rng.randrange(10)
    if kind == 0:
        return rng.choice(["'a'", "'\\377'", "'\\0'", "'\\n'", "'ab'"])
    if kind == 1:
        return rng.choice(["defined X", "defined(Y)", "Z"])
    return number(rng)


def expression(rng, depth):
    if depth <= 0 or rng.random() < 0.25:
        return operand(rng)
    kind = rng.randrange(12)
    if kind == 0:
        return rng.choice(UNARY) + " " + expression(rng, depth - 1)
    if kind == 1:
        return "(%s ? %s : %s)" % (expression(rng, depth - 1), expression(rng, depth - 1),
                                   expression(rng, depth - 1))
    if kind == 3:
        # Conditionals chained without parentheses, in either branch.
        a, b, c, d, e = (expression(rng, depth - 1) for _ in range(5))
        if rng.random() < 0.5:
            return "(%s ? %s : %s ? %s : %s)" % (a, b, c, d, e)
        return "(%s ? %s ? %s : %s : %s)" % (a, b, c, d, e)
    if kind == 2:
        op = rng.choice(["/", "%"])
        divisor = str(rng.choice([1, 2, 3, 7, 16, 1000, 2**32 + 1])) + rng.choice(SUFFIXES)
        return "(%s %s %s)" % (expression(rng, depth - 1), op, divisor)
    return "(%s %s %s)" % (expression(rng, depth - 1), rng.choice(BINARY),
                           expression(rng, depth - 1))


def clang_values(clang, expressions, workdir):
    lines = ["#define X"]
    for e in expressions:
        for i in range(64):
            lines += ["#if ((%s) >> %d) & 1" % (e, i), "1", "#else", "0", "#endif"]
        lines += ["#if (%s) * 0 - 1 < 0" % e, "s", "#else", "u", "#endif"]
    path = workdir + "/clang.c"
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    out = subprocess.run([clang, "-E", "-P", "-x", "c", "-std=c11", "-w", path],
                         capture_output=True, text=True, check=True).stdout.split()
    values = []
    for k in range(len(expressions)):
        bits = out[k * 65:k * 65 + 64]
        value = sum(1 << i for i, b in enumerate(bits) if b == "1")
        values.append((value, out[k * 65 + 64] == "u"))
    return values


def ppdump_values(ppdump, expressions, workdir):
    path = workdir + "/ours.c"
    with open(path, "w") as f:
        f.write("#define X\n" + "".join("#if %s\n" % e for e in expressions))
    out = subprocess.run([ppdump, "-std=c11", "-DX", "--if-values", path],
                         capture_output=True, text=True).stdout.splitlines()
    values = []
    for line in out:
        text = line.split(": ", 1)[1]
        unsigned = text.endswith("u")
        number = int(text.rstrip("u"))
        values.append((number % 2**64, unsigned))
    return values


def main():
    ppdump = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261210
    clang = shutil.which("clang")
    if clang is None:
        print("clang is not installed: the #if differential test is skipped")
        return 77
    rng = random.Random(seed)
    expressions = [expression(rng, rng.randrange(1, 6)) for _ in range(count)]
    with tempfile.TemporaryDirectory() as workdir:
        theirs = clang_values(clang, expressions, workdir)
        ours = ppdump_values(ppdump, expressions, workdir)
    failures = 0
    for e, t, o in zip(expressions, theirs, ours):
        if t != o:
            failures += 1
            print("#if %s\n  clang %d%s, ppdump %d%s" % (e, t[0], "u" if t[1] else "",
                                                      o[0], "u" if o[1] else ""))
    if len(ours) != len(expressions):
        print("ppdump gave %d values for %d expressions" % (len(ours), len(expressions)))
        failures += 1
    print("%d expressions, %d differences" % (count, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
