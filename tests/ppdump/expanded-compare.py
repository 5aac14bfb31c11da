#!/usr/bin/env python3
"""Compares ppdump's preprocessed output with clang's over real headers.

Each header of the corpus (the places raw-token-compare.py names) is
preprocessed as its own unit by both, with the same include directories and
the same predefined macros: clang's own set (clang -dM -E on an empty file)
is given to ppdump and clang alike with -undef and -imacros, so that only
the standard built-ins of both remain. Compared:
  - the expanded text, token by token (white space and linemarkers aside,
    both outputs re-tokenised by ppdump --raw-tokens);
  - the macros defined at the end (-dM), as sets of definitions;
  - the dependency rule (-M), as its target and its list of files.
Differences that are legitimate are counted under ALLOWED; any other
difference fails the file.

  expanded-compare.py --ppdump PATH [--clang PATH] --sample LIST   fixed sample
  expanded-compare.py --ppdump PATH [--clang PATH] --all           whole corpus
Exit status 0 when every file agrees up to allowed differences, 1 otherwise,
77 when clang is not there (the test is skipped).
"""
import importlib.util
import os
import re
import subprocess
import sys
import tempfile
import time

# The legitimate differences and why each is legitimate.
ALLOWED = {
    "clang-feature-queries":
        "clang's own query operators (__has_feature, __has_extension, "
        "__has_builtin, __has_attribute, __is_identifier, __building_module, "
        "__has_warning, ...) are part of its compiler, not of the "
        "preprocessor of this library; both sides get them defined to a "
        "fixed value, and a header whose result still depends on them (clang "
        "diagnoses their redefinition or uses them outside #if) is counted "
        "here when the texts differ only inside such a use.",
    "clang-error-unit":
        "A header that clang itself refuses as a unit of its own (an #error "
        "for a header not to be included directly, a missing companion "
        "header): both stop at the error and the remaining text is not "
        "compared.",
    "pragma-spelling":
        "Pragmas passed through are re-spelled by each printer: clang "
        "normalises the white space inside the pragma line and prints _Pragma "
        "operators on lines of their own with linemarkers; the tokens of the "
        "pragma line are compared, their line placement is not.",
    "date-time":
        "__DATE__, __TIME__ and __TIMESTAMP__ expand to the moment of each "
        "run.",
    "line-of-multi-line-invocation":
        "__LINE__ in a macro invoked over several lines (assert's file and "
        "line): ours takes the line of the outermost expansion point, "
        "the macro's name; clang takes the line where the invocation ends.",
    "dm-white-space":
        "-dM lines are compared with white space removed: ours writes a "
        "pasted token as \"a ## b\" with one blank before the operator, clang "
        "as written.",
    "wchar-signedness":
        "The reader's wide character type is the target's (the ARM target's "
        "unsigned wchar_t), so #if expressions on wide character constants "
        "(the C library's __WCHAR_MIN) take the other branch than clang "
        "running for the host.",
    "imacros-listed":
        "The -imacros file of predefined macros is read by ppdump as an "
        "include and listed by -M; it is left out of both rules.",
    "file-spelling":
        "__FILE__ and linemarker file names: clang spells a header found "
        "through the current directory with a leading \"./\"; ours "
        "joins the directory as given.",
}

# Defined for both: clang's compiler queries at fixed values.
QUERY_STUBS = [
    "__has_feature(x)=0", "__has_extension(x)=0", "__has_builtin(x)=0",
    "__has_attribute(x)=0", "__has_cpp_attribute(x)=0", "__has_c_attribute(x)=0",
    "__has_declspec_attribute(x)=0", "__is_identifier(x)=1", "__building_module(x)=0",
    "__has_warning(x)=0", "__is_target_arch(x)=0", "__is_target_vendor(x)=0",
    "__is_target_os(x)=0", "__is_target_environment(x)=0",
]


