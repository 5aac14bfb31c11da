#!/usr/bin/env python3
"""Whole-process start-up of the drivers beside a minimal C++ program built the
same way (the floor), and beside clang's driver where it is installed. Each
case runs in turn with its yardstick, A B A B ..., and the ratio is the median
of the pairs' ratios, so that drift of the machine's speed during the run
does not move it. Peak memory and minor page faults are those of one run.
Outputs go to /dev/null, except in the case that reads them through a pipe
as a build tool does.

Usage: bench/startup.py BUILD_DIR [RUNS]   (BUILD_DIR from the bench preset)"""
import glob
import os
import random
import re
import shutil
import statistics
import sys
import tempfile
import time

# Options that users mistype; each unknown word is one of them with one
# seeded edit.
COMMON_OPTIONS = [
    "-Wall", "-Wextra", "-Wunused-variable", "-Wshadow", "-Wconversion", "-Werror",
    "-Wmissing-prototypes", "-Wformat-security", "-funroll-loops", "-fno-strict-aliasing",
    "-fomit-frame-pointer", "-fstack-protector-strong", "-fdiagnostics-color=always",
    "-fno-exceptions", "-ffunction-sections", "-fdata-sections", "-mthumb-interwork",
    "-march=armv7-a", "-mfloat-abi=hard", "-nostdlib", "-nostartfiles", "-static",
    "-pedantic", "-std=c11", "-fvisibility=hidden", "-fno-common", "-rdynamic",
    "-fsanitize=address", "-fprofile-arcs", "-ftest-coverage",
]


def typos(count, seed=25):
    """COUNT distinct unknown options: a common option with one edit."""
    rng = random.Random(seed)
    letters = "abcdefghijklmnopqrstuvwxyz"
    out = set()
    while len(out) < count:
        word = list(rng.choice(COMMON_OPTIONS))
        at = rng.randrange(2, len(word))
        edit = rng.randrange(3)
        if edit == 0:
            del word[at]
        elif edit == 1:
            word.insert(at, rng.choice(letters))
        else:
            word[at] = rng.choice(letters)
        text = "".join(word)
        if text not in COMMON_OPTIONS:
            out.add(text)
    return sorted(out)


