#!/usr/bin/env python3
"""Differential check of the demangler against llvm-cxxfilt over the _Z names
of the libraries on this machine. Not part of the default test run.

usage: corpus-compare.py FILTER [--names FILE] [--save-names FILE] [--show N]
       corpus-compare.py FILTER --program FILE...

FILTER is the demangle_filter test tool of the build. Prints how many names
were compared, how many agree, the differences by category, and the names
this demangler failed on although llvm-cxxfilt demangled them.

With --program, checks instead that every _Z function name defined in the
given programs demangles with the backtrace printer's options (0x400b).
"""
import argparse
import collections
import difflib
import glob
import os
import re
import subprocess
import sys


def collect_names():
    libdir = subprocess.run(['llvm-config', '--libdir'], capture_output=True,
                            text=True).stdout.strip()
    shared = glob.glob('/usr/lib/x86_64-linux-gnu/libstdc++.so.6') + \
        glob.glob(os.path.join(libdir, 'libLLVM-*.so')) + \
        glob.glob(os.path.join(libdir, 'libclang-cpp.so*')) + \
        glob.glob(os.path.join(libdir, 'libLTO.so'))
    archives = sorted(glob.glob(os.path.join(libdir, '*.a')))
    names = set()
    for path in shared:
        out = subprocess.run(['llvm-nm', '-D', '--defined-only', '-j', path],
                             capture_output=True, text=True).stdout
        # Drop symbol versions ("@@LLVM_14"): they are not part of the name.
        names.update(n.split('@')[0] for n in out.split() if n.startswith('_Z'))
    for path in archives:
        out = subprocess.run(['llvm-nm', '--defined-only', '-j', path],
                             capture_output=True, text=True).stdout
        names.update(n for n in out.split() if n.startswith('_Z'))
    return sorted(names)


def run_lines(command, names):
    out = subprocess.run(command, input='\n'.join(names) + '\n',
                         capture_output=True, text=True).stdout
    return out.split('\n')[:len(names)]


# Notations in which the two demanglers legitimately differ; each is tried
# in turn on the two texts and names the category of a difference.
CATEGORIES = [
    ('lambda', lambda o, t: "{lambda(" in o or "'lambda" in t),
    ('unnamed type', lambda o, t: '{unnamed type' in o or "'unnamed" in t),
    ('clone suffix', lambda o, t: '[clone ' in o),
    ('address of a member', lambda o, t: '&(' in t and '&(' not in o),
    ('template arguments after operator<', lambda o, t: re.search(r'operator<+ <', o)),
    ('nullptr type', lambda o, t: 'std::nullptr_t' in t),
    ('function parameter', lambda o, t: '{parm#' in o),
    ('reference temporary number', lambda o, t: 'reference temporary #' in o),
    ('sizeof... count', lambda o, t: 'sizeof...' in t),
    ('literal', lambda o, t: re.search(r'\(\w[\w ]*\)(\[|-?\d)', o)),
    ('scope return type omitted', lambda o, t: only_deleted(o, t)),
    ('expression parentheses', lambda o, t: re.sub(r'[() ]', '', o) == re.sub(r'[() ]', '', t)),
]


def only_deleted(ours, theirs):
    """Whether ours is theirs with some words left out."""
    a, b = re.findall(r'\w+|\W', ours), re.findall(r'\w+|\W', theirs)
    ops = difflib.SequenceMatcher(None, a, b, autojunk=False).get_opcodes()
    return all(op in ('equal', 'insert') for op, _, _, _, _ in ops)


def categorise(ours, theirs):
    for name, test in CATEGORIES:
        if test(ours, theirs):
            return name
    return 'other'


def check_programs(filter_path, programs):
    names = set()
    for path in programs:
        out = subprocess.run(['llvm-nm', '--defined-only', path],
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[1] in 'TtWw' and fields[2].startswith('_Z'):
                names.add(fields[2])
    names = sorted(names)
    results = run_lines([filter_path, '0x400b'], names)
    failed = [n for n, r in zip(names, results) if r.startswith('!! ')]
    print('function names: %d' % len(names))
    print('failing with 0x400b: %d' % len(failed))
    for name in failed[:20]:
        print('    ' + name)
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('filter')
    parser.add_argument('--names')
    parser.add_argument('--save-names')
    parser.add_argument('--show', type=int, default=3)
    parser.add_argument('--program', nargs='+')
    args = parser.parse_args()
    if args.program:
        return check_programs(args.filter, args.program)
    if args.names:
        with open(args.names) as f:
            names = [line.strip() for line in f if line.strip()]
    else:
        names = collect_names()
    if args.save_names:
        with open(args.save_names, 'w') as f:
            f.write('\n'.join(names) + '\n')
    ours = run_lines([args.filter, '0x3'], names)
    theirs = run_lines(['llvm-cxxfilt', '-n'], names)
    agree = 0
    differ = collections.defaultdict(list)
    failing = []
    both_failing = 0
    long_names = [n for n, o in zip(names, ours) if o.startswith('!! ') and len(n) > 1024]
    unlimited = dict(zip(long_names, run_lines([args.filter, '0x40003'], long_names)))
    for name, o, t in zip(names, ours, theirs):
        if o.startswith('!! '):
            if t == name:
                both_failing += 1
                continue
            if name in unlimited and not unlimited[name].startswith('!! '):
                # Over the input-length limit of the default options.
                o = unlimited[name]
                if o == t:
                    differ['agreeing with 0x40000, over 1024 characters'].append((name, o, t))
                else:
                    differ['over 1024 characters, ' + categorise(o, t)].append((name, o, t))
                continue
            failing.append((name, t))
            continue
        if o == t:
            agree += 1
        elif t == name:
            differ['llvm-cxxfilt fails'].append((name, o, t))
        else:
            differ[categorise(o, t)].append((name, o, t))
    print('names: %d' % len(names))
    print('agreeing: %d' % agree)
    for category, cases in sorted(differ.items(), key=lambda kv: -len(kv[1])):
        print('differing (%s): %d' % (category, len(cases)))
        for name, o, t in cases[:args.show]:
            print('    %s\n      ours:  %s\n      llvm:  %s' % (name, o, t))
    print('failing both: %d' % both_failing)
    print('failing here only: %d' % len(failing))
    for name, t in failing[:max(args.show, 20)]:
        print('    %s\n      llvm:  %s' % (name, t))
    return 1 if failing else 0


if __name__ == '__main__':
    sys.exit(main())
