// Arbitrary bytes as a record database: as given, behind an old-form and a new-form file
// header, and embedded in a package. Every record of an opened file is read; then one record
// is written and must read back the same, also after the file is opened again when its chain
// of records was sound, and every other record must read as it did before the write.
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/mem.h"
#include "sys/sys.h"
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <map>
#include <string>

namespace {

char g_path[64];

void WriteFile(const std::string& bytes) {
    FILE* f = fopen(g_path, "wb");
    if (!f) __builtin_trap();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
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

// Every record readable before a write, by GID.
std::map<uint32_t, std::string> g_before;
int Remember(RecordDb* db, uint32_t gid, uint16_t) {
    uint16_t n = 0;
    char* data = static_cast<char*>(DbReadRecord(db, gid, nullptr, &n));
    if (data) g_before[gid] = std::string(data, n);
    MemFree(data);
    return 1;
}

void Check(RecordDb* db, uint32_t gid, const std::string& value) {
    uint16_t n = 0;
    char* data = static_cast<char*>(DbReadRecord(db, gid, nullptr, &n));
    if (!data || std::string(data, n) != value) __builtin_trap();
    MemFree(data);
}

void OpenAndWrite(const std::string& bytes, const uint8_t* tail, size_t tailSize) {
    WriteFile(bytes);
    RecordDb* db = nullptr;
    if (DbOpen(g_path, &db) != 0) return;
    // Where the recovery scan had to guess, bytes added at the end may change its guess; a
    // sound chain must keep every record written to it.
    int sound = DbLastResync.scans == 0;
    DbForEachRecord(db, ReadEvery);
    g_before.clear();
    DbForEachRecord(db, Remember);

    // Rewrite the newest record (in place or appended, by the length) or add one.
    uint32_t gid = db->entries ? db->entries->header.gid : 0x14000011u;
    std::string value(reinterpret_cast<const char*>(tail), tailSize < 40 ? tailSize : 40);
    if (db->entries && tailSize & 1) value.resize(db->entries->header.length & 0xFFFF, 'x');
    int ok = DbWriteRecord(db, gid, value.data(), uint16_t(value.size()), 0);
    if (ok) Check(db, gid, value);
    DbClose(db);
    if (!ok) return;

    db = nullptr;
    int status = DbOpen(g_path, &db);
    if (sound && status != 0) __builtin_trap();
    if (status != 0) return;
    if (sound) {
        // A write changes its own record only.
        Check(db, gid, value);
        for (const auto& r : g_before)
            if (r.first != gid) Check(db, r.first, r.second);
    }
    DbForEachRecord(db, ReadEvery);
    DbClose(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!g_path[0]) snprintf(g_path, sizeof g_path, "/tmp/fuzz_clientdb_%d.idx", int(getpid()));
    std::string raw(reinterpret_cast<const char*>(data), size);
    size_t half = size / 2;

    OpenAndWrite(raw, data + half, size - half);
    OpenAndWrite(std::string("DC\x01\x04\0\x01\0\0\0\0", 10) + raw, data, half);
    OpenAndWrite(std::string("KOVDB-25\0\x01\x04\0\x01", 13) + std::string(12, '\0') + raw, data,
                 half);

    // Embedded: the first four bytes place the database inside the rest.
    if (size >= 4) {
        std::string package = raw.substr(4);
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
