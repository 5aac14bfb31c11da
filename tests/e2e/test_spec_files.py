"""Spec files as users write them and as hostile ones are: a last section
that ends at the file's final newline, self specs over several lines, specs
that a spec file replaces while they are being expanded, and conditions
nested without end."""
import os
import re
import unittest

from harness import DriverTest


def resolved(word):
    return os.path.realpath(word) if word.startswith("/") else word


class SpecFiles(DriverTest):
    def compile_with(self, specs_text, extra=()):
        specs = self.tree.write("my.specs", specs_text)
        return self.tree.run("vuz", ["-specs=" + specs, "-c", self.tree.write("x.c")] + list(extra))

    def test_last_section_ends_before_the_final_newline(self):
        # A line end kept in the value would end the compiler's command
        # before its input, or run a self spec's words as a program.
        for text in ("*cpp:\n+ -fshort-enums\n", "*cpp:\r\n+ -fshort-enums\r\n",
                     "*self_spec:\n-fshort-enums\n"):
            with self.subTest(text=text):
                r = self.compile_with(text)
                self.assertEqual(r.status, 0, r)
                self.assertEqual(r.programs(), ["tolm", "as"])
                argv = r.run_of("tolm")["argv"]
                self.assertIn("-fshort-enums", argv)
                self.assertIn(self.tree.work + "/x.c", argv)

    def test_self_spec_over_several_lines_runs_nothing(self):
        r = self.compile_with("*self_spec:\n-fshort-enums\n-fno-common\n\n")
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "as"])
        argv = r.run_of("tolm")["argv"]
        self.assertLess(argv.index("-fshort-enums"), argv.index("-fno-common"))

    def test_spec_replaced_while_it_is_expanded(self):
        # The included file replaces the spec whose text is being read, and
        # grows the compiler table whose row is being compiled for.
        inner = self.tree.write("inner.specs", "*mine:\n-DREPLACED\n\n" + "".join(
            ".z%d:\n-DROW%d\n\n" % (i, i) for i in range(40)))
        text = ("*mine:\n-DFIRST %%:include(%s) -DAFTER\n\n*cpp:\n+ %%(mine)\n\n" % inner)
        for extra in ([], ["-fcompare-debug"]):
            with self.subTest(extra=extra):
                r = self.compile_with(text, extra)
                self.assertEqual(r.status, 0, r)
                argv = self.tree.records()[0]["argv"]
                self.assertIn("-DFIRST", argv)
                self.assertIn("-DAFTER", argv)
                self.assertNoTemporaries()

    def test_conditions_nested_without_end_are_an_error(self):
        depth = 100000
        chain = "".join("*a%d:\n%s%%(a%d)%s\n\n" % (k, "%{!v:" * 20, k + 1, "}" * 20)
                        for k in range(250))
        for name, text in (
                ("cpp", "*cpp:\n+ " + "%{v:" * depth + "}" * depth + "\n\n"),
                ("cpp", "*cpp:\n+ " + "%{!v:" * depth + "-DX" + "}" * depth + "\n\n"),
                ("a[0-9]+", chain + "*a250:\n-DEND\n\n*cpp:\n+ %(a0)\n\n")):
            with self.subTest(name=name, length=len(text)):
                r = self.compile_with(text)
                self.assertEqual(r.status, 1, r)
                self.assertRegex(r.stderr, "fatal error: spec '%s' nests too deeply" % name)
                self.assertEqual(r.programs(), [])
                self.assertNoTemporaries()


    def test_empty_version_operator_is_a_spec_error(self):
        r = self.compile_with('*cpp:\n+ %:version-compare(%" 1 mfoo= -DY)\n\n')
        self.assertEqual(r.status, 1, r)
        self.assertIn("fatal error: unknown operator '' in %:version-compare", r.stderr)
        self.assertNotIn("internal compiler error", r.stderr)


    def test_words_marked_as_libraries_or_scripts_are_found_in_the_library_paths(self):
        lib = os.path.join(self.tree.lib, "libm.a")
        script = os.path.join(self.tree.lib, "script.ld")
        for name in (lib, script):
            with open(name, "w") as f:
                f.write("x\n")
        for spec, words in (("libm.a%s", [lib]), ("%Tscript.ld", ["--script", script])):
            with self.subTest(spec=spec):
                r = self.compile_with("*cpp:\n+ %s -DEND\n\n" % spec)
                self.assertEqual(r.status, 0, r)  # nor a leak report
                argv = r.run_of("tolm")["argv"]
                end = argv.index("-DEND")
                self.assertEqual([resolved(w) for w in argv[end - len(words):end]],
                                 [resolved(w) for w in words])

    def response_file_of(self, cpp_spec):
        """The words that the compiler gets in a response file, the user having
        given one, and the words it gets outside."""
        src = self.tree.write("x.c")
        specs = self.tree.write("rsp.specs", "*cpp:\n+ %s\n\n" % cpp_spec)
        rsp = self.tree.write("args", "-c %s -fshort-enums" % src)
        r = self.tree.run("vuz", ["-specs=" + specs, "@" + rsp])
        self.assertEqual(r.status, 0, r)
        argv = r.run_of("tolm")["argv"]
        files = [a[1:] for a in argv if a.startswith("@")]
        self.assertEqual(len(files), 1, argv)
        return r.run_of("tolm")["files"][files[0]].split("\n")[:-1], argv

    def test_response_file_section_keeps_its_last_word(self):
        inside, outside = self.response_file_of("%@{fshort-enums:-DA -DB}")
        self.assertEqual(inside, ["-DA", "-DB"])
        self.assertNotIn("-DB", outside)
        self.assertNoTemporaries()

    def test_spec_function_arguments_are_words_of_their_own(self):
        # The marks of the caller's word, and its open response file, neither
        # reach the arguments nor come back from them.
        for name in ("libm.a", "script.ld"):
            with open(os.path.join(self.tree.lib, name), "w") as f:
                f.write("x\n")
        script = os.path.join(self.tree.lib, "script.ld")
        for spec, words in (("%T%:if-exists-else(/no/such script.ld)", ["--script", script]),
                            ("%:if-exists(%s/no/such)libm.a", ["libm.a"])):
            with self.subTest(spec=spec):
                r = self.compile_with("*cpp:\n+ %s -DEND\n\n" % spec)
                self.assertEqual(r.status, 0, r)
                argv = r.run_of("tolm")["argv"]
                end = argv.index("-DEND")
                self.assertEqual([resolved(w) for w in argv[end - len(words):end]],
                                 [resolved(w) for w in words])
        inside, outside = self.response_file_of(
            "%@{fshort-enums:-DA %:if-exists-else(/no/such -DB) -DC}")
        self.assertEqual(inside, ["-DA", "-DB", "-DC"])

    def test_fortran_preinclude_file_is_looked_up_below_the_sysroot_headers(self):
        root = os.path.join(self.tree.root, "root")
        for suffix in ("libs", "hdrs"):
            self.tree.write(os.path.join(root, suffix, "usr/include/finclude/pre.h"))
        # The suffixes are read before the files of -specs=: the installed
        # specs file sets them.
        dumped = self.tree.run("vuz", ["-dumpspecs"]).stdout
        with open(os.path.join(self.tree.lib, "specs"), "w") as f:
            f.write(dumped + "*sysroot_suffix_spec:\n/libs\n\n"
                    "*sysroot_hdrs_suffix_spec:\n/hdrs\n\n")
        specs = "*cpp:\n+ %:fortran-preinclude-file(-fpre-include= pre.h /no/such/dir)\n\n"
        r = self.compile_with(specs, ["--sysroot=" + root])
        self.assertEqual(r.status, 0, r)
        wanted = "-fpre-include=" + os.path.join(root, "hdrs/usr/include/finclude/pre.h")
        self.assertIn(wanted, r.run_of("tolm")["argv"])

    def test_dumped_specs_installed_as_the_specs_file_give_the_same_commands(self):
        src = self.tree.write("x.c")

        def commands(args):
            r = self.tree.run("vuz", ["-###"] + args)
            self.assertEqual(r.status, 0, r)
            lines = [l for l in r.stderr.splitlines() if l.startswith(" ")]
            return [re.sub(re.escape(self.tree.tmp) + r"/cc[A-Za-z0-9]{6}", "TMP", l)
                    for l in lines]

        runs = (["-c", src], [src, "-o", "x"], ["-shared", "-g", src, "-o", "x.so"])
        built_in = [commands(args) for args in runs]
        dumped = self.tree.run("vuz", ["-dumpspecs"])
        self.assertEqual(dumped.status, 0, dumped)
        with open(os.path.join(self.tree.lib, "specs"), "w") as f:
            f.write(dumped.stdout)
        for args, expected in zip(runs, built_in):
            with self.subTest(args=args):
                self.assertEqual(commands(args), expected)


if __name__ == "__main__":
    unittest.main()
