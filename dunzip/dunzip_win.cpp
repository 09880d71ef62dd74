// The library entry the setup calls once per archive with its 142-byte command record.
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

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
