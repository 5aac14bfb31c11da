#!/usr/bin/env python3
"""Generates the option table, the option-set record and the OPT_* names from
the readable files in options/data, and refuses to generate anything when the
data break one of the table's invariants or expected counts.

usage: gen-option-table.py DATA-DIR OUTPUT-DIR
"""

import os
import re
import shlex
import sys

LANGUAGES = ["Ada", "AdaSCIL", "AdaWhy", "C", "C++", "D", "Fortran", "Go", "LTO",
             "Zorbul", "ObjC", "ObjC++"]
LANGUAGE_LETTERS = "asycxdfglzop"

FLAG_PARAMS = 0x10000
FLAG_WARNING = 0x20000
FLAG_OPTIMIZATION = 0x40000
FLAG_DRIVER = 0x80000
FLAG_TARGET = 0x100000
FLAG_COMMON = 0x200000
FLAG_JOINED = 0x400000
FLAG_SEPARATE = 0x800000
FLAG_UNDOCUMENTED = 0x1000000
FLAG_NO_PRODUCER_RECORD = 0x2000000
CLASS_LETTERS = {"P": FLAG_PARAMS, "W": FLAG_WARNING, "O": FLAG_OPTIMIZATION,
                 "D": FLAG_DRIVER, "T": FLAG_TARGET, "C": FLAG_COMMON, "J": FLAG_JOINED,
                 "S": FLAG_SEPARATE, "U": FLAG_UNDOCUMENTED, "N": FLAG_NO_PRODUCER_RECORD}
BIT_LETTERS = {"R": "rejects_negative", "M": "argument_optional", "I": "unsigned_integer"}
OPTION_BITS = ["disabled", "separate_arg_count", "alias_if_separate", "negates_alias",
               "no_driver_argument", "rejected_by_driver", "rejects_negative",
               "argument_optional", "unsigned_integer", "wide_integer",
               "lowercase_argument", "byte_size_units"]
PROPERTY_BITS = {"disabled": "disabled", "no-driver-argument": "no_driver_argument",
                 "rejected-by-driver": "rejected_by_driver", "wide": "wide_integer",
                 "byte-size-units": "byte_size_units", "lowercase": "lowercase_argument"}

VAR_INTEGER, VAR_EQUAL, VAR_BIT_CLEAR, VAR_BIT_SET, VAR_SIZE, VAR_STRING, VAR_ENUM, \
    VAR_DEFERRED = range(8)
KIND_NAMES = ["VAR_INTEGER", "VAR_EQUAL", "VAR_BIT_CLEAR", "VAR_BIT_SET", "VAR_SIZE",
              "VAR_STRING", "VAR_ENUM", "VAR_DEFERRED"]
KIND_WORDS = {"equal": VAR_EQUAL, "bitclear": VAR_BIT_CLEAR, "bitset": VAR_BIT_SET,
              "size": VAR_SIZE, "string": VAR_STRING, "deferred": VAR_DEFERRED}

# The counts the finished table must show.
EXPECTED = {
    "rows": 1971, "aliases": 188, "ignored": 44, "removed": 52, "back chains": 118,
    "longest text": 51, "without variable": 621, "ranges": 116, "self negation": 1026,  # the "no-" rule and the named ones
    "enums": 58, "sanitizers": 33, "prefixes": 18, "warning messages": 1,
}
LANGUAGE_COUNTS = [19, 17, 17, 373, 502, 105, 213, 18, 64, 16, 393, 508]
FLAG_COUNTS = {FLAG_PARAMS: 278, FLAG_WARNING: 398, FLAG_OPTIMIZATION: 507,
               FLAG_DRIVER: 237, FLAG_TARGET: 56, FLAG_COMMON: 948, FLAG_JOINED: 597,
               FLAG_SEPARATE: 85, FLAG_UNDOCUMENTED: 48, FLAG_NO_PRODUCER_RECORD: 2}
BIT_COUNTS = {"disabled": 1, "no_driver_argument": 4, "rejected_by_driver": 4,
              "rejects_negative": 313, "argument_optional": 39, "unsigned_integer": 332,
              "wide_integer": 7, "lowercase_argument": 4, "byte_size_units": 6,
              "alias_if_separate": 0, "negates_alias": 0, "separate_arg_count": 0}
