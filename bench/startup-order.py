#!/usr/bin/env python3
"""Writes the start-up layout order of the programs: the functions and data
that typical runs touch, in the order the runs first touch them, the runs
taken from the shortest to the longest, objects larger than a page last and
zero-initialised data that is read before it is written first. The linker
places these together, so that a run faults in a few pages of its program
file instead of pages scattered over all of it, and what a short run touches
is a beginning of the order, which no longer run's needs push apart.

Every access of each run is traced with valgrind's lackey tool and mapped to
the symbol that holds it. Under valgrind the C library picks its string
functions for valgrind's processor; the choice made on this machine, read
with gdb from a native run, takes their place, and valgrind's follow at the
end.

Usage: bench/startup-order.py BUILD_DIR [OUT]   (BUILD_DIR from the bench
preset; OUT defaults to cmake/startup-order.txt)"""
import bisect
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup import install_tree, llvm_tool  # noqa: E402

PAGE = 4096
# The bounds of sections that the linker defines, which hold nothing.
LINKER_LABEL = re.compile(r"__(start|stop)_|__.*_(start|end)$")

HEADER = """\
# The functions and data that typical runs of the programs touch at start-up
# and in short runs, in the order the linker places them: by first use, the
# runs taken from the shortest to the longest, objects larger than a page
# last, zero-initialised data read before it is written first. Made by
# bench/startup-order.py from traced runs; names that a build no longer has
# are ignored.
"""


def runs(build, work):
    """(program, arguments) of the traced runs, the shortest first: the floor,
    so that the C library's start-up leads, then queries and dry runs, whose
    cost is mostly start-up, then runs that start children."""
    driver = os.path.join(build, "driver")
    installed = install_tree(build, work)
    vuz, vuzxx = os.path.join(installed, "vuz"), os.path.join(installed, "vuz++")
    return [
        (os.path.join(build, "bench", "startup_floor"), []),
        (vuz, ["-dumpversion"]),
        (vuz, ["-###", "-c", "x.c"]),
        (vuz, ["-###", "x.c", "-o", "x"]),
        (vuzxx, ["-###", "x.cc", "-o", "x"]),
        (os.path.join(driver, "vuzprep"), ["-###", "x.c"]),
        (vuz, ["-c", "x.c"]),
        (vuz, ["-v", "-c", "x.c"]),
        (vuz, ["-O2", "-Wall", "-g", "-DNAME=1", "-Iinclude", "-c", "x.c", "-o", "y.o"]),
        (vuz, ["x.o", "-o", "x"]),
        (vuzxx, ["-c", "x.cc"]),
    ]


class symbols:
    """The sized symbols of one program, for mapping addresses to names."""

    def __init__(self, program):
        out = subprocess.run([llvm_tool("llvm-nm"), "-S", "--defined-only", program],
                             check=True, capture_output=True, text=True).stdout
        rows, unsized = [], []
        for line in out.splitlines():
            parts = line.split()
            if len(parts) != 4:
                continue
            address, size, kind, name = int(parts[0], 16), int(parts[1], 16), parts[2], parts[3]
            if size > 0:
                rows.append((address, size, name))
            elif kind in "tTdDbBrR" and not LINKER_LABEL.match(name):
                unsized.append((address, name))
        # The start files' functions and data have no size: each runs to the next
        # symbol. A name without a size at a sized symbol's place is a label.
        sized = {row[0] for row in rows}
        unsized = [(address, name) for address, name in unsized if address not in sized]
        starts = sorted(sized | {address for address, _ in unsized})
        for address, name in unsized:
            following = starts[bisect.bisect_right(starts, address):]
            if following:
                rows.append((address, following[0] - address, name))
        rows.sort()
        self.rows = rows
        self.extent = {name: (start, size) for start, size, name in rows}
        self.starts = [row[0] for row in rows]
        out = subprocess.run([llvm_tool("llvm-readelf"), "-SW", program], check=True,
                             capture_output=True, text=True).stdout
        bss = re.search(r"\] \.bss\s+NOBITS\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", out)
        self.bss = (int(bss.group(1), 16), int(bss.group(1), 16) + int(bss.group(2), 16))

    def name(self, address):
        i = bisect.bisect_right(self.starts, address) - 1
        if i >= 0 and address < self.rows[i][0] + self.rows[i][1]:
            return self.rows[i][2]
        return None


