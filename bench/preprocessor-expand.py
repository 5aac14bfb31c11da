#!/usr/bin/env python3
"""Preprocessing whole header units beside clang -E: one unit that includes
every C library header, one that includes every libc++ header.

Each unit includes the headers of its kind that clang itself preprocesses
without error (C17, C++20). Both programs get clang's predefined macros
through -undef -imacros, the same -isystem directories and the same fixed
values for clang's compiler queries (tests/ppdump/expanded-compare.py), and
write the text without linemarkers to /dev/null. Printed for each unit:
whole-process CPU time and peak memory over RUNS alternating runs, and the
instructions both execute under callgrind. Every ratio is ours over clang's
(lower is better), with its spread over the runs.

A third case is macro-heavy: a generated file of MACRO_LINES lines, each
invoking nested function-like macros (with "#", "##" and variadic
arguments), preprocessed by both at their default expansion tracking.

  preprocessor-expand.py BUILD_DIR [--clang clang] [--runs N] [--no-callgrind]
BUILD_DIR is an optimised build that has ppdump: the bench preset's, or any
build with the tests on.
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import preprocessor_measure as measure  # noqa: E402


MACRO_LINES = 200000

MACRO_DEFINITIONS = """#define ADD(a, b) ((a) + (b))
#define MUL(a, b) ((a) * (b))
#define CAT(a, b) a ## b
#define STR(x) #x
#define F1(x) ADD(x, 1)
#define F2(x) MUL(F1(x), F1(x))
#define F3(x, y) ADD(F2(x), F2(y))
#define F4(...) F3(__VA_ARGS__)
#define F5(x, y) F4(F1(x), CAT(y, _v)) + F2(ADD(x, y))
"""


def write_macro_heavy(path, lines):
    with open(path, "w") as f:
        f.write(MACRO_DEFINITIONS)
        for n in range(lines):
            f.write("int CAT(v, %d) = F4(%d, w%d) + STR(F1(%d));\n" % (n, n, n % 97, n))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--clang", default="clang")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-callgrind", action="store_true")
    options = parser.parse_args()
    clang = measure.find_clang(options.clang)
    if clang is None:
        return 1
    ppdump = measure.ppdump_path(options.build)
    rows = []
    counts = []
    with tempfile.TemporaryDirectory() as directory:
        for language, title in (("c", "C library unit"), ("c++", "libc++ unit")):
            _, headers, ours, theirs = measure.header_unit(ppdump, clang, language, directory)
            name = "%s (%d)" % (title, headers)
            rows.append((name, None, measure.compare_runs(ours, theirs, options.runs)))
            if not options.no_callgrind:
                counts.append((name, measure.instructions(ours), measure.instructions(theirs)))
        unit = os.path.join(directory, "macros.c")
        write_macro_heavy(unit, MACRO_LINES)
        rows.append(("macro-heavy (%d lines)" % MACRO_LINES, None,
                     measure.compare_runs([ppdump, "-P", "-std=c2x", unit],
                                          [clang, "-E", "-P", "-std=c2x", unit], options.runs)))
    print("Header units and the macro-heavy file, %d runs each; CPU in seconds, peak memory in MB" % options.runs)
    measure.print_time_table(rows)
    if counts and counts[0][1] is not None:
        print()
        print("%-22s %15s %15s %s" % ("instructions", "ours", "clang", "ours/clang"))
        for name, a, b in counts:
            print("%-22s %15d %15d %.2f" % (name, a, b, a / b))
    return 0


if __name__ == "__main__":
    sys.exit(main())
