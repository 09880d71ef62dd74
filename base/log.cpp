// The setup log. Lines are formatted, escaped to printable ASCII and kept in one growing
// memory block; the block reaches setup.log every 64000 bytes and at the end of the run.
// In crash mode every line goes to the disk at once, file closed and reopened after each.
#include "base/log.h"

#include <string.h>

#include "base/globals.h"
#include "base/mem.h"
#include "base/path.h"
#include "sys/sys.h"

// --- wsprintf-style formatting --------------------------------------------------------

namespace {

struct Out {
    char* buf;
    int size, len;
    void Put(char c) {
        if (len < size - 1) buf[len] = c;
        len++;
    }
    void Pad(char c, int n) {
        while (n-- > 0) Put(c);
    }
};

void PutNumber(Out& o, unsigned long v, bool negative, int base, bool upper, bool left, bool zero,
               bool alt, int width, int precision) {
    char digits[24];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = set[v % base];
        v /= base;
    } while (v);
    while (n < precision && n < (int)sizeof digits) digits[n++] = '0';
    int prefix = negative ? 1 : (alt && base == 16 ? 2 : 0);
    int pad = width - n - prefix;
    if (!left && !zero) o.Pad(' ', pad);
    if (negative) o.Put('-');
    if (prefix == 2) {
        o.Put('0');
        o.Put(upper ? 'X' : 'x');
    }
    if (!left && zero) o.Pad('0', pad);
    while (n) o.Put(digits[--n]);
    if (left) o.Pad(' ', pad);
}

}  // namespace

int FormatV(char* out, int size, const char* format, va_list args) {
    if (!out || size <= 0) return -1;
    out[0] = 0;
    if (!format) return -1;
    Out o{out, size, 0};
    for (const char* f = format; *f; f++) {
        if (*f != '%') {
            o.Put(*f);
            continue;
        }
        f++;
        bool left = false, zero = false, alt = false;
        for (;; f++) {
            if (*f == '-') left = true;
            else if (*f == '0') zero = true;
            else if (*f == '#') alt = true;
            else break;
        }
        int width = 0, precision = -1;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        if (*f == '.') {
            precision = 0;
            f++;
            while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
        }
        bool isLong = false;
        if (*f == 'l') {
            isLong = true;
            f++;
        } else if (*f == 'h') f++;
        switch (*f) {
        case 0: f--; break;
        case '%': o.Put('%'); break;
        case 'c':
        case 'C': {
            char c = (char)va_arg(args, int);
            if (!left) o.Pad(' ', width - 1);
            o.Put(c);
            if (left) o.Pad(' ', width - 1);
            break;
        }
        case 's':
        case 'S': {
            const char* s = va_arg(args, const char*);
            if (!s) s = "(null)";
            int n = (int)strlen(s);
            if (precision >= 0 && n > precision) n = precision;
            if (!left) o.Pad(' ', width - n);
            for (int i = 0; i < n; i++) o.Put(s[i]);
            if (left) o.Pad(' ', width - n);
            break;
        }
        case 'd':
        case 'i': {
            long v = isLong ? va_arg(args, long) : va_arg(args, int);
            unsigned long mag = v < 0 ? 0UL - (unsigned long)v : (unsigned long)v;
            PutNumber(o, mag, v < 0, 10, false, left, zero, false, width, precision);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            PutNumber(o, v, false, *f == 'u' ? 10 : 16, *f == 'X', left, zero, alt, width,
                      precision);
            break;
        }
        default: o.Put(*f); break;  // unknown type: the character itself, as wsprintf does
        }
    }
    int len = o.len < size - 1 ? o.len : size - 1;
    out[len] = 0;
    return len;
}

int Format(char* out, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatV(out, size, format, args);
    va_end(args);
    return n;
}

// --- escaping -------------------------------------------------------------------------

int EscapeLine(const char* line, char* out, int size) {
    int n = 0;
    if (size < 3) return -1;
    for (const unsigned char* p = (const unsigned char*)line; *p; p++) {
        char piece[5];
        int len;
        if (*p == '\n') {
            piece[0] = '\\';
            piece[1] = 'n';
            len = 2;
        } else if (*p == '\r') {
            piece[0] = '\\';
            piece[1] = 'r';
            len = 2;
        } else if (*p < 32 || *p >= 127) {
            piece[0] = '\\';
            piece[1] = (char)('0' + *p / 100);
            piece[2] = (char)('0' + *p / 10 % 10);
            piece[3] = (char)('0' + *p % 10);
            len = 4;
        } else {
            piece[0] = (char)*p;
            len = 1;
        }
        if (n + len > size - 3) break;  // keep room for CR LF and the terminator
        memcpy(out + n, piece, (size_t)len);
        n += len;
    }
    out[n++] = '\r';
    out[n++] = '\n';
    out[n] = 0;
    return n;
}

