"""The ppdump test program as a user runs it: text output, inspection modes,
options and exit status."""
import json
import os
import shutil
import stat
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


# What -dM shows after -undef in the default dialects.
STANDARD_BOTH = {"#define __STDC__ 1", "#define __STDC_HOSTED__ 1", "#define __STDC_UTF_16__ 1",
                 "#define __STDC_UTF_32__ 1"}
STANDARD_C17 = STANDARD_BOTH | {"#define __STDC_VERSION__ 201710L"}


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

    def test_blanks_only_where_written_or_where_tokens_would_paste(self):
        # (source, options, the printed line)
        cases = [
            ("1+1 20-2 a=b x [ y ]\n", [], "1+1 20-2 a=b x [ y ]"),
            ("#define plus +\n+plus -plus\n", [], "+ + -+"),
            ("#define E 1e\nE+1\n", [], "1e +1"),
            ("#define id(x) x\nid(a)id(b) x=id(=) id(-)-\n", [], "a b x= = - -"),
            ('#define cat(a,b) a ## b\ncat("",c)\n', ["-std=c17"], '"" c'),
            ('#define cat(a,b) a ## b\ncat("",c)\n', ["-x", "c++", "-std=c++98"], '"" c'),
            ('#define s ""\ns x\ns(x)\n', ["-x", "c++", "-std=c++11"], '"" x ""(x)'),
        ]
        for source, options, expected in cases:
            out = run(["-P"] + options + ["FILE"], source)
            lines = [line for line in out.stdout.decode().splitlines() if line]
            self.assertEqual(" ".join(lines), expected, source)

    def test_name_of_a_function_like_macro_not_invoked_keeps_the_blank_after_it(self):
        # The name comes from one argument, what follows it from another.
        source = ("#define f(x) x\n#define g(x, y) x y\n#define S(...) #__VA_ARGS__\n"
                  "#define E(...) S(__VA_ARGS__)\n#define k(x, ...) E(x __VA_ARGS__)\n"
                  "g(f,1.5) g(f,+) g(f,-1)\nk(f,1 2)\n")
        out = run(["-P", "FILE"], source)
        lines = [line for line in out.stdout.decode().splitlines() if line]
        self.assertEqual(lines, ["f 1.5 f + f -1", '"f 1 2"'])

    def test_linemarkers(self):
        out = run(["FILE"], "a\n\n\n\n\n\n\n\n\n\n\nb\n").stdout.decode().splitlines()
        self.assertTrue(out[0].startswith("# 1 \""), out)
        self.assertEqual(out[1], "a")
        self.assertTrue(out[2].startswith("# 12 \""), out)
        self.assertEqual(out[3], "b")
        self.assertNotIn("#", run(["-P", "FILE"], "a\n\n\n\n\n\n\n\n\n\n\nb\n").stdout.decode())

    def test_linemarkers_quote_file_names_and_count_lines_unsigned(self):
        source = ('#line 6 "a\\"q.c"\nx\n#line 7 "b\\\\c.h"\ny\n# 1 "i\\"h.h" 1\nz\n'
                  '# 8 "b\\\\c.h" 2\nw\n#line 2147483647\nu\n' + "\n" * 10 +
                  'v\n# 4000000000 "z.c"\nt\n')
        out = run(["FILE"], source)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(out.stdout.decode().splitlines()[1:], [
            '# 6 "a\\"q.c"', 'x', '# 7 "b\\\\c.h"', 'y', '# 1 "i\\"h.h" 1', 'z',
            '# 8 "b\\\\c.h" 2', 'w', '# 2147483647 "b\\\\c.h"', 'u',
            '# 2147483658 "b\\\\c.h"', 'v', '# 4000000000 "z.c"', 't'])

    def test_linemarker_flags_are_kept(self):
        # A system header of C linkage keeps its 4 after the 3.
        source = 'a\n# 1 "foo.h" 1 3 4\nx\n# 1 "bar.h" 1 3\ny\n# 3 "foo.h" 2 3 4\nz\n'
        out = run(["FILE"], source).stdout.decode().splitlines()
        self.assertEqual([line for line in out if line.startswith("# ")][1:4],
                         ['# 1 "foo.h" 1 3 4', '# 1 "bar.h" 1 3', '# 3 "foo.h" 2 3 4'])

    def test_comments_kept(self):
        out = run(["-P", "-C", "FILE"], "a /* b */ c // d\n").stdout.decode()
        self.assertEqual(out.strip(), "a /* b */ c // d")
        out = run(["-P", "FILE"], "a /* b */ c // d\n").stdout.decode()
        self.assertEqual(out.strip(), "a c")

    def test_directives_only_copies_text_and_keeps_definitions(self):
        source = "#define N 1 /* one */\nint a = N; // N\n#if N\n  x  /* # */ y\n#else\nz\n#endif\n"
        out = run(["-undef", "-P", "-fdirectives-only", "FILE"], source)
        self.assertEqual(out.returncode, 0, out.stderr)
        lines = out.stdout.decode().splitlines()
        self.assertIn("#define N 1", lines)
        self.assertIn("int a = N; // N", lines)
        self.assertIn("  x  /* # */ y", lines)
        self.assertNotIn("z", lines)
        marked = run(["-undef", "-fdirectives-only", "FILE"], "#define A\n" + "\n" * 20 + "b\n")
        # The text is copied with its empty lines, so b stays on line 22.
        self.assertEqual(marked.stdout.decode().splitlines().index("b"), 22)

    def test_directives_only_reports_unterminated_comment(self):
        out = run(["-fdirectives-only", "FILE"], "a /* open")
        self.assertEqual(out.returncode, 1)
        self.assertIn("unterminated comment", out.stderr.decode())

    def test_directives_only_text_runs_again_as_the_source_does(self):
        # (source, the tokens of a full run)
        cases = [
            # push_macro and pop_macro stay, so a second run restores M.
            ('#define M 1\n#pragma push_macro("M")\n#undef M\n#define M 2\n'
             '#pragma pop_macro("M")\nM\n', ["1"]),
            ('#pragma push_macro("M")\n#define M 2\n#pragma pop_macro("M")\nM\n', ["M"]),
            ('#pragma push_macro("__INCLUDE_LEVEL__")\n#undef __INCLUDE_LEVEL__\n'
             '#define __INCLUDE_LEVEL__ 7\n#pragma pop_macro("__INCLUDE_LEVEL__")\n'
             '__INCLUDE_LEVEL__\n', ["0"]),
            # A splice between "*" and "/" closes the comment.
            ("a /* *\\\n/ b\n#define B 3\nB\n", ["a", "b", "3"]),
        ]
        for source, tokens in cases:
            direct = run(["-undef", "-P", "FILE"], source)
            self.assertEqual((direct.returncode, direct.stdout.decode().split()), (0, tokens))
            staged = run(["-undef", "-P", "-fdirectives-only", "FILE"], source)
            self.assertEqual(staged.returncode, 0, staged.stderr)
            again = run(["-undef", "-P", "FILE"], staged.stdout.decode())
            self.assertEqual((again.returncode, again.stdout.decode().split()), (0, tokens),
                             source)

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


