// Record database access over the OS seam. The index is the chain of RecordIndexEntry the
// callers iterate (newest first by first occurrence, one entry per GID, entries kept until
// close) plus a hash table over the same entries, so that building the index of a large
// file and writing many records cost time in proportion to the number of records.
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/bytes.h"
#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "base/write.h"
#include <string.h>

DbResyncReport DbLastResync;

namespace {

// Header positions are 32-bit in the file, and the Win32 seek takes a signed 32-bit offset:
// a position past this one is treated as a failing seek on every platform.
const uint64_t kMaxPosition = 0x7FFFFFFFu;
// Offset of an entry whose record was cut off the file: it reads as absent, and its place
// may already hold another record.
const uint32_t kGone = 0xFFFFFFFFu;

const unsigned kFirstSlab = 32;
const unsigned kMaxSlab = 8192;
const uint32_t kFirstBuckets = 64;
// Bytes the recovery scan reads at a time.
const unsigned kResyncWindow = 4096;

}  // namespace

// Entries live in blocks that are never moved, so chain pointers stay valid while the
// lookup table grows.
struct RecordDbSlab {
    RecordDbSlab* next;
    unsigned used;
    unsigned capacity;
    RecordIndexEntry* items() { return reinterpret_cast<RecordIndexEntry*>(this + 1); }
};

