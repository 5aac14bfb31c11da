#!/usr/bin/env python3
"""How much of a dry run's time its system calls alone take. Each case is
traced once with strace; `startup_calls`, built like the floor, then makes
the same calls after the C library's start-up (which the floor makes too) and
nothing else: the same probes, temporary files, signal set-up and echo
writes. Its time beside the floor is the least the case can cost while it
does what the driver's rules ask of it; the driver's time beside it is what
its own work adds.

Usage: bench/startup-calls.py BUILD_DIR [RUNS]   (BUILD_DIR from the bench preset; needs strace)"""
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("startup", os.path.join(HERE, "startup.py"))
startup = importlib.util.module_from_spec(spec)
spec.loader.exec_module(startup)

CALL = re.compile(r"(\w+)\((.*)\)\s+= (-?\w+)")
SIGNALS = {"SIGHUP": 1, "SIGINT": 2, "SIGQUIT": 3, "SIGPIPE": 13, "SIGTERM": 15, "SIGCHLD": 17}
MODES = {"F_OK": 0, "X_OK": 1, "W_OK": 2, "R_OK": 4}


def trace(argv, cwd):
    """The calls of one run, from after the C library's start-up (its
    mprotect of the relocated data) to the end."""
    with tempfile.NamedTemporaryFile("r", suffix=".trace") as out:
        subprocess.run([shutil.which("strace"), "-o", out.name, "-s", "0"] + argv,
                       cwd=cwd, env={"PATH": "", "TMPDIR": cwd},
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        lines = out.read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("mprotect("))
    return [m.groups() for m in map(CALL.match, lines[start + 1:]) if m]


def quoted(text):
    return text.strip().strip('"')


def replay_words(calls):
    """The replay program's arguments for the traced CALLS."""
    words, temps = [], {}
    for name, args, result in calls:
        fields = [f.strip() for f in re.split(r",\s*(?![^{]*\})", args)]
        if name == "access":
            mode = sum(MODES[m] for m in fields[1].split("|"))
            words.append("access:%d:%s" % (mode, quoted(fields[0])))
        elif name == "newfstatat":
            path = quoted(fields[1])
            words.append("stat-temp:%d" % temps[path] if path in temps else "stat:" + path)
        elif name == "readlink":
            words.append("readlink:" + quoted(fields[0]))
        elif name == "getcwd":
            words.append("getcwd")
        elif name == "ioctl":
            words.append("isatty:" + fields[0])
        elif name == "write":
            words.append("write:%s:%s" % (fields[0], result))
        elif name == "rt_sigaction":
            action = fields[1]
            how = ("query" if action == "NULL" else "ign" if "SIG_IGN" in action
                   else "dfl" if "SIG_DFL" in action else "catch")
            words.append("sigaction:%d:%s" % (SIGNALS[fields[0]], how))
        elif name == "prlimit64":
            if fields[2] == "NULL":
                words.append("getrlimit")
            else:
                limit = int(re.search(r"rlim_cur=(\d+)\*1024", fields[2]).group(1)) * 1024
                words.append("setrlimit:%d" % limit)
        elif name == "openat" and "O_CREAT|O_EXCL" in fields[2]:
            path = quoted(fields[1])
            temps[path] = len(temps)
            stem, suffix = os.path.splitext(path)
            words.append("create:%sXXXXXX%s" % (stem[:-6], suffix))
        elif name == "unlink" and quoted(fields[0]) in temps:
            words.append("unlink-temp:%d" % temps[quoted(fields[0])])
        elif name in ("close", "exit_group"):
            continue
        else:
            sys.exit("startup-calls: no replay for the call %s(%s)" % (name, args))
    return words


def main():
    if not shutil.which("strace"):
        sys.exit("startup-calls: needs strace")
    build, runs, work = startup.arguments_and_work_tree()
    installed = startup.install_tree(build, work)
    floor = [os.path.join(build, "bench", "startup_floor")]
    replay = os.path.join(build, "bench", "startup_calls")
    cases = [
        ("vuz -dumpversion", [os.path.join(installed, "vuz"), "-dumpversion"]),
        ("vuz -### -c x.c", [os.path.join(installed, "vuz"), "-###", "-c", "x.c"]),
        ("vuz++ -### x.cc -o x", [os.path.join(installed, "vuz++"), "-###", "x.cc", "-o", "x"]),
    ]
    print("%-24s %6s %13s %14s %13s" % ("case (installed)", "calls", "calls / floor",
                                          "driver / calls", "driver / floor"))
    for name, argv in cases:
        words = replay_words(trace(argv, work))
        calls = [replay] + words
        ran = replay_words(trace(calls, work))
        if [w.split(":")[0] for w in ran] != [w.split(":")[0] for w in words]:
            sys.exit("startup-calls: the replay of %s made other calls" % name)
        _, _, alone = startup.side_by_side(calls, floor, runs, work)
        _, _, own = startup.side_by_side(argv, calls, runs, work)
        _, _, whole = startup.side_by_side(argv, floor, runs, work)
        print("%-24s %6d %13.2f %14.2f %13.2f" % (name, len(words), alone, own, whole))
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
