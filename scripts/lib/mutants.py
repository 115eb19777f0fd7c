#!/usr/bin/env python3
"""The mutants of tests/mutants.ini: each a fault that the tests it names must catch.

    mutants.py check LIST TREE           the list is well-formed and every text occurs once in TREE
    mutants.py sync SOURCE SCRATCH       makes SCRATCH a copy of SOURCE's tree without its build trees and
                                         .git, keeping the time stamps (only changed files are copied) and
                                         SCRATCH's own build trees
    mutants.py run LIST TREE [PATTERN]   in TREE (a scratch copy with its build trees, see scripts/mutants):
                                         runs every mutant's tests as they are (they must pass), then
                                         applies each mutant whose name PATTERN finds, alone, rebuilds
                                         its targets, runs its tests, expects a failure and reverts it.
Prints one line per mutant and ends with "N passed, N failed, N Windows-only"; exits 1 when any mutant
survived or was refused. A mutant with `windows_only = <reason>` guards a path that only a run on Windows
can reach: it is checked like the others but never applied here, and its line names it with the reason.
"""

import configparser
import json
import os
import re
import shutil
import subprocess
import sys
import time

REQUIRED = ("file", "find", "replace", "build", "targets", "tests")
OPTIONAL = ("filter", "windows_only")
BUILDS = ("native", "windows")


class ListError(Exception):
    pass


class Mutant:
    def __init__(self, name, fields):
        self.name = name
        missing = [key for key in REQUIRED if key not in fields]
        unknown = [key for key in fields if key not in REQUIRED + OPTIONAL]
        if missing or unknown:
            raise ListError(f"[{name}]: missing {missing}, unknown {unknown}")
        if fields["build"] not in BUILDS:
            raise ListError(f"[{name}]: build is {fields['build']!r}, not one of {BUILDS}")
        if not fields["find"] or fields["find"] == fields["replace"]:
            raise ListError(f"[{name}]: nothing to replace")
        if "windows_only" in fields and (fields["build"] != "windows" or not fields["windows_only"].strip()):
            raise ListError(f"[{name}]: windows_only needs a reason and the windows build")
        self.file = fields["file"]
        self.find = fields["find"]
        self.replace = fields["replace"]
        self.build = fields["build"]
        self.targets = fields["targets"].split()
        self.tests = fields["tests"]
        self.filter = fields.get("filter", "")
        self.windows_only = fields.get("windows_only", "").strip()

    def problem(self, tree):
        """Why this mutant cannot be applied to TREE, or None."""
        path = os.path.join(tree, self.file)
        if not os.path.isfile(path):
            return f"{self.file} does not exist"
        count = read(path).count(self.find)
        if count != 1:
            return f"its text occurs {count} times in {self.file}, not once"
        return None


def load(path):
    parser = configparser.RawConfigParser(interpolation=None, comment_prefixes=("#",),
                                          inline_comment_prefixes=None, delimiters=("=",))
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    mutants = [Mutant(name, dict(parser[name])) for name in parser.sections()]
    if not mutants:
        raise ListError(f"{path} holds no mutant")
    return mutants


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def build_dir(tree, mutant):
    return os.path.join(tree, "build", mutant.build)