namespace {

int HeaderSize(const RecordDb* db) {
    return db->format == DB_OLD_FORM ? DB_OLD_RECORD_HEADER : DB_NEW_RECORD_HEADER;
}

// Reads exactly count bytes at the current position.
int ReadFull(SysFile f, void* buf, unsigned long count) {
    return f != 0 && SysRead(f, buf, count) == long(count);
}

int SeekTo(SysFile f, uint64_t pos) {
    if (f == 0 || pos > kMaxPosition) return 0;
    return SysSeek(f, long(pos), SYS_SEEK_SET) == long(pos);
}

// Reads the count bytes at pos of a file of size bytes: 1 when read, 0 when they run past
// the end of the file, -1 when the seek or the read fails. A failed read is never taken for
// the end of the file: damage is judged by what was read, not by what could not be.
int ReadAt(SysFile f, uint64_t pos, void* buf, unsigned long count, uint64_t size) {
    if (pos + count > size) return 0;
    return SeekTo(f, pos) && ReadFull(f, buf, count) ? 1 : -1;
}

uint32_t HashGid(uint32_t gid, uint32_t bucketCount) {
    return (gid * 2654435761u) >> 7 & (bucketCount - 1);
}

RecordIndexEntry* Lookup(const RecordDb* db, uint32_t gid) {
    if (db->bucketCount == 0) return nullptr;
    for (RecordIndexEntry* e = db->buckets[HashGid(gid, db->bucketCount)]; e; e = e->hashNext)
        if (e->header.gid == gid) return e;
    return nullptr;
}

void GrowTable(RecordDb* db) {
    uint32_t count = db->bucketCount ? db->bucketCount * 2 : kFirstBuckets;
    RecordIndexEntry** buckets =
        static_cast<RecordIndexEntry**>(MemAlloc(sizeof(RecordIndexEntry*) * count));
    for (RecordIndexEntry* e = db->entries; e; e = e->next) {
        uint32_t b = HashGid(e->header.gid, count);
        e->hashNext = buckets[b];
        buckets[b] = e;
    }
    if (db->buckets) MemFree(db->buckets);
    db->buckets = buckets;
    db->bucketCount = count;
}

RecordIndexEntry* NewEntry(RecordDb* db) {
    RecordDbSlab* s = db->slabs;
    if (!s || s->used == s->capacity) {
        unsigned capacity = s ? s->capacity * 2 : kFirstSlab;
        if (capacity > kMaxSlab) capacity = kMaxSlab;
        RecordDbSlab* n = static_cast<RecordDbSlab*>(
            MemAlloc(sizeof(RecordDbSlab) + sizeof(RecordIndexEntry) * capacity));
        n->next = s;
        n->used = 0;
        n->capacity = capacity;
        db->slabs = s = n;
    }
    return &s->items()[s->used++];
}

// Puts a header into the index: an existing entry takes the new copy and keeps its place in
// the chain; otherwise a new entry goes to the head of the chain.
void IndexPut(RecordDb* db, const RecordHeader* h) {
    RecordIndexEntry* e = Lookup(db, h->gid);
    if (e) {
        e->header = *h;
        return;
    }
    if (db->count >= db->bucketCount) GrowTable(db);
    e = NewEntry(db);
    e->header = *h;
    e->next = db->entries;
    db->entries = e;
    uint32_t b = HashGid(h->gid, db->bucketCount);
    e->hashNext = db->buckets[b];
    db->buckets[b] = e;
    db->count++;
}

RecordDb* NewDb(SysFile file, uint32_t format, const char* path) {
    RecordDb* db = static_cast<RecordDb*>(MemAlloc(sizeof(RecordDb)));
    db->file = file;
    db->format = format;
    CopyText(db->path, path, sizeof db->path);
    return db;
}

void FreeDb(RecordDb* db) {
    if (db->file && !db->embedded) SysClose(db->file);
    for (RecordDbSlab* s = db->slabs; s;) {
        RecordDbSlab* next = s->next;
        MemFree(s);
        s = next;
    }
    if (db->buckets) MemFree(db->buckets);
    if (db->olderCopies) MemFree(db->olderCopies);
    MemFree(db);
}

void NoteOlderCopy(RecordDb* db, const RecordHeader* h) {
    if (db->olderCount == db->olderCapacity) {
        uint32_t capacity = db->olderCapacity ? db->olderCapacity * 2 : 8;
        DbOlderCopy* grown = static_cast<DbOlderCopy*>(MemAlloc(sizeof(DbOlderCopy) * capacity));
        if (db->olderCopies) {
            memcpy(grown, db->olderCopies, sizeof(DbOlderCopy) * db->olderCount);
            MemFree(db->olderCopies);
        }
        db->olderCopies = grown;
        db->olderCapacity = capacity;
    }
    db->olderCopies[db->olderCount++].header = *h;
}

void ForgetOlderCopy(RecordDb* db, uint32_t i) {
    db->olderCopies[i] = db->olderCopies[--db->olderCount];
}

// The companion index: the path with the text after the last '.' of its file name replaced
// by "ind". A '.' in a folder name does not count, so that no file outside the database's
// own name is ever deleted; nor does a database whose own extension is "ind" have one, since
// that would be the database itself.
void MakeCompanionPath(char* out, unsigned size, const char* path) {
    out[0] = 0;
    const char* name = path;
    for (const char* p = path; *p; p = SysCharNext(p))
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    const char* dot = nullptr;
    for (const char* p = name; *p; p = SysCharNext(p))
        if (*p == '.') dot = p;
    if (!dot || SameName(dot + 1, "ind")) return;
    size_t keep = size_t(dot - path) + 1;
    if (keep + 4 > size) return;
    memcpy(out, path, keep);
    memcpy(out + keep, "ind", 4);
}

// Writes a block fully, or asks the user to free disk space (34050) until it succeeds or
// the user cancels (the package reader's write primitive).
int WriteBlockRetry(SysFile f, const void* buf, unsigned count) {
    if (f == 0) return 0;
    return WriteAllRetry(f, buf, uint16_t(count));
}

int WriteHeaderAt(RecordDb* db, const RecordHeader* h) {
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    int hs = DbEncodeHeader(h, int(db->format), bytes);
    if (!SeekTo(db->file, h->offset)) return 0;
    return WriteBlockRetry(db->file, bytes, unsigned(hs));
}

// The entry shows the mark only once it is in the file: a delete that failed did not happen.
int MarkDeleted(RecordDb* db, RecordIndexEntry* e) {
    RecordHeader marked = e->header;
    marked.flags |= DB_FLAG_DELETED;
    if (marked.offset != kGone && !WriteHeaderAt(db, &marked)) return 0;
    e->header.flags = marked.flags;
    return 1;
}

// Marks every older live copy of gid deleted; 0 when one of the marks fails (the copies not
// yet marked stay noted).
int MarkOlderCopies(RecordDb* db, uint32_t gid) {
    for (uint32_t i = 0; i < db->olderCount;) {
        RecordHeader h = db->olderCopies[i].header;
        if (h.gid != gid) {
            i++;
            continue;
        }
        h.flags |= DB_FLAG_DELETED;
        if (!WriteHeaderAt(db, &h)) {
            LogPrintf("Could not mark the older copy of GID %lu at %lu deleted", (unsigned long)gid,
                      (unsigned long)h.offset);
            return 0;
        }
        LogPrintf("Marked the older copy of GID %lu at %lu deleted", (unsigned long)gid,
                  (unsigned long)h.offset);
        ForgetOlderCopy(db, i);
    }
    return 1;
}

// Whether what follows the header at from, whose data runs past the end of the file, holds
// a whole record header with its data inside the file. Then the length at from is what is
// wrong, and cutting the file there would destroy the records after it. -1 on a read error.
int TailHoldsRecords(RecordDb* db, uint64_t from, uint64_t size) {
    const unsigned hs = unsigned(HeaderSize(db));
    uint8_t block[4096];
    uint64_t p = from + hs;
    while (p + hs <= size) {
        uint64_t want = size - p < sizeof block ? size - p : sizeof block;
        if (ReadAt(db->file, p, block, (unsigned long)want, size) <= 0) return -1;
        for (unsigned i = 0; i + hs <= want; i++) {
            RecordHeader c;
            DbDecodeHeader(block + i, int(db->format), &c);
            if (c.magic == DB_RECORD_MAGIC && p + i + hs + c.length <= size) return 1;
        }
        p += want - hs + 1;  // the blocks overlap so that no position is missed
    }
    return 0;
}

// The scan state shared by DbOpen and DbResync, for the inspector's check.
void NoteSkip(uint32_t badAt, uint32_t foundAt) {
    if (DbLastResync.scans < DB_SKIPS_KEPT) {
        DbLastResync.skipFrom[DbLastResync.scans] = badAt;
        DbLastResync.skipTo[DbLastResync.scans] = foundAt;
    }
    DbLastResync.scans++;
    DbLastResync.skippedBytes += foundAt - badAt;
}

// Folder joined with a name, with the folder's own kind of separator.
int JoinInto(char* out, unsigned size, const char* folder, const char* name) {
    char sep = strchr(folder, '/') && !strchr(folder, '\\') ? '/' : '\\';
    size_t n = strlen(folder);
    if (!CopyText(out, folder, size)) return 0;
    if (n && folder[n - 1] != sep && folder[n - 1] != ':') {
        char s[2] = {sep, 0};
        if (!AppendText(out, s, size)) return 0;
    }
    return AppendText(out, name, size);
}

int WriteInForm(RecordDb* db, uint32_t gid, const void* data, uint16_t length, int type) {
    if (!db) return 0;
    if (db->embedded || db->readOnly) {
        LogPrintf("Refused write of GID %lu to %s database %s", (unsigned long)gid,
                  db->embedded ? "embedded" : "read-only", db->path);
        return 0;
    }
    int hs = HeaderSize(db);
    int code = (type ? type : DB_TYPE_BINARY) & DB_FLAG_TYPE_MASK;
    RecordHeader h = {};
    h.magic = DB_RECORD_MAGIC;
    h.gid = gid;
    h.length = length;
    h.flags = uint16_t(code | (code != DB_TYPE_ART ? DB_FLAG_NOT_ART : 0));

    RecordIndexEntry* e = Lookup(db, gid);
    int appended = 0;
    RecordHeader old = {};
    int replaces = 0;
    // The full length must match: a header claiming more than 65535 bytes would otherwise
    // keep bytes of the old data as a gap that breaks the chain. A record in the damaged end
    // is not rewritten where it is, since the next append cuts it off. Nor is a scrambled or
    // a deleted one: should the data write fail after the new header, a scrambled record's
    // old bytes would read as neither the old record nor the new one, and a deleted record
    // would come back with its old data.
    if (e && e->header.length == length && e->header.offset != kGone &&
        !(e->header.flags & (DB_FLAG_SCRAMBLED | DB_FLAG_DELETED)) &&
        !(db->appendAt && e->header.offset >= db->appendAt)) {
        // Same length: header and data are overwritten where they are.
        h.offset = e->header.offset;
    } else {
        // The new copy is appended first and the old one marked deleted only once the new
        // one is complete: a cancelled or interrupted write leaves the old record current.
        long end = DbReserveSpace(db, (unsigned long)length + unsigned(hs));
        if (end < 0) return 0;
        if (e && e->header.offset != kGone) {  // (cutting a damaged end may have taken it)
            old = e->header;
            replaces = 1;
        }
        h.offset = uint32_t(end);
        appended = 1;
    }
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    DbEncodeHeader(&h, int(db->format), bytes);
    int ok = SeekTo(db->file, h.offset) && WriteBlockRetry(db->file, bytes, unsigned(hs));
    if (ok) {
        IndexPut(db, &h);
        if (length) {
            if (data) {
                ok = WriteBlockRetry(db->file, data, length);
            } else {
                // No data given: zeros, so that the record still has the length its header
                // claims and the records after it stay where the index expects them.
                void* zeros = MemAlloc(length);
                ok = WriteBlockRetry(db->file, zeros, length);
                MemFree(zeros);
            }
        }
    }
    if (!ok && appended) {
        // Cut the unfinished record off, so that the file does not end with a header whose
        // data is missing; the GID reads as before the write. Should the cut fail, the next
        // append cuts there first.
        LogPrintf("Removed the unfinished record of GID %lu", (unsigned long)gid);
        if (!SeekTo(db->file, h.offset) || !SysTruncate(db->file)) db->appendAt = h.offset;
        RecordIndexEntry* done = Lookup(db, gid);
        if (done && done->header.offset == h.offset) {
            if (replaces) {
                done->header = old;
            } else {
                done->header.flags |= DB_FLAG_DELETED;
                done->header.offset = kGone;
            }
        }
        return 0;
    }
    if (ok && replaces) {
        // Should this fail, the new copy is still the current one, now and at the next open:
        // it comes later in the file. The old copy is noted so that a delete marks it too.
        RecordHeader marked = old;
        marked.flags |= DB_FLAG_DELETED;
        if (!WriteHeaderAt(db, &marked)) {
            LogPrintf("Could not mark the old record of GID %lu at %lu deleted; the new one at "
                      "%lu is current",
                      (unsigned long)gid, (unsigned long)old.offset, (unsigned long)h.offset);
            NoteOlderCopy(db, &old);
        }
    }
    return ok;
}

}  // namespace

