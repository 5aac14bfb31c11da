#!/usr/bin/env python3
"""Generates the driver's built-in spec texts from driver/data/builtin-specs.txt,
together with what depends only on those texts and would otherwise be worked
out on every run: the "libvuz" and "link" specs as the built-in initialisation
leaves them, every switch name that the built-in specs mention (the switch
validation's answer for an unchanged set of specs), where each condition
body ends, with the body as a string of its own, and each condition read into
its alternatives.

usage: gen-builtin-specs.py DATA-FILE OUTPUT-FILE
"""

import sys

ESCAPES = {"t": "\t", "n": "\n", "\\": "\\", '"': '"'}

EH_FRAME_PREFIX = "%{!static|static-pie:--eh-frame-hdr} "
SYSROOT_PREFIX = "%(sysroot_spec) "


def fail(where, message):
    sys.exit("%s: %s" % (where, message))


def unquote(line, where):
    """The text of one quoted line."""
    if len(line) < 2 or line[0] != '"' or line[-1] != '"':
        fail(where, "a text line is one quoted string")
    out = []
    i = 1
    while i < len(line) - 1:
        c = line[i]
        if c == "\\":
            i += 1
            if line[i] not in ESCAPES:
                fail(where, "unknown escape \\%s" % line[i])
            out.append(ESCAPES[line[i]])
        elif c == '"':
            fail(where, "unescaped quote")
        else:
            out.append(c)
        i += 1
    return "".join(out)


def read_entries(path):
    """[kind, words, text or None, preprocessor text or None] in file order."""
    entries = []
    with open(path, encoding="ascii") as f:
        for number, raw in enumerate(f, 1):
            where = "%s:%d" % (path, number)
            line = raw.rstrip("\n")
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            if not line[0].isspace():
                words = stripped.split()
                entries.append([words[0], words[1:], None, None])
                continue
            if not entries:
                fail(where, "text before the first entry")
            entry = entries[-1]
            if stripped.startswith("preprocessor "):
                if entry[0] != "compiler":
                    fail(where, "only a compiler row has a preprocessor spec")
                entry[3] = (entry[3] or "") + unquote(stripped[len("preprocessor "):], where)
            else:
                entry[2] = (entry[2] or "") + unquote(stripped, where)
    return entries


def replace_text(text, old, new, word_start):
    """Every OLD (at a word start only, when asked) not followed by '_' becomes
    NEW, as the built-in initialisation describes it."""
    out = []
    i = 0
    while i < len(text):
        at_word_start = i == 0 or text[i - 1] == " "
        if ((not word_start or at_word_start) and text.startswith(old, i)
                and text[i + len(old):i + len(old) + 1] != "_"):
            out.append(new)
            i += len(old)
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


# The switch validation's scan, step for step: every atom of every condition
# and removal, with whether it is a prefix.
ATOM_PUNCTUATION = "_+,-.=@"


def is_atom_char(c):
    return (c.isascii() and c.isalnum()) or (c != "" and c in ATOM_PUNCTUATION)


def at(text, i):
    return text[i] if i < len(text) else ""


def skip_blanks(text, i):
    while at(text, i) in (" ", "\t"):
        i += 1
    return i


def scan_condition(text, i, braced, atoms):
    suffix_mode = False
    starred = False
    while True:
        i = skip_blanks(text, i)
        if at(text, i) == "!":
            i = skip_blanks(text, i + 1)
        if at(text, i) in (".", ","):
            suffix_mode = True
            i += 1
        start = i
        while is_atom_char(at(text, i)):
            i += 1
        atom = text[start:i]
        if at(text, i) == "*":
            starred = True
            i += 1
        i = skip_blanks(text, i)
        if not suffix_mode:
            atoms.add((atom, starred))
        if not braced:
            return i
        if at(text, i) in ("&", "|"):
            i += 1
            continue
        if at(text, i) == ":":
            i += 1
            while at(text, i) not in ("", ";", "}"):
                if at(text, i) != "%":
                    while at(text, i) not in ("", "%", ";", "}"):
                        i += 1
                    continue
                i += 1
                if at(text, i) == "{" or (at(text, i) in ("@", "W") and at(text, i + 1) == "{"):
                    i = scan_condition(text, i + (1 if at(text, i) == "{" else 2), True, atoms)
                    continue
                if at(text, i) == "<":
                    i = scan_condition(text, i + 1, False, atoms)
                    continue
                if at(text, i) != "":
                    i += 1
            if at(text, i) == ";" and at(text, i + 1) != "":
                i += 1
                continue
            if at(text, i) == "}":
                i += 1
            return i
        if at(text, i) == "}":
            i += 1
        return i


