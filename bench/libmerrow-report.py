#!/usr/bin/env python3
"""One full internal-error report (the report, its backtrace of twenty frames
at distinct addresses symbolised from the program's own DWARF, the exit)
beside the floor (the same program stopping where the report begins) and
beside llvm-symbolizer resolving the same addresses in the same program.
Runs are interleaved after a warm-up, so that a slow spell of the machine
touches all three alike; medians of wall and CPU time, peak memory and the
ratios are printed.

Usage: bench/libmerrow-report.py BUILD_DIR [RUNS]   (BUILD_DIR from the bench preset)"""
import os
import re
import resource
import statistics
import subprocess
import sys
import time


def peak_memory(argv, stdin_text=None):
    """Peak resident memory in KiB through the time utility."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, input=stdin_text,
                            capture_output=True, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def timed(argv, stdin_text):
    """Wall time and CPU time (user and system) of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, input=stdin_text, capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    program = os.path.join(build, "bench", "libmerrow_report")
    run = subprocess.run([program], capture_output=True, text=True)
    assert run.returncode == 4, run
    bias = int(run.stdout.split()[0], 16)
    pcs = [int(pc, 16) for pc in re.findall(r"^0x([0-9a-f]+) ", run.stderr, re.M)]
    assert pcs, run.stderr
    # Inlined frames share their machine frame's address; each is asked once.
    distinct = list(dict.fromkeys(pcs))
    addresses = "".join("%#x\n" % (pc - bias) for pc in distinct)
    commands = {
        "report": ([program], None),
        "floor": ([program, "--floor"], None),
        "llvm-symbolizer": (["llvm-symbolizer", "--obj=" + program, "--inlining", "--no-demangle"],
                            addresses),
    }
    for argv, stdin_text in commands.values():
        for _ in range(3):
            timed(argv, stdin_text)
    times = {name: [] for name in commands}
    names = list(commands)
    for i in range(runs):
        # A different order each round.
        for name in names[i % 3:] + names[:i % 3]:
            times[name].append(timed(*commands[name]))
    median = {name: statistics.median(w for w, _ in t) * 1e3 for name, t in times.items()}
    cpu = {name: statistics.median(c for _, c in t) * 1e3 for name, t in times.items()}
    memory = {name: peak_memory(*commands[name]) for name in commands}
    own = median["report"] - median["floor"]
    print("frames printed: %d, distinct addresses: %d" % (len(pcs), len(distinct)))
    for name in names:
        print("%-16s %8.2f ms wall %8.2f ms cpu %8d KiB peak" % (name, median[name], cpu[name], memory[name]))
    print("report / floor: %.2f wall, %.2f cpu (the report's own cost: %.2f ms)" %
          (median["report"] / median["floor"], cpu["report"] / cpu["floor"], own))
    print("report / llvm-symbolizer: time %.2f, memory %.2f" %
          (median["report"] / median["llvm-symbolizer"], memory["report"] / memory["llvm-symbolizer"]))
    print("report's own cost / llvm-symbolizer: %.2f" % (own / median["llvm-symbolizer"]))


if __name__ == "__main__":
    main()