void DbDecodeHeader(const uint8_t* b, int format, RecordHeader* out) {
    if (format == DB_OLD_FORM) {
        out->magic = GetU16(b) == DB_OLD_RECORD_MAGIC ? DB_RECORD_MAGIC : 0;
        out->gid = GetU32(b + 2);
        out->length = GetU16(b + 6);
        out->flags = GetU16(b + 8);
        out->reserved1 = GetU32(b + 10);
        out->reserved2 = GetU32(b + 14);
        out->offset = GetU32(b + 18);
    } else {
        out->magic = GetU32(b);
        out->gid = GetU32(b + 4);
        out->length = GetU32(b + 8);
        out->flags = GetU16(b + 12);
        out->reserved1 = GetU32(b + 14);
        out->reserved2 = GetU32(b + 18);
        out->offset = GetU32(b + 22);
    }
}

int DbEncodeHeader(const RecordHeader* h, int format, uint8_t* b) {
    if (format == DB_OLD_FORM) {
        PutU16(b, DB_OLD_RECORD_MAGIC);
        PutU32(b + 2, h->gid);
        PutU16(b + 6, uint16_t(h->length));
        PutU16(b + 8, h->flags);
        PutU32(b + 10, h->reserved1);
        PutU32(b + 14, h->reserved2);
        PutU32(b + 18, h->offset);
        return DB_OLD_RECORD_HEADER;
    }
    PutU32(b, DB_RECORD_MAGIC);
    PutU32(b + 4, h->gid);
    PutU32(b + 8, h->length);
    PutU16(b + 12, h->flags);
    PutU32(b + 14, h->reserved1);
    PutU32(b + 18, h->reserved2);
    PutU32(b + 22, h->offset);
    return DB_NEW_RECORD_HEADER;
}

