// The write primitive with the disk-full retry, and the bookkeeping of a cancel.
#include "base/write.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/text.h"

int WriteAllRetry(SysFile file, const void* buffer, uint16_t length) {
    long start = SysSeek(file, 0, SYS_SEEK_CUR);
    for (;;) {
        // A failed write (-1) must not pass for a full one, whatever the length.
        long written = SysWrite(file, buffer, length);
        if (written == (long)length) return 1;
        if (start >= 0) SysSeek(file, start, SYS_SEEK_SET);
        LogPrintf("Write failed (%ld of %u bytes), disk full?", written, (unsigned)length);
        if (!AskDiskFull()) break;
    }
    LogPrintf("User cancelled the disk-full retry");
    NoteWriteCancelled();
    return 0;
}

int AskDiskFull(void) { return AskRetryCancel(Message(IDS_DISK_FULL)); }

void NoteWriteCancelled(void) {
    UserAbort = 1;
    if (FallbackInstallerNamed) OfferWin31Fallback = 1;
}
