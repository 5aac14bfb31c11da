"""Runs with more moving parts: response files, kept temporaries, help for
subprocesses, compare-debug, crash reproduction, spec files and signals."""
import os
import signal
import time
import unittest

from harness import DriverTest


class Runs(DriverTest):
    def test_response_file_expands_into_the_command_line(self):
        src = self.tree.write("x.c")
        rsp = self.tree.write("args", "-c '%s'\n-DNAME=\"a b\"\n" % src)
        r = self.tree.run("vuz", ["@" + rsp])
        self.assertEqual(r.status, 0, r)
        tolm = r.run_of("tolm")
        self.assertIn("NAME=a b", tolm["argv"])

    def test_response_files_for_children_when_the_user_gave_one(self):
        src = self.tree.write("x.c")
        rsp = self.tree.write("args", "-c %s -Ione -Itwo" % src)
        r = self.tree.run("vuz", ["@" + rsp])
        self.assertEqual(r.status, 0, r)
        tolm = r.run_of("tolm")
        rsp_args = [a for a in tolm["argv"] if a.startswith("@")]
        self.assertEqual(len(rsp_args), 1, tolm["argv"])
        # Switches are passed in their canonical form: option and argument apart.
        self.assertEqual(tolm["files"][rsp_args[0][1:]], "-I\none\n-I\ntwo\n")
        self.assertNoTemporaries()

    def test_save_temps_names_follow_the_output(self):
        os.makedirs(os.path.join(self.tree.work, "out"))
        src = self.tree.write("a.c")
        r = self.tree.run("vuz", ["-save-temps", "-c", src, "-o", "out/p.o"])
        self.assertEqual(r.status, 0, r)
        self.assertEqual(sorted(os.listdir(os.path.join(self.tree.work, "out"))),
                         ["p.i", "p.o", "p.s"])
        self.assertNoTemporaries()

    def test_help_with_verbose_runs_the_compiler_on_a_dummy_input(self):
        r = self.tree.run("vuz", ["--help", "-v"])
        self.assertEqual(r.status, 0, r)
        self.assertIn("help-dummy", r.records[0]["argv"])
        self.assertIn("--help", r.records[0]["argv"])
        self.assertTrue(r.stdout.startswith("Usage: vuz"))
        self.assertTrue(r.stdout.endswith("For bug reporting instructions, please see:\n"
                                          "<https://vuz.invalid/bugs/>\n"), r.stdout[-120:])

    def test_compare_debug_runs_twice_and_compares_the_dumps(self):
        src = self.tree.write("x.c")
        same = self.tree.run("vuz", ["-fcompare-debug", "-c", src], actions="tolm:dump=same")
        self.assertEqual((same.status, same.programs()), (0, ["tolm", "as", "tolm"]), same)
        second = same.records[2]["argv"]
        self.assertIn("-fcompare-debug-second", second)
        self.assertEqual(second[second.index("-o") + 1], "/dev/null")
        self.assertNoTemporaries()
        marker = os.path.join(self.tree.root, "first")
        differ = self.tree.run("vuz", ["-fcompare-debug", "-c", src],
                               actions="tolm:once=%s,dump=one-longer" % marker)
        self.assertEqual(differ.status, 1, differ)
        self.assertIn("x.c: '-fcompare-debug' failure (length)", differ.stderr)
        self.assertNoTemporaries()

    def test_compare_debug_dry_run_prints_both_compilations(self):
        # No compiler runs, so there are no dumps to compare and no failure.
        src = self.tree.write("x.c")
        r = self.tree.run("vuz", ["-###", "-fcompare-debug", "-c", src])
        self.assertEqual((r.status, r.records), (0, []), r)
        self.assertIn("-fcompare-debug-second", r.stderr)
        self.assertIn("note: comparing final insns dumps", r.stderr)
        self.assertNoTemporaries()

    def test_report_bug_reproduces_a_crash(self):
        src = self.tree.write("x.c")
        marker = os.path.join(self.tree.root, "crashed")
        once = self.tree.run("vuz", ["-freport-bug", "-c", src],
                             actions="tolm:once=%s,exit=4" % marker)
        self.assertEqual(once.status, 1, once)
        self.assertIn("The bug is not reproducible", once.stderr)
        self.assertEqual(once.programs(), ["tolm"] * 4)
        always = self.tree.run("vuz", ["-freport-bug", "-c", src],
                               actions="tolm:unless=-E,exit=4,stderr=boom")
        self.assertIn("Preprocessed source stored into", always.stderr)
        kept = always.stderr.split("Preprocessed source stored into ")[1].split(" file")[0]
        with open(kept) as f:
            text = f.read()
        # The configuration report, then the compiler's messages, all commented.
        self.assertTrue(text.startswith("// Target: armv6-kaveabi-freebsd15.1\n"), text)
        self.assertIn("\n// boom", text)
        self.assertIn("-frandom-seed=0 -fdump-noaddr\n\n", text)
        os.unlink(kept)
        self.assertNoTemporaries()

    def test_report_bug_copies_the_messages_byte_for_byte(self):
        src = self.tree.write("x.c")
        messages = os.path.join(self.tree.root, "messages")
        long_line = b"x" * 600
        with open(messages, "wb") as f:
            f.write(b"\0begins with NUL\nmid\0dle\n" + long_line + b"\n\n" + b"no newline")
        r = self.tree.run("vuz", ["-freport-bug", "-c", src],
                          actions="tolm:unless=-E,exit=4,stderr-of=" + messages)
        self.assertIn("Preprocessed source stored into", r.stderr, r)
        kept = r.stderr.split("Preprocessed source stored into ")[1].split(" file")[0]
        with open(kept, "rb") as f:
            data = f.read()
        os.unlink(kept)
        self.assertIn(b"\n// \0begins with NUL\n// mid\0dle\n// " + long_line + b"\n// \n"
                      b"// no newline\n// ", data)
        self.assertNoTemporaries()

    def test_report_bug_leaves_no_temporaries_when_one_cannot_be_made(self):
        src = self.tree.write("x.c")
        # The first reproduction run leaves the driver no file descriptors,
        # so the driver fails to make the second run's temporaries.
        r = self.tree.run("vuz", ["-freport-bug", "-c", src],
                          actions="tolm:exit=4;tolm:if=-frandom-seed=0,fdlimit-parent=3")
        self.assertEqual(r.status, 1, r)
        self.assertIn("Cannot create temporary file in", r.stderr)
        self.assertEqual(r.programs(), ["tolm"] * 2)
        self.assertNoTemporaries()

    def test_spec_file_multilib_is_selected(self):
        specs = self.tree.write("my.specs",
                                "*multilib:\nthumb mthumb;\n. !mthumb;\n\n"
                                "*multilib_matches:\nmthumb mthumb;\n\n")
        for args, out in (([], ".\n"), (["-mthumb"], "thumb\n")):
            with self.subTest(args=args):
                r = self.tree.run("vuz", ["-specs=" + specs, "-print-multi-directory"] + args)
                self.assertEqual((r.status, r.stdout), (0, out), r)
        r = self.tree.run("vuz", ["-specs=" + specs, "-print-multi-lib"])
        self.assertEqual(r.stdout, "thumb;@mthumb\n.;\n")

    def test_default_multilib_option_counts_as_given(self):
        specs = self.tree.write("groups.specs",
                                "*multilib:\nthumb mthumb;\narm marm;\n\n"
                                "*multilib_matches:\nmarm marm;mthumb mthumb;\n\n"
                                "*multilib_defaults:\nmarm\n\n"
                                "*multilib_options:\nmarm/mthumb\n\n")
        for args, out in (([], "arm\n"), (["-mthumb"], "thumb\n"), (["-marm"], "arm\n")):
            with self.subTest(args=args):
                r = self.tree.run("vuz", ["-specs=" + specs, "-print-multi-directory"] + args)
                self.assertEqual((r.status, r.stdout), (0, out), r)

    def test_spec_file_errors_are_fatal(self):
        bad = self.tree.write("bad.specs", "*asm:\nx\n\n\n*cpp:\ny\n")
        r = self.tree.run("vuz", ["-specs=" + bad, "-c", self.tree.write("x.c")])
        self.assertEqual(r.status, 1, r)
        self.assertIn("specs file malformed after", r.stderr)

    def test_spec_including_itself_is_an_error(self):
        specs = self.tree.write("loop.specs", "*loop:\n%(loop)\n\n*cpp:\n+ %(loop)\n")
        r = self.tree.run("vuz", ["-specs=" + specs, "-c", self.tree.write("x.c")])
        self.assertEqual(r.status, 1, r)
        self.assertIn("fatal error: spec 'loop' includes itself or nests too deeply", r.stderr)
        self.assertNoTemporaries()

    def test_spec_file_including_itself_is_an_error(self):
        path = os.path.join(self.tree.work, "self.specs")
        self.tree.write("self.specs", "%%include <%s>\n" % path)
        r = self.tree.run("vuz", ["-specs=" + path, "-c", self.tree.write("x.c")])
        self.assertEqual(r.status, 1, r)
        self.assertIn("nested too deeply", r.stderr)

    def test_driver_killed_mid_run_leaves_no_temporaries(self):
        src = self.tree.write("x.c")
        proc = self.tree.start("vuz", ["-c", src], actions="tolm:sleep=3000")
        deadline = time.time() + 20
        while not self.tree.records() and time.time() < deadline:
            time.sleep(0.05)
        self.assertTrue(self.tree.temporaries(), "the compiler should be running")
        # As a terminal does: the whole process group gets the signal.
        os.killpg(proc.pid, signal.SIGTERM)
        proc.communicate(timeout=30)
        self.assertEqual(proc.returncode, -signal.SIGTERM)
        self.assertNoTemporaries()

    def test_driver_signalled_alone_ends_its_children_before_it_cleans_up(self):
        # Only the driver gets the signal, as from kill(1): a compiler left
        # running would write its temporary after the driver removed it.
        src = self.tree.write("x.c")
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(sig=sig):
                proc = self.tree.start("vuz", ["-c", src], actions="tolm:sleep=3000")
                deadline = time.time() + 20
                while not self.tree.records() and time.time() < deadline:
                    time.sleep(0.05)
                child = self.tree.records()[0]["pid"]
                proc.send_signal(sig)
                proc.communicate(timeout=30)
                self.assertEqual(proc.returncode, -sig)
                with self.assertRaises(ProcessLookupError):
                    os.kill(child, 0)
                self.assertNoTemporaries()

    def test_a_signal_ignored_when_the_driver_starts_stays_ignored(self):
        # As under nohup: the hang-up neither ends the run nor its compiler.
        src = self.tree.write("x.c")
        proc = self.tree.start("vuz", ["-c", src], actions="tolm:sleep=1000",
                               ignored=(signal.SIGHUP,))
        deadline = time.time() + 20
        while not self.tree.records() and time.time() < deadline:
            time.sleep(0.05)
        proc.send_signal(signal.SIGHUP)
        _, stderr = proc.communicate(timeout=30)
        self.assertEqual((proc.returncode, stderr), (0, ""))
        self.assertEqual([r["program"] for r in self.tree.records()], ["tolm", "as"])
        self.assertNoTemporaries()

    def test_a_second_signal_ends_a_driver_waiting_for_a_child_that_survives_the_first(self):
        src = self.tree.write("x.c")
        trapped = os.path.join(self.tree.root, "trapped")
        proc = self.tree.start("vuz", ["-c", src], actions="tolm:trap=%s,sleep=600000" % trapped)
        deadline = time.time() + 20
        while not self.tree.records() and time.time() < deadline:
            time.sleep(0.05)
        child = self.tree.records()[0]["pid"]
        try:
            proc.send_signal(signal.SIGTERM)
            # The driver has passed the signal on and waits for the child.
            while not os.path.exists(trapped) and time.time() < deadline:
                time.sleep(0.05)
            self.assertTrue(os.path.exists(trapped))
            proc.send_signal(signal.SIGTERM)
            # Not communicate(): the child holds the driver's output pipes.
            self.assertEqual(proc.wait(timeout=30), -signal.SIGTERM)
        finally:
            os.kill(child, signal.SIGKILL)
            proc.kill()
            proc.communicate()



class NoAssembler(DriverTest):
    children = [c for c in DriverTest.children if c != "as"]

    def test_a_fatal_error_mid_pipeline_ends_the_programs_already_started(self):
        # The compiler runs when the assembler cannot be started; left
        # running, it would outlive the driver and hold its output open.
        src = self.tree.write("x.c")
        proc = self.tree.start("vuz", ["-pipe", "-c", src], actions="tolm:sleep=600000")
        try:
            _, stderr = proc.communicate(timeout=30)
            self.assertEqual(proc.returncode, 1)
            self.assertIn("cannot execute 'as'", stderr)
        finally:
            for record in self.tree.records():
                try:
                    os.kill(record["pid"], signal.SIGKILL)
                except ProcessLookupError:
                    pass
            proc.kill()


if __name__ == "__main__":
    unittest.main()
