#!/usr/bin/env python3
"""Points the load configuration directory entry of a linked installer at its
_load_config_used record (app/entry.cpp), which GNU ld 2.40 links in but
does not enter in the data directory, and writes the PE checksum again when
the link had set one.

    set-load-config.py EXE MAP
EXE is changed in place; MAP is the link's map file, where the record's
address is read. Fails (exit 1) when the record is missing or lies outside
the image's sections.
"""
import re
import struct
import sys

LOAD_CONFIG = 10


def pe_checksum(data, checksum_offset):
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for at in (checksum_offset, checksum_offset + 2):
        word = struct.unpack_from("<H", data, at)[0]
        total -= word
        if total < 0:
            total += 0xFFFF
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(exe, map_file):
    address = None
    for line in open(map_file, errors="replace"):
        match = re.match(r"\s+0x([0-9a-f]+)\s+_?_load_config_used\s*$", line)
        if match:
            address = int(match.group(1), 16)
    if address is None:
        print("%s: no _load_config_used in the map" % map_file)
        return 1
    data = bytearray(open(exe, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == 0x10B:
        image_base = struct.unpack_from("<I", data, optional + 28)[0]
        directories = optional + 96
    else:
        image_base = struct.unpack_from("<Q", data, optional + 24)[0]
        directories = optional + 112
    rva = address - image_base
    size = None
    table = optional + optional_size
    for i in range(sections_count):
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        if va <= rva < va + min(vsize, rawsize):
            size = struct.unpack_from("<I", data, rawptr + rva - va)[0]
    if size is None or size == 0:
        print("%s: _load_config_used at 0x%x is in no section's file data" % (exe, address))
        return 1
    struct.pack_into("<II", data, directories + 8 * LOAD_CONFIG, rva, size)
    checksum_offset = optional + 64
    if struct.unpack_from("<I", data, checksum_offset)[0] != 0:
        struct.pack_into("<I", data, checksum_offset, pe_checksum(bytes(data), checksum_offset))
    open(exe, "wb").write(bytes(data))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