unsigned DbFindUnreadable;

void ResetDbState(void) {
    DbLastResync = DbResyncReport{};
    DbFindUnreadable = 0;
}

namespace {

// 1 when the file at path begins with the header of database dbId; -1 when it cannot be
// opened or read, which says nothing either way.
int FileCarriesDb(const char* path, uint32_t dbId) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return -1;
    uint8_t b[DB_NEW_FILE_HEADER + 1] = {};
    // A short file is no database; a read or seek that fails says nothing either way.
    long got = SysRead(f, b, DB_OLD_FILE_HEADER);
    int failed = got < 0, found = 0;
    if (got == DB_OLD_FILE_HEADER && b[0] == 'D' && b[1] == 'C' &&
        GetU32(b + DB_OLD_ID_OFFSET) == dbId) {
        found = 1;
    } else if (!failed) {
        failed = SysSeek(f, 0, SYS_SEEK_SET) != 0;
        got = failed ? 0 : SysRead(f, b, DB_NEW_FILE_HEADER);
        failed = failed || got < 0;
        if (got == DB_NEW_FILE_HEADER && SameName(reinterpret_cast<char*>(b), DB_NEW_FILE_MAGIC) &&
            GetU32(b + DB_NEW_ID_OFFSET) == dbId)
            found = 1;
    }
    SysClose(f);
    return failed ? -1 : found;
}

}  // namespace

char* DbFindFile(char* pathOut, const char* folder, uint32_t dbId) {
    return DbFindFileBesides(pathOut, folder, dbId, nullptr);
}

char* DbFindFileBesides(char* pathOut, const char* folder, uint32_t dbId, const char* avoid) {
    char pattern[MAX_PATH_TEXT], avoided[MAX_PATH_TEXT] = "";
    DbFindUnreadable = 0;
    if (!pathOut || !folder || !JoinInto(pattern, sizeof pattern, folder, "*.*")) return nullptr;
    SysFindData fd;
    SysFind h = SysFindFirst(pattern, &fd);
    if (!h) return nullptr;
    char* found = nullptr;
    do {
        if (fd.isDir || !JoinInto(pathOut, MAX_PATH_TEXT, folder, fd.name)) continue;
        int carries = FileCarriesDb(pathOut, dbId);
        if (carries < 0) {
            DbFindUnreadable++;
            LogPrintf("Cannot read %s", pathOut);
        } else if (carries && avoid && SameName(fd.name, avoid)) {
            CopyText(avoided, pathOut, sizeof avoided);
        } else if (carries) {
            found = pathOut;
        }
    } while (!found && SysFindNext(h, &fd));
    SysFindClose(h);
    if (!found && avoided[0] && CopyText(pathOut, avoided, MAX_PATH_TEXT)) found = pathOut;
    if (found) LogPrintf("Database %lx found: %s", (unsigned long)dbId, pathOut);
    return found;
}

int DbOpenById(const char* folder, uint32_t dbId, RecordDb** dbOut) {
    char path[MAX_PATH_TEXT];
    if (dbOut) *dbOut = nullptr;
    if (!DbFindFile(path, folder, dbId)) {
        LogPrintf("No database %lx in %s", (unsigned long)dbId, folder ? folder : "");
        return 2;
    }
    return DbOpen(path, dbOut);
}