KIND_COUNTS = [1578, 51, 4, 20, 6, 234, 58, 20]

errors = []


def fail(message):
    errors.append(message)


def data_lines(path):
    """The non-comment lines of a data file, split shell-style (quotes keep
    blanks and backslashes keep escapes such as \\t as written)."""
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            yield number, line.rstrip("\n"), shlex.split(line, posix=True)


def c_string(text):
    if text is None:
        return "nullptr"
    out = '"'
    for ch in text:
        if ch in '"\\':
            out += "\\" + ch
        elif ch == "\t":
            out += "\\t"
        elif ch == "\n":
            out += "\\n"
        elif ch == "?":
            out += "\\?"  # no trigraphs
        else:
            out += ch
    return out + '"'


def unescape(text):
    return text.replace("\\t", "\t").replace("\\n", "\n")


def mangle(text):
    """An identifier for an option text: its first '-' dropped, '=' spelt
    "_eq" ("_eq_" inside the text), '+' "plus", every other character that
    cannot appear in a name made '_'."""
    body = text[1:]
    out = ""
    for i, c in enumerate(body):
        if c.isalnum():
            out += c
        elif c == "=":
            out += "_eq" if i == len(body) - 1 else "_eq_"
        elif c == "+":
            out += "plus"
        else:
            out += "_"
    return out


class Row:
    def __init__(self, text, code):
        self.text = text
        self.code = code
        self.flags = 0
        self.bits = {name: 0 for name in OPTION_BITS}
        self.range = (-1, -1)
        self.help = None
        self.missing = None
        self.warning = None
        self.alias_target = None      # a text, "ignored" or "removed"
        self.alias_arg = None
        self.neg_alias_arg = None
        self.negation = None          # a text or None
        self.kind = VAR_INTEGER
        self.value = 0
        self.enum = None
        self.has_variable = True
        self.field = None
        for token in code.split():
            m = re.fullmatch(r"(-?\d+)\.\.(-?\d+)", token)
            if m:
                self.range = (int(m.group(1)), int(m.group(2)))
            elif token.islower():
                for letter in token:
                    if letter not in LANGUAGE_LETTERS:
                        fail("%s: unknown language letter %r" % (text, letter))
                    else:
                        self.flags |= 1 << LANGUAGE_LETTERS.index(letter)
            else:
                for letter in token:
                    if letter in CLASS_LETTERS:
                        self.flags |= CLASS_LETTERS[letter]
                    elif letter in BIT_LETTERS:
                        self.bits[BIT_LETTERS[letter]] = 1
                    else:
                        fail("%s: unknown code letter %r" % (text, letter))

    def joined(self):
        return bool(self.flags & FLAG_JOINED)


def read_rows(data):
    rows = {}
    for number, line, words in data_lines(os.path.join(data, "options.txt")):
        text = words[0]
        if text in rows:
            fail("options.txt:%d: %s listed twice" % (number, text))
        rows[text] = Row(text, " ".join(words[1:]))
    return rows


def need_row(rows, text, where):
    if text not in rows:
        fail("%s: no option %s" % (where, text))
        return None
    return rows[text]


def read_aliases(data, rows):
    for number, line, words in data_lines(os.path.join(data, "aliases.txt")):
        where = "aliases.txt:%d" % number
        row = need_row(rows, words[0], where)
        if row is None:
            continue
        if row.alias_target is not None:
            fail(where + ": second alias entry for " + row.text)
        row.alias_target = words[1]
        if words[1] not in ("ignored", "removed"):
            need_row(rows, words[1], where)
        if len(words) > 2:
            row.alias_arg = words[2]
        if len(words) > 3:
            row.neg_alias_arg = words[3]
        if len(words) > 4:
            fail(where + ": too many fields")


def read_properties(data, rows):
    handled, read_by_driver = set(), set()
    for number, line, words in data_lines(os.path.join(data, "properties.txt")):
        where = "properties.txt:%d" % number
        row = need_row(rows, words[1], where)
        if row is None:
            continue
        key = words[0]
        if key in PROPERTY_BITS:
            row.bits[PROPERTY_BITS[key]] = 1
        elif key == "no-producer-record":
            if not row.flags & FLAG_NO_PRODUCER_RECORD:
                fail(where + ": code of %s lacks N" % row.text)
        elif key == "warning":
            row.warning = words[2]
        elif key == "missing":
            row.missing = words[2]
        elif key == "help":
            row.help = unescape(words[2])
        elif key == "handled":
            handled.add(row.text)
        elif key == "read-by-driver":
            read_by_driver.add(row.text)
        else:
            fail(where + ": unknown property " + key)
    return handled, read_by_driver


