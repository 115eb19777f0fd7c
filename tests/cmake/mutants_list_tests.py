#!/usr/bin/env python3
"""The list of mutants stays applicable, and the runner refuses a mutant it could not apply exactly.

    mutants_list_tests.py MUTANTS_PY LIST TREE"""
import os
import subprocess
import sys
import tempfile


def check(mutants_py, list_text, tree):
    with tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False) as stream:
        stream.write(list_text)
    try:
        result = subprocess.run([sys.executable, mutants_py, "check", stream.name, tree], capture_output=True,
                                text=True)
        return result.returncode, result.stdout
    finally:
        os.unlink(stream.name)


def main():
    mutants_py, real_list, real_tree = sys.argv[1:4]
    failures = []
    code, output = check(mutants_py, open(real_list, encoding="utf-8").read(), real_tree)
    if code != 0:
        failures.append(f"the real list no longer applies to the tree:\n{output}")

    with tempfile.TemporaryDirectory() as tree:
        with open(os.path.join(tree, "guard.cpp"), "w", encoding="utf-8") as f:
            f.write("if (a) {}\nif (b) {}\nif (a) {}\n")
        entry = "[m]\nfile = guard.cpp\nfind = {find}\nreplace = if (c) {{}}\nbuild = native\n" \
                "targets = t\ntests = ^t$\n"
        cases = [
            ("found once", entry.format(find="if (b) {}"), 0, ""),
            ("found twice", entry.format(find="if (a) {}"), 1, "occurs 2 times"),
            ("not found", entry.format(find="if (z) {}"), 1, "occurs 0 times"),
            ("no tests named", entry.format(find="if (b) {}").replace("tests = ^t$\n", ""), 2, "missing ['tests']"),
            ("a key misspelt", entry.format(find="if (b) {}") + "filtre = x\n", 2, "unknown ['filtre']"),
            ("no build tree", entry.format(find="if (b) {}").replace("native", "linux"), 2, "build is"),
            ("Windows only", entry.format(find="if (b) {}").replace("native", "windows") +
             "windows_only = Wine refuses the call\n", 0, ""),
            ("Windows only without a reason", entry.format(find="if (b) {}").replace("native", "windows") +
             "windows_only =\n", 2, "windows_only needs"),
            ("Windows only in the native build", entry.format(find="if (b) {}") + "windows_only = a reason\n", 2,
             "windows_only needs"),
        ]
        for name, text, expected_code, expected_output in cases:
            code, output = check(mutants_py, text, tree)
            if code != expected_code or expected_output not in output:
                failures.append(f"{name}: exit {code} (expected {expected_code}), output {output!r}")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
