#!/usr/bin/env python3
"""Preprocessing one unit that includes every libc++ header once, beside
clang -E on the same file with the same include paths and predefined macros.

The unit includes each top-level libc++ header that clang itself
preprocesses without error in C++20. Both programs get clang's predefined
macros through -undef -imacros, the same -isystem directories and the same
fixed values for clang's compiler queries (tests/ppdump/expanded-compare.py),
and write the text to /dev/null. Each is run RUNS times; the best time
counts.

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
    ppdump = os.path.join(options.build, "tests", "ppdump", "ppdump")
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
