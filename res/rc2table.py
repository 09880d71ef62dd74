#!/usr/bin/env python3
"""Turns the STRINGTABLE of a Windows-1252 .rc file into a C++ table, so that the native
build loads exactly the texts the Windows build carries, and into a header of string ids,
so that the code names each entry as strings.rc names it.

usage: rc2table.py STRINGS.RC TABLE.CPP HEADER.H

Every entry must read KOV_STRING(NAME, NUMBER, "text"); anything else inside the table is
refused, so that no entry can be left without a name."""
import os
import re
import sys

ENTRY = re.compile(rb'^\s*KOV_STRING\(\s*(IDS_[A-Z0-9_]+)\s*,\s*(\d+)\s*,\s*"((?:[^"]|"")*)"\s*\)\s*$')
BLOCK = re.compile(rb'STRINGTABLE[^{]*?(?:BEGIN|\{)(.*?)^\s*(?:END|\})', re.S | re.M)


def unescape(raw):
    out = bytearray()
    i = 0
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw):      # backslash escapes of the resource compiler
            n = raw[i + 1]
            table = {ord('n'): 10, ord('t'): 9, ord('r'): 13, ord('a'): 7, ord('\\'): 92, ord('"'): 34}
            if n in table:
                out.append(table[n]); i += 2; continue
            if n in b'01234567':
                j = i + 1
                while j < len(raw) and j < i + 4 and raw[j] in b'01234567':
                    j += 1
                out.append(int(raw[i + 1:j], 8) & 0xFF); i = j; continue
            out.append(c); i += 1; continue
        if c == 0x22 and i + 1 < len(raw) and raw[i + 1] == 0x22:   # "" inside a string
            out.append(34); i += 2; continue
        out.append(c); i += 1
    return bytes(out)


def parse(data, src):
    entries = []
    for block in BLOCK.finditer(data):
        for line in block.group(1).split(b'\n'):
            text = line.strip()
            if not text or text.startswith(b'//'):
                continue
            m = ENTRY.match(line)
            if not m:
                sys.exit('%s: not a KOV_STRING(NAME, NUMBER, "text") entry: %s'
                         % (src, text.decode('cp1252')))
            entries.append((m.group(1).decode(), int(m.group(2)), unescape(m.group(3))))
    names = [e[0] for e in entries]
    ids = [e[1] for e in entries]
    for what, seq in (('name', names), ('number', ids)):
        twice = sorted({x for x in seq if seq.count(x) > 1})
        if twice:
            sys.exit('%s: %s used twice: %s' % (src, what, ', '.join(map(str, twice))))
    return entries


def write_if_changed(path, text):
    # An unchanged header keeps its time, so that editing one text recompiles only the table.
    os.makedirs(os.path.dirname(path) or '.', exist_ok=True)
    if os.path.exists(path) and open(path).read() == text:
        return
    with open(path, 'w') as f:
        f.write(text)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    src, table, header = sys.argv[1:]
    entries = parse(open(src, 'rb').read(), src)
    name = os.path.basename(src)

    rows = []
    for _, number, text in entries:
        lit = ''.join('\\%03o' % b if b < 32 or b > 126 or b in (34, 92) else chr(b) for b in text)
        rows.append('    {%d, "%s"},' % (number, lit))
    write_if_changed(table,
                     '// Generated from %s; do not edit.\n' % name +
                     '#include "sys/posix/strings_table.h"\n'
                     'const KovString KovStrings[] = {\n%s\n    {0, 0}\n};\n' % '\n'.join(rows) +
                     'const int KovStringCount = %d;\n' % len(rows))

    width = max(len(e[0]) for e in entries)
    ids = '\n'.join('    %s = %d,' % (n.ljust(width), i) for n, i, _ in entries)
    write_if_changed(header,
                     '// Generated from %s; do not edit. The ids of the string table, named as\n'
                     '// the entries there name them.\n'
                     '#pragma once\n'
                     'enum StringId {\n%s\n};\n' % (name, ids))


if __name__ == '__main__':
    main()