namespace {

// The recovery scan from the bad header at bad: the first later position holding a valid
// header whose record is followed by another valid header (so the last record of a file is
// never found this way). Returns that position with its header in header, 0 when no such
// position comes before the end of the file, -1 when a read fails. The file is read a window
// at a time: a damaged stretch of a large database would otherwise cost a seek and a read
// for every byte of it.
int64_t ResyncFrom(RecordDb* db, uint64_t bad, RecordHeader* header, uint64_t size) {
    LogPrintf("Resyncing record");
    const unsigned hs = unsigned(HeaderSize(db));
    uint8_t window[kResyncWindow];
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    RecordHeader next;
    for (uint64_t start = bad + 1; start + hs <= size;) {
        // The window holds every header that begins in it, so the next one starts where
        // the last whole header of this one would have begun, plus one.
        unsigned count = size - start < kResyncWindow ? unsigned(size - start) : kResyncWindow;
        if (ReadAt(db->file, start, window, count, size) < 0) return -1;
        for (unsigned i = 0; i + hs <= count; i++) {
            DbDecodeHeader(window + i, int(db->format), header);
            if (header->magic != DB_RECORD_MAGIC) continue;
            // A candidate whose successor lies past the end is passed over like any other
            // bad one: a stray magic in the data must not end the search for the records
            // after it.
            uint64_t p = start + i;
            uint64_t after = p + hs + header->length;
            // The last record of the file ends where the file does: nothing follows it.
            if (after == size && header->length <= DB_MAX_RECORD) {
                NoteSkip(uint32_t(bad), uint32_t(p));
                LogPrintf("Resynced at the last record, %lu, after %lu bad bytes", (unsigned long)p,
                          (unsigned long)(p - bad));
                return int64_t(p);
            }
            if (after + hs <= start + count) {
                DbDecodeHeader(window + (after - start), int(db->format), &next);
            } else {
                int r = ReadAt(db->file, after, bytes, hs, size);
                if (r < 0) return -1;
                if (r == 0) continue;
                DbDecodeHeader(bytes, int(db->format), &next);
            }
            if (next.magic == DB_RECORD_MAGIC) {
                NoteSkip(uint32_t(bad), uint32_t(p));
                LogPrintf("Resynced at %lu after %lu bad bytes", (unsigned long)p,
                          (unsigned long)(p - bad));
                return int64_t(p);
            }
        }
        start += count - hs + 1;
    }
    return 0;
}

int OpenByPath(const char* path, RecordDb** dbOut, uint32_t readOnly) {
    if (dbOut) *dbOut = nullptr;
    DbLastResync = DbResyncReport();
    if (!path || !dbOut) return 2;
    if (strlen(path) >= sizeof(RecordDb::path)) {
        LogPrintf("Database path too long: %s", path);
        return 2;
    }
    SysFile f = SysOpen(path, readOnly ? SYS_READ : SYS_READWRITE);
    if (!f) {
        LogPrintf("Cannot open database %s", path);
        return 2;
    }
    // Every read below stays inside the file's size: a read that fails there is an error,
    // and the open fails without touching anything, rather than take it for a damaged end.
    long fileSize = SysFileSize(f);
    uint64_t size = fileSize < 0 ? 0 : uint64_t(fileSize);
    uint8_t b[DB_NEW_FILE_HEADER];
    uint32_t format = DB_NEW_FORM;
    uint64_t pos = DB_NEW_FILE_HEADER;
    int r = fileSize < 0 ? -1 : ReadAt(f, 0, b, DB_OLD_FILE_HEADER, size);
    if (r > 0 && b[0] == 'D' && b[1] == 'C') {
        format = DB_OLD_FORM;
        pos = DB_OLD_FILE_HEADER;
    } else if (r >= 0) {
        r = ReadAt(f, 0, b, DB_NEW_FILE_HEADER, size);
    }
    if (r <= 0) {
        // Shorter than a file header: writing records into it would make a file that
        // nothing can read.
        if (r < 0) LogPrintf("Read error in database %s", path);
        else LogPrintf("Not a database (no file header): %s", path);
        SysClose(f);
        return 1;
    }

    RecordDb* db = NewDb(f, format, path);
    db->readOnly = readOnly;
    MakeCompanionPath(db->companionPath, sizeof db->companionPath, path);
    DbLastResync.fileSize = uint32_t(size);
    const unsigned hs = unsigned(HeaderSize(db));
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    RecordHeader h = {};
    RecordHeader prev = {};  // what the last indexed header replaced in the index
    int lastIndexed = 0, lastReplaced = 0, damaged = 0;
    for (;;) {
        DbLastResync.scanEnd = uint32_t(pos);
        r = ReadAt(f, pos, bytes, hs, size);
        if (r <= 0) break;  // the end of the file, a short tail, or a read error
        DbDecodeHeader(bytes, int(format), &h);
        if (h.magic != DB_RECORD_MAGIC) {
            int64_t p = ResyncFrom(db, pos, &h, size);
            if (p <= 0) {
                r = int(p);
                damaged = p == 0;
                break;
            }
            pos = uint64_t(p);
        }
        // A record holds at most 65535 bytes, so a larger length is damage; when a header (or
        // the end of the file) follows the data its low 16 bits give, only the high bits were
        // hit and the record itself is whole.
        if (h.length > DB_MAX_RECORD) {
            uint64_t next = pos + hs + (h.length & DB_MAX_RECORD);
            RecordHeader after = {};
            int got = next == size ? 0 : ReadAt(f, next, bytes, hs, size);
            if (got > 0) DbDecodeHeader(bytes, int(format), &after);
            if (got < 0) {
                r = got;
                break;
            }
            if (next == size || after.magic == DB_RECORD_MAGIC) {
                LogPrintf("Record at %lu has length %lu: read as %lu", (unsigned long)pos,
                          (unsigned long)h.length, (unsigned long)(h.length & DB_MAX_RECORD));
                h.length &= DB_MAX_RECORD;
                db->damage++;
                if (!DbLastResync.wrongLengths++) DbLastResync.wrongLengthAt = uint32_t(pos);
            }
        }
        // A header whose data would run past the end of the file, or past what a record can
        // hold, is damage in the middle when a valid header follows later in the file: the
        // made-up record is left out and the records after it are read.
        if (h.length > DB_MAX_RECORD || pos + hs + h.length > size) {
            RecordHeader found = {};
            int64_t p = ResyncFrom(db, pos, &found, size);
            if (p < 0) {
                r = int(p);
                break;
            }
            if (p > 0) {
                LogPrintf("Header at %lu claims %lu bytes, more than the file or a record "
                          "holds: damage, not an unfinished append",
                          (unsigned long)pos, (unsigned long)h.length);
                db->damage++;
                // Its length could one day point into records appended after it.
                db->keepEnd = 1;
                pos = uint64_t(p);
                continue;
            }
        }
        lastIndexed = !(h.flags & DB_FLAG_DELETED);
        if (lastIndexed) {
            h.offset = uint32_t(pos);
            RecordIndexEntry* e = Lookup(db, h.gid);
            lastReplaced = e != nullptr;
            if (e) {
                prev = e->header;
                NoteOlderCopy(db, &prev);
            }
            IndexPut(db, &h);
        }
        pos += uint64_t(hs) + h.length;
    }

    // A damaged end stays as it is while the file is only read. The first append cuts it off
    // when it is only part of a header or an append that never finished, so that the records
    // written after it can be found again; any other damage may hold records and is kept.
    // Damage from the very first record on leaves nothing to read: not a database.
    if (r >= 0 && damaged &&
        pos == (format == DB_OLD_FORM ? DB_OLD_FILE_HEADER : DB_NEW_FILE_HEADER)) {
        LogPrintf("Database %s unreadable from its first record", path);
        FreeDb(db);
        return 1;
    }
    if (r >= 0 && damaged) {
        db->appendAt = uint32_t(pos);
        db->keepEnd = 1;
        DbLastResync.endKind = DB_END_KEPT;
        LogPrintf("Database %s ends in damage after %lu: the %lu bytes from there on are kept "
                  "and nothing will be appended",
                  path, (unsigned long)pos, (unsigned long)(size - pos));
    } else if (r >= 0 && pos < size) {
        db->appendAt = uint32_t(pos);
        DbLastResync.endKind = DB_END_SHORT_TAIL;
        LogPrintf("Database %s ends in damage after %lu", path, (unsigned long)pos);
    } else if (r >= 0 && pos > size) {
        uint64_t cut = pos - hs - h.length;
        db->appendAt = uint32_t(cut);
        DbLastResync.endKind = DB_END_UNFINISHED;
        LogPrintf("Database %s ends in damage after %lu", path, (unsigned long)cut);
        // The last record's data stops short (an append that never finished): an earlier
        // complete copy of its GID stays the current one.
        if (lastIndexed && lastReplaced) {
            LogPrintf("GID %lu at %lu lacks its data; the copy at %lu stays current",
                      (unsigned long)h.gid, (unsigned long)cut, (unsigned long)prev.offset);
            Lookup(db, h.gid)->header = prev;
            // The header at the end is the live copy a delete must mark now, not prev.
            if (db->olderCount && db->olderCopies[db->olderCount - 1].header.offset == prev.offset)
                db->olderCopies[db->olderCount - 1].header = h;
        }
        // Only a length a record can have makes an unfinished append: a larger one is damage
        // to the header, whose record may well be whole.
        r = h.length > DB_MAX_RECORD ? 1 : TailHoldsRecords(db, cut, size);
        if (r > 0) {
            db->keepEnd = 1;
            DbLastResync.endKind = DB_END_KEPT;
            LogPrintf("Database %s: the record at %lu is damaged, not unfinished; the end is "
                      "kept and nothing will be appended",
                      path, (unsigned long)cut);
        }
    }
    if (r < 0) {
        LogPrintf("Read error in database %s after %lu: not opened", path, (unsigned long)pos);
        FreeDb(db);
        return 1;
    }
    DbLastResync.endAt = db->appendAt;
    if (DbLastResync.scans || DbLastResync.endKind != DB_END_SOUND || DbLastResync.wrongLengths)
        db->damage++;
    LogPrintf("Opened database %s (%s form, %lu records%s%s)", path,
              format == DB_NEW_FORM ? "new" : "old", (unsigned long)db->count,
              readOnly ? ", read-only" : "", db->damage ? ", damaged" : "");
    *dbOut = db;
    return 0;
}

}  // namespace

