#!/usr/bin/env python3
"""Points the load configuration directory entry of a linked installer at its
_load_config_used record (app/entry.cpp), which GNU ld 2.40 links in but
does not enter in the data directory; moves the PE headers up against the
DOS header, so that they take one 512-byte block of the file instead of two;
and writes the PE checksum again when the link had set one.

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


# The DOS header of a compacted file (64 bytes). Its DOS program is the 32
# bytes from offset 0x20: "Win32 only." and exit code 1, as ld's 64-byte stub
# tells a DOS user that the file needs Windows; e_lfanew (0x3C) names 0x40.
DOS_HEADER = (
    struct.pack("<2s13H", b"MZ",
                0x40,    # e_cblp: 64 bytes in the last (only) page
                1,       # e_cp: one page
                0,       # e_crlc: no DOS relocations
                2,       # e_cparhdr: a 32-byte header; the program follows
                0x10,    # e_minalloc: 256 bytes more, for the stack
                0xFFFF,  # e_maxalloc
                0,       # e_ss
                0x100,   # e_sp
                0,       # e_csum
                0,       # e_ip
                0,       # e_cs
                0x40,    # e_lfarlc: 0x40 marks a new-style executable
                0)       # e_ovno
    + b"\0" * 4
    + bytes([0x0E, 0x1F,                # push cs; pop ds
             0xBA, 0x0E, 0x00,          # mov dx, 0x0E (the text below)
             0xB4, 0x09, 0xCD, 0x21,    # print it
             0xB8, 0x01, 0x4C, 0xCD, 0x21])  # exit with code 1
    + b"Win32 only.\r\n$"
    + struct.pack("<I", 0x40))
assert len(DOS_HEADER) == 0x40


def compact_headers(data):
    """The file with its PE headers at 0x40 and its sections one 512-byte
    block earlier, when the headers then fit that block and nothing in the
    file points at a file offset that would move; otherwise unchanged."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    symbols = struct.unpack_from("<I", data, pe + 12)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    file_alignment = struct.unpack_from("<I", data, optional + 36)[0]
    headers_size = struct.unpack_from("<I", data, optional + 60)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    security, debug = (struct.unpack_from("<II", data, directories + 8 * i) for i in (4, 6))
    end = pe + 24 + optional_size + 40 * sections_count
    if (pe == 0x40 or 0x40 + end - pe > 0x200 or file_alignment != 0x200 or headers_size != 0x400
            or symbols or any(security) or any(debug)):
        return data
    table = optional + optional_size
    for i in range(sections_count):
        rawptr = struct.unpack_from("<I", data, table + 40 * i + 20)[0]
        if rawptr and rawptr < 0x400:
            return data
    out = bytearray(0x200)
    out[:0x40] = DOS_HEADER
    out[0x40:0x40 + end - pe] = data[pe:end]
    struct.pack_into("<I", out, 0x40 + 24 + 60, 0x200)
    for i in range(sections_count):
        at = 0x40 + 24 + optional_size + 40 * i + 20
        rawptr = struct.unpack_from("<I", out, at)[0]
        if rawptr:
            struct.pack_into("<I", out, at, rawptr - 0x200)
    return out + data[0x400:]


def main(exe, map_file):
    address = None
    for line in open(map_file, errors="replace"):
        match = re.match(r"\s+0x([0-9a-f]+)\s+_?_load_config_used\s*$", line)
        if match:
            address = int(match.group(1), 16)
    if address is None:
        print("%s: no _load_config_used in the map" % map_file)
        return 1
    data = compact_headers(bytearray(open(exe, "rb").read()))
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