def traced_names(program, arguments, table, work):
    """The symbols one run touches, in the order of first touch, each with
    the pages of it touched and whether it is zero-initialised data that the
    run reads before any write of its own."""
    log = os.path.join(work, "lackey.log")
    with open(os.devnull, "w") as null:
        subprocess.run(["valgrind", "--tool=lackey", "--trace-mem=yes", "--log-file=" + log,
                        program] + arguments, cwd=work, stdout=null, stderr=null)
    seen = {}
    last, entry = None, None
    with open(log) as f:
        for line in f:
            if line.startswith("=="):
                continue
            comma = line.find(",")
            if comma < 0:
                continue
            address = int(line[2:comma].strip(), 16)
            # Runs of accesses to one symbol are common; skip the search.
            if not (last and last[0] <= address < last[1]):
                name = table.name(address)
                if name is None:
                    last = None
                    continue
                i = bisect.bisect_right(table.starts, address) - 1
                last = (table.rows[i][0], table.rows[i][0] + table.rows[i][1])
                if name not in seen:
                    in_bss = table.bss[0] <= address < table.bss[1]
                    # [order, pages, read first]
                    seen[name] = [len(seen), set(), in_bss and line[1] == "L"]
                entry = seen[name]
            entry[1].add(address // PAGE)
    return [(name, seen[name][1], seen[name][2])
            for name in sorted(seen, key=lambda name: seen[name][0])]


def native_choices(program):
    """Resolver name -> the implementation the C library picks on this
    machine, from the resolved slots of a native run stopped at main."""
    if not shutil.which("gdb"):
        print("startup-order: no gdb; string functions stay as valgrind picked them",
              file=sys.stderr)
        return {}
    relocations = subprocess.run([llvm_tool("llvm-readelf"), "-rW", program], check=True,
                                 capture_output=True, text=True).stdout
    slots = []
    for line in relocations.splitlines():
        parts = line.split()
        if len(parts) >= 4 and parts[2] == "R_X86_64_IRELATIVE":
            slots.append((int(parts[0], 16), int(parts[3], 16)))
    command = ["gdb", "-q", "-batch", "-ex", "break main", "-ex", "run"]
    for slot, _ in slots:
        command += ["-ex", "info symbol *(void **)%#x" % slot]
    out = subprocess.run(command + ["--args", program, "-dumpversion"], capture_output=True,
                         text=True).stdout
    # One answer per slot, in order; a slot without a name keeps its place.
    chosen = [m.group(1) for m in re.finditer(r"^(?:(\S+)(?: \+ \d+)? in section|No symbol)",
                                              out, re.M)]
    table = {}
    nm = subprocess.run([llvm_tool("llvm-nm"), "--defined-only", program], check=True,
                        capture_output=True, text=True).stdout
    by_address = {}
    for line in nm.splitlines():
        parts = line.split()
        if len(parts) == 3:
            by_address.setdefault(int(parts[0], 16), []).append(parts[2])
    # A resolver is named after its family, as "strcmp" or "strcmp_ifunc".
    for (_, resolver), implementation in zip(slots, chosen):
        for name in by_address.get(resolver, []) if implementation else []:
            family = name.lstrip("_")
            table[family[:-len("_ifunc")] if family.endswith("_ifunc") else family] = implementation
    return table


def native_name(name, choices):
    """The implementation this machine runs in place of the variant NAME."""
    if not name.startswith("__"):
        return name
    best = ""
    for family in choices:
        if name.startswith("__" + family + "_") and len(family) > len(best):
            best = family
    return choices[best] if best else name


def main():
    build = os.path.abspath(sys.argv[1])
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "cmake", "startup-order.txt")
    work = tempfile.mkdtemp(prefix="vuz-order-")
    for name in ("x.c", "x.cc"):
        with open(os.path.join(work, name), "w") as f:
            f.write("int x;\n")
    open(os.path.join(work, "x.o"), "w").close()

    tables, choices = {}, {}
    used, touched, others = {}, {}, {}
    read_first = set()
    for index, (program, arguments) in enumerate(runs(build, work)):
        key = os.path.realpath(program)
        if key not in tables:
            tables[key] = symbols(program)
            choices.update(native_choices(program))
        traced = traced_names(program, arguments, tables[key], work)
        for position, (name, pages, zero_read) in enumerate(traced):
            if zero_read:
                read_first.add(native_name(name, choices))
            touched.setdefault((key, name), set()).update(pages)
            native = native_name(name, choices)
            if native != name:
                others.setdefault(name, (index, position))
            name = native
            used[name] = min(used.get(name, (index, position)), (index, position))
    shutil.rmtree(work)

    # An object of several pages that runs touch in fewer than half of them
    # takes faults of its own wherever it lies: it is left out, so that the
    # others, and the string literals the linker places after them, share
    # pages and windows.
    dense = set()
    for (key, name), pages in touched.items():
        start, size = tables[key].extent[name]
        spanned = (start + size - 1) // PAGE - start // PAGE + 1
        if spanned == 1 or 2 * len(pages) >= spanned:
            dense.add(native_name(name, choices))
    # Objects of more than a page follow all the others: a run reads such an
    # object in pages of its own, wherever it lies, and ahead of the small
    # ones it would push them apart.
    large = {native_name(name, choices) for (key, name) in touched
             if tables[key].extent[name][1] > PAGE}
    # Zero-initialised data that a run reads before writing it goes first: at
    # the start of the bss it lies on the page that the loader has cleared,
    # while elsewhere its read would map the zero page, and the first write to
    # that page would fault once more.
    order = sorted((name for name in used if name in dense),
                   key=lambda name: (name not in read_first, name in large,
                                     used[name]))
    # The string functions valgrind's processor gets, which other machines
    # pick too, follow together, out of the way of this machine's.
    order += sorted(others, key=others.get)
    with open(out, "w") as f:
        f.write(HEADER)
        f.write("".join(name + "\n" for name in order))


if __name__ == "__main__":
    main()
