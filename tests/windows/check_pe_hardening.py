#!/usr/bin/env python3
"""Checks how Ardenwick-Setup.exe is linked, from its bytes.

    check_pe_hardening.py IMAGE

- the import table names KnownDLLs only; every other DLL is in the delay-import table;
- it declares Windows 10 as its minimum: OS and subsystem version 10.0 in the optional header (older
  Windows refuses to start it) and only the Windows 10 supportedOS entry in its manifest;
- nothing it imports or delay-imports is newer than that minimum (Windows 10 1507, build 10240): the
  functions of later releases that it uses (NEWER_THAN_MINIMUM) are looked up at run time, so every
  Windows 10 starts it instead of stopping on a missing entry point;
- the load configuration carries DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800);
- DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT and TERMINAL_SERVER_AWARE are set;
- the COFF time stamp is 0 (the link is reproducible);
- it does not carry the tests' verification hold (tests/e2e/verification_hold.cpp), which only the
  test build Ardenwick-Setup-held.exe links.
Prints what it read and exits non-zero on the first broken rule.
"""

import struct
import sys

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 10 and 11, plus ntdll.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
    "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
    "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}
# The declared minimum, as the optional header carries it (major, minor); 10.0 is Windows 10 1507.
DECLARED_MINIMUM = (10, 0)
MINIMUM_BUILD = 10240
# The functions the program uses that came after Windows 10 1507, with the release and build each needs.
# Only a build at or below MINIMUM_BUILD may be imported; the rest are looked up with GetProcAddress.
NEWER_THAN_MINIMUM = {
    "user32.dll!GetDpiForSystem": ("1607", 14393),
    "user32.dll!GetDpiForWindow": ("1607", 14393),
    "user32.dll!SetProcessDpiAwarenessContext": ("1703", 15063),
}
# The manifest's supportedOS entries: Windows 10 and 11 must be there, no older Windows.
WINDOWS_10_OS_ID = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
OLDER_OS_IDS = {
    "Windows Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
}
CHARACTERISTICS = {"HIGH_ENTROPY_VA": 0x20, "DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100,
                   "TERMINAL_SERVER_AWARE": 0x8000}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# The hold's event-name prefix and variables, as the wide literals it compiles to.
HOLD_MARKERS = ["Ardenwick.VerificationHold.", "ARDENWICK_TEST_HOLD_TOKEN", "ARDENWICK_TEST_HOLD_FILE"]


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE image"
        sections, self.time_stamp, optional_size = struct.unpack_from("<HI8xH", data, pe + 6)
        optional = pe + 24
        assert struct.unpack_from("<H", data, optional)[0] == 0x20B, "not PE32+"
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        self.os_version = struct.unpack_from("<HH", data, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for _, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + raw_size:
                return raw_offset + rva - address
        raise ValueError(f"RVA {rva:#x} is not in the file")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def functions_of(self, lookup):
        """The functions a name table lists (by-ordinal entries are left out)."""
        names = []
        thunk = self.offset(lookup)
        while True:
            value = struct.unpack_from("<Q", self.data, thunk)[0]
            if value == 0:
                return names
            if not value & (1 << 63):
                names.append(self.text(value + 2))
            thunk += 8

    def imported_functions(self):
        """The functions the import table names, as "dll!function"."""
        rva, _ = self.directories[1]
        functions = []
        entry = self.offset(rva) if rva else None
        while entry is not None:
            lookup, name = struct.unpack_from("<I8xI", self.data, entry)
            if name == 0:
                break
            dll = self.text(name).lower()
            functions += [f"{dll}!{function}" for function in self.functions_of(lookup)]
            entry += 20
        return functions

    def delay_imported_functions(self):
        """The functions the delay-import table names, as "dll!function"."""
        rva, _ = self.directories[13]
        functions = []
        entry = self.offset(rva) if rva else None
        while entry is not None:
            name, lookup = struct.unpack_from("<4xI8xI", self.data, entry)
            if name == 0:
                break
            dll = self.text(name).lower()
            functions += [f"{dll}!{function}" for function in self.functions_of(lookup)]
            entry += 32
        return functions

    def dll_names(self, directory, stride, name_field):
        rva, _ = self.directories[directory]
        names = []
        if rva == 0:
            return names
        entry = self.offset(rva)
        while True:
            name = struct.unpack_from("<I", self.data, entry + name_field)[0]
            if name == 0:
                return names
            names.append(self.text(name).lower())
            entry += stride


def main():
    with open(sys.argv[1], "rb") as f:
        image = Image(f.read())
    failures = []

    imports = image.dll_names(1, 20, 12)
    delay_imports = image.dll_names(13, 32, 4)
    print("imports:      ", " ".join(imports))
    print("delay imports:", " ".join(delay_imports))
    for name in imports:
        if name not in KNOWN_DLLS:
            failures.append(f"{name} is imported directly but is not a KnownDLL")
    for name in delay_imports:
        if name in KNOWN_DLLS:
            failures.append(f"{name} is a KnownDLL and needs no delay load")
    print(f"versions:      OS {image.os_version[0]}.{image.os_version[1]}, "
          f"subsystem {image.subsystem_version[0]}.{image.subsystem_version[1]}")
    for what, version in (("OS", image.os_version), ("subsystem", image.subsystem_version)):
        if version != DECLARED_MINIMUM:
            failures.append(f"the {what} version is {version[0]}.{version[1]}, not the declared "
                            f"minimum {DECLARED_MINIMUM[0]}.{DECLARED_MINIMUM[1]}")
    manifest = image.data.decode("latin-1").lower()
    if WINDOWS_10_OS_ID not in manifest:
        failures.append("the manifest does not declare Windows 10")
    failures += [f"the manifest declares {name}, older than the minimum"
                 for name, guid in OLDER_OS_IDS.items() if guid in manifest]
    for function in image.imported_functions() + image.delay_imported_functions():
        release, build = NEWER_THAN_MINIMUM.get(function, ("", 0))
        if build > MINIMUM_BUILD:
            failures.append(f"{function} is imported but needs Windows 10 {release} (build {build}): "
                            f"an older Windows 10 would not start the program")
    if not delay_imports:
        failures.append("no delay imports (WinHTTP, WinTrust and the rest must be there)")

    rva, size = image.directories[10]
    if rva == 0 or size < 80:
        failures.append(f"no load configuration covering DependentLoadFlags (rva {rva:#x}, size {size})")
    else:
        start = image.offset(rva)
        declared = struct.unpack_from("<I", image.data, start)[0]
        flags = struct.unpack_from("<H", image.data, start + 78)[0]
        print(f"load config:   rva {rva:#x} size {size} (declared {declared}) DependentLoadFlags {flags:#x}")
        if declared != size:
            failures.append("the load configuration's size differs from its directory entry")
        if flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
            failures.append(f"DependentLoadFlags is {flags:#x}, not 0x800")

    present = [name for name, bit in CHARACTERISTICS.items() if image.dll_characteristics & bit]
    print(f"DllCharacteristics {image.dll_characteristics:#06x}:", " ".join(present))
    failures += [f"{name} is not set" for name in CHARACTERISTICS if name not in present]

    print(f"time stamp:    {image.time_stamp}")
    if image.time_stamp != 0:
        failures.append("the COFF header carries a link time stamp")

    for marker in HOLD_MARKERS:
        if marker.encode("utf-16-le") in image.data or marker.encode("ascii") in image.data:
            failures.append(f"it carries the tests' verification hold ({marker})")

    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
