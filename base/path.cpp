// Path and drive helpers. Scans step character by character through the seam so that the
// trail byte of a double-byte character is never taken for a backslash or a dot.
#include "base/path.h"

#include <stdarg.h>
#include <string.h>

#include "base/globals.h"
#include "base/mem.h"
#include "sys/sys.h"

// Windows-1252 upper case: a-z, the accented small letters from 0xE0 (but the division sign
// 0xF7), and the four small letters the code page keeps elsewhere (s, oe and z with caron,
// y with diaeresis). The platform's own CharUpperBuffA gives the same on the users' systems.
unsigned char UpperName(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return (unsigned char)(c - 32);
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    }
    return c;
}

int CompareNames(const char* a, const char* b) {
    for (;;) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (SysIsLeadByte(x) || SysIsLeadByte(y)) {
            if (x != y) return x < y ? -1 : 1;
            if (a[1] != b[1]) return (unsigned char)a[1] < (unsigned char)b[1] ? -1 : 1;
            if (!a[1]) return 0;
            a += 2, b += 2;
            continue;
        }
        x = UpperName(x == '/' ? '\\' : x);
        y = UpperName(y == '/' ? '\\' : y);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
        a++, b++;
    }
}

int SameName(const char* a, const char* b) { return CompareNames(a, b) == 0; }

void BackslashSeparators(char* name) {
    for (char* p = name; *p; p = (char*)SysCharNext(p))
        if (*p == '/') *p = '\\';
}

int CopyText(char* out, const char* text, unsigned size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    return AppendText(out, text, size);
}

int AppendText(char* out, const char* text, unsigned size) {
    if (!out || size == 0) return 0;
    size_t used = strnlen(out, size - 1);
    if (!text) return 1;
    size_t n = strlen(text), room = size - 1 - used;
    int whole = n <= room;
    if (!whole) {
        n = room;
        // Never leave half of a double-byte character at the end.
        size_t i = 0;
        while (i < n) {
            size_t step = SysIsLeadByte((unsigned char)text[i]) && text[i + 1] ? 2 : 1;
            if (i + step > n) break;
            i += step;
        }
        n = i;
    }
    memcpy(out + used, text, n);
    out[used + n] = 0;
    return whole;
}

char* FindCharMb(const char* text, int ch) {
    if (!text) return nullptr;
    for (const char* p = text; *p; p = SysCharNext(p))
        if ((unsigned char)*p == (unsigned char)ch) return (char*)p;
    return nullptr;
}

char* FindLastCharMb(const char* text, int ch) {
    if (!text || !ch) return nullptr;
    const char* p = text + strlen(text);
    while (p > text) {
        p = SysCharPrev(text, p);
        if ((unsigned char)*p == (unsigned char)ch) return (char*)p;
    }
    return nullptr;
}

char* FindTextMb(const char* text, const char* pattern) {
    if (!text || !pattern) return nullptr;
    size_t plen = strlen(pattern), tlen = strlen(text);
    if (plen > tlen) return nullptr;
    // A match that ends with the text's last byte counts too.
    for (const char* p = text; (size_t)(text + tlen - p) >= plen; p = SysCharNext(p)) {
        if (memcmp(p, pattern, plen) == 0) return (char*)p;
        if (!*p) break;
    }
    return nullptr;
}

void StripTrailingBackslash(char* path) {
    if (!path || !*path) return;
    char* end = path + strlen(path);
    char* last = (char*)SysCharPrev(path, end);
    if (*last == '\\') *last = 0;
}

int GetDirPart(char* out, const char* path) {
    CopyText(out, path, 260);
    char* slash = FindLastCharMb(out, '\\');
    if (slash) *slash = 0;
    else out[0] = 0;
    return 0;
}

const char* GetNamePart(const char* path) {
    const char* slash = FindLastCharMb(path, '\\');
    return slash ? slash + 1 : path;
}

