#!/usr/bin/env python3
"""Mutation testing: plant one plausible fault at a time and see whether the
unit tests notice.

Each mutant changes one spot of one source file (a boundary moved by one, a
comparison flipped, && and || swapped, a rounding call dropped or swapped, a
write changed, a constant changed, a statement deleted, an early return
inserted). The script writes it into a private copy of the repository
(<build-dir>/src, so an interrupted run never leaves a fault in the working
tree), rebuilds only the test executables that can observe the folder in a
Release build of its own (<build-dir>/build, with ccache), runs them with a
timeout (a hang counts as killed) and restores the file. Results are appended
to <build-dir>/results.jsonl, one line per mutant, so a run can be stopped at
any time and started again: mutants already on record are not run again.

    tests/mutation/mutate.py --folder graphics --folder views
    tests/mutation/mutate.py --folder model --max-mutants 300 --seed 1
    tests/mutation/mutate.py --folder graphics --files 'graphics/ring*' --list
    tests/mutation/mutate.py --folder views --rerun survived   # after strengthening tests
    tests/mutation/mutate.py --folder graphics --folder views --report

A mutant is "killed" when a test fails or times out, "survived" when every
test passes, "uncompilable" when the build fails, and "same-code" when the
mutated file compiles to the very same object file (a fault the compiler
cannot tell apart from the original, so no test can either). Mutants that a
person judged equivalent are listed with a reason in equivalent.txt beside
this script and are left out of the kill rate, which is
killed / (killed + survived).

This is not part of ./scripts/test.sh: a full pass over a folder takes hours.
Python 3 from Debian, standard library only.
"""

import argparse
import fnmatch
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field

# Which unit-test executables can observe a change in each folder. A folder
# not listed here is observed by every executable under tests/.
GRAPHICS_TESTS = [
    "canvas_test", "span_list_test", "polygon_test", "ring_test", "font_test", "text_cache_test",
    "window_test",
]
VIEWS_TESTS = ["matrix_panel_test", "matrix_editing_test", "graph_view_test"]
SHELL_TESTS = ["shell_test", "shell_fuzz_test"]
OBSERVERS = {
    "graphics": GRAPHICS_TESTS + VIEWS_TESTS + SHELL_TESTS,
    "views": VIEWS_TESTS + SHELL_TESTS,
    "app": SHELL_TESTS,
    "cli": ["cli_test", "settle_cli_test", "chain_limits_test", "chart_test"],
    # model/: every executable (the default).
}

# Sources that no unit-test executable links.
UNTESTED_SOURCES = {"app/main.cpp", "cli/main.cpp"}

SOURCE_SUFFIXES = (".cpp", ".h")


# ----------------------------------------------------------------------------
# Reading C++: comments, strings and preprocessor lines are blanked out so
# that no operator ever matches inside them.


def mask_code(text):
    """The text with comments, string and character literals and preprocessor
    lines replaced by spaces (line breaks kept), so columns stay aligned."""
    out = list(text)
    i = 0
    n = len(text)
    at_line_start = True

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if at_line_start and c in " \t":
            i += 1
            continue
        if at_line_start and c == "#":
            end = i
            while end < n:
                line_end = text.find("\n", end)
                if line_end < 0:
                    line_end = n
                if text[line_end - 1:line_end] == "\\":
                    end = line_end + 1
                    continue
                end = line_end
                break
            blank(i, end)
            i = end
            continue
        at_line_start = False
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2:open_paren]
            end = text.find(")" + delimiter + '"', open_paren)
            end = n if end < 0 else end + len(delimiter) + 2
            blank(i, end)
            i = end
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            end = i + 1
            while end < n and text[end] != c and text[end] != "\n":
                end += 2 if text[end] == "\\" else 1
            end = min(end + 1, n)
            blank(i, end)
            i = end
        else:
            i += 1
    return "".join(out)


# ----------------------------------------------------------------------------
# Mutation operators. Each yields (column, length, replacement, description)
# for one masked line; binary operators must have a space on both sides,
# which tells them from template brackets, pointers, references and unary
# signs in this code's layout.