def read_negation(data, rows):
    explicit = {}
    selfs = set()
    for number, line, words in data_lines(os.path.join(data, "negation.txt")):
        where = "negation.txt:%d" % number
        for text in words[1:]:
            need_row(rows, text, where)
        if words[0] == "self":
            selfs.update(words[1:])
        elif words[0] == "ring":
            for i, text in enumerate(words[1:]):
                explicit[text] = words[1 + (i + 1) % (len(words) - 1)]
        elif words[0] == "to":
            explicit[words[1]] = words[2]
        else:
            fail(where + ": unknown entry " + words[0])
    self_count = 0
    for row in rows.values():
        if row.text in explicit:
            row.negation = explicit[row.text]
        elif row.text in selfs:
            row.negation = row.text
            self_count += 1
        elif row.text[:2] in ("-W", "-f", "-g", "-m") and not row.bits["rejects_negative"]:
            row.negation = row.text
            self_count += 1
    return self_count


class Enum:
    def __init__(self, kind, options):
        self.kind = kind
        self.options = options
        self.heading = None
        self.message = None
        self.values = []  # (name, value, flags)


def read_enums(data, rows):
    enums = []
    for number, line, words in data_lines(os.path.join(data, "enums.txt")):
        where = "enums.txt:%d" % number
        if words[0] == "enum":
            kind = {"plain": 0, "set": 1, "bitset": 2}.get(words[1])
            if kind is None:
                fail(where + ": unknown enum kind " + words[1])
            options = [w for w in words[2:] if w != "-"]
            enums.append(Enum(kind, options))
            for text in options:
                row = need_row(rows, text, where)
                if row is not None:
                    row.kind, row.value, row.enum = VAR_ENUM, kind, len(enums) - 1
        elif words[0] == "heading":
            enums[-1].heading = words[1]
        elif words[0] == "message":
            enums[-1].message = words[1]
        else:
            flags = 0
            for extra in words[2:]:
                if extra == "driver":
                    flags |= 2
                elif extra.startswith("set="):
                    flags |= int(extra[4:]) << 2
                else:
                    fail(where + ": unknown value flag " + extra)
            enums[-1].values.append((words[0], int(words[1]), flags))
    for e in enums:
        # Lookup by name relies on byte order; the listed order is not trusted.
        e.values.sort(key=lambda v: v[0].encode())
    return enums


def read_variables(data, rows, fields):
    shares = {}
    defaults = {}
    field_rows = {}
    kinded = set()
    for number, line, words in data_lines(os.path.join(data, "variables.txt")):
        where = "variables.txt:%d" % number
        key = words[0]
        if key == "field":
            if words[1] not in fields:
                fail(where + ": no field " + words[1])
            for text in words[2:]:
                if need_row(rows, text, where):
                    field_rows[text] = words[1]
            continue
        row = need_row(rows, words[1], where)
        if row is None:
            continue
        if key in KIND_WORDS:
            if row.text in kinded:
                fail(where + ": second kind for " + row.text)
            kinded.add(row.text)
            row.kind = KIND_WORDS[key]
            if key in ("equal", "bitset", "bitclear"):
                row.value = int(words[2], 0)
        elif key == "share":
            shares[row.text] = words[2]
        elif key == "none":
            row.has_variable = False
        elif key == "default":
            defaults[row.text] = int(words[2], 0)
        else:
            fail(where + ": unknown entry " + key)
    return shares, defaults, field_rows


def read_fields(data):
    fields = []
    for number, line, words in data_lines(os.path.join(data, "fields.txt")):
        fields.append((words[0], words[1]))
    return fields


def read_sanitizers(data):
    return [(w[0], int(w[1], 16), int(w[2]))
            for n, l, w in data_lines(os.path.join(data, "sanitizers.txt"))]


def read_prefixes(data):
    out = []
    for n, l, w in data_lines(os.path.join(data, "prefixes.txt")):
        out.append((w[0], None if w[1] == "none" else w[1], w[2], int(w[3]), int(w[4])))
    return out


