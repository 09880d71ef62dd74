// The Windows side of the package reader: resource 100 of our own module and our own file
// name.
#include <windows.h>
#include <string.h>
#include "package/package.h"
#include "base/bytes.h"
#include "res/resource.h"

// Resource layout: 8-byte marker, 32-bit little-endian offset, 16-byte tag.
int LocatePackageResource(uint32_t* offset, char* tag, unsigned tagSize) {
    HMODULE self = GetModuleHandleA(0);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(IDR_PACKAGE_OFFSET), (LPCSTR)RT_RCDATA);
    if (!found) return 0;
    HGLOBAL loaded = LoadResource(self, found);
    if (!loaded) return 0;
    const unsigned char* data = (const unsigned char*)LockResource(loaded);
    DWORD size = SizeofResource(self, found);
    if (!data || size < 12) {
        FreeResource(loaded);
        return 0;
    }
    *offset = GetU32(data + 8);
    // The tag need not be terminated inside the resource: copy at most what is there.
    unsigned n = 0;
    if (tagSize) {
        while (n + 1 < tagSize && 12 + n < size && n < 16 && data[12 + n]) n++;
        memcpy(tag, data + 12, n);
        tag[n] = 0;
    }
    FreeResource(loaded);
    return 1;
}

int GetOwnFileName(char* out, unsigned size) {
    // The historical buffer holds 257 characters; a longer name is not usable.
    unsigned limit = size < 258 ? size : 258;
    DWORD n = GetModuleFileNameA(0, out, limit);
    if (n == 0 || n >= limit) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
