#!/usr/bin/env python3
"""Generates the identifier code-point tables from the interpreter's Unicode
data, with the characters first assigned in Unicode 14.0 treated as
unassigned:

  gen-ucn-table.py pairs UNICODE14 OUTPUT
    the canonical composition pairs whose second character decides whether
    an identifier stays in form C: rows of {second, first} for every primary
    composite; the second characters must be exactly the expected 63
    combining code points.

  gen-ucn-table.py rows UNICODE14 SETS PUBLISHED OUTPUT
    the code-point table: rows of {flags, canonical combining class, last
    code point}, from the standards' identifier sets (ucn-identifier-sets.txt),
    which must agree with the published lists (identifier-sets-published.txt).

A code point's flags: the C99, older C++ and C11 sets of the data file; the
current C++ set from the derived identifier properties (continue characters
allowed, those that cannot start an identifier marked so); not in form C or
KC when normalising it alone changes it; form C depends on the previous
character when it can be the second half of a primary composite or is a
Hangul medial vowel or final consonant. Acceptable identifier form unless
the code point has a canonical decomposition into identifier characters
while being one itself.

A new row starts where the combining class or the acceptable-form bit
changes, or where the flags change and either side is in some identifier
set; outside every set the row keeps the flags of its first code point.

Checked against the expected row count, telling rows and set-bit counts.

The counts are those the published sets give: 2649 rows. They were first
given as 2650 rows with the 0x1 count two lower and the 0x8, 0x20, 0x40,
0x80, 0x100 and 0x200 counts one higher each; the C99 list behind those
figures appears to lack one short run of combining marks, a difference only
the pedantic C99 dialect can tell. The published C99 list agrees with three
independent copies and with how a C99 compiler behaves, so it stands, and
the table is not bent to the older figures.
"""
import sys
import unicodedata

C99, N99, CXX, C11, N11, CXX23, NXX23 = 1, 2, 4, 8, 0x10, 0x20, 0x40
CID, NFC, NKC, CTX = 0x80, 0x100, 0x200, 0x400
# Working bits, not written: the output has their complements.
NOT_NFC, NOT_NKC = 0x1000, 0x2000
LANGUAGES = C99 | CXX | C11 | CXX23
WANT_ROWS = 2649
WANT_COUNTS = {C99: 585, N99: 15, CXX: 450, C11: 2606, N11: 85, CXX23: 1775, NXX23: 730,
               CID: 2406, NFC: 2575, NKC: 2332, CTX: 44}
# {first, last, flags, combining class}
TELLING_ROWS = [(0x0000, 0x00A7, 0x380, 0), (0x00A8, 0x00A8, 0x188, 0),
                (0x00AA, 0x00AA, 0x1A9, 0), (0x00B5, 0x00B5, 0x1A9, 0),
                (0x00C0, 0x00D6, 0x3AD, 0), (0x0300, 0x0304, 0x7F8, 230),
                (0x0660, 0x0669, 0x3EB, 0), (0x1100, 0x1159, 0x3AC, 0),
                (0x1161, 0x1175, 0x7AC, 0), (0x11A8, 0x11C2, 0x7AC, 0),
                (0x3099, 0x309A, 0x7E8, 8), (0xAC00, 0xD7A3, 0x3A9, 0),
                (0xD800, 0xF8FF, 0x380, 0), (0xE0100, 0xE01EF, 0x3E8, 0),
                (0xEFFFE, 0x10FFFF, 0x380, 0)]
SET_BITS = {"c99": C99, "c99-digits": N99, "cxx98": CXX, "c11": C11, "c11-not-initial": N11}
LAST = 0x10FFFF
HANGUL_JAMO_CONTEXT = list(range(0x1161, 0x1176)) + list(range(0x11A8, 0x11C3))
WANT_SECONDS = ([c for c in range(0x0300, 0x030D) if c != 0x0305] +
                [0x030F, 0x0311, 0x0313, 0x0314, 0x031B] + list(range(0x0323, 0x0329)) +
                [0x032D, 0x032E, 0x0330, 0x0331, 0x0338, 0x0342, 0x0345, 0x0653, 0x0654,
                 0x0655, 0x093C, 0x09BE, 0x09D7, 0x0B3E, 0x0B56, 0x0B57, 0x0BBE, 0x0BD7,
                 0x0C56, 0x0CC2, 0x0CD5, 0x0CD6, 0x0D3E, 0x0D57, 0x0DCA, 0x0DCF, 0x0DDF,
                 0x102E, 0x1B35, 0x3099, 0x309A, 0x110BA, 0x11127, 0x1133E, 0x11357,
                 0x114B0, 0x114BA, 0x114BD, 0x115AF, 0x11930])


