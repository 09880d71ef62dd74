// The decompression library's life: written out as entry 0, loaded from the destination
// folder, called with the command record, unloaded when the package is closed.
#include "install/decompress.h"
#include "install/state.h"

#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/path.h"
#include "install/destination.h"
#include "package/package.h"
#include "record/installrec.h"
#include "sys/sys.h"

namespace {

const char kLibraryName[] = "dunzip32.dll";
const char kEntryName[] = "dunzip";
const char kDirectEntryName[] = "dunzip_direct";

typedef int(SYS_LIBCALL* DunzipFn)(const unsigned char* command);
// The direct entry and the reader it is given; every argument as wide as an address.
typedef intptr_t(SYS_LIBCALL* DirectReadFn)(void* context, uintptr_t at, void* buffer,
                                            uintptr_t count);
typedef int(SYS_LIBCALL* DunzipDirectFn)(DirectReadFn read, void* context, uintptr_t length,
                                         const char* target, uintptr_t size);

SysLibrary Library;
DunzipFn Entry;
DunzipDirectFn DirectEntry;

struct DirectRead {
    const PackageEntry* entry;
    void (*progress)(uint32_t storedRead);
    int failure;  // the package's own fatal number when it could not be read
};

// The library reads the entry's stored bytes from the package the setup holds open. A read
// that fails is the package's fault, not the archive's: it is noted here, so that the install
// fails as the copy out of the package would have.
intptr_t SYS_LIBCALL ReadPackageEntry(void* context, uintptr_t at, void* buffer, uintptr_t count) {
    DirectRead* d = (DirectRead*)context;
    if ((uint64_t)at >> 32 || !buffer || at > d->entry->storedSize) return -1;
    unsigned long inEntry = d->entry->storedSize - (uint32_t)at;
    unsigned long want = count < inEntry ? (unsigned long)count : inEntry;
    long got = ReadEntryAt(d->entry, (uint32_t)at, buffer, want);
    if (got < 0) d->failure = FATAL_ENTRY_SEEK;
    else if ((unsigned long)got < want) d->failure = FATAL_ENTRY_READ;
    if (got > 0 && d->progress) d->progress((uint32_t)at + (uint32_t)got);
    return got;
}

// The library calls these while it works; setup has nothing to say to it.
int32_t SYS_LIBCALL NotifyThree(uint32_t, uint32_t, uint32_t) { return 1; }
int32_t SYS_LIBCALL NotifySeven(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                uint32_t) {
    return 1;
}

// The record, word by word: offset and value; the archive, the folder and the two
// callbacks are filled in at the call. Every word not listed is 0.
struct CommandWord {
    unsigned offset;
    uint32_t value;
};
enum { ARCHIVE_AT = 8, TARGET_AT = 24, NOTIFY_THREE_AT = 68, NOTIFY_SEVEN_AT = 100 };
constexpr CommandWord kCommandWords[] = {
    {0, UNZIP_COMMAND_BYTES},  // size of the record
    {4, 8},                    // operation: extract
    {36, 1},
    {40, 1},
    {48, 1},
    {52, 1},
};
constexpr unsigned kAddressWords[] = {ARCHIVE_AT, TARGET_AT, NOTIFY_THREE_AT, NOTIFY_SEVEN_AT};

// A 64-bit build writes its addresses 8 bytes wide at the same offsets, into the 4 bytes
// that follow each word and are zero in the 32-bit record: no fixed word may sit there.
constexpr bool AddressWordsFree(void) {
    for (unsigned a : kAddressWords) {
        if (a + SYS_ADDRESS_BYTES > UNZIP_COMMAND_BYTES) return false;
        for (const CommandWord& w : kCommandWords)
            if (w.offset + 4 > a && w.offset < a + SYS_ADDRESS_BYTES) return false;
    }
    return true;
}
static_assert(UNZIP_COMMAND_BYTES == 142, "the command record is 142 bytes in every build");
static_assert(AddressWordsFree(), "an address word overlaps a fixed word of the record");

void PutWord(unsigned char* at, uint64_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; i++) at[i] = (unsigned char)(v >> (8 * i));
}
void Put32(unsigned char* at, uint32_t v) { PutWord(at, v, 4); }

uint32_t Le16(const unsigned char* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
uint32_t Le32(const unsigned char* p) { return Le16(p) | Le16(p + 2) << 16; }

enum : uint32_t {
    LOCAL_HEADER = 0x04034B50,
    CENTRAL_HEADER = 0x02014B50,
    END_RECORD = 0x06054B50,
    SIZES_FOLLOW = 8,  // flag: sizes in a descriptor after the data
};

}  // namespace

