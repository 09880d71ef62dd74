// Hostile earlier installations: what a user's disk may hold where the search looks and the
// migration reads (damaged and truncated databases, user lists that lie about their sizes,
// folder loops and very deep trees, a database that is a folder, Windows-1252 names, a very
// large database, the leftovers of an install that did not finish). Each case runs the
// search, the file installation of a small package into a new folder and the migration, as
// the driver does. Each must end in a clean migration or a defined error, never a crash
// (the host tests run under ASan and UBSan), never a write into the earlier installation
// but for the downloads the migration moves, and never a carried record left behind.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/rollback.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/install_fixture.h"
#include "tests/host/migrate_fake.h"
#include "tests/host/native_dunzip.h"
#include "tests/host/zipfile.h"

using namespace migratetest;

namespace {

typedef std::map<std::string, std::string> Tree;  // relative host path -> bytes

void Walk(const std::string& dir, const std::string& rel, Tree& out, int depth = 0) {
    DIR* d = opendir(dir.c_str());
    if (!d || depth > 300) {
        if (d) closedir(d);
        return;
    }
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (e->d_type == DT_LNK) continue;  // a loop made on purpose
        if (e->d_type == DT_DIR) Walk(dir + "/" + n, rel + n + "/", out, depth + 1);
        else out[rel + n] = ReadHostFile(dir + "/" + n);
    }
    closedir(d);
}

const uint32_t kCarriedIds[] = {0x14000098, 0x14000097};

// The user's records in a sound database: carried ones (by the list, and art the package's
// database lacks) beside one the migration leaves.
std::vector<Rec> UserRecords(const std::string& name = "Jean") {
    return {Version(3, 1),
            Names({name}),
            {0x14000098, "carried record"},
            {0x14000097, std::string(3000, 'c')},
            {0x01000001, "old art", TYPE_P},
            {0x14000099, "not carried"}};
}
const std::map<uint32_t, std::string> kUserCarried = {
    {0x14000098, "carried record"}, {0x14000097, std::string(3000, 'c')}, {0x01000001, "old art"}};

struct Case {
    const char* what;
    std::function<void(EngineMachine&)> lay;  // the earlier installation and its surroundings
    const char* found;                        // the folder the search must choose ("" none)
    std::map<uint32_t, std::string> carried;  // records the new main database must hold
    unsigned error = 0;                       // the run's fatal number (0: it goes through)
    bool inPlace = false;                     // installed over the installation found
};

// A sound installation in C:\KOV with the given main database and the user's files.
void Earlier(EngineMachine& m, const std::string& db, const char* folder = "C:\\KOV") {
    std::string f = folder;
    m.Put((f + "\\WKOV.EXE").c_str(), "MZ old client");
    m.Put((f + "\\IDB\\MAIN.IDX").c_str(), db);
    m.Put((f + "\\IDB\\MAIN.IND").c_str(), "the client's index of MAIN.IDX");
    m.Put((f + "\\IDB\\USER.MAL").c_str(), "the user's mail");
    m.Put((f + "\\goto.ini").c_str(), "[goto] the user's");
    m.Put((f + "\\download\\f.txt").c_str(), "a download");
}

std::string Sound() { return DbFile(DB_NEW_FORM, DB_ID_MAIN, UserRecords()); }

struct Run {
    PlatformGuard guard;
    FakeSystem fake;
    EngineMachine m;
    std::vector<std::pair<std::string, std::string>> stored;  // name, stored bytes

    Run() {
        InstallSettingsT& is = InstallSettings;
        strcpy(is.DestDir, "C:\\Kov30I");
        strcpy(is.QuickRefFile, "quickref.txt");
        is.DbVersion[0] = 3;
        is.DbVersion[1] = 1;
        SetList(is.PreservedFiles,
                {{"IDB\\*.MAL", ""}, {"goto.ini", ""}, {"download\\*.*", "move"}});
        SetList(is.CreateDirs, {{"download", nullptr}});
        is.ExpectedDbKind = NO_DB_KIND;
        is.ExpectedDbKindCode = NO_DB_KIND_CODE;
        is.CarriedRecordCount = sizeof kCarriedIds / sizeof kCarriedIds[0];
        is.CarriedRecordIds = (uint32_t*)MemAlloc(sizeof kCarriedIds);
        memcpy(is.CarriedRecordIds, kCarriedIds, sizeof kCarriedIds);
        ResetMigrationState();
        ResetSearchState();
        LogReset();
        fake.askAnswer = 1;  // the downloads move
        fake.Install();
        m.Put("C:\\WINDOWS\\win.ini", "[windows]\r\n");
        UseNativeDunzip();
        UserAbort = 0;
        SetupError = 0;
    }
    ~Run() {
        ClosePackage();
        FreeInstallScript();
        if (InstallSettings.CarriedRecordIds) MemFree(InstallSettings.CarriedRecordIds);
        memset(&InstallSettings, 0, sizeof InstallSettings);
    }