def run_tests(tree, mutant):
    """Runs the mutant's tests; returns (passed, the failures: test name and first failed assertion)."""
    directory = build_dir(tree, mutant)
    results = os.path.join(directory, "test-results")
    for name in os.listdir(results) if os.path.isdir(results) else []:
        if name.endswith(".json"):
            os.remove(os.path.join(results, name))
    environment = dict(os.environ)
    if mutant.filter:
        environment["GTEST_FILTER"] = mutant.filter
    run = subprocess.run(["ctest", "--test-dir", directory, "-R", mutant.tests, "--no-tests=error"],
                         env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode == 0:
        return True, []
    failed = re.findall(r"^\s*\d+ - (\S+) \(", run.stdout, re.MULTILINE) or ["ctest"]
    return False, [(name, failed_assertions(results, name)) for name in failed]


def failed_assertions(results, test, limit=5):
    """The failed assertions of a test, from its GoogleTest JSON results: each case, place and message."""
    try:
        with open(os.path.join(results, test + ".json"), encoding="utf-8") as f:
            report = json.load(f)
    except (OSError, ValueError):
        return ["no GoogleTest results"]
    found = []
    for suite in report.get("testsuites", []):
        for case in suite.get("testsuite", []):
            for failure in case.get("failures", []):
                lines = [line.strip() for line in failure.get("failure", "").strip().splitlines() if line.strip()]
                text = " / ".join(lines)
                found.append(f"{suite['name']}.{case['name']}: {text[:300]}")
    return found[:limit] or ["no failed case recorded"]


def build(tree, mutant):
    run = subprocess.run(["cmake", "--build", build_dir(tree, mutant), "-j", os.environ.get("JOBS", "2"),
                          "--target", *mutant.targets], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True)
    return run.returncode == 0, run.stdout


def apply_and_test(tree, mutant):
    """'killed' with the failures, 'survived', or 'refused' with the reason."""
    problem = mutant.problem(tree)
    if problem:
        return "refused", problem
    path = os.path.join(tree, mutant.file)
    original = read(path)
    try:
        write(path, original.replace(mutant.find, mutant.replace))
        built, output = build(tree, mutant)
        if not built:
            return "refused", "does not build:\n" + output[-2000:]
        passed, failures = run_tests(tree, mutant)
        if passed:
            return "survived", ""
        return "killed", failures
    finally:
        write(path, original)
        os.utime(path)  # newer than what the mutant built, so the next build takes the original again


def run(list_path, tree, pattern):
    mutants = [m for m in load(list_path) if re.search(pattern, m.name)]
    started = time.monotonic()
    # Whatever an interrupted run left built, each mutated file is compiled again from what it holds now.
    for mutant in mutants:
        os.utime(os.path.join(tree, mutant.file))
    # A test that fails without any mutant would kill every mutant: each must pass first.
    seen = set()
    for mutant in mutants:
        if mutant.windows_only:
            continue
        key = (mutant.build, mutant.tests, mutant.filter)
        if key in seen:
            continue
        seen.add(key)
        built, output = build(tree, mutant)
        passed, failures = run_tests(tree, mutant) if built else (False, [("build", [output[-2000:]])])
        if not passed:
            print(f"the tests of [{mutant.name}] fail without it: {failures}")
            return 1
    print(f"every mutant's tests pass as the tree is ({time.monotonic() - started:.0f} s)")
    passed = failed = windows_only = 0
    for mutant in mutants:
        if mutant.windows_only:
            windows_only += 1
            problem = mutant.problem(tree)
            if problem:
                failed += 1
                print(f"refused: {mutant.name} ({problem})")
            else:
                print(f"Windows only, not run here: {mutant.name} ({mutant.windows_only})")
            continue
        outcome, detail = apply_and_test(tree, mutant)
        if outcome == "killed":
            passed += 1
            print(f"killed by {', '.join(name for name, _ in detail)}: {mutant.name}")
            for name, failures in detail:
                for failure in failures:
                    print(f"    {name}: {failure}")
        else:
            failed += 1
            print(f"{outcome}: {mutant.name}" + (f" ({detail})" if detail else ""))
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed, {windows_only} Windows-only ({time.monotonic() - started:.0f} s)")
    return 1 if failed else 0


def check(list_path, tree):
    problems = [f"[{m.name}]: {m.problem(tree)}" for m in load(list_path) if m.problem(tree)]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


SKIPPED_AT_TOP = ("build", ".git")


def same_file(here, there):
    if not os.path.lexists(there) or os.path.islink(here) or os.path.islink(there):
        return False
    if os.path.getsize(here) != os.path.getsize(there):
        return False
    with open(here, "rb") as a, open(there, "rb") as b:
        return a.read() == b.read()


def sync(source, scratch):
    wanted = set()
    for directory, subdirectories, files in os.walk(source):
        relative = os.path.relpath(directory, source)
        if relative == ".":
            subdirectories[:] = [d for d in subdirectories if d not in SKIPPED_AT_TOP]
            files = [f for f in files if f not in SKIPPED_AT_TOP]
        os.makedirs(os.path.join(scratch, relative), exist_ok=True)
        for name in files:
            here = os.path.join(directory, name)
            there = os.path.normpath(os.path.join(scratch, relative, name))
            wanted.add(there)
            if not same_file(here, there):
                if os.path.lexists(there):
                    os.remove(there)
                # With the time of the copy, not the original's: older than what the scratch trees built,
                # the change would go unbuilt.
                shutil.copy(here, there, follow_symlinks=False)
    for directory, subdirectories, files in os.walk(scratch):
        if os.path.relpath(directory, scratch) == ".":
            subdirectories[:] = [d for d in subdirectories if d not in SKIPPED_AT_TOP]
        for name in files:
            path = os.path.normpath(os.path.join(directory, name))
            if path not in wanted:
                os.remove(path)
    return 0


def main(arguments):
    try:
        if len(arguments) == 3 and arguments[0] == "sync":
            return sync(arguments[1], arguments[2])
        if len(arguments) == 3 and arguments[0] == "check":
            return check(arguments[1], arguments[2])
        if len(arguments) in (3, 4) and arguments[0] == "run":
            return run(arguments[1], arguments[2], arguments[3] if len(arguments) == 4 else "")
    except (ListError, configparser.Error) as error:
        print(f"mutants: {error}")
        return 2
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
