"""Where the driver looks for its programs, and the dump names it gives the
compiler."""
import os
import unittest

from harness import DriverTest


class Paths(DriverTest):
    def test_compiler_path_with_an_empty_element_means_the_working_directory(self):
        os.link(os.path.join(self.tree.libexec, "tolm"), os.path.join(self.tree.work, "tolm"))
        os.unlink(os.path.join(self.tree.libexec, "tolm"))
        r = self.tree.run("vuz", ["-print-prog-name=tolm"], env={"COMPILER_PATH": "/nonexistent:"})
        self.assertEqual(r.stdout, "./tolm\n", r)

    def test_install_root_translation_for_the_configured_location(self):
        r = self.tree.run("vuz", ["-print-prog-name=tolm"], argv0="/usr/local/bin/vuz",
                          env={"VUZ_ROOT": self.tree.root})
        self.assertEqual(r.stdout, os.path.join(self.tree.libexec, "tolm") + "\n", r)

    def test_exec_prefix_from_the_environment(self):
        prefix = os.path.join(self.tree.root, "lib/vuz/")
        r = self.tree.run("vuz", ["-print-prog-name=tolm"], env={"VUZ_EXEC_PREFIX": prefix})
        self.assertEqual(os.path.realpath(r.stdout.strip()),
                         os.path.realpath(os.path.join(self.tree.libexec, "tolm")), r)

    def test_dump_names(self):
        os.makedirs(os.path.join(self.tree.work, "dir"))
        os.makedirs(os.path.join(self.tree.work, "out"))
        for name in ("dir/foo.c", "foo.c", "bar.c", "a.c"):
            self.tree.write(name)
        cases = [
            (["-c", "dir/foo.c"], None, "foo.c"),
            (["-c", "foo.c", "-o", "out/bar.o"], "out/", "bar.c"),
            (["foo.c", "-o", "foo"], None, "foo.c"),
            (["foo.c", "bar.c", "-o", "prog"], "prog-", "foo.c"),
            (["foo.c"], "a-", "foo.c"),
            (["a.c"], None, "a.c"),
            (["-c", "foo.c", "-dumpbase", "main.c"], None, "main.c"),
            (["-c", "foo.c", "-o", "out/x.o", "-save-temps=cwd"], None, "x.c"),
            (["-c", "foo.c", "-o", "out/x.o", "-save-temps=obj"], "out/", "x.c"),
        ]
        for args, dumpdir, dumpbase in cases:
            with self.subTest(args=args):
                r = self.tree.run("vuz", ["-###"] + args)
                self.assertEqual(r.status, 0, r)
                line = next(l for l in r.stderr.splitlines() if "/tolm " in l and "-E" not in l.split())
                words = line.split()
                got_dir = words[words.index("-dumpdir") + 1] if "-dumpdir" in words else None
                self.assertEqual(got_dir, dumpdir, line)
                self.assertEqual(words[words.index("-dumpbase") + 1], dumpbase, line)


if __name__ == "__main__":
    unittest.main()