def load_raw_compare():
    here = os.path.dirname(os.path.abspath(__file__))
    spec = importlib.util.spec_from_file_location(
        "raw_token_compare", os.path.join(here, "raw-token-compare.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


RAW = load_raw_compare()


def include_args(clang, language):
    resource = RAW.resource_dir(clang)
    dirs = []
    if language == "c++":
        dirs.append("/usr/lib/llvm-14/include/c++/v1")
    dirs += [resource, "/usr/include/x86_64-linux-gnu", "/usr/include"]
    args = ["-nostdinc"]
    for d in dirs:
        args += ["-isystem", d]
    return args


# ppdump defines these itself, also under -undef; defining them again from
# clang's list would only draw "redefined" warnings.
OWN_MACROS = re.compile(r"#define (__STDC(_VERSION|_HOSTED|_UTF_16|_UTF_32)?__|__cplusplus) ")


def write_predefined(clang, x, std, path):
    """Writes clang's predefined macros for language X and STD to PATH, less
    those ppdump defines itself."""
    out = subprocess.run([clang, "-dM", "-E", "-x", x, std, "/dev/null"],
                         capture_output=True, text=True)
    with open(path, "w") as f:
        f.writelines(line for line in out.stdout.splitlines(True) if not OWN_MACROS.match(line))


def predefined(clang, language, directory):
    path = os.path.join(directory, "predef-%s.h" % language)
    if not os.path.exists(path):
        x = "c++" if language == "c++" else "c"
        std = "-std=gnu++17" if language == "c++" else "-std=gnu17"
        write_predefined(clang, x, std, path)
    return path


def common_args(clang, language, predef):
    args = ["-undef", "-imacros", predef] + include_args(clang, language)
    for stub in QUERY_STUBS:
        args += ["-D", stub]
    return args


def tokens_of(ppdump, text, language):
    x = ["-x", "c++", "-std=kav++17"] if language == "c++" else ["-std=kav17"]
    out = subprocess.run([ppdump, "--raw-tokens", "-P"] + x + ["-"], input=text,
                         capture_output=True)
    tokens = []
    for line in out.stdout.decode("utf-8", "surrogateescape").split("\n"):
        fields = line.split("\t")
        if len(fields) == 4 and fields[0] != "EOF":
            tokens.append(fields[1])
    return tokens


def without_pragmas(text):
    return b"\n".join(line for line in text.split(b"\n")
                      if not line.lstrip().startswith(b"#"))


def std_of(language, ours):
    if language == "c++":
        return ["-x", "c++", "-std=kav++17" if ours else "-std=gnu++17"]
    return ["-std=kav17"] if ours else ["-x", "c", "-std=gnu17"]


def run_both(ppdump, clang, path, language, predef, extra):
    args = common_args(clang, language, predef) + extra
    ours = subprocess.run([ppdump] + std_of(language, True) + args + [path],
                          capture_output=True)
    theirs = subprocess.run([clang, "-E", "-Wno-builtin-macro-redefined"] +
                            std_of(language, False) + args + [path], capture_output=True)
    return ours, theirs


def compare_text(ppdump, clang, path, language, predef):
    ours, theirs = run_both(ppdump, clang, path, language, predef, ["-P"])
    if theirs.returncode != 0:
        return None, "clang-error-unit"
    a = tokens_of(ppdump, without_pragmas(ours.stdout), language)
    b = tokens_of(ppdump, without_pragmas(theirs.stdout), language)
    if a == b:
        return None, None
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            context = " ".join(b[max(0, i - 5):i + 3])
            if "__DATE__" in context or y.startswith('"') and ":" in y and len(y) == 10:
                return None, "date-time"
            if x.startswith('"') and y.startswith('"') and y.replace("./", "") == x:
                return None, "file-spelling"
            if (x.isdigit() and y.isdigit() and i >= 2 and b[i - 1] == ","
                    and b[i - 2].endswith(os.path.basename(path) + '"')):
                return None, "line-of-multi-line-invocation"
            return "text token %d: ppdump %r, clang %r (near: %s)" % (i, x, y, context), None
    return "text token counts differ: ppdump %d, clang %d" % (len(a), len(b)), None


def macro_set(output):
    return set("".join(line.split()) for line in
               output.decode("utf-8", "surrogateescape").split("\n")
               if line.startswith("#define "))


def compare_macros(ppdump, clang, path, language, predef):
    ours, theirs = run_both(ppdump, clang, path, language, predef, ["-dM"])
    if theirs.returncode != 0:
        return None
    a = macro_set(ours.stdout)
    b = macro_set(theirs.stdout)
    # The query stubs are defined on both command lines; clang lists them as
    # written, ours as "NAME(x) 0": compare by name only for them.
    a = {m for m in a if not any(m.startswith("#define" + s.split("(")[0] + "(")
                                 for s in QUERY_STUBS)}
    b = {m for m in b if not any(m.startswith("#define" + s.split("(")[0] + "(")
                                 for s in QUERY_STUBS)}
    # The wide character type's signedness is the target's (see ALLOWED).
    a = {m for m in a if not m.startswith("#define__WCHAR_MIN")}
    b = {m for m in b if not m.startswith("#define__WCHAR_MIN")}
    only_ours = sorted(a - b)
    only_theirs = sorted(b - a)
    if only_ours or only_theirs:
        return "-dM: only ppdump %s; only clang %s" % (only_ours[:3], only_theirs[:3])
    return None


def rule_of(output):
    text = output.decode("utf-8", "surrogateescape").replace("\\\n", " ")
    head, _, tail = text.partition(":")
    return head.strip(), [os.path.normpath(w) for w in tail.split()]


def compare_rules(ppdump, clang, path, language, predef):
    ours, theirs = run_both(ppdump, clang, path, language, predef, ["-M"])
    if theirs.returncode != 0:
        return None
    a = rule_of(ours.stdout)
    b = rule_of(theirs.stdout)
    a = (a[0], [d for d in a[1] if d != os.path.normpath(predef)])
    b = (b[0], [d for d in b[1] if d != os.path.normpath(predef)])
    if a != b:
        return "-M: ppdump %s, clang %s" % (a, b)
    return None


def main():
    corpus = RAW.corpus_from_command_line("the preprocessed-output comparison needs it")
    if corpus is None:
        return 77
    args, clang, files = corpus
    failed = compared = missing = 0
    allowed_total = {}
    start = time.time()
    with tempfile.TemporaryDirectory() as directory:
        for path, language in files:
            if not os.path.isfile(path):
                missing += 1
                continue
            predef = predefined(clang, language, directory)
            compared += 1
            mismatch, allowed = compare_text(args.ppdump, clang, path, language, predef)
            if allowed:
                allowed_total[allowed] = allowed_total.get(allowed, 0) + 1
            mismatch = (mismatch or compare_macros(args.ppdump, clang, path, language, predef)
                        or compare_rules(args.ppdump, clang, path, language, predef))
            if mismatch:
                failed += 1
                print("MISMATCH %s (%s): %s" % (path, language, mismatch))
            elif args.verbose:
                print("ok %s" % path)
    print("%d files compared (%d missing), %d mismatching files, %.1f s"
          % (compared, missing, failed, time.time() - start))
    for key, count in sorted(allowed_total.items()):
        print("allowed %s: %d" % (key, count))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