uint32_t DbResync(RecordDb* db, RecordHeader* header) {
    if (!db || !header) return 0;
    long hs = HeaderSize(db);
    long cur = SysSeek(db->file, 0, SYS_SEEK_CUR);
    long size = SysFileSize(db->file);
    if (cur < hs || size < 0) return 0;
    int64_t p = ResyncFrom(db, uint64_t(cur - hs), header, uint64_t(size));
    if (p <= 0 || !SeekTo(db->file, uint64_t(p) + uint64_t(hs))) return 0;
    return uint32_t(p);
}

int DbOpen(const char* path, RecordDb** dbOut) { return OpenByPath(path, dbOut, 0); }

int DbOpenReadOnly(const char* path, RecordDb** dbOut) { return OpenByPath(path, dbOut, 1); }

int DbOpenEmbedded(const char* name, RecordDb** dbOut, uint32_t start, uint32_t size,
                   SysFile packageFile) {
    if (dbOut) *dbOut = nullptr;
    if (!dbOut || !packageFile) return 2;
    uint64_t pos = uint64_t(start) + DB_NEW_FILE_HEADER;
    uint64_t end = uint64_t(start) + size;
    if (!SeekTo(packageFile, pos)) return 1;
    // The package's handle is shared, not duplicated: every read here seeks first, and the
    // package reader seeks before each of its own reads too.
    RecordDb* db = NewDb(packageFile, DB_NEW_FORM, name ? name : "");
    db->embedded = 1;
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    RecordHeader h;
    int failed = 0;
    do {
        // A short read is the end of the package; a failed one leaves records unseen.
        long got = SysRead(packageFile, bytes, DB_NEW_RECORD_HEADER);
        failed = got < 0;
        if (got != DB_NEW_RECORD_HEADER) break;
        DbDecodeHeader(bytes, DB_NEW_FORM, &h);
        if (h.magic != DB_RECORD_MAGIC) break;
        if (!(h.flags & DB_FLAG_DELETED)) {
            h.offset = uint32_t(pos);
            IndexPut(db, &h);
        }
        pos += DB_NEW_RECORD_HEADER + uint64_t(h.length);
        if (pos > kMaxPosition) break;
        failed = !SeekTo(packageFile, pos);
    } while (!failed && pos < end);
    if (failed) {
        LogPrintf("Read error in embedded database %s at %lu", db->path, (unsigned long)pos);
        FreeDb(db);
        return 1;
    }
    LogPrintf("Opened embedded database %s (%lu records)", db->path, (unsigned long)db->count);
    *dbOut = db;
    return 0;
}

