#!/usr/bin/env python3
"""Builds the frame-walking program in many debug-information shapes and checks
every frame the library reports against llvm-symbolizer (with debug
information) or llvm-nm (without). PIE_LIBRARY is the library built as
position-independent code, for the shapes that are position-independent
programs; LIBRARY goes into the fixed-address ones.

The shapes whose debug files live under /usr/lib/debug run in a mount
namespace of their own (unshare), over an empty private /usr/lib/debug, so
that nothing is written to the system's; where that is not allowed they are
skipped.

With --only, only the shapes whose names the regular expression finds are
built, so that the matrix can run as several tests.

usage: symbolize-matrix.py [--only=REGEX] LIBRARY PIE_LIBRARY SOURCE_DIR WORK_DIR [LINK_FLAGS...]
"""
import hashlib
import lzma
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

ARGS = sys.argv[1:]
ONLY = re.compile(ARGS.pop(0)[len("--only="):] if ARGS and ARGS[0].startswith("--only=") else "")
LIBRARY, PIE_LIBRARY, SOURCE_DIR, WORK_DIR = ARGS[0:4]
LINK_FLAGS = [f for f in ARGS[4:] if f]
FIXTURES = os.path.join(SOURCE_DIR, "tests", "libmerrow", "fixtures")

# name: compile flags, then the shape given to the program after linking:
# none, "strip" (all debug sections gone: frames named by the symbol table),
# compressed debug sections of either style, a separate debug file found by
# debug link or build-id, or the mini debug information of a stripped program.
VARIANTS = [
    ("dwarf2-O0", ["-gdwarf-2", "-O0"]),
    ("dwarf3-O0", ["-gdwarf-3", "-O0"]),
    ("dwarf4-O0", ["-gdwarf-4", "-O0"]),
    ("dwarf5-O0", ["-gdwarf-5", "-O0"]),
    ("dwarf4-O2", ["-gdwarf-4", "-O2"]),
    ("dwarf5-O2", ["-gdwarf-5", "-O2"]),
    ("dwarf5-O2-dwarf64", ["-gdwarf-5", "-gdwarf64", "-O2"]),
    ("dwarf4-O2-dwarf64", ["-gdwarf-4", "-gdwarf64", "-O2"]),
    ("dwarf4-O2-function-sections", ["-gdwarf-4", "-O2", "-ffunction-sections"]),
    ("dwarf5-O2-function-sections", ["-gdwarf-5", "-O2", "-ffunction-sections"]),
    ("dwarf4-O0-type-units", ["-gdwarf-4", "-O0", "-fdebug-types-section"]),
    ("dwarf5-O2-type-units", ["-gdwarf-5", "-O2", "-fdebug-types-section"]),
    ("dwarf4-O2-fixed-address", ["-gdwarf-4", "-O2", "-fno-pie", "-no-pie"]),
    ("dwarf5-O0-fixed-address", ["-gdwarf-5", "-O0", "-fno-pie", "-no-pie"]),
    ("nodebug-O2", ["-g0", "-O2"], "strip"),
    ("nodebug-O0-fixed-address", ["-g0", "-O0", "-fno-pie", "-no-pie"], "strip"),
    ("compressed-sections", ["-gdwarf-4", "-O0", "-gz=zlib"]),
    ("compressed-elf-header", ["-gdwarf-5", "-O2"], "zlib"),
    ("compressed-zdebug", ["-gdwarf-4", "-O2"], "zlib-gnu"),
    ("debuglink-beside", ["-gdwarf-5", "-O2"], "link beside"),
    ("debuglink-debug-dir", ["-gdwarf-4", "-O0"], "link .debug"),
    ("debuglink-global", ["-gdwarf-5", "-O0"], "link global"),
    ("debuglink-bad-crc", ["-gdwarf-4", "-O2"], "link bad crc"),
    ("build-id", ["-gdwarf-5", "-O2"], "build-id"),
    ("mini-debuginfo", ["-g0", "-O0"], "mini"),
]

# Shapes whose frames carry names from symbol tables only.
SYMBOL_SHAPES = {"strip", "link bad crc", "mini"}
# Shapes that need to write under /usr/lib/debug.
ROOT_SHAPES = {"link global", "build-id"}
SYSTEM_DEBUG_DIR = "/usr/lib/debug"
# Set in the environment of the run inside the private namespace.
PRIVATE_ROOT = "VUZ_MATRIX_PRIVATE_ROOT"


