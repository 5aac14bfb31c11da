"""ppdump's value modes as a user runs them: --if-values and --literals."""
import os
import subprocess
import tempfile
import unittest

PPDUMP = os.environ.get("PPDUMP", "ppdump")


def run(args, text):
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "in.c")
        with open(path, "wb") as f:
            f.write(text.encode())
        return subprocess.run([PPDUMP] + args + [path], capture_output=True)


class IfValues(unittest.TestCase):
    def test_every_group_is_evaluated_with_the_macros_defined_so_far(self):
        source = ("#define A 3\n#if A * 2\n#ifdef B\n#elif defined A + A\n#endif\n"
                  "#undef A\n#if A\n#if 0\n#elif -1 < 0u\n#endif\n#endif\n")
        result = run(["--if-values"], source)
        self.assertEqual(result.stdout.decode().splitlines(),
                         ["2: 6", "4: 4", "7: 0", "8: 0", "9: 0"])
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_errors_print_error_and_fail_the_run(self):
        result = run(["--if-values"], "#if 1 +\n#if 0xffffffffffffffff\n")
        self.assertEqual(result.stdout.decode().splitlines(),
                         ["1: error", "2: 18446744073709551615u"])
        self.assertIn(b"operator '+' has no right operand", result.stderr)
        self.assertEqual(result.returncode, 1)


class Literals(unittest.TestCase):
    SOURCE = ("char *s = \"\\u00e9\\n\"; int c = 'ab'; wchar_t w = L'\\xff'; "
              "x = u\"\\U0001F600\"; y = L\"\\u00e9\";\n")

    def test_bytes_in_each_character_set(self):
        lines = run(["--literals"], self.SOURCE).stdout.decode().splitlines()
        self.assertEqual(lines, ["1:11 c3 a9 0a 00", "1:31 61 62 00 = 24930",
                                 "1:49 00 00 00 ff 00 00 00 00 = 255u",
                                 "1:62 d8 3d de 00 00 00",
                                 "1:81 00 00 00 e9 00 00 00 00"])

    def test_execution_character_sets_through_iconv(self):
        # Characters go through the named sets; numeric escapes keep the
        # target's byte order.
        lines = run(["--literals", "-fexec-charset=ISO-8859-1", "-fwide-exec-charset=UTF-32LE"],
                    self.SOURCE).stdout.decode().splitlines()
        self.assertEqual(lines[0], "1:11 e9 0a 00")
        self.assertEqual(lines[2], "1:49 00 00 00 ff 00 00 00 00 = 255u")
        self.assertEqual(lines[4], "1:81 e9 00 00 00 00 00 00 00")


if __name__ == "__main__":
    unittest.main()
