#!/usr/bin/env python3
"""Finds addresses cut to 32 bits: the casts that pass every compiler warning and only fail
on a 64-bit machine when an address lies above 4 GB.

    (uint32_t)(uintptr_t)p      an address through a pointer-sized integer into 32 bits
    (HWND)GetWindowLongA(...)   a pointer read from a 32-bit window slot
    SetWindowLongA(w, n, (LONG)(LONG_PTR)p)

Handles are the one exception: Windows keeps handle values below 2^32 so that 32-bit and
64-bit programs can share them. A line that passes one on in 32 bits says so with the words
"32-bit handle" in a comment on that line or the line before.

usage: check_cuts.py [SOURCE_DIR]
       check_cuts.py --selftest     shows that each kind of cut is caught"""
import os
import re
import sys

POINTER_INT = r"(?:u?intptr_t|U?LONG_PTR|DWORD_PTR|U?INT_PTR|SIZE_T|size_t)"
NARROW = r"(?:u?int32_t|u?int16_t|DWORD|U?LONG|U?INT|WORD|BYTE|int|unsigned(?:\s+(?:int|long))?|long)"
CUTS = [
    ("an address cut to 32 bits through a pointer-sized integer",
     re.compile(r"\(\s*" + NARROW + r"\s*\)\s*\(\s*" + POINTER_INT + r"\s*\)")),
    ("a pointer read from a 32-bit window slot (use GetWindowLongPtr)",
     re.compile(r"\(\s*(?:H[A-Z]+|[A-Za-z_]\w*\s*\*|DLGPROC|WNDPROC)\s*\)\s*(?:\(\s*" + POINTER_INT +
                r"\s*\)\s*)?Get(?:Window|Class)Long[AW]?\s*\(")),
    ("a window slot of a dialog or window procedure in 32 bits (use the LongPtr calls)",
     re.compile(r"(?:Get|Set)(?:Window|Class)Long[AW]?\s*\([^;]*\b(?:DWL_|GWL_USERDATA|GWL_WNDPROC|GWL_HINSTANCE|GCL_)")),
]
EXCUSE = "32-bit handle"
SOURCES = (".cpp", ".h", ".c")
SKIP = {"build", ".git"}


def cuts_in(text):
    found = []
    lines = text.splitlines()
    for number, line in enumerate(lines, 1):
        code = line.split("//")[0]
        if EXCUSE in line or (number > 1 and EXCUSE in lines[number - 2]):
            continue
        for what, pattern in CUTS:
            if pattern.search(code):
                found.append((number, what, line.strip()))
    return found


def check(root):
    bad = []
    for dirpath, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d not in SKIP and not d.startswith(".")]
        for name in files:
            if name.endswith(SOURCES):
                path = os.path.join(dirpath, name)
                with open(path, encoding="latin-1") as f:
                    for number, what, line in cuts_in(f.read()):
                        bad.append(f"{os.path.relpath(path, root)}:{number}: {what}: {line}")
    return bad


def selftest():
    caught = [
        "Put32(r, (uint32_t)(uintptr_t)p);",
        "DWORD w = (DWORD)(ULONG_PTR)buffer;",
        "HWND s = (HWND)(LONG_PTR)GetWindowLongA(client, 0);",
        "auto* d = (DialogDataT*)GetWindowLong(dialog, DWL_USER);",
        "SetWindowLongA(dialog, DWL_USER, lParam);",
        "SetWindowLongA(client, 0, (LONG)(LONG_PTR)server);",
    ]
    passed = [
        "SetWindowLongPtrA(dialog, DWLP_USER, lParam);",
        "LONG style = GetWindowLongA(h, GWL_STYLE);",
        "DWORD range = (DWORD)GetWindowLongA(window, GAUGE_RANGE_SLOT);",
        "uint64_t w = (uint64_t)(uintptr_t)p;",
        "f((int32_t)(intptr_t)FrameWindow);  // a 32-bit handle",
    ]
    wrong = [t for t in caught if not cuts_in(t)] + [t for t in passed if cuts_in(t)]
    for t in wrong:
        print("selftest: wrong verdict for:", t)
    return 1 if wrong else 0


def main(argv):
    if argv[1:] == ["--selftest"]:
        return selftest()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    bad = check(os.path.abspath(root))
    for b in bad:
        print(b)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
