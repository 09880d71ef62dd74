// Memory blocks: never null for the caller. On exhaustion the user may free memory and
// retry, or the run ends at once.
#include "base/mem.h"

#include "base/exitcode.h"
#include "base/log.h"
#include "base/seat.h"
#include "base/text.h"
#include "sys/sys.h"

static unsigned short liveBlocks, peakBlocks;

void* MemTryAlloc(unsigned long size) {
    void* p = SysBlockAlloc(size);
    if (p) {
        liveBlocks++;
        if (liveBlocks > peakBlocks) peakBlocks = liveBlocks;
    }
    return p;  // the seam hands out zero-filled blocks
}

void* MemAlloc(unsigned long size) {
    for (;;) {
        if (void* p = MemTryAlloc(size)) return p;
        if (!AskRetryCancel(Message(IDS_LOW_MEMORY))) {
            // What the log holds is all an administrator will have to read.
            LogFlush();
            SysFatalExit(Seat.unattended ? nullptr : LoadMessage(1, IDS_CANNOT_CONTINUE),
                         EXIT_NO_MEMORY);
        }
    }
}

int MemFree(void* p) {
    if (!p) return 1;
    SysBlockFree(p);
    liveBlocks--;
    return 1;
}

unsigned PeakBlocks(void) { return peakBlocks; }
unsigned LiveBlocks(void) { return liveBlocks; }
void ResetBlockCounts(void) { liveBlocks = peakBlocks = 0; }
