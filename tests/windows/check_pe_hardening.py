#!/usr/bin/env python3
"""Checks how Ardenwick-Setup.exe is linked, from its bytes.

    check_pe_hardening.py IMAGE

- the import table names KnownDLLs only; every other DLL is in the delay-import table;
- functions newer than Windows 7 (SetProcessMitigationPolicy) are not imported but looked up at run
  time, so a system without them still starts the program;
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
# Newer than Windows 7, which the manifest still declares: looked up with GetProcAddress instead.
RUN_TIME_ONLY = ["kernel32.dll!SetProcessMitigationPolicy"]
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

    def imported_functions(self):
        """The functions the import table names, as "dll!function" (by-ordinal entries are left out)."""
        rva, _ = self.directories[1]
        functions = []
        entry = self.offset(rva) if rva else None
        while entry is not None:
            lookup, name = struct.unpack_from("<I8xI", self.data, entry)
            if name == 0:
                break
            dll = self.text(name).lower()
            thunk = self.offset(lookup)
            while True:
                value = struct.unpack_from("<Q", self.data, thunk)[0]
                if value == 0:
                    break
                if not value & (1 << 63):
                    functions.append(f"{dll}!{self.text(value + 2)}")
                thunk += 8
            entry += 20
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
    imported = image.imported_functions()
    for function in RUN_TIME_ONLY:
        if function in imported:
            failures.append(f"{function} is imported: a system without it would not start the program")
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