def scan_text(text, atoms):
    i = 0
    while True:
        i = text.find("%", i)
        if i < 0:
            return
        i += 1
        c = at(text, i)
        if c == "{":
            i = scan_condition(text, i + 1, True, atoms)
        elif c in ("@", "W") and at(text, i + 1) == "{":
            i = scan_condition(text, i + 2, True, atoms)
        elif c == "<":
            i = scan_condition(text, i + 1, False, atoms)
        elif c != "":
            i += 1


def body_end(text, i):
    """Where a condition body starting at I ends (the '}' or ';' at its own
    level) and whether a "%*" stands at that level, as the interpreter finds
    them; None when the text ends first."""
    depth = 0
    own_star = False
    while i < len(text):
        c = text[i]
        if c == "{":
            depth += 1
        elif c == "}":
            if depth == 0:
                return i, own_star
            depth -= 1
        elif c == ";":
            if depth == 0:
                return i, own_star
        elif c == "\\":
            if i + 1 < len(text):
                i += 1
        elif c == "%":
            following = at(text, i + 1)
            if following == "*" and depth == 0:
                own_star = True
            if following in ("*", "%"):
                i += 1
        i += 1
    return None


# The log of the bytes of text per entry of the bucket tables, as
# BUILTIN_BUCKET_BITS and BUILTIN_CONDITION_BUCKET_BITS say in driver/specs.h:
# conditions stand close together, and every run looks many up.
BUCKET_BITS = 6
CONDITION_BUCKET_BITS = 4


def add_pieces(texts):
    """The pieces of the texts that the interpreter expands as strings of
    their own: every place after a ':' that is not a function call could
    start a body, and every function call has its arguments. Each piece is
    added as a text, whose pieces are added in turn. Returns the bodies and
    the calls: each body as (start, end, the piece's text, whether a "%*"
    stands at the body's own level), each call as (where its name starts,
    its '(', its closing ')', the text of its arguments)."""
    bodies = []
    calls = []
    done = 0
    while done < len(texts.parts):
        text = texts.parts[done]
        base = texts.offsets[text]
        done += 1
        for i, c in enumerate(text):
            if c != ":":
                continue
            if i > 0 and text[i - 1] == "%":
                end = function_call_end(text, i + 1)
                if end is not None:
                    opening = text.index("(", i + 1)
                    texts.add(text[opening + 1:end - 1])
                    calls.append((base + i + 1, base + opening, base + end - 1,
                                  texts.offsets[text[opening + 1:end - 1]]))
                continue
            found = body_end(text, i + 1)
            if found is None:
                continue
            end, own_star = found
            trimmed = end
            while trimmed > i + 1 and text[trimmed - 1] in (" ", "\t"):
                trimmed -= 1
            texts.add(text[i + 1:trimmed])
            bodies.append((base + i + 1, base + end, texts.offsets[text[i + 1:trimmed]], own_star))
    return sorted(bodies), sorted(calls)


# The kinds and flags of an alternative, as driver/specs.h names them.
ALT_SWITCH, ALT_SUFFIX, ALT_LANGUAGE, ALT_FUNCTION, ALT_OTHERWISE = range(5)
ALT_NEGATED, ALT_STARRED, ALT_ENDS_CHOICE, ALT_OWN_STAR = 1, 2, 4, 8
# The forms of a condition, as driver/specs.h names them.
CONDITION_TEST, CONDITION_COPY, CONDITION_UNLESS = range(3)


def is_function_name_char(c):
    return (c.isascii() and c.isalnum()) or c in ("-", "_")


def function_call_end(text, i):
    """Where a spec function call NAME(ARGS) starting at I ends, as the call
    reads it; None where reading it ends in an error."""
    while at(text, i) != "(":
        if not is_function_name_char(at(text, i)):
            return None
        i += 1
    depth = 0
    while i < len(text):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    return None