class MacroModes(unittest.TestCase):
    def test_dump_macros(self):
        # -undef keeps the language standard's own macros, as compilers do.
        source = "#define f(a, ...) #a a##__VA_ARGS__\n#define g 1\n#undef g\n"
        cases = [([], STANDARD_C17),
                 (["-x", "c++"], STANDARD_BOTH | {"#define __cplusplus 201703L"})]
        for options, predefined in cases:
            out = run(["-undef", "-dM"] + options + ["FILE"], source)
            self.assertEqual(set(out.stdout.decode().splitlines()),
                             predefined | {"#define f(a,...) #a a ##__VA_ARGS__"}, options)

    def test_definitions_kept_in_the_text(self):
        out = run(["-undef", "-P", "-dD", "FILE"], "#define g 1\ng\n#undef g\ng\n")
        self.assertEqual(out.stdout.decode().split(), ["#define", "g", "1", "1", "#undef", "g", "g"])

    def test_expanded_tokens(self):
        out = run(["--tokens", "FILE"], "#define A(x) x+1\nA(2)\n").stdout.decode()
        self.assertEqual(out.splitlines(), ["NUMBER\t2\t-\t2:1\t2:3", "OP\t+\t-\t2:1\t1:15",
                                            "NUMBER\t1\t-\t2:1\t1:16", "EOF\t\tLINE_START\t3:0\t3:0"])

    def test_report_inside_an_expansion(self):
        # Placed where the token was spelled, or at the expansion point when
        # expansions are not tracked; quoted there.
        text = "#define CAT(a,b) a ## b\n#define G(x) CAT(x, -)\nint y = G(+);\n"
        for level, column in (("2", 11), ("1", 11), ("0", 9)):
            out = run(["-P", "-ftrack-macro-expansion=" + level, "FILE"], text)
            lines = out.stderr.decode().splitlines()
            self.assertTrue(lines[0].endswith(":3:%d: error: pasting \"+\" and \"-\" does not give "
                                              "a valid preprocessing token" % column), lines)
            self.assertEqual(lines[1:3], [" int y = G(+);", " " * column + "^"])
            self.assertEqual(out.returncode, 1)

    def test_location_chains(self):
        out = run(["--locations", "FILE"], "#define A x\n#define B(y) [y A]\nB(z)\n")
        self.assertEqual([line.split("\t", 3)[3] for line in out.stdout.decode().splitlines()],
                         ["3:1\t2:14", "3:3", "3:1\t2:17\t1:11", "3:1\t2:18"])


