"""Compiling, assembling, linking and preprocessing with the recorder as
every child program: what each child receives, the exit status, and that no
temporary file is left behind."""
import os
import re
import shlex
import signal
import unittest

from harness import DriverTest


def dry_run_commands(stderr):
    """The argument vectors of the commands printed by "-###"."""
    commands = []
    for line in stderr.splitlines():
        if line.startswith(" "):
            if line.endswith(" |"):  # the next program of the same pipeline follows
                line = line[:-2]
            commands.append(shlex.split(line))
    return commands


def without_temporary_names(words, tmp):
    """Temporary names differ between two runs; everything else must not."""
    return [re.sub(re.escape(tmp) + r"/cc[A-Za-z0-9]{6}", "TMP", w) for w in words]


class Compile(DriverTest):
    def test_c_compile_runs_compiler_then_assembler_through_a_temporary(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-c", src])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "as"])
        tolm, asm = r.records
        s_file = tolm["argv"][tolm["argv"].index("-o") + 1]
        self.assertTrue(s_file.endswith(".s") and s_file.startswith(self.tree.tmp), s_file)
        self.assertIn(s_file, asm["argv"])
        self.assertEqual(asm["argv"][asm["argv"].index("-o") + 1], "x.o")
        self.assertIn(src, tolm["argv"])
        self.assertEqual(tolm["fds"], [0, 1, 2])
        self.assertEqual(tolm["env"]["VRESK_VUZ"], os.path.join(self.tree.bin, "vuz"))
        self.assertIn("'-c'", tolm["env"]["VRESK_VUZ_OPTIONS"])
        self.assertTrue(os.path.exists(os.path.join(self.tree.work, "x.o")))
        self.assertNoTemporaries()

    def test_pipe_connects_compiler_and_assembler(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-pipe", "-c", src], actions="as:stdin")
        self.assertEqual(r.status, 0, r)
        tolm, asm = sorted(r.records, key=lambda x: x["program"] != "tolm")
        self.assertEqual(tolm["argv"][tolm["argv"].index("-o") + 1], "-")
        self.assertTrue(tolm["stdout_is_pipe"])
        self.assertTrue(asm["stdin_is_pipe"])
        self.assertNoTemporaries()

    def test_save_temps_keeps_predictable_names(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-save-temps", "-c", src])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "tolm", "as"])
        self.assertIn("-E", r.records[0]["argv"])
        self.assertIn("x.i", r.records[0]["argv"])
        self.assertIn("-fpreprocessed", r.records[1]["argv"])
        self.assertIn("x.s", r.records[2]["argv"])
        self.assertNoTemporaries()

    def test_save_temps_keeps_every_intermediate_when_linking(self):
        # The link spec marks the object for deletion; the user asked to keep it.
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-save-temps", src, "-o", "prog"])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "tolm", "as", "vresk"])
        for kept in ("prog-x.i", "prog-x.s", "prog-x.o", "prog"):
            self.assertTrue(os.path.exists(os.path.join(self.tree.work, kept)), kept)
        self.assertNoTemporaries()

    def test_a_name_ending_in_a_dash_takes_the_standard_input_row(self):
        name = self.tree.write("odd-", "")
        r = self.tree.run("vuz", ["-c", name])
        self.assertEqual((r.status, r.records), (1, []), r)
        self.assertIn("error: -E or -x required when input is from standard input", r.stderr)
        r = self.tree.run("vuz", ["-E", name])
        self.assertEqual((r.status, r.programs()), (0, ["tolm"]), r)
        self.assertIn(name, r.run_of("tolm")["argv"])

    def test_every_language_row_expands(self):
        cases = [("x.c", "tolm"), ("x.i", "tolm"), ("x.s", "as"), ("x.S", "tolm"), ("x.sx", "tolm"),
                 ("x.cc", "tolmex"), ("x.ii", "tolmex"), ("x.hpp", "tolmex"), ("x.h", "tolm")]
        for name, program in cases:
            with self.subTest(name=name):
                r = self.tree.run("vuz", ["-###", "-c", self.tree.write(name)])
                self.assertEqual(r.status, 0, r)
                self.assertEqual(os.path.basename(dry_run_commands(r.stderr)[0][0]), program)
        r = self.tree.run("vuz", ["-###", "-c", "-x", "lto", self.tree.write("x.o")])
        self.assertEqual(os.path.basename(dry_run_commands(r.stderr)[0][0]), "yorv", r)

    def test_compile_only_modes(self):
        src = self.tree.write("x.c")
        for mode, programs in (("-S", ["tolm"]), ("-E", ["tolm"])):
            with self.subTest(mode=mode):
                r = self.tree.run("vuz", [mode, src])
                self.assertEqual((r.status, r.programs()), (0, programs), r)
                self.assertNoTemporaries()

    def test_link_through_the_linker_wrapper_with_its_exports(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", [src, "-o", "prog", "-Wa,-a,-b"])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "as", "vresk"])
        link = r.records[2]
        self.assertIn("prog", link["argv"])
        self.assertIn("-plugin", link["argv"])
        env = link["env"]
        self.assertEqual(env["VRESK_AS_OPTIONS"], "'-a' '-b'")
        self.assertIn("COMPILER_PATH", env)
        self.assertIn("LIBRARY_PATH", env)
        self.assertIn("VRESK_QUORF", env)
        self.assertNoTemporaries()

    def test_assembler_options_with_a_quote_survive_the_export(self):
        src = self.tree.write("x.s", "nop\n")
        r = self.tree.run("vuz", ["-c", src, "-Xassembler", "it's"])
        self.assertEqual(r.status, 0, r)
        exported = r.run_of("as")["env"]["VRESK_AS_OPTIONS"]
        self.assertEqual(shlex.split(exported), ["it's"])

    def test_link_step_cleans_a_stale_jobserver_from_makeflags(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", [src], env={"MAKEFLAGS": "-j4 --jobserver-auth=98,99 -k"})
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.run_of("vresk")["env"]["MAKEFLAGS"], "-j4  -k")
        self.assertEqual(r.run_of("tolm")["env"]["MAKEFLAGS"], "-j4 --jobserver-auth=98,99 -k")

    def test_ld_stands_in_for_a_missing_linker_wrapper(self):
        os.unlink(os.path.join(self.tree.libexec, "vresk"))
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", [src])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "as", "ld"])

    def test_cxx_driver_links_its_libraries(self):
        src = self.tree.write("x.cc")
        r = self.tree.run("vuz++", [src])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolmex", "as", "vresk"])
        argv = r.records[2]["argv"]
        self.assertLess(argv.index("-lc++"), argv.index("-lm"))

    def test_cxx_driver_compiles_c_inputs_as_cxx(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz++", ["-c", src])
        self.assertEqual((r.status, r.programs()), (0, ["tolmex", "as"]), r)

    def test_preprocessor_driver_outputs(self):
        src = self.tree.write("in.c")
        r = self.tree.run("vuzprep", [src])
        self.assertEqual((r.status, r.programs()), (0, ["tolm"]), r)
        self.assertIn("-E", r.records[0]["argv"])
        self.assertNotIn("-o", r.records[0]["argv"])
        r = self.tree.run("vuzprep", [src, "out.i"])
        argv = r.records[0]["argv"]
        self.assertEqual(argv[argv.index("-o") + 1], "out.i")

    def test_dry_run_prints_what_a_real_run_executes(self):
        src = self.tree.write("dir with blank/x.c")
        cxx = self.tree.write("y.cc")
        runs = [("vuz", ["-c", src]), ("vuz", ["-S", src]), ("vuz", [src, "-o", "p"]),
                ("vuz", ["-pipe", "-c", src]), ("vuz", ["-E", src]),
                ("vuz", ["-save-temps", "-c", src]), ("vuz++", ["-c", cxx]), ("vuz++", [cxx]),
                ("vuzprep", [src]), ("vuzprep", [src, "out.i"])]
        for program, args in runs:
            with self.subTest(program=program, args=args):
                dry = self.tree.run(program, ["-###"] + args)
                self.assertEqual(dry.status, 0, dry)
                self.assertEqual(dry.records, [])
                printed = dry_run_commands(dry.stderr)
                real = self.tree.run(program, args)
                self.assertEqual(real.status, 0, real)
                ran = [rec["argv"] for rec in real.records]
                # The programs of one pipeline log in the order they finish.
                tmp = self.tree.tmp
                self.assertEqual(sorted(without_temporary_names(c, tmp) for c in printed),
                                 sorted(without_temporary_names(c, tmp) for c in ran))
                self.assertNoTemporaries()

    def test_dry_run_quotes_shell_characters(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-###", "-c", src, "-DA=$HOME", "-DB=`x`", '-DC="q"'])
        self.assertEqual(r.status, 0, r)
        self.assertIn(' "A=\\$HOME" ', r.stderr)
        self.assertIn(' "B=\\`x\\`" ', r.stderr)
        printed = dry_run_commands(r.stderr)
        self.assertIn('C="q"', printed[0])

    def test_verbose_echoes_exports_before_each_command(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-v", "-c", src])
        self.assertEqual(r.status, 0, r)
        lines = r.stderr.splitlines()
        first = next(i for i, l in enumerate(lines) if l.startswith(" ") and "/tolm " in l)
        self.assertTrue(lines[first - 1].startswith("VRESK_VUZ_OPTIONS='-v' '-c'"), lines[first - 1])

    def test_time_file_that_cannot_be_opened_is_reported(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-time=/nonexistent/dir/report", "-c", src])
        self.assertEqual(r.status, 0, r)
        self.assertIn("warning: cannot open '/nonexistent/dir/report' for the time report", r.stderr)

    def test_time_file_is_not_open_in_the_children(self):
        src = self.tree.write("x.c")
        report = os.path.join(self.tree.work, "report")
        r = self.tree.run("vuz", ["-time=" + report, "-c", src], actions="tolm:burn=20")
        self.assertEqual(r.status, 0, r)
        for record in r.records:
            self.assertEqual(record["fds"], [0, 1, 2], record["program"])
        with open(report) as f:
            self.assertIn("/tolm ", f.read())

    def test_time_reports_each_child(self):
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-time", "-c", src], actions="tolm:burn=50")
        self.assertEqual(r.status, 0, r)
        lines = [l for l in r.stderr.splitlines() if l.startswith("# ")]
        self.assertTrue(any(l.startswith("# tolm ") for l in lines), r.stderr)


class ExitStatus(DriverTest):
    def run_failing(self, actions, extra=()):
        src = self.tree.write("x.c")
        return self.tree.run("vuz", list(extra) + ["-c", src], actions=actions)

    def test_child_failure_is_status_one(self):
        r = self.run_failing("tolm:exit=3")
        self.assertEqual((r.status, r.programs()), (1, ["tolm"]), r)
        self.assertEqual(r.stderr, "")
        self.assertNoTemporaries()

    def test_pass_exit_codes_gives_the_child_status(self):
        r = self.run_failing("tolm:exit=3", ["-pass-exit-codes"])
        self.assertEqual(r.status, 3, r)

    def test_sigpipe_is_status_two_without_a_message(self):
        r = self.run_failing("tolm:signal=%d" % signal.SIGPIPE)
        self.assertEqual((r.status, r.stderr), (2, ""), r)
        self.assertNoTemporaries()

    def test_crash_of_a_child_is_an_internal_error(self):
        r = self.run_failing("tolm:signal=%d" % signal.SIGSEGV)
        self.assertEqual(r.status, 4, r)
        self.assertIn("internal compiler error: Segmentation fault signal terminated program tolm",
                      r.stderr)
        self.assertNoTemporaries()

    def test_interrupted_child_is_fatal(self):
        r = self.run_failing("tolm:signal=%d" % signal.SIGTERM)
        self.assertEqual(r.status, 1, r)
        self.assertIn("fatal error: Terminated signal terminated program tolm", r.stderr)
        self.assertNoTemporaries()

    def test_output_of_an_input_cut_short_is_removed(self):
        # The assembler writes its object, then fails or dies; a death by
        # SIGTERM is a fatal error that ends the driver at once.
        for actions, status in (("as:exit=1", 1), ("as:signal=%d" % signal.SIGTERM, 1),
                                ("as:signal=%d" % signal.SIGINT, 1),
                                ("as:signal=%d" % signal.SIGSEGV, 4)):
            for output in ("x.o", "out.o"):
                with self.subTest(actions=actions, output=output):
                    r = self.run_failing(actions, ["-o", output])
                    self.assertEqual((r.status, r.programs()), (status, ["tolm", "as"]), r)
                    left = os.path.join(self.tree.work, output)
                    self.assertFalse(os.path.exists(left), r)
                    self.assertNoTemporaries()
                    if os.path.exists(left):
                        os.unlink(left)

    def test_failure_of_one_input_still_compiles_the_next(self):
        a = self.tree.write("a.c")
        b = self.tree.write("b.c")
        r = self.tree.run("vuz", ["-c", a, b], actions="tolm:once=%s/flag,exit=1" % self.tree.root)
        self.assertEqual(r.status, 1, r)
        self.assertEqual(r.programs(), ["tolm", "tolm", "as"])
        self.assertNoTemporaries()


if __name__ == "__main__":
    unittest.main()
