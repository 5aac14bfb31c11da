#!/usr/bin/env python3
"""The page faults of one run of a program, each with the class of memory it
brought in (text, rodata, relro, data, bss, heap, stack, vdso), the object
there and the function that touched it, and a count per class. A fault taken
inside the kernel on the program's behalf (the loader clearing the first bss
page, a system call reading a path or filling a buffer) is marked "kernel".

Usage: bench/startup-faults.py PROGRAM [ARGUMENTS...]   (needs perf)"""
import bisect
import collections
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup import llvm_tool  # noqa: E402

# The output sections of each class; the linker's own sections count with
# the class of their segment.
SECTION_CLASSES = [
    ("text", (".text", ".init", ".fini", ".iplt", ".plt", "__libc_freeres_fn")),
    ("relro", (".tdata", ".tbss", ".init_array", ".fini_array", ".data.rel.ro", ".got")),
    ("bss", (".bss", "__libc_freeres_ptrs")),
    ("data", (".data", ".got.plt", "__libc_subfreeres", "__libc_IO_vtables", "__libc_atexit")),
]


def section_class(name):
    for kind, names in SECTION_CLASSES:
        if name in names:
            return kind
    return "rodata"


def read_sections(program):
    out = subprocess.run([llvm_tool("llvm-readelf"), "-SW", program], check=True,
                         capture_output=True, text=True).stdout
    sections = []
    for line in out.splitlines():
        m = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s+\S+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+\S+\s+(\S*)",
                     line)
        if m and int(m.group(2), 16) and "A" in m.group(4):
            sections.append((int(m.group(2), 16), int(m.group(3), 16), m.group(1)))
    return sorted(sections)


def read_writable_segments(program):
    out = subprocess.run([llvm_tool("llvm-readelf"), "-lW", program], check=True,
                         capture_output=True, text=True).stdout
    segments = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0] == "LOAD" and "W" in "".join(parts[6:-1]):
            start = int(parts[2], 16)
            segments.append((start & ~0xfff, start + int(parts[5], 16)))
    return segments


def read_symbols(program):
    """The sized symbols, under their names as linked (the names of
    cmake/startup-order.txt)."""
    out = subprocess.run([llvm_tool("llvm-nm"), "-S", "--defined-only", program], check=True,
                         capture_output=True, text=True).stdout
    rows = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 4 and int(parts[1], 16) > 0:
            rows.append((int(parts[0], 16), int(parts[1], 16), parts[3]))
    return sorted(rows)


def holder(rows, starts, address):
    i = bisect.bisect_right(starts, address) - 1
    if i >= 0 and address < rows[i][0] + max(rows[i][1], 1):
        return rows[i][2]
    return ""


def main():
    program = os.path.abspath(sys.argv[1])
    sections = read_sections(program)
    section_starts = [s[0] for s in sections]
    writable = read_writable_segments(program)
    rows = read_symbols(program)
    starts = [r[0] for r in rows]
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "perf.data")
        with open(os.devnull, "w") as null:
            subprocess.run(["perf", "record", "-q", "-e", "page-faults", "-c", "1", "-d", "-o", data,
                            program] + sys.argv[2:], stdout=null, stderr=null)
        script = subprocess.run(["perf", "script", "--no-demangle", "-i", data, "-F",
                                 "ip,sym,addr"], capture_output=True, text=True).stdout
    counts = collections.Counter()
    for line in script.splitlines():
        # The faulting address and its symbol, then the instruction and its.
        parts = line.split()
        if len(parts) < 3:
            continue
        address, ip = int(parts[0], 16), int(parts[2], 16)
        i = bisect.bisect_right(section_starts, address) - 1
        if i >= 0 and address < sections[i][0] + sections[i][1]:
            kind = section_class(sections[i][2])
            what = holder(rows, starts, address) or sections[i][2]
        elif any(start <= address < end for start, end in writable):
            # The rest of the page where the bss begins, which the loader clears.
            kind, what = "bss", ""
        elif address >= 0x7ff000000000:
            kind, what = "stack", ""
        elif address >= 0x7f0000000000:
            kind, what = "vdso", ""
        else:
            kind, what = "heap", ""
        toucher = holder(rows, starts, ip) or " ".join(parts[3:])
        if ip >= 0xffffffff00000000:
            kind += " (kernel)"
        counts[kind] += 1
        print("%-16s %14x  %-32.32s %s" % (kind, address, what, toucher))
    print()
    print(", ".join("%s %d" % item for item in counts.most_common()),
          "- %d in all" % sum(counts.values()))


if __name__ == "__main__":
    main()