char* GetExtPart(char* out, const char* path) {
    out[0] = 0;
    const char* dot = FindLastCharMb(path, '.');
    if (!dot || strlen(dot + 1) >= 4) return nullptr;
    strcpy(out, dot + 1);
    return out;
}

char* GetBaseName8(char* out, const char* path) {
    const char* p = GetNamePart(path);
    int n = 0;
    while (*p && *p != '.' && n < 8) {
        if (SysIsLeadByte((unsigned char)*p)) {
            if (n >= 7 || !p[1]) break;  // a double-byte character whole or not at all
            out[n++] = *p++;
            out[n++] = *p++;
        } else {
            out[n++] = *p++;
        }
    }
    out[n] = 0;
    return out;
}

char* JoinPath(char* out, ...) {
    char work[260] = "";
    va_list args;
    va_start(args, out);
    int first = 1;
    while (const char* part = va_arg(args, const char*)) {
        if (!*part) continue;
        if (!first) AppendText(work, "\\", sizeof work);
        AppendText(work, part, sizeof work);
        StripTrailingBackslash(work);
        first = 0;
    }
    va_end(args);
    if (!out) out = (char*)MemAlloc(strlen(work) + 1);
    strcpy(out, work);
    return out;
}

char* DestPath(char* out, const char* name) {
    return JoinPath(out, InstallSettings.DestDir, name, (const char*)nullptr);
}

int FileExists(const char* path) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    SysClose(f);
    return 1;
}

static char oemA[260], oemB[260];

int PathExists(const char* path) {
    CopyText(oemA, path, sizeof oemA);
    SysAnsiToOem(oemA);
    return SysAttributes(oemA) != SYS_ATTR_NONE;
}

int MakePath(const char* path) {
    static char work[260];
    CopyText(work, path, sizeof work);
    char* scan = work;
    if (work[0] && work[1] == ':') scan = work[2] ? work + 3 : work + 2;
    SysAnsiToOem(scan);
    for (char* p = scan; *p; p = (char*)SysCharNext(p)) {
        if (*p != '\\') continue;
        *p = 0;
        SysMakeDir(work);
        *p = '\\';
    }
    return SysMakeDir(work);
}

int MovePath(const char* from, const char* to) {
    CopyText(oemA, from, sizeof oemA);
    CopyText(oemB, to, sizeof oemB);
    SysAnsiToOem(oemA);
    SysAnsiToOem(oemB);
    return SysRename(oemA, oemB);
}

int ChangeDrive(int letter) {
    if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
    if (letter < 'A' || letter > 'Z') return 0;
    return SysSetCurrentDrive(letter - 'A' + 1);
}

int ChangeDir(const char* path) {
    if (!path) return 0;
    if (path[0] && path[1] == ':') ChangeDrive((unsigned char)path[0]);
    CopyText(oemA, path, sizeof oemA);
    SysAnsiToOem(oemA);
    return SysSetCurrentDir(oemA);
}

int CurrentDriveLetter(void) { return 64 + SysGetCurrentDrive(); }

const char* DriveCurrentDir(int letter) {
    static char dir[256];
    int drive = 0;
    if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
    if (letter >= 'A' && letter <= 'Z') drive = letter - 'A' + 1;
    if (!SysGetDriveCurrentDir(drive, dir, sizeof dir)) dir[0] = 0;
    SysOemToAnsi(dir);
    return dir;
}

int DriveType(int index) {
    char root[4] = {(char)('A' + index), ':', '\\', 0};
    return SysDriveType(root);
}

int IsCdRomDrive(int index) { return DriveType(index) == 5; }

int IsValidInstallPath(const char* path) {
    if (!path || strlen(path) < 3) return 0;
    unsigned char c = (unsigned char)path[0];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) || path[1] != ':' || path[2] != '\\')
        return 0;
    for (const char* p = path + 3; *p; p = SysCharNext(p))
        if (!SysIsLeadByte((unsigned char)*p) && strchr("*+=;:\"?/<>,", *p)) return 0;
    return 1;
}