@unittest.skipIf(shutil.which("make") is None, "make is not installed")
class DependencyRules(unittest.TestCase):
    """make reads the rules back: every awkward file name must come out of
    make's own parse as the name on disk."""

    NAMES = ["my file.h", "cost$.h", "hash#.h", "odd\\ name.h", "plain.h"]

    def make_with_rules(self, directory, rules):
        with open(os.path.join(directory, "Makefile"), "wb") as f:
            f.write(rules)
            f.write(b"\nall:\n\t@echo made\n")
        return subprocess.run(["make", "-s", "all"], cwd=directory, capture_output=True)

    def test_make_finds_every_quoted_name(self):
        # Every prerequisite exists and has no rule: make succeeds only when
        # its parse of each quoted name is the file's name.
        with tempfile.TemporaryDirectory() as directory:
            source = "".join('#include "%s"\n' % n for n in self.NAMES)
            for name in self.NAMES:
                with open(os.path.join(directory, name), "w") as f:
                    f.write("\n")
            with open(os.path.join(directory, "main.c"), "w") as f:
                f.write(source)
            rules = subprocess.run([PPDUMP, "-M", "-MT", "all", "main.c"], cwd=directory,
                                   capture_output=True)
            self.assertEqual(rules.returncode, 0, rules.stderr)
            made = self.make_with_rules(directory, rules.stdout)
            self.assertEqual(made.returncode, 0, rules.stdout + made.stderr)
            # The oracle can fail: the same names unquoted are not found.
            unquoted = ("all: " + " ".join(self.NAMES) + "\n").encode()
            self.assertNotEqual(self.make_with_rules(directory, unquoted).returncode, 0)

    def test_rules_beside_the_text(self):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "x.c"), "w") as f:
                f.write('#include "h.h"\nx\n')
            with open(os.path.join(directory, "h.h"), "w") as f:
                f.write("h\n")
            out = subprocess.run([PPDUMP, "-P", "-MD", "x.c"], cwd=directory, capture_output=True)
            self.assertEqual(out.stdout.decode().split(), ["h", "x"])
            with open(os.path.join(directory, "x.d")) as f:
                self.assertEqual(f.read(), "x.o: x.c h.h\n")
            out = subprocess.run([PPDUMP, "-P", "-MMD", "-MF", "deps.txt", "x.c"], cwd=directory,
                                 capture_output=True)
            with open(os.path.join(directory, "deps.txt")) as f:
                self.assertEqual(f.read(), "x.o: x.c h.h\n")

    def test_missing_header_listed_with_mg(self):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "x.c"), "w") as f:
                f.write('#include "gone.h"\n')
            out = subprocess.run([PPDUMP, "-M", "-MG", "x.c"], cwd=directory, capture_output=True)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(out.stdout.decode(), "x.o: x.c gone.h\n")
            out = subprocess.run([PPDUMP, "-M", "x.c"], cwd=directory, capture_output=True)
            self.assertEqual(out.returncode, 1)

    def test_quoted_target_and_default_target(self):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "x.c"), "w") as f:
                f.write("x\n")
            out = subprocess.run([PPDUMP, "-M", "-MQ", "a b$", "x.c"], cwd=directory,
                                 capture_output=True)
            self.assertEqual(out.stdout.decode(), "a\\ b$$: x.c\n")
            out = subprocess.run([PPDUMP, "-M", "x.c"], cwd=directory, capture_output=True)
            self.assertEqual(out.stdout.decode(), "x.o: x.c\n")

    def test_module_rules(self):
        """-Mmodules adds the rules of the modules a unit imports and
        provides; -Mno-modules, or no -Mmodules, leaves the unit's rule."""
        module = ["--module=m", "--module-file=m.cmi", "--import=x", "--import=y:p"]
        cases = [
            (["-Mmodules"] + module,
             "u.o m.cmi: u.cc\nu.o m.cmi: x.c++m y:p.c++m\n"
             "m.c++m: m.cmi\n.PHONY: m.c++m\nm.cmi:| u.o\n"
             "CXX_IMPORTS += x.c++m y:p.c++m\n"),
            (["-Mmodules", "-Mno-modules"] + module, "u.o: u.cc\n"),
            (module, "u.o: u.cc\n"),
            (["-Mmodules", "-fmodule-header", "--module-file=u.cmi"],
             "u.o u.cmi: u.cc\n./u.cc.c++m: u.cmi\n.PHONY: ./u.cc.c++m\n"),
        ]
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "u.cc"), "w") as f:
                f.write("x\n")
            for options, expected in cases:
                out = subprocess.run([PPDUMP, "-M"] + options + ["u.cc"], cwd=directory,
                                     capture_output=True)
                self.assertEqual(out.stdout.decode(), expected, options)


