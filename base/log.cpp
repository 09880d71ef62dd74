// The setup log. Lines are formatted, escaped to printable ASCII and kept in one growing
// memory block; the block reaches setup.log every 64000 bytes and at the end of the run.
// In crash mode every line goes to the disk at once, file closed and reopened after each.
#include "base/log.h"

#include <string.h>

#include "base/globals.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "sys/sys.h"

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
static int keptAway;

void LogKeepAwayFromFolder(int away) { keptAway = away; }

const char* LogTraceText(void) { return trace; }
unsigned LogTraceUsed(void) { return traceUsed; }

void LogReset(void) {
    if (trace) MemFree(trace);
    trace = nullptr;
    traceUsed = traceCapacity = 0;
    if (crashFile) SysClose(crashFile);
    crashFile = 0;
    flushedBefore = crashFileCreated = keptAway = 0;
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
    // Out of memory the line is dropped: asking the user here would log the question, and so
    // on without end.
    if (!trace) {
        trace = (char*)MemTryAlloc(4000);
        if (!trace) return 0;
        traceCapacity = 4000;
        traceUsed = 0;
    }
    if ((unsigned)traceUsed + n >= 64000) {
        // The old trace goes to disk with what it holds, not counting the new line.
        LogFlush();
        trace = (char*)MemTryAlloc(4000);
        if (!trace) return 0;
        traceCapacity = 4000;
        traceUsed = 0;
    }
    unsigned used = traceUsed + (unsigned)n;
    if (used >= traceCapacity) {
        unsigned short capacity = (unsigned short)(traceCapacity + 4000);
        char* grown = (char*)MemTryAlloc(capacity);
        if (!grown) return 0;
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
    char dest[MAX_PATH_TEXT];
    const char* path = nullptr;
    // Until the install is committed the folder is the earlier installation's, and after a
    // rollback it is again: its own setup.log stays as it was.
    if (SetupError != 0 || keptAway) path = CrashLogPath();
    else if (InstallSettings.DestDir[0] && PathExists(InstallSettings.DestDir))
        path = JoinPath(dest, InstallSettings.DestDir, "setup.log", (const char*)nullptr);
    // An unattended run always leaves its log: it is all there is to read afterwards.
    else if (Seat.unattended) path = CrashLogPath();
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
