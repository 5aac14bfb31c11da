#!/usr/bin/env python3
"""Tokens per second over the header corpus, beside clang's raw-token dump.

Runs the in-process benchmark (bench build's preprocessor_lex_bench) over the
corpus of tests/ppdump/raw-token-compare.py, then times, over the same files,
one process per file each: the optimised ppdump --raw-tokens and
clang -fsyntax-only -Xclang -dump-raw-tokens, both writing their tokens to
/dev/null. clang's times include its driver's start, which hands the frontend
flag on in the same process. On a busy machine the process times are noisy;
the in-process rate is the steady figure.

  preprocessor-lex.py BENCH_BUILD_DIR [--clang clang]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import importlib.util

spec = importlib.util.spec_from_file_location(
    "compare", os.path.join(os.path.dirname(__file__), "..", "tests", "ppdump",
                            "raw-token-compare.py"))
compare = importlib.util.module_from_spec(spec)
spec.loader.exec_module(compare)


def timed(commands):
    start = time.perf_counter()
    for command in commands:
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--clang", default="clang")
    args = parser.parse_args()
    clang = shutil.which(args.clang)
    if clang is None:
        print("clang is not installed")
        return 1
    files = list(compare.all_files(clang))
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as listing:
        for path, language in files:
            listing.write("%s\t%s\n" % (path, language))
    env = dict(os.environ, PP_BENCH_FILES=listing.name)
    bench = os.path.join(args.build, "bench", "preprocessor_lex_bench")
    out = subprocess.run([bench, "--benchmark_format=console"], env=env,
                         capture_output=True, text=True)
    print(out.stdout.strip())
    ppdump = os.path.join(args.build, "tests", "ppdump", "ppdump")
    ours = [[ppdump, "--raw-tokens"] + (["-x", "c++", "-std=kav++17"] if lang == "c++"
                                        else ["-std=kav17"]) + [p] for p, lang in files]
    theirs = [[clang, "-fsyntax-only", "-Xclang", "-dump-raw-tokens", "-x"] +
              (["c++", "-std=gnu++17"] if lang == "c++" else ["c", "-std=gnu17"]) + [p]
              for p, lang in files]
    t_ours = timed(ours)
    t_theirs = timed(theirs)
    print("%d files, one process each: ppdump --raw-tokens %.2f s, "
          "clang's raw-token dump %.2f s, ratio %.2f" % (len(files), t_ours, t_theirs,
                                                            t_theirs / t_ours))
    os.unlink(listing.name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
