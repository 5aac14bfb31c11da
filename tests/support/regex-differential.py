#!/usr/bin/env python3
"""Generates random regular expressions with the expected leftmost-longest
match, worked out with python's re, for regex-differential-test.cc.

Each pattern is built as a tree and written three ways: extended syntax, basic
syntax, and python syntax. Python's search finds the leftmost start (that a
match exists does not depend on which match is preferred); the longest end from
that start is found by asking python for a match that ends exactly there.

Output, one case per line, fields separated by tabs:
  flags  extended-hex  basic-hex  subject-hex  start  end
flags is a sum of 2 (ignore case) and 4 (newline-sensitive); start and end are
-1 when there is no match.
"""
import random
import re
import signal
import sys

ICASE, NEWLINE = 2, 4
LETTERS = "abc"


class Gen:
    def __init__(self, rng):
        self.rng = rng
        self.start_pattern()

    def start_pattern(self):
        self.opened = 0    # groups are numbered by their opening parenthesis
        self.closed = []   # groups a back-reference may name

    def alternation(self, depth):
        n = 1 if self.rng.random() < 0.7 else self.rng.randint(2, 3)
        return ("alt", [self.sequence(depth) for _ in range(n)])

    def sequence(self, depth):
        items = []
        if self.rng.random() < 0.15:
            items.append(("bol",))
        for _ in range(self.rng.randint(1, 3)):
            node = ("rep", self.atom(depth), self.quantifier())
            if node[2] is not None and node[1][0] != "group" and self.rng.random() < 0.15:
                node = ("rep", node, self.quantifier())  # stacked operators
            items.append(node)
        if self.rng.random() < 0.15:
            items.append(("eol",))
        return items

    def atom(self, depth):
        r = self.rng.random()
        if r < 0.45 or depth > 2:
            return ("lit", self.rng.choice(LETTERS[:2] if self.rng.random() < 0.8 else LETTERS))
        if r < 0.55:
            return ("any",)
        if r < 0.75:
            members = self.rng.sample(["a", "b", "c", "a-b", "b-c"], self.rng.randint(1, 2))
            return ("set", self.rng.random() < 0.3, members)
        if r < 0.8 and self.closed:
            return ("backref", self.rng.choice(self.closed))
        self.opened += 1
        number = self.opened
        inner = self.alternation(depth + 1)
        if number <= 9:
            self.closed.append(number)
        return ("group", inner)

    def quantifier(self):
        r = self.rng.random()
        if r < 0.5:
            return None
        if r < 0.65:
            return "*"
        if r < 0.75:
            return "+"
        if r < 0.85:
            return "?"
        low = self.rng.randint(0, 2)
        form = self.rng.randint(0, 2)
        if form == 0:
            return (low, low)
        if form == 1:
            return (low, None)
        return (low, low + self.rng.randint(0, 2))


def render(node, dialect, flags):
    kind = node[0]
    if kind == "alt":
        bar = {"ere": "|", "bre": "\\|", "py": "|"}[dialect]
        return bar.join("".join(render(item, dialect, flags) for item in seq) for seq in node[1])
    if kind in ("bol", "eol"):
        posix = "^" if kind == "bol" else "$"
        if dialect != "py":
            return posix
        return "(?m:%s)" % posix if flags & NEWLINE else "\\A" if kind == "bol" else "\\Z"
    if kind == "lit":
        return node[1]
    if kind == "backref":
        return "\\%d" % node[1]
    if kind == "any":
        return "[^\\n]" if dialect == "py" and flags & NEWLINE else "."
    if kind == "set":
        negated, members = node[1], node[2]
        body = "".join(members)
        if dialect == "py" and negated and flags & NEWLINE:
            body += "\\n"
        return "[" + ("^" if negated else "") + body + "]"
    if kind == "group":
        inner = render(node[1], dialect, flags)
        return "\\(" + inner + "\\)" if dialect == "bre" else "(" + inner + ")"
    if kind == "rep":
        text = render(node[1], dialect, flags)
        q = node[2]
        if q is None:
            return text
        if dialect == "py" and node[1][0] == "rep":
            text = "(?:" + text + ")"  # python refuses a repeated repetition
        if isinstance(q, str):
            return text + ("\\" + q if dialect == "bre" and q in "+?" else q)
        bounds = "%d" % q[0] if q[1] == q[0] else "%d," % q[0] if q[1] is None else "%d,%d" % q
        if dialect == "bre":
            return text + "\\{" + bounds + "\\}"
        return text + "{" + bounds + "}"
    raise ValueError(kind)


def leftmost_longest(python_pattern, flags, subject):
    re_flags = re.DOTALL
    if flags & ICASE:
        re_flags |= re.IGNORECASE
    found = re.compile(python_pattern, re_flags).search(subject)
    if not found:
        return -1, -1
    start = found.start()
    for end in range(len(subject), start - 1, -1):
        tail = "(?:%s)(?=%s\\Z)" % (python_pattern, re.escape(subject[end:]))
        if re.compile(tail, re_flags).match(subject, start):
            return start, end
    raise AssertionError("no end for a match at %d" % start)


class TooSlow(Exception):
    pass


def on_alarm(signum, frame):
    raise TooSlow()


def main():
    # Python's own backtracking can take exponential time on some generated
    # patterns; such cases are dropped rather than waited for.
    signal.signal(signal.SIGALRM, on_alarm)
    seed, count = int(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(seed)
    gen = Gen(rng)
    out = []
    for _ in range(count):
        flags = rng.choice([0, 0, ICASE, NEWLINE])
        gen.start_pattern()
        tree = gen.alternation(0)
        alphabet = "ab" + ("c" if rng.random() < 0.5 else "") + ("\n" if flags & NEWLINE else "")
        alphabet += "AB" if flags & ICASE else ""
        for _ in range(3):
            subject = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 8)))
            signal.setitimer(signal.ITIMER_REAL, 0.5)
            try:
                start, end = leftmost_longest(render(tree, "py", flags), flags, subject)
            except TooSlow:
                continue
            finally:
                signal.setitimer(signal.ITIMER_REAL, 0)
            out.append("%d\t%s\t%s\t%s\t%d\t%d" % (
                flags, render(tree, "ere", flags).encode().hex(),
                render(tree, "bre", flags).encode().hex(), subject.encode().hex(), start, end))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
