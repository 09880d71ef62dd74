// The install package appended to the setup image: locating it, reading from it, the
// install script and the file table. The package file stays open for the whole run.
#pragma once
#include <stdint.h>
#include "sys/sys.h"

// One file of the package: sizes, where its stored bytes start in the package file, and
// its path relative to the install target ("mpm\modem.ini").
struct PackageEntry {
    uint32_t installedSize;
    uint32_t storedSize;
    uint32_t offset;  // absolute offset in the package file
    char name[];
};

// The file table: one block holding the count, the total installed size and the entries.
struct FileTableT {
    uint16_t count;
    uint32_t total;
    PackageEntry** entry;  // count pointers, inside the same block
};

enum { COPY_BLOCK = 32768 };

// Reader state.
extern uint32_t PackageOffset;     // file offset of the install script's first byte
extern char ResourceTag[32];       // text of the offset resource, usually empty
extern SysFile PackageFile;        // 0 when closed
extern unsigned char* CopyBuffer;  // one block of COPY_BLOCK bytes
extern FileTableT* FileTable;      // null until the script is read

// Where the platform's own pieces plug in. On Windows they read resource 100 of the
// program's own module; natively they are null (no resource) unless a test sets them. A
// copy's gauge goes to the seat (base/seat.h).
// The locator returns 1 when the resource was found, with its offset and tag (tag is
// tagSize bytes, always terminated); ownPath receives the program's own file name, or
// stays empty when that cannot be obtained.
typedef int (*PackageLocatorFn)(uint32_t* offset, char* tag, unsigned tagSize);
typedef int (*OwnFileNameFn)(char* out, unsigned size);
extern PackageLocatorFn PackageLocator;
extern OwnFileNameFn OwnFileName;
#ifdef _WIN32
// The Windows hooks (locate_win.cpp), installed by default in the Windows build.
int LocatePackageResource(uint32_t* offset, char* tag, unsigned tagSize);
int GetOwnFileName(char* out, unsigned size);
#endif
// Run by ClosePackage before the file is closed: the decompressor unloads itself here.
extern void (*ClosePackageHook)(void);

// Package reader. All return 1 on success, 0 on failure; failures that end the install set
// SetupError (1, 2, 3 for the open, 7, 8, 9 for a copy).
int OpenPackage(void);
int ClosePackage(void);
int ReadExact(void* buffer, uint16_t n);
char* ReadText(char* buffer, unsigned size);
int ReadTextList(uint16_t* count, char*** listA, char*** listB, char*** listC);
int CopyEntryToFile(SysFile file, const PackageEntry* entry, void* dialog, uint32_t base);
int CopyEntryToFileScaled(SysFile file, const PackageEntry* entry, void* dialog, uint32_t base,
                          uint32_t divisor);
// Up to count of the entry's stored bytes from position at within them: the count read
// (short at the entry's end), -1 when the package cannot be read there. Sets no SetupError.
long ReadEntryAt(const PackageEntry* entry, uint32_t at, void* buffer, unsigned long count);
PackageEntry* FindPackageEntry(const char* name);
// The quick reference guide: the entry named by QuickRefFile (stored as it is) in a new block
// (MemAlloc) with a NUL after the text, or null when there is none or its size is damaged.
char* ReadQuickRefFromPackage(void);

// Install script. ReadInstallScript reads the whole script at PackageOffset into
// InstallSettings and builds FileTable; 0 with SetupError set (4, 5, 6, 18, 31 to 34).
int ReadInstallScript(void);
// Frees the lists, merge tables and tool-module lists read from the script, which the run
// otherwise keeps until the process ends (tests and the package tools read many scripts).
void FreeInstallScript(void);
// Back to the start: the package closed, the script's lists freed, the platform hooks as
// the build installs them (part of ResetRunState).
void ResetPackageState(void);
// Start-up: opens the package and reads the script; 1 when both succeeded and no quit was
// asked for in between.
int OpenPackageAndScript(void);

// A file-table name is safe when it stays below the install target: not empty, at most
// 259 characters, no drive or colon, no leading slash or backslash, no component made only
// of dots and spaces, no device name ("com1", "nul.txt") and no NUL byte. The builder
// applies the same test before writing a name. Wildcards are not refused here.
int IsSafeEntryName(const char* name, unsigned length);
