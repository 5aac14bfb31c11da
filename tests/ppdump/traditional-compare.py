#!/usr/bin/env python3
"""Compares ppdump -traditional-cpp with clang's traditional mode on the
assembler sources in traditional/.

Both run with -P -x assembler-with-cpp and the fixtures' directory on the
include path; their outputs are compared line by line after blank lines
are dropped and every run of white space is made one space (clang spaces
its tokens its own way). Each stretch of lines that differs must be listed
in traditional-allowed.txt with the reason, and each listed difference must
still be there, so that the list says what our traditional mode does.

  traditional-compare.py --ppdump PATH [--clang PATH]
Exit status 0 when every difference is allowed, 1 otherwise, 77 when clang
is not there (the test is skipped).
"""
import argparse
import difflib
import glob
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "traditional")
ALLOWED = os.path.join(HERE, "traditional-allowed.txt")


def normalised(output):
    lines = []
    for line in output.decode(errors="replace").splitlines():
        line = re.sub(r"\s+", " ", line).strip()
        if line:
            lines.append(line)
    return lines


def preprocess(command, path):
    out = subprocess.run(command + ["-P", "-traditional-cpp", "-x", "assembler-with-cpp",
                                    "-I", FIXTURES, path], capture_output=True)
    return out.returncode, normalised(out.stdout)


def differences(ours, theirs):
    """The stretches that differ, as (our lines, clang's lines) joined by " / "."""
    found = []
    matcher = difflib.SequenceMatcher(a=ours, b=theirs, autojunk=False)
    for tag, a1, a2, b1, b2 in matcher.get_opcodes():
        if tag != "equal":
            found.append((" / ".join(ours[a1:a2]), " / ".join(theirs[b1:b2])))
    return found


def read_allowed():
    """{(file, ours, clang): why} from the blocks of the allow-list."""
    allowed = {}
    entry = {}
    with open(ALLOWED) as f:
        for line in f.read().splitlines() + [""]:
            if line.startswith("#"):
                continue
            if not line.strip():
                if entry:
                    allowed[(entry["file"], entry["ours"], entry["clang"])] = entry["why"]
                entry = {}
                continue
            key, _, value = line.partition(":")
            if key == "why" and "why" in entry:
                entry["why"] += " " + value.strip()
            else:
                entry[key] = value.strip()
    return allowed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ppdump", required=True)
    parser.add_argument("--clang", default=shutil.which("clang"))
    args = parser.parse_args()
    if not args.clang:
        print("clang is not installed: the comparison is skipped")
        return 77
    allowed = read_allowed()
    seen = set()
    failed = 0
    fixtures = sorted(glob.glob(os.path.join(FIXTURES, "*.S")))
    for path in fixtures:
        name = os.path.basename(path)
        our_status, ours = preprocess([args.ppdump], path)
        their_status, theirs = preprocess([args.clang, "-E"], path)
        if our_status != their_status:
            failed += 1
            print("MISMATCH %s: exit status %d, clang %d" % (name, our_status, their_status))
        for ours_text, theirs_text in differences(ours, theirs):
            key = (name, ours_text, theirs_text)
            if key in allowed:
                seen.add(key)
                continue
            failed += 1
            print("MISMATCH %s:\n  ours:  %s\n  clang: %s" % (name, ours_text, theirs_text))
    for key in sorted(set(allowed) - seen):
        failed += 1
        print("LISTED BUT NOT SEEN %s:\n  ours:  %s\n  clang: %s" % key)
    print("%d fixtures compared, %d allowed differences, %d problems"
          % (len(fixtures), len(seen), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