def peak_memory(argv, cwd):
    """Peak resident memory in KiB and minor page faults through the time
    utility: a process started from this interpreter would count the
    interpreter's own pages."""
    report = os.path.join(cwd, ".peak")
    # Run where the timed runs run, so that outputs land in the work tree.
    here = os.getcwd()
    os.chdir(cwd)
    try:
        pid = os.posix_spawn("/usr/bin/time",
                             ["/usr/bin/time", "-o", report, "-f", "%M %R"] + argv,
                             {"PATH": "", "TMPDIR": cwd},
                             file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                           (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
        os.waitpid(pid, 0)
    finally:
        os.chdir(here)
    with open(report) as f:
        peak, faults = f.read().split()[-2:]
    return int(peak), int(faults)


def one_run(argv, null, piped):
    """Wall time of one run; with PIPED its outputs are read through a pipe to
    their end, as a build tool reads them."""
    start = time.perf_counter()
    if piped:
        read_end, write_end = os.pipe()
        outputs = [(os.POSIX_SPAWN_DUP2, write_end, 1), (os.POSIX_SPAWN_DUP2, write_end, 2)]
    else:
        outputs = [(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)]
    pid = os.posix_spawn(argv[0], argv, {"PATH": "", "TMPDIR": os.getcwd()},
                         file_actions=outputs)
    if piped:
        os.close(write_end)
        while os.read(read_end, 65536):
            pass
        os.close(read_end)
    os.waitpid(pid, 0)
    return time.perf_counter() - start


def side_by_side(argv, yardstick, runs, cwd, piped=False):
    """Median wall times of ARGV and of YARDSTICK run in turn, and the median
    of their ratios pair by pair."""
    null = os.open(os.devnull, os.O_WRONLY)
    here = os.getcwd()
    os.chdir(cwd)
    try:
        one_run(argv, null, piped)
        one_run(yardstick, null, piped)
        a, b, ratios = [], [], []
        for _ in range(runs):
            a.append(one_run(argv, null, piped))
            b.append(one_run(yardstick, null, piped))
            ratios.append(a[-1] / b[-1])
    finally:
        os.chdir(here)
        os.close(null)
    return statistics.median(a), statistics.median(b), statistics.median(ratios)


def llvm_tool(name):
    """The path of LLVM's tool NAME (llvm-nm, llvm-readelf): on PATH, else
    the newest installed under a versioned name, /usr/bin/NAME-N or
    /usr/lib/llvm-N/bin/NAME. The scripts read symbols and headers with
    LLVM's tools only."""
    found = shutil.which(name)
    if found:
        return found
    versioned = glob.glob("/usr/bin/%s-[0-9]*" % name) + glob.glob("/usr/lib/llvm-*/bin/" + name)
    versioned = [path for path in versioned if os.access(path, os.X_OK)]
    if not versioned:
        sys.exit("%s is not installed; tools/install-deps.sh installs it" % name)
    return max(versioned, key=lambda path: int(re.findall(r"\d+", path)[-1]))


def install_tree(build, work):
    """An installation whose children are the recorder, for a real "-c" run,
    and with the linker plug-in a link needs: from the build tree the link
    stops at once for the want of it."""
    tree = os.path.join(work, "tree")
    libexec = os.path.join(tree, "libexec/vuz/armv6-kaveabi-freebsd15.1/12.4.0")
    os.makedirs(os.path.join(tree, "bin"))
    os.makedirs(libexec)
    for program in ("vuz", "vuz++"):
        shutil.copy2(os.path.join(build, "driver", program), os.path.join(tree, "bin", program))
    for child in ("tolm", "tolmex", "as", "vresk"):
        shutil.copy2(os.path.join(build, "bench", "bench_recorder"), os.path.join(libexec, child))
    open(os.path.join(libexec, "libzinvet.so"), "w").close()
    return os.path.join(tree, "bin")


def arguments_and_work_tree():
    """The build directory and run count of the command line, and a new work
    tree holding the sample inputs x.c and x.cc."""
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    work = tempfile.mkdtemp(prefix="vuz-bench-")
    for name in ("x.c", "x.cc"):
        with open(os.path.join(work, name), "w") as f:
            f.write("int x;\n")
    return build, runs, work


def main():
    build, runs, work = arguments_and_work_tree()
    vuz = os.path.join(build, "driver", "vuz")
    floor = [os.path.join(build, "bench", "startup_floor")]
    installed = install_tree(build, work)
    inputs = []
    for i in range(2000):
        name = "in%d.c" % i
        inputs.append(name)
        with open(os.path.join(work, name), "w") as f:
            f.write("int x;\n")
    defines = ["-DNAME%d=%d" % (i, i) for i in range(10000)]
    unknown = typos(1000)
    few = max(3, runs // 40)

    print("%-34s %10s %10s %7s %10s %7s" % ("case (beside the floor)", "median ms", "floor ms",
                                            "ratio", "peak KiB", "faults"))
    cases = [
        ("floor", floor, runs),
        ("vuz -dumpversion", [vuz, "-dumpversion"], runs),
        ("vuz -### -c x.c", [vuz, "-###", "-c", "x.c"], runs),
        ("vuz -### -c x.c (through a pipe)", [vuz, "-###", "-c", "x.c"], runs),
        ("vuz++ -### x.cc -o x (installed)",
         [os.path.join(installed, "vuz++"), "-###", "x.cc", "-o", "x"], runs),
        ("vuz -c x.c (recorder)", [os.path.join(installed, "vuz"), "-c", "x.c"], runs),
        ("vuz -### 10k -D", [vuz, "-###", "-c", "x.c"] + defines, few),
        ("vuz -### 2000 inputs", [vuz, "-###", "-c"] + inputs, few),
    ]
    for name, argv, count in cases:
        wall, floor_wall, ratio = side_by_side(argv, floor, count, work, "pipe" in name)
        print("%-34s %10.3f %10.3f %7.2f %10d %7d" % ((name, wall * 1e3, floor_wall * 1e3, ratio)
                                                      + peak_memory(argv, work)))

    clang = shutil.which("clang")
    if not clang:
        print("clang not found: no comparison with its driver")
        return
    # clang's driver is a black box here: its wall time beside ours.
    print()
    print("%-34s %10s %10s %7s" % ("case (vuz beside clang)", "vuz ms", "clang ms", "ratio"))
    pairs = [
        ("-### -c x.c", ["-###", "-c", "x.c"], runs),
        ("-### -c x.c, 1k unknown options", ["-###", "-c", "x.c"] + unknown, few * 4),
    ]
    per_option = {}
    for name, args, count in pairs:
        ours, theirs, ratio = side_by_side([vuz] + args, [clang] + args, count, work)
        per_option[name] = (ours, theirs)
        print("%-34s %10.3f %10.3f %7.2f" % (name, ours * 1e3, theirs * 1e3, ratio))
    base, typo = per_option["-### -c x.c"], per_option["-### -c x.c, 1k unknown options"]
    ours = (typo[0] - base[0]) / len(unknown)
    theirs = (typo[1] - base[1]) / len(unknown)
    print("%-34s %10.4f %10.4f %7.2f" % ("per unknown option", ours * 1e3, theirs * 1e3,
                                         ours / theirs if theirs > 0 else float("nan")))


if __name__ == "__main__":
    main()
