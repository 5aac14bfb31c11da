#!/usr/bin/env python3
"""Writes seed inputs for the stack-trace fuzz targets from small programs
built with clang: whole executables for the ELF target, and their DWARF
sections packed as the DWARF target reads them.

usage: libmerrow-seeds.py ELF_CORPUS_DIR DWARF_CORPUS_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile

SLOTS = [".debug_info", ".debug_line", ".debug_abbrev", ".debug_ranges", ".debug_str",
         ".debug_addr", ".debug_str_offsets", ".debug_line_str", ".debug_rnglists"]
PROGRAM = r"""
struct shape { int sides; int corners(int) const; };
static inline int twice(int x) { return x * 2; }
int shape::corners(int extra) const { return twice(sides + extra); }
template <typename T> T sum(T a, T b) { return a + b; }
int main(int argc, char **) { shape s{argc}; return sum(s.corners(argc), 1); }
"""
FLAGS = [["-gdwarf-4", "-O0"], ["-gdwarf-5", "-O2"], ["-gdwarf-2", "-O1"],
         ["-gdwarf-5", "-gdwarf64", "-O2", "-ffunction-sections"],
         ["-gdwarf-4", "-O2", "-fdebug-types-section"], ["-g0", "-O2"]]


def main():
    elf_dir, dwarf_dir = sys.argv[1:3]
    os.makedirs(elf_dir, exist_ok=True)
    os.makedirs(dwarf_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "seed.cc")
        with open(source, "w") as f:
            f.write(PROGRAM)
        for i, flags in enumerate(FLAGS):
            exe = os.path.join(tmp, "seed%d" % i)
            subprocess.run(["clang++", *flags, source, "-o", exe], check=True)
            with open(exe, "rb") as f:
                image = f.read()
            with open(os.path.join(elf_dir, "seed%d" % i), "wb") as f:
                f.write(image)
            # Both forms of compressed debug sections.
            for style in ("zlib", "zlib-gnu") if i < 2 else ():
                out = os.path.join(elf_dir, "seed%d-%s" % (i, style))
                subprocess.run(["llvm-objcopy", "--compress-debug-sections=" + style, exe, out],
                               check=True)
            sections = []
            for name in SLOTS:
                out = os.path.join(tmp, "section")
                if os.path.exists(out):
                    os.remove(out)
                subprocess.run(["llvm-objcopy", "--dump-section", name + "=" + out, exe, os.devnull],
                               capture_output=True)
                sections.append(open(out, "rb").read() if os.path.exists(out) else b"")
            with open(os.path.join(dwarf_dir, "seed%d" % i), "wb") as f:
                f.write(struct.pack("<9I", *map(len, sections)) + b"".join(sections))


if __name__ == "__main__":
    main()
