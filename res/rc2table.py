#!/usr/bin/env python3
"""Turns the STRINGTABLE of a Windows-1252 .rc file into a C++ table, so that the native
build loads exactly the texts the Windows build carries."""
import re
import sys

ENTRY = re.compile(rb'^\s*(\d+)\s*,?\s*"((?:[^"]|"")*)"', re.M)

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

def main():
    src, dst = sys.argv[1], sys.argv[2]
    data = open(src, 'rb').read()
    body = []
    for block in re.finditer(rb'STRINGTABLE[^{]*?(?:BEGIN|\{)(.*?)^\s*(?:END|\})', data, re.S | re.M):
        for m in ENTRY.finditer(block.group(1)):
            text = unescape(m.group(2))
            lit = ''.join('\\%03o' % b if b < 32 or b > 126 or b in (34, 92) else chr(b) for b in text)
            body.append('    {%s, "%s"},' % (m.group(1).decode(), lit))
    import os
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    with open(dst, 'w') as f:
        f.write('// Generated from %s; do not edit.\n' % os.path.basename(src))
        f.write('#include "sys/posix/strings_table.h"\n')
        f.write('const KovString KovStrings[] = {\n%s\n    {0, 0}\n};\n' % '\n'.join(body))
        f.write('const int KovStringCount = %d;\n' % len(body))

if __name__ == '__main__':
    main()
