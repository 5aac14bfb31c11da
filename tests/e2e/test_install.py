"""The installed tree: what the install step puts where, and a compile and
link through the installed driver with the compiler programs placed where an
installation expects them and nothing else on PATH."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import BINARY_DIR, MACHINE, RECORDER, Result

CMAKE = os.environ.get("VUZ_CMAKE") or shutil.which("cmake") or "cmake"


class Installed(unittest.TestCase):
    def setUp(self):
        self.prefix = tempfile.mkdtemp(prefix="vuz-install-")
        subprocess.run([CMAKE, "--install", BINARY_DIR, "--prefix", self.prefix], check=True,
                       capture_output=True, timeout=120)
        self.bin = os.path.join(self.prefix, "bin")
        self.libexec = os.path.join(self.prefix, "libexec/vuz", MACHINE)
        self.lib = os.path.join(self.prefix, "lib/vuz", MACHINE)

    def tearDown(self):
        shutil.rmtree(self.prefix, ignore_errors=True)

    def test_programs_and_the_directories_for_the_compiler(self):
        self.assertEqual(sorted(os.listdir(self.bin)), ["vuz", "vuz++", "vuzprep"])
        for program in os.listdir(self.bin):
            self.assertTrue(os.access(os.path.join(self.bin, program), os.X_OK), program)
        self.assertEqual(os.listdir(self.libexec), [])
        self.assertEqual(os.listdir(self.lib), [])

    def run_installed(self, program, args, work):
        log = os.path.join(work, "log")
        environment = {"PATH": "", "TMPDIR": work, "RECORDER_LOG": log,
                       "ASAN_OPTIONS": "detect_leaks=1", "LANG": "C"}
        proc = subprocess.run([os.path.join(self.bin, program)] + args, cwd=work, env=environment,
                              capture_output=True, text=True, timeout=60)
        records = []
        if os.path.exists(log):
            with open(log) as f:
                records = [json.loads(line) for line in f if line.strip()]
        return Result(proc.returncode, proc.stdout, proc.stderr, records)

    def test_compile_and_link_through_the_installed_driver(self):
        for child in ("tolm", "tolmex", "as", "vresk"):
            shutil.copy2(RECORDER, os.path.join(self.libexec, child))
        with open(os.path.join(self.libexec, "libzinvet.so"), "w") as f:
            f.write("plugin\n")
        work = os.path.join(self.prefix, "work")
        os.makedirs(work)
        with open(os.path.join(work, "x.c"), "w") as f:
            f.write("int main(void) { return 0; }\n")
        r = self.run_installed("vuz", ["x.c", "-o", "x"], work)
        self.assertEqual(r.status, 0, r)
        self.assertEqual(r.programs(), ["tolm", "as", "vresk"])
        # With nothing on PATH, the children can only have come from the
        # installation, which also holds the linker plug-in.
        for record in r.records:
            self.assertEqual(os.path.realpath(os.path.dirname(record["argv"][0])),
                             os.path.realpath(self.libexec), record["program"])
        plugin = r.run_of("vresk")["argv"]
        plugin = plugin[plugin.index("-plugin") + 1]
        self.assertEqual(os.path.realpath(plugin), os.path.join(os.path.realpath(self.libexec), "libzinvet.so"))

if __name__ == "__main__":
    unittest.main()
