#!/usr/bin/env python3
"""Random valid macro programs, expanded by ppdump and by clang -E -P.

Each program defines a handful of object-like and function-like macros
(with "#", "##", variadic parameters and __VA_OPT__, bodies naming other
macros and themselves, macros that stand for "(" and ")" or for the name of
a function-like macro) and then uses them: nested invocations, empty
arguments, names of function-like macros that an expansion produces, and
_Pragma. Both outputs are re-tokenised by ppdump --raw-tokens and compared
token by token. Programs are run many to a file, each ending in a marker
line; a file that differs is split into its programs, and each differing
program is minimised (lines, then the tokens of its last line) before it is
shown. Differences listed in ALLOWED are counted apart; any other fails.

  macro-differential.py --ppdump PATH [--clang PATH] [--seed N] [--count N]
                        [--batch N] [--show N]
Exit status 0 when every program agrees, 1 otherwise, 77 without clang.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

# Where clang departs from the standard, the standard's paragraph and why
# ours gives the standard's result. Each entry is a predicate over the
# program's text.
ALLOWED = {}

MARKER = "END_OF_PROGRAM_"
DIALECT = ["-std=c++20"]


class Program:
    """One generated program: its definitions and the lines that use them."""

    def __init__(self, rng):
        self.rng = rng
        self.lines = []
        self.object_names = []
        self.function_macros = {}  # name -> (parameter names, variadic, pastes)
        self.counter = 0

    def fresh(self, prefix):
        self.counter += 1
        return "%s%d" % (prefix, self.counter)

    # ---- Bodies ----

    def atom(self):
        rng = self.rng
        choice = rng.random()
        names = self.object_names + list(self.function_macros)
        if choice < 0.35 and names:
            return rng.choice(names)
        if choice < 0.55:
            return rng.choice(["a", "b", "c", "x", "y"])
        if choice < 0.7:
            return str(rng.randint(0, 9))
        if choice < 0.85:
            return rng.choice(["+", "-", "*", ",", "(", ")", "[", "]", ";", "=", "<", ">", "!"])
        return rng.choice(['"s"', "'c'", "1.5", "..."])

    def body(self, parameters, variadic, name, pastes):
        rng = self.rng
        parts = []
        for _ in range(rng.randint(0, 6)):
            choice = rng.random()
            if parameters and choice < 0.3:
                parts.append(rng.choice(parameters))
            elif parameters and choice < 0.4:
                parts.append("#" + rng.choice(parameters))
            elif pastes and choice < 0.55:
                # Operands that always paste to a valid token.
                left = rng.choice(pastes + ["p", "q1"])
                right = rng.choice(pastes + ["r", "2"])
                parts.append("%s ## %s" % (left, right))
            elif variadic and choice < 0.65:
                inner = " ".join(self.atom_or_parameter(parameters)
                                 for _ in range(rng.randint(0, 3)))
                parts.append(("#" if rng.random() < 0.15 else "") + "__VA_OPT__(%s)" % inner)
            elif choice < 0.7:
                parts.append(name)
            else:
                parts.append(self.atom())
        return " ".join(parts)

    def atom_or_parameter(self, parameters):
        if parameters and self.rng.random() < 0.4:
            return self.rng.choice(parameters)
        atom = self.atom()
        return atom if atom not in ("(", ")", ",") else "z"

    # ---- Definitions ----

    def define_object(self):
        name = self.fresh("O")
        body = self.body([], False, name, [])
        self.lines.append("#define %s %s" % (name, body))
        self.object_names.append(name)

    def define_function(self):
        rng = self.rng
        name = self.fresh("F")
        count = rng.randint(0, 3)
        parameters = ["p%d" % i for i in range(count)]
        variadic = rng.random() < 0.35
        listed = list(parameters)
        if variadic:
            listed.append("...")
        # Parameters given only names or numbers may be pasted.
        pastes = [p for p in parameters if rng.random() < 0.5]
        usable = parameters + (["__VA_ARGS__"] if variadic else [])
        body = self.body(usable, variadic, name, pastes)
        self.lines.append("#define %s(%s) %s" % (name, ", ".join(listed), body))
        self.function_macros[name] = (parameters, variadic, pastes)

    def define_helpers(self):
        self.lines.append("#define LP (")
        self.lines.append("#define RP )")
        self.lines.append("#define COMMA ,")
        self.lines.append("#define EMPTY")
        # Not among the atoms: a stray "(" would leave an invocation open.
        self.object_names += ["EMPTY"]
        if self.function_macros:
            target = self.rng.choice(list(self.function_macros))
            self.lines.append("#define NAME_OF %s" % target)
            self.lines.append("#define DELAY(x) x")
            self.object_names.append("NAME_OF")
            self.function_macros["DELAY"] = (["x"], False, [])

    # ---- Uses ----

    def argument(self, pasted, depth):
        rng = self.rng
        if pasted:
            return rng.choice(["", "a", "b1", "7", "x"] + self.object_names[:3])
        choice = rng.random()
        if choice < 0.15:
            return ""
        if choice < 0.4 and depth < 3:
            return self.invocation(depth + 1)
        words = []
        for _ in range(rng.randint(1, 3)):
            atom = self.atom()
            # A parenthesised group only now and then: after a name that an
            # expansion makes function-like, it is an invocation.
            words.append(atom if atom not in ("(", ")", ",") else
                         "(1)" if rng.random() < 0.2 else "z")
        return " ".join(words)

    def invocation(self, depth=0):
        rng = self.rng
        if not self.function_macros or rng.random() < 0.25:
            return rng.choice(self.object_names) if self.object_names else "a"
        name = rng.choice(list(self.function_macros))
        parameters, variadic, pastes = self.function_macros[name]
        arguments = [self.argument(p in pastes, depth) for p in parameters]
        if variadic:
            arguments += [self.argument(False, depth) for _ in range(rng.randint(0, 2))]
        if not parameters and not variadic:
            arguments = []
        opening, closing = ("LP ", " RP") if rng.random() < 0.1 and depth == 0 else ("(", ")")
        if opening == "LP ":
            # Parentheses from macros need a name produced by an expansion.
            return "DELAY(%s) LP %s RP" % (name, ", ".join(arguments)) \
                if "DELAY" in self.function_macros else name
        return "%s%s%s%s" % (name, opening, ", ".join(arguments), closing)

    def use_line(self):
        rng = self.rng
        pieces = []
        for _ in range(rng.randint(1, 4)):
            choice = rng.random()
            if choice < 0.08:
                pieces.append('_Pragma("message(\\"m\\")")')
            elif choice < 0.15 and "DELAY" in self.function_macros:
                pieces.append("DELAY(NAME_OF) " + rng.choice(["x", ";", "RP"]))
            else:
                pieces.append(self.invocation())
        return " ".join(pieces) + " ;"

    def generate(self):
        rng = self.rng
        for _ in range(rng.randint(1, 4)):
            if rng.random() < 0.4:
                self.define_object()
            else:
                self.define_function()
        self.define_helpers()
        for _ in range(rng.randint(1, 3)):
            self.lines.append(self.use_line())
        return self

    def undefines(self):
        names = set()
        for line in self.lines:
            if line.startswith("#define "):
                names.add(line.split()[1].split("(")[0])
        return ["#undef %s" % n for n in sorted(names)]


# ---- Running ----

def tokens(ppdump, command, text):
    """The tokens of the output, None when the program is refused."""
    out = subprocess.run(command + ["-"], input=text.encode(), capture_output=True)
    if out.returncode != 0:
        return None
    again = subprocess.run([ppdump, "--raw-tokens", "-"], input=out.stdout, capture_output=True)
    result = []
    for line in again.stdout.decode(errors="replace").splitlines():
        fields = line.split("\t")
        if len(fields) > 1 and fields[0] != "EOF":
            result.append(fields[1])
    return result


def outputs(options, text):
    ours = tokens(options.ppdump, [options.ppdump, "-P", "-undef"] + DIALECT, text)
    theirs = tokens(options.ppdump, [options.clang, "-E", "-P", "-undef", "-x", "c++",
                                     "-Wno-everything"] + DIALECT, text)
    return ours, theirs


def split_programs(token_list, count):
    groups = [[] for _ in range(count)]
    index = 0
    for token in token_list:
        if token.startswith(MARKER):
            index = int(token[len(MARKER):]) + 1
            continue
        if index < count:
            groups[index].append(token)
    return groups


def differs(options, lines):
    """True when both take the program and their tokens differ."""
    ours, theirs = outputs(options, "\n".join(lines) + "\n")
    return ours is not None and theirs is not None and ours != theirs


def minimise(options, lines):
    """Drops lines, then the tokens of the use lines, while it still differs."""
    changed = True
    while changed:
        changed = False
        for i in range(len(lines)):
            trial = lines[:i] + lines[i + 1:]
            if trial and differs(options, trial):
                lines = trial
                changed = True
                break
    for i, line in enumerate(lines):
        if line.startswith("#"):
            continue
        words = line.split(" ")
        j = 0
        while j < len(words):
            trial_words = words[:j] + words[j + 1:]
            trial = lines[:i] + [" ".join(trial_words)] + lines[i + 1:]
            if differs(options, trial):
                words = trial_words
                lines = trial
            else:
                j += 1
    return lines


def allowed_reason(text):
    for reason, test in ALLOWED.items():
        if test(text):
            return reason
    return None


def run_batch(options, programs):
    """The programs of the batch whose outputs differ, or that either side
    refuses; a refused batch is halved until the refused programs stand
    alone."""
    text = []
    for i, program in enumerate(programs):
        text += program.lines + program.undefines() + ["%s%d" % (MARKER, i)]
    ours, theirs = outputs(options, "\n".join(text) + "\n")
    if ours is None or theirs is None:
        if len(programs) == 1:
            return programs
        half = len(programs) // 2
        return run_batch(options, programs[:half]) + run_batch(options, programs[half:])
    ours = split_programs(ours, len(programs))
    theirs = split_programs(theirs, len(programs))
    return [programs[i] for i in range(len(programs)) if ours[i] != theirs[i]]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ppdump", required=True)
    parser.add_argument("--clang", default="clang")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--batch", type=int, default=100)
    parser.add_argument("--show", type=int, default=5)
    options = parser.parse_args()
    clang = shutil.which(options.clang)
    if clang is None:
        print("clang is not installed: skipped")
        return 77
    options.clang = clang
    rng = random.Random(options.seed)
    programs = [Program(rng).generate() for _ in range(options.count)]
    failing = []
    counted = {}
    for start in range(0, len(programs), options.batch):
        batch = programs[start:start + options.batch]
        for program in run_batch(options, batch):
            lines = program.lines
            ours, theirs = outputs(options, "\n".join(lines) + "\n")
            if ours is None or theirs is None:
                refused = "ppdump" if ours is None else "clang"
                counted["refused by " + refused] = counted.get("refused by " + refused, 0) + 1
                if ours is None and theirs is not None:
                    failing.append(lines)
                continue
            if ours == theirs:
                continue  # a difference only beside the other programs
            reason = allowed_reason("\n".join(lines))
            if reason:
                counted["allowed " + reason] = counted.get("allowed " + reason, 0) + 1
            else:
                failing.append(lines)
    for lines in failing[:options.show]:
        small = minimise(options, lines)
        text = "\n".join(small) + "\n"
        ours, theirs = outputs(options, text)
        print("--- differs:\n%s  ours:   %s\n  clang:  %s" % (text, " ".join(ours), " ".join(theirs)))
    for reason, number in sorted(counted.items()):
        print("%s: %d" % (reason, number))
    print("%d programs, %d differ" % (len(programs), len(failing)))
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main())