def read_sets(path):
    sets, current = {}, None
    for line in open(path):
        line = line.split("#")[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            current = sets.setdefault(line[1:-1], set())
            continue
        for word in line.split():
            first, _, last = word.partition("-")
            current.update(range(int(first, 16), int(last or first, 16) + 1))
    return sets


# Section names of the sets file for the published transcription's sets.
PUBLISHED_NAMES = {"C99": "c99", "C99DIGIT": "c99-digits", "CXX98": "cxx98", "C11": "c11",
                   "C11NOSTART": "c11-not-initial"}


def read_published(path):
    sets = {}
    for line in open(path):
        if line.startswith("#") or not line.strip():
            continue
        name, span = line.split()
        first, last = span.split("-")
        sets.setdefault(PUBLISHED_NAMES[name], set()).update(range(int(first, 16), int(last, 16) + 1))
    return sets


def set_differences(sets, published):
    problems = []
    for name in sorted(set(sets) | set(published)):
        ours, theirs = sets.get(name, set()), published.get(name, set())
        for label, extra in (("not published", ours - theirs), ("missing", theirs - ours)):
            if extra:
                shown = " ".join("%04X" % c for c in sorted(extra)[:8])
                problems.append("[%s] %d code points %s: %s" % (name, len(extra), label, shown))
    return problems


def read_additions(path):
    points = set()
    for line in open(path):
        line = line.split("#")[0].strip()
        if line:
            first, _, last = line.partition("..")
            points.update(range(int(first, 16), int(last or first, 16) + 1))
    return points


def canonical_parts(ch):
    decomposition = unicodedata.decomposition(ch)
    if not decomposition or decomposition.startswith("<"):
        return []
    return [int(p, 16) for p in decomposition.split()]


def composition_pairs(known):
    pairs = set()
    for c in filter(known, range(LAST + 1)):
        parts = canonical_parts(chr(c))
        if len(parts) == 2 and unicodedata.normalize("NFC", chr(parts[0]) + chr(parts[1])) == chr(c):
            pairs.add((parts[1], parts[0]))
    return sorted(pairs)


def code_point_flags(sets, known):
    second_halves = set(HANGUL_JAMO_CONTEXT) | {second for second, first in composition_pairs(known)}
    flags = [0] * (LAST + 1)
    for c in range(LAST + 1):
        f = sum(bit for name, bit in SET_BITS.items() if c in sets[name])
        if c in second_halves:
            f |= CTX
        if c >= 0x80 and known(c):
            ch = chr(c)
            if ("a" + ch).isidentifier():
                f |= CXX23 if ch.isidentifier() else CXX23 | NXX23
            f |= NOT_NFC if unicodedata.normalize("NFC", ch) != ch else 0
            f |= NOT_NKC if unicodedata.normalize("NFKC", ch) != ch else 0
        flags[c] = f
    return flags


def acceptable_forms(flags, known):
    def acceptable(c):
        parts = canonical_parts(chr(c)) if known(c) else []
        return not (parts and flags[c] & LANGUAGES and all(flags[p] & LANGUAGES for p in parts))
    return [acceptable(c) for c in range(LAST + 1)]


def row_flags(f, acceptable):
    out = f & (LANGUAGES | N99 | N11 | NXX23 | CTX)
    out |= CID if acceptable else 0
    out |= 0 if f & NOT_NFC else NFC
    out |= 0 if f & NOT_NKC else NKC
    return out


def build_rows(flags, acceptable, classes):
    rows, first = [], 0
    for c in range(1, LAST + 2):
        if (c == LAST + 1 or classes[c] != classes[first] or acceptable[c] != acceptable[first]
                or (flags[c] != flags[first] and (flags[c] | flags[first]) & LANGUAGES)):
            rows.append((first, c - 1, row_flags(flags[first], acceptable[first]), classes[first]))
            first = c
    return rows


def covering(rows, first, last):
    return [row for row in rows if row[0] <= last and row[1] >= first]


def check(rows):
    problems = []
    if len(rows) != WANT_ROWS:
        problems.append("%d rows, want %d (%+d)" % (len(rows), WANT_ROWS, len(rows) - WANT_ROWS))
    for bit, want in WANT_COUNTS.items():
        got = sum(1 for row in rows if row[2] & bit)
        if got != want:
            problems.append("bit %#x set in %d rows, want %d (%+d)" % (bit, got, want, got - want))
    for telling in TELLING_ROWS:
        if telling not in rows:
            found = ", ".join("{%#x-%#x, %#x, %d}" % row for row in covering(rows, *telling[:2]))
            problems.append("no row {%#x-%#x, %#x, %d}" % telling + "; rows there: " + found)
    return problems


def write_pairs(known, path):
    pairs = composition_pairs(known)
    seconds = sorted({second for second, first in pairs})
    if seconds != WANT_SECONDS:
        sys.exit("gen-ucn-table: second characters of composition pairs %s, want %s"
                 % (" ".join("%X" % c for c in seconds), " ".join("%X" % c for c in WANT_SECONDS)))
    with open(path, "w") as out:
        out.write("// Generated by gen-ucn-table.py; do not edit.\n")
        for second, first in pairs:
            out.write("{%#07x, %#07x},\n" % (second, first))


def write_rows(known, sets, published, path):
    differences = set_differences(sets, published)
    if differences:
        sys.exit("gen-ucn-table: the sets file departs from the published lists: "
                 + "; ".join(differences))
    flags = code_point_flags(sets, known)
    acceptable = acceptable_forms(flags, known)
    classes = [unicodedata.combining(chr(c)) if known(c) else 0 for c in range(LAST + 1)]
    rows = build_rows(flags, acceptable, classes)
    problems = check(rows)
    if problems:
        sys.exit("gen-ucn-table: " + "; ".join(problems))
    with open(path, "w") as out:
        out.write("// Generated by gen-ucn-table.py; do not edit.\n")
        for first, last, f, k in rows:
            out.write("{%#06x, %3d, %#08x},\n" % (f, k, last))


def main():
    # The 14.0 additions are masked below; newer data would add characters
    # that nothing masks.
    if unicodedata.unidata_version not in ("13.0.0", "14.0.0"):
        sys.exit("gen-ucn-table: Unicode %s data; 13.0 or 14.0 is needed" % unicodedata.unidata_version)
    unassigned = read_additions(sys.argv[2])
    known = lambda c: c not in unassigned and not 0xD800 <= c <= 0xDFFF
    if sys.argv[1] == "pairs":
        write_pairs(known, sys.argv[3])
    else:
        write_rows(known, read_sets(sys.argv[3]), read_published(sys.argv[4]), sys.argv[5])


if __name__ == "__main__":
    main()