int DbClose(RecordDb* db) {
    if (!db) return 0;
    if (db->file && !db->embedded) SysClose(db->file);
    db->file = 0;
    // The client's own index of this file no longer matches it. A database opened for
    // reading was not changed. While an update's journal is kept the index is moved aside
    // instead: a rollback gives the earlier database its index back.
    if (!db->readOnly && db->companionPath[0] &&
        SysAttributes(db->companionPath) != SYS_ATTR_NONE) {
        if (JournalDiscard(db->companionPath)) LogPrintf("Deleted %s", db->companionPath);
        else LogPrintf("Could not delete %s", db->companionPath);
    }
    FreeDb(db);
    return 1;
}

int DbRelease(RecordDb* db) {
    if (!db) return 0;
    FreeDb(db);
    return 1;
}

RecordIndexEntry* DbFindEntry(RecordDb* db, uint32_t gid) { return db ? Lookup(db, gid) : nullptr; }

uint32_t DbRecordCount(RecordDb* db) { return db ? db->count : 0; }

uint16_t DbRecordLength(RecordDb* db, uint32_t gid) {
    if (!db) return 0;
    RecordIndexEntry* e = Lookup(db, gid);
    return e ? uint16_t(e->header.length) : 0;
}

void* DbReadRecordBounded(RecordDb* db, uint32_t gid, void* buffer, unsigned size,
                          uint16_t* lengthOut) {
    if (!db) return nullptr;
    RecordIndexEntry* e = Lookup(db, gid);
    if (!e) return nullptr;
    unsigned n = uint16_t(e->header.length);
    if (buffer && n > size) n = size;
    uint8_t* data = buffer ? static_cast<uint8_t*>(buffer) : static_cast<uint8_t*>(MemAlloc(n + 1));
    if (e->header.offset == kGone ||
        !SeekTo(db->file, uint64_t(e->header.offset) + unsigned(HeaderSize(db))) ||
        !ReadFull(db->file, data, n)) {
        if (!buffer) MemFree(data);
        return nullptr;
    }
    if (e->header.flags & DB_FLAG_SCRAMBLED)
        for (unsigned i = 0; i < n; i++) data[i] ^= DB_SCRAMBLE_MASK;
    if (lengthOut) *lengthOut = uint16_t(n);
    return data;
}

void* DbReadRecord(RecordDb* db, uint32_t gid, void* buffer, uint16_t* lengthOut) {
    return DbReadRecordBounded(db, gid, buffer, DB_MAX_RECORD, lengthOut);
}

uint32_t DbReadNumber(RecordDb* db, uint32_t gid) {
    uint16_t n = 0;
    uint8_t* data = static_cast<uint8_t*>(DbReadRecord(db, gid, nullptr, &n));
    if (!data) return 0;
    uint32_t value = 0;
    for (unsigned i = 0; i < n && i < 4; i++) value = value << 8 | data[i];
    MemFree(data);
    return value;
}

char* DbReadText(RecordDb* db, uint32_t gid, char* buffer, unsigned size) {
    if (!db || !buffer || size == 0) return nullptr;
    unsigned n = DbRecordLength(db, gid);
    if (n >= size) {
        buffer[0] = 0;
        return nullptr;
    }
    if (!Lookup(db, gid)) return nullptr;
    if (!DbReadRecordBounded(db, gid, buffer, size - 1, nullptr)) {
        buffer[0] = 0;
        return nullptr;
    }
    buffer[n] = 0;
    return buffer;
}

// Both writers write in the database's own form: a header of the other form would break
// the chain of records in the file.
int DbWriteRecord(RecordDb* db, uint32_t gid, const void* data, uint16_t length, int type) {
    if (db && db->format != DB_NEW_FORM)
        LogPrintf("Old-form database %s: GID %lu written in the old form", db->path,
                  (unsigned long)gid);
    return WriteInForm(db, gid, data, length, type);
}

