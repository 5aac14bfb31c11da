"""Measures ppdump beside clang for the preprocessor benchmarks: whole-process
CPU time and peak memory over alternating runs, instruction counts under
callgrind, and the inputs both are given.

Every ratio is ours over clang's, so lower is better; each comes with its
spread over the runs (median, then the lowest and highest run pair).
"""
import importlib.util
import os
import shutil
import statistics
import subprocess
import tempfile
import time


HERE = os.path.dirname(os.path.abspath(__file__))
LIBCXX = "/usr/lib/llvm-14/include/c++/v1"


def load_script(name):
    path = os.path.join(HERE, "..", "tests", "ppdump", name + ".py")
    spec = importlib.util.spec_from_file_location(name.replace("-", "_"), path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


EXPANDED = load_script("expanded-compare")


def find_clang(name):
    """clang's path, or None after saying that it is missing."""
    clang = shutil.which(name)
    if clang is None:
        print("clang is not installed")
    return clang


def ppdump_path(build):
    """ppdump in an optimised build: the bench preset, or any build with the
    tests on."""
    return os.path.join(build, "tests", "ppdump", "ppdump")


TIME = "/usr/bin/time"


def run_once(command):
    """(CPU seconds, wall seconds, peak resident MB) of one run, output
    thrown away; a failed run ends the benchmark. The command runs under
    /usr/bin/time where there is one: a child started straight from this
    script is charged this script's own memory until it replaces itself."""
    with tempfile.NamedTemporaryFile("r") as report:
        timed = [TIME, "-f", "%U %S %M", "-o", report.name] if os.path.exists(TIME) else []
        start = time.perf_counter()
        child = subprocess.Popen(timed + command, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE)
        errors = child.stderr.read()
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        if status != 0:
            raise SystemExit("%s failed:\n%s" % (" ".join(command[:3]),
                                                   errors.decode(errors="replace")[:2000]))
        if not timed:
            return usage.ru_utime + usage.ru_stime, wall, usage.ru_maxrss / 1024.0
        user, system, peak_kb = report.read().split()
        return float(user) + float(system), wall, int(peak_kb) / 1024.0


def spread(values):
    return "%.2f (%.2f-%.2f)" % (statistics.median(values), min(values), max(values))


def compare_runs(ours, theirs, runs):
    """Both commands in turn, one warm-up each, then RUNS pairs: medians of
    each side and the pair-by-pair ratios, so that a machine whose speed
    drifts still gives a fair ratio."""
    run_once(ours)
    run_once(theirs)
    a, b = [], []
    for _ in range(runs):
        a.append(run_once(ours))
        b.append(run_once(theirs))
    return {
        "ours_cpu": statistics.median(r[0] for r in a),
        "theirs_cpu": statistics.median(r[0] for r in b),
        "cpu_ratio": spread([x[0] / y[0] for x, y in zip(a, b)]),
        "ours_mb": statistics.median(r[2] for r in a),
        "theirs_mb": statistics.median(r[2] for r in b),
        "mb_ratio": spread([x[2] / y[2] for x, y in zip(a, b)]),
    }


def print_time_table(rows):
    """ROWS: (name, input MB or None, compare_runs result)."""
    width = max([len("case")] + [len(row[0]) for row in rows])
    print("%-*s %9s %9s %-20s %9s %9s %-18s" % (
        width, "case", "ours s", "clang s", "CPU ours/clang", "ours MB", "clang MB",
        "peak ours/clang"))
    for name, size, r in rows:
        print("%-*s %9.3f %9.3f %-20s %9.1f %9.1f %-18s" % (
            width, name, r["ours_cpu"], r["theirs_cpu"], r["cpu_ratio"], r["ours_mb"], r["theirs_mb"],
            r["mb_ratio"]))


def instructions(command):
    """Instructions the command and any child it starts execute, counted
    by callgrind; None without valgrind."""
    if shutil.which("valgrind") is None:
        return None
    with tempfile.TemporaryDirectory() as directory:
        out = os.path.join(directory, "cg.%p")
        subprocess.run(["valgrind", "--tool=callgrind", "--trace-children=yes",
                        "--callgrind-out-file=" + out] + command,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        total = 0
        for name in os.listdir(directory):
            with open(os.path.join(directory, name)) as f:
                for line in f:
                    if line.startswith("totals:") or line.startswith("summary:"):
                        total += int(line.split()[1])
                        break
        return total


def plain_c_inputs(unit_text, sizes_mb, directory):
    """Plain C without directives, of each size: UNIT_TEXT (a preprocessed
    unit) repeated and cut at a line end. Returns {MB: path}."""
    paths = {}
    for mb in sizes_mb:
        wanted = mb * 1024 * 1024
        text = unit_text * (wanted // len(unit_text) + 1)
        text = text[:text.rfind(b"\n", 0, wanted) + 1]
        path = os.path.join(directory, "plain-%d.c" % mb)
        with open(path, "wb") as f:
            f.write(text)
        paths[mb] = path
    return paths


# The two header units: (language, our -std, clang's -std).
UNITS = {
    "c": ("c", "-std=kav17", "-std=gnu17"),
    "c++": ("c++", "-std=kav++20", "-std=gnu++20"),
}


def unit_headers(language):
    """Names to include: the C library's top-level headers, or every
    top-level libc++ header."""
    if language == "c":
        return sorted(p[len("/usr/include/"):] for p in EXPANDED.RAW.c_library_headers()
                      if p.endswith(".h") and p.count("/") == 3)
    return sorted(n for n in os.listdir(LIBCXX)
                  if "." not in n and os.path.isfile(os.path.join(LIBCXX, n)))


def header_unit(ppdump, clang, language, directory):
    """One unit including each header of the language that clang itself
    preprocesses without error, with clang's predefined macros and include
    directories for both sides. Returns (unit path, header count, our
    command, clang's command), each command writing the text without
    linemarkers."""
    x, ours_std, theirs_std = UNITS[language]
    predef = os.path.join(directory, "predef-%s.h" % language)
    EXPANDED.write_predefined(clang, x, theirs_std, predef)
    args = EXPANDED.common_args(clang, language, predef)
    theirs = [clang, "-E", "-P", "-x", x, theirs_std, "-Wno-builtin-macro-redefined"] + args
    usable = []
    probe = os.path.join(directory, "probe")
    for name in unit_headers(language):
        with open(probe, "w") as f:
            f.write("#include <%s>\n" % name)
        if subprocess.run(theirs + [probe], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            usable.append(name)
    unit = os.path.join(directory, "unit-%s" % language)
    with open(unit, "w") as f:
        f.writelines("#include <%s>\n" % n for n in usable)
    ours = [ppdump, "-x", x, ours_std, "-P"] + args + [unit]
    return unit, len(usable), ours, theirs + [unit]
