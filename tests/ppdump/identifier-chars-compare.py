#!/usr/bin/env python3
"""Compares the code points ppdump lets into identifiers with clang's.

For each code point, the file gets two lines: "int a\\uXXXX;" (the character
inside an identifier) and "int \\uXXXX;" (at its start). ppdump -pedantic and
clang -fsyntax-only -pedantic read it in -std=c99, -std=c11 and -std=c++20;
a line with an error rejects the character there. For each standard the set
accepted inside and the set accepted only inside (rejected at the start)
must be the same for both.

The Unicode space characters clang treats as white space (it warns
"treating Unicode character as whitespace") are no identifier characters
for either; they are listed and left out of the comparison, and ppdump must
reject them. A full run finds these 19: U+00A0, U+1680, U+180E,
U+2000-U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.

clang's C++ set follows Unicode 14.0; ours follows 13.0, with the
characters 14.0 added (unicode-14-additions.txt) taken as unassigned. Those
characters are left out of the C++ comparison and counted.

Without -pedantic ppdump takes the union of the sets: a character is
allowed when some standard has it (the older C++ set, which clang does not
know, comes from ucn-identifier-sets.txt) and allowed at the start when some
standard that has it allows it there.

  identifier-chars-compare.py --ppdump PATH [--clang PATH] --sample  every 61st
      code point from U+00A0 to U+FFFF and every 4093rd above (a quick test)
  identifier-chars-compare.py --ppdump PATH [--clang PATH] --all     every code
      point from U+00A0 to U+FFFF and every 97th above (about nine minutes)
Exit status 0 when the sets agree, 1 otherwise, 77 when clang is not there.
"""
import argparse
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile

STANDARDS = ("c99", "c11", "c++20")
WHITESPACE_WARNING = "treating Unicode character as whitespace"
DIAGNOSTIC = re.compile(r"^[^:\n]*:(\d+):\d+: (error|warning): (.*)$", re.M)
LIBRARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "libsprenk")
SETS_FILE = os.path.join(LIBRARY, "ucn-identifier-sets.txt")
ADDITIONS_FILE = os.path.join(LIBRARY, "..", "locations", "unicode-14-additions.txt")

# The table generator's readers of the two data files.
spec = importlib.util.spec_from_file_location("table", os.path.join(LIBRARY, "gen-ucn-table.py"))
table = importlib.util.module_from_spec(spec)
spec.loader.exec_module(table)


def code_points(everything):
    low_step, high_step = (1, 97) if everything else (61, 4093)
    low = [c for c in range(0xA0, 0x10000, low_step)]
    high = [c for c in range(0x10000, 0x110000, high_step)]
    # The ends of the planes and of the ranges the sets draw, whatever the step.
    edges = [0xA0, 0xFFFD, 0xFFFF, 0x10000, 0x1FFFD, 0x20000, 0x2FFFD, 0x30000, 0x3134A,
             0x3134B, 0xE0100, 0xEFFFD, 0x10FFFF]
    return sorted(set(low + high + edges))


def ucn(c):
    return "\\u%04X" % c if c <= 0xFFFF else "\\U%08X" % c


def source_text(points):
    return "".join("int a%s;\nint %s;\n" % (ucn(c), ucn(c)) for c in points)


def line_reports(stderr):
    """{line: set of 'error' / 'whitespace'} from a compiler's messages."""
    reports = {}
    for line, kind, message in DIAGNOSTIC.findall(stderr):
        if kind == "error":
            reports.setdefault(int(line), set()).add("error")
        elif WHITESPACE_WARNING in message:
            reports.setdefault(int(line), set()).add("whitespace")
    return reports


def accepted_sets(points, reports):
    """(accepted inside, accepted only inside, treated as white space)."""
    inside, only_inside, spaces = set(), set(), set()
    for i, c in enumerate(points):
        inner, start = reports.get(2 * i + 1, set()), reports.get(2 * i + 2, set())
        if "whitespace" in inner | start:
            spaces.add(c)
            continue
        if "error" not in inner:
            inside.add(c)
            if "error" in start:
                only_inside.add(c)
    return inside, only_inside, spaces


