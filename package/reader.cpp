// Package locator and reader: the package file handle, exact reads, length-prefixed texts
// and lists, and the block copy of an entry's stored bytes with progress.
#include "package/package.h"
#include "base/bytes.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "base/write.h"
#include <string.h>

uint32_t PackageOffset;
char ResourceTag[32];
SysFile PackageFile;
unsigned char* CopyBuffer;
FileTableT* FileTable;

#ifdef _WIN32
PackageLocatorFn PackageLocator = LocatePackageResource;
OwnFileNameFn OwnFileName = GetOwnFileName;
#else
PackageLocatorFn PackageLocator = 0;
OwnFileNameFn OwnFileName = 0;
#endif
void (*ClosePackageHook)(void) = 0;

void ResetPackageState(void) {
    ClosePackage();
    FreeInstallScript();
    ClosePackageHook = 0;
#ifdef _WIN32
    PackageLocator = LocatePackageResource;
    OwnFileName = GetOwnFileName;
#else
    PackageLocator = 0;
    OwnFileName = 0;
#endif
    PackageOffset = 0;
    ResourceTag[0] = 0;
}

int OpenPackage(void) {
    if (!CopyBuffer) CopyBuffer = (unsigned char*)MemAlloc(COPY_BLOCK);
    PackageOffset = 0;
    if (InstallFile[0] == 0) {
        uint32_t offset = 0;
        if (PackageLocator && PackageLocator(&offset, ResourceTag, sizeof ResourceTag))
            PackageOffset = offset;
        if (PackageOffset == 0) {
            LogPrintf("No package offset in resource 100");
            return SetFatal(FATAL_NO_PACKAGE_OFFSET);
        }
        LogPrintf("Package offset %lu from resource 100", (unsigned long)PackageOffset);
        if (!OwnFileName || !OwnFileName(InstallFile, sizeof InstallFile) || InstallFile[0] == 0) {
            InstallFile[0] = 0;
            LogPrintf("Cannot get the program's file name");
            return SetFatal(FATAL_NO_OWN_NAME);
        }
    } else if (PackageOffsetGiven) {
        PackageOffset = PackageOffsetOption;
    }
    PackageFile = SysOpen(InstallFile, SYS_READ);
    if (!PackageFile) {
        LogPrintf("Cannot open package %s", InstallFile);
        return SetFatal(FATAL_PACKAGE_OPEN);
    }
    LogPrintf("Package %s opened at offset %lu", InstallFile, (unsigned long)PackageOffset);
    return 1;
}

static void FreeEntries(void) {
    if (!FileTable) return;
    for (unsigned i = 0; i < FileTable->count; i++)
        if (FileTable->entry[i]) MemFree(FileTable->entry[i]);
    MemFree(FileTable);
    FileTable = 0;
}

int ClosePackage(void) {
    if (ClosePackageHook) ClosePackageHook();
    if (PackageFile) {
        SysClose(PackageFile);
        PackageFile = 0;
    }
    if (CopyBuffer) {
        MemFree(CopyBuffer);
        CopyBuffer = 0;
    }
    FreeEntries();
    if (InstallSettings.CarriedRecordIds) {
        MemFree(InstallSettings.CarriedRecordIds);
        InstallSettings.CarriedRecordIds = 0;
        InstallSettings.CarriedRecordCount = 0;
    }
    return 1;
}

int ReadExact(void* buffer, uint16_t n) {
    if (!PackageFile) return 0;
    if (n == 0) return 1;
    return SysRead(PackageFile, buffer, n) == (long)n;
}

char* ReadText(char* buffer, unsigned size) {
    unsigned char raw[2];
    if (!ReadExact(raw, 2)) return 0;
    unsigned length = GetU16(raw);
    if (size == 0 || length > size - 1) return 0;
    char* block = 0;
    if (!buffer) buffer = block = (char*)MemAlloc((unsigned long)length + 1);
    if (!ReadExact(buffer, (uint16_t)length)) {
        if (block) MemFree(block);
        return 0;
    }
    buffer[length] = 0;
    return buffer;
}

