// The decompression library's core: extracts the single member of a zip archive into a
// folder, inflating with its own decoder (inflate.h). Portable (stdio only) so that it also
// runs natively in tests and fuzzers; dunzip_win.cpp wraps it as the library entry.
#pragma once
#include <stdint.h>

// Status codes returned to the setup.
enum {
    UNZIP_OK = 0,
    UNZIP_NO_ARCHIVE = 2,   // the archive cannot be opened
    UNZIP_BAD_ARCHIVE = 3,  // not a zip archive, or damaged headers
    UNZIP_NO_MEMORY = 4,
    UNZIP_BAD_METHOD = 6,      // a member stored with something other than deflate or stored
    UNZIP_BAD_DATA = 7,        // the deflate stream is damaged
    UNZIP_BAD_CRC = 8,         // the member's check value or size differs
    UNZIP_BAD_NAME = 9,        // a member name that would leave the target folder
    UNZIP_CANNOT_CREATE = 10,  // the member's file cannot be created
    UNZIP_BAD_COMMAND = 11,    // the command record is not one this library understands
    UNZIP_NOT_PROMISED = 12,   // the member is not the file the caller named, or not its size
    UNZIP_DISK_FULL = 28,
};

// Extracts the first member of archivePath into targetDir (a folder path without trailing
// separator, or with one). sep is the path separator to use when joining.
int UnzipFirstMember(const char* archivePath, const char* targetDir, char sep);

// Reads up to size bytes at position at of an archive: the count read (short at its end), or
// a negative value when it cannot be read.
typedef long (*UnzipReadAtFn)(void* context, uint32_t at, unsigned char* buffer, unsigned size);
// Extracts the single member of the archive of length bytes that read gives straight into
// the file target (a full path), with the checks of UnzipFirstMember. The member must be the
// file the caller names: its name is target's last part (ASCII letters of either case) and
// its size is size; UNZIP_NOT_PROMISED otherwise, before anything is written. The setup
// reads the archive from its open package this way, with no temporary archive.
int UnzipMemberTo(UnzipReadAtFn read, void* context, uint32_t length, const char* target,
                  uint32_t size);

// The library's second entry, for a caller that holds the archive open itself. Every
// argument is as wide as an address; read returns the count read or a negative value:
//   int DUNZIP_DIRECT(read, context, length, target, size)
//   intptr_t read(void* context, uintptr_t at, void* buffer, uintptr_t count)
// Both use the library calling convention (stdcall on i386). The status codes are those of
// the record entry, and UNZIP_NOT_PROMISED.
#define DUNZIP_DIRECT_NAME "dunzip_direct"

// The setup's command record: 142 bytes, little-endian; operation 8 extracts the archive
// whose address word is at offset 8 into the folder whose address word is at offset 24.
// An address word is 4 bytes in the i386 library (and natively, where it is a token); the
// x86-64 build of the library reads 8 at the same offsets, the 4 bytes after each word
// being zero in the i386 record, so the record keeps its size and every other offset.
enum {
    UNZIP_COMMAND_SIZE = 142,
    UNZIP_EXTRACT_ONE = 8,
    UNZIP_ARCHIVE_AT = 8,
    UNZIP_TARGET_AT = 24
};
#ifdef _WIN64
enum { UNZIP_ADDRESS_BYTES = 8 };
#else
enum { UNZIP_ADDRESS_BYTES = 4 };
#endif
// Checks the record's size and operation and reads the two address words; UNZIP_OK or
// UNZIP_BAD_COMMAND.
int ReadUnzipCommand(const unsigned char* record, uint64_t* archiveWord, uint64_t* targetWord);
