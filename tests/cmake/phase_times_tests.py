#!/usr/bin/env python3
"""scripts/lib/phase-times.sh: every phase of a run is printed at its end, also when the run fails.

    phase_times_tests.py PHASE_TIMES_SH"""
import re
import subprocess
import sys

SCRIPT = """
set -euo pipefail
source "$1"
trap 'status=$?; print_phase_times; exit $status' EXIT
phase "first build"
phase "tests"
note_step_beside "background build" 7
phase "a phase that fails"
false
phase "never reached"
"""


def main():
    run = subprocess.run(["bash", "-c", SCRIPT, "phase-times-test", sys.argv[1]], capture_output=True, text=True)
    failures = []
    if run.returncode != 1:
        failures.append(f"the failing run's status was lost: {run.returncode}")
    lines = run.stdout.splitlines()
    names = [match.group(1) for line in lines if (match := re.match(r"^\s+\d+ s  (.*)$", line))]
    expected = ["first build", "tests", "a phase that fails", "in all",
                "background build (in the background, beside the phases above)"]
    if lines[:1] != ["== phase times"] or names != expected:
        failures.append(f"printed {lines!r}, expected the phases {expected!r}")
    if not any(re.match(r"^\s+7 s  background build", line) for line in lines):
        failures.append("the background step's own seconds were not printed")
    for failure in failures:
        print("FAILED:", failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
