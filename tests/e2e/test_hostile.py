"""Input written to make the driver work without end or leave files behind:
specs that double at every level, response files that name themselves,
temporary directories where temporaries cannot be made, and options that
become spec text."""
import os
import unittest

from harness import DriverTest

# The longest path the system accepts, without its closing NUL.
PATH_MAX = 4095


class Hostile(DriverTest):
    def test_spec_doubling_at_every_level_is_an_error(self):
        lines = ["*b0:\nx\n"]
        for i in range(1, 40):
            lines.append("*b%d:\n%%(b%d) %%(b%d)\n" % (i, i - 1, i - 1))
        lines.append("*cpp:\n+ %(b39)\n")
        specs = self.tree.write("double.specs", "\n".join(lines))
        r = self.tree.run("vuz", ["-specs=" + specs, "-c", self.tree.write("x.c")])
        self.assertEqual(r.status, 1, r)
        self.assertRegex(r.stderr, r"fatal error: spec 'b[0-9]+' expands to too much text")
        self.assertEqual(r.programs(), [])
        self.assertNoTemporaries()

    def test_response_file_naming_itself_ends_at_the_limit(self):
        path = os.path.join(self.tree.work, "self.rsp")
        words = " ".join("-DW%d" % i for i in range(1999))
        for text in ("@%s %s" % (path, words), "%s @%s" % (words, path)):
            with self.subTest(first=text.startswith("@")):
                self.tree.write("self.rsp", text)
                r = self.tree.run("vuz", ["-c", "@" + path])
                self.assertEqual(r.status, 1, r)
                self.assertEqual(r.stderr, self.tree.bin + "/vuz: error: too many @-files encountered\n")

    def test_temporary_directory_without_room_for_a_longer_suffix(self):
        # Names ending in ".s" and ".o" fit; the link step's ".res" does not.
        directory = self.tree.tmp
        room = PATH_MAX - len("/ccXXXXXX.s")
        while len(directory) < room:
            directory = os.path.join(directory, "d" * min(200, room - len(directory) - 1))
        os.makedirs(directory)
        r = self.tree.run("vuz", [self.tree.write("x.c")], env={"TMPDIR": directory})
        self.assertEqual(r.status, 1, r)
        self.assertIn("Cannot create temporary file in %s/: File name too long\n" % directory, r.stderr)
        self.assertEqual(r.programs(), ["tolm", "as"])
        self.assertEqual(os.listdir(directory), [])

    def test_temporary_directory_where_nothing_can_be_made(self):
        r = self.tree.run("vuz", ["-c", self.tree.write("x.c")], env={"TMPDIR": "/proc"})
        self.assertEqual(r.status, 1, r)
        self.assertIn("Cannot create temporary file in /proc/: ", r.stderr)
        self.assertEqual(r.programs(), [])

    def test_compare_debug_option_with_input_codes(self):
        # The option becomes part of a spec that is expanded before any input
        # has a compiler; the environment's value as the driver fuzz target
        # found it.
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-c", src], env={"VUZ_COMPARE_DEBUG": "--j%oQs/er"})
        self.assertEqual(r.status, 0, r)
        for option in ("-fcompare-debug=-%b", "-fcompare-debug=-%i"):
            with self.subTest(option=option):
                r = self.tree.run("vuz", [option, "-c", src])
                self.assertEqual(r.status, 1, r)
                self.assertIn("where there is no input file", r.stderr)
                self.assertEqual(r.programs(), [])

    def test_compare_debug_option_naming_the_install_prefix(self):
        # %I in the second run's option puts the install prefix among the
        # switches; the prefix is replaced after the self specs have run.
        # Under the sanitizers the old text was read after it was freed.
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-###", "-c", src], env={"VUZ_COMPARE_DEBUG": "--%%%I%jg"})
        self.assertEqual(r.status, 0, r)
        self.assertIn("'-fcompare-debug-second' '-iprefix' ", r.stderr)

    def test_compare_debug_second_run_without_a_dump(self):
        # A second-run option that stops before compiling names no dump:
        # the input fails with an error, in a real and in a dry run alike.
        src = self.tree.write("x.c")
        for args, env in ((["-fcompare-debug=-M"], None),
                          ([], {"VUZ_COMPARE_DEBUG": "-M"})):
            for dry in ([], ["-###"]):
                with self.subTest(args=args, env=env, dry=dry):
                    r = self.tree.run("vuz", dry + args + ["-c", src], env=env,
                                      actions="tolm:dump=same")
                    self.assertEqual(r.status, 1, r)
                    self.assertIn("x.c: '-fcompare-debug' recompilation made no dump to compare",
                                  r.stderr)
                    self.assertNotIn("internal compiler error", r.stderr)


if __name__ == "__main__":
    unittest.main()
