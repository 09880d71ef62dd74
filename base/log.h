// The setup log: every decision is one English line, escaped so that it stays printable,
// kept in memory and written to setup.log at the end of the run (or at once in crash mode).
#pragma once
#include <stdarg.h>

#include "base/format.h"

// Formats with wsprintf rules (%s %u %lu %d %ld %c %x %X %lx, with flags and widths),
// escapes and stores the line. Returns the stored length, or a negative value when the
// line could not be formatted (nothing is stored then).
int LogPrintf(const char* format, ...);
// Writes the memory trace to its file and frees it; closes the crash-mode file.
void LogFlush(void);
// While set, LogFlush leaves the destination's setup.log alone and writes beside the crash
// log: the folder is still, or again, the earlier installation's (the rollback journal says).
void LogKeepAwayFromFolder(int away);
// "x:\setup.log" on the first fixed drive, or "setup.log" when there is none.
const char* CrashLogPath(void);

// Escapes one formatted line into out (size bytes), appending CR LF; returns the length,
// or -1 when it does not fit.
int EscapeLine(const char* line, char* out, int size);

// For tests: the current memory trace (null when none) and its used length.
const char* LogTraceText(void);
unsigned LogTraceUsed(void);
// For tests: drops the trace and forgets that this run already flushed or created files.
void LogReset(void);