RELATIONAL = {"<": ["<=", ">"], "<=": ["<", ">="], ">": [">=", "<"], ">=": [">", "<="],
              "==": ["!="], "!=": ["=="]}
ARITHMETIC = {"+": "-", "-": "+", "*": "/", "/": "*", "&": "|", "|": "&"}
ASSIGNMENT = {"+=": ["-=", "="], "-=": ["+=", "="], "*=": ["="], "/=": ["="], "|=": ["="], "&=": ["="],
              "<<=": ["="], ">>=": ["="]}
ROUNDING = {"floor": ["ceil", ""], "ceil": ["floor", ""], "trunc": ["floor", ""], "round": ["trunc", ""]}

RE_RELATIONAL = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
RE_LOGICAL = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
RE_ARITHMETIC = re.compile(r"(?<=\s)([-+*/&|])(?=\s)")
RE_ASSIGNMENT = re.compile(r"(?<=\s)(\+=|-=|\*=|/=|\|=|&=|<<=|>>=)(?=\s)")
RE_INCDEC = re.compile(r"(\+\+|--)")
RE_NOT = re.compile(r"!(?=[\w(])")
RE_ROUNDING = re.compile(r"(?<![\w.])((?:std::)?)(floor|ceil|trunc|round)(?=\s*\()")
RE_MINMAX = re.compile(r"(?<![\w.])std::(min|max)\b")
RE_BOOL = re.compile(r"(?<![\w.])(true|false)(?!\w)")
RE_FLOAT = re.compile(r"(?<![\w.])(\d+\.\d*(?:[eE][-+]?\d+)?|\d+[eE][-+]?\d+|\.\d+(?:[eE][-+]?\d+)?)(?![\w.])")
RE_INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.'])")


def relational_mutants(line):
    for m in RE_RELATIONAL.finditer(line):
        for replacement in RELATIONAL[m.group(1)]:
            yield m.start(), len(m.group(1)), replacement, "relational"


def logical_mutants(line):
    for m in RE_LOGICAL.finditer(line):
        yield m.start(), 2, "||" if m.group(1) == "&&" else "&&", "logical"


def arithmetic_mutants(line):
    for m in RE_ARITHMETIC.finditer(line):
        yield m.start(), 1, ARITHMETIC[m.group(1)], "arithmetic"


def assignment_mutants(line):
    for m in RE_ASSIGNMENT.finditer(line):
        for replacement in ASSIGNMENT[m.group(1)]:
            yield m.start(), len(m.group(1)), replacement, "write"


def incdec_mutants(line):
    for m in RE_INCDEC.finditer(line):
        yield m.start(), 2, "--" if m.group(1) == "++" else "++", "write"


def not_mutants(line):
    for m in RE_NOT.finditer(line):
        yield m.start(), 1, "", "negation"


def rounding_mutants(line):
    for m in RE_ROUNDING.finditer(line):
        prefix, name = m.group(1), m.group(2)
        for replacement in ROUNDING[name]:
            yield m.start(), len(prefix) + len(name), (prefix + replacement) if replacement else "", "rounding"


def minmax_mutants(line):
    for m in RE_MINMAX.finditer(line):
        yield m.start(), len(m.group(0)), "std::max" if m.group(1) == "min" else "std::min", "clamp"


def bool_mutants(line):
    for m in RE_BOOL.finditer(line):
        yield m.start(), len(m.group(1)), "false" if m.group(1) == "true" else "true", "constant"


RE_PURE_VIRTUAL = re.compile(r"\)\s*(?:const\s*)?=\s*0\s*;")


