"""End-to-end harness: a temporary installation of the built programs with the
recorder standing in for every program the driver starts, and runs of the
driver in a clean environment."""
import json
import os
import shutil
import signal
import subprocess
import tempfile
import unittest

TARGET = "armv6-kaveabi-freebsd15.1"
VERSION = "12.4.0"
MACHINE = TARGET + "/" + VERSION
# The signals tests send to a run. A run inherits an ignored disposition from
# whoever started the tests (nohup, a shell's background job), and the driver
# rightly leaves an ignored signal alone: each run starts with its own.
SENT_SIGNALS = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
CHILD_PROGRAMS = ["tolm", "tolmex", "yorv", "vresk", "quorf", "objcopy", "as", "ld"]
BINARY_DIR = os.environ.get("VUZ_BINARY_DIR", os.path.join(os.path.dirname(__file__), "../../build/check"))
# The optimised tree has no tests of its own: its runs borrow the recorder.
RECORDER = os.environ.get("VUZ_RECORDER", os.path.join(BINARY_DIR, "tests/e2e/recorder"))


class Result:
    def __init__(self, status, stdout, stderr, records):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr
        self.records = records

    def programs(self):
        return [r["program"] for r in self.records]

    def run_of(self, program):
        runs = [r for r in self.records if r["program"] == program]
        assert len(runs) == 1, "%s ran %d times: %s" % (program, len(runs), self.programs())
        return runs[0]

    def __repr__(self):
        return "status %d\nstdout: %s\nstderr: %s\nprograms: %s" % (
            self.status, self.stdout, self.stderr, self.programs())


class InstallTree:
    """T/bin holds the drivers; T/libexec/vuz/<target>/<version> the children."""

    def __init__(self, children=CHILD_PROGRAMS, plugin=True):
        self.root = tempfile.mkdtemp(prefix="vuz-e2e-")
        self.bin = os.path.join(self.root, "bin")
        self.libexec = os.path.join(self.root, "libexec/vuz", MACHINE)
        self.lib = os.path.join(self.root, "lib/vuz", MACHINE)
        self.tmp = os.path.join(self.root, "tmp")
        self.work = os.path.join(self.root, "work")
        for d in (self.bin, self.libexec, self.lib, self.tmp, self.work):
            os.makedirs(d)
        for program in ("vuz", "vuz++", "vuzprep"):
            shutil.copy2(os.path.join(BINARY_DIR, "driver", program), os.path.join(self.bin, program))
        for child in children:
            shutil.copy2(RECORDER, os.path.join(self.libexec, child))
        if plugin:
            with open(os.path.join(self.libexec, "libzinvet.so"), "w") as f:
                f.write("plugin\n")
        self.log = os.path.join(self.root, "log")

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def write(self, name, text="int x;\n"):
        path = os.path.join(self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        return path

    def environment(self, env=None, actions=None):
        environment = {
            "PATH": "",
            "TMPDIR": self.tmp,
            "RECORDER_LOG": self.log,
            "ASAN_OPTIONS": "detect_leaks=1",
            "LANG": "C",
        }
        if actions:
            environment["RECORDER_ACTIONS"] = actions
        if env:
            environment.update(env)
        return environment

    def records(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [json.loads(line) for line in f if line.strip()]

    def start(self, program, args, env=None, actions=None, ignored=()):
        """A run left going, for tests that signal the driver; the signals in
        IGNORED start ignored, the other ones it is sent at their default."""
        if os.path.exists(self.log):
            os.unlink(self.log)

        def dispositions():
            for sig in SENT_SIGNALS:
                signal.signal(sig, signal.SIG_IGN if sig in ignored else signal.SIG_DFL)

        return subprocess.Popen([os.path.join(self.bin, program)] + list(args), cwd=self.work,
                                env=self.environment(env, actions), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, start_new_session=True,
                                preexec_fn=dispositions)

    def run(self, program, args, env=None, actions=None, stdin=None, argv0=None):
        if os.path.exists(self.log):
            os.unlink(self.log)
        environment = self.environment(env, actions)
        executable = os.path.join(self.bin, program)
        proc = subprocess.run([argv0 or executable] + list(args), executable=executable,
                              cwd=self.work, env=environment, input=stdin,
                              capture_output=True, text=True, timeout=60)
        return Result(proc.returncode, proc.stdout, proc.stderr, self.records())

    def temporaries(self):
        return sorted(os.listdir(self.tmp))


class DriverTest(unittest.TestCase):
    children = CHILD_PROGRAMS
    plugin = True

    def setUp(self):
        self.tree = InstallTree(self.children, self.plugin)

    def tearDown(self):
        self.tree.remove()

    def assertNoTemporaries(self):
        self.assertEqual(self.tree.temporaries(), [])
