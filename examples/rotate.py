#!/usr/bin/env python3
"""rotate.py INPUT OUTPUT ANGLE [LIBRARY]: turns a 24-bit BMP picture with
VintrelBMPRotate2, called through ctypes; prints the library's result.

On Windows LIBRARY defaults to VintrelBMPRotate2.DLL in the bin folder beside
this script's folder (the ZIP's layout), elsewhere to libVintrelBMPRotate2.so.1.
"""
import ctypes
import os
import sys


def load(library=None):
    """BMPRotate2 from `library`, as a function of two str names and an int."""
    if os.name == "nt":
        here = os.path.dirname(os.path.abspath(__file__))
        # WinDLL: __stdcall, which the 32-bit DLL needs (64-bit has one convention).
        dll = ctypes.WinDLL(library or os.path.join(here, "..", "bin", "VintrelBMPRotate2.DLL"))
        name = ctypes.c_wchar_p  # wchar_t is UTF-16 here: a str goes as it is

        def wide(text):
            return text
    else:
        dll = ctypes.CDLL(library or "libVintrelBMPRotate2.so.1")
        name = ctypes.c_char_p  # wchar_t is UTF-32 here: the names go as UTF-16 bytes

        def wide(text):
            return text.encode("utf-16-le") + b"\0\0"
    rotate = dll.BMPRotate2
    rotate.argtypes = [name, name, ctypes.c_int32]
    rotate.restype = ctypes.c_int32
    return lambda input_path, output_path, angle: rotate(wide(input_path), wide(output_path), angle)


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__.strip(), file=sys.stderr)
        return 64
    rotate = load(argv[4] if len(argv) == 5 else None)
    sys.stdout.flush()  # the library prints its lines through the C runtime's stdout
    result = rotate(argv[1], argv[2], int(argv[3]))
    print(result)  # 999: written; -1, -2, -3: see the header
    return 0 if result == 999 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
