#!/usr/bin/env python3
"""Checks the layers of the program: a folder includes only the folders below it.

    sys < base < record < registry, clientdb, package < ui < install, migrate, modem, desktop
        < setup

Folders on one line of that order do not include each other either, and a folder's
internal.h is for that folder alone (the tests stand outside the check). res/ (resource ids and
the generated string ids) may be included from anywhere; the tools and the tests stand above
everything. Prints every include that breaks the order and exits 1 when there is one.

usage: check_layers.py [SOURCE_DIR]
       check_layers.py --selftest     shows that a wrong include is caught"""
import os
import re
import sys

LAYERS = [
    ["sys"],
    ["base"],
    ["record"],
    ["registry", "clientdb", "package"],
    ["ui"],
    ["install", "migrate", "modem", "desktop"],
    ["setup"],
]
# Leaf folders anyone may include, and folders outside the order.
ANYONE = {"res"}
# The decompression library is built on its own: it may use base's header-only helpers. The
# uninstaller is a program of its own over the lowest layers, the install record's format
# among them.
EXTRA = {"dunzip": {"dunzip", "base/bytes.h"},
         "uninstall": {"uninstall", "sys", "base", "record", "registry"}}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def level(folder):
    for i, names in enumerate(LAYERS):
        if folder in names:
            return i
    return None


def allowed(src_folder, target):
    folder = target.split("/")[0]
    # A folder's internal.h holds what only its own files (and the tests) may use.
    if target.endswith("/internal.h"):
        return folder == src_folder
    if folder in ANYONE or folder == src_folder:
        return True
    if src_folder in EXTRA:
        return folder in EXTRA[src_folder] or target in EXTRA[src_folder]
    a, b = level(src_folder), level(folder)
    if a is None:
        return True  # tools, tests, bench, demo: above everything
    return b is not None and b < a


def violations(root):
    bad = []
    for src_folder in [n for names in LAYERS for n in names] + list(EXTRA):
        top = os.path.join(root, src_folder)
        for dirpath, _, files in os.walk(top):
            for name in files:
                if not name.endswith((".cpp", ".h", ".c")):
                    continue
                path = os.path.join(dirpath, name)
                text = open(path, encoding="latin-1").read()
                for m in INCLUDE.finditer(text):
                    target = m.group(1)
                    if "/" in target and not allowed(src_folder, target):
                        line = text.count("\n", 0, m.start()) + 1
                        bad.append("%s:%d: %s includes %s" % (os.path.relpath(path, root), line,
                                                              src_folder, target))
    return bad


def selftest():
    import tempfile
    cases = [
        ("base/x.cpp", '#include "ui/frame.h"\n', 1),       # up two layers
        ("package/x.cpp", '#include "clientdb/access.h"\n', 1),  # beside, same layer
        ("sys/x.cpp", '#include "base/log.h"\n', 1),
        ("ui/x.cpp", '#include "package/package.h"\n#include "res/resource.h"\n', 0),
        ("setup/x.cpp", '#include "modem/modem.h"\n#include "ui/frame.h"\n', 0),
        ("registry/x.cpp", '#include "record/installrec.h"\n', 0),
        ("record/x.cpp", '#include "registry/registry.h"\n', 1),
        ("base/y.cpp", '#include "record/installrec.h"\n', 1),
        ("uninstall/x.cpp", '#include "record/installrec.h"\n', 0),
        ("setup/x.cpp", '#include "migrate/internal.h"\n', 1),  # another folder's internals
        ("migrate/x.cpp", '#include "migrate/internal.h"\n', 0),
        ("dunzip/x.cpp", '#include "base/bytes.h"\n', 0),
        ("dunzip/y.cpp", '#include "base/log.h"\n', 1),
    ]
    failed = 0
    for path, text, expected in cases:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, os.path.dirname(path)))
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
            found = len(violations(root))
            if found != expected:
                print("selftest: %s with %r: %d findings, expected %d" % (path, text, found, expected))
                failed = 1
    return failed


def main():
    if sys.argv[1:] == ["--selftest"]:
        return selftest()
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    bad = violations(root)
    for b in bad:
        print(b)
    if bad:
        print("%d includes break the layer order (see CONTRIBUTING.md)" % len(bad))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
