// The decompression library: entry 0 of the package, written into the destination folder,
// loaded from there and called once per archive with a fixed 142-byte command record.
// It stays loaded until the package is closed (FreeDecompressor is the close hook).
#pragma once
#include <stdint.h>

struct PackageEntry;

enum { UNZIP_COMMAND_BYTES = 142 };

// What the install loop makes of the library's status.
enum {
    DUNZIP_OK = 0,
    DUNZIP_OK_TOO = 49,
    DUNZIP_NO_MEMORY = 4,
    DUNZIP_NO_MEMORY_TOO = 5,
    DUNZIP_DISK_FULL = 28,
    DUNZIP_DISK_FULL_TOO = 50,
    DUNZIP_NOT_PROMISED = 12,  // the direct entry's: not the member the package names
};

int ExtractDecompressor(void);
int LoadDecompressor(void);
// Extracts the archive's single member into targetDir; the library's status unchanged.
// dialog is accepted for the callers' sake and not used.
uint32_t RunDecompressor(void* dialog, const char* archivePath, const char* targetDir);
// 1 when the loaded library has the direct entry: each entry is then inflated from the open
// package straight into its target, with no temporary archive (LoadDecompressor logs which
// way the run goes).
int DecompressorDirect(void);
// Extracts the entry's archive into the file target through the direct entry; the library's
// status (DUNZIP_NOT_PROMISED when the archive is not the file and size the entry names).
// progress, when given, is told how many of the entry's stored bytes have been read.
uint32_t RunDecompressorDirect(const PackageEntry* entry, const char* target,
                               void (*progress)(uint32_t storedRead));
// Unloads the library when loaded; harmless otherwise.
void FreeDecompressor(void);
// The member the entry's archive declares: its name (out: MAX_PATH_TEXT bytes, "" when it does not
// fit) and its size (the local header's, or for a member whose sizes follow its data, the
// central directory's). 1 when read; 0 when the entry is not a zip archive at all (the
// library reports that). A member whose sizes follow its data and whose central directory is
// not where it belongs declares 0xFFFFFFFF. Read from the package: the temporary archive is
// a byte-for-byte copy of the entry's stored bytes.
int ReadArchiveMember(const PackageEntry* entry, char* name, uint32_t* size);
// 1 while the library is loaded (its file cannot be deleted then).
int DecompressorLoaded(void);
