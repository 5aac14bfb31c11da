#!/usr/bin/env python3
"""Preprocessing one unit that includes every libc++ header once, beside
clang -E on the same file with the same include paths and predefined macros.

The unit includes each top-level libc++ header that clang itself
preprocesses without error in C++20. Both programs get clang's predefined
macros through -undef -imacros, the same -isystem directories and the same
fixed values for clang's compiler queries (tests/ppdump/expanded-compare.py),
and write the text to /dev/null. Each is run RUNS times; the best time
counts.

A second case is macro-heavy: a generated file of MACRO_LINES lines, each
invoking nested function-like macros (with "#", "##" and variadic
arguments), preprocessed by both at their default expansion tracking; its
best time and each program's peak resident memory are printed.

  preprocessor-expand.py BENCH_BUILD_DIR [--clang clang] [--runs N]
"""
import argparse
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import time

LIBCXX = "/usr/lib/llvm-14/include/c++/v1"

spec = importlib.util.spec_from_file_location(
    "expanded", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                             "ppdump", "expanded-compare.py"))
expanded = importlib.util.module_from_spec(spec)
spec.loader.exec_module(expanded)


def headers(clang, args, directory):
    names = sorted(n for n in os.listdir(LIBCXX)
                   if "." not in n and os.path.isfile(os.path.join(LIBCXX, n)))
    usable = []
    for name in names:
        probe = os.path.join(directory, "probe.cc")
        with open(probe, "w") as f:
            f.write("#include <%s>\n" % name)
        out = subprocess.run([clang, "-E", "-x", "c++", "-std=gnu++20"] + args + [probe],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if out.returncode == 0:
            usable.append(name)
    return usable


def best_of(command, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        out = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if out.returncode != 0:
            sys.stderr.write(out.stderr.decode(errors="replace")[:2000])
            raise SystemExit("%s failed" % command[0])
        best = elapsed if best is None else min(best, elapsed)
    return best


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


def best_of_with_memory(command, runs):
    """Best wall time and peak resident memory (bytes) of COMMAND."""
    best = None
    peak = 0
    for _ in range(runs):
        start = time.perf_counter()
        with open(os.devnull, "w") as sink:
            child = subprocess.Popen(command, stdout=sink, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
        if status != 0:
            raise SystemExit("%s failed" % command[0])
        best = elapsed if best is None else min(best, elapsed)
        peak = max(peak, usage.ru_maxrss * 1024)
    return best, peak


def macro_heavy(ppdump, clang, directory, runs):
    unit = os.path.join(directory, "macros.c")
    write_macro_heavy(unit, MACRO_LINES)
    ours, our_peak = best_of_with_memory([ppdump, "-P", "-std=c2x", unit], runs)
    theirs, their_peak = best_of_with_memory([clang, "-E", "-P", "-std=c2x", unit], runs)
    print("%d lines of nested function-like macros, best of %d runs" % (MACRO_LINES, runs))
    print("ppdump  %.3f s  %.0f MB" % (ours, our_peak / 1e6))
    print("clang -E %.3f s  %.0f MB" % (theirs, their_peak / 1e6))
    print("ratio ppdump / clang -E: %.2f time, %.2f memory" % (ours / theirs,
                                                                our_peak / their_peak))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--clang", default="clang")
    parser.add_argument("--runs", type=int, default=5)
    options = parser.parse_args()
    clang = shutil.which(options.clang)
    if clang is None:
        print("clang is not installed")
        return 1
    ppdump = os.path.join(options.build, "ppdump", "ppdump")
    with tempfile.TemporaryDirectory() as directory:
        predef = os.path.join(directory, "predef.h")
        with open(predef, "w") as f:
            f.write(subprocess.run([clang, "-dM", "-E", "-x", "c++", "-std=gnu++20", "/dev/null"],
                                   capture_output=True, text=True).stdout)
        args = expanded.common_args(clang, "c++", predef)
        names = headers(clang, args, directory)
        unit = os.path.join(directory, "all.cc")
        with open(unit, "w") as f:
            f.writelines("#include <%s>\n" % n for n in names)
        ours = best_of([ppdump, "-x", "c++", "-std=kav++20", "-P"] + args + [unit], options.runs)
        theirs = best_of([clang, "-E", "-P", "-x", "c++", "-std=gnu++20",
                          "-Wno-builtin-macro-redefined"] + args + [unit], options.runs)
        print("%d libc++ headers in one unit, best of %d runs" % (len(names), options.runs))
        print("ppdump  %.3f s" % ours)
        print("clang -E %.3f s" % theirs)
        print("ratio ppdump / clang -E: %.2f" % (ours / theirs))
        macro_heavy(ppdump, clang, directory, options.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
