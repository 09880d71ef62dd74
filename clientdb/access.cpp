// Record database access over the OS seam. The index is the chain of RecordIndexEntry the
// callers iterate (newest first by first occurrence, one entry per GID, entries kept until
// close) plus a hash table over the same entries, so that building the index of a large
// file and writing many records cost time in proportion to the number of records.
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/bytes.h"
#include "base/globals.h"
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
    MemFree(db);
}

// The companion index: the path with the text after the last '.' of its file name replaced
// by "ind". A '.' in a folder name does not count, so that no file outside the database's
// own name is ever deleted.
void MakeCompanionPath(char* out, unsigned size, const char* path) {
    out[0] = 0;
    const char* name = path;
    for (const char* p = path; *p; p = SysCharNext(p))
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    const char* dot = nullptr;
    for (const char* p = name; *p; p = SysCharNext(p))
        if (*p == '.') dot = p;
    if (!dot) return;
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

int MarkDeleted(RecordDb* db, RecordIndexEntry* e) {
    e->header.flags |= DB_FLAG_DELETED;
    if (e->header.offset == kGone) return 1;
    return WriteHeaderAt(db, &e->header);
}

// Whether what follows the header at from, whose data runs past the end of the file, holds
// a whole record header with its data inside the file. Then the length at from is what is
// wrong, and cutting the file there would destroy the records after it.
int TailHoldsRecords(RecordDb* db, uint64_t from, uint64_t size) {
    const unsigned hs = unsigned(HeaderSize(db));
    uint8_t block[4096];
    uint64_t p = from + hs;
    while (p + hs <= size) {
        uint64_t want = size - p < sizeof block ? size - p : sizeof block;
        if (!SeekTo(db->file, p) || !ReadFull(db->file, block, (unsigned long)want))
            return 1;  // unknown: keep it
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
    if (db->embedded) {
        LogPrintf("Refused write of GID %lu to embedded database %s", (unsigned long)gid, db->path);
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
    // is not rewritten where it is, since the next append cuts it off.
    if (e && e->header.length == length && e->header.offset != kGone &&
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
        // Should this fail, the new copy still wins at the next open: it comes later.
        old.flags |= DB_FLAG_DELETED;
        ok = WriteHeaderAt(db, &old);
        if (!ok) LogPrintf("Could not mark the old record of GID %lu deleted", (unsigned long)gid);
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

char* DbFindFile(char* pathOut, const char* folder, uint32_t dbId) {
    char pattern[260];
    if (!pathOut || !folder || !JoinInto(pattern, sizeof pattern, folder, "*.*")) return nullptr;
    SysFindData fd;
    SysFind h = SysFindFirst(pattern, &fd);
    if (!h) return nullptr;
    char* found = nullptr;
    do {
        if (fd.isDir || !JoinInto(pathOut, 260, folder, fd.name)) continue;
        SysFile f = SysOpen(pathOut, SYS_READ);
        if (!f) continue;
        uint8_t b[DB_NEW_FILE_HEADER + 1] = {};
        if (ReadFull(f, b, DB_OLD_FILE_HEADER) && b[0] == 'D' && b[1] == 'C' &&
            GetU32(b + DB_OLD_ID_OFFSET) == dbId) {
            found = pathOut;
        } else if (SysSeek(f, 0, SYS_SEEK_SET) == 0 && ReadFull(f, b, DB_NEW_FILE_HEADER) &&
                   SameName(reinterpret_cast<char*>(b), DB_NEW_FILE_MAGIC) &&
                   GetU32(b + DB_NEW_ID_OFFSET) == dbId) {
            found = pathOut;
        }
        SysClose(f);
    } while (!found && SysFindNext(h, &fd));
    SysFindClose(h);
    if (found) LogPrintf("Database %lx found: %s", (unsigned long)dbId, pathOut);
    return found;
}

int DbOpenById(const char* folder, uint32_t dbId, RecordDb** dbOut) {
    char path[260];
    if (dbOut) *dbOut = nullptr;
    if (!DbFindFile(path, folder, dbId)) {
        LogPrintf("No database %lx in %s", (unsigned long)dbId, folder ? folder : "");
        return 2;
    }
    return DbOpen(path, dbOut);
}

uint32_t DbResync(RecordDb* db, RecordHeader* header) {
    LogPrintf("Resyncing record");
    if (!db) return 0;
    int hs = HeaderSize(db);
    long cur = SysSeek(db->file, 0, SYS_SEEK_CUR);
    if (cur < hs) return 0;
    uint64_t bad = uint64_t(cur) - uint64_t(hs);
    uint64_t p = bad + 1;
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    RecordHeader next;
    if (!SeekTo(db->file, p)) return 0;
    for (;;) {
        if (!ReadFull(db->file, bytes, unsigned(hs))) return 0;
        DbDecodeHeader(bytes, int(db->format), header);
        if (header->magic == DB_RECORD_MAGIC) {
            // A candidate counts only when the record after it starts with a valid header too.
            if (!SeekTo(db->file, p + uint64_t(hs) + header->length)) return 0;
            if (!ReadFull(db->file, bytes, unsigned(hs))) return 0;
            DbDecodeHeader(bytes, int(db->format), &next);
            if (next.magic == DB_RECORD_MAGIC) {
                if (!SeekTo(db->file, p + uint64_t(hs))) return 0;
                NoteSkip(uint32_t(bad), uint32_t(p));
                LogPrintf("Resynced at %lu after %lu bad bytes", (unsigned long)p,
                          (unsigned long)(p - bad));
                return uint32_t(p);
            }
        }
        p++;
        if (!SeekTo(db->file, p)) return 0;
    }
}

int DbOpen(const char* path, RecordDb** dbOut) {
    if (dbOut) *dbOut = nullptr;
    DbLastResync = DbResyncReport();
    if (!path || !dbOut) return 2;
    if (strlen(path) >= sizeof(RecordDb::path)) {
        LogPrintf("Database path too long: %s", path);
        return 2;
    }
    SysFile f = SysOpen(path, SYS_READWRITE);
    if (!f) {
        LogPrintf("Cannot open database %s", path);
        return 2;
    }
    uint8_t b[DB_NEW_FILE_HEADER];
    uint32_t format = DB_NEW_FORM;
    uint64_t pos = DB_NEW_FILE_HEADER;
    if (ReadFull(f, b, DB_OLD_FILE_HEADER) && b[0] == 'D' && b[1] == 'C') {
        format = DB_OLD_FORM;
        pos = DB_OLD_FILE_HEADER;
    } else if (SysSeek(f, 0, SYS_SEEK_SET) != 0 || !ReadFull(f, b, DB_NEW_FILE_HEADER)) {
        // Shorter than a file header: writing records into it would make a file that
        // nothing can read.
        LogPrintf("Not a database (no file header): %s", path);
        SysClose(f);
        return 1;
    }

    RecordDb* db = NewDb(f, format, path);
    MakeCompanionPath(db->companionPath, sizeof db->companionPath, path);
    int hs = HeaderSize(db);
    uint8_t bytes[DB_NEW_RECORD_HEADER];
    RecordHeader h = {};
    RecordHeader prev = {};  // what the last indexed header replaced in the index
    int lastIndexed = 0, lastReplaced = 0;
    for (;;) {
        DbLastResync.scanEnd = uint32_t(pos);
        if (!ReadFull(db->file, bytes, unsigned(hs))) break;  // end of file or a short tail
        DbDecodeHeader(bytes, int(format), &h);
        if (h.magic != DB_RECORD_MAGIC) {
            uint32_t p = DbResync(db, &h);
            if (!p) {
                LogPrintf("Database %s unreadable at %lu", path, (unsigned long)pos);
                DbClose(db);
                return 1;
            }
            pos = p;
        }
        lastIndexed = !(h.flags & DB_FLAG_DELETED);
        if (lastIndexed) {
            h.offset = uint32_t(pos);
            RecordIndexEntry* e = Lookup(db, h.gid);
            lastReplaced = e != nullptr;
            if (e) prev = e->header;
            IndexPut(db, &h);
        }
        pos += uint64_t(hs) + h.length;
        if (!SeekTo(db->file, pos)) {
            LogPrintf("Database %s: record at %lu runs out of range", path,
                      (unsigned long)(pos - hs - h.length));
            DbClose(db);
            return 1;
        }
    }
    // A damaged end stays as it is while the file is only read; the first append cuts it
    // off, so that the records written after it can be found again.
    long size = SysFileSize(db->file);
    if (size >= 0 && pos != uint64_t(size)) {
        uint64_t cut = pos < uint64_t(size) ? pos : pos - hs - h.length;
        db->appendAt = uint32_t(cut);
        LogPrintf("Database %s ends in damage after %lu", path, (unsigned long)cut);
        if (pos > uint64_t(size)) {
            // The last record's data stops short (an append that never finished): an earlier
            // complete copy of its GID stays the current one.
            if (lastIndexed && lastReplaced) {
                LogPrintf("GID %lu at %lu lacks its data; the copy at %lu stays current",
                          (unsigned long)h.gid, (unsigned long)cut, (unsigned long)prev.offset);
                Lookup(db, h.gid)->header = prev;
            }
            if (TailHoldsRecords(db, cut, uint64_t(size))) {
                db->tailHoldsRecords = 1;
                LogPrintf("Database %s: records follow the damaged one at %lu; the end is kept "
                          "and nothing will be appended",
                          path, (unsigned long)cut);
            }
        }
    }
    LogPrintf("Opened database %s (%s form, %lu records)", path,
              format == DB_NEW_FORM ? "new" : "old", (unsigned long)db->count);
    *dbOut = db;
    return 0;
}

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
    do {
        if (!ReadFull(packageFile, bytes, DB_NEW_RECORD_HEADER)) break;
        DbDecodeHeader(bytes, DB_NEW_FORM, &h);
        if (h.magic != DB_RECORD_MAGIC) break;
        if (!(h.flags & DB_FLAG_DELETED)) {
            h.offset = uint32_t(pos);
            IndexPut(db, &h);
        }
        pos += DB_NEW_RECORD_HEADER + uint64_t(h.length);
        if (!SeekTo(packageFile, pos)) break;
    } while (pos < end);
    LogPrintf("Opened embedded database %s (%lu records)", db->path, (unsigned long)db->count);
    *dbOut = db;
    return 0;
}

int DbClose(RecordDb* db) {
    if (!db) return 0;
    if (db->file && !db->embedded) SysClose(db->file);
    db->file = 0;
    // The client's own index of this file no longer matches it.
    if (db->companionPath[0] && SysAttributes(db->companionPath) != SYS_ATTR_NONE) {
        if (SysDelete(db->companionPath)) LogPrintf("Deleted %s", db->companionPath);
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
    if (!db || db->embedded) return 0;
    RecordIndexEntry* e = Lookup(db, gid);
    return e ? MarkDeleted(db, e) : 0;
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
    if (!db || db->embedded) return -1;
    if (db->tailHoldsRecords) {
        LogPrintf("Database %s: nothing appended after its damaged end at %lu", db->path,
                  (unsigned long)db->appendAt);
        return -1;
    }
    char letter = db->path[0];
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 32);
    if (letter >= 'A' && letter <= 'Z' && db->path[1] == ':') {
        while (!DriveHasRoom(letter - 'A', bytes)) {
            LogPrintf("No room for %lu bytes on drive %c", bytes, letter);
            if (!AskRetryCancel(LoadMessage(1, IDS_DB_DISK_FULL), letter)) {
                LogPrintf("User refused to free space on drive %c", letter);
                NoteWriteCancelled();
                return -1;
            }
        }
    } else {
        // No drive letter to ask about: a full disk still shows as a short write.
        LogPrintf("No drive letter in %s: free space not tested", db->path);
    }
    // Reopened before each append so that what was written so far reaches the disk.
    if (db->file) SysClose(db->file);
    db->file = SysOpen(db->path, SYS_READWRITE);
    if (!db->file) {
        LogPrintf("Cannot reopen database %s", db->path);
        return -1;
    }
    long end = SysSeek(db->file, 0, SYS_SEEK_END);
    if (end >= 0 && db->appendAt && uint64_t(end) > db->appendAt) {
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
        end = long(db->appendAt);
    }
    db->appendAt = 0;
    if (end < 0 || uint64_t(end) + bytes > kMaxPosition) {
        LogPrintf("Database %s cannot grow past %ld", db->path, end);
        return -1;
    }
    return end;
}
