"""ppdump -traditional-cpp as a user runs it: the text with its linemarkers,
included files, kept comments, definitions, and the exit status."""
import os
import subprocess
import tempfile
import unittest

PPDUMP = os.environ.get("PPDUMP", "ppdump")


def run(args, files):
    """Runs ppdump in a directory holding FILES ({name: text}); "in.S" is
    the input unless the arguments name another."""
    with tempfile.TemporaryDirectory() as directory:
        for name, text in files.items():
            with open(os.path.join(directory, name), "w") as f:
                f.write(text)
        return subprocess.run([PPDUMP, "-traditional-cpp"] + args, cwd=directory,
                              capture_output=True)


def lines(out):
    return out.stdout.decode().splitlines()


class TraditionalText(unittest.TestCase):
    def test_lines_stay_where_they_were(self):
        source = "#define A 1\nA\n\n\n#if 0\n" + "x\n" * 12 + "#endif\nA\n"
        out = run(["in.S"], {"in.S": source})
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(lines(out), ['# 1 "in.S"', "", "1", "", "", '# 19 "in.S"', "1"])

    def test_call_over_lines_is_printed_on_its_first(self):
        out = run(["in.S"], {"in.S": "#define f(a,b) a+b\nf(1,\n2)\nnext\n"})
        self.assertEqual(lines(out), ['# 1 "in.S"', "", "1+ 2", "", "next"])

    def test_included_file_has_its_linemarkers(self):
        out = run(["-x", "assembler-with-cpp", "in.S"],
                  {"in.S": "#include \"regs.h\"\n\tmov R, #1\n",
                   "regs.h": "#define R r4\n\t@ regs.h\n"})
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(lines(out), ['# 1 "in.S"', '# 1 "regs.h" 1', "", "\t@ regs.h",
                                      '# 2 "in.S" 2', "\tmov r4, #1"])

    def test_assembler_hash_lines_stay(self):
        out = run(["-P", "-x", "assembler-with-cpp", "in.S"],
                  {"in.S": "# comment with don't\n#define X 2\n\t.word X # X\n"})
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual([l for l in lines(out) if l], ["# comment with don't", "\t.word 2 # 2"])

    def test_comments_kept_with_c(self):
        source = "a /* one\ntwo */ b\n#define M x /* in M */ y\nM\n"
        self.assertEqual([l for l in lines(run(["-P", "-C", "in.S"], {"in.S": source})) if l],
                         ["a /* one", "two */ b", "x  y"])
        self.assertEqual([l for l in lines(run(["-P", "-CC", "in.S"], {"in.S": source})) if l],
                         ["a /* one", "two */ b", "x /* in M */ y"])
        self.assertEqual([l for l in lines(run(["-P", "in.S"], {"in.S": source})) if l],
                         ["a  b", "x  y"])

    def test_definitions_as_text(self):
        source = "#define f(a, b) a + b \"a\"\n#define O  one  two\n"
        out = run(["-dM", "-undef", "in.S"], {"in.S": source})
        self.assertIn('#define f(a,b) a + b "a"', lines(out))
        self.assertIn("#define O one  two", lines(out))
        kept = run(["-dD", "-P", "-undef", "in.S"], {"in.S": source + "f(1, 2)\n"})
        self.assertEqual([l for l in lines(kept) if l],
                         ['#define f(a,b) a + b "a"', "#define O one  two", '1 +  2 "1"'])

    def test_command_line_definitions(self):
        out = run(["-P", "-DF(x)=[x]", "-DN=3", "-UN", "in.S"], {"in.S": "F(N)\n"})
        self.assertEqual([l for l in lines(out) if l], ["[N]"])

    def test_errors_set_the_exit_status(self):
        cases = [
            ("#define f(x) x\nf(1,\n", "unterminated argument list invoking macro \"f\""),
            ("a /* open", "unterminated comment"),
            ("#define A A\nA\n", "detected recursion whilst expanding macro \"A\""),
            ("#define f(x,) x\n", "syntax error in macro parameter list"),
            ("#if 1\n", "unterminated #if"),
            ("int a = __has_include(\"x.h\");\n",
             "\"__has_include\" used outside of preprocessing directive"),
        ]
        for source, message in cases:
            out = run(["in.S"], {"in.S": source})
            self.assertEqual(out.returncode, 1, source)
            self.assertIn(message, out.stderr.decode(), source)

    def test_imacros_file_is_read_as_text(self):
        # An apostrophe is no unterminated character constant in text.
        out = run(["-P", "-imacros", "m.h", "in.S"],
                  {"m.h": "#define A 1\ndon't\n", "in.S": "A\n"})
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(out.stderr.decode(), "")
        self.assertEqual([l for l in lines(out) if l], ["1"])

    def test_command_line_definition_with_a_comment_over_lines(self):
        # Read before any file is entered: there is no line to advance.
        for mode, expected in (([], "x y"), (["-traditional-cpp"], "xy")):
            out = subprocess.run([PPDUMP, "-P", "-DA=x/*\n*/y", "-"] + mode, input=b"A\n",
                                 capture_output=True)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(out.stdout.decode().strip(), expected)

    def test_token_modes_are_refused(self):
        modes = ("-fdirectives-only", "--tokens", "--locations", "--literals", "--if-values")
        for mode in modes:
            out = run([mode, "in.S"], {"in.S": "#define A 1\nA\n"})
            self.assertEqual(out.returncode, 1, mode)
            self.assertIn("-traditional-cpp", out.stderr.decode(), mode)


if __name__ == "__main__":
    unittest.main()