STANDARD_DEFINITIONS = """#define x 3
#define f(a) f(x * (a))
#undef x
#define x 2
#define g f
#define z z[0]
#define h g(~
#define m(a) a(w)
#define w 0,1
#define t(a) a
#define p() int
#define q(x) x
#define r(x,y) x ## y
#define str(x) # x
"""

# The C standard's examples of macro replacement: rescanning, "#" and "##",
# variadic macros and __VA_OPT__, each compared with clang -E.
STANDARD_EXAMPLES = [
    STANDARD_DEFINITIONS + "f(y+1) + f(f(z)) % t(t(g)(0) + t)(1);\n"
    "g(x+(3,4)-w) | h 5) & m\n(f)^m(m);\n"
    "p() i[q()] = { q(1), r(2,3), r(4,), r(,5), r(,) };\n"
    "char c[2][6] = { str(hello), str() };\n",
    "#define str(s) # s\n#define xstr(s) str(s)\n"
    "#define debug(s, t) printf(\"x\" # s \"= %d, x\" # t \"= %s\", x ## s, x ## t)\n"
    "#define INCFILE(n) vers ## n\n#define glue(a, b) a ## b\n#define xglue(a, b) glue(a, b)\n"
    "#define HIGHLOW \"hello\"\n#define LOW LOW \", world\"\n"
    "debug(1, 2);\nfputs(str(strncmp(\"abc\\0d\", \"abc\", '\\4') // this goes away\n"
    "== 0) str(: @\\n), s);\nxstr(INCFILE(2).h)\nglue(HIGH, LOW);\nxglue(HIGH, LOW)\n",
    "#define hash_hash # ## #\n#define mkstr(a) # a\n#define in_between(a) mkstr(a)\n"
    "#define join(c, d) in_between(c hash_hash d)\nchar p[] = join(x, y);\n",
    "#define t(x,y,z) x ## y ## z\nint j[] = { t(1,2,3), t(,4,5), t(6,,7), t(8,9,),\n"
    "t(10,,), t(,11,), t(,,12), t(,,) };\n",
    "#define OBJ_LIKE (1-1)\n#define OBJ_LIKE /* white space */ (1-1) /* other */\n"
    "#define FUNC_LIKE(a) ( a )\n#define FUNC_LIKE( a )( /* note the white space */ \\\n"
    "a /* other stuff on this line\n */ )\nOBJ_LIKE FUNC_LIKE(3)\n",
    "#define debug(...) fprintf(stderr, __VA_ARGS__)\n"
    "#define showlist(...) puts(#__VA_ARGS__)\n"
    "#define report(test, ...) ((test)?puts(#test): printf(__VA_ARGS__))\n"
    "debug(\"Flag\");\ndebug(\"X = %d\\n\", x);\nshowlist(The first, second, and third items.);\n"
    "report(x>y, \"x is %d but y is %d\", x, y);\n",
    "#define F(...) f(0 __VA_OPT__(,) __VA_ARGS__)\n#define G(X, ...) f(0, X __VA_OPT__(,) __VA_ARGS__)\n"
    "#define SDEF(sname, ...) S sname __VA_OPT__(= { __VA_ARGS__ })\n#define EMP\n"
    "F(a, b, c) F() F(EMP) G(a, b, c) G(a, ) G(a) SDEF(foo); SDEF(bar, 1, 2);\n",
    "#define H2(X, Y, ...) __VA_OPT__(X ## Y,) __VA_ARGS__\nH2(a, b, c, d)\n"
    "#define H3(X, ...) #__VA_OPT__(X##X X##X)\nH3(, 0)\n"
    "#define H5A(...) __VA_OPT__()/**/__VA_OPT__()\n#define H5B(X) a ## X ## b\n"
    "#define H5C(X) H5B(X)\nH5C(H5A())\n",
    "#define H4(X, ...) __VA_OPT__(a X ## X) ## b\nH4(, 1)\n",
]


