#!/usr/bin/env python3
"""Where tokens of macro expansions lead, against clang's "expanded from
macro" notes.

Each case defines macros and uses them so that every identifier named zz...
reaches the compiler undeclared. clang reports each at its place in the file
and then notes, macro by macro inwards, where the token stands in each
definition it was spelled in. ppdump --locations prints the same chain for
each token from its virtual location. The chains (line:column positions)
must agree, token by token, in order.

  location-chains-compare.py --ppdump PPDUMP [--clang clang]

Exit status 0 when all agree, 1 otherwise, 77 when clang is not installed.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Definitions, then a use; each use becomes the value of a function.
CASES = [
    ("nested object-like macros",
     "#define A1 zza\n#define B1 A1\n", "B1"),
    ("an argument used twice",
     "#define TW(x) (x + x)\n", "TW(zzb)"),
    ("an argument spelled in another macro's definition",
     "#define TW(x) (x + x)\n#define C3 TW(zzc)\n", "C3"),
    ("nested function-like macros with arguments of their own",
     "#define IN(a) (a + zzd)\n#define OUT(b) IN(b + zze)\n", "OUT(zzf)"),
    ("__VA_OPT__ and __VA_ARGS__",
     "#define VO(x, ...) (x __VA_OPT__(+ zzg) + __VA_ARGS__)\n", "VO(zzh, zzi)"),
    ("an invocation over several lines",
     "#define TW(x) (x + x)\n", "TW(\n    zzk\n    )"),
    ("a function-like macro named by an object-like one",
     "#define TW(x) (x + x)\n#define FN TW\n", "FN(zzl)"),
    ("an argument that is itself a macro",
     "#define TW(x) (x + x)\n#define OBJ zzm\n", "TW(OBJ)"),
    ("a variadic argument with several tokens",
     "#define VA(...) (0 + __VA_ARGS__)\n", "VA(zzn + zzo)"),
    ("three levels, the innermost object-like",
     "#define L3 zzp\n#define L2(x) (x + L3)\n#define L1(y) L2(y)\n", "L1(zzq)"),
    ("an argument passed on through two macros",
     "#define P2(x) (x)\n#define P1(x) P2(x + zzr)\n", "P1(P1(zzs))"),
]


def source():
    lines = []
    for number, (_, definitions, use) in enumerate(CASES):
        lines.append(definitions)
        lines.append("int f%d(void) { return %s; }\n" % (number, use))
    return "".join(lines)


def clang_chains(clang, path):
    out = subprocess.run([clang, "-fsyntax-only", "-ferror-limit=0", "-fno-color-diagnostics",
                          "-fno-caret-diagnostics", "-x", "c", path],
                         capture_output=True, text=True)
    chains = []
    place = re.compile(r"^.*?:(\d+):(\d+): (error|note): (.*)$")
    for line in out.stderr.splitlines():
        m = place.match(line)
        if not m:
            continue
        where = "%s:%s" % (m.group(1), m.group(2))
        if m.group(3) == "error":
            name = re.search(r"undeclared identifier '(zz\w*)'", m.group(4))
            chains.append([name.group(1) if name else "?", where])
        elif chains and m.group(4).startswith("expanded from macro"):
            chains[-1].append(where)
    return [c for c in chains if c[0] != "?"]


def ppdump_chains(ppdump, path):
    out = subprocess.run([ppdump, "--locations", "-std=c17", path],
                         capture_output=True, text=True)
    chains = []
    for line in out.stdout.splitlines():
        fields = line.split("\t")
        if fields[0] == "NAME" and fields[1].startswith("zz"):
            chains.append([fields[1]] + fields[3:])
    return chains


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ppdump", required=True)
    parser.add_argument("--clang", default="clang")
    args = parser.parse_args()
    clang = shutil.which(args.clang)
    if clang is None:
        print("clang is not installed: skipped")
        return 77
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "chains.c")
        with open(path, "w") as f:
            f.write(source())
        theirs = clang_chains(clang, path)
        ours = ppdump_chains(args.ppdump, path)
    failed = 0
    if len(theirs) != len(ours):
        print("clang reports %d tokens, ppdump shows %d" % (len(theirs), len(ours)))
        failed = 1
    for a, b in zip(theirs, ours):
        if a != b:
            print("clang %s\nours  %s" % (" ".join(a), " ".join(b)))
            failed = 1
    print("%d tokens compared, %s" % (len(theirs), "all agree" if not failed else "differences"))
    return failed


if __name__ == "__main__":
    sys.exit(main())
