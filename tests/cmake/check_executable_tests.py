#!/usr/bin/env python3
"""The size and demangler check that runs after every link of Ardenwick-Setup.exe refuses what it must.

    check_executable_tests.py CHECK_SCRIPT"""
import os
import subprocess
import sys
import tempfile

LIMIT = 1153434


def verdict(check, content):
    with tempfile.NamedTemporaryFile(suffix=".exe", delete=False) as stream:
        stream.write(content)
    try:
        result = subprocess.run([sys.executable, check, stream.name, str(LIMIT)], capture_output=True, text=True)
        return result.returncode, result.stderr
    finally:
        os.unlink(stream.name)


def main():
    check = sys.argv[1]
    failures = []
    cases = [
        ("exactly at the limit", b"MZ" + b"\0" * (LIMIT - 2), 0, ""),
        ("one byte past the limit", b"MZ" + b"\0" * (LIMIT - 1), 1, "1,153,435 bytes"),
        ("the verbose terminate handler", b"MZ terminate called after throwing an instance of '", 1, "demangler"),
    ]
    for name, content, expected_status, expected_text in cases:
        status, stderr = verdict(check, content)
        if status != expected_status or expected_text not in stderr:
            failures.append(f"{name}: status {status}, stderr {stderr!r}")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
