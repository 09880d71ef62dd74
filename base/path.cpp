// Path and drive helpers. Scans step character by character through the seam so that the
// trail byte of a double-byte character is never taken for a backslash or a dot.
#include "base/path.h"

#include <stdarg.h>
#include <string.h>

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
    CopyText(out, path, MAX_PATH_TEXT);
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
    char work[MAX_PATH_TEXT] = "";
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

int FileExists(const char* path) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    SysClose(f);
    return 1;
}

// The seam's path buffers and ours are one size: a name the seam hands up fits every buffer
// here.
static_assert(MAX_PATH_TEXT == SYS_PATH_BYTES, "one path buffer size");

uint32_t GetFileDosTime(const char* path) {
    SysFile f = SysOpenUnshared(path);
    if (!f) return 0;
    uint32_t stamp = SysFileDosTime(f);
    SysClose(f);
    return stamp;
}

static char oemA[MAX_PATH_TEXT], oemB[MAX_PATH_TEXT];

int PathExists(const char* path) {
    CopyText(oemA, path, sizeof oemA);
    SysAnsiToOem(oemA);
    return SysAttributes(oemA) != SYS_ATTR_NONE;
}

int MakePath(const char* path) {
    static char work[MAX_PATH_TEXT];
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
    char canonical[MAX_PATH_TEXT];
    return CanonicalFolder(canonical, path, sizeof canonical);
}

int CanonicalFolder(char* out, const char* folder, unsigned size) {
    if (!out || size < 4) return 0;
    if (!folder || strlen(folder) < 3) return 0;
    unsigned char c = (unsigned char)folder[0];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) || folder[1] != ':' ||
        folder[2] != '\\')
        return 0;
    char work[MAX_PATH_TEXT] = {folder[0], ':', 0};
    const char* p = folder + 3;
    while (*p) {
        while (*p == '\\') p++;  // doubled and trailing separators name nothing
        if (!*p) break;
        const char* start = p;
        const char* last = p;
        for (; *p && *p != '\\'; p = SysCharNext(p)) {
            last = p;
            unsigned char ch = (unsigned char)*p;
            if (SysIsLeadByte(ch)) continue;
            if (ch < ' ' || strchr("*+=;:\"?/<>,|", ch)) return 0;
        }
        // "." and "..", and "KOV." or "KOV ": names the system reads otherwise than typed.
        if (*last == '.' || *last == ' ') return 0;
        size_t n = (size_t)(p - start), used = strlen(work);
        if (used + 1 + n >= sizeof work) return 0;
        work[used] = '\\';
        memcpy(work + used + 1, start, n);
        work[used + 1 + n] = 0;
    }
    if (!work[2]) CopyText(work + 2, "\\", sizeof work - 2);
    if (strlen(work) >= size) return 0;
    // out may be folder itself: it changes only now, and only when the whole text fits.
    return CopyText(out, work, size);
}

int SameFolder(const char* a, const char* b) {
    char x[MAX_PATH_TEXT], y[MAX_PATH_TEXT];
    if (!CanonicalFolder(x, a, sizeof x) || !CanonicalFolder(y, b, sizeof y)) return 0;
    return SameName(x, y);
}

int MatchesPattern(const char* name, const char* pattern) {
    // Iterative match with one backtrack point: the last '*' seen.
    const char *star = nullptr, *retry = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = ++pattern;
            retry = name;
            continue;
        }
        int lead = SysIsLeadByte((unsigned char)*name) && name[1];
        int step = lead ? 2 : 1;
        int same;
        if (*pattern == '?') same = 1;
        else if (lead) same = pattern[0] == name[0] && pattern[1] == name[1];
        else
            same =
                *pattern && UpperName((unsigned char)*pattern) == UpperName((unsigned char)*name);
        if (same) {
            name += step;
            pattern += *pattern == '?' ? 1 : step;
            continue;
        }
        if (!star) return 0;
        pattern = star;
        retry += SysIsLeadByte((unsigned char)*retry) && retry[1] ? 2 : 1;
        name = retry;
    }
    while (*pattern == '*') pattern++;
    return *pattern == 0;
}

// Files the Windows folder holds for the system itself: its settings, its registry, its
// start-up and shell programs. A pattern that could match one of them names the system's
// files, not a package's.
static const char* const kSystemFiles[] = {
    "WIN.INI",     "SYSTEM.INI",  "CONTROL.INI", "PROGMAN.INI",  "PROTOCOL.INI", "WINFILE.INI",
    "DOSAPP.INI",  "WININIT.INI", "REG.DAT",     "SYSTEM.DAT",   "USER.DAT",     "SYSTEM.DA0",
    "USER.DA0",    "WIN.COM",     "COMMAND.COM", "EXPLORER.EXE", "PROGMAN.EXE",  "REGEDIT.EXE",
    "NOTEPAD.EXE", "WRITE.EXE",   "WINFILE.EXE", "CONTROL.EXE",  "RUNDLL.EXE",   "RUNDLL32.EXE",
    "WINHELP.EXE", "TASKMAN.EXE", "SETVER.EXE",  "HIMEM.SYS",    "EMM386.EXE",   "SMARTDRV.EXE",
    "WIN386.SWP",  "KRNL386.EXE", "USER.EXE",    "GDI.EXE",      "SHELL.DLL",
};

int IsSystemFileName(const char* name) {
    if (!name || !name[0]) return 1;
    for (const char* system : kSystemFiles)
        if (MatchesPattern(system, name)) return 1;
    return 0;
}
