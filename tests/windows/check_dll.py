#!/usr/bin/env python3
"""check_dll.py DLL MACHINE: checks the DLL as Windows' loader and Explorer see it.

MACHINE is pefile's name of the target's machine type (AMD64, I386).

Module name, the single export and its ordinal, the imported DLLs (Windows'
own only: no MinGW runtime beside it) and every field and string of the
version resource. Reads the file with pefile; prints every deviation found.
"""
import os
import sys

import pefile

# Windows' own DLLs that a statically linked MinGW DLL may import.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll"}

STRINGS = [
    ("CompanyName", ""),
    ("FileDescription", "VintrelBMPRotate2 DLL"),
    ("FileVersion", "1, 0, 0, 1"),
    ("InternalName", "VintrelBMPRotate2"),
    ("LegalCopyright", "Copyright (c) 2026 The VintrelBMPRotate2 authors. MIT License."),  # as LICENSE
    ("LegalTrademarks", ""),
    ("OriginalFilename", "VintrelBMPRotate2.DLL"),
    ("ProductName", "VintrelBMPRotate2 Dynamic Link Library"),
    ("ProductVersion", "1, 0, 0, 1"),
    ("OLESelfRegister", ""),
]

FIXED = {
    "FileVersionMS": 0x00010000, "FileVersionLS": 0x00000001,
    "ProductVersionMS": 0x00010000, "ProductVersionLS": 0x00000001,
    "FileFlagsMask": 0x3F, "FileFlags": 0, "FileOS": 4, "FileType": 2, "FileSubtype": 0,
    "FileDateMS": 0, "FileDateLS": 0,
}

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def main(path, machine):
    expect(os.path.basename(path) == "VintrelBMPRotate2.DLL", f"file name {os.path.basename(path)}")
    pe = pefile.PE(path)
    expect(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_" + machine],
           f"machine {pefile.MACHINE_TYPE.get(pe.FILE_HEADER.Machine)}, not {machine}")
    expect(pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"], "not a DLL")

    exports = pe.DIRECTORY_ENTRY_EXPORT
    expect(exports.name == b"VINTRELBMPROTATE2.dll", f"module name {exports.name!r}")
    expect(exports.struct.Base == 1, f"ordinal base {exports.struct.Base}")
    expect(exports.struct.NumberOfFunctions == 1 and exports.struct.NumberOfNames == 1,
           f"{exports.struct.NumberOfFunctions} exports, {exports.struct.NumberOfNames} names")
    symbols = [(s.ordinal, s.name, s.forwarder) for s in exports.symbols]
    expect(symbols == [(1, b"BMPRotate2", None)], f"exports {symbols}")

    imports = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    expect("kernel32.dll" in imports, f"imports {imports}")
    expect(set(imports) <= SYSTEM_DLLS, f"imports beyond Windows' own: {sorted(set(imports) - SYSTEM_DLLS)}")
    expect(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "delay-loaded imports")

    versions = getattr(pe, "VS_FIXEDFILEINFO", [])
    expect(len(versions) == 1, f"{len(versions)} version resources")
    if not versions:
        return
    for field, value in FIXED.items():
        actual = getattr(versions[0], field)
        expect(actual == value, f"{field} is {actual:#x}, not {value:#x}")
    expect(versions[0].Signature == 0xFEEF04BD, "fixed part signature")

    blocks, translations = [], []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            blocks += info.StringTable
        elif info.Key == b"VarFileInfo":
            translations += [var.entry for var in info.Var]
    expect([b.LangID for b in blocks] == [b"040904B0"], f"string blocks {[b.LangID for b in blocks]}")
    expect(translations == [{b"Translation": "0x0409 0x04b0"}], f"translations {translations}")
    if blocks:
        found = [(k.decode(), v.decode()) for k, v in blocks[0].entries.items()]
        keys = [k for k, _ in STRINGS]
        expect([k for k, _ in found] == keys, f"string keys {[k for k, _ in found]}")
        for (key, value), (_, actual) in zip(STRINGS, found):
            if value is None:
                expect(actual != "", f"{key} is empty")
            else:
                expect(actual == value, f"{key} is {actual!r}, not {value!r}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
    for failure in failures:
        print("FAIL:", failure)
    print("checked", sys.argv[1], "OK" if not failures else f"{len(failures)} failures")
    sys.exit(1 if failures else 0)