@unittest.skipIf(shutil.which("clang") is None, "clang is not installed")
class StandardExamples(unittest.TestCase):
    def tokens(self, command, text):
        out = subprocess.run(command + ["-"], input=text.encode(), capture_output=True)
        again = subprocess.run([PPDUMP, "--raw-tokens", "-"], input=out.stdout,
                               capture_output=True)
        return [line.split("\t")[1] for line in again.stdout.decode().splitlines()
                if line.split("\t")[0] != "EOF"]

    def ours(self, text):
        return self.tokens([PPDUMP, "-P", "-undef", "-std=c2x"], text)

    def theirs(self, text):
        return self.tokens(["clang", "-E", "-P", "-undef", "-std=c2x", "-x", "c"], text)

    def test_replacement_examples_match_clang(self):
        for text in STANDARD_EXAMPLES:
            self.assertEqual(self.ours(text), self.theirs(text), text)


def include_list(command, directory):
    """The "-H" lines a preprocessor writes for main.c of DIRECTORY."""
    out = subprocess.run(command + ["-H", "-I", "inc", "main.c"], cwd=directory,
                         capture_output=True)
    return [line for line in out.stderr.decode().splitlines() if line.startswith(".")]


INCLUDE_TREE = {
    "inc/a.h": '#include "b.h"\n#include <sub/c.h>\n',
    "inc/b.h": "b\n",
    "inc/sub/c.h": "#ifndef C\n#define C\n#include \"d.h\"\n#endif\n",
    "inc/sub/d.h": "d\n",
    "main.c": "#include <a.h>\n#include <sub/c.h>\n#include <a.h>\n",
}


