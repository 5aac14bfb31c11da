#!/usr/bin/env python3
"""Tokeniser throughput beside clang: the header corpus, and plain C of 5, 10
and 20 MB.

1. The in-process benchmark (preprocessor_lex_bench) over the corpus of
   tests/ppdump/raw-token-compare.py.
2. The same files, one process per file each: ppdump --raw-tokens beside
   clang -fsyntax-only -Xclang -dump-raw-tokens (whose times include its
   driver's start), best of RUNS rounds.
3. Plain C without directives, where start-up does not count: the C library
   header unit of preprocessor-expand.py preprocessed once by ppdump, repeated
   to each size; ppdump -P beside clang -E -P, whole-process CPU time and
   peak memory over RUNS alternating runs. A cost that grows faster than the
   input shows as a ratio that climbs with the size.
Every ratio is ours over clang's (lower is better), with its spread.

  preprocessor-lex.py BUILD_DIR [--clang clang] [--runs N] [--sizes 5,10,20]
BUILD_DIR is the bench preset's build (it has the in-process benchmark and
ppdump).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import preprocessor_measure as measure  # noqa: E402

compare = measure.load_script("raw-token-compare")


def timed(commands):
    start = time.perf_counter()
    for command in commands:
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def in_process(build, files):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as listing:
        for path, language in files:
            listing.write("%s\t%s\n" % (path, language))
    env = dict(os.environ, PP_BENCH_FILES=listing.name)
    bench = os.path.join(build, "bench", "preprocessor_lex_bench")
    out = subprocess.run([bench, "--benchmark_format=console"], env=env,
                         capture_output=True, text=True)
    os.unlink(listing.name)
    print(out.stdout.strip())


def per_file(ppdump, clang, files, runs):
    ours = [[ppdump, "--raw-tokens"] + (["-x", "c++", "-std=kav++17"] if lang == "c++"
                                        else ["-std=kav17"]) + [p] for p, lang in files]
    theirs = [[clang, "-fsyntax-only", "-Xclang", "-dump-raw-tokens", "-x"] +
              (["c++", "-std=gnu++17"] if lang == "c++" else ["c", "-std=gnu17"]) + [p]
              for p, lang in files]
    pairs = [(timed(ours), timed(theirs)) for _ in range(runs)]
    print("%d files, one process each, wall seconds of %d rounds: ppdump --raw-tokens %.2f, "
          "clang's raw-token dump %.2f, ours/clang %s" % (
              len(files), runs, min(p[0] for p in pairs), min(p[1] for p in pairs),
              measure.spread([a / b for a, b in pairs])))


def plain_c(ppdump, clang, sizes, runs):
    with tempfile.TemporaryDirectory() as directory:
        _, _, preprocess, _ = measure.header_unit(ppdump, clang, "c", directory)
        text = subprocess.run(preprocess, capture_output=True, check=True).stdout
        inputs = measure.plain_c_inputs(text, sizes, directory)
        rows = []
        for mb in sizes:
            ours = [ppdump, "-std=kav17", "-P", inputs[mb]]
            theirs = [clang, "-E", "-P", "-x", "c", "-std=gnu17", inputs[mb]]
            rows.append(("plain C %d MB" % mb, mb, measure.compare_runs(ours, theirs, runs)))
    print("Plain C, %d runs each; CPU in seconds, peak memory in MB" % runs)
    measure.print_time_table(rows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--clang", default="clang")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="5,10,20")
    args = parser.parse_args()
    clang = measure.find_clang(args.clang)
    if clang is None:
        return 1
    ppdump = measure.ppdump_path(args.build)
    files = list(compare.all_files(clang))
    in_process(args.build, files)
    per_file(ppdump, clang, files, max(1, args.runs // 2))
    plain_c(ppdump, clang, [int(s) for s in args.sizes.split(",")], args.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
