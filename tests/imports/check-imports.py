#!/usr/bin/env python3
"""Reads the import table of setup32.exe and checks every imported function
and DLL against tests/imports/imports.txt: each function must work on the
oldest Windows the README claims (Windows 95 and NT 4.0), or be stubbed there
with a note on how its failure is handled; each DLL must be one that Windows
keeps in its known-DLL list; and the image's DependentLoadFlags must be
LOAD_LIBRARY_SEARCH_SYSTEM32. Prints the DLLs with the first version whose
list holds them.

    check-imports.py SETUP32_EXE TABLE
Exit code 0: all good; 1: a check failed; 2: the file is not a PE image.
"""
import struct
import sys

NT_ORDER = ["3.1", "3.5", "3.51", "4.0", "2000", "XP", "Vista", "7", "8", "10"]
OLDEST_NT = "4.0"


def read_imports(path):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == 0x10B:
        directories, thunk_size = optional + 96, 4
    elif magic == 0x20B:
        directories, thunk_size = optional + 112, 8
    else:
        raise ValueError("unknown optional header 0x%x" % magic)
    sections = []
    table = optional + optional_size
    for i in range(sections_count):
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def offset(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA 0x%x in no section" % rva)

    def text(rva):
        start = offset(rva)
        return data[start:data.index(b"\0", start)].decode("ascii")

    # The load configuration's DependentLoadFlags (offset 0x36 in PE32,
    # 0x4E in PE32+), or None without the directory or with one too short.
    flags = None
    config_rva, config_size = struct.unpack_from("<II", data, directories + 8 * 10)
    flags_at = 0x36 if thunk_size == 4 else 0x4E
    if config_rva and config_size >= flags_at + 2:
        flags = struct.unpack_from("<H", data, offset(config_rva) + flags_at)[0]

    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    imports = []
    at = offset(import_rva)
    while True:
        lookup, _, _, name, first = struct.unpack_from("<IIIII", data, at)
        if name == 0:
            break
        dll = text(name)
        thunk = offset(lookup or first)
        while True:
            value = struct.unpack_from("<Q" if thunk_size == 8 else "<I", data, thunk)[0]
            if value == 0:
                break
            if value >> (thunk_size * 8 - 1):
                imports.append((dll, "#%d" % (value & 0xFFFF)))
            else:
                imports.append((dll, text(value + 2)))
            thunk += thunk_size
        at += 20
    return imports, flags


def read_table(path):
    functions, known = {}, {}
    for number, line in enumerate(open(path), 1):
        fields = line.split(None, 5)
        if not fields or fields[0].startswith("#"):
            continue
        if fields[0] == "fn" and len(fields) >= 5:
            note = fields[5].strip() if len(fields) > 5 else ""
            functions[(fields[1].lower(), fields[2])] = (fields[3], fields[4], note)
        elif fields[0] == "known" and len(fields) >= 3:
            known[fields[1].lower()] = " ".join(fields[2:]).strip()
        else:
            raise ValueError("%s:%d: not a row: %s" % (path, number, line.strip()))
    return functions, known


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    try:
        imports, flags = read_imports(argv[1])
    except (OSError, ValueError, struct.error) as error:
        print("%s: %s" % (argv[1], error))
        return 2
    functions, known = read_table(argv[2])
    faults = []
    dlls = []
    for dll, name in imports:
        if dll not in dlls:
            dlls.append(dll)
        row = functions.get((dll.lower(), name))
        if row is None:
            faults.append("%s!%s: not in the table; review it and add a row" % (dll, name))
            continue
        first9x, first_nt, note = row
        if first9x == "stub" and not note.startswith("handled:"):
            faults.append("%s!%s: Windows 95 only stubs it (%s)" % (dll, name, note or "no note"))
        elif first9x not in ("95", "stub"):
            faults.append("%s!%s: not on Windows 95 (first %s)" % (dll, name, first9x))
        if first_nt not in NT_ORDER or NT_ORDER.index(first_nt) > NT_ORDER.index(OLDEST_NT):
            faults.append("%s!%s: not on Windows NT %s (first %s)" % (dll, name, OLDEST_NT, first_nt))
    for dll in dlls:
        if dll.lower() not in known:
            faults.append("%s: not a known DLL; it could be loaded from the installer's folder" % dll)
        else:
            print("known DLL %-13s from NT %s" % (dll, known[dll.lower()]))
    # What the static imports pull in at start-up comes from the system
    # folder only (Windows 10 1607 and later).
    if flags != 0x800:
        faults.append("load configuration: DependentLoadFlags %s, not 0x800 "
                      "(LOAD_LIBRARY_SEARCH_SYSTEM32)" % ("missing" if flags is None else hex(flags)))
    print("%d imports from %d DLLs" % (len(imports), len(dlls)))
    for fault in faults:
        print("FAIL " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
