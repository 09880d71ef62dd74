// Arbitrary bytes as a record database: as given, behind an old-form and a new-form file
// header, and embedded in a package. The first bytes drive a short program of writes and
// deletes, each run with a read, write, seek, open or truncate failure injected at the seam
// (and a retry or a cancel as the user's answer). After every operation, whatever failed,
// every other record reads exactly as before and the one written or deleted reads its old or
// its new value (or is absent after a delete): at once, and after the file is opened again
// when its chain of records was sound.
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/mem.h"
#include "sys/sys.h"
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>
#include "tests/fuzz/tempdir.h"

namespace {

char g_path[512];

void WriteFile(const std::string& bytes) {
    FILE* f = fopen(g_path, "wb");
    if (!f) __builtin_trap();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string ReadFile() {
    std::string out;
    FILE* f = fopen(g_path, "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

int ReadEvery(RecordDb* db, uint32_t gid, uint16_t length) {
    uint16_t n = 0;
    void* data = DbReadRecord(db, gid, nullptr, &n);
    if (data) {
        if (n != length) __builtin_trap();
        MemFree(data);
    }
    char small[8];
    DbReadRecordBounded(db, gid, small, sizeof small, &n);
    char text[32];
    if (DbReadText(db, gid, text, sizeof text) && strlen(text) > length) __builtin_trap();
    DbReadNumber(db, gid);
    return 1;
}

std::vector<uint32_t> g_gids;
int CollectGid(RecordDb*, uint32_t gid, uint16_t) {
    g_gids.push_back(gid);
    return 1;
}

// What the database holds now, by GID: every record that reads, leaving out the ones marked
// deleted (which read their old data until the close).
typedef std::map<uint32_t, std::string> Contents;
Contents Snapshot(RecordDb* db) {
    Contents out;
    g_gids.clear();
    DbForEachRecord(db, CollectGid);
    for (uint32_t gid : g_gids) {
        RecordIndexEntry* e = DbFindEntry(db, gid);
        if (!e || (e->header.flags & DB_FLAG_DELETED)) continue;
        uint16_t n = 0;
        char* data = static_cast<char*>(DbReadRecord(db, gid, nullptr, &n));
        if (data) out[gid] = std::string(data, n);
        MemFree(data);
    }
    return out;
}

// The same contents except for gid, which holds want (absent when want is null).
void Expect(const Contents& now, const Contents& before, uint32_t gid, const std::string* want) {
    Contents expected = before;
    expected.erase(gid);
    if (want) expected[gid] = *want;
    if (now != expected) __builtin_trap();
}

struct Program {
    const uint8_t* p;
    size_t n;
    uint8_t Next() {
        if (!n) return 0;
        n--;
        return *p++;
    }
};

const int kFaultKinds[] = {SYS_FAULT_READ,       SYS_FAULT_WRITE,    SYS_FAULT_SEEK,
                           SYS_FAULT_OPEN_WRITE, SYS_FAULT_TRUNCATE, SYS_FAULT_WRITE};

void InjectFault(Program& prog) {
    uint8_t f = prog.Next();
    int kind = kFaultKinds[(f & 0x7F) % 6];
    unsigned long nth = 1 + prog.Next() % 8;
    SysFailCalls(kind, nth, f & 0x80 ? ~0ul : 1);
    // The user's answer to a failed write: retry once, or cancel.
    int retry = SYS_ID_RETRY;
    SysQueueAnswers(&retry, prog.Next() & 1);
}

void Exercise(const std::string& bytes, Program prog) {
    WriteFile(bytes);
    RecordDb* db = nullptr;
    int status = DbOpen(g_path, &db);
    if (status != 0) return;
    DbForEachRecord(db, ReadEvery);
    Contents clean = Snapshot(db);
    // Where the recovery scan had to guess, bytes added at the end may change its guess; a
    // sound chain reads the same after every operation.
    int sound = DbLastResync.scans == 0;
    DbClose(db);

    // A failure while the index is built fails the open and changes nothing.
    InjectFault(prog);
    db = nullptr;
    status = DbOpen(g_path, &db);
    SysClearFaults();
    if (status != 0) {
        if (db || ReadFile() != bytes) __builtin_trap();
        if (DbOpen(g_path, &db) != 0) __builtin_trap();
    }
    if (Snapshot(db) != clean) __builtin_trap();

    for (int step = 0; step < 4 && prog.n; step++) {
        uint8_t op = prog.Next();
        g_gids.clear();
        DbForEachRecord(db, CollectGid);
        uint32_t gid = !g_gids.empty() && (op & 0x10) ? g_gids[prog.Next() % g_gids.size()]
                                                      : 0x14000000u + (op >> 5);
        Contents before = Snapshot(db);
        std::string value;
        int del = (op & 3) == 3;
        if (!del) {
            // Same length as the record (rewritten in place) or a length of its own.
            size_t length = (op & 3) == 0 ? DbRecordLength(db, gid) : prog.Next() % 48;
            for (size_t i = 0; i < length; i++) value += char(prog.Next() | 1);
        }
        InjectFault(prog);
        int ok = del ? DbDeleteRecord(db, gid)
                     : DbWriteRecord(db, gid, value.data(), uint16_t(value.size()), 0);
        SysClearFaults();
        SysQueueAnswers(nullptr, 0);

        auto old = before.find(gid);
        const std::string* kept = old == before.end() ? nullptr : &old->second;
        Contents now = Snapshot(db);
        Expect(now, before, gid, ok ? (del ? nullptr : &value) : kept);
        DbForEachRecord(db, ReadEvery);

        // A read that meets a failure gives nothing rather than wrong bytes.
        InjectFault(prog);
        for (const auto& r : now) {
            uint16_t n = 0;
            char* data = static_cast<char*>(DbReadRecord(db, r.first, nullptr, &n));
            if (data && std::string(data, n) != r.second) __builtin_trap();
            MemFree(data);
        }
        SysClearFaults();
        SysQueueAnswers(nullptr, 0);
        if (!sound) continue;

        DbClose(db);
        db = nullptr;
        if (DbOpen(g_path, &db) != 0) __builtin_trap();
        if (Snapshot(db) != now) __builtin_trap();
    }
    DbClose(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!g_path[0])
        snprintf(g_path, sizeof g_path, "%s_%d.idx", FuzzTempPath("fuzz_clientdb").c_str(),
                 int(getpid()));
    // The program's bytes come first; the rest is the file.
    size_t programSize = size < 24 ? size / 2 : 24;
    Program prog = {data, programSize};
    std::string raw(reinterpret_cast<const char*>(data) + programSize, size - programSize);

    Exercise(raw, prog);
    Exercise(std::string("DC\x01\x04\0\x01\0\0\0\0", 10) + raw, prog);
    Exercise(std::string("KOVDB-25\0\x01\x04\0\x01", 13) + std::string(12, '\0') + raw, prog);

    // Embedded: the first four bytes place the database inside the rest.
    if (size >= 4) {
        std::string package(reinterpret_cast<const char*>(data) + 4, size - 4);
        uint32_t start = uint32_t(data[0] | data[1] << 8) % (package.size() + 1);
        uint32_t length = uint32_t(data[2] | data[3] << 8);
        WriteFile(package);
        SysFile f = SysOpen(g_path, SYS_READ);
        if (f) {
            RecordDb* db = nullptr;
            if (DbOpenEmbedded("fuzz", &db, start, length, f) == 0) {
                DbForEachRecord(db, ReadEvery);
                if (DbWriteRecord(db, 1, "x", 1, 0)) __builtin_trap();
                DbRelease(db);
            }
            SysClose(f);
        }
    }
    unlink(g_path);
    return 0;
}
