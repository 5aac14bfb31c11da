#!/usr/bin/env python3
"""Whole-process start-up of the drivers beside a minimal C++ program built the
same way: median wall time and peak memory over repeated runs.

Usage: bench/startup.py BUILD_DIR [RUNS]   (BUILD_DIR from the bench preset)"""
import os
import shutil
import statistics
import sys
import tempfile
import time


def peak_memory(argv, cwd):
    """Peak resident memory in KiB through the time utility: a process started
    from this interpreter would count the interpreter's own pages."""
    report = os.path.join(cwd, ".peak")
    pid = os.posix_spawn("/usr/bin/time", ["/usr/bin/time", "-o", report, "-f", "%M"] + argv,
                         {"PATH": "", "TMPDIR": cwd},
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    os.waitpid(pid, 0)
    with open(report) as f:
        return int(f.read().split()[-1])


def measure(argv, runs, cwd):
    """Median wall time over RUNS runs, and the peak memory of one."""
    times = []
    null = os.open(os.devnull, os.O_WRONLY)
    here = os.getcwd()
    os.chdir(cwd)
    try:
        for _ in range(runs):
            start = time.perf_counter()
            pid = os.posix_spawn(argv[0], argv, {"PATH": "", "TMPDIR": cwd},
                                 file_actions=[(os.POSIX_SPAWN_DUP2, null, 1),
                                               (os.POSIX_SPAWN_DUP2, null, 2)])
            os.waitpid(pid, 0)
            times.append(time.perf_counter() - start)
        peak = peak_memory(argv, cwd)
    finally:
        os.chdir(here)
        os.close(null)
    return statistics.median(times), peak


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    work = tempfile.mkdtemp(prefix="vuz-bench-")
    with open(os.path.join(work, "x.c"), "w") as f:
        f.write("int x;\n")
    vuz = os.path.join(build, "driver", "vuz")
    # An installation whose children are the recorder, for a real "-c" run.
    tree = os.path.join(work, "tree")
    libexec = os.path.join(tree, "libexec/vuz/armv6-kaveabi-freebsd15.1/12.4.0")
    os.makedirs(os.path.join(tree, "bin"))
    os.makedirs(libexec)
    shutil.copy2(vuz, os.path.join(tree, "bin", "vuz"))
    for child in ("tolm", "as"):
        shutil.copy2(os.path.join(build, "bench", "bench_recorder"), os.path.join(libexec, child))
    installed = os.path.join(tree, "bin", "vuz")
    inputs = []
    for i in range(2000):
        name = "in%d.c" % i
        inputs.append(name)
        with open(os.path.join(work, name), "w") as f:
            f.write("int x;\n")
    defines = ["-DNAME%d=%d" % (i, i) for i in range(10000)]
    cases = [
        ("floor", [os.path.join(build, "bench", "startup_floor")], runs),
        ("vuz -dumpversion", [vuz, "-dumpversion"], runs),
        ("vuz -### -c x.c", [vuz, "-###", "-c", "x.c"], runs),
        ("vuz -c x.c (recorder)", [installed, "-c", "x.c"], runs),
        ("-### 10k -D", [vuz, "-###", "-c", "x.c"] + defines, max(3, runs // 40)),
        ("-### 2000 inputs", [vuz, "-###", "-c"] + inputs, max(3, runs // 40)),
    ]
    floor = None
    for name, argv, count in cases:
        wall, rss = measure(argv, count, work)
        floor = floor or wall
        print("%-24s median %8.3f ms  ratio %5.2f  peak %6d KiB" % (name, wall * 1e3, wall / floor, rss))


if __name__ == "__main__":
    main()
