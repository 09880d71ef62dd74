#!/usr/bin/env python3
"""Checks the layers at link time: an object of a folder uses only symbols defined in the
folders below it (or in its own), in the order that check_layers.py holds for includes.

An include check alone misses a declaration written low and defined high (a header of ui/
declaring a value that install/ defines): this reads, with nm, what every object of the
library defines and uses, and refuses a use of a symbol defined in a higher layer or in a
sibling folder of the same layer. Symbols the library does not define (the C library, the
sanitizer) and weak ones (inline functions, templates) are left out. ALLOWED lists the known
exceptions, each with its reason.

usage: check_links.py [--nm NM] OBJECT_DIR   (the library's object folder, e.g.
                                             build/host/CMakeFiles/kovcore.dir)
       check_links.py --selftest     shows that a wrong reference is caught"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_layers import ANYONE, level  # noqa: E402

# Generated sources (the string table) belong to nobody's layer.
GENERATED = {"gen"}
# (using folder, defining folder, symbol as demangled, up to its parameter list): why.
ALLOWED = {}
# The nm that reads the tree's objects (--nm: the cross tools' for the Windows tree).
NM = "nm"
# nm's letters for a strong definition: text, data, bss, read-only, small data, common.
DEFINED = set("TDBRSGC")


def owner(obj_dir, path):
    """The source folder of an object: the first folder under the object directory."""
    return os.path.relpath(path, obj_dir).split(os.sep)[0]


def parse_nm(text):
    """(defined, used) mangled names from `nm -P` output of one object."""
    defined, used = set(), set()
    for line in text.splitlines():
        fields = line.split()
        if len(fields) < 2:
            continue
        name, kind = fields[0], fields[1]
        if kind == "U":
            used.add(name)
        elif kind in DEFINED:
            defined.add(name)
    return defined, used


def read_objects(obj_dir):
    """{object path: (folder, defined, used)} for every object under obj_dir."""
    objects = {}
    for dirpath, _, files in os.walk(obj_dir):
        for name in sorted(files):
            if not name.endswith((".o", ".obj")):
                continue
            path = os.path.join(dirpath, name)
            out = subprocess.run([NM, "-P", path], capture_output=True, text=True, check=True)
            objects[os.path.relpath(path, obj_dir)] = (owner(obj_dir, path),) + parse_nm(out.stdout)
    return objects


def demangle(names, underscore):
    """Readable names; underscore: the target prefixes every symbol with one (i386 Windows)."""
    if not names:
        return {}
    bare = [n[1:] if underscore and n.startswith("_") else n for n in names]
    try:
        out = subprocess.run(["c++filt"], input="\n".join(bare), capture_output=True,
                             text=True, check=True).stdout.splitlines()
    except (OSError, subprocess.CalledProcessError):
        out = bare
    return dict(zip(names, out))


def violations(objects):
    """Every reference that breaks the order, as text, sorted."""
    where = {}
    for folder, defined, _ in objects.values():
        for name in defined:
            where.setdefault(name, set()).add(folder)
    found = []
    for obj, (folder, _, used) in sorted(objects.items()):
        if folder in GENERATED or folder in ANYONE:
            continue
        for name in sorted(used):
            for target in sorted(where.get(name, ())):
                if target == folder or target in GENERATED or target in ANYONE:
                    continue
                a, b = level(folder), level(target)
                if a is not None and b is not None and b < a:
                    continue
                found.append((obj, folder, target, name))
    every = [n for _, defined, _ in objects.values() for n in defined]
    underscore = bool(every) and all(n.startswith("_") for n in every)
    readable = demangle(sorted({f[3] for f in found}), underscore)
    bad = []
    for obj, folder, target, name in found:
        shown = readable.get(name, name)
        if (folder, target, shown.split("(")[0]) in ALLOWED:
            continue
        bad.append("%s: %s uses %s, defined in %s" % (obj, folder, shown, target))
    return bad


def selftest():
    cases = [
        # (objects as folder, defined, used), findings expected
        ({"ui/a.o": ("ui", set(), {"FreeMb"}), "install/b.o": ("install", {"FreeMb"}, set())}, 1),
        ({"install/a.o": ("install", set(), {"Copy"}),
          "migrate/b.o": ("migrate", {"Copy"}, set())}, 1),
        ({"setup/a.o": ("setup", set(), {"Copy"}), "migrate/b.o": ("migrate", {"Copy"}, set())}, 0),
        ({"base/a.o": ("base", set(), {"malloc", "Log"}), "base/b.o": ("base", {"Log"}, set())}, 0),
        ({"base/a.o": ("base", set(), {"Note"}), "record/b.o": ("record", {"Note"}, set())}, 1),
        ({"registry/a.o": ("registry", set(), {"Note"}),
          "record/b.o": ("record", {"Note"}, set())}, 0),
        ({"sys/a.o": ("sys", set(), {"Say"}), "gen/s.o": ("gen", {"Say"}, set())}, 0),
        # A hook declared low and defined high is refused like any other use.
        ({"install/a.o": ("install", set(), {"TransferFoldersHook"}),
          "setup/b.o": ("setup", {"TransferFoldersHook"}, set())}, 1),
    ]
    failed = 0
    for objects, expected in cases:
        found = violations(objects)
        if len(found) != expected:
            print("selftest: %r: %d findings, expected %d" % (objects, len(found), expected))
            failed = 1
    # An exception named in ALLOWED is let through, and only that one.
    ALLOWED[("install", "setup", "Hook")] = "selftest"
    found = violations({"install/a.o": ("install", set(), {"Hook", "Other"}),
                        "setup/b.o": ("setup", {"Hook", "Other"}, set())})
    del ALLOWED[("install", "setup", "Hook")]
    if len(found) != 1:
        print("selftest: ALLOWED not honoured: %r" % (found,))
        failed = 1
    sample = "Log T 0 10\nmalloc U\n_ZN1X1yE W 0 4\nCount B 0 4\n"
    if parse_nm(sample) != ({"Log", "Count"}, {"malloc"}):
        print("selftest: nm output misread: %r" % (parse_nm(sample),))
        failed = 1
    return failed


def main():
    global NM
    args = sys.argv[1:]
    if args == ["--selftest"]:
        return selftest()
    if len(args) == 3 and args[0] == "--nm":
        NM, args = args[1], args[2:]
    if len(args) != 1:
        print(__doc__)
        return 2
    objects = read_objects(args[0])
    if not objects:
        print("no objects under %s" % args[0])
        return 1
    bad = violations(objects)
    for b in bad:
        print(b)
    if bad:
        print("%d references break the layer order (see CONTRIBUTING.md)" % len(bad))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