def read_condition(text, i, texts):
    """A condition whose text starts at I (after its '{'), read as the
    interpreter reads it: (end, copy form, alternatives), each alternative
    [kind, flags, atom start, atom length, body end, body copy]. None where
    the reading could end in an error, or depends on the switches, or the
    atom holds escapes: the interpreter reads those itself."""
    alternatives = []
    copy_form = choice_seen = more_choices = otherwise_seen = False
    choice_all_starred = True
    choice_start = 0
    while True:
        i = skip_blanks(text, i)
        flags = 0
        if at(text, i) == "!":
            flags |= ALT_NEGATED
            i = skip_blanks(text, i + 1)
        if at(text, i) == "%" and at(text, i + 1) == ":":
            kind = ALT_FUNCTION
            start = i + 2
            i = function_call_end(text, start)
            if i is None:
                return None
            length = i - start
        else:
            kind = ALT_SWITCH
            if at(text, i) == ".":
                kind = ALT_SUFFIX
                i += 1
            elif at(text, i) == ",":
                kind = ALT_LANGUAGE
                i += 1
            start = i
            while is_atom_char(at(text, i)):
                i += 1
            if at(text, i) == "\\":
                return None
            length = i - start
            if at(text, i) == "*":
                flags |= ALT_STARRED
                i += 1
        i = skip_blanks(text, i)
        separator = at(text, i)
        if separator not in ("&", "}", "|", ":"):
            return None
        empty = kind != ALT_FUNCTION and length == 0
        if separator in ("&", "}"):
            if (choice_seen or more_choices or flags & ALT_NEGATED or kind != ALT_SWITCH
                    or empty):
                return None
            copy_form = True
            alternatives.append([kind, flags, start, length, 0, 0])
            i += 1
            if separator == "}":
                return i, True, alternatives
            continue
        if copy_form or otherwise_seen:
            return None
        choice_seen = True
        if empty:
            # After an alternative of its own choice it is an error or not
            # by what that alternative found.
            if (not more_choices or separator != ":" or flags or kind != ALT_SWITCH
                    or len(alternatives) > choice_start):
                return None
            otherwise_seen = True
            choice_all_starred = False
            kind = ALT_OTHERWISE
        else:
            if kind in (ALT_SUFFIX, ALT_LANGUAGE) and flags & ALT_STARRED:
                return None
            if not flags & ALT_STARRED:
                choice_all_starred = False
        alternatives.append([kind, flags, start, length, 0, 0])
        i += 1
        if separator == "|":
            continue
        found = body_end(text, i)
        if found is None:
            return None
        end, own_star = found
        if own_star and not choice_all_starred:
            return None
        trimmed = end
        while trimmed > i and text[trimmed - 1] in (" ", "\t"):
            trimmed -= 1
        alternative = alternatives[-1]
        alternative[1] |= ALT_ENDS_CHOICE | (ALT_OWN_STAR if own_star else 0)
        alternative[4] = end
        alternative[5] = texts.offsets[text[i:trimmed]]
        i = end
        if text[i] == "}":
            return i + 1, False, alternatives
        more_choices = True
        choice_all_starred = True
        choice_start = len(alternatives)
        i += 1


def add_conditions(texts):
    """Every condition the interpreter can meet in the texts, read: those of
    the texts' own level, and any it meets where it reads on character by
    character, inside a call's arguments or a condition left to it."""
    conditions = []
    for text in texts.parts:
        base = texts.offsets[text]
        i = 0
        while i < len(text):
            if text[i] == "\\":
                i += 2
                continue
            if text[i] != "%":
                i += 1
                continue
            opening = i + 1 if at(text, i + 1) == "{" else i + 2
            if at(text, opening) != "{" or (opening == i + 2 and at(text, i + 1) not in "@W"):
                i += 2
                continue
            found = read_condition(text, opening + 1, texts)
            if found is None:
                i = opening + 1
                continue
            end, copy_form, alternatives = found
            form = condition_form(copy_form, alternatives)
            marks = first_marks(text, alternatives, form)
            for alternative in alternatives:
                alternative[2] += base
                if alternative[1] & ALT_ENDS_CHOICE:
                    alternative[4] += base
            conditions.append((base + opening + 1, base + end, form, alternatives, marks))
            i = end
    return conditions


