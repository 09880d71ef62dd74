// The migration on a native machine: a new installation in C:\NEW and an earlier one in
// C:\OLD, their databases written by the test encoder, the registry and profiles faked.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "package/package.h"
#include "record/installrec.h"
#include "sys/sys.h"
#include "tests/host/machine.h"
#include "tests/host/migrate_fake.h"
#include "uninstall/undo.h"

using namespace migratetest;

namespace {

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";
const char NEW_DB[] = "C:\\NEW\\IDB\\MAIN.IDX";
const char OLD_DB[] = "C:\\OLD\\IDB\\MAIN.IDX";

struct Stored {
    uint16_t type;  // the type code of the flags
    std::string data;
};

// The live records of a database with their type codes.
std::map<uint32_t, Stored> Records(const char* path) {
    std::map<uint32_t, Stored> out;
    ForEachLiveRecord(path, [&](const RecordHeader& h, const char* data, uint16_t n) {
        out[h.gid] = {uint16_t(h.flags & 0xFF), std::string(data ? data : "", n)};
    });
    return out;
}

class Migrate : public ::testing::Test {
protected:
    PlatformGuard guard;
    TestMachine machine;
    FakeSystem fake;
    std::vector<uint32_t> carried;

    void SetUp() override {
        ResetRunState();
        SysSetDiskGeometry('C', 8, 512, 100000, 200000);
        strcpy(InstallSettings.DestDir, "C:\\NEW");
        strcpy(InstallSettings.PreviousDir, "C:\\OLD");
        MakeFolders(machine, "C:\\NEW\\IDB");
        MakeFolders(machine, "C:\\OLD\\IDB");
        NewDb({Version(3, 0)});
        fake.Install();
    }
    void TearDown() override {
        ResetMigrationState();
        // The lists and tables above belong to the test, not to the script reader: forget
        // them before anything frees what the install settings point to.
        memset(&InstallSettings, 0, sizeof InstallSettings);
    }
    void NewDb(const std::vector<Rec>& records) {
        machine.Write(NEW_DB, DbFile(DB_NEW_FORM, DB_ID_MAIN, records));
    }
    void OldDb(const std::vector<Rec>& records, int form = DB_NEW_FORM, const char* path = OLD_DB) {
        machine.Write(path, DbFile(form, DB_ID_MAIN, records));
    }
    void Carry(std::vector<uint32_t> ids) {
        carried = ids;
        InstallSettings.CarriedRecordIds = carried.data();
        InstallSettings.CarriedRecordCount = uint16_t(carried.size());
    }
    bool Exists(const char* winPath) {
        bool exists = false;
        ReadHostFile(machine.Host(winPath), &exists);
        return exists;
    }
};

TEST_F(Migrate, CarriesRecordsByTheRules) {
    ToolKey toolKey = {nullptr, 0x14000077};
    InstallSettings.ToolModuleCount = 1;
    InstallSettings.ToolModules[0].keys = &toolKey;
    NewDb({Version(3, 0), {0x01000002, "new art", TYPE_P}, {0x01000003, "new art", TYPE_P}});
    OldDb({{0x01000001, "old art 1", TYPE_P},
           {0x01000002, "old art 2", TYPE_P},  // the new database has it: stays new
           {0x01000003, "old art 3", TYPE_P},  // ... unless carried
           {0x14000099, "not carried"},
           {0x14000098, "carried"},
           {0x14000077, "tool module key"},
           {0x14000097, std::string("\xC6\xC4\xD1", 3), TYPE_B | DB_FLAG_SCRAMBLED},
           {0x14000096, ""}},  // nothing to copy
          DB_OLD_FORM);
    Carry({0x14000098, 0x01000003, 0x14000097, 0x14000096});

    ASSERT_EQ(1, MigrateInstallation());
    auto records = Records(NEW_DB);
    struct Expect {
        uint32_t gid;
        const char* data;  // null: absent
        uint16_t type;
    } expect[] = {
        {0x01000001, "old art 1", 'p'}, {0x01000002, "new art", 'p'},
        {0x01000003, "old art 3", 'p'}, {0x14000099, nullptr, 0},
        {0x14000098, "carried", 'b'},   {0x14000077, "tool module key", 'b'},
        {0x14000097, "cat", 'b'},       {0x14000096, nullptr, 0},
    };
    for (const Expect& e : expect) {
        SCOPED_TRACE(e.gid);
        if (!e.data) {
            EXPECT_EQ(0u, records.count(e.gid));
            continue;
        }
        ASSERT_EQ(1u, records.count(e.gid));
        EXPECT_EQ(e.data, records[e.gid].data);
        EXPECT_EQ(e.type, records[e.gid].type);
    }
    EXPECT_EQ(1u, MigrationState.SettingsTransferred);
    EXPECT_TRUE(LogHas("Wrote GID 16777217 (size 9)"));

    // Without carried records the tool modules' keys are not looked at.
    NewDb({Version(3, 0)});
    Carry({});
    ASSERT_EQ(1, MigrateInstallation());
    records = Records(NEW_DB);
    EXPECT_EQ(0u, records.count(0x14000077));
    EXPECT_EQ(1u, records.count(0x01000001));
}

TEST_F(Migrate, PendingRecordsAreWrittenOnceTheyPassTheLimit) {
    struct Case {
        uint16_t first, second;
        uint32_t pendingAfter;  // bytes still waiting after both records
        bool firstWritten;
    } cases[] = {
        {60000, 4000, 64000, false},  // exactly the limit: nothing written yet
        {60000, 4001, 0, true},       // one byte over: both written at once
        {64001, 1, 1, true},          // the first alone; the next starts a new batch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        NewDb({Version(3, 0)});
        OldDb({{0x01000001, std::string(c.first, 'a'), TYPE_P},
               {0x01000002, std::string(c.second, 'b'), TYPE_P}});
        ASSERT_EQ(0, DbOpen(NEW_DB, &MigrationState.NewMainDb));
        ASSERT_EQ(0, DbOpen(OLD_DB, &MigrationState.OldMainDb));
        EXPECT_EQ(1, CopyOldRecordFilter(MigrationState.OldMainDb, 0x01000001, c.first));
        EXPECT_EQ(1, CopyOldRecordFilter(MigrationState.OldMainDb, 0x01000002, c.second));
        EXPECT_EQ(c.pendingAfter, MigrationState.PendingBytes);
        EXPECT_EQ(c.pendingAfter == 0, MigrationState.PendingRecords == nullptr);
        EXPECT_EQ(c.firstWritten, DbRecordLength(MigrationState.NewMainDb, 0x01000001) == c.first);
        FlushPendingRecords();
        EXPECT_EQ(c.second, DbRecordLength(MigrationState.NewMainDb, 0x01000002));
        CloseMigrationDatabases();
    }
}

TEST_F(Migrate, PasswordListFromTheUserList) {
    std::string guest = "Invit\xE9    ";
    std::vector<std::string> many, manyPasswords;
    for (int i = 0; i < 30; i++) {
        many.push_back("Utilisat" + std::to_string(10 + i));
        manyPasswords.push_back("motdepass" + std::to_string(i % 10));
    }
    std::string unterminated = Names({"Jean"}, {"x"}).data;
    unterminated.replace(1, 22, std::string(22, 'Z'));  // no terminator in either field
    struct Case {
        const char* what;
        Rec names;
        std::vector<Rec> already;  // in the new database
        std::string expect;        // the list record; "<none>" when not written
        const char* log;
    } cases[] = {
        {"the guest and one user",
         Names({guest, "Jean"}, {"invite", "secret"}),
         {},
         Le16(2) + std::string("Jean\0secret\0", 12),
         "Converted passwords (1 names)"},
        {"no password, the new-name slot",
         Names({"Paul", "Nouveau No", "Marie"}, {"", "pw", "m"}),
         {},
         Le16(2) + std::string("Marie\0m\0", 8),
         "Converted passwords (1 names)"},
        {"already converted", Names({"Jean"}, {"s"}), {{GID_PASSWORD_LIST, "x"}}, "x", nullptr},
        {"30 names: bounded to the block", Names(many, manyPasswords), {}, "", "list full"},
        {"unterminated fields are cut to their size",
         {GID_USER_NAMES, unterminated},
         {},
         Le16(2) + std::string(11, 'Z') + '\0' + std::string(11, 'Z') + '\0',
         "(1 names)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogReset();
        std::vector<Rec> fresh = c.already;
        fresh.push_back(Version(3, 0));
        NewDb(fresh);
        OldDb({c.names});
        ASSERT_EQ(1, MigrateInstallation());
        auto records = Records(NEW_DB);
        ASSERT_EQ(1u, records.count(GID_PASSWORD_LIST));
        std::string got = records[GID_PASSWORD_LIST].data;
        if (std::string(c.what).find("30 names") == 0) {
            EXPECT_LE(got.size(), 514u);
            unsigned count = uint8_t(got[0]) | uint8_t(got[1]) << 8;
            EXPECT_EQ(2u * 23, count);  // 23 whole pairs of 11 + 11 bytes fit in 512
        } else {
            EXPECT_EQ(c.expect, got);
        }
        if (c.log) EXPECT_TRUE(LogHas(c.log)) << LogTraceText();
    }
}

TEST_F(Migrate, SoundEventsKeptOrUpdated) {
    machine.Write("C:\\MINE.WAV", "RIFF");
    machine.Write("C:\\KOVIN.WAV", "RIFF");
    char* labels[] = {(char*)"KOVIn", (char*)"KOVOut", (char*)"KOVMail", (char*)"KOVGone"};
    char* files[] = {(char*)"kovin.wav", (char*)"kovout.wav", (char*)"kovmail.wav",
                     (char*)"kovgone.wav"};
    InstallSettings.SoundEvents = {4, labels, files, nullptr};
    fake.SetProfile("", "sounds", "KOVIn", "C:\\KOVIN.WAV");   // ours, same name: updated
    fake.SetProfile("", "sounds", "KOVOut", "C:\\MINE.WAV");   // the user's: remains
    fake.SetProfile("", "sounds", "KOVGone", "C:\\GONE.WAV");  // missing: updated
    InstallSettings.PreviousDir[0] = 0;
    ASSERT_EQ(1, MigrateInstallation());
    auto key = [](const char* label) {
        return std::string("AppEvents\\Schemes\\Apps\\.Default\\") + label + "\\.current";
    };
    EXPECT_EQ("C:\\NEW\\kovin.wav",
              fake.Registry(MIGRATE_ROOT_USER, key("KOVIn").c_str(), nullptr));
    EXPECT_EQ("<none>", fake.Registry(MIGRATE_ROOT_USER, key("KOVOut").c_str(), nullptr));
    EXPECT_EQ("C:\\NEW\\kovmail.wav",
              fake.Registry(MIGRATE_ROOT_USER, key("KOVMail").c_str(), nullptr));
    EXPECT_EQ("C:\\NEW\\kovgone.wav",
              fake.Registry(MIGRATE_ROOT_USER, key("KOVGone").c_str(), nullptr));
    EXPECT_TRUE(LogHas("Sound 'C:\\MINE.WAV' (KOVOut) remains"));
}

TEST_F(Migrate, ModemNameFromTheOldModemProfile) {
    struct Case {
        const char* title;
        const char* lookedUp;  // the name looked up in the new MODEM.INI, null for none
    } cases[] = {
        {"Modem Rapide 28800 (V.34)", "Modem Rapide 28800 "},  // the space stays
        {"Modem (A) (B)", "Modem (A) "},
        {"Sans parenthese", nullptr},
        {"(COM2)", nullptr},
        {"", nullptr},
    };
    strcpy(ModemSettings.profile, "OLD.MDM");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        LogReset();
        fake.profile.clear();
        fake.SetProfile("C:\\OLD\\MPM\\OLD.MDM", "ID", "Title", c.title);
        if (c.lookedUp)
            fake.SetProfile("C:\\NEW\\MPM\\MODEM.INI", "NAMES", c.lookedUp, "RAPIDE.MDM");
        OldDb({Names({"Jean"})});  // no modem name record: the old profile is read
        NewDb({Version(3, 0)});
        ASSERT_EQ(1, MigrateInstallation());
        auto records = Records(NEW_DB);
        if (c.lookedUp) {
            EXPECT_EQ(c.lookedUp, records[GID_MODEM_NAME].data);
            EXPECT_EQ("RAPIDE.MDM", records[GID_MODEM_PROFILE].data);
            EXPECT_TRUE(LogHas("Storing old MDM name into new DB"));
        } else {
            EXPECT_EQ(0u, records.count(GID_MODEM_NAME));
            EXPECT_TRUE(LogHas("MDM match from old mdm format failed, using defaults"));
        }
    }
}

TEST_F(Migrate, ModemNameFromTheOldDatabase) {
    struct Case {
        int form;
        const char* name;
        const char* expect;
    } cases[] = {
        {DB_OLD_FORM, "Modem Rapide (COM2)", "Modem Rapide"},  // the space goes too
        {DB_OLD_FORM, "Sans port", "Sans port"},
        {DB_OLD_FORM, "(COM2)", ""},
        {DB_NEW_FORM, "Modem Rapide (V.34)", "Modem Rapide (V.34)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OldDb(
            {Names({"Jean"}), Text(GID_MODEM_NAME, c.name), Text(GID_MODEM_PROFILE, "CLASS31.MDM")},
            c.form);
        NewDb({Version(3, 0)});
        ASSERT_EQ(1, MigrateInstallation());
        auto records = Records(NEW_DB);
        EXPECT_EQ(c.expect, records[GID_MODEM_NAME].data);
        EXPECT_EQ("CLASS31.MDM", records[GID_MODEM_PROFILE].data);
    }
}

TEST_F(Migrate, ModemWithoutAnEarlierInstallation) {
    InstallSettings.PreviousDir[0] = 0;
    ModemSettingsT found = {4, 9, "CLASS34.MDM", "USRobotics (tout mod\xE8le)"};
    struct Case {
        const char* what;
        const char* description;
        int skip, detect;  // detect: -1 no detection, 0 finds nothing, 1 finds `found`
        const char* name;
        const char* profile;
        int port, speed;
    } cases[] = {
        {"known class", "Compatible Hayes (correction d'erreur)", 0, 1,
         "Compatible Hayes (correction d'erreur)", "CLASS31.MDM", 1, 5},
        {"skipped", "", 1, 1, "Non r\xE9pertori\xE9 (compatible Hayes de base)", "CLASS33.MDM", 2,
         3},
        {"detected", "", 0, 1, "USRobotics (tout mod\xE8le)", "CLASS34.MDM", 4, 9},
        {"nothing detected", "", 0, 0, "Non r\xE9pertori\xE9 (compatible Hayes de base)",
         "CLASS33.MDM", 2, 3},
        {"no detection", "", 0, -1, "Non r\xE9pertori\xE9 (compatible Hayes de base)",
         "CLASS33.MDM", 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModemSettings = {1, 5, "CLASS31.MDM", ""};
        strcpy(ModemSettings.description, c.description);
        SkipModem = c.skip;
        fake.detectResult = c.detect;
        fake.detected = found;
        fake.Install();
        NewDb({Version(3, 0)});
        ASSERT_EQ(1, MigrateInstallation());
        auto records = Records(NEW_DB);
        EXPECT_EQ(c.name, records[GID_MODEM_NAME].data);
        EXPECT_EQ(c.profile, records[GID_MODEM_PROFILE].data);
        EXPECT_EQ(Be32(c.port), records[GID_PORT].data);
        EXPECT_EQ(Be32(c.speed), records[GID_SPEED_INDEX].data);
        EXPECT_EQ(Be32(c.speed), records[0x14000012].data);
    }
}

TEST_F(Migrate, SettingsOfAFreshInstall) {
    InstallSettings.PreviousDir[0] = 0;
    strcpy(InstallSettings.VersionText, "3.0i");
    strcpy(InstallSettings.ClientTextA, "texte A");
    InstallSettings.DbVersion[0] = 3;
    InstallSettings.DbVersion[1] = 2;
    NewDb({{GID_VERSION, std::string("\x07\x01\x01\x09", 4)}});
    ASSERT_EQ(1, MigrateInstallation());
    auto records = Records(NEW_DB);
    EXPECT_EQ(std::string("\x07\x03\x02\x09", 4), records[GID_VERSION].data);
    EXPECT_EQ(std::string("\0\0\0\x01", 4), records[GID_SETTINGS_MARK].data);
    EXPECT_EQ("3.0i", records[GID_VERSION_TEXT].data);
    EXPECT_EQ('t', records[GID_VERSION_TEXT].type);
    EXPECT_EQ("texte A", records[GID_CLIENT_TEXT_A].data);
    EXPECT_EQ(0u, records.count(GID_CLIENT_TEXT_B));
    EXPECT_EQ("C:\\NEW\\DOWNLOAD", records[GID_DOWNLOAD_FOLDER].data);
    EXPECT_EQ('b', records[GID_DOWNLOAD_FOLDER].type);
    EXPECT_EQ("C:\\NEW", records[GID_INSTALL_FOLDER].data);
    EXPECT_EQ(0u, MigrationState.SettingsTransferred);
    EXPECT_EQ(0, fake.asked);  // no download question without an earlier installation
    EXPECT_EQ(0, fake.Opened(IDD_MIGRATE));

    // No earlier version: the old settings key goes; the new client is made known.
    ASSERT_EQ(1u, fake.deletedKeys.size());
    EXPECT_EQ(std::string("0|") + CLIENT_KEY, fake.deletedKeys[0]);
    EXPECT_TRUE(LogHas("Cleared INI settings"));
    EXPECT_EQ("C:\\NEW", fake.Registry(MIGRATE_ROOT_MACHINE, CLIENT_KEY, "AppPath"));
    EXPECT_EQ("C:\\NEW", fake.Registry(MIGRATE_ROOT_USER, CLIENT_KEY, "AppPath"));
    std::vector<std::string> profile = {"WKOV|Installed=US", "WKOV|AppPath=C:\\NEW"};
    EXPECT_EQ(profile, fake.profileWrites);
    EXPECT_EQ(1, fake.helpMerged);
    EXPECT_EQ(1, fake.uninstallRegistered);
}

TEST_F(Migrate, OldVersionDecidesWhetherTheSettingsKeyGoes) {
    struct Case {
        unsigned major;
        bool cleared;
    } cases[] = {{54, true}, {55, false}, {60, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.major);
        fake.deletedKeys.clear();
        OldDb({Names({"Jean"}), Version(c.major, 1)});
        ASSERT_EQ(1, MigrateInstallation());
        EXPECT_EQ(c.cleared, fake.deletedKeys.size() == 1);
        EXPECT_EQ(c.major, MigrationState.OldDbVersion[0]);
    }
}

TEST_F(Migrate, UnreadableOldDatabaseSkipsTheCopy) {
    machine.Write(OLD_DB, "not a database at all");
    fake.askAnswer = 1;
    ASSERT_EQ(1, MigrateInstallation());
    EXPECT_TRUE(LogHas("Couldn't open old db"));
    EXPECT_EQ(0u, MigrationState.SettingsTransferred);
    EXPECT_EQ(1, fake.asked);
    EXPECT_EQ(1u, MigrationState.MoveOldDownloads);
    EXPECT_EQ(1, fake.Opened(IDD_MIGRATE));
    EXPECT_EQ(1, fake.Closed(IDD_MIGRATE));
    EXPECT_EQ(1u, fake.deletedKeys.size());  // version 0 is below 55
}

TEST_F(Migrate, OldDatabaseOfAnInPlaceInstallGoesOnlyWhenCarried) {
    struct Case {
        const char* what;
        std::string oldBytes;
        unsigned long freeClusters;  // of C:, for the writes of the copy
        int result;
        bool kept;
        const char* log;
    } cases[] = {
        {"every record carried", DbFile(DB_NEW_FORM, DB_ID_MAIN, {{0x01000001, "art", TYPE_P}}),
         100000, 1, false, "Deleted C:\\NEW\\IDB\\OLD.DB"},
        {"not a database", "garbage", 100000, 1, true, "it could not be opened"},
        {"disk full, cancelled", DbFile(DB_NEW_FORM, DB_ID_MAIN, {{0x01000001, "art", TYPE_P}}), 0,
         0, true, "Migration stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogReset();
        UserAbort = 0;
        strcpy(InstallSettings.PreviousDir, "C:\\NEW");
        NewDb({Version(3, 0)});
        machine.Write("C:\\NEW\\IDB\\OLD.DB", c.oldBytes);
        SysSetDiskGeometry('C', 8, 512, c.freeClusters, 200000);
        EXPECT_EQ(c.result, MigrateInstallation());
        SysSetDiskGeometry('C', 8, 512, 100000, 200000);
        EXPECT_EQ(c.kept, Exists("C:\\NEW\\IDB\\OLD.DB"));
        EXPECT_TRUE(LogHas(c.log)) << LogTraceText();
        EXPECT_EQ(0, SetupError);
        EXPECT_EQ(fake.Opened(IDD_MIGRATE), fake.Closed(IDD_MIGRATE));
    }
}

TEST_F(Migrate, FatalErrors) {
    struct Case {
        const char* what;
        bool newDb, versionRecord, versionText, artList;
        int fatal;
    } cases[] = {
        {"no new database", false, true, false, false, 22},
        {"no new database, art to merge", false, true, false, true, 22},
        {"a new version and no version record", true, false, false, false, 24},
    };
    PackageEntry* slot[1] = {nullptr};
    MergedTable table = {1, slot};
    char* artNames[] = {(char*)"art.idx"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetupError = 0;
        fake.opened.clear();
        fake.closed.clear();
        InstallSettings.DbVersion[0] = 4;
        InstallSettings.MergedFilesA = {uint16_t(c.artList ? 1 : 0), artNames, nullptr, nullptr};
        InstallSettings.MergedTableA = c.artList ? &table : nullptr;
        if (c.newDb) NewDb(c.versionRecord ? std::vector<Rec>{Version(3, 0)} : std::vector<Rec>{});
        else SysDelete(NEW_DB);
        EXPECT_EQ(0, MigrateInstallation());
        EXPECT_EQ(c.fatal, SetupError);
        EXPECT_EQ(fake.opened.size(), fake.closed.size());  // every dialog is closed again
        EXPECT_EQ(nullptr, MigrationState.NewMainDb);
        EXPECT_EQ(nullptr, MigrationState.OldMainDb);
    }
}

TEST_F(Migrate, ShortcutChoiceAndSystemRegistration) {
    struct Case {
        int windows95, noDesktopItems;
        int shortcut, help;
    } cases[] = {{1, 0, 1, 1}, {1, 1, 0, 1}, {0, 0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows95 * 10 + c.noDesktopItems);
        fake = FakeSystem();
        fake.windows95 = c.windows95;
        fake.Install();
        NoDesktopItems = c.noDesktopItems;
        OldDb({Names({"Jean"})});
        ASSERT_EQ(1, MigrateInstallation());
        EXPECT_EQ(c.shortcut, fake.shortcutCalls);
        EXPECT_EQ(c.help, fake.helpMerged);
        EXPECT_EQ(c.help, fake.uninstallRegistered);
    }
    EXPECT_TRUE(LogHas("No desktop items: shortcut choice skipped"));
}

TEST_F(Migrate, ArtOfTheChosenLevelFromThePackage) {
    // A package file holding three art databases back to back.
    std::string package = "PKG";
    std::vector<uint32_t> starts, sizes;
    for (int i = 0; i < 3; i++) {
        std::string db = DbFile(
            DB_NEW_FORM, DB_ID_MAIN,
            {{0x01000010u + i, "art " + std::to_string(i), TYPE_P}, {0x14000050u + i, "not art"}});
        starts.push_back(uint32_t(package.size()));
        sizes.push_back(uint32_t(db.size()));
        package += db;
    }
    machine.Write("C:\\PACKAGE.BIN", package);
    PackageFile = SysOpen("C:\\PACKAGE.BIN", SYS_READ);
    ASSERT_NE(0, PackageFile);
    std::vector<std::vector<char>> blocks;
    PackageEntry* slots[3];
    for (int i = 0; i < 3; i++) {
        blocks.emplace_back(sizeof(PackageEntry) + 16, 0);
        slots[i] = (PackageEntry*)blocks.back().data();
        slots[i]->installedSize = sizes[i];
        slots[i]->storedSize = sizes[i];
        slots[i]->offset = starts[i];
        snprintf(slots[i]->name, 16, "idb\\art%d.idx", i);
    }
    MergedTable table = {3, slots};
    char* names[] = {(char*)"idb\\art0.idx", (char*)"idb\\art1.idx", (char*)"idb\\art2.idx"};
    InstallSettings.MergedFilesA = {3, names, nullptr, nullptr};
    InstallSettings.MergedTableA = &table;
    InstallSettings.PreviousDir[0] = 0;
    fake.artLevel = 1;

    ASSERT_EQ(1, MigrateInstallation());
    SysClose(PackageFile);
    PackageFile = 0;
    auto records = Records(NEW_DB);
    EXPECT_EQ("art 0", records[0x01000010].data);
    EXPECT_EQ('p', records[0x01000010].type);
    EXPECT_EQ("art 1", records[0x01000011].data);
    EXPECT_EQ(0u, records.count(0x01000012));  // above the chosen level
    EXPECT_EQ(0u, records.count(0x14000050));
    EXPECT_EQ(1, fake.Opened(IDD_GRAPHICS_REQUESTED));
    EXPECT_EQ(1, fake.Closed(IDD_GRAPHICS_REQUESTED));
    ASSERT_FALSE(fake.gaugeRanges.empty());
    EXPECT_EQ((sizes[0] / 10) + (sizes[1] / 10), fake.gaugeRanges[0]);
}

TEST_F(Migrate, EditsOfTheNewInstallationsOtherDatabases) {
    auto connection = [](uint8_t a, uint8_t b) {
        std::string r(348, '\x11');
        r[28] = char(a);
        r[76] = char(b);
        return r;
    };
    auto writeDatabases = [&]() {
        machine.Write(
            "C:\\NEW\\IDB\\D990.IDX",
            DbFile(
                DB_NEW_FORM, 990,
                {{0x0020001D, "x"}, {0x002000E2, "y"}, {0x00200001, "kept"}, {0x002000E9, "z"}}));
        // A scrambled connection record with a zero check byte is rewritten plain.
        std::string scrambled = connection(0, 1);
        for (char& ch : scrambled) ch ^= char(DB_SCRAMBLE_MASK);
        std::string list = std::string("\0\0", 2) + Le32(0x00300001) + Le32(0x00300002);
        machine.Write("C:\\NEW\\IDB\\DEF.IDX",
                      DbFile(DB_NEW_FORM, DB_ID_EF,
                             {{0x00300001, scrambled, TYPE_B | DB_FLAG_SCRAMBLED},
                              {0x00300002, connection(1, 1)},
                              {0x00300003, connection(1, 1) + "long"},
                              {GID_CONNECTION_LIST, list}}));
    };
    struct Case {
        const char* what;
        uint32_t index;  // GID_GRAPH_LIST_INDEX in the new database; 0 none
        uint32_t switched;
    } cases[] = {
        {"index 2 selects the second", 2, 0x00300002},
        {"index 3 is beyond the list", 3, 0},
        {"no index", 0, 0},
    };
    strcpy(ModemSettings.profile, "TCP.MDM");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeDatabases();
        std::vector<Rec> fresh = {Version(3, 0)};
        if (c.index) fresh.push_back(Number(GID_GRAPH_LIST_INDEX, c.index));
        NewDb(fresh);
        OldDb({Names({"Jean"})});
        ASSERT_EQ(1, MigrateInstallation());
        auto d990 = Records("C:\\NEW\\IDB\\D990.IDX");
        EXPECT_EQ(1u, d990.size());
        EXPECT_EQ("kept", d990[0x00200001].data);
        auto ef = Records("C:\\NEW\\IDB\\DEF.IDX");
        EXPECT_EQ(connection(0, 1), ef[0x00300001].data);
        std::string second = connection(1, 1);
        if (c.switched) {
            second.replace(132, 4, Le32(5));
            second.replace(136, 4, Le32(5));
        }
        EXPECT_EQ(second, ef[0x00300002].data);
        auto records = Records(NEW_DB);
        EXPECT_EQ("CLASS33.MDM", records[GID_MODEM_PROFILE].data);  // the default modem
        EXPECT_FALSE(Exists("C:\\NEW\\IDB\\DEF.ind"));
    }
}

TEST_F(Migrate, QueuedCopiesRunNewestFirst) {
    machine.Write("C:\\OLD\\A.TXT", "a");
    machine.Write("C:\\OLD\\B.TXT", "b");
    auto queue = [](const char* from, const char* to, uint32_t move) {
        CopyQueueItem* item = (CopyQueueItem*)MemAlloc(sizeof(CopyQueueItem));
        strcpy(item->source, from);
        strcpy(item->destination, to);
        item->move = move;
        item->next = MigrationState.CopyQueue;
        MigrationState.CopyQueue = item;
        MigrationState.CopyQueueCount++;
    };
    queue("C:\\OLD\\A.TXT", "C:\\NEW\\A.TXT", 1);
    queue("C:\\OLD\\MISSING.TXT", "C:\\NEW\\M.TXT", 0);
    queue("C:\\OLD\\B.TXT", "C:\\NEW\\B.old", 0);
    MigrationState.MoveOldDownloads = 1;
    EXPECT_EQ(0, RunQueuedCopies());
    EXPECT_EQ(nullptr, MigrationState.CopyQueue);
    EXPECT_EQ(0, MigrationState.CopyQueueCount);
    EXPECT_EQ("a", machine.Read("C:\\NEW\\A.TXT"));
    // A moved file's original goes once the migration is through.
    EXPECT_TRUE(Exists("C:\\OLD\\A.TXT"));
    DeleteMovedOriginals();
    EXPECT_FALSE(Exists("C:\\OLD\\A.TXT"));
    EXPECT_EQ("b", machine.Read("C:\\NEW\\B.old"));
    EXPECT_TRUE(Exists("C:\\OLD\\B.TXT"));
    const char* trace = LogTraceText();
    ASSERT_TRUE(trace);
    const char* b = strstr(trace, "Copy: C:\\OLD\\B.TXT");
    const char* a = strstr(trace, "Copy: C:\\OLD\\A.TXT");
    ASSERT_TRUE(a && b);
    EXPECT_LT(b, a);
    EXPECT_TRUE(LogHas("Copy failed"));
}

// What the install carried from an earlier installation into a new folder (moved spool
// files, sounds) is the user's: an uninstall that keeps the user's data keeps it, one that
// removes the data removes it. The originals of moved files go only with the migration's end.
TEST_F(Migrate, FilesCarriedOverAreTheUsersData) {
    for (int removeUserData : {0, 1}) {
        SCOPED_TRACE(removeUserData ? "data removed" : "data kept");
        ResetInstallRecord();
        for (const char* dir : {"C:\\OLD", "C:\\OLD\\spool", "C:\\OLD\\sounds", "C:\\NEW",
                                "C:\\NEW\\spool", "C:\\NEW\\sounds"})
            SysMakeDir(dir);
        machine.Write("C:\\OLD\\spool\\OUTBOX1.MSG", "the user's outgoing mail");
        machine.Write("C:\\OLD\\sounds\\MAVOIX.WAV", "the user's own sound");
        machine.Write("C:\\NEW\\kov.exe", "MZ the package's client");
        RecordFile("C:\\NEW\\kov.exe");
        CopyQueueItem* items[2];
        const char* from[2] = {"C:\\OLD\\spool\\OUTBOX1.MSG", "C:\\OLD\\sounds\\MAVOIX.WAV"};
        const char* to[2] = {"C:\\NEW\\spool\\OUTBOX1.MSG", "C:\\NEW\\sounds\\MAVOIX.WAV"};
        for (int i = 0; i < 2; i++) {
            items[i] = (CopyQueueItem*)MemAlloc(sizeof(CopyQueueItem));
            strcpy(items[i]->source, from[i]);
            strcpy(items[i]->destination, to[i]);
            items[i]->move = 1;
            items[i]->next = MigrationState.CopyQueue;
            MigrationState.CopyQueue = items[i];
            MigrationState.CopyQueueCount++;
        }
        MigrationState.MoveOldDownloads = 1;
        EXPECT_EQ(1, RunQueuedCopies());
        DeleteMovedOriginals();
        EXPECT_FALSE(Exists(from[0]));
        ASSERT_TRUE(WriteInstallRecord("C:\\NEW", "C:\\NEW"));

        InstallRecord record;
        ASSERT_TRUE(ReadInstallRecord("C:\\NEW\\" INSTALL_RECORD_NAME, &record));
        UndoContext ctx = {};
        ctx.record = &record;
        ctx.roots[0] = "C:\\NEW";
        ctx.rootCount = 1;
        ctx.removeUserData = removeUserData;
        UndoRecord(&ctx, "C:\\NEW\\" INSTALL_RECORD_NAME, nullptr);
        FreeInstallRecord(&record);
        EXPECT_FALSE(Exists("C:\\NEW\\kov.exe"));
        for (const char* path : to) EXPECT_EQ(!removeUserData, Exists(path)) << path;
        EXPECT_EQ(0, ctx.failed) << LogTraceText();
        ResetInstallRecord();
    }
}

}  // namespace