// --- the trace ------------------------------------------------------------------------

static char* trace;  // NUL-terminated escaped lines, or null
static unsigned short traceCapacity, traceUsed;
static int flushedBefore;
static SysFile crashFile;
static int crashFileCreated;

const char* LogTraceText(void) { return trace; }
unsigned LogTraceUsed(void) { return traceUsed; }

void LogReset(void) {
    if (trace) MemFree(trace);
    trace = nullptr;
    traceUsed = traceCapacity = 0;
    if (crashFile) SysClose(crashFile);
    crashFile = 0;
    flushedBefore = crashFileCreated = 0;
}

const char* CrashLogPath(void) {
    static char path[16];
    for (int i = 0; i < 26; i++) {
        if (DriveType(i) == 3) {
            Format(path, sizeof path, "%c:\\setup.log", 'a' + i);
            return path;
        }
    }
    strcpy(path, "setup.log");
    return path;
}

static void CrashWrite(const char* line, int n) {
    if (!crashFile) {
        // The first line of the run starts a new file; after a flush closed it, later lines
        // are added to the end rather than wiping what was already written.
        if (crashFileCreated) {
            crashFile = SysOpen(CrashLogPath(), SYS_WRITE);
            if (crashFile) SysSeek(crashFile, 0, SYS_SEEK_END);
        }
        if (!crashFile) crashFile = SysCreate(CrashLogPath());
        if (!crashFile) return;
        crashFileCreated = 1;
    }
    SysWrite(crashFile, line, (unsigned long)n);
    SysClose(crashFile);
    crashFile = SysOpen(CrashLogPath(), SYS_WRITE);
    if (crashFile) SysSeek(crashFile, 0, SYS_SEEK_END);
}

int LogPrintf(const char* format, ...) {
    static char formatted[768];
    static char line[1024];
    va_list args;
    va_start(args, format);
    int r = FormatV(formatted, sizeof formatted, format, args);
    va_end(args);
    if (r < 0) return r;
    int n = EscapeLine(formatted, line, sizeof line);

    if (CrashMode) {
        CrashWrite(line, n);
        return n;
    }
    if (!trace) {
        trace = (char*)MemAlloc(4000);
        traceCapacity = 4000;
        traceUsed = 0;
    }
    if ((unsigned)traceUsed + n >= 64000) {
        // The old trace goes to disk with what it holds, not counting the new line.
        LogFlush();
        trace = (char*)MemAlloc(4000);
        traceCapacity = 4000;
        traceUsed = 0;
    }
    unsigned used = traceUsed + (unsigned)n;
    if (used >= traceCapacity) {
        unsigned short capacity = (unsigned short)(traceCapacity + 4000);
        char* grown = (char*)MemAlloc(capacity);
        memcpy(grown, trace, traceUsed);
        MemFree(trace);
        trace = grown;
        traceCapacity = capacity;
    }
    memcpy(trace + traceUsed, line, (size_t)n + 1);
    traceUsed = (unsigned short)used;
    return n;
}

void LogFlush(void) {
    if (crashFile) {
        SysClose(crashFile);
        crashFile = 0;
    }
    if (!trace) return;
    char dest[260];
    const char* path = nullptr;
    if (SetupError != 0) path = CrashLogPath();
    else if (InstallSettings.DestDir[0] && PathExists(InstallSettings.DestDir))
        path = DestPath(dest, "setup.log");
    if (path) {
        SysFile f = flushedBefore ? SysOpen(path, SYS_WRITE) : 0;
        if (!f) f = SysCreate(path);
        if (f) {
            SysSeek(f, 0, SYS_SEEK_END);
            SysWrite(f, trace, traceUsed);
            SysClose(f);
        }
    }
    flushedBefore = 1;
    MemFree(trace);
    trace = nullptr;
    traceUsed = traceCapacity = 0;
}
