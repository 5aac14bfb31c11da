"""The ppdump test program as a user runs it: text output, inspection modes,
options and exit status."""
import json
import os
import subprocess
import tempfile
import unittest

PPDUMP = os.environ.get("PPDUMP", "ppdump")


def run(args, text=None, stdin=None):
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "in.c")
        if text is not None:
            with open(path, "wb") as f:
                f.write(text.encode())
            args = [a if a != "FILE" else path for a in args]
        return subprocess.run([PPDUMP] + args, capture_output=True, input=stdin)


def raw_spellings(output):
    return [line.split("\t")[1] for line in output.decode().splitlines()
            if line.split("\t")[0] != "EOF"]


class TextOutput(unittest.TestCase):
    def test_output_tokenises_to_the_same_tokens(self):
        source = "a+ +b x- -y p/ /q 1 .2 a. .b %: %: <: : c++ +d L 'x' \"s\" e/**/f\n"
        printed = run(["-P", "FILE"], source)
        self.assertEqual(printed.returncode, 0, printed.stderr)
        again = run(["--raw-tokens", "-", "-P"], stdin=printed.stdout)
        first = run(["--raw-tokens", "FILE"], source)
        self.assertEqual(raw_spellings(again.stdout), raw_spellings(first.stdout))

    def test_linemarkers(self):
        out = run(["FILE"], "a\n\n\n\n\n\n\n\n\n\n\nb\n").stdout.decode().splitlines()
        self.assertTrue(out[0].startswith("# 1 \""), out)
        self.assertEqual(out[1], "a")
        self.assertTrue(out[2].startswith("# 12 \""), out)
        self.assertEqual(out[3], "b")
        self.assertNotIn("#", run(["-P", "FILE"], "a\n\n\n\n\n\n\n\n\n\n\nb\n").stdout.decode())

    def test_comments_kept(self):
        out = run(["-P", "-C", "FILE"], "a /* b */ c // d\n").stdout.decode()
        self.assertEqual(out.strip(), "a /* b */ c // d")
        out = run(["-P", "FILE"], "a /* b */ c // d\n").stdout.decode()
        self.assertEqual(out.strip(), "a c")

    def test_standard_input(self):
        out = run(["-P", "-"], stdin=b"x y\n")
        self.assertEqual(out.stdout.decode().strip(), "x y")


class Inspection(unittest.TestCase):
    def test_raw_tokens(self):
        out = run(["--raw-tokens", "-std=c++20", "FILE"], "x<=>y\n").stdout.decode()
        self.assertEqual(out.splitlines(), ["NAME\tx\tLINE_START\t1:1", "OP\t<=>\t-\t1:2",
                                            "NAME\ty\t-\t1:5", "EOF\t\tLINE_START\t2:0"])

    def test_lines_with_notes(self):
        out = run(["--lines", "-trigraphs", "FILE"], "a \\\nb??=\n").stdout.decode()
        self.assertEqual(out.splitlines(), ["1: a b#", "  note 2 splice", "  note 3 ??="])


class Diagnostics(unittest.TestCase):
    def test_error_sets_the_exit_status(self):
        out = run(["FILE"], "a /* open\n")
        self.assertEqual(out.returncode, 1)
        self.assertIn(b"error: unterminated comment", out.stderr)

    def test_warning_alone_exits_zero_and_werror_makes_it_an_error(self):
        source = "a ??= b\n"
        out = run(["-Wtrigraphs", "FILE"], source)
        self.assertEqual(out.returncode, 0)
        self.assertIn(b"warning: trigraph ??= ignored, use -trigraphs to enable [-Wtrigraphs]",
                      out.stderr)
        out = run(["-Wtrigraphs", "-Werror", "FILE"], source)
        self.assertEqual(out.returncode, 1)

    def test_bidi_modes(self):
        source = "// \u202e x\n"
        self.assertIn(b"unpaired UTF-8 bidirectional control character", run(["FILE"], source).stderr)
        self.assertEqual(run(["-Wbidi-chars=none", "FILE"], source).stderr, b"")

    def test_bidi_labels_are_quoted(self):
        err = run(["FILE"], "int x; // \u2066 a \u2067 b\n").stderr.decode()
        self.assertIn("unpaired UTF-8 bidirectional control characters detected", err)
        for label in ("end of bidirectional context", "U+2066 (LEFT-TO-RIGHT ISOLATE)",
                      "U+2067 (RIGHT-TO-LEFT ISOLATE)"):
            self.assertIn(label, err)

    def test_json(self):
        out = run(["-fdiagnostics-format=json", "FILE"], "a /* open\n")
        reports = json.loads(out.stderr.decode())
        self.assertEqual([(r["kind"], r["message"]) for r in reports],
                         [("error", "unterminated comment")])
        self.assertEqual(out.returncode, 1)

    def test_colour(self):
        out = run(["-fdiagnostics-color=always", "FILE"], "a /* open\n")
        self.assertIn(b"\x1b[", out.stderr)

    def test_missing_file(self):
        out = run(["/nonexistent/in.c"])
        self.assertEqual(out.returncode, 1)
        self.assertIn(b"No such file or directory", out.stderr)

    def test_unknown_option(self):
        self.assertEqual(run(["-fno-such-thing", "FILE"], "a\n").returncode, 1)


if __name__ == "__main__":
    unittest.main()
