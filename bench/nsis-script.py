#!/usr/bin/env python3
"""Writes the peer installer's script for the [Files] of a kovpack description, so that
both installers carry the very same tree: entries of "system\\" go to the system folder,
of "windows\\" to the Windows folder, the rest below the install folder.

usage: nsis-script.py DESCRIPTION SOURCE_DIR OUT.nsi OUTFILE.exe zlib|lzma-solid [TARGET]

TARGET is the peer's stub: x86-ansi (the default) or amd64-unicode, for a 64-bit machine.
"""
import os
import sys

desc, source, out, outfile, mode = sys.argv[1:6]
target = sys.argv[6] if len(sys.argv) > 6 else "x86-ansi"
entries = []
section = None
with open(desc, encoding="cp1252") as f:
    for raw in f:
        line = raw.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            section = line.lower()
            continue
        if section != "[files]":
            continue
        name, _, src = line.partition("=")
        name, src = name.strip(), src.strip()
        path = src if src else name.replace("\\", "/")
        if not os.path.isabs(path):
            path = os.path.join(source, path)
        entries.append((name, os.path.abspath(path)))

compressor = {"zlib": "SetCompressor zlib", "lzma-solid": "SetCompressor /SOLID lzma"}[mode]
groups = {}
for name, path in entries:
    folder, _, _ = name.rpartition("\\")
    top = folder.lower()
    where = "$SYSDIR" if top == "system" else "$WINDIR" if top == "windows" else (
        "$INSTDIR\\" + folder if folder else "$INSTDIR")
    groups.setdefault(where, []).append(path)

with open(out, "w", encoding="cp1252") as f:
    # The amd64 stubs exist only in their Unicode form.
    f.write('Unicode %s\nTarget %s\n' % ("true" if target.endswith("unicode") else "false", target))
    f.write('%s\nName "KOV"\nOutFile "%s"\nInstallDir "C:\\Kov30I"\n'
            'RequestExecutionLevel user\nSilentInstall silent\nSection\n' % (compressor, outfile))
    for where, paths in groups.items():
        f.write('  SetOutPath "%s"\n' % where)
        for p in paths:
            f.write('  File "%s"\n' % p)
    f.write("SectionEnd\n")