def condition_form(copy_form, alternatives):
    if copy_form:
        return CONDITION_COPY
    if (len(alternatives) == 1 and alternatives[0][0] == ALT_SWITCH
            and alternatives[0][1] & ALT_NEGATED):
        return CONDITION_UNLESS
    return CONDITION_TEST


def first_marks(text, alternatives, form):
    """For a condition that takes nothing unless an atom names a switch (no
    '!', no otherwise, only switch atoms), or the one negated atom of a
    CONDITION_UNLESS, the marks of the atoms' first bytes and first pairs of
    bytes, as first_byte_mark and first_pair_mark in driver/specs.h make
    them: a pair where the atom has two bytes and is no separate form of -D
    or -U. (0, 0) for any other condition."""
    byte_marks = pair_marks = 0
    for kind, flags, start, length, _, _ in alternatives:
        if kind != ALT_SWITCH or (flags & ALT_NEGATED and form != CONDITION_UNLESS):
            return 0, 0
        atom = text[start:start + length].encode("ascii")
        if length >= 2 and atom[0] not in b"DU":
            pair_marks |= 1 << ((atom[0] * 33 + atom[1]) & 31)
        else:
            byte_marks |= 1 << (atom[0] & 31)
    return byte_marks, pair_marks


def bucket_table(name, starts, size, bits_name, bits):
    """The C table NAME: for each run of 1 << BITS bytes of the texts, the
    first of the sorted STARTS that lies in it or later."""
    if starts != sorted(starts):
        fail(name, "records out of order")
    if len(starts) > 0xffff:
        fail(name, "more records than a bucket entry holds")
    rows = ["const uint16_t %s[] = {" % name]
    first = 0
    for bucket in range((size >> bits) + 1):
        while first < len(starts) and starts[first] < bucket << bits:
            first += 1
        rows.append("    %d," % first)
    rows.append("};")
    rows.append("static_assert(sizeof %s / sizeof *%s == (%d >> %s) + 1," % (name, name, size,
                                                                            bits_name))
    rows.append("              \"buckets of %d bytes\");" % (1 << bits))
    rows.append("")
    return rows


def c_string(text):
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('\\"')
        elif c == "\t":
            out.append("\\t")
        elif c == "\n":
            out.append("\\n")
        elif c == "?":
            out.append("\\?")  # no trigraphs
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


class Texts:
    """All texts of the unchanged specs in one array, so that the driver can
    tell them by their address."""

    def __init__(self):
        self.parts = []
        self.offsets = {}
        self.size = 0

    def add(self, text):
        if text not in self.offsets:
            self.offsets[text] = self.size
            self.parts.append(text)
            self.size += len(text.encode("ascii")) + 1
        return "builtin_spec_chars + %d" % self.offsets[text]


def length_index(names):
    """The numbers of the built-in named specs (static rows, then target
    rows) grouped by name length, each group in row order as the list holds
    them, and where each length's group starts."""
    longest = max(len(name) for name in names)
    numbers = sorted(range(len(names)), key=lambda i: len(names[i]))
    starts = [sum(1 for name in names if len(name) < n) for n in range(longest + 2)]
    return ["const uint8_t builtin_spec_numbers_by_length[] = {%s};"
            % ", ".join(str(i) for i in numbers),
            "const uint8_t builtin_spec_length_starts[] = {%s};"
            % ", ".join(str(s) for s in starts),
            "const uint32_t builtin_spec_longest_name = %d;" % longest, ""]