# Code points a file: the message lines of one run grow with the file, and
# each report costs more the further down the file it is.
CHUNK = 2048


def run(command, directory, points):
    """The reports of a run over all the points, file by file."""
    reports = {}
    for start in range(0, len(points), CHUNK):
        path = os.path.join(directory, "identifiers-%d.c" % start)
        if not os.path.exists(path):
            with open(path, "w") as f:
                f.write(source_text(points[start:start + CHUNK]))
        done = subprocess.run(command + [path], capture_output=True, text=True, errors="replace")
        for line, kinds in line_reports(done.stderr).items():
            reports[line + 2 * start] = kinds
    return reports


def clang_command(clang, standard):
    language = "c++" if standard.startswith("c++") else "c"
    return [clang, "-x", language, "-std=" + standard, "-pedantic", "-fsyntax-only",
            "-ferror-limit=0", "-Wno-everything", "-Wunicode-whitespace"]


def ppdump_command(ppdump, standard, pedantic):
    command = [ppdump, "-std=" + standard] + (["-pedantic"] if pedantic else [])
    return command + (["-x", "c++"] if standard.startswith("c++") else [])


def shown(points):
    return " ".join("%04X" % c for c in sorted(points)[:20]) + (" ..." if len(points) > 20 else "")


def compare(label, ours, theirs, failures):
    for name, a, b in zip(("accepted", "accepted only inside"), ours, theirs):
        if a != b:
            failures.append("%s, %s: ppdump alone %s; clang alone %s"
                            % (label, name, shown(a - b), shown(b - a)))


def union_expectation(points, per_standard, older_cxx):
    inside = set().union(*(sets[0] for sets in per_standard.values()))
    at_start = set().union(*(sets[0] - sets[1] for sets in per_standard.values()))
    older = {c for c in points if c in older_cxx}
    return inside | older, (inside | older) - (at_start | older)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ppdump", required=True)
    parser.add_argument("--clang", default=shutil.which("clang"))
    scope = parser.add_mutually_exclusive_group(required=True)
    scope.add_argument("--sample", action="store_true")
    scope.add_argument("--all", action="store_true")
    args = parser.parse_args()
    if not args.clang or not os.path.exists(args.clang):
        print("clang not found; skipped")
        return 77
    points = code_points(args.all)
    failures, per_standard, spaces = [], {}, set()
    with tempfile.TemporaryDirectory() as directory:
        newer = table.read_additions(ADDITIONS_FILE) & set(points)
        for standard in STANDARDS:
            theirs = accepted_sets(points, run(clang_command(args.clang, standard), directory, points))
            ours = accepted_sets(points, run(ppdump_command(args.ppdump, standard, True), directory, points))
            spaces |= theirs[2]
            left_out = spaces | (newer if standard.startswith("c++") else set())
            per_standard[standard] = (theirs[0] - left_out, theirs[1] - left_out)
            compare("-std=" + standard, (ours[0] - left_out, ours[1] - left_out),
                    per_standard[standard], failures)
            if ours[0] & spaces:
                failures.append("-std=%s: ppdump accepts white space %s"
                                % (standard, shown(ours[0] & spaces)))
        union = union_expectation(points, per_standard, table.read_sets(SETS_FILE)["cxx98"])
        union = (union[0] - newer, union[1] - newer)
        for standard in STANDARDS:
            ours = accepted_sets(points, run(ppdump_command(args.ppdump, standard, False), directory, points))
            compare("-std=%s without -pedantic" % standard,
                    (ours[0] - spaces - newer, ours[1] - spaces - newer), union, failures)
    print("%d code points, %d of them added in Unicode 14.0; clang's white space (%d): %s"
          % (len(points), len(newer), len(spaces), shown(spaces)))
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
