#!/usr/bin/env python3
"""Fills the load-config and delay-import entries of a PE32+ image's data directory after the link,
pads the image to a multiple of 8 bytes and sets its checksum.

    pe_data_directories.py --map LINKER_MAP IMAGE

GNU ld 2.40 sets neither. The load configuration is the symbol _load_config_used (its size is its first
field); the delay-import directory is the run of dlltool's __DELAY_IMPORT_DESCRIPTOR_* records, which
must be contiguous and end with an all-zero record (ardenwickDelayImportEnd). The padding is what
Authenticode signing would add, so `osslsigncode remove-signature` on a signed copy gives back exactly
these bytes. The image is changed in place; anything unexpected is an error, so a link that no longer
fits these assumptions fails the build.
"""

import argparse
import re
import struct
import sys

LOAD_CONFIG = 10
DELAY_IMPORT = 13
DESCRIPTOR_SIZE = 32

SYMBOL = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+(_load_config_used|__DELAY_IMPORT_DESCRIPTOR_\S+|"
                    r"ardenwickDelayImportEnd)\s*$")


def map_symbols(path):
    found = {}
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            match = SYMBOL.match(line)
            if match:
                found[match.group(2)] = int(match.group(1), 16)
    return found


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            sys.exit("not a PE image")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        self.optional = pe + 24
        if struct.unpack_from("<H", data, self.optional)[0] != 0x20B:
            sys.exit("not a PE32+ image")
        self.image_base = struct.unpack_from("<Q", data, self.optional + 24)[0]
        self.checksum_field = self.optional + 64
        self.directories = self.optional + 112
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size) and rva - address < raw_size:
                return raw_offset + rva - address
        sys.exit(f"RVA {rva:#x} is not in the file")

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.data, self.directories + 8 * index, rva, size)

    def pad_and_set_checksum(self):
        self.data.extend(b"\0" * (-len(self.data) % 8))
        struct.pack_into("<I", self.data, self.checksum_field, 0)
        # The image checksum: 16-bit one's-complement-style sum of the file, folded, plus its length.
        total = 0
        for (word,) in struct.iter_unpack("<H", self.data):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        struct.pack_into("<I", self.data, self.checksum_field, (total & 0xFFFF) + len(self.data))


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--map", required=True)
    parser.add_argument("image")
    arguments = parser.parse_args()

    symbols = map_symbols(arguments.map)
    with open(arguments.image, "rb") as f:
        image = Image(bytearray(f.read()))

    if "_load_config_used" not in symbols:
        sys.exit("_load_config_used is not in the link")
    load_config = symbols["_load_config_used"] - image.image_base
    load_config_size = struct.unpack_from("<I", image.data, image.offset(load_config))[0]
    image.set_directory(LOAD_CONFIG, load_config, load_config_size)

    descriptors = sorted(address - image.image_base for name, address in symbols.items()
                         if name.startswith("__DELAY_IMPORT_DESCRIPTOR_"))
    if descriptors:
        end = descriptors[0] + DESCRIPTOR_SIZE * len(descriptors)
        if descriptors != list(range(descriptors[0], end, DESCRIPTOR_SIZE)):
            sys.exit("the delay-import descriptors are not contiguous")
        if symbols.get("ardenwickDelayImportEnd", 0) - image.image_base != end:
            sys.exit("the delay-import descriptors are not followed by ardenwickDelayImportEnd")
        terminator = image.offset(end)
        if any(image.data[terminator:terminator + DESCRIPTOR_SIZE]):
            sys.exit("the record after the delay-import descriptors is not zero")
        image.set_directory(DELAY_IMPORT, descriptors[0], end + DESCRIPTOR_SIZE - descriptors[0])

    image.pad_and_set_checksum()
    with open(arguments.image, "wb") as f:
        f.write(image.data)


if __name__ == "__main__":
    main()
