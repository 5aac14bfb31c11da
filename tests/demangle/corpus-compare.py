#!/usr/bin/env python3
"""Differential check of the demangler against llvm-cxxfilt over the _Z names
of the libraries on this machine. Not part of the default test run.

usage: corpus-compare.py FILTER [--names FILE] [--save-names FILE] [--show N]
       corpus-compare.py FILTER --program FILE...
       corpus-compare.py FILTER --write-sample FILE

FILTER is the demangle_filter test tool of the build. Prints how many names
were compared, how many agree, the differences by category, and the names
this demangler failed on although llvm-cxxfilt demangled them.

With --program, checks instead that every _Z function name defined in the
given programs demangles with the backtrace printer's options (0x400b).

With --write-sample, writes the checked-in sample instead: a fixed random
choice of names from each library family and one name for each notation in
FEATURES, each with this demangler's text under options 0x3, kept only where
llvm-cxxfilt demangles the name too and agrees or differs in a known notation.
"""
import argparse
import collections
import difflib
import glob
import os
import re
import subprocess
import sys


def library_files():
    """The shared objects and archives the names come from: LLVM's and
    clang's, and Boost's, GoogleTest's and Google Benchmark's where this
    machine has them."""
    libdir = subprocess.run(['llvm-config', '--libdir'], capture_output=True,
                            text=True).stdout.strip() or '/usr/lib/llvm-14/lib'
    system = '/usr/lib/x86_64-linux-gnu'
    shared = glob.glob(os.path.join(libdir, 'libLLVM-*.so')) + \
        glob.glob(os.path.join(libdir, 'libclang-cpp.so*')) + \
        glob.glob(os.path.join(libdir, 'libLTO.so')) + \
        glob.glob(os.path.join(system, 'libboost_*.so.*')) + \
        glob.glob(os.path.join(system, 'libbenchmark.so.*'))
    # LLVM's own archives only: the directory also holds C++ runtimes.
    archives = glob.glob(os.path.join(libdir, 'libLLVM*.a')) + \
        glob.glob(os.path.join(libdir, 'libclang*.a')) + \
        glob.glob(os.path.join(system, 'libgtest*.a')) + \
        glob.glob(os.path.join(system, 'libgmock*.a')) + \
        glob.glob(os.path.join(system, 'libbenchmark*.a'))
    # One file per object: links to the same file are read once.
    unique = {}
    for path in sorted(shared) + sorted(archives):
        unique.setdefault(os.path.realpath(path), path)
    return sorted(unique.values())


def names_of(path):
    dynamic = ['-D'] if '.so' in os.path.basename(path) else []
    out = subprocess.run(['llvm-nm'] + dynamic + ['--defined-only', '-j', path],
                         capture_output=True, text=True).stdout
    # Drop symbol versions ("@@LLVM_14"): they are not part of the name.
    return {n.split('@')[0] for n in out.split() if n.startswith('_Z')}


def family_of(path):
    base = os.path.basename(path)
    for family in ('clang', 'boost', 'gtest', 'gmock', 'benchmark'):
        if family in base:
            return family
    return 'llvm'


def collect_names_by_family():
    families = collections.defaultdict(set)
    for path in library_files():
        families[family_of(path)].update(names_of(path))
    return families


def collect_names():
    names = set()
    for family in collect_names_by_family().values():
        names.update(family)
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


# Names drawn from each family, and notations each worth one name of its own.
SAMPLE_QUOTAS = {'llvm': 30, 'clang': 20, 'boost': 10, 'gtest': 8, 'gmock': 6, 'benchmark': 8}
FEATURES = [
    ('lambda', r'Ul'), ('unnamed type', r'Ut'), ('clone suffix', r'\.'),
    ('local name', r'^_ZZ'), ('guard variable', r'^_ZGV'), ('thunk', r'^_ZTh'),
    ('virtual thunk', r'^_ZTv'), ('vtable', r'^_ZTV'), ('type info name', r'^_ZTS'),
    ('pack expansion', r'Dp'), ('decltype', r'DT'), ('literal', r'L[a-z]\d'),
    ('conversion operator', r'cv'), ('ABI tag', r'B\d'), ('function pointer', r'PF'),
    ('rvalue reference', r'O[A-Z]'), ('member pointer', r'M[A-Z]'), ('const method', r'^_ZNK'),
    ('template template argument', r'IT_'), ('std::string', r'Ss|NSt7__cxx1112basic_string'),
]
LONGEST_SAMPLE_NAME = 1024


def write_sample(filter_path, path):
    import random
    rng = random.Random(24)
    families = collect_names_by_family()
    chosen = []
    for family, quota in SAMPLE_QUOTAS.items():
        pool = sorted(n for n in families.get(family, ()) if len(n) <= LONGEST_SAMPLE_NAME)
        chosen += rng.sample(pool, min(quota, len(pool)))
    everything = sorted(n for f in families.values() for n in f if len(n) <= LONGEST_SAMPLE_NAME)
    for _, pattern in FEATURES:
        having = [n for n in everything if re.search(pattern, n[2:]) and n not in chosen]
        if having:
            chosen.append(rng.choice(having))
    ours = run_lines([filter_path, '0x3'], chosen)
    backtrace = run_lines([filter_path, '0x400b'], chosen)
    theirs = run_lines(['llvm-cxxfilt', '-n'], chosen)
    lines = []
    for name, o, b, t in zip(chosen, ours, backtrace, theirs):
        if o.startswith('!! ') or b.startswith('!! ') or t == name:
            continue
        if o != t and categorise(o, t) == 'other':
            continue
        lines.append('%s\t%s' % (name, o))
    with open(path, 'w') as f:
        f.write('# _Z names of LLVM\'s, clang\'s, Boost\'s, GoogleTest\'s and Google Benchmark\'s\n'
                '# libraries with their demangling under options 0x3, written by corpus-compare.py.\n'
                '# Checked against llvm-cxxfilt -n; where the two differ (lambdas, local-name scopes,\n'
                '# address-of operands, literals) this demangler\'s notation is kept.\n')
        f.write('\n'.join(lines) + '\n')
    print('sample: %d of %d names' % (len(lines), len(chosen)))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('filter')
    parser.add_argument('--names')
    parser.add_argument('--save-names')
    parser.add_argument('--show', type=int, default=3)
    parser.add_argument('--program', nargs='+')
    parser.add_argument('--write-sample')
    args = parser.parse_args()
    if args.program:
        return check_programs(args.filter, args.program)
    if args.write_sample:
        return write_sample(args.filter, args.write_sample)
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