def check_counts(order, enums, sanitizers, prefixes, self_count):
    counted = {
        "rows": len(order),
        "aliases": sum(1 for r in order if r.alias_target not in (None, "ignored", "removed")),
        "ignored": sum(1 for r in order if r.alias_target == "ignored"),
        "removed": sum(1 for r in order if r.alias_target == "removed"),
        "back chains": sum(1 for r in order if r.back_chain != len(order)),
        "longest text": max(len(r.text) - 1 for r in order),
        "without variable": sum(1 for r in order if not r.has_variable),
        "ranges": sum(1 for r in order if r.range[1] != -1),
        "self negation": self_count,
        "enums": len(enums),
        "sanitizers": len(sanitizers),
        "prefixes": len(prefixes),
        "warning messages": sum(1 for r in order if r.warning),
    }
    for name, want in EXPECTED.items():
        if counted[name] != want:
            fail("%s: %d, expected %d" % (name, counted[name], want))
    for bit, want in enumerate(LANGUAGE_COUNTS):
        got = sum(1 for r in order if r.flags & (1 << bit))
        if got != want:
            fail("language %s: %d rows, expected %d" % (LANGUAGES[bit], got, want))
    for flag, want in FLAG_COUNTS.items():
        got = sum(1 for r in order if r.flags & flag)
        if got != want:
            fail("flag %#x: %d rows, expected %d" % (flag, got, want))
    for bit, want in BIT_COUNTS.items():
        got = sum(1 for r in order if r.bits[bit])
        if got != want:
            fail("option bit %s: %d rows, expected %d" % (bit, got, want))
    for kind, want in enumerate(KIND_COUNTS):
        got = sum(1 for r in order if r.kind == kind)
        if got != want:
            fail("%s: %d rows, expected %d" % (KIND_NAMES[kind], got, want))


def check_invariants(order, index, enums, handled, read_by_driver):
    none = len(order)
    for i, row in enumerate(order):
        # 1: strictly increasing in byte order.
        if i and not order[i - 1].text.encode() < row.text.encode():
            fail("rows out of order at %s" % row.text)
        # 3: the back chain is the nearest joined prefix.
        for j in range(i - 1, -1, -1):
            if order[j].joined() and row.text.startswith(order[j].text):
                if row.back_chain != j:
                    fail("back chain of %s" % row.text)
                break
        else:
            if row.back_chain != none:
                fail("back chain of %s" % row.text)
        # 4: alias targets are real rows; negative argument only with argument.
        target = row.alias_target
        if target not in (None, "ignored", "removed"):
            if order[index[target]].alias_target is not None:
                fail("alias %s points at alias %s" % (row.text, target))
        if row.neg_alias_arg is not None and row.alias_arg is None:
            fail("%s has a negative alias argument only" % row.text)
        if row.range[1] != -1 and not (row.bits["unsigned_integer"] or row.bits["wide_integer"]
                                       or target not in (None, "ignored", "removed")):
            fail("%s has a range but takes no integer" % row.text)
        if row.kind == VAR_ENUM and row.enum is None:
            fail("%s is an enum option without enumeration" % row.text)
        if (row.bits["argument_optional"] or row.bits["lowercase_argument"]) and not (
                row.flags & (FLAG_JOINED | FLAG_SEPARATE)):
            fail("%s takes no argument" % row.text)
        if row.help is not None and "\t" in row.help and not row.help.split("\t")[0]:
            fail("%s: empty argument form in help" % row.text)
        # The driver stores values for these rows.
        is_alias = target is not None
        drivers = (row.flags & FLAG_DRIVER) and (row.flags & FLAG_COMMON)
        if not row.has_variable and (row.text in read_by_driver or (
                drivers and not is_alias and row.text not in handled)):
            fail("%s needs a variable" % row.text)
        if is_alias and row.has_variable:
            fail("alias %s has a variable" % row.text)
    # 5: enum value lists sorted by name, set numbers from 1.
    for n, e in enumerate(enums):
        names = [v[0] for v in e.values]
        if len(set(names)) != len(names):
            fail("enum %d repeats a name" % n)
        sets = sorted(set(v[2] >> 2 for v in e.values))
        if e.kind == 1 and sets != list(range(1, len(sets) + 1)):
            fail("enum %d: set numbers %s" % (n, sets))
        if e.kind != 1 and sets != [0]:
            fail("enum %d: set numbers outside an enum set" % n)


