#!/usr/bin/env python3
"""One full internal-error report (the report, its backtrace symbolised from
the program's own DWARF, the exit) beside llvm-symbolizer resolving the same
addresses in the same program: median wall time over repeated runs, peak
memory, and the ratios.

Usage: bench/libmerrow-report.py BUILD_DIR [RUNS]   (BUILD_DIR from the bench preset)"""
import os
import re
import statistics
import subprocess
import sys
import time


def peak_memory(argv, stdin_text=None):
    """Peak resident memory in KiB through the time utility."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, input=stdin_text,
                            capture_output=True, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def median_time(argv, runs, stdin_text=None):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, input=stdin_text, capture_output=True, text=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    program = os.path.join(build, "bench", "libmerrow_report")
    run = subprocess.run([program], capture_output=True, text=True)
    assert run.returncode == 4, run
    bias = int(run.stdout.split()[0], 16)
    pcs = [int(pc, 16) for pc in re.findall(r"^0x([0-9a-f]+) ", run.stderr, re.M)]
    assert pcs, run.stderr
    addresses = "".join("%#x\n" % (pc - bias) for pc in pcs)
    symbolizer = ["llvm-symbolizer", "--obj=" + program, "--inlining", "--no-demangle"]

    report_time = median_time([program], runs)
    report_memory = peak_memory([program])
    oracle_time = median_time(symbolizer, runs, addresses)
    oracle_memory = peak_memory(symbolizer, addresses)
    print("frames printed: %d" % len(pcs))
    print("internal-error report: %.2f ms, %d KiB peak" % (report_time * 1e3, report_memory))
    print("llvm-symbolizer, same addresses: %.2f ms, %d KiB peak" %
          (oracle_time * 1e3, oracle_memory))
    print("ratio (report / llvm-symbolizer): time %.2f, memory %.2f" %
          (report_time / oracle_time, report_memory / oracle_memory))


if __name__ == "__main__":
    main()
