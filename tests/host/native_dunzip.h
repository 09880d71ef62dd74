// The decompression library natively: the entry "dunzip" of "dunzip32.dll" over the
// library's own extraction code, with the record's drive-letter paths turned into host
// paths, defined in the native seam's library table so that LoadDecompressor finds it.
#pragma once
#include <stdint.h>

#include "dunzip/unzip.h"
#include "sys/sys.h"

inline int NativeDunzip(const unsigned char* record) {
    uint64_t archiveWord, targetWord;
    int status = ReadUnzipCommand(record, &archiveWord, &targetWord);
    if (status != UNZIP_OK) return status;
    const char* archive = (const char*)SysWordAddress(archiveWord);
    const char* target = (const char*)SysWordAddress(targetWord);
    char hostArchive[1024], hostTarget[1024];
    if (!archive || !target || !SysHostPath(archive, hostArchive, sizeof hostArchive) ||
        !SysHostPath(target, hostTarget, sizeof hostTarget))
        return UNZIP_BAD_COMMAND;
    return UnzipFirstMember(hostArchive, hostTarget, '/');
}

inline void UseNativeDunzip(void) {
    SysDefineLibraryEntry("dunzip32.dll", "dunzip", (void*)NativeDunzip);
}