int ReadTextList(uint16_t* count, char*** listA, char*** listB, char*** listC) {
    unsigned char raw[2];
    if (!ReadExact(raw, 2)) return 0;
    uint16_t n = GetU16(raw);
    *count = n;
    if (n == 0) return 1;
    char*** lists[3] = {listA, listB, listC};
    for (int k = 0; k < 3; k++)
        if (lists[k]) *lists[k] = (char**)MemAlloc((unsigned long)n * sizeof(char*));
    for (unsigned i = 0; i < n; i++)
        for (int k = 0; k < 3; k++)
            if (lists[k] && !((*lists[k])[i] = ReadText(0, 128))) return 0;
    return 1;
}

static int CopyEntry(SysFile file, const PackageEntry* entry, void* dialog, uint32_t base,
                     uint32_t divisor, int scaled) {
    if (!PackageFile ||
        SysSeek(PackageFile, (long)entry->offset, SYS_SEEK_SET) != (long)entry->offset)
        return SetFatal(FATAL_ENTRY_SEEK);
    if (!CopyBuffer) CopyBuffer = (unsigned char*)MemAlloc(COPY_BLOCK);
    uint32_t done = 0;
    while (done < entry->storedSize) {
        uint32_t chunk = entry->storedSize - done;
        if (chunk > COPY_BLOCK) chunk = COPY_BLOCK;
        if (SysRead(PackageFile, CopyBuffer, chunk) != (long)chunk)
            return SetFatal(FATAL_ENTRY_READ);
        if (!WriteAllRetry(file, CopyBuffer, (uint16_t)chunk)) return SetFatal(FATAL_ENTRY_WRITE);
        if (scaled) Seat.progressGauge(dialog, divisor ? (base + done) / divisor : base + done);
        else if (dialog) Seat.progressGauge(dialog, base + done);
        done += chunk;
    }
    return 1;
}

int CopyEntryToFile(SysFile file, const PackageEntry* entry, void* dialog, uint32_t base) {
    return CopyEntry(file, entry, dialog, base, 1, 0);
}

int CopyEntryToFileScaled(SysFile file, const PackageEntry* entry, void* dialog, uint32_t base,
                          uint32_t divisor) {
    return CopyEntry(file, entry, dialog, base, divisor, 1);
}

long ReadEntryAt(const PackageEntry* entry, uint32_t at, void* buffer, unsigned long count) {
    if (!PackageFile || !entry || at > entry->storedSize) return -1;
    if (count > entry->storedSize - at) count = entry->storedSize - at;
    uint64_t where = (uint64_t)entry->offset + at;
    if (where > 0x7FFFFFFF || SysSeek(PackageFile, (long)where, SYS_SEEK_SET) != (long)where)
        return -1;
    return count ? SysRead(PackageFile, buffer, count) : 0;
}

PackageEntry* FindPackageEntry(const char* name) {
    if (!FileTable || !name) return 0;
    for (unsigned i = 0; i < FileTable->count; i++) {
        PackageEntry* e = FileTable->entry[i];
        if (e && SameName(e->name, name)) return e;
    }
    return 0;
}

char* ReadQuickRefFromPackage(void) {
    PackageEntry* entry = FindPackageEntry(InstallSettings.QuickRefFile);
    if (!entry || !PackageFile) return NULL;
    // The size comes from the package: it must lie within the file, so that the block stays
    // bounded and size + 1 cannot wrap. A guide that claims more than the file holds is damaged.
    long fileSize = SysFileSize(PackageFile);
    if (fileSize < 0 || entry->offset > (unsigned long)fileSize ||
        entry->installedSize > (unsigned long)fileSize - entry->offset) {
        LogPrintf("Quick reference guide entry lies outside the package");
        return NULL;
    }
    unsigned long size = entry->installedSize;
    if (SysSeek(PackageFile, (long)entry->offset, SYS_SEEK_SET) < 0) return NULL;
    char* text = (char*)MemAlloc(size + 1);
    // A short read leaves the rest zero: the block comes zero-filled.
    long got = SysRead(PackageFile, text, size);
    if (got < 0) got = 0;
    text[got] = 0;
    return text;
}