    // The package: the library, the guide, the client and a main database of its own.
    void OpenPackage() {
        stored = {{"dunzip32.dll", "MZ library image"},
                  {"quickref.txt", "Guide\r\n"},
                  {"kov.exe", MakeZip("kov.exe", "MZ new client")},
                  {"IDB\\MAIN.IDX",
                   MakeZip("MAIN.IDX", DbFile(DB_NEW_FORM, DB_ID_MAIN, {Version(3, 0)}))}};
        std::string installed[] = {"MZ library image", "Guide\r\n", "MZ new client",
                                   DbFile(DB_NEW_FORM, DB_ID_MAIN, {Version(3, 0)})};
        std::string data = "script";
        FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + stored.size() * sizeof(void*));
        FileTable->entry = (PackageEntry**)(FileTable + 1);
        for (size_t i = 0; i < stored.size(); i++) {
            const std::string& name = stored[i].first;
            PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + name.size() + 1);
            strcpy(e->name, name.c_str());
            e->installedSize = (uint32_t)installed[i].size();
            e->storedSize = (uint32_t)stored[i].second.size();
            e->offset = (uint32_t)data.size();
            data += stored[i].second;
            FileTable->entry[FileTable->count++] = e;
            FileTable->total += e->installedSize;
        }
        m.Write("C:\\package.bin", data);
        PackageFile = SysOpen("C:\\package.bin", SYS_READ);
    }

    // The search, then the install step as the driver runs it.
    int Step(char* found, bool inPlace) {
        if (PreviousVersionSearch(found, nullptr)) strcpy(InstallSettings.PreviousDir, found);
        if (inPlace && found[0]) strcpy(InstallSettings.DestDir, found);
        OpenPackage();
        if (!InstallFiles()) return 0;
        if (MigrateInstallation()) return CommitInstall(), 1;
        RestorePreviousInstall();
        CleanUpInstall();
        return 0;
    }
};

void RunCase(const Case& c) {
    SCOPED_TRACE(c.what);
    Run run;
    c.lay(run.m);
    Tree before, after;
    Walk(run.m.Host("C:\\"), "", before);
    char found[257] = "";
    int result = run.Step(found, c.inPlace);
    std::string log = EngineMachine::Log();
    EXPECT_STREQ(found, c.found) << log;
    EXPECT_EQ(SetupError, c.error) << log;
    EXPECT_EQ(result, c.error ? 0 : 1) << log;

    // Nothing of the user's disk changed but what the run wrote in its own folder, the
    // Windows folder, the moved downloads and the run's own log. In place, every file of
    // the user's but the old program and database is still on the disk, byte for byte.
    Walk(run.m.Host("C:\\"), "", after);
    for (auto& f : before) {
        if (c.inPlace) {
            if (f.first == "KOV/WKOV.EXE" || f.first == "KOV/kov.exe" ||
                f.first == "KOV/IDB/MAIN.IND" || (f.first == "KOV/IDB/MAIN.IDX" && !c.error))
                continue;
            bool somewhere = false;
            for (auto& a : after) somewhere = somewhere || a.second == f.second;
            EXPECT_TRUE(somewhere) << "lost: " << f.first << "\n" << log;
            continue;
        }
        auto it = after.find(f.first);
        if (it != after.end() && it->second == f.second) continue;
        bool moved = f.first.find("/download/") != std::string::npos &&
                     after["Kov30I/download/" + f.first.substr(f.first.rfind('/') + 1)] == f.second;
        EXPECT_TRUE(moved) << "changed or lost: " << f.first << "\n" << log;
    }
    for (auto& f : after) {
        if (before.count(f.first) || f.first == "package.bin" || c.inPlace ||
            f.first.rfind("Kov30I/", 0) == 0 || f.first.rfind("WINDOWS/", 0) == 0)
            continue;
        ADD_FAILURE() << "written outside the new folder: " << f.first;
    }
    if (!c.error) {
        std::string newDb = std::string(InstallSettings.DestDir) + "\\IDB\\MAIN.IDX";
        std::map<uint32_t, std::string> records = LiveRecords(newDb.c_str());
        for (auto& r : c.carried) {
            auto it = records.find(r.first);
            EXPECT_TRUE(it != records.end() && it->second == r.second)
                << "record " << std::hex << r.first << " not carried\n"
                << log;
        }
    }
}