FIELD_TYPES = {"byte": "unsigned char", "int": "int32_t", "int64": "int64_t",
               "int[3]": "int32_t", "text": "const char *", "bytes": "unsigned char *",
               "list": "vec<char *> *"}
OVERRIDES = ["-funsafe-math-optimizations", "-ftrapping-math", "-fsigned-zeros",
             "-fassociative-math", "-freciprocal-math", "-ffinite-math-only", "-fmath-errno",
             "-fexcess-precision=", "-fsignaling-nans", "-frounding-math",
             "-fcx-limited-range"]


def variable_type(row):
    if row.kind == VAR_STRING:
        return "const char *"
    if row.kind == VAR_DEFERRED:
        return "vec<deferred_option> *"
    if row.bits["wide_integer"]:
        return "int64_t"
    return "int32_t"


def assign_fields(order, index, shares, field_rows, fields, defaults):
    """Names one field per variable (shared rows name their partner's) and
    returns the record's option variables in layout order."""
    variables = []  # (name, type, default)
    by_row = {}
    for row in order:
        if not row.has_variable:
            continue
        if row.text in field_rows:
            row.field = field_rows[row.text]
        elif row.kind == VAR_DEFERRED:
            row.field = "deferred_options"
            if not any(v[0] == row.field for v in variables):
                variables.append((row.field, variable_type(row), 0))
        elif row.text in shares:
            continue
        else:
            row.field = "var_" + mangle(row.text)
            variables.append((row.field, variable_type(row), defaults.get(row.text, 0)))
            by_row[row.text] = len(variables) - 1
    for row in order:
        if row.text in shares:
            partner = shares[row.text]
            if partner not in by_row:
                fail("%s shares a variable with %s, which has none" % (row.text, partner))
                continue
            if variables[by_row[partner]][1] != variable_type(row):
                fail("%s and %s differ in type" % (row.text, partner))
            row.field = variables[by_row[partner]][0]
    for text in defaults:
        if text not in by_row:
            fail("default for %s, which owns no variable" % text)
    names = [v[0] for v in variables] + [f[1] for f in fields]
    if len(set(names)) != len(names):
        fail("two record fields have one name")
    return variables


def emit_codes(out, order, enum_count):
    names = {}
    lines = []
    for i, row in enumerate(order):
        name = "OPT_" + mangle(row.text)
        if name in names:
            fail("%s and %s both make %s" % (names[name], row.text, name))
        names[name] = row.text
        lines.append("  %s = %d," % (name, i))
    n = len(order)
    w = []
    if True:
        w.append("// Generated from options/data by options/gen-option-table.py.\n"
                "#ifndef VUZ_OPTIONS_OPTION_CODES_H\n#define VUZ_OPTIONS_OPTION_CODES_H\n\n"
                "// Row indices of the option table, then the special indices.\n"
                "enum opt_code : unsigned {\n")
        w.append("\n".join(lines) + "\n")
        for k, special in enumerate(["OPTION_NONE", "OPTION_UNKNOWN", "OPTION_IGNORED",
                                     "OPTION_REMOVED", "OPTION_PROGRAM_NAME",
                                     "OPTION_INPUT_FILE"]):
            w.append("  %s = %d,\n" % (special, n + k))
        w.append("};\n\nconstexpr unsigned option_count = %d;\n"
                 "constexpr unsigned option_language_count = %d;\n"
                 "constexpr unsigned option_enum_count = %d;\n\n#endif\n"
                 % (n, len(LANGUAGES), enum_count))
    write_if_changed(os.path.join(out, "option-codes.h"), "".join(w))


