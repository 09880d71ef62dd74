// Arbitrary records in an earlier installation and in the new one's edited databases: the
// search judges the old main database and the migration carries it over. Every record the
// search and the migration read into a buffer of their own is sized by the input, so the
// sanitizers see any read or write past a buffer. Checks besides: the fatal error number is
// one of the migration's, and the old database of an in-place install is kept whenever a
// record was not carried.
//
// Input: byte 0 chooses the form of the old database (bit 0), an in-place install (bit 1),
// the network modem profile (bit 2) and raw bytes instead of records (bit 3). Then records:
// a byte choosing the database (bits 6-7: old, new, connections) and the key (bits 0-5,
// from a table of the keys the migration reads), a length byte, and that many data bytes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "clientdb/format.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/state.h"
#include "sys/sys.h"
#include "tests/fuzz/tempdir.h"

namespace {

const uint32_t KEYS[] = {
    0x14000010, 0x14000006, 0x14000011, 0x14000015, 0x1400002D, 0x1400002E,
    0x14000032, 0x14000048, 0x14000068, 0x1400006D, 0x01000001, 0x01000002,
    0x01FFFFFF, 0x00300001, 0x00300002, 0x23F1,     0x0020001D, 0x14000099,
};
const uint32_t CARRIED[] = {0x14000099, 0x01000002};

std::string g_root;

std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

struct Db {
    int form;
    uint32_t id;
    std::string bytes;
    void Start() {
        bytes = form == DB_OLD_FORM
                    ? "DC" + Le32(id) + std::string(4, '\0')
                    : std::string("KOVDB-25", 8) + '\0' + Le32(id) + std::string(12, 0);
    }
    void Add(uint32_t gid, const std::string& data, uint16_t flags) {
        uint32_t at = uint32_t(bytes.size());
        if (form == DB_OLD_FORM)
            bytes += "RE" + Le32(gid) + std::string{char(data.size()), 0} +
                     std::string{char(flags), char(flags >> 8)} + Le32(0) + Le32(0) + Le32(at);
        else
            bytes += "R2D2" + Le32(gid) + Le32(uint32_t(data.size())) +
                     std::string{char(flags), char(flags >> 8)} + Le32(0) + Le32(0) + Le32(at);
        bytes += data;
    }
};

void Put(const std::string& winPath, const std::string& bytes) {
    std::string host = g_root + "/" + winPath.substr(3);
    for (char& c : host)
        if (c == '\\') c = '/';
    FILE* f = fopen(host.c_str(), "wb");
    if (!f) __builtin_trap();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool Exists(const char* relative) {
    struct stat st;
    return stat((g_root + "/" + relative).c_str(), &st) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string tmpl = FuzzTempPath("kovfuzzmig.XXXXXX");
    g_root = mkdtemp(&tmpl[0]);
    for (const char* dir : {"/NEW", "/NEW/IDB", "/OLD", "/OLD/IDB"})
        mkdir((g_root + dir).c_str(), 0755);
    SysMapDrive('C', g_root.c_str(), 3);
    SysSetDiskGeometry('C', 8, 512, 100000, 200000);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ResetRunState();
    LogReset();
    InstallSettings.ExpectedDbKind = 255;
    InstallSettings.ExpectedDbKindCode = -1;
    InstallSettings.DbVersion[0] = 3;
    InstallSettings.CarriedRecordIds = (uint32_t*)CARRIED;
    InstallSettings.CarriedRecordCount = 2;
    SkipModem = 1;
    const bool inPlace = mode & 2;
    strcpy(InstallSettings.DestDir, "C:\\NEW");
    strcpy(InstallSettings.PreviousDir, inPlace ? "C:\\NEW" : "C:\\OLD");
    if (mode & 4) strcpy(ModemSettings.profile, "tcp.mdm");

    Db old{mode & 1 ? DB_NEW_FORM : DB_OLD_FORM, DB_ID_MAIN, ""};
    Db fresh{DB_NEW_FORM, DB_ID_MAIN, ""};
    Db connections{DB_NEW_FORM, DB_ID_EF, ""};
    old.Start();
    fresh.Start();
    connections.Start();
    fresh.Add(0x14000006, std::string("\0\3\0\0", 4), 'b');
    size_t at = 1;
    if (mode & 8) {
        old.bytes.append((const char*)data + 1, size - 1);
        at = size;
    }
    while (at + 2 <= size) {
        uint8_t which = data[at], length = data[at + 1];
        at += 2;
        std::string bytes((const char*)data + at, std::min<size_t>(length, size - at));
        at += bytes.size();
        uint32_t gid = KEYS[(which & 0x3F) % (sizeof KEYS / sizeof KEYS[0])];
        uint16_t flags = (gid >> 24) == 1 ? 'p' : ('b' | ((which & 1) ? 0x200 : 0));
        Db& target = (which >> 6) == 1 ? fresh : (which >> 6) == 2 ? connections : old;
        target.Add(gid, bytes, flags);
    }
    Put("C:\\NEW\\IDB\\MAIN.IDX", fresh.bytes);
    Put("C:\\NEW\\IDB\\CONN.IDX", connections.bytes);
    Put(inPlace ? "C:\\NEW\\IDB\\OLD.DB" : "C:\\OLD\\IDB\\MAIN.IDX", old.bytes);
    if (!inPlace) {
        ModemSettingsT settings;
        CheckCandidateFolder("C:\\OLD", &settings);
        if (strlen(settings.profile) >= sizeof settings.profile) __builtin_trap();
    }

    int result = MigrateInstallation();
    if (SetupError != 0 && SetupError != 22 && SetupError != 23 && SetupError != 24 &&
        SetupError != 25 && SetupError != 29)
        __builtin_trap();
    if (result && SetupError) __builtin_trap();
    if (inPlace && result && MigrationState.CarriedRecordsLost && !Exists("NEW/IDB/OLD.DB"))
        __builtin_trap();
    LogReset();
    // The carried list is this file's, not the script reader's: forget it before a reset.
    InstallSettings.CarriedRecordIds = nullptr;
    InstallSettings.CarriedRecordCount = 0;
    return 0;
}
