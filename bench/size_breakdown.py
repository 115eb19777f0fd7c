#!/usr/bin/env python3
"""What takes the space in Ardenwick-Setup.exe, from the GNU ld map file of its own link (the map lists
every kept input section, stripped output or not).

    size_breakdown.py MAP SOURCE_DIR [--top N]

Every input section the linker kept is charged to a component: our code by subsystem (the src/ folder
that holds the object's source), the nlohmann json and standard-library templates instantiated in our
objects (told apart by the section's mangled name), SQLite, libstdc++, libgcc, winpthread, the mingw-w64
C runtime, import thunks and the resources. Prints figures only.
"""
import argparse
import collections
import os
import re
import sys

KEPT_SECTIONS = (".text", ".data", ".rdata", ".pdata", ".xdata", ".rsrc", ".idata", ".tls", ".CRT", ".reloc")
ENTRY = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def input_sections(map_path):
    """Yields (output section, input section name, size, file) for each kept input section."""
    with open(map_path, encoding="utf-8", errors="replace") as stream:
        lines = stream.read().split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("Linker script and memory map"))
    output = None
    pending = None
    for line in lines[start:]:
        if line and not line[0].isspace():
            name = line.split()[0]
            output = name if name in KEPT_SECTIONS else None
            pending = None
            continue
        if output is None:
            continue
        if re.match(r"^ \S+$", line):  # a long section name: its address, size and file follow below
            pending = line.strip()
            continue
        match = ENTRY.match(line)
        if not match:
            pending = None
            continue
        name = match.group(1) or pending
        pending = None
        if name is None or name.startswith("*") or name.startswith("0x"):
            continue
        size = int(match.group(3), 16)
        if size:
            yield output, name, size, match.group(4).strip()


def subsystem_index(source_dir):
    """Maps an object's source file name to its folder under src/."""
    index = {}
    src = os.path.join(source_dir, "src")
    for folder, _, files in os.walk(src):
        for file in files:
            if file.endswith(".cpp"):
                index[file] = os.path.relpath(folder, src)
    return index


def component(output, name, file, subsystems):
    base = os.path.basename(file)
    member = re.search(r"\(([^)]+)\)$", base)
    library = base.split("(")[0]
    if output == ".rsrc" or file.endswith(".res"):
        return "resources (icon, manifest, version, Outfit font)"
    if output == ".idata" or re.match(r"lib(winhttp|wintrust|crypt32|bcrypt|version|advapi32|shell32|ole32|uuid|"
                                       r"user32|gdi32|comctl32|dwmapi|uxtheme|shcore|kernel32|msvcrt|ucrt\w*|"
                                       r"api-ms\S*)\.a$", library):
        return "import tables and thunks (Windows DLLs)"
    if library == "libardenwick_sqlite.a":
        return "SQLite (amalgamation)"
    if library.startswith("libstdc++"):
        return "libstdc++ (static)"
    if library in ("libgcc.a", "libgcc_eh.a") or base.startswith("crtbegin") or base.startswith("crtend"):
        return "libgcc and its unwinder"
    if library.startswith("libwinpthread") or library == "libpthread.a":
        return "winpthread"
    if library.startswith("libardenwick") or base.endswith(".cpp.obj"):
        mangled = name.split("$", 1)[1] if "$" in name else ""
        if "nlohmann" in mangled:
            return "nlohmann json (instantiated in our code)"
        if re.match(r"_ZN?K?St|_ZNSt|_ZSt|_ZNKSt|_ZTVSt|_ZTSSt|_ZTISt|_ZNSa|_ZNSs|_ZNKS|_ZSt", mangled):
            return "std templates (instantiated in our code)"
        source = member.group(1).removesuffix(".obj") if member else base.removesuffix(".obj")
        return "ours: " + subsystems.get(source, "other")
    return "mingw-w64 C runtime and start-up"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("map")
    parser.add_argument("source_dir")
    parser.add_argument("--top", type=int, default=12, help="how many single objects to list")
    args = parser.parse_args()
    subsystems = subsystem_index(args.source_dir)

    totals = collections.Counter()
    by_section = collections.defaultdict(collections.Counter)
    objects = collections.Counter()
    for output, name, size, file in input_sections(args.map):
        what = component(output, name, file, subsystems)
        totals[what] += size
        by_section[what][output] += size
        objects[os.path.basename(file)] += size

    whole = sum(totals.values())
    print(f"  {'component':48} {'bytes':>10} {'share':>6}   code / read-only data / unwind tables")
    for what, size in totals.most_common():
        sections = by_section[what]
        code = sections[".text"]
        rodata = sections[".rdata"] + sections[".data"]
        unwind = sections[".pdata"] + sections[".xdata"]
        print(f"  {what:48} {size:10,d} {100 * size / whole:5.1f}%   {code:,} / {rodata:,} / {unwind:,}")
    print(f"  {'total of the kept input sections':48} {whole:10,d}")
    print(f"  largest single objects:")
    for file, size in objects.most_common(args.top):
        print(f"    {file:60} {size:10,d}")


if __name__ == "__main__":
    sys.exit(main())
