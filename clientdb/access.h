// Access to the client's record databases: find a file by its identifier, open it and build
// its index, read, write and delete records by GID, iterate, read a database embedded in the
// install package, close. Layout in clientdb/format.h.
//
// Open operations return a status: 0 success, 1 not a readable database, 2 the file cannot be
// opened or no file carries the identifier. The others return 1 (or a pointer) on success
// and 0 (or null) on failure. Writes that need room ask the user (messages 34400 and 34050);
// a refusal sets UserAbort (and OfferWin31Fallback when a fallback installer is named).
//
// Single thread, not re-entrant. A DbForEachRecord callback may read the iterated database,
// delete its records and rewrite them with the same length; it must not add records to it.
#pragma once
#include <stdint.h>
#include "base/path.h"
#include "sys/sys.h"

// A record header in the new form, decoded. magic is DB_RECORD_MAGIC for a valid header and
// anything else (0 for a converted old header that was not "RE") for a bad one.
struct RecordHeader {
    uint32_t magic;
    uint32_t gid;
    uint32_t length;
    uint16_t flags;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t offset;  // where the header is in the file
};

// One per live GID: a copy of the last header seen or written for it. Entries stay in the
// chain until the database is closed, even when their record is deleted.
struct RecordIndexEntry {
    RecordIndexEntry* next;      // chain, newest first by first occurrence
    RecordIndexEntry* hashNext;  // bucket of the GID lookup table
    RecordHeader header;
};

struct RecordDbSlab;

// A live copy of a record that is not the current one: an interrupted rewrite can leave the
// old copy unmarked, and a copy whose data the file's damaged end lacks stands behind the
// earlier one read instead. Deleting the record marks these too, so none of them comes back.
struct DbOlderCopy {
    RecordHeader header;  // as in the file, offset where it is
};

struct RecordDb {
    SysFile file;     // read-write file, or the package's handle when embedded
    uint32_t format;  // DB_OLD_FORM or DB_NEW_FORM
    RecordIndexEntry* entries;
    uint32_t count;
    char path[MAX_PATH_TEXT];           // path, or the package's name for an embedded database
    char companionPath[MAX_PATH_TEXT];  // the "ind" file next to it; empty when none
    uint32_t embedded;  // read in place from the package file, which it does not own
    uint32_t readOnly;  // opened for reading: no writes, and closing deletes nothing
    // Where the damaged end of the file starts: 0 when the end is sound. Part of a header, or
    // an append whose data never finished, is cut off before the next append.
    uint32_t appendAt;
    // The damaged end may hold records (a damaged header, or a last record whose length is
    // what is wrong): it is never cut, and nothing is appended after it.
    uint32_t keepEnd;
    // What the open could not read: resyncs past damage, a damaged end, or a length whose
    // high bits were wrong. 0 when every byte of the file was read as records.
    uint32_t damage;
    DbOlderCopy* olderCopies;
    uint32_t olderCount;
    uint32_t olderCapacity;

    // GID lookup beside the chain (the chain keeps the order, the table keeps lookups
    // constant-time) and the blocks the entries live in.
    RecordIndexEntry** buckets;
    uint32_t bucketCount;
    RecordDbSlab* slabs;
};

typedef int (*DbRecordFn)(RecordDb* db, uint32_t gid, uint16_t length);

char* DbFindFile(char* pathOut, const char* folder, uint32_t dbId);  // pathOut: MAX_PATH_TEXT bytes
// The same, passing over a file named avoid unless no other file of the folder carries the
// identifier, so that which of the two is found does not depend on the listing order.
char* DbFindFileBesides(char* pathOut, const char* folder, uint32_t dbId, const char* avoid);
// Files of the folder that the last DbFindFile could not open or read: when it found
// nothing, the database may still be among them.
extern unsigned DbFindUnreadable;
int DbOpenById(const char* folder, uint32_t dbId, RecordDb** dbOut);
int DbOpen(const char* path, RecordDb** dbOut);
// The same for reading only (read-only media included): writes and deletes are refused, and
// closing deletes nothing. A failed open of either kind changes nothing on disk.
int DbOpenReadOnly(const char* path, RecordDb** dbOut);
int DbOpenEmbedded(const char* name, RecordDb** dbOut, uint32_t start, uint32_t size,
                   SysFile packageFile);