def file_tree(files):
    """A temporary directory holding FILES, {name: text}."""
    directory = tempfile.TemporaryDirectory()
    for name, text in files.items():
        path = os.path.join(directory.name, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
    return directory


class Assertions(unittest.TestCase):
    def test_answers_from_the_command_line(self):
        source = "#if #machine(arm) && !#machine(x86)\nyes\n#else\nno\n#endif\n"
        for options, expected in ((["-A", "machine=arm"], "yes"), ([], "no"),
                                  (["-A", "machine=arm", "-A", "-machine"], "no"),
                                  (["-A", "machine=arm", "-A", "machine=x86"], "no")):
            out = run(["-P"] + options + ["FILE"], source)
            self.assertEqual(out.stdout.decode().split(), [expected], options)
            self.assertEqual(out.returncode, 0, out.stderr)


class IncludeList(unittest.TestCase):
    def tree(self, files):
        return file_tree(files)

    def test_each_header_entered_is_listed_at_its_depth(self):
        with self.tree(INCLUDE_TREE) as directory:
            self.assertEqual(include_list([PPDUMP], directory),
                             [". inc/a.h", ".. inc/b.h", ".. inc/sub/c.h", "... inc/sub/d.h",
                              ". inc/a.h", ".. inc/b.h"])

    @unittest.skipIf(shutil.which("clang") is None, "clang is not installed")
    def test_list_matches_clang(self):
        with self.tree(INCLUDE_TREE) as directory:
            self.assertEqual(include_list([PPDUMP], directory),
                             include_list(["clang", "-E", "-o", os.devnull], directory))

    def test_remap_files_redirect_header_names(self):
        files = {"inc/header.vuz": "short.h real/a-much-longer-name.h\n",
                 "inc/real/a-much-longer-name.h": "remapped\n", "inc/short.h": "as_named\n",
                 "main.c": "#include <short.h>\n"}
        with self.tree(files) as directory:
            for options, expected in ((["-remap"], "remapped"), ([], "as_named")):
                out = subprocess.run([PPDUMP, "-P", "-I", "inc", "main.c"] + options,
                                     cwd=directory, capture_output=True)
                self.assertEqual(out.stdout.decode().split(), [expected], options)

    def test_headers_read_once_without_a_guard_are_named(self):
        files = {"inc/bare.h": "x\n", "inc/guarded.h": "#ifndef G\n#define G\n#endif\n",
                 "main.c": "#include <bare.h>\n#include <guarded.h>\n"}
        with self.tree(files) as directory:
            out = subprocess.run([PPDUMP, "-H", "-I", "inc", "main.c"], cwd=directory,
                                 capture_output=True)
            self.assertEqual(out.stderr.decode().splitlines()[-2:],
                             ["Multiple include guards may be useful for:", "inc/bare.h"])

    def test_header_included_from_two_files_of_one_directory_is_one_file(self):
        # z.h, read twice without a guard, is not a header read once.
        files = {"d/x.h": '#include "z.h"\n', "d/y.h": '#include "z.h"\n', "d/z.h": "z\n",
                 "main.c": '#include "d/x.h"\n#include "d/y.h"\n'}
        with self.tree(files) as directory:
            out = subprocess.run([PPDUMP, "-H", "main.c"], cwd=directory, capture_output=True)
            listed = out.stderr.decode().split("Multiple include guards may be useful for:\n")
            self.assertEqual(listed[1].split(), ["d/x.h", "d/y.h"])


def tree_run(files, args):
    """ppdump (or another command) run in a directory holding FILES."""
    with file_tree(files) as directory:
        return subprocess.run(args, cwd=directory, capture_output=True)


def first_report(out):
    return out.stderr.decode().splitlines()[0]


class FileLocations(unittest.TestCase):
    """Where reports about files and directive lines point, as clang points."""

    CASES = [
        # The includer is the line of the #include, not the one after it.
        ({"main.c": '#include "err.h"\n', "err.h": "#error boom\n"},
         "In file included from main.c:1:"),
        # The end of a directive line stays on that line, at its newline.
        ({"main.c": "\n\n#if 1 +\n#endif\n"}, "main.c:3:8: error:"),
        # A missing header is reported at its name.
        ({"main.c": '\n#include "nosuch.h"\n'}, "main.c:2:10: fatal error:"),
        # ... and one named through a macro at the macro's use.
        ({"main.c": '#define HDR "nosuch.h"\n\n#include HDR\n'}, "main.c:3:10: fatal error:"),
    ]

    def test_report_locations(self):
        for files, expected in self.CASES:
            out = tree_run(files, [PPDUMP, "main.c"])
            self.assertTrue(first_report(out).startswith(expected), (files, out.stderr))

    @unittest.skipIf(shutil.which("clang") is None, "clang is not installed")
    def test_clang_points_at_the_same_lines_and_columns(self):
        for files, expected in self.CASES:
            out = tree_run(files, ["clang", "-E", "main.c"])
            where = expected.split(" error:")[0].split(" fatal error:")[0]
            self.assertTrue(first_report(out).startswith(where), (files, out.stderr))


def readable_block_device():
    """A block device this user may open, as a list of at most one path."""
    for name in sorted(os.listdir("/dev")):
        path = os.path.join("/dev", name)
        try:
            if stat.S_ISBLK(os.stat(path).st_mode):
                os.close(os.open(path, os.O_RDONLY))
                return [path]
        except OSError:
            pass
    return []


class FilesAndDirectives(unittest.TestCase):
    def text(self, files, options=()):
        out = tree_run(files, [PPDUMP] + list(options) + ["main.c"])
        return out, out.stdout.decode()

    def test_system_header_pragma_keeps_the_line_numbers(self):
        out, text = self.text({"inc/sys.h": "a\n#pragma VUZ system_header\n__LINE__\n",
                               "main.c": '#include "inc/sys.h"\n'})
        self.assertIn('# 3 "inc/sys.h" 3\n3\n', text)

    def test_system_header_operator_marks_its_file(self):
        # The _Pragma's own text is not the file that becomes a system header.
        files = {"ps.h": '_Pragma("VUZ system_header")\nint a;\n#include "inner.h"\n',
                 "inner.h": "int inner;\n", "main.c": '#include "ps.h"\n'}
        out, text = self.text(files)
        self.assertIn('# 1 "inner.h" 1 3\n', text)
        out, text = self.text(files, ["-MM"])
        self.assertEqual(text.split(), ["main.o:", "main.c", "ps.h"])

    def test_header_that_cannot_be_read_is_reported_once_at_its_name(self):
        # A block device is found but not read; a system file claims more
        # bytes than it holds. Each is included twice.
        cases = [(path, "error: %s is a block device" % path) for path in readable_block_device()]
        if os.access("/sys/kernel/mm/ksm/run", os.R_OK):
            cases.append(("/sys/kernel/mm/ksm/run",
                          "warning: /sys/kernel/mm/ksm/run is shorter than expected"))
        if not cases:
            self.skipTest("no block device or short system file to read")
        for path, message in cases:
            line = '#include "%s"\n' % path
            out, _ = self.text({"main.c": line + line})
            reports = [r for r in out.stderr.decode().splitlines() if ": " in r and "main.c" in r]
            self.assertEqual(reports[0], "main.c:1:10: " + message)
            self.assertEqual(len(reports), 1 if "error" in message else 2, out.stderr)

    def test_header_probe_that_cannot_open_is_reported_at_the_name(self):
        path = "/sys/bus/pci/rescan"  # write-only, even for the superuser
        try:
            os.close(os.open(path, os.O_RDONLY))
            self.skipTest("no header that is there but refuses to open")
        except PermissionError:
            pass
        except OSError:
            self.skipTest("no header that is there but refuses to open")
        out, _ = self.text({"main.c": '#if __has_include("%s")\n#endif\n' % path})
        self.assertTrue(first_report(out).startswith("main.c:1:19: fatal error: " + path),
                        out.stderr)

    def test_quoted_include_takes_the_system_kind_of_its_includer(self):
        # x.h is read first from a system header, then from the main file:
        # y.h, quoted from x.h, is a system header only the first time.
        files = {"sysd/s.h": "#include <x.h>\n", "usr/x.h": '#include "y.h"\n',
                 "usr/y.h": "int y;\n", "main.c": "#include <s.h>\n#include <x.h>\n"}
        out, text = self.text(files, ["-Iusr", "-isystem", "sysd"])
        entries = [line for line in text.splitlines() if line.startswith('# 1 "usr/y.h"')]
        self.assertEqual(entries, ['# 1 "usr/y.h" 1 3', '# 1 "usr/y.h" 1'])

    def test_include_next_with_no_directory_after(self):
        out, _ = self.text({"a/n.h": "#include_next <n.h>\n", "main.c": '#include "a/n.h"\n'})
        self.assertEqual(out.returncode, 1)
        self.assertIn("error: no include path in which to search for n.h", out.stderr.decode())

    def test_command_line_includes_search_the_quote_chain(self):
        files = {"inc/cl.h": "from_inc\n", "main.c": "m\n"}
        out, text = self.text(files, ["-P", "-I", "inc", "-include", "cl.h"])
        self.assertEqual((out.returncode, text.split()), (0, ["from_inc", "m"]), out.stderr)
        # The working directory comes first.
        files["cl.h"] = "from_here\n"
        out, text = self.text(files, ["-P", "-I", "inc", "-include", "cl.h"])
        self.assertEqual(text.split(), ["from_here", "m"])

    def test_missing_command_line_include_is_blamed_on_no_file(self):
        out, _ = self.text({"im.h": "#define X\n", "main.c": "m\n"},
                           ["-imacros", "im.h", "-include", "gone.h"])
        self.assertEqual(out.returncode, 1)
        self.assertTrue(first_report(out).startswith("ppdump: fatal error: gone.h:"),
                        out.stderr)

    def test_once_only_copies(self):
        # A copy with the same time, size and bytes is the same header; the
        # same time and size with other bytes is another one.
        for second, expected in (("#pragma once\nonce\n", ["once"]),
                                 ("#pragma once\nelse\n", ["once", "else"])):
            files = {"a/o.h": "#pragma once\nonce\n", "b/o.h": second,
                     "main.c": '#include "a/o.h"\n#include "b/o.h"\n'}
            with file_tree(files) as directory:
                for name in ("a/o.h", "b/o.h"):
                    os.utime(os.path.join(directory, name), (1000000, 1000000))
                out = subprocess.run([PPDUMP, "-P", "main.c"], cwd=directory,
                                     capture_output=True)
                self.assertEqual(out.stdout.decode().split(), expected)

    def test_line_names_and_pragma_messages_interpret_escapes(self):
        out, text = self.text({"main.c": '#line 5 "a\\101.c"\n__FILE__\n'
                                         '#pragma VUZ warning "x\\101y"\n'}, ["-P"])
        self.assertEqual(text.split(), ['"aA.c"'])
        self.assertIn("warning: xAy", out.stderr.decode())

    def test_comments_after_an_include_are_no_extra_tokens(self):
        for line, warned in (('#include "h.h" /* c */ // d\n', False),
                             ('#include "h.h" x\n', True)):
            out, _ = self.text({"h.h": "\n", "main.c": line}, ["-C"])
            self.assertEqual("extra tokens" in out.stderr.decode(), warned, line)

    def test_linemarker_token_after_the_last_flag_is_extra(self):
        out, _ = self.text({"main.c": '# 1 "x.h" 3 4 5\n'}, ["-pedantic"])
        err = out.stderr.decode()
        self.assertNotIn("invalid flag", err)
        self.assertIn("extra tokens at end of", err)

    def test_warning_directive_is_shown_in_system_headers(self):
        # #warning is the one warning a system header may give; others stay quiet.
        out, _ = self.text({"inc/w.h": "#warning w\n#if Z\n#endif\n",
                            "main.c": "#include <w.h>\n"}, ["-Wundef", "-isystem", "inc"])
        self.assertEqual(out.returncode, 0, out.stderr)
        reports = [line for line in out.stderr.decode().splitlines() if ": warning: " in line]
        self.assertEqual(reports, ["inc/w.h:1: warning: #warning w"])

    def test_repeated_paste_survives_a_macro_push_and_pop(self):
        source = ('#define X a ## ## b\n#pragma push_macro("X")\n#undef X\n'
                  '#pragma pop_macro("X")\nX\n')
        out, text = self.text({"main.c": source}, ["-P", "-undef"])
        self.assertEqual((out.returncode, text.split()), (0, ["ab"]), out.stderr)
        out, text = self.text({"main.c": source}, ["-undef", "-dM"])
        self.assertEqual(set(text.splitlines()), STANDARD_C17 | {"#define X a ## b"})


class Diagnostics(unittest.TestCase):
    def test_newline_in_raw_string_delimiter_is_reported_where_it_is(self):
        source = 'x R"ab\ncd(y)ab\ncd"\n#define X R"ab\nY\n'
        out = run(["-x", "c++", "-std=c++11", "-P", "FILE"], source)
        reports = [line.rsplit("in.c:", 1)[1] for line in out.stderr.decode().splitlines()
                   if ": error: " in line]
        self.assertEqual(reports, ["1:7: error: invalid new-line in raw string delimiter",
                                   "4:15: error: invalid new-line in raw string delimiter",
                                   "4:11: error: unterminated raw string"])

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

    def test_line_numbers_past_2_to_the_31_print_unsigned(self):
        out = run(["FILE"], "#line 4294967294\n#warning far\n")
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertIn(":4294967294: warning: #warning far", out.stderr.decode())
        # The dumps print them the same way.
        for mode, line in (("--tokens", "NAME\tx\tLINE_START\t4294967290:1\t4294967290:1"),
                           ("--locations", "NAME\tx\tLINE_START\t4294967290:1"),
                           ("--if-values", "4294967291: 1")):
            out = run([mode, "FILE"], "#line 4294967290\nx\n#if 1\n#endif\n")
            self.assertIn(line, out.stdout.decode().splitlines(), mode)

    def test_normalized_levels(self):
        source = "int A\\u0300;\nint x\\u00AA;\nint \\u1100\\u1161;\n"
        not_nfc = "`A\\U00000300' is not in NFC"
        hangul = "`\\U00001100\\U00001161' is not in NFC"
        not_nfkc = "`x\\U000000aa' is not in NFKC"
        for option, expected in ((None, {not_nfc, hangul}), ("-Wnormalized", {not_nfc, hangul}),
                                 ("-Wnormalized=nfkc", {not_nfc, hangul, not_nfkc}),
                                 ("-Wnormalized=id", {not_nfc}), ("-Wnormalized=none", set())):
            out = run(([option] if option else []) + ["FILE"], source)
            err = out.stderr.decode()
            self.assertEqual(out.returncode, 0, err)
            for message in (not_nfc, hangul, not_nfkc):
                self.assertEqual(message in err, message in expected, (option, message, err))
            if expected:
                self.assertIn("[-Wnormalized=]", err)

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

    def test_json_reports_are_separate_entries(self):
        out = run(["-fdiagnostics-format=json", "FILE"], "#error one\n#warning two\n")
        reports = json.loads(out.stderr.decode())
        self.assertEqual([(r["kind"], r["message"], r["children"]) for r in reports],
                         [("error", "#error one", []), ("warning", "#warning two", [])])

    def test_colour(self):
        out = run(["-fdiagnostics-color=always", "FILE"], "a /* open\n")
        self.assertIn(b"\x1b[", out.stderr)

    def test_missing_file(self):
        out = run(["/nonexistent/in.c"])
        self.assertEqual(out.returncode, 1)
        self.assertIn(b"No such file or directory", out.stderr)

    def test_unknown_option(self):
        self.assertEqual(run(["-fno-such-thing", "FILE"], "a\n").returncode, 1)

    def test_text_before_a_fatal_error_is_written(self):
        source = 'int a;\n#define X 1\nX b\n#include "nope.h"\nafter\n'
        for options in ([], ["-traditional-cpp"], ["-fdirectives-only"]):
            out = run(["-P"] + options + ["FILE"], source)
            self.assertEqual(out.returncode, 1, options)
            self.assertIn(b"fatal error: nope.h: No such file or directory", out.stderr)
            lines = [line for line in out.stdout.decode().splitlines() if line]
            self.assertEqual(lines[0], "int a;", options)
            self.assertNotIn("after", lines, options)
        self.assertIn("1 b", run(["-P", "FILE"], source).stdout.decode().splitlines())

    def test_help(self):
        out = run(["--help"])
        self.assertEqual(out.returncode, 0)
        self.assertTrue(out.stdout.startswith(b"usage: ppdump "), out.stdout)
        self.assertIn(b"--tokens", out.stdout)

    def test_directory_as_input(self):
        with tempfile.TemporaryDirectory() as directory:
            out = run([directory])
        self.assertEqual(out.returncode, 1)
        self.assertIn(("fatal error: %s: Is a directory" % directory).encode(), out.stderr)

    def test_second_input_file(self):
        out = run(["FILE", "-P", "FILE"], "a\n")
        self.assertEqual(out.returncode, 1)
        self.assertIn(b"error: a second input file", out.stderr)
        self.assertEqual(out.stdout, b"")


if __name__ == "__main__":
    unittest.main()
