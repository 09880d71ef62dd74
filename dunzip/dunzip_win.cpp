// The library entry the setup calls once per archive with its 142-byte command record.
#include <windows.h>
#include <stdint.h>

#include "dunzip/unzip.h"

namespace {
const uint32_t kRecordSize = 142;
const uint32_t kExtractOne = 8;  // the only operation the setup asks for
}  // namespace

extern "C" __declspec(dllexport) int __stdcall dunzip(const unsigned char* command) {
    if (!command || IsBadReadPtr(command, kRecordSize)) return UNZIP_BAD_COMMAND;
    uint32_t size, op;
    const char* archive;
    const char* target;
    memcpy(&size, command, 4);
    memcpy(&op, command + 4, 4);
    memcpy(&archive, command + 8, 4);
    memcpy(&target, command + 24, 4);
    if (size != kRecordSize || op != kExtractOne) return UNZIP_BAD_COMMAND;
    return UnzipFirstMember(archive, target, '\\');
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
