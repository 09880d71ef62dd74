// The library entries: "dunzip", called once per archive with the setup's 142-byte command
// record, and "dunzip_direct", which reads an archive through the caller's reader (an entry
// of the package the setup holds open) and writes its member straight to the named file.
#include <windows.h>
#include <stdint.h>

#include "dunzip/unzip.h"

extern "C" __declspec(dllexport) int __stdcall dunzip(const unsigned char* command) {
    if (!command || IsBadReadPtr(command, UNZIP_COMMAND_SIZE)) return UNZIP_BAD_COMMAND;
    uint64_t archive, target;
    int status = ReadUnzipCommand(command, &archive, &target);
    if (status != UNZIP_OK) return status;
    return UnzipFirstMember((const char*)(uintptr_t)archive, (const char*)(uintptr_t)target, '\\');
}

// A build without the second entry stands for a library that keeps to the record alone, so
// that the setup's path through temporary archives is tested with a real library too.
#ifndef DUNZIP_RECORD_ONLY
typedef intptr_t(__stdcall* DirectReadFn)(void* context, uintptr_t at, void* buffer,
                                          uintptr_t count);

namespace {

struct CallerReader {
    DirectReadFn read;
    void* context;
};

long ReadThroughCaller(void* context, uint32_t at, unsigned char* buffer, unsigned size) {
    CallerReader* c = (CallerReader*)context;
    intptr_t got = c->read(c->context, at, buffer, size);
    return got < 0 || (uintptr_t)got > size ? -1 : (long)got;
}

}  // namespace

extern "C" __declspec(dllexport) int __stdcall dunzip_direct(DirectReadFn read, void* context,
                                                             uintptr_t length, const char* target,
                                                             uintptr_t size) {
    // The package's sizes are 32-bit: a wider one is not a call this library understands.
    if (!read || (uint64_t)length >> 32 || (uint64_t)size >> 32) return UNZIP_BAD_COMMAND;
    CallerReader caller = {read, context};
    return UnzipMemberTo(ReadThroughCaller, &caller, (uint32_t)length, target, (uint32_t)size);
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
