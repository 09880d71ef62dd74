// Record database access: index building and recovery, reads, writes, deletes, embedded
// databases and the disk-full questions, on a drive C: mapped to a temporary folder.
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/text.h"
#include "sys/sys.h"
#include <gtest/gtest.h>

#include "tests/host/machine.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

struct Rec {
    uint32_t gid;
    std::string data;
    uint16_t flags = 0;  // 0: 'b' as written by the client
};

std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string Le16(uint16_t v) { return std::string{char(v), char(v >> 8)}; }

std::string FileHeader(int form, uint32_t id) {
    if (form == DB_OLD_FORM) return "DC" + Le32(id) + std::string(4, '\0');
    return std::string("KOVDB-25", 8) + '\0' + Le32(id) + std::string(12, 'x');
}

std::string RecordBytes(int form, const Rec& r, uint32_t at) {
    uint16_t flags = r.flags ? r.flags : uint16_t('b' | DB_FLAG_NOT_ART);
    if (form == DB_OLD_FORM)
        return "RE" + Le32(r.gid) + Le16(uint16_t(r.data.size())) + Le16(flags) + Le32(0) +
               Le32(0) + Le32(at) + r.data;
    return "R2D2" + Le32(r.gid) + Le32(uint32_t(r.data.size())) + Le16(flags) + Le32(0) + Le32(0) +
           Le32(at) + r.data;
}

// A database file's bytes; offsets receives where each record header starts.
std::string Build(int form, const std::vector<Rec>& recs,
                  std::vector<uint32_t>* offsets = nullptr) {
    std::string out = FileHeader(form, DB_ID_MAIN);
    for (const Rec& r : recs) {
        if (offsets) offsets->push_back(uint32_t(out.size()));
        out += RecordBytes(form, r, uint32_t(out.size()));
    }
    return out;
}

struct Seen {
    uint32_t gid;
    uint32_t offset;
    uint16_t length;
    bool operator==(const Seen& o) const {
        return gid == o.gid && offset == o.offset && length == o.length;
    }
};
std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << "{" << s.gid << "@" << s.offset << " len " << s.length << "}";
}

std::vector<Seen> g_seen;
int Collect(RecordDb* db, uint32_t gid, uint16_t length) {
    uint32_t offset = 0;
    for (RecordIndexEntry* e = db->entries; e; e = e->next)
        if (e->header.gid == gid) offset = e->header.offset;
    g_seen.push_back({gid, offset, length});
    return 1;
}
std::vector<Seen> Entries(RecordDb* db) {
    g_seen.clear();
    DbForEachRecord(db, Collect);
    return g_seen;
}

int LogCount(const char* text) {
    int n = 0;
    for (const char* t = LogTraceText(); t && (t = strstr(t, text)); t++) n++;
    return n;
}

class ClientDb : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override {
        ResetRunState();
        char tmpl[] = "/tmp/kovdbtest.XXXXXX";
        root = mkdtemp(tmpl);
        mkdir((root + "/DB").c_str(), 0755);
        SysMapDrive('C', root.c_str(), 3);
        SysSetDiskGeometry('C', 8, 512, 100000, 200000);
        SysQueueAnswers(nullptr, 0);
    }
    void TearDown() override {
        SysClearFaults();  // also after a failed assertion
        std::string cmd = "rm -rf '" + root + "'";
        (void)system(cmd.c_str());
    }
    // Host path of a name under C:\DB.
    std::string Host(const char* name) { return root + "/DB/" + name; }
    void Put(const char* name, const std::string& bytes) { WriteHostFile(Host(name), bytes); }
    std::string Get(const char* name) { return ReadHostFile(Host(name)); }
    RecordDb* Open(const char* name, const std::string& bytes) {
        Put(name, bytes);
        RecordDb* db = nullptr;
        std::string path = std::string("C:\\DB\\") + name;
        EXPECT_EQ(0, DbOpen(path.c_str(), &db));
        return db;
    }
};