// A sound database cut at a byte count.
std::string Cut(const std::string& db, size_t keep) { return db.substr(0, keep); }

}  // namespace

TEST(HostileEarlier, DatabasesThatLie) {
    const std::string sound = Sound();
    // Where the third record (the first carried one) starts: cut in its middle.
    std::vector<Rec> recs = UserRecords();
    size_t third = DbFile(DB_NEW_FORM, DB_ID_MAIN, {recs[0], recs[1]}).size();
    std::map<uint32_t, std::string> none;
    Case cases[] = {
        {"sound", [&](EngineMachine& m) { Earlier(m, sound); }, "C:\\KOV", kUserCarried},
        {"garbage after a good header",
         [&](EngineMachine& m) {
             std::string db = sound.substr(0, 25);
             for (unsigned i = 0, seed = 3; i < 4000; i++) {
                 seed = seed * 1103515245 + 12345;
                 db += (char)(seed >> 16);
             }
             Earlier(m, db);
         },
         "", none},
        {"cut inside the first carried record",
         [&](EngineMachine& m) { Earlier(m, Cut(sound, third + 10)); }, "C:\\KOV", none},
        {"cut inside the last record's header",
         [&](EngineMachine& m) { Earlier(m, Cut(sound, sound.size() - 11 - 20)); },
         "C:\\KOV",
         {{0x14000098, "carried record"}, {0x01000001, "old art"}}},
        {"only a header", [&](EngineMachine& m) { Earlier(m, Cut(sound, 25)); }, "", none},
        {"empty file", [&](EngineMachine& m) { Earlier(m, ""); }, "", none},
        {"the database is a folder",
         [&](EngineMachine& m) {
             Earlier(m, sound);
             unlink(m.Host("C:\\KOV\\IDB\\MAIN.IDX").c_str());
             m.Dir("C:\\KOV\\IDB\\MAIN.IDX");
         },
         "", none},
        // The user list says 200 names and holds one (more than a list can hold: not an
        // installation in use); one says nothing at all; one is 60,000 bytes long.
        {"user list counts more names than it holds",
         [&](EngineMachine& m) {
             std::vector<Rec> r = UserRecords();
             r[1].data[0] = (char)200;
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, r));
         },
         "", none},
        {"user list of no bytes",
         [&](EngineMachine& m) {
             std::vector<Rec> r = UserRecords();
             r[1].data.clear();
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, r));
         },
         "C:\\KOV", kUserCarried},
        {"user list of 60,000 bytes",
         [&](EngineMachine& m) {
             std::vector<Rec> r = UserRecords();
             r[1].data.resize(60000, 'x');
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, r));
         },
         "C:\\KOV", kUserCarried},
        // A record header whose size runs past the end of the file.
        {"record size past the end",
         [&](EngineMachine& m) {
             std::string db = sound;
             db[third + 8] = (char)0xFF;
             db[third + 9] = (char)0xFF;
             Earlier(m, db);
         },
         "C:\\KOV", none},
        {"old form, cut in a header",
         [&](EngineMachine& m) {
             std::string db = DbFile(DB_OLD_FORM, DB_ID_MAIN, UserRecords());
             Earlier(m, db + "RE\x98\x00");
         },
         "C:\\KOV", kUserCarried},
    };
    for (const Case& c : cases) RunCase(c);
}