def emit_values_header(out, variables, fields, enum_count):
    w = []
    if True:
        w.append("// Generated from options/data by options/gen-option-table.py.\n"
                "#ifndef VUZ_OPTIONS_OPTION_VALUES_H\n#define VUZ_OPTIONS_OPTION_VALUES_H\n\n"
                "#include \"support/vec.h\"\n\n#include <cstdint>\n\n"
                "// One option whose handling waits until the options are all read.\n"
                "struct deferred_option {\n  uint64_t option_index;\n  const char *argument;\n"
                "  int32_t value;\n};\n\n"
                "// The value of every option variable; the explicitly-set twin has the\n"
                "// same layout.\nstruct option_values {\n")
        for name, ctype, default in variables:
            w.append("  %s %s;\n" % (ctype, name))
        for kind, name in fields:
            w.append("  %s %s%s;\n" % (FIELD_TYPES[kind], name, "[3]" if kind == "int[3]" else ""))
        for text in OVERRIDES:
            w.append("  unsigned char frontend_set_%s;\n" % mangle(text))
        w.append("};\n\n"
                "// Every variable at its initial value.\n"
                "extern const option_values option_values_defaults;\n\n"
                "struct option_field_name {\n  const char *name;\n  uint64_t position;\n};\n"
                "// The fields that no option owns, with their positions.\n"
                "extern const option_field_name option_unowned_fields[%d];\n\n"
                "#endif\n" % len(fields))
    write_if_changed(os.path.join(out, "option-values.h"), "".join(w))


def emit_data(out, order, index, enums, sanitizers, prefixes, variables, fields):
    n = len(order)
    w = []
    w.append("// Generated from options/data by options/gen-option-table.py.\n"
             "#include \"options/option-table.h\"\n\n#include <cstddef>\n\n")
    w.append("static_assert(sizeof(option_values) < 0xffff, \"variable locations are 16 bits\");\n\n")
    # Enum accessors and value lists.
    for i, e in enumerate(enums):
        w.append("static void enum_set_%d(void *variable, int value)\n{\n"
                 "  *static_cast<int32_t *>(variable) = value;\n}\n"
                 "static int enum_get_%d(const void *variable)\n{\n"
                 "  return *static_cast<const int32_t *>(variable);\n}\n" % (i, i))
        w.append("static const enum_value_entry enum_values_%d[] = {\n" % i)
        for name, value, flags in e.values:
            w.append("  {%s, %d, %d},\n" % (c_string(name), value, flags))
        w.append("  {nullptr, 0, 0},\n};\n\n")
    w.append("const enum_descriptor option_enums[%d] = {\n" % len(enums))
    for i, e in enumerate(enums):
        w.append("  {%s, %s, enum_values_%d, 4, enum_set_%d, enum_get_%d},\n"
                 % (c_string(e.heading), c_string(e.message), i, i, i))
    w.append("};\n\n")
    w.append("static const char *const language_names[] = {\n")
    for name in LANGUAGES:
        w.append("  %s,\n" % c_string(name))
    w.append("  nullptr,\n};\n\n")
    w.append("const option_descriptor option_rows[%d] = {\n" % n)
    for row in order:
        target = {None: n, "ignored": n + 2, "removed": n + 3}.get(row.alias_target)
        if target is None:
            target = index[row.alias_target]
        negation = index[row.negation] if row.negation is not None else -1
        bits = ", ".join(str(row.bits[b]) for b in OPTION_BITS)
        location = "offsetof(option_values, %s)" % row.field if row.has_variable else "0xffff"
        w.append("  {%s, %s, %s, %s, %s, %s, %d, %d, %d, %d, %#x, {%s}, %s, %d, %s, %d, %d, %d},\n"
                 % (c_string(row.text), c_string(row.help), c_string(row.missing),
                    c_string(row.warning), c_string(row.alias_arg),
                    c_string(row.neg_alias_arg), target, row.back_chain,
                    len(row.text) - 1, negation, row.flags, bits, location,
                    row.enum if row.enum is not None else 0, KIND_NAMES[row.kind],
                    row.value, row.range[0], row.range[1]))
    w.append("};\n\n")
    w.append("const char option_search_texts[] =\n")
    start = 0
    starts = []
    for row in order:
        starts.append(start)
        w.append("  %s\\0\"\n" % c_string(row.text[1:])[:-1])
        start += len(row.text[1:].encode()) + 1
    w.append(";\n\nconst uint32_t option_search_starts[%d] = {\n" % n)
    for i in range(0, n, 12):
        w.append("  %s,\n" % ", ".join(str(s) for s in starts[i:i + 12]))
    w.append("};\n\n")
    # For each byte, the first row whose text (without its '-') begins with
    # that byte or a greater one: the search for a text starts among the rows
    # of its own first byte. The rows are in byte order (main sorts them so).
    firsts = [(row.text[1:].encode() + b"\0")[0] for row in order]
    if firsts != sorted(firsts):
        fail("option rows are not in byte order")
    bounds = []
    for byte in range(257):
        at = 0
        while at < n and firsts[at] < byte:
            at += 1
        bounds.append(at)
    w.append("const uint16_t option_first_byte_rows[257] = {\n")
    for i in range(0, 257, 16):
        w.append("  %s,\n" % ", ".join(str(b) for b in bounds[i:i + 16]))
    w.append("};\n\n")
    w.append("const option_table_layout option_table = {%d, %d, option_rows, language_names};\n\n"
             % (n, len(LANGUAGES)))
    w.append("const sanitizer_entry sanitizer_names[] = {\n")
    for name, mask, recoverable in sanitizers:
        w.append("  {%s, %#x, %d, %d},\n" % (c_string(name), mask, len(name), recoverable))
    w.append("  {nullptr, 0, 0, 0},\n};\n\n")
    w.append("const option_prefix_entry option_prefix_map[%d] = {\n" % len(prefixes))
    for prefix, nxt, repl, more, neg in prefixes:
        w.append("  {%s, %s, %s, %d, %d},\n" % (c_string(prefix), c_string(nxt), c_string(repl),
                                               more, neg))
    w.append("};\n\n")
    w.append("const option_values option_values_defaults =\n"
             "#include \"options/option-values-defaults.inc\"\n    ;\n\n")
    w.append("const option_field_name option_unowned_fields[%d] = {\n" % len(fields))
    for kind, name in fields:
        w.append("  {%s, offsetof(option_values, %s)},\n" % (c_string(name), name))
    w.append("};\n")
    write_if_changed(os.path.join(out, "option-table-data.cc"), "".join(w))