int DbWriteRecordOldForm(RecordDb* db, uint32_t gid, const void* data, uint16_t length, int type) {
    if (db && db->format != DB_OLD_FORM)
        LogPrintf("New-form database %s: GID %lu written in the new form", db->path,
                  (unsigned long)gid);
    return WriteInForm(db, gid, data, length, type);
}

int DbWriteNumber(RecordDb* db, uint32_t gid, uint32_t value) {
    uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                    uint8_t(value)};
    return WriteInForm(db, gid, b, 4, DB_TYPE_BINARY);
}

int DbWriteText(RecordDb* db, uint32_t gid, const char* text) {
    if (!text) return 0;
    size_t n = strlen(text);
    if (n > DB_MAX_RECORD) {
        LogPrintf("Text for GID %lu too long for a record", (unsigned long)gid);
        return 0;
    }
    return WriteInForm(db, gid, text, uint16_t(n), DB_TYPE_TEXT);
}

int DbDeleteRecord(RecordDb* db, uint32_t gid) {
    if (!db || db->embedded || db->readOnly) return 0;
    RecordIndexEntry* e = Lookup(db, gid);
    if (!e) return 0;
    // Older live copies go first: should one of them fail, the current copy is still the
    // last one in the file and the record reads as before.
    return MarkOlderCopies(db, gid) && MarkDeleted(db, e);
}

int DbForEachRecord(RecordDb* db, DbRecordFn fn) {
    if (!db || !fn) return 0;
    for (RecordIndexEntry* e = db->entries; e; e = e->next)
        if (!fn(db, e->header.gid, uint16_t(e->header.length))) break;
    return 1;
}

int DbIsNewForm(RecordDb* db) { return db && db->format == DB_NEW_FORM; }

int DriveHasRoom(int driveIndex, unsigned long bytes) {
    if (driveIndex < 0 || driveIndex >= 26) return 0;
    char root[4] = {char('A' + driveIndex), ':', '\\', 0};
    unsigned long spc = 0, bps = 0, freeClusters = 0, total = 0;
    if (!SysDiskFree(root, &spc, &bps, &freeClusters, &total)) return 0;
    uint64_t needed;
    if (bps == 0 || spc == 0) {
        needed = bytes >> 13;  // 8192-byte clusters assumed
    } else {
        // Integer steps as the client computes them: an exact multiple still counts one more
        // sector and one more cluster.
        uint64_t sectors = (uint64_t(bytes) + bps) / bps;
        needed = (sectors + spc) / spc;
    }
    return freeClusters > needed;
}

long DbReserveSpace(RecordDb* db, unsigned long bytes) {
    if (!db || db->embedded || db->readOnly) return -1;
    if (db->keepEnd) {
        LogPrintf("Database %s: nothing appended after its damage at %lu", db->path,
                  (unsigned long)db->appendAt);
        return -1;
    }
    char letter = db->path[0];
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 32);
    if (letter >= 'A' && letter <= 'Z' && db->path[1] == ':') {
        while (!DriveHasRoom(letter - 'A', bytes)) {
            LogPrintf("No room for %lu bytes on drive %c", bytes, letter);
            if (!AskRetryCancel(Message(IDS_DB_DISK_FULL), letter)) {
                LogPrintf("User refused to free space on drive %c", letter);
                NoteWriteCancelled();
                return -1;
            }
        }
    } else {
        // No drive letter to ask about: a full disk still shows as a short write.
        LogPrintf("No drive letter in %s: free space not tested", db->path);
    }
    // Reopened before each append so that what was written so far reaches the disk. The old
    // handle goes only once the new one is open: without a handle nothing could be read.
    SysFile reopened = SysOpen(db->path, SYS_READWRITE);
    if (!reopened) {
        LogPrintf("Cannot reopen database %s", db->path);
        return -1;
    }
    if (db->file) SysClose(db->file);
    db->file = reopened;
    long end = SysSeek(db->file, 0, SYS_SEEK_END);
    if (end < 0) {
        LogPrintf("Cannot find the end of database %s", db->path);
        return -1;
    }
    if (db->appendAt && uint64_t(end) > db->appendAt) {
        if (!SeekTo(db->file, db->appendAt) || !SysTruncate(db->file)) {
            LogPrintf("Cannot cut the damaged end of %s", db->path);
            return -1;
        }
        LogPrintf("Cut %lu damaged bytes off the end of %s",
                  (unsigned long)(uint64_t(end) - db->appendAt), db->path);
        // An entry for the record cut off no longer has data behind it.
        for (RecordIndexEntry* e = db->entries; e; e = e->next) {
            if (e->header.offset >= db->appendAt && e->header.offset != kGone) {
                e->header.flags |= DB_FLAG_DELETED;
                e->header.offset = kGone;
            }
        }
        for (uint32_t i = 0; i < db->olderCount;) {
            if (db->olderCopies[i].header.offset >= db->appendAt) ForgetOlderCopy(db, i);
            else i++;
        }
        end = long(db->appendAt);
    }
    db->appendAt = 0;
    if (uint64_t(end) + bytes > kMaxPosition) {
        LogPrintf("Database %s cannot grow past %ld", db->path, end);
        return -1;
    }
    return end;
}