int ExtractDecompressor(void) {
    InstallState.FirstFileIndex = 0;
    PackageEntry* e = FileTable && FileTable->count ? FileTable->entry[0] : 0;
    if (!e || !SameName(e->name, kLibraryName)) {
        LogPrintf("First package file is %s, not %s", e ? e->name : "missing", kLibraryName);
        return SetFatal(FATAL_NOT_DECOMPRESSOR);
    }
    InstallState.FirstFileIndex = 1;
    char path[MAX_PATH_TEXT];
    // DestPath cuts what does not fit: the library would be written under another name.
    if (strlen(InstallSettings.DestDir) + 1 + sizeof kLibraryName > sizeof path) {
        LogPrintf("Path too long for %s", kLibraryName);
        return SetFatal(FATAL_TARGET_CREATE);
    }
    DestPath(path, kLibraryName);
    if (!JournalSetAside(path)) return SetFatal(FATAL_TARGET_CREATE);
    SysFile f = SysCreate(path);
    if (!f) {
        LogPrintf("Cannot create %s", path);
        return SetFatal(FATAL_TARGET_CREATE);
    }
    if (!CopyEntryToFile(f, e, 0, 0)) {
        SysClose(f);
        return 0;
    }
    if (!SysClose(f)) {
        LogPrintf("Cannot close %s", path);
        return SetFatal(FATAL_TARGET_CLOSE);
    }
    RecordFile(path);
    return 1;
}

int LoadDecompressor(void) {
    char path[MAX_PATH_TEXT];
    DestPath(path, kLibraryName);
    if (!Library) Library = SysLoadLibrary(path);
    if (!Library) {
        LogPrintf("Cannot load %s", path);
        return SetFatal(FATAL_DECOMPRESSOR_LOAD);
    }
    ClosePackageHook = FreeDecompressor;
    Entry = (DunzipFn)SysLibraryEntry(Library, kEntryName);
    if (!Entry) {
        LogPrintf("No entry %s in %s", kEntryName, path);
        return SetFatal(FATAL_DECOMPRESSOR_ENTRY);
    }
    DirectEntry = (DunzipDirectFn)SysLibraryEntry(Library, kDirectEntryName);
    if (DirectEntry) LogPrintf("Decompressor reads the package directly");
    else LogPrintf("Decompressor extracts through temporary archives");
    return 1;
}

int DecompressorDirect(void) { return DirectEntry != 0; }

uint32_t RunDecompressorDirect(const PackageEntry* entry, const char* target,
                               void (*progress)(uint32_t storedRead)) {
    if (!DirectEntry) return (uint32_t)-1;
    DirectRead d = {entry, progress, 0};
    uint32_t status = (uint32_t)DirectEntry(ReadPackageEntry, &d, entry->storedSize, target,
                                            entry->installedSize);
    if (d.failure && status != DUNZIP_OK && status != DUNZIP_OK_TOO) {
        LogPrintf("Cannot read %s from the package", entry->name);
        SetFatal(d.failure);
    }
    return status;
}

uint32_t RunDecompressor(void* dialog, const char* archivePath, const char* targetDir) {
    memset(InstallState.UnzipCommand, 0, sizeof InstallState.UnzipCommand);
    for (const CommandWord& w : kCommandWords) Put32(InstallState.UnzipCommand + w.offset, w.value);
    const void* addresses[] = {archivePath, targetDir, (const void*)NotifyThree,
                               (const void*)NotifySeven};
    for (unsigned i = 0; i < sizeof kAddressWords / sizeof kAddressWords[0]; i++)
        PutWord(InstallState.UnzipCommand + kAddressWords[i], SysAddressWord(addresses[i]),
                SYS_ADDRESS_BYTES);
    if (!Entry) return (uint32_t)-1;
    return (uint32_t)Entry(InstallState.UnzipCommand);
}

void FreeDecompressor(void) {
    if (Library) SysFreeLibrary(Library);
    Library = 0;
    Entry = 0;
    DirectEntry = 0;
}

int DecompressorLoaded(void) { return Library != 0; }

int ReadArchiveMember(const PackageEntry* entry, char* name, uint32_t* size) {
    unsigned char h[46];
    if (ReadEntryAt(entry, 0, h, 30) != 30 || Le32(h) != LOCAL_HEADER) return 0;
    *size = Le32(h + 22);
    unsigned nameLen = Le16(h + 26);
    name[0] = 0;
    if (nameLen < MAX_PATH_TEXT && ReadEntryAt(entry, 30, name, nameLen) == (long)nameLen)
        name[nameLen] = 0;
    if (strlen(name) != nameLen) name[0] = 0;
    if (Le16(h + 6) & SIZES_FOLLOW) {
        // The package's archives end with their central directory and no comment.
        *size = 0xFFFFFFFF;
        uint32_t length = entry->storedSize;
        if (length >= 22 + 46 && ReadEntryAt(entry, length - 22, h, 22) == 22 &&
            Le32(h) == END_RECORD) {
            uint32_t at = Le32(h + 16);
            if (at <= length - 46 && ReadEntryAt(entry, at, h, 46) == 46 &&
                Le32(h) == CENTRAL_HEADER)
                *size = Le32(h + 24);
        }
    }
    return 1;
}
