"""Queries the driver answers itself, and the errors of its command line."""
import os
import unittest

from harness import DriverTest, MACHINE


class Queries(DriverTest):
    def test_dump_queries(self):
        for args, out in ((["-dumpversion"], "12.4.0\n"), (["-dumpfullversion"], "12.4.0\n"),
                          (["-dumpmachine"], "armv6-kaveabi-freebsd15.1\n")):
            with self.subTest(args=args):
                r = self.tree.run("vuz", args)
                self.assertEqual((r.status, r.stdout, r.stderr), (0, out, ""))

    def test_version_banner_even_after_an_unknown_option(self):
        r = self.tree.run("vuz++", ["--version", "-fbogus-option"])
        self.assertEqual(r.status, 0, r)
        self.assertTrue(r.stdout.startswith("vuz++ (VUZ) 12.4.0\n"), r.stdout)

    def test_print_prog_name_finds_the_installed_compiler(self):
        r = self.tree.run("vuz", ["-print-prog-name=tolm"])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(os.path.realpath(r.stdout.strip()),
                         os.path.realpath(os.path.join(self.tree.libexec, "tolm")))
        r = self.tree.run("vuz", ["-print-prog-name=nosuchprogram"])
        self.assertEqual(r.stdout, "nosuchprogram\n")

    def test_b_directories_come_first(self):
        extra = os.path.join(self.tree.root, "extra")
        os.makedirs(extra)
        os.link(os.path.join(self.tree.libexec, "tolm"), os.path.join(extra, "tolm"))
        r = self.tree.run("vuz", ["-B", extra, "-print-prog-name=tolm"])
        self.assertEqual(r.stdout.strip(), os.path.join(extra, "tolm"), r)

    def test_multilib_queries_of_the_builtin_configuration(self):
        for option, out in (("-print-multi-lib", ".;\n"), ("-print-multi-directory", ".\n"),
                            ("-print-multi-os-directory", ".\n"), ("-print-multiarch", "\n")):
            with self.subTest(option=option):
                r = self.tree.run("vuz", [option])
                self.assertEqual((r.status, r.stdout), (0, out))

    def test_search_dirs_list_every_candidate(self):
        r = self.tree.run("vuz", ["-print-search-dirs", "-print-multi-lib"])
        self.assertEqual(r.status, 0, r)
        lines = r.stdout.splitlines()
        self.assertEqual([l.split(":")[0] for l in lines], ["install", "programs", "libraries"])
        self.assertTrue(lines[1].startswith("programs: ="), lines[1])
        self.assertIn(MACHINE, lines[1])

    def test_unrecognised_option_is_reported_with_a_suggestion(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-fsyntax-onyl", "-c", src])
        self.assertEqual(r.status, 1, r)
        self.assertIn("vuz: error: unrecognized command-line option '-fsyntax-onyl'; "
                      "did you mean '-fsyntax-only'?", r.stderr)
        self.assertEqual(r.records, [])  # nothing compiled

    def test_unrecognised_option_with_a_query_still_answers(self):
        r = self.tree.run("vuz", ["-fbogus-thing", "-print-search-dirs"])
        self.assertEqual(r.status, 0, r)
        self.assertIn("unrecognized command-line option", r.stderr)

    def test_no_input_files(self):
        r = self.tree.run("vuz", [])
        self.assertEqual(r.status, 1)
        self.assertEqual(r.stderr, "vuz: fatal error: no input files\ncompilation terminated.\n")

    def test_help_prints_usage_and_bug_url(self):
        r = self.tree.run("vuz", ["--help"])
        self.assertEqual(r.status, 0, r)
        self.assertTrue(r.stdout.startswith("Usage: vuz [options] file...\nOptions:\n"))
        self.assertTrue(r.stdout.endswith("For bug reporting instructions, please see:\n"
                                          "<https://vuz.invalid/bugs/>.\n"), r.stdout[-200:])
        self.assertEqual(r.records, [])

    def test_verbose_alone_reports_the_configuration(self):
        r = self.tree.run("vuz", ["-v"])
        self.assertEqual(r.status, 0, r)
        self.assertIn("Target: armv6-kaveabi-freebsd15.1\n", r.stderr)
        self.assertIn("vuz version 12.4.0 (VUZ) \n", r.stderr)

    def test_dumpspecs_names_every_builtin_spec(self):
        r = self.tree.run("vuz", ["-dumpspecs"])
        self.assertEqual(r.status, 0, r)
        names = [l[1:-1] for l in r.stdout.splitlines() if l.startswith("*") and l.endswith(":")]
        self.assertEqual(len(names), 51)
        self.assertEqual(names[0], "asm")
        self.assertEqual(names[-1], "link_command")
        self.assertIn("*cross_compile:\n1\n\n", r.stdout)
        self.assertIn("*linker:\nvresk\n\n", r.stdout)
        self.assertIn("*link_vuz_c_sequence:\n%G %{!nolibc:%L %G}\n\n", r.stdout)
        self.assertIn("*startfile_prefix_spec:\n/usr/lib/ \n\n", r.stdout)
        self.assertIn("*asm_final:\n%{gsplit-dwarf: \n       objcopy --extract-dwo \t "
                      "%{c:%{o*:%*}%{!o*:%w%b%O}}%{!c:%U%O} \t %b.dwo \n       objcopy --strip-dwo "
                      "\t %{c:%{o*:%*}%{!o*:%w%b%O}}%{!c:%U%O}     }\n\n", r.stdout)
        # The built-in initialisation rewrote these two.
        self.assertIn("*libvuz:\n%{static|static-libvuz|static-pie:-lvuz -lvuz_eh}"
                      "%{!static:%{!static-libvuz:%{!static-pie:%{!shared-libvuz:-lvuz --push-state "
                      "--as-needed -lvuz_s --pop-state}%{shared-libvuz:-lvuz_s%{!shared: -lvuz}}}}}"
                      "\n\n", r.stdout)
        self.assertIn("*link:\n%{!static|static-pie:--eh-frame-hdr} \t\t\t", r.stdout)

    def test_fatal_command_line_errors(self):
        src = self.tree.write("x.c")
        cases = [
            (["vuz", "-c", src, "-o", src], "input file '%s' is the same as output file" % src),
            (["vuz", "-c", src, "-o", ""], "output filename may not be empty"),
            (["vuz", "-save-temps=bogus", src], "'-save-temps=bogus' is an unknown '-save-temps' option"),
            (["vuzprep", "-c", src], "'-c' is not a valid option to the preprocessor"),
            (["vuzprep", src, "b.i", "c.i"], "too many input files"),
        ]
        for argv, message in cases:
            with self.subTest(argv=argv):
                r = self.tree.run(argv[0], argv[1:])
                self.assertEqual(r.status, 1, r)
                self.assertIn("%s: fatal error: %s\n" % (argv[0], message), r.stderr)
                self.assertEqual(r.records, [])


if __name__ == "__main__":
    unittest.main()
