#!/usr/bin/env python3
"""Checks that directives-only processing loses nothing a full run needs.

Each header of the corpus (the places raw-token-compare.py names) is
preprocessed twice by ppdump, with the include directories and predefined
macros of expanded-compare.py: once in full, and once with -fdirectives-only
whose output is then preprocessed in full. Both must give the same tokens
(white space and linemarkers aside). clang only supplies the corpus's
directories and its predefined macros.

  directives-only-compare.py --ppdump PATH [--clang PATH] --sample LIST
  directives-only-compare.py --ppdump PATH [--clang PATH] --all
Exit status 0 when every file agrees, 1 otherwise, 77 when clang is not
there (the test is skipped).
"""
import importlib.util
import os
import subprocess
import sys
import tempfile
import time


def load(name, file_name):
    here = os.path.dirname(os.path.abspath(__file__))
    spec = importlib.util.spec_from_file_location(name, os.path.join(here, file_name))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


EXPANDED = load("expanded_compare", "expanded-compare.py")
RAW = EXPANDED.RAW


def compare(ppdump, clang, path, language, predef, directory):
    std = EXPANDED.std_of(language, True)
    args = EXPANDED.common_args(clang, language, predef)
    full = subprocess.run([ppdump] + std + args + ["-P", path], capture_output=True)
    first = subprocess.run([ppdump] + std + args + ["-fdirectives-only", path],
                           capture_output=True)
    staged = os.path.join(directory, "staged.i")
    with open(staged, "wb") as f:
        f.write(first.stdout)
    second = subprocess.run([ppdump] + std + args + ["-P", staged], capture_output=True)
    # An error in expanded text shows only when the staged text is expanded.
    staged_failed = first.returncode != 0 or second.returncode != 0
    if (full.returncode != 0) != staged_failed:
        return "exit status: full %d, directives-only %d, then full %d" % (
            full.returncode, first.returncode, second.returncode)
    a = EXPANDED.tokens_of(ppdump, EXPANDED.without_pragmas(full.stdout), language)
    b = EXPANDED.tokens_of(ppdump, EXPANDED.without_pragmas(second.stdout), language)
    if a == b:
        return None
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "token %d: full %r, staged %r (near: %s)" % (
                i, x, y, " ".join(a[max(0, i - 5):i + 3]))
    return "token counts differ: full %d, staged %d" % (len(a), len(b))


def main():
    corpus = RAW.corpus_from_command_line(
        "the corpus and its predefined macros come from it")
    if corpus is None:
        return 77
    args, clang, files = corpus
    failed = compared = 0
    start = time.time()
    with tempfile.TemporaryDirectory() as directory:
        for path, language in files:
            if not os.path.isfile(path):
                continue
            predef = EXPANDED.predefined(clang, language, directory)
            compared += 1
            mismatch = compare(args.ppdump, clang, path, language, predef, directory)
            if mismatch:
                failed += 1
                print("MISMATCH %s (%s): %s" % (path, language, mismatch))
    print("%d files compared, %d mismatching files, %.1f s"
          % (compared, failed, time.time() - start))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