def generate(entries):
    statics, targets, configure, selves, compilers = [], [], [], [], []
    link_command = libvuz_choice = None
    for kind, words, text, preprocessor in entries:
        if kind == "spec":
            statics.append((words[0], words[1] if len(words) > 1 else None, text))
        elif kind == "target":
            targets.append((words[0], text))
        elif kind == "link-command":
            link_command = text
        elif kind == "libvuz-choice":
            libvuz_choice = text
        elif kind == "configure":
            configure.append((words[0], text))
        elif kind == "self":
            selves.append(text or "")
        elif kind == "compiler":
            flags = set(words[1:])
            if not flags <= {"combinable", "preprocessed"}:
                fail(words[0], "unknown compiler row flags %s" % sorted(flags))
            compilers.append((words[0], text, preprocessor,
                              "combinable" in flags, "preprocessed" in flags))
        else:
            fail(kind, "unknown entry")
    if len(statics) != 45 or len(targets) != 5 or len(compilers) != 70 or len(selves) != 8:
        fail("data", "expected 45 named specs, 5 target specs, 70 compiler rows and 8 self specs")
    if link_command is None or libvuz_choice is None:
        fail("data", "the link command and the libvuz choice are required")

    by_name = {name: text for name, _, text in statics}
    archive_form = replace_text(replace_text(libvuz_choice, "-lvuz_eh", "libvuz_eh.a%s", False),
                                "-lvuz", "libvuz.a%s", False)
    libvuz = replace_text(replace_text(by_name["libvuz"], "-lvuz", libvuz_choice, True),
                          "libvuz.a%s", archive_form, True)
    link = EH_FRAME_PREFIX + by_name["link"]

    # The texts switch validation reads when nothing has changed them: every
    # compiler row, every named spec as the built-in initialisation leaves
    # it (the sysroot prefix adds no condition) and the link command.
    texts = Texts()
    unchanged = [text for _, text, _, _, _ in compilers]
    unchanged += [libvuz if name == "libvuz" else link if name == "link" else text
                  for name, _, text in statics if text is not None]
    unchanged += [text for _, text in targets]
    atoms = set()
    for text in unchanged + [link_command]:
        scan_text(text, atoms)
    named_unchanged = sum(1 for _, _, text in statics if text is not None) + len(targets)

    out = ["// Generated by driver/gen-builtin-specs.py from driver/data/builtin-specs.txt.",
           '#include "driver/specs.h"', ""]
    body = []
    # Raw "libvuz" and "link" stay outside the array: as the only values
    # they are not what validation's table was made from.
    raw = {"libvuz": "builtin_raw_libvuz_spec", "link": "builtin_raw_link_spec"}
    body.append("static const char builtin_raw_libvuz_spec[] = %s;" % c_string(by_name["libvuz"]))
    body.append("static const char builtin_raw_link_spec[] = %s;" % c_string(by_name["link"]))
    body.append("")
    body.append("const builtin_spec_text builtin_static_spec_texts[] = {")
    for name, variable, text in statics:
        if name in raw:
            value = raw[name]
        elif text is None:
            value = "nullptr"
        else:
            value = texts.add(text)
        body.append("    {%s, %d, %s, %s}," % (c_string(name), len(name), value,
                                             "&spec_tables." + variable if variable else "nullptr"))
    body.append("    {nullptr, 0, nullptr, nullptr},")
    body.append("};")
    body.append("static_assert(sizeof builtin_static_spec_texts / sizeof *builtin_static_spec_texts ==")
    body.append("              STATIC_SPEC_COUNT + 1, \"the static specs and their records\");")
    body.append("")
    body.append("const builtin_spec_text builtin_target_spec_texts[] = {")
    for name, text in targets:
        body.append("    {%s, %d, %s, nullptr}," % (c_string(name), len(name), texts.add(text)))
    body.append("    {nullptr, 0, nullptr, nullptr},")
    body.append("};")
    body.append("static_assert(sizeof builtin_target_spec_texts / sizeof *builtin_target_spec_texts ==")
    body.append("              TARGET_SPEC_COUNT + 1, \"the target specs and their records\");")
    body.append("")
    body.extend(length_index([name for name, _, _ in statics] + [name for name, _ in targets]))
    body.append("const char *const builtin_libvuz_spec = %s;" % texts.add(libvuz))
    body.append("const char *const builtin_link_spec = %s;" % texts.add(link))
    body.append("const char *const builtin_link_spec_with_sysroot = %s;"
                % texts.add(SYSROOT_PREFIX + link))
    body.append("const char *const builtin_link_command_spec = %s;" % texts.add(link_command))
    body.append("const int builtin_named_text_count = %d;" % named_unchanged)
    body.append("")
    body.append("const builtin_spec_text configure_option_specs[] = {")
    for key, text in configure:
        body.append("    {%s, %d, %s, nullptr}," % (c_string(key), len(key), c_string(text)))
    body.append("    {nullptr, 0, nullptr, nullptr},")
    body.append("};")
    body.append("")
    body.append("const char *const driver_self_specs[] = {")
    body.extend("    %s," % texts.add(text) for text in selves)
    body.append("};")
    body.append("const int driver_self_spec_count = %d;" % len(selves))
    body.append("")
    body.append("// Suffix, spec, extra preprocessor spec, combinable, needs preprocessing.")
    body.append("const compiler_entry builtin_compilers[] = {")
    for suffix, text, preprocessor, combinable, preprocessed in compilers:
        body.append("    {%s, %s, %s, %d, %d}," % (
            c_string(suffix), texts.add(text),
            texts.add(preprocessor) if preprocessor is not None else "nullptr",
            int(combinable), int(preprocessed)))
    body.append("};")
    body.append("const int builtin_compiler_count = %d;" % len(compilers))
    body.append("const uint32_t builtin_compiler_suffix_lengths[] = {%s};"
                % ", ".join(str(len(suffix)) for suffix, _, _, _, _ in compilers))
    body.append("")
    for starred, name in ((False, "builtin_named_switches"), (True, "builtin_named_prefixes")):
        chosen = sorted({atom.encode("ascii") for atom, s in atoms if s == starred})
        body.append("const switch_name builtin_%s[] = {" % name[len("builtin_"):])
        for atom in chosen:
            body.append("    {%s, %d}," % (c_string(atom.decode("ascii")), len(atom)))
        body.append("};")
        body.append("const int %s_count = %d;" % (name, len(chosen)))
        body.append("")

    bodies, calls = add_pieces(texts)
    for table, one, kind, pieces in (("bodies", "body", "builtin_body", bodies),
                                     ("calls", "call", "builtin_call", calls)):
        body.append("// Sorted by where the piece starts in builtin_spec_chars.")
        body.append("const %s builtin_%s[] = {" % (kind, table))
        for piece in pieces:
            body.append("    {%d, %d, %d, %d}," % tuple(int(field) for field in piece))
        body.append("};")
        body.append("const int builtin_%s_count = %d;" % (one, len(pieces)))
        body.append("")
    # A search starts at the first record of its bucket of the text.
    body.extend(bucket_table("builtin_body_buckets", [start for start, _, _, _ in bodies],
                             texts.size, "BUILTIN_BUCKET_BITS", BUCKET_BITS))
    body.extend(bucket_table("builtin_call_buckets",
                             [start for start, _, _, _ in calls], texts.size,
                             "BUILTIN_BUCKET_BITS", BUCKET_BITS))

    conditions = add_conditions(texts)
    alternatives = [a for _, _, _, some, _ in conditions for a in some]
    if len(alternatives) > 0xffff:
        fail("builtin_alternatives", "more alternatives than a condition's entry holds")
    body.append("// Sorted by where the condition starts in builtin_spec_chars.")
    body.append("const builtin_condition builtin_conditions[] = {")
    first = 0
    for start, end, form, some, (byte_marks, pair_marks) in conditions:
        if len(some) > 0xff:
            fail("builtin_conditions", "a condition of more than 255 alternatives")
        body.append("    {%d, %d, %d, %d, %d, 0x%x, 0x%x}," % (start, end, first, len(some), form,
                                                          byte_marks, pair_marks))
        first += len(some)
    body.append("};")
    body.append("const int builtin_condition_count = %d;" % len(conditions))
    body.append("")
    body.append("const builtin_alternative builtin_alternatives[] = {")
    for kind, flags, atom, length, body_end_at, copy in alternatives:
        body.append("    {%d, %d, %d, %d, %d, %d}," % (atom, body_end_at, copy, length, kind,
                                                      flags))
    body.append("};")
    body.append("")
    body.extend(bucket_table("builtin_condition_buckets",
                             [start for start, _, _, _, _ in conditions], texts.size,
                             "BUILTIN_CONDITION_BUCKET_BITS", CONDITION_BUCKET_BITS))

    out.append("const char builtin_spec_chars[] =")
    for part in texts.parts:
        out.append("    %s \"\\0\"" % c_string(part))
    out.append("    ;")
    out.append("const size_t builtin_spec_chars_size = %d;" % texts.size)
    out.append("")
    return "\n".join(out + body) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source = generate(read_entries(sys.argv[1]))
    with open(sys.argv[2], "w") as f:
        f.write(source)


if __name__ == "__main__":
    main()