def number_mutants(line):
    if RE_PURE_VIRTUAL.search(line):
        return
    floats = []
    for m in RE_FLOAT.finditer(line):
        floats.append((m.start(), m.end()))
        text = m.group(1)
        value = float(text)
        yield m.start(), len(text), repr(value + 1.0), "constant"
    for m in RE_INTEGER.finditer(line):
        if any(start <= m.start() < end for start, end in floats):
            continue
        digits, suffix = m.group(1), m.group(2)
        is_hex = digits[:2].lower() == "0x"
        value = int(digits, 16 if is_hex else 10)
        for changed in (value + 1, value - 1):
            if changed < 0:
                continue
            text = (hex(changed) if is_hex else str(changed)) + suffix
            yield m.start(), len(m.group(0)), text, "constant"


LINE_OPERATORS = [relational_mutants, logical_mutants, arithmetic_mutants, assignment_mutants, incdec_mutants,
                  not_mutants, rounding_mutants, minmax_mutants, bool_mutants, number_mutants]

# A whole statement on one line that can go without breaking the build: an
# assignment to something already declared, an increment, a call, a jump, or
# a one-line if.
RE_LVALUE = r"[A-Za-z_]\w*(?:\s*(?:\.|->|::)\s*[A-Za-z_]\w*|\[[^\]]*\]|\(\))*"
RE_DELETABLE = re.compile(
    r"^(?:"
    r"(?:\+\+|--)?\*?" + RE_LVALUE + r"\s*(?:\+\+|--)?\s*(?:=|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=)\s.*"
    r"|(?:\+\+|--)" + RE_LVALUE + r"|" + RE_LVALUE + r"(?:\+\+|--)"
    r"|" + RE_LVALUE + r"(?:<[\w:, ]*>)?\s*\(.*\)(?:\s*(?:\.|->)\s*\w+\s*\(.*\))*"
    r"|continue|break|return"
    r"|if\s*\(.*"
    r");$")
NOT_CALLS = {"return", "delete", "throw", "case", "goto", "sizeof", "static_assert", "using", "typedef"}
# A parameter list (`Canvas* canvas`, `int count`) or `= default`: a declaration, not a statement.
RE_DECLARATION = re.compile(r"\(.*\b[A-Za-z_][\w:<>]*(?:\s+|\s*[*&]+\s*)[A-Za-z_]\w*\s*[,)=]"
                            r"|=\s*(?:default|delete|0)\s*;$|\b(?:virtual|operator|explicit)\b")


def balanced(text):
    depth = 0
    for c in text:
        if c in "([":
            depth += 1
        elif c in ")]":
            depth -= 1
            if depth < 0:
                return False
    return depth == 0


def deletion_mutants(masked_lines):
    previous = ";"
    for index, line in enumerate(masked_lines):
        stripped = line.strip()
        if stripped and RE_DELETABLE.match(stripped) and balanced(stripped) and "{" not in stripped \
                and "}" not in stripped and previous[-1:] in (";", "{", "}", ":") \
                and (re.match(r"(?:for|while|if)\b", stripped) or not RE_DECLARATION.search(stripped)):
            first = re.match(r"\w+", stripped)
            if not (first and first.group(0) in NOT_CALLS and not stripped.startswith("return;")):
                start = len(line) - len(line.lstrip())
                yield index, start, len(stripped), "", "statement deleted"
        if stripped:
            previous = stripped


RE_FUNCTION_START = re.compile(r"^\s*(?:(?:static|inline|virtual|constexpr)\s+)*(void|bool)\s+[\w:~]+\s*\(")


def early_return_mutants(masked_lines):
    """`return;` (or `return true;`/`return false;`) as the first statement of a
    function that returns void (or bool)."""
    for index, line in enumerate(masked_lines):
        m = RE_FUNCTION_START.match(line)
        if not m:
            continue
        for k in range(index, min(index + 8, len(masked_lines))):
            text = masked_lines[k]
            brace = text.find("{")
            semicolon = text.find(";")
            if semicolon >= 0 and (brace < 0 or semicolon < brace):
                break
            if brace < 0:
                continue
            rest = text[brace + 1:].strip()
            if rest.startswith("}") or (not rest and k + 1 < len(masked_lines)
                                        and masked_lines[k + 1].strip().startswith("}")):
                break  # an empty body: returning early changes nothing
            inserts = ["return;"] if m.group(1) == "void" else ["return true;", "return false;"]
            for insert in inserts:
                yield k, brace + 1, 0, " " + insert, "early return"
            break


