#!/usr/bin/env python3
"""check_dll.py DLL MACHINE OBJDUMP [EXE...]: checks the DLL as Windows' loader and Explorer see it.

MACHINE is pefile's name of the target's machine type (AMD64, I386). The DLL
and each EXE that ships beside it ask for ASLR (high-entropy on 64-bit) and
DEP, have the stack protector linked in and import Windows' own DLLs only;
each EXE has the DLL's version and a manifest that makes UTF-8 its ANSI code
page.

Module name, the single export and its ordinal, the imported DLLs (Windows'
own only: no MinGW runtime beside it) and every field and string of the
version resource. On 32-bit x86, the export's calling convention from its
code: a __stdcall function pops its three arguments (ret $0xc), a cdecl one
leaves them to the caller, and callers of either crash on the other. Reads
the file with pefile and disassembles with OBJDUMP; prints every deviation.
"""
import os
import re
import subprocess
import sys

import pefile

# Windows' own DLLs that a statically linked MinGW DLL may import.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll", "version.dll"}

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


def export_returns(path, objdump, pe, rva):
    """The return instructions of the function at rva, up to the next symbol."""
    start = pe.OPTIONAL_HEADER.ImageBase + rva
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
                              f"--stop-address={start + 0x4000:#x}", path],
                             check=True, capture_output=True, text=True).stdout
    returns, labels = [], 0
    for line in listing.splitlines():
        if re.match(r"^[0-9a-f]+ <.*>:$", line):
            labels += 1
            if labels > 1:
                break
        elif m := re.match(r"^ *[0-9a-f]+:\s+(ret[lw]?\b.*)$", line):
            returns.append(" ".join(m.group(1).split()))
    return returns


def check_hardened(path, machine, objdump, pe):
    name = os.path.basename(path)
    wanted = ["DYNAMIC_BASE", "NX_COMPAT"] + (["HIGH_ENTROPY_VA"] if machine == "AMD64" else [])
    for flag in wanted:
        bit = pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_" + flag]
        expect(pe.OPTIONAL_HEADER.DllCharacteristics & bit, f"{name}: {flag} not set")
    expect(hasattr(pe, "DIRECTORY_ENTRY_BASERELOC"), f"{name}: no relocations, so no ASLR")
    symbols = subprocess.run([objdump, "-t", path], check=True, capture_output=True, text=True).stdout
    expect("__stack_chk_fail" in symbols, f"{name}: no stack protector")
    imports = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    expect(set(imports) <= SYSTEM_DLLS, f"{name}: imports beyond Windows' own: {sorted(set(imports) - SYSTEM_DLLS)}")


def check_program(path, pe):
    """The DLL's version, and a manifest asking for the user's own rights and UTF-8 as the ANSI code page."""
    name, data = os.path.basename(path), open(path, "rb").read()
    versions = [(v.FileType, v.FileVersionMS, v.FileVersionLS) for v in getattr(pe, "VS_FIXEDFILEINFO", [])]
    expect(versions == [(1, FIXED["FileVersionMS"], FIXED["FileVersionLS"])], f"{name}: versions {versions}")
    for setting in (b">UTF-8</activeCodePage>", b'level="asInvoker"'):
        expect(setting in data, f"{name}: no {setting.decode()} in its manifest")


def main(path, machine, objdump, programs):
    for program in programs:
        check_hardened(program, machine, objdump, pefile.PE(program))
        check_program(program, pefile.PE(program))
    expect(os.path.basename(path) == "VintrelBMPRotate2.DLL", f"file name {os.path.basename(path)}")
    pe = pefile.PE(path)
    expect(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_" + machine],
           f"machine {pefile.MACHINE_TYPE.get(pe.FILE_HEADER.Machine)}, not {machine}")
    expect(pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"], "not a DLL")
    # No link time: the same sources give the same bytes.
    expect(pe.FILE_HEADER.TimeDateStamp == 0, f"link time {pe.FILE_HEADER.TimeDateStamp} in the header")
    check_hardened(path, machine, objdump, pe)

    exports = pe.DIRECTORY_ENTRY_EXPORT
    expect(exports.name == b"VINTRELBMPROTATE2.dll", f"module name {exports.name!r}")
    expect(exports.struct.Base == 1, f"ordinal base {exports.struct.Base}")
    expect(exports.struct.NumberOfFunctions == 1 and exports.struct.NumberOfNames == 1,
           f"{exports.struct.NumberOfFunctions} exports, {exports.struct.NumberOfNames} names")
    symbols = [(s.ordinal, s.name, s.forwarder) for s in exports.symbols]
    expect(symbols == [(1, b"BMPRotate2", None)], f"exports {symbols}")
    if machine == "I386" and exports.symbols:
        returns = export_returns(path, objdump, pe, exports.symbols[0].address)
        expect(returns and all(r == "ret $0xc" for r in returns),
               f"BMPRotate2 returns with {returns}, not only ret $0xc: not __stdcall")

    imports = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    expect("kernel32.dll" in imports, f"imports {imports}")
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
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])
    for failure in failures:
        print("FAIL:", failure)
    print("checked", " ".join([sys.argv[1]] + sys.argv[4:]), "OK" if not failures else f"{len(failures)} failures")
    sys.exit(1 if failures else 0)