TEST(HostileEarlier, TreesAndNames) {
    const std::string sound = Sound();
    std::map<uint32_t, std::string> none;
    Case cases[] = {
        // A link from deep inside the disk back to its root: the walk sees it leads to a
        // folder above it and still finds the installation beside it.
        {"folder loop on the search path",
         [&](EngineMachine& m) {
             m.Dir("C:\\A\\B");
             if (symlink(m.Host("C:\\").c_str(), m.Host("C:\\A\\B\\loop").c_str()) != 0) {}
             if (symlink(m.Host("C:\\A").c_str(), m.Host("C:\\A\\B\\up").c_str()) != 0) {}
             Earlier(m, sound, "C:\\Z\\KOV");
         },
         "C:\\Z\\KOV", kUserCarried},
        // Folders nested past every path limit before the installation's own branch.
        {"very deep tree",
         [&](EngineMachine& m) {
             std::string p = "C:\\A";
             for (int i = 0; i < 140; i++) p += "\\d";
             m.Dir(p.c_str());
             std::string wide = "C:\\A";
             for (int i = 0; i < 20; i++) wide += "\\" + std::string(60, 'w');
             m.Dir(wide.c_str());
             Earlier(m, sound, "C:\\Z\\KOV");
         },
         "C:\\Z\\KOV", kUserCarried},
        // Windows-1252 in the folder, the user list and the preserved files' names.
        {"high-bit names",
         [&](EngineMachine& m) {
             std::vector<Rec> r = UserRecords("Invit\xE9");
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, r), "C:\\\xC9t\xE9\\KOV");
             m.Put("C:\\\xC9t\xE9\\KOV\\IDB\\No\xEBl.MAL", "\xA9 the user's other mail");
             m.Put("C:\\\xC9t\xE9\\KOV\\download\\r\xE9sum\xE9.txt", "r\xE9sum\xE9");
         },
         "C:\\\xC9t\xE9\\KOV", kUserCarried},
        // An in-place install that ended after it moved the user's database aside: the
        // package's own database (no users) beside the user's OLD.DB. A later run into a new
        // folder must carry the user's records from OLD.DB.
        {"unfinished in-place install, migrated into a new folder",
         [&](EngineMachine& m) {
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, {Version(3, 0)}));
             m.Put("C:\\KOV\\IDB\\OLD.DB", sound);
         },
         "C:\\KOV", kUserCarried},
        {"unfinished in-place install, OLD.DB damaged",
         [&](EngineMachine& m) {
             Earlier(m, DbFile(DB_NEW_FORM, DB_ID_MAIN, {Version(3, 0)}));
             m.Put("C:\\KOV\\IDB\\OLD.DB", sound.substr(0, 30) + std::string(500, '\xFF'));
         },
         "", none},
    };
    for (const Case& c : cases) RunCase(c);
}

TEST(HostileEarlier, ReadOnlyFiles) {
    const std::string sound = Sound();
    std::map<uint32_t, std::string> none;
    auto readOnly = [](EngineMachine& m, std::vector<const char*> paths) {
        for (const char* p : paths) chmod(m.Host(p).c_str(), 0444);
    };
    Case cases[] = {
        // Copied, the copies read-only as the originals; a download that cannot be deleted
        // after its copy stays where it was.
        {"preserved files read-only, into a new folder",
         [&](EngineMachine& m) {
             Earlier(m, sound);
             readOnly(m, {"C:\\KOV\\IDB\\USER.MAL", "C:\\KOV\\goto.ini", "C:\\KOV\\download\\f.txt",
                          "C:\\KOV\\IDB\\MAIN.IDX"});
         },
         "C:\\KOV", kUserCarried},
        // In place the old database is renamed and read; it cannot be deleted, so it stays.
        {"database and preserved files read-only, in place",
         [&](EngineMachine& m) {
             Earlier(m, sound);
             readOnly(m, {"C:\\KOV\\IDB\\USER.MAL", "C:\\KOV\\goto.ini", "C:\\KOV\\IDB\\MAIN.IDX"});
         },
         "C:\\KOV", kUserCarried, 0, true},
    };
    for (const Case& c : cases) RunCase(c);
}

TEST(HostileEarlier, HugeDatabase) {
    // 30,000 art records beside the user list: every one is carried.
    std::vector<Rec> r = UserRecords();
    std::map<uint32_t, std::string> carried = kUserCarried;
    for (uint32_t i = 0; i < 30000; i++) {
        uint32_t gid = 0x01100000 + i;
        std::string data = "art " + std::to_string(i);
        r.push_back({gid, data, TYPE_P});
        carried[gid] = data;
    }
    std::string db = DbFile(DB_NEW_FORM, DB_ID_MAIN, r);
    RunCase({"30,000 records", [&](EngineMachine& m) { Earlier(m, db); }, "C:\\KOV", carried});
}