int DbClose(RecordDb* db);
int DbRelease(RecordDb* db);

uint32_t DbRecordCount(RecordDb* db);
uint16_t DbRecordLength(RecordDb* db, uint32_t gid);
// buffer null: a new zero-filled block of length + 1 bytes (free it with MemFree), so the
// data is NUL-terminated. A given buffer must hold the record's length.
void* DbReadRecord(RecordDb* db, uint32_t gid, void* buffer, uint16_t* lengthOut);
// The same into a buffer of size bytes: a longer record gives its first size bytes, and
// lengthOut receives the number of bytes read.
void* DbReadRecordBounded(RecordDb* db, uint32_t gid, void* buffer, unsigned size,
                          uint16_t* lengthOut);
uint32_t DbReadNumber(RecordDb* db, uint32_t gid);
char* DbReadText(RecordDb* db, uint32_t gid, char* buffer, unsigned size);

// type 0 means 'b'. Both write in the database's own form (see access.cpp).
int DbWriteRecord(RecordDb* db, uint32_t gid, const void* data, uint16_t length, int type);
int DbWriteRecordOldForm(RecordDb* db, uint32_t gid, const void* data, uint16_t length, int type);
int DbWriteNumber(RecordDb* db, uint32_t gid, uint32_t value);
int DbWriteText(RecordDb* db, uint32_t gid, const char* text);
int DbDeleteRecord(RecordDb* db, uint32_t gid);
int DbForEachRecord(RecordDb* db, DbRecordFn fn);
int DbIsNewForm(RecordDb* db);

// Internal steps, exposed for the inspector and the tests.
RecordIndexEntry* DbFindEntry(RecordDb* db, uint32_t gid);  // the GID's entry, or null
// Recovery scan from a bad header just read; returns the position of the header found (and
// leaves it in header, the file positioned at its data) or 0 when there is none or a read
// fails.
uint32_t DbResync(RecordDb* db, RecordHeader* header);
// Room for an append of bytes: the end-of-file position to write at, or -1 (the user
// refused to free space, or the file could not be reopened).
long DbReserveSpace(RecordDb* db, unsigned long bytes);
// 1 when drive 'A' + driveIndex has more free clusters than bytes need.
int DriveHasRoom(int driveIndex, unsigned long bytes);

// Header conversions between the file's bytes and RecordHeader.
void DbDecodeHeader(const uint8_t* bytes, int format, RecordHeader* out);
int DbEncodeHeader(const RecordHeader* header, int format, uint8_t* out);  // returns its size

// What the last DbOpen's scan met, for the inspector: the ranges the recovery scans passed
// over (the first DB_SKIPS_KEPT of them), where the scan stopped and how the file ends.
enum { DB_SKIPS_KEPT = 16 };
enum {
    DB_END_SOUND = 0,       // the last record ends where the file does
    DB_END_SHORT_TAIL = 1,  // fewer bytes than a header after the last record: cut at an append
    DB_END_UNFINISHED = 2,  // the last record's data stops short: cut at an append
    DB_END_KEPT = 3,        // damage that may hold records: kept, nothing appended
};
struct DbResyncReport {
    uint32_t scans;
    uint32_t skippedBytes;
    uint32_t skipFrom[DB_SKIPS_KEPT];  // position of a bad header
    uint32_t skipTo[DB_SKIPS_KEPT];    // position of the header the scan found after it
    uint32_t scanEnd;                  // where the next header would have started
    uint32_t fileSize;
    uint32_t endKind;  // DB_END_*
    uint32_t endAt;    // where the damaged end starts
    // Headers claiming more than a record holds, read by the low 16 bits of their length
    // since a header followed there; the first one's position.
    uint32_t wrongLengths;
    uint32_t wrongLengthAt;
};
extern DbResyncReport DbLastResync;
// Back to the start: no resync report, no unreadable files counted (part of ResetRunState).
void ResetDbState(void);
