#!/usr/bin/env python3
"""Makes a delay-import library for one system DLL from mingw-w64's ordinary import library.

    delay_import_library.py --nm NM --dlltool DLLTOOL --import-lib libX.a --dll X.dll --output libX_delay.a

The export names come from the import library's __imp_ symbols (a name without a code stub is data and
is marked DATA, which a delay load cannot serve). dlltool then writes thunks that call
__delayLoadHelper2 on first use instead of naming the DLL in the import table.
"""

import argparse
import os
import subprocess
import sys


def exports(nm, import_lib):
    listing = subprocess.run([nm, "-P", "--defined-only", import_lib], check=True, capture_output=True,
                             text=True).stdout
    imported, code = set(), set()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) < 2:
            continue
        name, kind = fields[0], fields[1]
        if name.startswith("__imp_") and kind == "I":
            imported.add(name[len("__imp_"):])
        elif kind == "T":
            code.add(name)
    return sorted(imported), code


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--dlltool", required=True)
    parser.add_argument("--import-lib", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--output", required=True)
    arguments = parser.parse_args()

    names, code = exports(arguments.nm, arguments.import_lib)
    if not names:
        sys.exit(f"{arguments.import_lib}: no imports found")
    definition = os.path.splitext(arguments.output)[0] + ".def"
    with open(definition, "w", encoding="ascii") as out:
        out.write(f'LIBRARY "{arguments.dll}"\nEXPORTS\n')
        for name in names:
            out.write(f"{name}\n" if name in code else f"{name} DATA\n")
    if os.path.exists(arguments.output):
        os.remove(arguments.output)
    # Run in the output directory with relative names: dlltool derives symbol names from the output name,
    # so no build path reaches the archive. A fixed temporary prefix keeps the archive's member names the same from build to build.
    subprocess.run([arguments.dlltool, "--input-def", definition, "--dllname", arguments.dll,
                    "--output-delaylib", os.path.basename(arguments.output), "--temp-prefix",
                    os.path.splitext(os.path.basename(arguments.output))[0]],
                   check=True, cwd=os.path.dirname(os.path.abspath(arguments.output)))


if __name__ == "__main__":
    main()