TEST_F(ClientDb, OpenBuildsTheIndexOrReportsTheStatus) {
    std::vector<uint32_t> at3;
    std::string three =
        Build(DB_NEW_FORM, {{5, "aa"}, {5, "bbb", 'b' | DB_FLAG_DELETED}, {5, "cccc"}}, &at3);
    std::vector<uint32_t> atOrder;
    std::string order = Build(DB_NEW_FORM, {{1, "x"}, {2, "yy"}, {1, "zzz"}, {3, ""}}, &atOrder);
    std::vector<uint32_t> atOld;
    std::string old = Build(DB_OLD_FORM, {{7, "old"}, {8, "form"}}, &atOld);
    std::string sole = Build(DB_NEW_FORM, {{9, "gone", 'b' | DB_FLAG_DELETED}, {4, "kept"}});
    std::vector<uint32_t> atTail;
    std::string tail = Build(DB_NEW_FORM, {{1, "one"}}, &atTail) + "R2D2" + Le32(2);
    std::string past = Build(DB_NEW_FORM, {{1, "one"}});
    past += "R2D2" + Le32(2) + Le32(1000) + Le16('b') + std::string(12, '\0') + "short";

    struct Case {
        const char* what;
        std::string bytes;
        int status;
        std::vector<Seen> entries;
    } cases[] = {
        {"new-form header only", FileHeader(DB_NEW_FORM, 1), 0, {}},
        {"old-form header only", FileHeader(DB_OLD_FORM, 1), 0, {}},
        {"empty file", "", 1, {}},
        {"shorter than a file header", "KOVDB", 1, {}},
        {"GID 5 three times, the second deleted", three, 0, {{5, at3[2], 4}}},
        {"order: newest first by first occurrence",
         order,
         0,
         {{3, atOrder[3], 0}, {2, atOrder[1], 2}, {1, atOrder[2], 3}}},
        {"old form", old, 0, {{8, atOld[1], 4}, {7, atOld[0], 3}}},
        {"sole occurrence deleted", sole, 0, {{4, 25 + 26 + 4, 4}}},
        {"short tail", tail, 0, {{1, atTail[0], 3}}},
        {"length past the end of the file", past, 0, {{2, 25 + 26 + 3, 1000}, {1, 25, 3}}},
        {"no record magic anywhere", FileHeader(DB_NEW_FORM, 1) + std::string(200, 'q'), 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put("T.IDX", c.bytes);
        RecordDb* db = reinterpret_cast<RecordDb*>(1);
        int status = DbOpen("C:\\DB\\T.IDX", &db);
        EXPECT_EQ(c.status, status);
        if (status != 0) {
            EXPECT_EQ(nullptr, db);
            continue;
        }
        EXPECT_EQ(c.entries, Entries(db));
        EXPECT_EQ(c.entries.size(), DbRecordCount(db));
        DbClose(db);
    }
    RecordDb* db = reinterpret_cast<RecordDb*>(1);
    EXPECT_EQ(2, DbOpen("C:\\DB\\ABSENT.IDX", &db));
    EXPECT_EQ(nullptr, db);
}

TEST_F(ClientDb, OldFormIndexHoldsNewFormHeaders) {
    RecordDb* db =
        Open("OLD.DB", Build(DB_OLD_FORM, {{0x14000006, "\x01\x02\x03", uint16_t('t' | 0x0200)}}));
    ASSERT_TRUE(db);
    EXPECT_EQ(0, DbIsNewForm(db));
    RecordIndexEntry* e = db->entries;
    ASSERT_TRUE(e);
    EXPECT_EQ(DB_RECORD_MAGIC, e->header.magic);
    EXPECT_EQ(3u, e->header.length);
    EXPECT_EQ(uint16_t('t' | 0x0200), e->header.flags);
    EXPECT_EQ(10u, e->header.offset);
    DbClose(db);
}

TEST_F(ClientDb, OneInsertedByteIsSkipped) {
    std::vector<uint32_t> at;
    std::string clean =
        Build(DB_NEW_FORM, {{1, "first"}, {2, "second"}, {3, "third"}, {4, "fourth"}}, &at);
    struct Case {
        const char* what;
        uint32_t insertAt;
        int status;
        std::vector<Seen> entries;
    } cases[] = {
        {"before the second header's magic",
         at[1],
         0,
         {{4, at[3] + 1, 6}, {3, at[2] + 1, 5}, {2, at[1] + 1, 6}, {1, at[0], 5}}},
        {"inside the second header's magic",
         at[1] + 2,
         0,
         {{4, at[3] + 1, 6}, {3, at[2] + 1, 5}, {1, at[0], 5}}},
        {"before the last header",
         at[3],
         0,
         {{4, at[3] + 1, 6}, {3, at[2], 5}, {2, at[1], 6}, {1, at[0], 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = clean;
        bytes.insert(c.insertAt, 1, '#');
        Put("R.IDX", bytes);
        int resyncs = LogCount("Resyncing record");
        RecordDb* db = nullptr;
        EXPECT_EQ(c.status, DbOpen("C:\\DB\\R.IDX", &db));
        EXPECT_EQ(resyncs + 1, LogCount("Resyncing record"));
        if (db) {
            EXPECT_EQ(c.entries, Entries(db));
            char text[16];
            EXPECT_STREQ("third", DbReadText(db, 3, text, sizeof text));
            DbClose(db);
        }
    }
}

// A long damaged stretch is scanned a window at a time: the record after it is found
// wherever it falls against the windows, a stray magic whose record runs into the next
// window is passed over, and the scan costs a read per window rather than one per byte.
TEST_F(ClientDb, LongDamageIsScannedAWindowAtATime) {
    const size_t lengths[] = {1, 100, 4069, 4070, 4071, 4072, 4083, 4095, 4096, 4097, 9000};
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        for (size_t length : lengths) {
            SCOPED_TRACE((form == DB_NEW_FORM ? "new form, " : "old form, ") +
                         std::to_string(length) + " bad bytes");
            std::vector<uint32_t> at;
            std::string bytes = Build(form, {{1, "one"}}, &at);
            uint32_t bad = uint32_t(bytes.size());
            std::string damage(length, '#');
            // A stray magic whose length leads to no header, close to the first window's end.
            if (length > 4070) {
                std::string stray = RecordBytes(form, {7, std::string(40, 's')}, 0);
                damage.replace(length - 30, 30, stray.substr(0, 30));
            }
            bytes += damage;
            uint32_t second = uint32_t(bytes.size());
            bytes += RecordBytes(form, {2, std::string(5000, 'd')}, second);
            uint32_t third = uint32_t(bytes.size());
            bytes += RecordBytes(form, {3, "three"}, third);
            Put("W.IDX", bytes);
            unsigned long reads = SysCallsMade(SYS_FAULT_READ);
            RecordDb* db = nullptr;
            ASSERT_EQ(0, DbOpen("C:\\DB\\W.IDX", &db));
            EXPECT_LT(SysCallsMade(SYS_FAULT_READ) - reads, 12u);
            std::vector<Seen> want = {{3, third, 5}, {2, second, 5000}, {1, at[0], 3}};
            EXPECT_EQ(want, Entries(db));
            EXPECT_EQ(bad, DbLastResync.skipFrom[0]);
            EXPECT_EQ(second, DbLastResync.skipTo[0]);
            DbClose(db);
        }
    }
}

TEST_F(ClientDb, AppendAfterDamagedEndCutsTheDamage) {
    std::string good = Build(DB_NEW_FORM, {{1, "one"}, {2, "two"}});
    std::string cutShort = good.substr(0, good.size() - 1);  // record 2 lacks a byte
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t rewrite;  // GID written with 3 bytes, then GID 9
        size_t size;       // file size afterwards
        std::vector<uint32_t> gids;
    } cases[] = {
        {"part of a header at the end", good + "R2D2\x09", 1, good.size() + 26 + 3, {9, 2, 1}},
        {"the last record's data stops short", cutShort, 2, good.size() + 26 + 3, {9, 2, 1}},
        {"sound end", good, 1, good.size() + 26 + 3, {9, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordDb* db = Open("T.IDX", c.bytes);
        ASSERT_TRUE(db);
        EXPECT_EQ(c.bytes.size(), Get("T.IDX").size());  // reading leaves the file alone
        ASSERT_EQ(1, DbWriteText(db, c.rewrite, c.rewrite == 1 ? "ONE" : "TWO"));
        ASSERT_EQ(1, DbWriteText(db, 9, "new"));
        char text[8];
        EXPECT_STREQ("new", DbReadText(db, 9, text, sizeof text));
        DbClose(db);
        EXPECT_EQ(c.size, Get("T.IDX").size());

        int resyncs = LogCount("Resyncing record");
        db = nullptr;
        ASSERT_EQ(0, DbOpen("C:\\DB\\T.IDX", &db));
        EXPECT_EQ(resyncs, LogCount("Resyncing record"));
        std::vector<uint32_t> gids;
        for (const Seen& e : Entries(db)) gids.push_back(e.gid);
        EXPECT_EQ(c.gids, gids);
        EXPECT_STREQ("new", DbReadText(db, 9, text, sizeof text));
        EXPECT_STREQ(c.rewrite == 1 ? "ONE" : "TWO", DbReadText(db, c.rewrite, text, sizeof text));
        DbClose(db);
    }
}

TEST_F(ClientDb, UnfinishedRewriteLeavesTheOldRecordCurrent) {
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        SCOPED_TRACE(form == DB_NEW_FORM ? "new form" : "old form");
        std::vector<uint32_t> at;
        std::string bytes = Build(form, {{1, "abc"}, {2, "zz"}}, &at);

        // Cancelled at the disk-space question: nothing written, the old copy still live.
        ResetRunState();
        RecordDb* db = Open("U.IDX", bytes);
        ASSERT_TRUE(db);
        SysSetDiskGeometry('C', 8, 512, 1, 1000);
        int cancel = SYS_ID_CANCEL;
        SysQueueAnswers(&cancel, 1);
        EXPECT_EQ(0, DbWriteText(db, 1, "longer text"));
        EXPECT_EQ(1u, UserAbort);
        char text[16];
        EXPECT_STREQ("abc", DbReadText(db, 1, text, sizeof text));
        DbClose(db);
        SysSetDiskGeometry('C', 8, 512, 100000, 200000);
        EXPECT_EQ(bytes, Get("U.IDX"));

        // Stopped while the new copy's data was written: the complete old copy is read.
        std::string stopped = Build(form, {{1, "abc"}, {2, "zz"}, {1, "longer text"}});
        stopped.resize(stopped.size() - 4);
        db = Open("U.IDX", stopped);
        ASSERT_TRUE(db);
        EXPECT_EQ((std::vector<Seen>{{2, at[1], 2}, {1, at[0], 3}}), Entries(db));
        EXPECT_STREQ("abc", DbReadText(db, 1, text, sizeof text));
        ASSERT_EQ(1, DbWriteText(db, 9, "new"));  // cuts the unfinished copy off
        DbClose(db);
        EXPECT_EQ(bytes + RecordBytes(form, {9, "new", uint16_t('t' | DB_FLAG_NOT_ART)},
                                      uint32_t(bytes.size())),
                  Get("U.IDX"));
        db = nullptr;
        ASSERT_EQ(0, DbOpen("C:\\DB\\U.IDX", &db));
        EXPECT_STREQ("abc", DbReadText(db, 1, text, sizeof text));
        EXPECT_STREQ("new", DbReadText(db, 9, text, sizeof text));
        DbClose(db);
    }
}

TEST_F(ClientDb, RecordsAfterAWrongLengthAreNeverCut) {
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        SCOPED_TRACE(form == DB_NEW_FORM ? "new form" : "old form");
        std::vector<uint32_t> at;
        std::string bytes = Build(form, {{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}}, &at);
        // Record 2 claims 5000 bytes, past the end: it is left out, and records 3 and 4 are
        // read, but nothing is appended where that length could one day point.
        bytes.replace(at[1] + (form == DB_NEW_FORM ? 8 : 6), 2, Le16(5000));
        RecordDb* db = Open("L.IDX", bytes);
        ASSERT_TRUE(db);
        EXPECT_EQ(3u, DbRecordCount(db));
        EXPECT_EQ(nullptr, DbFindEntry(db, 2));
        EXPECT_EQ(0, DbWriteText(db, 9, "new"));
        EXPECT_EQ(0, DbWriteText(db, 2, "TWO"));
        EXPECT_EQ(1, DbWriteText(db, 1, "ONE"));  // in place, before the damage
        EXPECT_EQ(0u, UserAbort);
        DbClose(db);
        std::string expected = bytes;
        expected.replace(at[0] + (form == DB_NEW_FORM ? 26 : 22), 3, "ONE");
        expected[at[0] + (form == DB_NEW_FORM ? 12 : 8)] = 't';
        EXPECT_EQ(expected, Get("L.IDX"));
    }
}

TEST_F(ClientDb, NumbersAreStoredMostSignificantFirst) {
    RecordDb* db =
        Open("N.IDX", Build(DB_NEW_FORM, {{1, std::string("\x01\x02", 2)},
                                          {2, std::string("\x00\x00\x01\x02\xff\xff", 6)},
                                          {3, "\x07"},
                                          {4, ""},
                                          {5, std::string("\xa5\xa5\xa4\xa7", 4),
                                           uint16_t('b' | DB_FLAG_SCRAMBLED)}}));
    ASSERT_TRUE(db);
    struct {
        uint32_t gid, value;
    } reads[] = {{1, 258}, {2, 258}, {3, 7}, {4, 0}, {5, 258}, {99, 0}};
    for (auto& r : reads) EXPECT_EQ(r.value, DbReadNumber(db, r.gid)) << "GID " << r.gid;

    ASSERT_EQ(1, DbWriteNumber(db, 10, 258));
    uint16_t n = 0;
    uint8_t raw[8] = {};
    ASSERT_TRUE(DbReadRecord(db, 10, raw, &n));
    EXPECT_EQ(4, n);
    EXPECT_EQ(0, memcmp(raw, "\x00\x00\x01\x02", 4));
    DbClose(db);
    std::string file = Get("N.IDX");
    EXPECT_EQ(std::string("\x00\x00\x01\x02", 4), file.substr(file.size() - 4));
}

TEST_F(ClientDb, RewriteInPlaceOrMarkDeletedAndAppend) {
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        SCOPED_TRACE(form == DB_NEW_FORM ? "new form" : "old form");
        unsigned hs = form == DB_NEW_FORM ? 26 : 22;
        std::vector<uint32_t> at;
        std::string bytes = Build(form, {{7, "0123456789"}, {8, "after"}}, &at);
        RecordDb* db = Open("W.IDX", bytes);
        ASSERT_TRUE(db);
        auto write = form == DB_NEW_FORM ? DbWriteRecord : DbWriteRecordOldForm;

        ASSERT_EQ(1, write(db, 7, "ABCDEFGHIJ", 10, 0));
        EXPECT_EQ(bytes.size(), Get("W.IDX").size());
        char text[32];
        EXPECT_STREQ("ABCDEFGHIJ", DbReadText(db, 7, text, sizeof text));

        ASSERT_EQ(1, write(db, 7, "twelve bytes", 12, 0));
        std::string file = Get("W.IDX");
        EXPECT_EQ(bytes.size() + hs + 12, file.size());
        unsigned flagsAt = form == DB_NEW_FORM ? 12 : 8;
        EXPECT_TRUE(uint8_t(file[at[0] + flagsAt + 1]) & (DB_FLAG_DELETED >> 8));
        EXPECT_EQ((std::vector<Seen>{{8, at[1], 5}, {7, uint32_t(bytes.size()), 12}}), Entries(db));
        DbClose(db);

        db = nullptr;
        ASSERT_EQ(0, DbOpen("C:\\DB\\W.IDX", &db));
        EXPECT_EQ(form == DB_NEW_FORM, DbIsNewForm(db) != 0);
        EXPECT_STREQ("twelve bytes", DbReadText(db, 7, text, sizeof text));
        EXPECT_STREQ("after", DbReadText(db, 8, text, sizeof text));
        EXPECT_EQ(2u, DbRecordCount(db));
        DbClose(db);
    }
}

TEST_F(ClientDb, WriterUsesTheFileForm) {
    // Whichever writer a caller picks, the header written matches the file, so the file
    // stays readable.
    RecordDb* db = Open("F.IDX", Build(DB_OLD_FORM, {{1, "x"}}));
    ASSERT_TRUE(db);
    ASSERT_EQ(1, DbWriteRecord(db, 2, "new", 3, 't'));
    DbClose(db);
    db = nullptr;
    ASSERT_EQ(0, DbOpen("C:\\DB\\F.IDX", &db));
    char text[8];
    EXPECT_STREQ("new", DbReadText(db, 2, text, sizeof text));
    EXPECT_EQ(Build(DB_OLD_FORM, {{1, "x"}, {2, "new", uint16_t('t' | DB_FLAG_NOT_ART)}}),
              Get("F.IDX"));
    DbClose(db);
}

TEST_F(ClientDb, TextRecords) {
    RecordDb* db = Open("X.IDX", Build(DB_NEW_FORM, {{1, "0123456789abcdef"}}));
    ASSERT_TRUE(db);
    struct Case {
        uint32_t gid;
        unsigned size;
        const char* result;  // null: no result
        const char* buffer;  // the buffer afterwards
    } cases[] = {
        {1, 16, nullptr, ""},
        {1, 17, "0123456789abcdef", "0123456789abcdef"},
        {2, 16, nullptr, "untouched"},
    };
    for (const Case& c : cases) {
        char buf[32] = "untouched";
        char* r = DbReadText(db, c.gid, buf, c.size);
        if (c.result) EXPECT_STREQ(c.result, r);
        else EXPECT_EQ(nullptr, r);
        EXPECT_STREQ(c.buffer, buf);
    }

    size_t before = Get("X.IDX").size();
    ASSERT_EQ(1, DbWriteText(db, 2, "C:\\KOV"));
    EXPECT_EQ(before + 26 + 6, Get("X.IDX").size());
    EXPECT_EQ(6, DbRecordLength(db, 2));
    uint16_t n = 0;
    char* copy = static_cast<char*>(DbReadRecord(db, 2, nullptr, &n));
    ASSERT_TRUE(copy);
    EXPECT_EQ(6, n);
    EXPECT_STREQ("C:\\KOV", copy);
    MemFree(copy);

    ASSERT_EQ(1, DbWriteRecord(db, 0x01000005, "art", 3, 'p'));
    DbClose(db);
    std::string file = Get("X.IDX");
    RecordHeader h;
    DbDecodeHeader(reinterpret_cast<const uint8_t*>(file.data()) + before, DB_NEW_FORM, &h);
    EXPECT_EQ(uint16_t('t' | DB_FLAG_NOT_ART), h.flags);
    EXPECT_EQ(before, h.offset);
    DbDecodeHeader(reinterpret_cast<const uint8_t*>(file.data()) + before + 32, DB_NEW_FORM, &h);
    EXPECT_EQ(uint16_t('p'), h.flags);
}

TEST_F(ClientDb, ScrambledRecordsReadPlainAndAreRewrittenPlain) {
    std::string secret = "kov";
    std::string stored;
    for (char c : secret) stored += char(c ^ DB_SCRAMBLE_MASK);
    RecordDb* db =
        Open("S.IDX", Build(DB_NEW_FORM, {{3, stored, uint16_t('t' | DB_FLAG_SCRAMBLED)}}));
    ASSERT_TRUE(db);
    char text[8];
    EXPECT_STREQ("kov", DbReadText(db, 3, text, sizeof text));
    ASSERT_EQ(1, DbWriteText(db, 3, "KOV"));
    DbClose(db);
    std::string file = Get("S.IDX");
    EXPECT_EQ("KOV", file.substr(file.size() - 3));

    // A rewrite whose data write fails leaves the record readable as it was: the plain header
    // never lands on the scrambled data.
    for (unsigned long failing : {1ul, 2ul}) {
        SCOPED_TRACE("write " + std::to_string(failing) + " fails");
        db = Open("S.IDX", Build(DB_NEW_FORM, {{3, stored, uint16_t('t' | DB_FLAG_SCRAMBLED)}}));
        ASSERT_TRUE(db);
        SysFailCalls(SYS_FAULT_WRITE, failing, 1);
        EXPECT_EQ(0, DbWriteText(db, 3, "KOV"));
        SysClearFaults();
        EXPECT_STREQ("kov", DbReadText(db, 3, text, sizeof text));
        DbClose(db);
        db = nullptr;
        ASSERT_EQ(0, DbOpen("C:\\DB\\S.IDX", &db));
        EXPECT_STREQ("kov", DbReadText(db, 3, text, sizeof text));
        DbClose(db);
    }
}

TEST_F(ClientDb, DeleteKeepsTheEntryUntilClose) {
    std::vector<uint32_t> at;
    RecordDb* db = Open("D.IDX", Build(DB_NEW_FORM, {{1, "one"}, {2, "two"}}, &at));
    ASSERT_TRUE(db);
    EXPECT_EQ(0, DbDeleteRecord(db, 3));
    ASSERT_EQ(1, DbDeleteRecord(db, 1));
    EXPECT_EQ(2u, DbRecordCount(db));
    EXPECT_EQ(3, DbRecordLength(db, 1));
    char text[8];
    EXPECT_STREQ("one", DbReadText(db, 1, text, sizeof text));
    // A rewrite that fails (its data write, here) does not bring the deleted record back.
    SysFailCalls(SYS_FAULT_WRITE, 2, 1);
    EXPECT_EQ(0, DbWriteText(db, 1, "ONE"));
    SysClearFaults();
    DbClose(db);
    db = nullptr;
    ASSERT_EQ(0, DbOpen("C:\\DB\\D.IDX", &db));
    EXPECT_EQ((std::vector<Seen>{{2, at[1], 3}}), Entries(db));
    DbClose(db);
}

// The migration rewrites 348-byte records of the database it iterates, with the same length.
int RewriteSameLength(RecordDb* db, uint32_t gid, uint16_t length) {
    char buf[8] = {};
    DbReadRecord(db, gid, buf, nullptr);
    buf[0] = 'X';
    return DbWriteRecord(db, gid, buf, length, 'b');
}

TEST_F(ClientDb, SameLengthRewritesWhileIterating) {
    RecordDb* db = Open("I.IDX", Build(DB_NEW_FORM, {{1, "aa"}, {2, "bb"}, {3, "cc"}}));
    ASSERT_TRUE(db);
    size_t size = Get("I.IDX").size();
    DbForEachRecord(db, RewriteSameLength);
    EXPECT_EQ(size, Get("I.IDX").size());
    EXPECT_EQ(3u, DbRecordCount(db));
    char text[8];
    for (uint32_t gid = 1; gid <= 3; gid++) {
        EXPECT_STREQ(gid == 1   ? "Xa"
                     : gid == 2 ? "Xb"
                                : "Xc",
                     DbReadText(db, gid, text, sizeof text));
    }
    DbClose(db);
}

TEST_F(ClientDb, FindFileByIdentifier) {
    Put("A.DB", FileHeader(DB_NEW_FORM, 990));
    Put("B.DB", FileHeader(DB_NEW_FORM, DB_ID_MAIN));
    Put("C.DB", FileHeader(DB_OLD_FORM, DB_ID_EF));
    std::string lower = FileHeader(DB_NEW_FORM, 0x1234);
    lower.replace(0, 8, "kovdb-25");
    Put("D.DB", lower);
    std::string noNul = FileHeader(DB_NEW_FORM, 0x5678);
    noNul[8] = 'X';
    Put("E.DB", noNul);
    Put("F.TXT", "DC");
    mkdir(Host("SUB.DB").c_str(), 0755);

    char path[260];
    struct Case {
        uint32_t id;
        const char* found;
    } cases[] = {
        {DB_ID_MAIN, "C:\\DB\\B.DB"},
        {DB_ID_EF, "C:\\DB\\C.DB"},
        {0x1234, "C:\\DB\\D.DB"},
        {0x5678, nullptr},
        {77, nullptr},
    };
    for (const Case& c : cases) {
        char* r = DbFindFile(path, "C:\\DB", c.id);
        if (c.found) EXPECT_STREQ(c.found, r);
        else EXPECT_EQ(nullptr, r);
    }
    EXPECT_EQ(nullptr, DbFindFile(path, "C:\\NOWHERE", DB_ID_MAIN));

    RecordDb* db = reinterpret_cast<RecordDb*>(1);
    EXPECT_EQ(2, DbOpenById("C:\\DB", 77, &db));
    EXPECT_EQ(nullptr, db);
    ASSERT_EQ(0, DbOpenById("C:\\DB", DB_ID_MAIN, &db));
    EXPECT_STREQ("C:\\DB\\B.DB", db->path);
    DbClose(db);
}

TEST_F(ClientDb, CloseDeletesTheCompanionIndex) {
    mkdir((root + "/KOV.30").c_str(), 0755);
    mkdir((root + "/KOV.30/IDB").c_str(), 0755);
    struct Case {
        const char* path;       // the database
        const char* companion;  // host name of the file deleted with it, relative to root
        const char* kept;       // a file that must survive
    } cases[] = {
        {"C:\\KOV.30\\IDB\\MAIN.IDX", "/KOV.30/IDB/MAIN.ind", "/KOV.30/IDB/OLD.ind"},
        {"C:\\KOV.30\\IDB\\MAIN", nullptr, "/KOV.ind"},
        // A database whose own extension is "ind" is not its own companion.
        {"C:\\KOV.30\\IDB\\SELF.IND", nullptr, "/KOV.30/IDB/SELF.IND"},
        {"C:\\KOV.30\\IDB\\self.ind", nullptr, "/KOV.30/IDB/self.ind"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string host = root + (c.path + 2);
        for (char& ch : host)
            if (ch == '\\') ch = '/';
        FILE* f = fopen(host.c_str(), "wb");
        std::string bytes = Build(DB_NEW_FORM, {{1, "x"}});
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        if (c.companion) fclose(fopen((root + c.companion).c_str(), "wb"));
        if (root + c.kept != host) fclose(fopen((root + c.kept).c_str(), "wb"));
        RecordDb* db = nullptr;
        ASSERT_EQ(0, DbOpen(c.path, &db));
        EXPECT_EQ(1, DbClose(db));
        if (c.companion) EXPECT_NE(0, access((root + c.companion).c_str(), F_OK));
        EXPECT_EQ(0, access((root + c.kept).c_str(), F_OK));
    }
    EXPECT_EQ(0, DbClose(nullptr));
    EXPECT_EQ(0, DbRelease(nullptr));
}

TEST_F(ClientDb, DriveHasRoomCountsClusters) {
    struct Case {
        unsigned long spc, bps, freeClusters, bytes;
        int room;
    } cases[] = {
        {8, 512, 1, 0, 0},  // 0 bytes still need one cluster
        {8, 512, 2, 0, 1},
        {8, 512, 2, 3583, 1},  // 7 sectors and one more: 1 cluster
        {8, 512, 2, 3584, 0},  // 7 sectors exactly: 8 counted, so 2 clusters
        {8, 512, 3, 3584, 1},
        {0, 512, 1, 8191, 1},  // no geometry: 8192-byte clusters, rounded down
        {1, 0, 1, 8192, 0},
        {64, 512, 100000, 65561, 1},
    };
    for (const Case& c : cases) {
        SysSetDiskGeometry('C', c.spc, c.bps, c.freeClusters, 1000000);
        EXPECT_EQ(c.room, DriveHasRoom(2, c.bytes))
            << c.spc << "x" << c.bps << " free " << c.freeClusters << " bytes " << c.bytes;
    }
    EXPECT_EQ(0, DriveHasRoom(25, 0));  // Z: has no geometry
    EXPECT_EQ(0, DriveHasRoom(-1, 0));
}

TEST_F(ClientDb, DiskFullQuestionsAndCancel) {
    struct Case {
        const char* what;
        std::vector<int> answers;
        const char* fallback;
        int questions;
        uint32_t offer;
    } cases[] = {
        {"cancel at once", {SYS_ID_CANCEL}, "", 1, 0},
        {"retry, then cancel", {SYS_ID_RETRY, SYS_ID_CANCEL}, "", 2, 0},
        {"cancel with a fallback installer", {SYS_ID_CANCEL}, "SETUP31.EXE", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetRunState();
        strcpy(InstallSettings.Win31FallbackProgram, c.fallback);
        FallbackInstallerNamed = c.fallback[0] != 0;  // as the script reader sets it
        RecordDb* db = Open("F.IDX", Build(DB_NEW_FORM, {{1, "abc"}}));
        ASSERT_TRUE(db);
        size_t size = Get("F.IDX").size();
        SysSetDiskGeometry('C', 8, 512, 1, 1000);
        SysQueueAnswers(c.answers.data(), int(c.answers.size()));
        EXPECT_EQ(0, DbWriteText(db, 2, "needs room"));
        EXPECT_EQ(c.questions, SysQuestionsAsked());
        if (strstr(LoadMessage(1, 34400), "%c"))
            EXPECT_NE(nullptr, strstr(SysLastQuestion(), "C:"));
        EXPECT_EQ(1u, UserAbort);
        EXPECT_EQ(c.offer, OfferWin31Fallback);
        EXPECT_EQ(size, Get("F.IDX").size());
        EXPECT_EQ(0, DbRecordLength(db, 2));
        // An in-place rewrite needs no room.
        EXPECT_EQ(1, DbWriteText(db, 1, "xyz"));
        SysSetDiskGeometry('C', 8, 512, 100000, 200000);
        DbClose(db);
    }
}

TEST_F(ClientDb, EmbeddedDatabaseReadsInPlace) {
    std::string db1 =
        Build(DB_NEW_FORM, {{0x01000001, "art one", 'p'},
                            {0x01000002, "art two", 'p'},
                            {0x01000003, "deleted", uint16_t('p' | DB_FLAG_DELETED)}});
    std::string after = RecordBytes(DB_NEW_FORM, {0x01000009, "next entry"}, 0);
    std::string package = std::string(1000, 'P') + db1 + after;
    Put("PKG.BIN", package);
    SysFile f = SysOpen("C:\\DB\\PKG.BIN", SYS_READ);
    ASSERT_TRUE(f);

    struct Case {
        const char* what;
        uint32_t start, size;
        int status;
        std::vector<Seen> entries;
    } cases[] = {
        {"whole database",
         1000,
         uint32_t(db1.size()),
         0,
         {{0x01000002, 1000 + 25 + 33, 7}, {0x01000001, 1025, 7}}},
        {"size covers only the first record", 1000, 25 + 1, 0, {{0x01000001, 1025, 7}}},
        {"size zero reads the first header anyway", 1000, 0, 0, {{0x01000001, 1025, 7}}},
        {"start beyond the package", 5000, 100, 0, {}},
        {"start in the middle of nowhere", 10, 100, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordDb* db = nullptr;
        EXPECT_EQ(c.status, DbOpenEmbedded("art.db", &db, c.start, c.size, f));
        ASSERT_TRUE(db);
        EXPECT_STREQ("art.db", db->path);
        EXPECT_EQ(1, DbIsNewForm(db));
        EXPECT_EQ(c.entries, Entries(db));
        if (!c.entries.empty()) {
            char text[16];
            EXPECT_STREQ("art one", DbReadText(db, 0x01000001, text, sizeof text));
        }
        EXPECT_EQ(0, DbWriteRecord(db, 0x01000001, "x", 1, 'p'));
        EXPECT_EQ(0, DbDeleteRecord(db, 0x01000001));
        EXPECT_EQ(1, DbRelease(db));
    }
    // A read that fails is not the end of the database.
    for (unsigned long failing : {1ul, 2ul, 3ul}) {
        RecordDb* db = reinterpret_cast<RecordDb*>(1);
        SysFailCalls(SYS_FAULT_READ, failing, 1);
        EXPECT_EQ(1, DbOpenEmbedded("art.db", &db, 1000, uint32_t(db1.size()), f)) << failing;
        SysClearFaults();
        EXPECT_EQ(nullptr, db);
    }
    // The package's handle is still usable after the release.
    char first[4] = {};
    EXPECT_EQ(0, SysSeek(f, 0, SYS_SEEK_SET));
    EXPECT_EQ(4, SysRead(f, first, 4));
    SysClose(f);
    RecordDb* db = reinterpret_cast<RecordDb*>(1);
    EXPECT_EQ(2, DbOpenEmbedded("x", &db, 0, 0, 0));
    EXPECT_EQ(nullptr, db);
}

TEST_F(ClientDb, NullDatabaseAndAbsentRecords) {
    uint16_t n = 7;
    EXPECT_EQ(0u, DbRecordCount(nullptr));
    EXPECT_EQ(0, DbRecordLength(nullptr, 1));
    EXPECT_EQ(nullptr, DbReadRecord(nullptr, 1, nullptr, &n));
    EXPECT_EQ(0u, DbReadNumber(nullptr, 1));
    EXPECT_EQ(0, DbWriteRecord(nullptr, 1, "x", 1, 0));
    EXPECT_EQ(0, DbDeleteRecord(nullptr, 1));
    EXPECT_EQ(0, DbForEachRecord(nullptr, Collect));
    EXPECT_EQ(7, n);

    // A record whose data runs past the end of the file reads as absent, never past it.
    std::string past = Build(DB_NEW_FORM, {{1, "one"}});
    past += "R2D2" + Le32(2) + Le32(1000) + Le16('b') + std::string(12, '\0') + "short";
    RecordDb* db = Open("P.IDX", past);
    ASSERT_TRUE(db);
    EXPECT_EQ(1000, DbRecordLength(db, 2));
    EXPECT_EQ(nullptr, DbReadRecord(db, 2, nullptr, &n));
    char small[8];
    uint16_t got = 0;
    EXPECT_EQ(small, DbReadRecordBounded(db, 2, small, 5, &got));
    EXPECT_EQ(5, got);
    EXPECT_EQ(0, memcmp(small, "short", 5));
    DbClose(db);
}

}  // namespace

namespace {

std::string ReadAll(RecordDb* db, uint32_t gid) {
    uint16_t n = 0;
    char* data = static_cast<char*>(DbReadRecord(db, gid, nullptr, &n));
    if (!data) return "(absent)";
    std::string s(data, n);
    MemFree(data);
    return s;
}

}  // namespace

TEST_F(ClientDb, ReadErrorWhileOpeningFailsTheOpenAndChangesNothing) {
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        SCOPED_TRACE(form == DB_NEW_FORM ? "new form" : "old form");
        std::string bytes = Build(
            form, {{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}, {5, "five"}, {6, "six"}});
        Put("E.IDX", bytes);
        Put("E.ind", "client index");
        unsigned long first = SysCallsMade(SYS_FAULT_READ);
        RecordDb* db = nullptr;
        ASSERT_EQ(0, DbOpen("C:\\DB\\E.IDX", &db));
        unsigned long reads = SysCallsMade(SYS_FAULT_READ) - first;
        DbRelease(db);
        for (unsigned long n = 1; n <= reads; n++) {
            SCOPED_TRACE("read " + std::to_string(n) + " fails");
            SysFailCalls(SYS_FAULT_READ, n, 1);
            db = reinterpret_cast<RecordDb*>(1);
            EXPECT_EQ(1, DbOpen("C:\\DB\\E.IDX", &db));
            SysClearFaults();
            EXPECT_EQ(nullptr, db);
            EXPECT_EQ(bytes, Get("E.IDX"));
            EXPECT_EQ("client index", Get("E.ind"));
        }
        // The same file opens whole once the reads succeed.
        db = Open("E.IDX", bytes);
        ASSERT_TRUE(db);
        ASSERT_EQ(1, DbWriteText(db, 9, "new"));
        EXPECT_EQ(7u, DbRecordCount(db));
        EXPECT_EQ("six", ReadAll(db, 6));
        DbClose(db);
    }
}

TEST_F(ClientDb, ACopyLeftLiveByAFailedMarkIsDeletedWithTheRecord) {
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        SCOPED_TRACE(form == DB_NEW_FORM ? "new form" : "old form");
        // Writes of a rewrite with another length: the new header, its data, then the mark
        // of the old header. The mark fails and the user cancels the retry.
        for (unsigned long failDeleteWrite : {0ul, 1ul, 2ul}) {
            SCOPED_TRACE("write " + std::to_string(failDeleteWrite) + " of the delete fails");
            ResetRunState();
            RecordDb* db = Open("M.IDX", Build(form, {{7, "old"}, {8, "other"}}));
            ASSERT_TRUE(db);
            SysFailCalls(SYS_FAULT_WRITE, 3, 1);
            DbWriteText(db, 7, "newer");
            SysClearFaults();
            EXPECT_EQ(1u, UserAbort);
            EXPECT_EQ("newer", ReadAll(db, 7));
            DbClose(db);

            db = nullptr;
            ASSERT_EQ(0, DbOpen("C:\\DB\\M.IDX", &db));
            EXPECT_EQ("newer", ReadAll(db, 7));  // the copy the write meant to keep
            if (failDeleteWrite) SysFailCalls(SYS_FAULT_WRITE, failDeleteWrite, 1);
            int deleted = DbDeleteRecord(db, 7);
            SysClearFaults();
            EXPECT_EQ(failDeleteWrite ? 0 : 1, deleted);
            DbClose(db);

            db = nullptr;
            ASSERT_EQ(0, DbOpen("C:\\DB\\M.IDX", &db));
            // A delete that fails part-way leaves the record as it was, never an older copy.
            EXPECT_EQ(failDeleteWrite ? "newer" : "(absent)", ReadAll(db, 7));
            EXPECT_EQ("other", ReadAll(db, 8));
            DbClose(db);
        }
    }
}

TEST_F(ClientDb, ADamagedEndKeepsTheRecordsBeforeIt) {
    std::vector<uint32_t> at;
    std::string clean = Build(DB_NEW_FORM, {{1, "one"}, {2, "two"}, {3, "three"}}, &at);
    std::string badMagic = clean;
    badMagic[at[2]] = 'X';
    std::string tooLong = clean;  // more than a record can hold, and than the file has
    tooLong.replace(at[2] + 8, 4, Le32(0x10009));
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<uint32_t> gids;
    } cases[] = {
        {"30 bytes of garbage after the last record", clean + std::string(30, 'g'), {3, 2, 1}},
        {"a damaged last header", badMagic, {2, 1}},
        {"a last record longer than a record can be", tooLong, {3, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetRunState();
        RecordDb* db = Open("G.IDX", c.bytes);
        ASSERT_TRUE(db);
        std::vector<uint32_t> gids;
        for (const Seen& e : Entries(db)) gids.push_back(e.gid);
        EXPECT_EQ(c.gids, gids);
        EXPECT_EQ("one", ReadAll(db, 1));
        EXPECT_LE(1, LogCount("ends in damage"));
        // The damage may hold records: nothing is cut and nothing appended after it, while a
        // record before it can still be rewritten in place.
        EXPECT_EQ(0, DbWriteText(db, 9, "new"));
        EXPECT_EQ(0, DbWriteText(db, 1, "longer"));
        EXPECT_EQ(0u, UserAbort);
        EXPECT_EQ(0, SysQuestionsAsked());
        EXPECT_EQ(1, DbWriteText(db, 1, "ONE"));
        DbClose(db);
        std::string expected = c.bytes;
        expected.replace(at[0] + 26, 3, "ONE");
        expected[at[0] + 12] = 't';
        EXPECT_EQ(expected, Get("G.IDX"));
    }
}

TEST_F(ClientDb, ReadOnlyOpenChangesNothing) {
    std::string bytes = Build(DB_NEW_FORM, {{1, "one"}, {2, "two"}});
    Put("R.IDX", bytes);
    Put("R.ind", "client index");
    // As on a read-only medium: every open for writing fails.
    SysFailCalls(SYS_FAULT_OPEN_WRITE, 1, ~0ul);
    RecordDb* db = nullptr;
    EXPECT_EQ(2, DbOpen("C:\\DB\\R.IDX", &db));
    ASSERT_EQ(0, DbOpenReadOnly("C:\\DB\\R.IDX", &db));
    EXPECT_EQ("two", ReadAll(db, 2));
    EXPECT_EQ(0, DbWriteText(db, 1, "ONE"));  // in place
    EXPECT_EQ(0, DbWriteText(db, 3, "three"));
    EXPECT_EQ(0, DbDeleteRecord(db, 1));
    EXPECT_EQ(1, DbClose(db));
    SysClearFaults();
    EXPECT_EQ(bytes, Get("R.IDX"));
    EXPECT_EQ("client index", Get("R.ind"));

    // Nor does an open that fails delete the companion.
    Put("R.IDX", "DC");
    db = reinterpret_cast<RecordDb*>(1);
    EXPECT_EQ(1, DbOpenReadOnly("C:\\DB\\R.IDX", &db));
    EXPECT_EQ(1, DbOpen("C:\\DB\\R.IDX", &db));
    EXPECT_EQ(nullptr, db);
    EXPECT_EQ("client index", Get("R.ind"));
}

TEST_F(ClientDb, DeleteAlsoMarksADamagedCopyAtTheEnd) {
    // GID 1 again at the end, claiming more than a record holds: the first copy is read, and
    // once the record is deleted neither copy comes back.
    std::string bytes = Build(DB_NEW_FORM, {{1, "one"}, {2, "two"}});
    bytes += "R2D2" + Le32(1) + Le32(0x10005) + Le16('b' | DB_FLAG_NOT_ART) +
             std::string(12, '\0') + "xy";
    RecordDb* db = Open("K.IDX", bytes);
    ASSERT_TRUE(db);
    EXPECT_EQ("one", ReadAll(db, 1));
    ASSERT_EQ(1, DbDeleteRecord(db, 1));
    DbClose(db);
    db = nullptr;
    ASSERT_EQ(0, DbOpen("C:\\DB\\K.IDX", &db));
    EXPECT_EQ("(absent)", ReadAll(db, 1));
    EXPECT_EQ("two", ReadAll(db, 2));
    DbClose(db);
}

// Eight bytes written over a live record's header, past its magic: the header still reads as
// one but claims data past the end of the file. Where a valid header follows, it is damage in
// the middle: the made-up record is left out, every intact record after it is read, and the
// open says it met damage. Only at the last record is it read as a damaged end.
TEST_F(ClientDb, ADamagedHeaderInTheMiddleHidesNoRecordAfterIt) {
    const std::vector<Rec> recs = {{1, "one"},  {2, std::string(300, '2')}, {3, "three"},
                                   {4, "four"}, {5, std::string(70, '5')},  {6, "six"}};
    for (int form : {DB_NEW_FORM, DB_OLD_FORM}) {
        for (size_t hit : {0u, 1u, 3u, 4u, 5u}) {
            SCOPED_TRACE(std::string(form == DB_NEW_FORM ? "new form" : "old form") +
                         ", header of record " + std::to_string(hit + 1));
            std::vector<uint32_t> at;
            std::string bytes = Build(form, recs, &at);
            bytes.replace(at[hit] + (form == DB_NEW_FORM ? 4 : 2), 8, "XXXXXXXX");
            RecordDb* db = Open("H.IDX", bytes);
            ASSERT_TRUE(db);
            for (size_t i = 0; i < recs.size(); i++) {
                if (i == hit) EXPECT_EQ("(absent)", ReadAll(db, recs[i].gid));
                else EXPECT_EQ(recs[i].data, ReadAll(db, recs[i].gid)) << recs[i].gid;
            }
            bool last = hit + 1 == recs.size();
            // The made-up record is shown only where nothing valid follows it.
            EXPECT_EQ(last ? 6u : 5u, DbRecordCount(db));
            EXPECT_NE(0u, db->damage);
            EXPECT_EQ(last ? 0u : 1u, DbLastResync.scans);
            DbClose(db);
        }
    }
}

// A length with bit 16 set is damage: a record holds at most 65535 bytes. Where its low 16
// bits lead to the next header (or the end of the file), the record is whole and read so;
// the records after it are read, and the open says it met damage.
TEST_F(ClientDb, ALengthAboveWhatARecordHoldsIsReadByItsLow16Bits) {
    std::vector<Rec> recs;
    for (uint32_t i = 1; i <= 41; i++) recs.push_back({i, "record " + std::to_string(i)});
    // Only the new form's header has a 32-bit length.
    for (size_t hit : {0u, 20u, 40u}) {
        SCOPED_TRACE("record " + std::to_string(hit + 1));
        std::vector<uint32_t> at;
        std::string bytes = Build(DB_NEW_FORM, recs, &at);
        bytes[at[hit] + 10] |= 1;
        RecordDb* db = Open("W.IDX", bytes);
        ASSERT_TRUE(db);
        EXPECT_EQ(41u, DbRecordCount(db));
        for (const Rec& r : recs) EXPECT_EQ(r.data, ReadAll(db, r.gid)) << r.gid;
        EXPECT_NE(0u, db->damage);
        EXPECT_EQ(1u, DbLastResync.wrongLengths);
        DbClose(db);
    }
}