# ----------------------------------------------------------------------------


@dataclass
class Mutant:
    path: str          # relative to the repository root
    line: int          # 1-based
    column: int        # 1-based
    operator: str
    original: str      # the line before
    mutated: str       # the line after
    repeat: int = 0    # how many lines above it read the same
    ident: str = field(default="")

    # The id leaves the line number out, so that a result on record stays
    # with its mutant when lines elsewhere in the file come or go.
    def __post_init__(self):
        key = f"{self.original}\0{self.mutated}\0{self.repeat}"
        self.ident = f"{self.path}:{hashlib.sha1(key.encode()).hexdigest()[:12]}"

    @property
    def folder(self):
        return self.path.split("/", 1)[0]


# Lines that only reserve capacity: no test can tell a change there.
RE_CAPACITY_ONLY = re.compile(r"\.(?:reserve|shrink_to_fit)\s*\(")


def mutants_of_file(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as handle:
        text = handle.read()
    lines = text.split("\n")
    masked = mask_code(text).split("\n")
    found = []
    seen = set()
    repeats = []
    counts = {}
    for line in lines:
        repeats.append(counts.get(line, 0))
        counts[line] = repeats[-1] + 1

    def add(index, column, length, replacement, operator):
        original = lines[index]
        mutated = original[:column] + replacement + original[column + length:]
        if mutated == original or RE_CAPACITY_ONLY.search(masked[index]):
            return
        mutant = Mutant(path, index + 1, column + 1, operator, original, mutated, repeats[index])
        if mutant.ident not in seen:
            seen.add(mutant.ident)
            found.append(mutant)

    for index, line in enumerate(masked):
        if not line.strip() or RE_CAPACITY_ONLY.search(line):
            continue
        for operator in LINE_OPERATORS:
            for column, length, replacement, name in operator(line):
                add(index, column, length, replacement, name)
    for index, column, length, replacement, name in deletion_mutants(masked):
        add(index, column, length, replacement, name)
    for index, column, length, replacement, name in early_return_mutants(masked):
        add(index, column, length, replacement, name)
    found.sort(key=lambda m: (m.line, m.column, m.mutated))
    return found


def source_files(root, folders, patterns):
    files = []
    for folder in folders:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            sys.exit(f"mutate.py: no folder {folder}")
        for dirpath, _, names in os.walk(base):
            for name in names:
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                relative = os.path.relpath(os.path.join(dirpath, name), root)
                if relative in UNTESTED_SOURCES:
                    continue
                if patterns and not any(fnmatch.fnmatch(relative, p) for p in patterns):
                    continue
                files.append(relative)
    return sorted(files)


def select_mutants(root, folders, patterns, seed, max_mutants):
    """Every mutant of the chosen files, or per folder a sample of at most
    max_mutants drawn with the seed; always in file and line order."""
    chosen = []
    for folder in folders:
        every = []
        for path in source_files(root, [folder], patterns):
            every.extend(mutants_of_file(root, path))
        if max_mutants is not None and len(every) > max_mutants:
            picked = set(random.Random(f"{seed}:{folder}").sample(range(len(every)), max_mutants))
            every = [m for k, m in enumerate(every) if k in picked]
        chosen.extend(every)
    return chosen


# ----------------------------------------------------------------------------
# The private copy, its build and the tests.


def tracked_files(root):
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=root, check=True,
                            capture_output=True).stdout.decode().split("\0")
    return [f for f in listed if f and os.path.isfile(os.path.join(root, f))]


def sync_copy(root, copy):
    """Brings the copy up to date with the working tree, touching only files
    whose content differs, so the build stays incremental; files gone from
    the tree go from the copy too."""
    wanted = set(tracked_files(root))
    for dirpath, _, names in os.walk(copy):
        for name in names:
            path = os.path.join(dirpath, name)
            if os.path.relpath(path, copy) not in wanted:
                os.remove(path)
    for relative in sorted(wanted):
        source = os.path.join(root, relative)
        target = os.path.join(copy, relative)
        with open(source, "rb") as handle:
            content = handle.read()
        if os.path.isfile(target):
            with open(target, "rb") as handle:
                if handle.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as handle:
            handle.write(content)
        shutil.copymode(source, target)