def emit_defaults(out, variables, fields):
    """The initialiser of the default image, apart, so that a record can be
    defined with it as constant data."""
    w = ["// Generated from options/data by options/gen-option-table.py.\n{\n"]
    for name, ctype, default in variables:
        w.append("  %s,\n" % (default if "*" not in ctype else "nullptr"))
    for kind, name in fields:
        w.append("  %s,\n" % ("{0, 0, 0}" if kind == "int[3]" else
                              ("nullptr" if kind in ("text", "bytes", "list") else "0")))
    for text in OVERRIDES:
        w.append("  0,\n")
    w.append("}\n")
    write_if_changed(os.path.join(out, "option-values-defaults.inc"), "".join(w))


def write_if_changed(path, text):
    try:
        with open(path) as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w") as f:
        f.write(text)


def main():
    data, out = sys.argv[1], sys.argv[2]
    rows = read_rows(data)
    read_aliases(data, rows)
    handled, read_by_driver = read_properties(data, rows)
    self_count = read_negation(data, rows)
    enums = read_enums(data, rows)
    fields = read_fields(data)
    shares, defaults, field_rows = read_variables(data, rows, [f[1] for f in fields])
    sanitizers = read_sanitizers(data)
    prefixes = read_prefixes(data)
    for row in rows.values():
        if row.alias_target is not None:
            row.has_variable = False

    order = sorted(rows.values(), key=lambda r: r.text.encode())
    index = {row.text: i for i, row in enumerate(order)}
    for i, row in enumerate(order):
        row.back_chain = len(order)
        text = row.text
        for k in range(len(text) - 1, 0, -1):
            j = index.get(text[:k])
            if j is not None and order[j].joined():
                row.back_chain = j
                break

    check_invariants(order, index, enums, handled, read_by_driver)
    check_counts(order, enums, sanitizers, prefixes, self_count)
    variables = assign_fields(order, index, shares, field_rows, fields, defaults)
    if errors:
        for message in errors:
            print("gen-option-table: " + message, file=sys.stderr)
        sys.exit(1)
    os.makedirs(out, exist_ok=True)
    emit_codes(out, order, len(enums))
    emit_values_header(out, variables, fields, len(enums))
    emit_data(out, order, index, enums, sanitizers, prefixes, variables, fields)
    emit_defaults(out, variables, fields)
    if errors:
        for message in errors:
            print("gen-option-table: " + message, file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
