// Destination preparation and clean-up: a fresh folder, an in-place install (old database
// moved aside, tool modules kept or deleted, preserved files renamed) and its undo after an
// interrupted install, obsolete files, the two file queries, and which names count as
// preserved files.
#include <gtest/gtest.h>

#include "base/path.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "install/space.h"
#include "install/state.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "record/installrec.h"
#include "tests/dbfile.h"
#include "tests/host/install_fixture.h"

namespace {

TEST(Destination, PreservedFilePatterns) {
    EngineMachine m;
    SetList(InstallSettings.PreservedFiles, {{"idb\\*.mal", ""},
                                             {"goto.ini", ""},
                                             {"organize\\*.*", ""},
                                             {"idb\\*.idx", "*.old"},
                                             {"mpm\\modem.*", nullptr}});
    struct Case {
        const char* name;
        int preserved;
    } cases[] = {
        {"IDB\\MAIN.MAL", 1},  {"idb\\x.mal", 1},      {"IDB\\SUB\\X.MAL", 0},
        {"idb\\main.idx", 0},  // its pattern has an action
        {"goto.ini", 1},       {"GOTO.INI", 1},        {"sub\\goto.ini", 0},
        {"goto.txt", 0},       {"organize\\a.fld", 1}, {"organize\\noext", 1},
        {"mpm\\modem.ini", 1}, {"mpm\\modems.ini", 0}, {"", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.preserved, IsPreservedFile(c.name)) << c.name;
}

TEST(Destination, FreshInstallMakesOnlyTheFolders) {
    EngineMachine m;
    strcpy(InstallSettings.PreviousDir, "C:\\OLD");
    strcpy(InstallSettings.DestDir, "C:\\KOV30I");
    SetList(
        InstallSettings.CreateDirs,
        {{"download", nullptr}, {"spool", nullptr}, {"organize", nullptr}, {"..\\up", nullptr}});
    SetList(InstallSettings.PreservedFiles, {{"goto.ini", "goto.sav"}});
    m.Put("C:\\OLD\\goto.ini", "g");
    PrepareDestination();
    EXPECT_EQ(0u, InstallState.OverwriteInPlace);
    for (const char* d : {"C:\\KOV30I\\download", "C:\\KOV30I\\spool", "C:\\KOV30I\\organize"})
        EXPECT_TRUE(m.Exists(d)) << d;
    EXPECT_FALSE(m.Exists("C:\\up"));  // a folder name may not leave the destination
    EXPECT_TRUE(m.Logged("Preparing dest dir"));
    EXPECT_FALSE(m.Logged("Preparing for overwrite"));
    EXPECT_EQ("g", m.Read("C:\\OLD\\goto.ini"));  // no transfer here
}

// The record of a fresh install names the folders made (not those that were there) and the
// user's data folders; an in-place install made no destination folder.
TEST(Destination, RecordOfTheFoldersAndTheUserData) {
    for (int inPlace = 0; inPlace < 2; inPlace++) {
        EngineMachine m;
        strcpy(InstallSettings.DestDir, "C:\\KOV30I");
        SetList(InstallSettings.CreateDirs, {{"download", nullptr}, {"spool", nullptr}});
        if (inPlace) m.Put("C:\\KOV30I\\spool\\X.TXT", "x");
        PrepareDestination();
        ASSERT_TRUE(FinishInstallRecord());
        InstallRecord record;
        ASSERT_TRUE(ReadInstallRecord("C:\\KOV30I\\" INSTALL_RECORD_NAME, &record));
        std::string lines;
        for (int i = 0; i < record.count; i++)
            lines += std::string(InstallItemName(record.items[i].kind)) + " " +
                     record.items[i].field[0] + "\n";
        FreeInstallRecord(&record);
        EXPECT_EQ(lines, std::string("DEST C:\\KOV30I\n") +
                             (inPlace ? "DIR C:\\KOV30I\\download\n"
                                      : "DIR C:\\KOV30I\nDIR C:\\KOV30I\\download\n"
                                        "DIR C:\\KOV30I\\spool\n") +
                             "DATA C:\\KOV30I\\IDB\n"
                             "DATA C:\\KOV30I\\DOWNLOAD\n"
                             "DATA C:\\KOV30I\\ORGANIZE\n"
                             "FILE C:\\KOV30I\\setup.log\n")
            << (inPlace ? "in place" : "fresh");
    }
}

// An in-place install on a drive without room to keep the earlier files until the end: it
// overwrites them as the setup always did (the journal's own cases are in rollback_test).
struct InPlace : EngineMachine {
    std::string mainDb;
    InPlace(uint8_t dbMajor) {
        // 8 MB free, 64 MB asked for beside the package: room for the database, none for both.
        SysSetDiskGeometry('C', 8, 512, 2000, 1000000);
        InstallSettings.ExtraSpaceKb = 0xFFFF;
        strcpy(InstallSettings.PreviousDir, "C:\\KOV");
        strcpy(InstallSettings.DestDir, "C:\\KOV");
        InstallSettings.DbVersion[0] = dbMajor;
        InstallSettings.DbVersion[1] = 1;
        MakeMainDb(*this, "C:\\KOV\\IDB\\MAIN.IDX", 3, 1);
        mainDb = Read("C:\\KOV\\IDB\\MAIN.IDX");
        Put("C:\\KOV\\IDB\\OLD.DB", "left from an earlier run");
        Put("C:\\KOV\\IDB\\USER.MAL", "mail");
        Put("C:\\KOV\\goto.ini", "user's goto");
        Put("C:\\KOV\\TOOL\\A.KOV", TestPe(true, 0x00030000, 0));           // 3.0.0.0
        Put("C:\\KOV\\TOOL\\B.KOV", TestPe(true, 0x00020009, 0x00090009));  // 2.9.9.9
        Put("C:\\KOV\\TOOL\\C.KOV", TestPe(true, 0x00090000, 0));           // no record
        AddTool("A.KOV", 0x03000000);
        AddTool("B.KOV", 0x03000000);
        SetList(InstallSettings.PreservedFiles, {{"goto.ini", ""}, {"IDB\\*.MAL", "*.old"}});
    }
};

TEST(Destination, InPlaceToolModules) {
    struct Case {
        uint8_t dbMajor;
        bool keepA;
        bool deletesFail;  // after the old copy of OLD.DB, as for files held open
    } cases[] = {{3, true, false}, {4, false, false}, {3, true, true}};
    for (const Case& c : cases) {
        InPlace m(c.dbMajor);
        if (c.deletesFail) SysFailCalls(SYS_FAULT_DELETE, 2, ~0ul);
        PrepareDestination();
        SysClearFaults();
        EXPECT_EQ(1u, InstallState.OverwriteInPlace);
        EXPECT_EQ(c.keepA, m.Exists("C:\\KOV\\TOOL\\A.KOV")) << int(c.dbMajor);
        EXPECT_EQ(c.keepA, InstallSettings.ToolModules[0].kept != 0) << int(c.dbMajor);
        EXPECT_EQ(c.deletesFail, m.Exists("C:\\KOV\\TOOL\\B.KOV")) << int(c.dbMajor);
        EXPECT_EQ(c.deletesFail, m.Exists("C:\\KOV\\TOOL\\C.KOV")) << int(c.dbMajor);
        EXPECT_EQ(0u, InstallSettings.ToolModules[1].kept);
        // The log says what the folder holds.
        for (const char* f :
             {"C:\\KOV\\TOOL\\A.KOV", "C:\\KOV\\TOOL\\B.KOV", "C:\\KOV\\TOOL\\C.KOV"}) {
            EXPECT_NE(m.Exists(f), m.Logged(std::string("Deleted tool module ") + f)) << f;
            bool kept = c.keepA && strstr(f, "A.KOV");
            EXPECT_EQ(m.Exists(f) && !kept,
                      m.Logged(std::string("Could not delete tool module ") + f))
                << f;
        }
    }
}

// Prepared in place, the package partly written, then the install is interrupted: the
// clean-up removes the package's files and the restore gives the user's files back.
TEST(Destination, InterruptedInPlaceInstallGivesTheUserDataBack) {
    InPlace m(3);
    PrepareDestination();
    EXPECT_TRUE(m.Logged("Preparing for overwrite"));
    EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\OLD.DB"));  // the stale copy gave way
    EXPECT_FALSE(m.Exists("C:\\KOV\\IDB\\MAIN.IDX"));
    EXPECT_EQ(3, InstallState.PreviousDbVersion[0]);
    EXPECT_EQ(1, InstallState.PreviousDbVersion[1]);
    EXPECT_EQ("mail", m.Read("C:\\KOV\\IDB\\USER.old"));

    EntryTable table{{"dunzip32.dll", 10},
                     {"IDB\\MAIN.IDX", 10},
                     {"goto.ini", 10},
                     {"SYSTEM\\PPPMAC.VXD", 10},
                     {"KOV.EXE", 10}};
    for (const char* f : {"C:\\KOV\\dunzip32.dll", "C:\\KOV\\IDB\\MAIN.IDX", "C:\\KOV\\PPPMAC.VXD"})
        m.Put(f, "package");

    CleanUpInstall();
    for (const char* f : {"C:\\KOV\\dunzip32.dll", "C:\\KOV\\IDB\\MAIN.IDX", "C:\\KOV\\PPPMAC.VXD"})
        EXPECT_FALSE(m.Exists(f)) << f;
    EXPECT_EQ("user's goto", m.Read("C:\\KOV\\goto.ini"));  // preserved in place
    EXPECT_TRUE(m.Logged("Cleaning up"));

    RestorePreviousInstall();
    EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\MAIN.IDX"));
    EXPECT_FALSE(m.Exists("C:\\KOV\\IDB\\OLD.DB"));
    EXPECT_EQ("mail", m.Read("C:\\KOV\\IDB\\USER.MAL"));
    EXPECT_FALSE(m.Exists("C:\\KOV\\IDB\\USER.old"));
    EXPECT_TRUE(m.Logged("Renamed C:\\KOV\\IDB\\OLD.DB back to C:\\KOV\\IDB\\MAIN.IDX")) << m.Log();
}

// The earlier installation's folder spelt another way is still the same folder: every "same
// folder" decision sees the install as in place, the user's database is moved aside and the
// preserved files are kept, and the transfer never copies the folder onto itself.
TEST(Destination, EverySpellingOfTheEarlierFolderIsInPlace) {
    const char* spellings[] = {"C:\\KOV\\", "c:\\kov", "C:\\KOV\\\\", "C:\\\\KOV"};
    for (const char* dest : spellings) {
        SCOPED_TRACE(dest);
        InPlace m(3);
        strcpy(InstallSettings.DestDir, dest);
        EXPECT_TRUE(MigrationInPlace());
        // The disk space of an in-place install counts the old database once, not the folders.
        EXPECT_EQ(OldDatabaseSpace(512, "C:\\KOV", dest), m.mainDb.size());
        EXPECT_EQ(1, PrepareDestination());
        EXPECT_EQ(1u, InstallState.OverwriteInPlace);
        EXPECT_TRUE(m.Logged("Preparing for overwrite")) << m.Log();
        EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\OLD.DB"));
        EXPECT_EQ("user's goto", m.Read("C:\\KOV\\goto.ini"));
        TransferFolders(0);
        EXPECT_EQ(0u, MigrationState.CopyQueueCount);
        EXPECT_EQ(nullptr, MigrationState.CopyQueue);
        EXPECT_EQ("user's goto", m.Read("C:\\KOV\\goto.ini"));
        FreeCopyQueue();
        ForgetTransferRenames();
    }
    // Another folder is not in place, whatever its spelling.
    InPlace m(3);
    strcpy(InstallSettings.DestDir, "C:\\KOV2\\");
    EXPECT_FALSE(MigrationInPlace());
}

TEST(Destination, OldDatabaseCases) {
    {
        // Only an OLD.DB holds the database: it is neither deleted nor renamed.
        InPlace m(3);
        SysDelete("C:\\KOV\\IDB\\OLD.DB");
        MovePath("C:\\KOV\\IDB\\MAIN.IDX", "C:\\KOV\\IDB\\OLD.DB");
        PrepareDestination();
        EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\OLD.DB"));
        EXPECT_TRUE(m.Logged("Main DB is already C:\\KOV\\IDB\\OLD.DB")) << m.Log();
        EXPECT_EQ(3, InstallState.PreviousDbVersion[0]);
        RestorePreviousInstall();
        EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\OLD.DB"));
    }
    {
        InPlace m(3);
        SysDelete("C:\\KOV\\IDB\\MAIN.IDX");
        PrepareDestination();
        EXPECT_TRUE(m.Logged("No main DB found"));
        EXPECT_EQ("left from an earlier run", m.Read("C:\\KOV\\IDB\\OLD.DB"));
    }
    {
        // Not in place: no restore whatever was recorded.
        EngineMachine m;
        strcpy(InstallSettings.DestDir, "C:\\NEW");
        m.Put("C:\\NEW\\IDB\\OLD.DB", "x");
        strcpy(InstallState.OldDbFoundPath, "C:\\NEW\\IDB\\MAIN.IDX");
        RestorePreviousInstall();
        EXPECT_TRUE(m.Exists("C:\\NEW\\IDB\\OLD.DB"));
    }
}

TEST(Destination, ToolVersionKeepsTheCurrentFolder) {
    EngineMachine m;
    m.Map('D', 3);
    m.Put("C:\\KOV\\TOOL\\A.KOV", TestPe(true, 0x00030000, 0x00010005));  // 3.0.1.5
    m.Put("C:\\KOV\\TOOL\\PLAIN.KOV", "no version");
    m.Dir("D:\\WORK");
    ASSERT_TRUE(ChangeDir("D:\\WORK"));
    struct Case {
        const char* path;
        uint32_t packed;
    } cases[] = {
        {"C:\\KOV\\TOOL\\A.KOV", 0x03000105},
        {"C:\\KOV\\TOOL\\PLAIN.KOV", 0},
        {"C:\\KOV\\NOFOLDER\\A.KOV", 0},  // not the A.KOV of another folder
        {"C:\\KOV\\TOOL\\ABSENT.KOV", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.packed, GetToolVersion(c.path)) << c.path;
        EXPECT_EQ('D', CurrentDriveLetter()) << c.path;
        EXPECT_STREQ("D:\\WORK", DriveCurrentDir('D')) << c.path;
        EXPECT_STREQ("C:\\", DriveCurrentDir('C')) << c.path;
    }
}

TEST(Destination, ObsoleteFiles) {
    EngineMachine m;
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    m.Put("C:\\KOV\\cache\\a.tmp", "a");
    m.Put("C:\\KOV\\cache\\b", "b");
    m.Dir("C:\\KOV\\cache\\sub");
    m.Put("C:\\KOV\\old.exe", "o");
    m.Put("C:\\KOV\\keep.exe", "k");
    m.Put("C:\\WINDOWS\\kovold.ini", "w");
    m.Put("C:\\top.txt", "t");
    SetList(InstallSettings.DestDirDeletes,
            {{"cache\\*.*", nullptr}, {"old.exe", nullptr}, {"..\\*.txt", nullptr}});
    SetList(InstallSettings.WindowsDirDeletes, {{"kovold.ini", nullptr}});
    // The third delete (the Windows folder's file, then the cache's two) fails, as for a file
    // another program holds open.
    SysFailCalls(SYS_FAULT_DELETE, 3, 1);
    DeleteObsoleteFiles();
    SysClearFaults();
    for (const char* f : {"C:\\KOV\\cache\\a.tmp", "C:\\KOV\\cache\\b", "C:\\KOV\\old.exe",
                          "C:\\WINDOWS\\kovold.ini"})
        EXPECT_NE(m.Exists(f), m.Logged(std::string("Deleted file ") + f)) << f;
    EXPECT_EQ(1, m.Exists("C:\\KOV\\cache\\a.tmp") + m.Exists("C:\\KOV\\cache\\b"));
    EXPECT_FALSE(m.Exists("C:\\KOV\\old.exe"));
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\kovold.ini"));
    EXPECT_TRUE(m.Exists("C:\\KOV\\keep.exe"));
    EXPECT_TRUE(m.Exists("C:\\KOV\\cache\\sub"));
    EXPECT_TRUE(m.Exists("C:\\top.txt"));  // a pattern may not leave its folder
    // The log says what the disk holds: a file deleted, or one that could not be; folders
    // ("." and ".." too) are not files to delete. Windows folder first.
    std::string log = m.Log();
    EXPECT_EQ(1, (int)m.Logged("Could not delete file C:\\KOV\\cache\\a.tmp") +
                     (int)m.Logged("Could not delete file C:\\KOV\\cache\\b"))
        << log;
    for (const char* name : {".", "..", "sub"})
        EXPECT_EQ(log.find(std::string("file C:\\KOV\\cache\\") + name + "\r\n"), std::string::npos)
            << name;
    EXPECT_LT(log.find("Deleted file C:\\WINDOWS\\kovold.ini"), log.find("Deleted file C:\\KOV"));
    EXPECT_TRUE(m.Logged("Unsafe delete pattern skipped: ..\\*.txt"));
}

// The Windows folder's list, however it was filled, never reaches the system's own files nor
// the SYSTEM folder: each such pattern is skipped with its line, and the package's own go.
TEST(Destination, WindowsFolderDeletesSpareTheSystemsFiles) {
    EngineMachine m;
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    const char* systems[] = {"C:\\WINDOWS\\win.ini",           "C:\\WINDOWS\\system.ini",
                             "C:\\WINDOWS\\SYSTEM\\ctl3d.dll", "C:\\WINDOWS\\SYSTEM\\user.exe",
                             "C:\\WINDOWS\\notes.txt",         "C:\\WINDOWS\\Bureau\\These.doc"};
    for (const char* f : systems) m.Put(f, "system");
    m.Put("C:\\WINDOWS\\pcgame.pif", "p");
    m.Put("C:\\WINDOWS\\pcgame.ini", "p");
    const char* patterns[] = {
        "*.ini",      "system\\*.*",       "*.*",   "*",    "win.ini",
        "SYSTEM.INI", "system\\ctl3d.dll", "*.txt", "?*.*", "Bureau\\These.doc",
        "pcgame.*"};
    std::vector<std::pair<const char*, const char*>> rows;
    for (const char* p : patterns) rows.push_back({p, nullptr});
    SetList(InstallSettings.WindowsDirDeletes, rows);
    DeleteObsoleteFiles();
    for (const char* f : systems) EXPECT_TRUE(m.Exists(f)) << f;
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\pcgame.pif"));
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\pcgame.ini"));
    for (size_t i = 0; i + 1 < sizeof patterns / sizeof *patterns; i++)
        EXPECT_TRUE(m.Logged(std::string("Delete pattern skipped: ") + patterns[i] +
                             " could name the system's files"))
            << patterns[i];
}

TEST(Destination, FileSizeByName) {
    EngineMachine m;
    m.Put("C:\\KOV\\F.BIN", std::string(12345, 'f'));
    EXPECT_EQ(12345u, GetFileSizeByName("C:\\KOV\\F.BIN"));
    EXPECT_EQ(0u, GetFileSizeByName("C:\\KOV\\ABSENT.BIN"));
    EXPECT_EQ(0u, GetFileSizeByName("C:\\KOV"));
}

}  // namespace

// When the old main database or a preserved file cannot be moved aside, the package would be
// written over it: the preparation fails before anything is written, and the restore puts
// back what had been moved by then.
TEST(Destination, InPlaceStopsWhenUserDataCannotBeMovedAside) {
    struct Case {
        const char* what;
        int kind;
        unsigned long nth;
        const char* logged;
    } cases[] = {
        // The search meets IDB's three files in no set order: all of them fail to read.
        {"database unreadable", SYS_FAULT_OPEN_READ, 1, "Main DB search could not read"},
        {"database unreadable after its first bytes", SYS_FAULT_SEEK, 1,
         "Main DB search could not read"},
        {"database rename fails", SYS_FAULT_RENAME, 1, "Failed to rename old DB"},
        {"preserved file rename fails", SYS_FAULT_RENAME, 2, "Rename failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InPlace m(3);
        SysFailCalls(c.kind, c.nth, c.kind == SYS_FAULT_RENAME ? 1 : 3);
        EXPECT_EQ(0, PrepareDestination());
        SysClearFaults();
        EXPECT_EQ(FATAL_FILE_CREATE, SetupError);
        EXPECT_NE(m.Log().find(c.logged), std::string::npos) << m.Log();
        RestorePreviousInstall();
        EXPECT_EQ(m.mainDb, m.Read("C:\\KOV\\IDB\\MAIN.IDX"));
        EXPECT_EQ("mail", m.Read("C:\\KOV\\IDB\\USER.MAL"));
        EXPECT_FALSE(m.Exists("C:\\KOV\\IDB\\USER.old"));
        EXPECT_EQ("user's goto", m.Read("C:\\KOV\\goto.ini"));
    }
}

// An in-place install that ended before its migration was through left the user's database
// as OLD.DB and the package's own as MAIN.IDX: a second run keeps OLD.DB. One that went
// through (its MAIN.IDX holds the installation folder record) but could not delete OLD.DB
// left a stale copy: MAIN.IDX is the user's, and the stale copy is kept under a name of its
// own. None of it depends on the user lists, the folder's listing order or a read-only file.
TEST(Destination, UnfinishedInPlaceInstallKeepsTheUsersDatabase) {
    using migratetest::DbFile;
    using migratetest::Names;
    using migratetest::Rec;
    using migratetest::Version;
    for (bool names : {false, true}) {
        std::vector<Rec> user = {Version(3, 1), {0x14000098, "the user's"}};
        std::vector<Rec> stale = {Version(3, 1), {0x14000098, "stale"}};
        std::vector<Rec> package = {Version(3, 0)};
        if (names) {
            for (auto* r : {&user, &stale, &package}) r->push_back(Names({"Jean"}));
        }
        // Every database a migration went through holds the installation folder record.
        std::vector<Rec> unmarked = user;
        for (auto* r : {&user, &stale}) r->push_back({DB_GID_INSTALL_FOLDER, "C:\\KOV"});
        const std::string userDb = DbFile(DB_NEW_FORM, DB_ID_MAIN, user);
        const std::string packageDb = DbFile(DB_NEW_FORM, DB_ID_MAIN, package);
        struct Case {
            const char* what;
            std::string oldDb, mainDb, oldDbAfter, keptAfter;
        } cases[] = {
            {"unfinished", userDb, packageDb, userDb, ""},
            {"stale", DbFile(DB_NEW_FORM, DB_ID_MAIN, stale), userDb, userDb,
             DbFile(DB_NEW_FORM, DB_ID_MAIN, stale)},
            // Not proven either way: OLD.DB, unless it holds no record; the other is kept.
            {"neither marked", DbFile(DB_NEW_FORM, DB_ID_MAIN, unmarked), packageDb,
             DbFile(DB_NEW_FORM, DB_ID_MAIN, unmarked), packageDb},
            {"neither marked, OLD.DB without a record", DbFile(DB_NEW_FORM, DB_ID_MAIN, {}),
             DbFile(DB_NEW_FORM, DB_ID_MAIN, unmarked), DbFile(DB_NEW_FORM, DB_ID_MAIN, unmarked),
             DbFile(DB_NEW_FORM, DB_ID_MAIN, {})},
        };
        for (const Case& c : cases) {
            for (int order : {SYS_LIST_BY_NAME, SYS_LIST_BY_NAME_REVERSED}) {
                for (bool readOnly : {false, true}) {
                    SCOPED_TRACE(std::string(c.what) + (names ? ", user lists" : "") +
                                 (order == SYS_LIST_BY_NAME ? ", by name" : ", reversed") +
                                 (readOnly ? ", read-only" : ""));
                    InPlace m(3);
                    m.Put("C:\\KOV\\IDB\\OLD.DB", c.oldDb);
                    m.Put("C:\\KOV\\IDB\\MAIN.IDX", c.mainDb);
                    if (readOnly) {
                        for (const char* f : {"C:\\KOV\\IDB\\OLD.DB", "C:\\KOV\\IDB\\MAIN.IDX"})
                            chmod(m.Host(f).c_str(), 0444);
                    }
                    SysSetListingOrder(order);
                    EXPECT_EQ(1, PrepareDestination()) << m.Log();
                    SysSetListingOrder(SYS_LIST_AS_STORED);
                    EXPECT_EQ(c.oldDbAfter, m.Read("C:\\KOV\\IDB\\OLD.DB"));
                    if (c.keptAfter.empty()) EXPECT_FALSE(m.Exists("C:\\KOV\\IDB\\OLD1.DB"));
                    else EXPECT_EQ(c.keptAfter, m.Read("C:\\KOV\\IDB\\OLD1.DB"));
                    EXPECT_EQ(3, InstallState.PreviousDbVersion[0]);
                    EXPECT_EQ(1, InstallState.PreviousDbVersion[1]);
                }
            }
        }
    }
}