def configure(root, copy, build):
    if os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        return
    command = ["cmake", "-S", copy, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DVORLASK_BENCHMARKS=OFF",
               f"-DVORLASK_FONT_FILE={os.path.join(root, '.cache', 'fonts', 'Ubuntu-R.ttf')}"]
    if shutil.which("ccache"):
        command.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    if shutil.which("ninja"):
        command += ["-G", "Ninja"]
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def build_targets(build, targets, jobs, timeout):
    """True when every target built."""
    try:
        result = subprocess.run(["cmake", "--build", build, "-j", str(jobs), "--target", *targets],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False
    return result.returncode == 0


def test_names(root):
    names = [f[:-4] for f in os.listdir(os.path.join(root, "tests")) if f.endswith("_test.cpp")]
    return sorted(names)


def observers(root, folder):
    every = test_names(root)
    return [t for t in OBSERVERS.get(folder, every) if t in every]


def run_test(build, name, timeout):
    """(passed, detail). A test that outlives its timeout has failed."""
    executable = os.path.join(build, "tests", name)
    environment = dict(os.environ, SDL_VIDEODRIVER="dummy")
    process = subprocess.Popen([executable, "--gtest_fail_fast", "--gtest_brief=1"], cwd=build, env=environment,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return False, f"{name}: timeout"
    if process.returncode == 0:
        return True, ""
    failed = re.findall(r"\[  FAILED  \] (\S+)", output.decode(errors="replace"))
    if process.returncode < 0:
        return False, f"{name}: signal {-process.returncode}"
    return False, f"{name}: {failed[0] if failed else 'exit ' + str(process.returncode)}"


def test_order(tests, path, results, durations):
    """The executables most likely to kill a mutant of `path` first: the one
    named after the file, then those that killed most of its mutants so far,
    then the quickest. The order decides only how soon a kill is seen."""
    stem = os.path.splitext(os.path.basename(path))[0].split("_")[0]
    kills = {}
    for record in results.values():
        if record["path"] == path and record["status"] == "killed":
            name = record["detail"].split(":", 1)[0]
            kills[name] = kills.get(name, 0) + 1
    return sorted(tests, key=lambda t: (not t.startswith(stem + "_"), -kills.get(t, 0), durations[t], t))


def object_file(build, path):
    """The object file that a .cpp source compiles to, if it can be found."""
    if not path.endswith(".cpp"):
        return None
    for dirpath, _, names in os.walk(os.path.join(build, "CMakeFiles")):
        candidate = os.path.join(dirpath, os.path.basename(path) + ".o")
        if os.path.basename(path) + ".o" in names and dirpath.replace(os.sep, "/").endswith(os.path.dirname(path)):
            return candidate
    return None


def file_digest(path):
    with open(path, "rb") as handle:
        return hashlib.sha1(handle.read()).hexdigest()


# ----------------------------------------------------------------------------
# Results and the report.


def load_results(path):
    latest = {}
    if os.path.isfile(path):
        with open(path, encoding="utf-8") as handle:
            for line in handle:
                line = line.strip()
                if line:
                    record = json.loads(line)
                    latest[record["id"]] = record
    return latest


def load_equivalents(path):
    """ident -> reason, from lines `ident  reason`; # starts a comment."""
    equivalents = {}
    if os.path.isfile(path):
        with open(path, encoding="utf-8") as handle:
            for line in handle:
                line = line.strip()
                if line and not line.startswith("#"):
                    ident, _, reason = line.partition(" ")
                    equivalents[ident] = reason.strip()
    return equivalents


def rate(counts):
    judged = counts["killed"] + counts["survived"]
    return f"{100.0 * counts['killed'] / judged:5.1f} %" if judged else "    - "


def report(mutants, results, equivalents, out=sys.stdout):
    def empty():
        return {"killed": 0, "survived": 0, "uncompilable": 0, "same-code": 0, "equivalent": 0, "pending": 0}

    by_folder, by_file = {}, {}
    survivors, excluded = [], []
    for mutant in mutants:
        record = results.get(mutant.ident)
        status = record["status"] if record else "pending"
        if status == "survived" and mutant.ident in equivalents:
            status = "equivalent"
            excluded.append(mutant)
        elif status == "survived":
            survivors.append(mutant)
        for table, key in ((by_folder, mutant.folder), (by_file, mutant.path)):
            table.setdefault(key, empty())[status] += 1

    columns = ["killed", "survived", "uncompilable", "same-code", "equivalent", "pending"]
    header = f"{'':34} {'rate':>7} " + " ".join(f"{c:>12}" for c in columns)
    for title, table in (("folder", by_folder), ("file", by_file)):
        print(f"\nKill rate per {title} (killed / (killed + survived)):", file=out)
        print(header, file=out)
        for key in sorted(table):
            counts = table[key]
            print(f"{key:34} {rate(counts):>7} " + " ".join(f"{counts[c]:12d}" for c in columns), file=out)
    if survivors:
        print(f"\nSurviving mutants ({len(survivors)}):", file=out)
        for mutant in survivors:
            print(f"  {mutant.path}:{mutant.line}  [{mutant.operator}]  {mutant.ident}", file=out)
            print(f"      - {mutant.original.strip()}", file=out)
            print(f"      + {mutant.mutated.strip()}", file=out)
    if excluded:
        print(f"\nExcluded as equivalent ({len(excluded)}):", file=out)
        for mutant in excluded:
            print(f"  {mutant.path}:{mutant.line}  {mutant.mutated.strip()}  -- {equivalents[mutant.ident]}",
                  file=out)


# ----------------------------------------------------------------------------


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], cwd=here, check=True, capture_output=True,
                          text=True).stdout.strip()
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--folder", action="append", required=True,
                        help="source folder to mutate (graphics, views, model, cli, app); repeatable")
    parser.add_argument("--files", action="append", default=[],
                        help="only files matching this glob, relative to the root (e.g. 'graphics/ring*'); repeatable")
    parser.add_argument("--seed", default="1", help="seed of the sample drawn by --max-mutants (default 1)")
    parser.add_argument("--max-mutants", type=int, help="sample at most this many mutants per folder")
    parser.add_argument("--build-dir", default=os.path.join(root, "build-mutation"),
                        help="private copy, build and results (default build-mutation/ in the root)")
    parser.add_argument("--results", help="results file (default <build-dir>/results.jsonl)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="build jobs")
    parser.add_argument("--timeout-factor", type=float, default=10.0,
                        help="a test run may take this many times its unmutated time (at least 20 s)")
    parser.add_argument("--rerun", action="append", default=[], choices=["survived", "killed", "uncompilable",
                                                                          "same-code"],
                        help="run mutants on record with this status again; repeatable")
    parser.add_argument("--rerun-killed-by", action="append", default=[], metavar="TEST",
                        help="run killed mutants again whose killing test's name contains TEST (after that "
                             "test was changed or removed); repeatable")
    parser.add_argument("--recorded-only", action="store_true",
                        help="run only mutants already on record (with --rerun: those of the statuses named), "
                             "to measure a sample again after the tests changed")
    parser.add_argument("--list", action="store_true", help="list the selected mutants and stop")
    parser.add_argument("--report", action="store_true", help="print the report of the results on record and stop")
    args = parser.parse_args()

    folders = list(dict.fromkeys(f.strip("/") for f in args.folder))
    mutants = select_mutants(root, folders, args.files, args.seed, args.max_mutants)
    results_path = args.results or os.path.join(args.build_dir, "results.jsonl")
    equivalents = load_equivalents(os.path.join(here, "equivalent.txt"))

    if args.list or args.report:
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet under | head
    if args.list:
        for mutant in mutants:
            print(f"{mutant.ident}  [{mutant.operator}]  {mutant.original.strip()}  =>  {mutant.mutated.strip()}")
        print(f"{len(mutants)} mutants", file=sys.stderr)
        return
    results = load_results(results_path)
    if args.report:
        report(mutants, results, equivalents)
        return

    # A stop by signal still restores the mutated file (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("mutate.py: stopped"))
    copy = os.path.join(args.build_dir, "src")
    build = os.path.join(args.build_dir, "build")
    os.makedirs(copy, exist_ok=True)
    sync_copy(root, copy)
    configure(root, copy, build)

    targets = sorted({t for folder in folders for t in observers(root, folder)})
    print(f"building {len(targets)} test executables in {build}", flush=True)
    if not build_targets(build, targets, args.jobs, timeout=7200):
        sys.exit("mutate.py: the unmutated build fails; fix it first")
    durations = {}
    for name in targets:
        started = time.monotonic()
        passed, detail = run_test(build, name, timeout=600)
        if not passed:
            sys.exit(f"mutate.py: the unmutated tests fail ({detail}); fix them first")
        durations[name] = time.monotonic() - started
    pristine_objects = {}

    def due(mutant):
        record = results.get(mutant.ident)
        if record is None:
            return not args.recorded_only
        if record["status"] in args.rerun:
            return True
        return record["status"] == "killed" and any(t in record["detail"] for t in args.rerun_killed_by)

    pending = [m for m in mutants if due(m)]
    print(f"{len(mutants)} mutants selected, {len(pending)} to run", flush=True)
    os.makedirs(os.path.dirname(os.path.abspath(results_path)), exist_ok=True)
    with open(results_path, "a", encoding="utf-8") as log:
        for number, mutant in enumerate(pending, 1):
            tests = test_order(observers(root, mutant.folder), mutant.path, results, durations)
            target_path = os.path.join(copy, mutant.path)
            with open(target_path, encoding="utf-8") as handle:
                pristine = handle.read()
            lines = pristine.split("\n")
            if lines[mutant.line - 1] != mutant.original:
                sys.exit(f"mutate.py: {mutant.path} changed under the run; start again")
            obj = object_file(build, mutant.path)
            if obj and mutant.path not in pristine_objects and os.path.isfile(obj):
                pristine_objects[mutant.path] = file_digest(obj)

            started = time.monotonic()
            lines[mutant.line - 1] = mutant.mutated
            try:
                with open(target_path, "w", encoding="utf-8") as handle:
                    handle.write("\n".join(lines))
                status, detail = "survived", ""
                # Each executable is linked only when the ones before it passed.
                for position, name in enumerate(tests):
                    if not build_targets(build, [name], args.jobs, timeout=1800):
                        status = "uncompilable"
                        break
                    if position == 0 and obj and os.path.isfile(obj) \
                            and file_digest(obj) == pristine_objects.get(mutant.path):
                        status = "same-code"
                        break
                    passed, detail = run_test(build, name, max(20.0, args.timeout_factor * durations[name]))
                    if not passed:
                        status = "killed"
                        break
                if status == "survived":
                    detail = ""
            finally:
                with open(target_path, "w", encoding="utf-8") as handle:
                    handle.write(pristine)
            record = {"id": mutant.ident, "path": mutant.path, "line": mutant.line, "operator": mutant.operator,
                      "original": mutant.original.strip(), "mutated": mutant.mutated.strip(), "status": status,
                      "detail": detail, "seconds": round(time.monotonic() - started, 1)}
            log.write(json.dumps(record) + "\n")
            log.flush()
            results[mutant.ident] = record
            print(f"[{number}/{len(pending)}] {status:12} {mutant.path}:{mutant.line} {mutant.operator}: "
                  f"{mutant.mutated.strip()[:70]} {detail}", flush=True)
    # Leave the copy's build matching the working tree again.
    build_targets(build, targets, args.jobs, timeout=7200)
    report(mutants, results, equivalents)


if __name__ == "__main__":
    main()
