#!/usr/bin/env python3
"""Fails the build when Ardenwick-Setup.exe grows past its size limit or carries the demangler again.

    check_executable.py EXECUTABLE MAXIMUM_BYTES

Run after the link and the signature, so the limit applies to the file a user downloads. libstdc++'s
verbose terminate handler is recognised by the text it prints; with it comes the demangler."""
import os
import sys

VERBOSE_TERMINATE_TEXT = b"terminate called after throwing an instance of"


def main():
    path, maximum = sys.argv[1], int(sys.argv[2])
    size = os.path.getsize(path)
    problems = []
    if size > maximum:
        problems.append(f"{size:,} bytes, more than the limit of {maximum:,}")
    with open(path, "rb") as stream:
        if VERBOSE_TERMINATE_TEXT in stream.read():
            problems.append("it links libstdc++'s verbose terminate handler and with it the demangler")
    for problem in problems:
        print(f"{os.path.basename(path)}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