def run(args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


def build(name, flags, shape):
    exe = os.path.join(WORK_DIR, "frames-" + name)
    # Relative source names give the line tables relative directories, which
    # must be joined to the compilation directory.
    sources = [os.path.join("tests", "libmerrow", "fixtures", f)
               for f in ("frames.cc", "frames-other.cc")]
    library = LIBRARY if "-no-pie" in flags else PIE_LIBRARY
    run(["clang++", *flags, "-fno-exceptions", "-I", ".", "-I", FIXTURES, *sources,
         os.path.abspath(library), *LINK_FLAGS, "-o", os.path.abspath(exe)], cwd=SOURCE_DIR)
    original = exe + ".original"
    shutil.copy(exe, original)
    made = []
    if shape == "strip":
        run(["llvm-objcopy", "--strip-debug", exe])
    elif shape in ("zlib", "zlib-gnu"):
        run(["llvm-objcopy", "--compress-debug-sections=" + shape, exe])
    elif shape and (shape.startswith("link") or shape == "build-id"):
        made = split_debug(exe, shape)
    elif shape == "mini":
        add_mini_debuginfo(exe)
    return exe, original, made


def add_section(exe, name, data):
    blob = exe + name
    with open(blob, "wb") as f:
        f.write(data)
    run(["llvm-objcopy", "--add-section", name + "=" + blob, exe])


def made_dirs(path):
    """Makes PATH's directory; returns the topmost directory it created."""
    top, d = None, os.path.dirname(path)
    while not os.path.isdir(d):
        top, d = d, os.path.dirname(d)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return top


def split_debug(exe, shape):
    """Moves the DWARF data to a separate file where the shape says; returns
    what was made outside the work directory, to remove afterwards."""
    debug = exe + ".debug"
    run(["llvm-objcopy", "--only-keep-debug", exe, debug])
    run(["llvm-objcopy", "--strip-debug", exe])
    with open(debug, "rb") as f:
        contents = f.read()
    made = []
    if shape == "build-id":
        build_id = hashlib.sha1(exe.encode() + contents).digest()
        add_section(exe, ".note.kav.build-id", struct.pack("<III", 4, len(build_id), 3) + b"KAV\0" + build_id)
        place = "%s/.build-id/%s/%s.debug" % (SYSTEM_DEBUG_DIR, build_id[:1].hex(), build_id[1:].hex())
    else:
        name = os.path.basename(debug).encode() + b"\0"
        link = name + bytes(-len(name) % 4) + struct.pack("<I", zlib.crc32(contents))
        add_section(exe, ".kav_debuglink", link)
        where = {"link beside": WORK_DIR, "link bad crc": WORK_DIR,
                 "link .debug": os.path.join(WORK_DIR, ".debug"),
                 "link global": SYSTEM_DEBUG_DIR + os.path.abspath(WORK_DIR)}[shape]
        place = os.path.join(where, os.path.basename(debug))
        if shape == "link bad crc":
            contents = contents[:-1] + bytes([contents[-1] ^ 1])
    if place != debug:
        top = made_dirs(place)
        made = [top] if top else [place]
        os.remove(debug)
    with open(place, "wb") as f:
        f.write(contents)
    return made


def add_mini_debuginfo(exe):
    """Strips the program and gives it its symbol table back as the xz stream
    of a reduced ELF file."""
    mini = exe + ".mini"
    run(["llvm-objcopy", "--only-keep-debug", "--strip-debug", exe, mini])
    with open(mini, "rb") as f:
        stream = lzma.compress(f.read(), check=lzma.CHECK_CRC32)
    run(["llvm-objcopy", "--strip-all", exe])
    add_section(exe, ".kav_debugdata", stream)


def walk(exe):
    """The load bias and every frame reported, in walk order."""
    bias, frames, errors = 0, [], []
    for line in run([exe]).splitlines():
        fields = line.split("\t")
        if fields[0] == "bias":
            bias = int(fields[1], 16)
        elif fields[0] == "frame":
            frames.append((int(fields[1], 16), (fields[2], fields[3], int(fields[4]))))
        elif fields[0] == "error":
            errors.append(line)
    return bias, frames, errors


def symbolizer_frames(exe, addresses):
    text = run(["llvm-symbolizer", "--obj=" + exe, "--inlining", "--no-demangle"],
               input="".join("%#x\n" % a for a in addresses))
    result = []
    for block in text.strip("\n").split("\n\n"):
        lines = block.split("\n")
        chain = []
        for function, location in zip(lines[0::2], lines[1::2]):
            file, line = location.rsplit(":", 2)[:2]
            chain.append((function, file, int(line)))
        result.append(chain)
    return result


def nm_symbols(exe):
    symbols = []
    for line in run(["llvm-nm", "--print-size", "--defined-only", exe]).splitlines():
        fields = line.split()
        if len(fields) == 4 and fields[2] in "tTwWdDbBrR":
            symbols.append((int(fields[0], 16), int(fields[1], 16), fields[3]))
    return symbols


def remove(paths):
    for p in paths:
        if os.path.isdir(p):
            shutil.rmtree(p)
        elif os.path.exists(p):
            os.remove(p)


def private_debug_dir():
    """Whether this run has a private /usr/lib/debug, mounting it when this
    is the run inside the namespace; says why not otherwise."""
    if os.environ.get(PRIVATE_ROOT) != "1":
        return "no mount namespace of its own (unshare --mount --map-root-user failed)"
    mounted = subprocess.run(["mount", "-t", "tmpfs", "vuz-matrix", SYSTEM_DEBUG_DIR],
                             capture_output=True, text=True)
    if mounted.returncode != 0:
        return "mounting a private %s failed: %s" % (SYSTEM_DEBUG_DIR, mounted.stderr.strip())
    return None


def rerun_in_namespace():
    """Runs this script again in a mount namespace of its own when that is
    allowed, and returns its exit status; None when it is not allowed."""
    if os.environ.get(PRIVATE_ROOT) is not None:
        return None
    unshare = ["unshare", "--mount", "--map-root-user", "--propagation", "private"]
    try:
        allowed = subprocess.run(unshare + ["true"], capture_output=True).returncode == 0
    except OSError:
        allowed = False
    os.environ[PRIVATE_ROOT] = "1" if allowed else "0"
    if not allowed:
        return None
    return subprocess.run(unshare + [sys.executable, *sys.argv]).returncode


def check(name, flags, shape=None, no_private_root=None):
    if shape in ROOT_SHAPES and no_private_root:
        print("%s: skipped: %s" % (name, no_private_root))
        return []
    exe, original, made = build(name, flags, shape)
    try:
        return compare(name, exe, original, shape)
    finally:
        remove(made)


def compare(name, exe, original, shape):
    bias, frames, errors = walk(exe)
    problems = ["%s: %s" % (name, e) for e in errors]
    if not frames or frames[-1][1][0] != "main":
        return problems + ["%s: the walk did not reach main: %r" % (name, frames)]
    # Per distinct pc, the oracle's chain of frames (inlined calls first).
    pcs = sorted({pc for pc, _ in frames})
    if shape in SYMBOL_SHAPES:
        symbols = nm_symbols(original)
        chains = []
        for pc in pcs:
            names = [s for a, size, s in symbols if a <= pc - bias < a + size]
            chains.append([(names[0] if names else "??", "??", 0)])
        oracle = "llvm-nm"
    else:
        chains = symbolizer_frames(original, [pc - bias for pc in pcs])
        oracle = "llvm-symbolizer"
    expected = dict(zip(pcs, chains))
    # Each machine frame takes as many reported frames as its chain is long.
    i = 0
    while i < len(frames):
        pc = frames[i][0]
        want = expected[pc]
        got = [f for _, f in frames[i:i + len(want)]]
        if got != want:
            problems.append("%s: %#x: got %r, %s says %r" % (name, pc - bias, got, oracle, want))
            break
        i += len(want)
    return problems


def section(exe, name):
    out = exe + name
    run(["llvm-objcopy", "--dump-section", name + "=" + out, exe, os.devnull])
    with open(out, "rb") as f:
        return bytearray(f.read())


def replace_section(exe, name, data, out_name):
    patched = os.path.join(WORK_DIR, out_name)
    blob = patched + name
    with open(blob, "wb") as f:
        f.write(data)
    run(["llvm-objcopy", "--update-section", name + "=" + blob, exe, patched])
    return patched


def zero_line_ranges(line):
    """Sets the line range of every 32-bit line-program header to 0."""
    at = 0
    while at + 4 <= len(line):
        length = int.from_bytes(line[at:at + 4], "little")
        version = int.from_bytes(line[at + 4:at + 6], "little")
        # Before the line range: length, version, (from 5) address and selector
        # sizes, header length, minimum instruction length, (from 4) maximum
        # operations, default is-statement, line base.
        line[at + {2: 13, 3: 13, 4: 14, 5: 16}[version]] = 0
        at += 4 + length
    return line


def check_malformed():
    """Real programs with damaged DWARF: the walk reports the damage through
    the error callback and goes on, never crashing."""
    problems = []
    if not ONLY.search("damaged-dwarf4"):
        return problems
    exe = build("damaged-dwarf4", ["-gdwarf-4", "-O0"], None)[0]
    cases = [
        ("line-range-0", ".debug_line", zero_line_ranges(section(exe, ".debug_line")),
         "invalid line number program header in .debug_line at "),
        ("short-info", ".debug_info", section(exe, ".debug_info")[:-7], "DWARF underflow in .debug_info"),
    ]
    for name, section_name, data, message in cases:
        patched = replace_section(exe, section_name, data, "frames-" + name)
        result = subprocess.run([patched], capture_output=True, text=True)
        if result.returncode != 0:
            problems.append("%s: exit %d: %s" % (name, result.returncode, result.stderr[-500:]))
            continue
        errors = [l for l in result.stdout.splitlines() if l.startswith("error\t")]
        if not any(e.split("\t")[1].startswith(message) for e in errors):
            problems.append("%s: no report %r in %r" % (name, message, errors))
        frames = [l.split("\t") for l in result.stdout.splitlines() if l.startswith("frame\t")]
        if name == "line-range-0" and any(f[3] != "??" and "fixtures" in f[3] for f in frames):
            problems.append("%s: a fixture frame still has a file: %r" % (name, frames))
    return problems


def main():
    status = rerun_in_namespace()
    if status is not None:
        return status
    no_private_root = private_debug_dir()
    os.makedirs(WORK_DIR, exist_ok=True)
    problems = check_malformed()
    for variant in VARIANTS:
        if ONLY.search(variant[0]):
            problems += check(*variant, no_private_root=no_private_root)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
