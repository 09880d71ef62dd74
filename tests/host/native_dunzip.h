// The decompression library natively: the entries "dunzip" and "dunzip_direct" of
// "dunzip32.dll" over the library's own extraction code, with the drive-letter paths turned
// into host paths, defined in the native seam's library table so that LoadDecompressor
// finds them.
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

// The direct entry: the caller's reader and the target file's path.
typedef intptr_t (*NativeDirectReadFn)(void* context, uintptr_t at, void* buffer, uintptr_t count);
struct NativeDirectReader {
    NativeDirectReadFn read;
    void* context;
};
inline long NativeReadThrough(void* context, uint32_t at, unsigned char* buffer, unsigned size) {
    NativeDirectReader* r = (NativeDirectReader*)context;
    intptr_t got = r->read(r->context, at, buffer, size);
    return got < 0 || (uintptr_t)got > size ? -1 : (long)got;
}
inline int NativeDunzipDirect(NativeDirectReadFn read, void* context, uintptr_t length,
                              const char* target, uintptr_t size) {
    char hostTarget[1024];
    if (!read || !target || !SysHostPath(target, hostTarget, sizeof hostTarget))
        return UNZIP_BAD_COMMAND;
    NativeDirectReader r = {read, context};
    return UnzipMemberTo(NativeReadThrough, &r, (uint32_t)length, hostTarget, (uint32_t)size);
}

// direct 0 stands for a library that keeps to the command record alone.
inline void UseNativeDunzip(int direct = 1) {
    SysDefineLibraryEntry("dunzip32.dll", "dunzip", (void*)NativeDunzip);
    SysDefineLibraryEntry("dunzip32.dll", DUNZIP_DIRECT_NAME,
                          direct ? (void*)NativeDunzipDirect : nullptr);
}