namespace {

// The TEST bodies' own Run is the test's method.
using EarlierRun = Run;

// One in-place install over C:\KOV, the folder given as an answer file or the folder review
// gives it (the search is not asked): the files, the migration, the restore after a failure.
int InPlaceStep(EarlierRun& run, std::vector<uint32_t> carried = {kCarriedIds[0], kCarriedIds[1]}) {
    ClosePackage();  // which forgets the carried records: the script is read again
    InstallSettings.CarriedRecordCount = (uint16_t)carried.size();
    InstallSettings.CarriedRecordIds = (uint32_t*)MemAlloc(carried.size() * sizeof(uint32_t));
    memcpy(InstallSettings.CarriedRecordIds, carried.data(), carried.size() * sizeof(uint32_t));
    MigrationState.MoveOldDownloads = 0;
    strcpy(InstallSettings.PreviousDir, "C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    ResetMigrationState();
    ResetSearchState();
    UserAbort = 0;
    SetupError = 0;
    run.OpenPackage();
    if (!InstallFiles()) return 0;
    if (MigrateInstallation()) return CommitInstall(), 1;
    RestorePreviousInstall();
    CleanUpInstall();
    return 0;
}

// Writes the user's newest data into the client's database, as the client would.
void ClientWrites(const char* path, uint32_t gid, const char* text) {
    RecordDb* db = nullptr;
    ASSERT_EQ(0, DbOpen(path, &db)) << EngineMachine::Log();
    ASSERT_EQ(1, DbWriteText(db, gid, text));
    DbClose(db);
}

}  // namespace

// An OLD.DB that an in-place install left behind (it could not be deleted, or it held records
// that were not carried) never takes the place of the database the user has written to
// since: whatever the folder's listing order, whether the user list is carried or not, and
// whether the database is read-only.
TEST(HostileEarlier, ALeftoverOldDbNeverReplacesTheCurrentDatabase) {
    const uint32_t kCurrent = 0x14000098;
    for (int order : {SYS_LIST_BY_NAME, SYS_LIST_BY_NAME_REVERSED}) {
        for (bool names : {false, true}) {
            for (bool readOnly : {true, false}) {
                SCOPED_TRACE(
                    std::string(order == SYS_LIST_BY_NAME ? "listed by name" : "reversed") +
                    (names ? ", user list carried" : ", no user list carried") +
                    (readOnly ? ", read-only" : ""));
                EarlierRun run;
                SysSetListingOrder(order);
                Earlier(run.m, Sound());
                std::vector<uint32_t> carried = {kCarriedIds[0], kCarriedIds[1]};
                if (names) carried.push_back(GID_USER_NAMES);
                if (readOnly) chmod(run.m.Host("C:\\KOV\\IDB\\MAIN.IDX").c_str(), 0444);
                ASSERT_EQ(1, InPlaceStep(run, carried)) << EngineMachine::Log();
                EXPECT_EQ(readOnly, run.m.Exists("C:\\KOV\\IDB\\OLD.DB"));

                ClientWrites("C:\\KOV\\IDB\\MAIN.IDX", kCurrent, "CURRENT data");
                ASSERT_EQ(1, InPlaceStep(run, carried)) << EngineMachine::Log();
                std::map<uint32_t, std::string> records = LiveRecords("C:\\KOV\\IDB\\MAIN.IDX");
                EXPECT_EQ("CURRENT data", records[kCurrent]) << EngineMachine::Log();
                // The leftover is kept, never deleted.
                if (readOnly)
                    EXPECT_EQ(Sound(), run.m.Read("C:\\KOV\\IDB\\OLD1.DB")) << EngineMachine::Log();
            }
        }
    }
    SysSetListingOrder(SYS_LIST_AS_STORED);
}

// A migration that fails in place gives the earlier installation back: its main database
// under its own name and the renamed preserved files, so that the next run finds it and
// carries every record. The package is the test's own (kov.exe and a main database).
TEST(HostileEarlier, AFailedInPlaceMigrationGivesTheInstallationBack) {
    const struct {
        const char* what;
        void (*spoil)(EarlierRun& run);
        unsigned error;
    } cases[] = {
        {"disk full at the migration's first write, cancelled",
         [](EarlierRun&) { SysSetDiskGeometry('C', 8, 512, 0, 1000000); }, 0},
        {"the package's database has no version record",
         [](EarlierRun& run) {
             run.m.Put("C:\\KOV\\IDB\\MAIN.IDX", DbFile(DB_NEW_FORM, DB_ID_MAIN, {Names({"x"})}));
         },
         FATAL_DB_NO_VERSION},
        {"the package's database cannot be opened",
         [](EarlierRun& run) { run.m.Put("C:\\KOV\\IDB\\MAIN.IDX", "not a database"); },
         FATAL_DB_OPEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EarlierRun run;
        Earlier(run.m, Sound());
        run.m.Put("C:\\KOV\\mpm\\modem.ini", "[modem] the user's");
        TextList& list = InstallSettings.PreservedFiles;
        for (uint16_t i = 0; i < list.count; i++) {
            MemFree(list.a[i]);
            MemFree(list.b[i]);
        }
        MemFree(list.a);
        MemFree(list.b);
        SetList(InstallSettings.PreservedFiles,
                {{"IDB\\*.MAL", ""}, {"goto.ini", ""}, {"mpm\\modem.ini", "*.old"}});
        strcpy(InstallSettings.PreviousDir, "C:\\KOV");
        strcpy(InstallSettings.DestDir, "C:\\KOV");
        run.OpenPackage();
        ASSERT_EQ(1, InstallFiles()) << EngineMachine::Log();
        c.spoil(run);
        EXPECT_EQ(0, MigrateInstallation());
        EXPECT_EQ(c.error, SetupError);
        RestorePreviousInstall();
        CleanUpInstall();
        SysSetDiskGeometry('C', 8, 512, 1000000, 1000000);
        std::string log = EngineMachine::Log();
        EXPECT_EQ(Sound(), run.m.Read("C:\\KOV\\IDB\\MAIN.IDX")) << log;
        EXPECT_EQ("[modem] the user's", run.m.Read("C:\\KOV\\mpm\\modem.ini")) << log;
        EXPECT_FALSE(run.m.Exists("C:\\KOV\\IDB\\OLD.DB"));
        EXPECT_FALSE(run.m.Exists("C:\\KOV\\mpm\\modem.old"));
        EXPECT_FALSE(run.m.Exists("C:\\KOV\\kov.exe"));

        // The next run finds the installation and carries every record.
        ResetSearchState();
        char found[257] = "";
        EXPECT_TRUE(PreviousVersionSearch(found, nullptr)) << log;
        EXPECT_STREQ("C:\\KOV", found);
        ASSERT_EQ(1, InPlaceStep(run)) << EngineMachine::Log();
        std::map<uint32_t, std::string> records = LiveRecords("C:\\KOV\\IDB\\MAIN.IDX");
        for (auto& r : kUserCarried) EXPECT_EQ(r.second, records[r.first]) << std::hex << r.first;
    }
}

// A damaged old database in place: a header overwritten in the middle, a length with bit 16
// set, a length with a low bit flipped. The migration carries every record the open could
// read, and OLD.DB, which may hold more, is never deleted: the log says why it stays.
TEST(HostileEarlier, ADamagedOldDatabaseIsCarriedAndKept) {
    std::vector<Rec> records = {Version(3, 1), Names({"Jean"})};
    std::vector<uint32_t> carried;
    for (uint32_t i = 0; i < 40; i++) {
        records.push_back({0x14000200 + i, "carried " + std::to_string(i)});
        carried.push_back(0x14000200 + i);
    }
    const std::string sound = DbFile(DB_NEW_FORM, DB_ID_MAIN, records);
    auto headerOf = [&](uint32_t gid) { return sound.find("R2D2" + migratetest::Le32(gid)); };
    const struct {
        const char* what;
        size_t at;
        std::string bytes;
        int lost;  // carried records not in the new database; -1 when not told
    } cases[] = {
        {"eight bytes over a header in the middle", headerOf(0x14000210) + 4, "XXXXXXXX", 1},
        {"a length with bit 16 set", headerOf(0x14000205) + 10, std::string(1, '\x01'), 0},
        {"a length with bit 10 flipped", headerOf(0x14000205) + 9, std::string(1, '\x04'), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EarlierRun run;
        std::string damaged = sound;
        for (size_t i = 0; i < c.bytes.size(); i++) {
            if (c.bytes.size() == 1) damaged[c.at] = char(damaged[c.at] ^ c.bytes[0]);
            else damaged[c.at + i] = c.bytes[i];
        }
        Earlier(run.m, damaged);
        ASSERT_EQ(1, InPlaceStep(run, carried)) << EngineMachine::Log();
        std::string log = EngineMachine::Log();
        std::map<uint32_t, std::string> now = LiveRecords("C:\\KOV\\IDB\\MAIN.IDX");
        int missing = 0;
        for (size_t i = 2; i < records.size(); i++)
            if (now[records[i].gid] != records[i].data) missing++;
        if (c.lost >= 0) EXPECT_EQ(c.lost, missing) << log;
        EXPECT_EQ(damaged, run.m.Read("C:\\KOV\\IDB\\OLD.DB")) << log;
        EXPECT_NE(std::string::npos, log.find("Keeping C:\\KOV\\IDB\\OLD.DB: it is damaged"))
            << log;
    }
}
