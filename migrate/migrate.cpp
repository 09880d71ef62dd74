// The migration driver: art, the earlier installation's records and settings, the version,
// the modem choice, the edited databases, and where the new client lives.
#include "migrate/migrate.h"
#include "migrate/internal.h"

#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "migrate/platform.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "package/package.h"
#include "res/resource.h"
#include "res/strings.h"

namespace {

enum {
    MODEM_TEXT = 80,  // buffer of the modem texts copied from the old database
    DEFAULT_PORT = 2,
    DEFAULT_SPEED_INDEX = 3,
    // The fields of a connection record that the migration sets, and their value.
    CONNECTION_CHECK_A = 28,
    CONNECTION_CHECK_B = 76,
    CONNECTION_FIELD_A = 132,
    CONNECTION_FIELD_B = 136,
    CONNECTION_TCP_VALUE = 5,
};

// Records of database 990 that the new client must not find.
const uint32_t STALE_990_GIDS[] = {0x0020001Du, 0x002000E2u, 0x002000E9u};

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";

void OpenProgress(int templateId) {
    MigrationState.ProgressDialog = Seat.openProgress(templateId);
    MigrationState.ProgressTemplate = MigrationState.ProgressDialog ? templateId : 0;
}

void CloseProgress(void) {
    if (MigrationState.ProgressTemplate) Seat.closeProgress(MigrationState.ProgressTemplate);
    MigrationState.ProgressTemplate = 0;
    MigrationState.ProgressDialog = nullptr;
}

void SetGaugeRange(uint32_t range) {
    if (MigrationState.ProgressDialog) Seat.progressRange(MigrationState.ProgressDialog, range);
}

void SetGaugePosition(uint32_t position) {
    MigrationState.GaugePosition = position;
    if (MigrationState.ProgressDialog) Seat.progressGauge(MigrationState.ProgressDialog, position);
}

int Fail(uint16_t number) {
    CloseMigrationDatabases();
    return SetFatal(number);
}

int Stop(void) {
    LogPrintf("Migration stopped");
    CloseMigrationDatabases();
    return 0;
}

int OpenNewMainDb(void) {
    char path[MAX_PATH_TEXT];
    JoinPath(path, InstallSettings.DestDir, "IDB", "MAIN.IDX", (const char*)nullptr);
    if (DbOpen(path, &MigrationState.NewMainDb) != 0) {
        LogPrintf("Couldn't open new db %s", path);
        return 0;
    }
    return 1;
}

// Merges the art databases of one merge list, slots 0 to last: 0 when the migration must
// end (SetupError or UserAbort tells why).
int MergeArt(const TextList& names, const MergedTable* table, unsigned last, int templateId) {
    if (names.count == 0) return 1;
    unsigned slots = names.count;
    if (table && table->count < slots) slots = table->count;
    if (last + 1 < slots) slots = last + 1;
    uint32_t range = 0;
    for (unsigned i = 0; table && i < slots; i++)
        if (table->slot[i]) range += table->slot[i]->installedSize / 10;

    OpenProgress(templateId);
    if (!OpenNewMainDb()) return Fail(FATAL_DB_OPEN);
    SetGaugeRange(range);
    SetGaugePosition(0);
    for (unsigned i = 0; table && i < slots; i++) {
        const PackageEntry* entry = table->slot[i];
        if (!entry) {
            LogPrintf("Art %s is not in the package", names.a[i]);
            continue;
        }
        RecordDb* art = nullptr;
        if (DbOpenEmbedded(entry->name, &art, entry->offset, entry->installedSize, PackageFile) !=
            0) {
            LogPrintf("Couldn't open art %s", entry->name);
            continue;
        }
        LogPrintf("Merging art %s", entry->name);
        DbForEachRecord(art, CopyArtRecordFilter);
        DbRelease(art);
        if (UserAbort) return Stop();
        FlushPendingRecords();
        if (UserAbort) return Stop();
    }
    DbClose(MigrationState.NewMainDb);
    MigrationState.NewMainDb = nullptr;
    CloseProgress();
    return 1;
}

// The old database is only read: opened for reading, a read-only file (a copy from a CD-ROM)
// is migrated too, and closing it leaves the client's own index beside it.
void OpenOldMainDb(void) {
    char idb[MAX_PATH_TEXT];
    JoinPath(idb, InstallSettings.PreviousDir, "IDB", (const char*)nullptr);
    if (MigrationInPlace()) {
        char path[MAX_PATH_TEXT];
        JoinPath(path, idb, "OLD.DB", (const char*)nullptr);
        if (DbOpenReadOnly(path, &MigrationState.OldMainDb) != 0)
            MigrationState.OldMainDb = nullptr;
    } else {
        // An in-place install that ended before its migration was through left the user's
        // database as OLD.DB beside the package's own: the records come from the user's.
        char path[MAX_PATH_TEXT];
        if (!FindUserMainDb(path, idb, nullptr)) {
            LogPrintf("No database %lx in %s", (unsigned long)DB_ID_MAIN, idb);
            path[0] = 0;
        }
        if (!path[0] || DbOpenReadOnly(path, &MigrationState.OldMainDb) != 0)
            MigrationState.OldMainDb = nullptr;
    }
    if (!MigrationState.OldMainDb) {
        LogPrintf("Couldn't open old db");
        return;
    }
    uint8_t version[3] = {0, 0, 0};
    DbReadRecordBounded(MigrationState.OldMainDb, GID_VERSION, version, sizeof version, nullptr);
    MigrationState.OldDbVersion[0] = version[1];
    MigrationState.OldDbVersion[1] = version[2];
    LogPrintf("Old version: %u.%u", version[1], version[2]);
}

// The queued copies are not run without the old database; they are dropped, and the old
// files stay where they are.
void DropQueuedCopies(void) {
    if (!MigrationState.CopyQueue) return;
    LogPrintf("Dropped %u queued copies", (unsigned)MigrationState.CopyQueueCount);
    while (CopyQueueItem* item = MigrationState.CopyQueue) {
        MigrationState.CopyQueue = item->next;
        MemFree(item);
    }
    MigrationState.CopyQueueCount = 0;
}

int SetNewVersion(void) {
    uint16_t length = 0;
    uint8_t* record =
        (uint8_t*)DbReadRecord(MigrationState.NewMainDb, GID_VERSION, nullptr, &length);
    if (!record) {
        LogPrintf("New db has no version record");
        return Fail(FATAL_DB_NO_VERSION);
    }
    // A record too short to hold both numbers is lengthened to hold them.
    uint16_t written = length < 3 ? 3 : length;
    uint8_t* data = record;
    if (written != length) {
        data = (uint8_t*)MemAlloc(written);
        memcpy(data, record, length);
    }
    data[1] = InstallSettings.DbVersion[0];
    data[2] = InstallSettings.DbVersion[1];
    int ok = DbWriteRecord(MigrationState.NewMainDb, GID_VERSION, data, written, DB_TYPE_BINARY);
    if (data != record) MemFree(data);
    MemFree(record);
    if (!ok) return Fail(FATAL_DB_VERSION_WRITE);
    LogPrintf("New version: %u.%u", InstallSettings.DbVersion[0], InstallSettings.DbVersion[1]);
    return 1;
}

int DeleteStale990Record(RecordDb* db, uint32_t gid, uint16_t length) {
    for (uint32_t stale : STALE_990_GIDS)
        if (gid == stale) return DbDeleteRecord(db, gid);
    return 1;
}

// Connection records whose two checked bytes are not both set are written back as they
// are: stored plain, which the client reads whatever its scrambling.
int RewriteConnectionRecord(RecordDb* db, uint32_t gid, uint16_t length) {
    if (length != CONNECTION_RECORD) return 1;
    uint8_t record[CONNECTION_RECORD];
    if (!DbReadRecordBounded(db, gid, record, sizeof record, nullptr)) return 1;
    if (record[CONNECTION_CHECK_A] != 0 && record[CONNECTION_CHECK_B] != 0) return 1;
    if (DbIsNewForm(db)) DbWriteRecord(db, gid, record, sizeof record, DB_TYPE_BINARY);
    else DbWriteRecordOldForm(db, gid, record, sizeof record, DB_TYPE_BINARY);
    return 1;
}

void EditNewDatabases(void) {
    char idb[MAX_PATH_TEXT];
    JoinPath(idb, InstallSettings.DestDir, "IDB", (const char*)nullptr);
    if (DbOpenById(idb, DB_ID_990, &MigrationState.Db990) == 0)
        DbForEachRecord(MigrationState.Db990, DeleteStale990Record);
    else MigrationState.Db990 = nullptr;
    if (DbOpenById(idb, DB_ID_EF, &MigrationState.DbEF) == 0)
        DbForEachRecord(MigrationState.DbEF, RewriteConnectionRecord);
    else MigrationState.DbEF = nullptr;
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}

void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// A network connection instead of a modem: the connection the client has selected is
// switched to the network. Whatever is missing or out of range leaves it as it is.
void SelectNetworkConnection(void) {
    uint16_t listLength = 0;
    uint8_t* list =
        MigrationState.DbEF
            ? (uint8_t*)DbReadRecord(MigrationState.DbEF, GID_CONNECTION_LIST, nullptr, &listLength)
            : nullptr;
    uint32_t n = DbReadNumber(MigrationState.NewMainDb, GID_GRAPH_LIST_INDEX);
    if (!list || n == 0 || n > 0x3FFFFFFFu || 4 * n - 2 + 4 > listLength) {
        LogPrintf("No selected connection to switch (index %lu)", (unsigned long)n);
        if (list) MemFree(list);
        return;
    }
    uint32_t selected = Le32(list + 4 * n - 2);
    MemFree(list);
    uint16_t length = 0;
    uint8_t* record = (uint8_t*)DbReadRecord(MigrationState.DbEF, selected, nullptr, &length);
    if (!record || length < CONNECTION_FIELD_B + 4) {
        LogPrintf("Connection %lu is missing or short", (unsigned long)selected);
        if (record) MemFree(record);
        return;
    }
    PutLe32(record + CONNECTION_FIELD_A, CONNECTION_TCP_VALUE);
    PutLe32(record + CONNECTION_FIELD_B, CONNECTION_TCP_VALUE);
    int ok =
        DbIsNewForm(MigrationState.DbEF)
            ? DbWriteRecord(MigrationState.DbEF, selected, record, length, DB_TYPE_BINARY)
            : DbWriteRecordOldForm(MigrationState.DbEF, selected, record, length, DB_TYPE_BINARY);
    LogPrintf("Connection %lu set to the network%s", (unsigned long)selected, ok ? "" : " failed");
    MemFree(record);
}

void StoreModem(const char* name, const char* profile) {
    DbWriteText(MigrationState.NewMainDb, GID_MODEM_NAME, name);
    DbWriteText(MigrationState.NewMainDb, GID_MODEM_PROFILE, profile);
}

void StoreDefaultModem(void) {
    char name[MODEM_TEXT];
    CopyText(name, LoadMessage(1, IDS_MODEM_BASIC), sizeof name);
    StoreModem(name, LoadCaption(IDS_PROFILE_CLASS33));
    ModemSettings.port = DEFAULT_PORT;
    ModemSettings.speedIndex = DEFAULT_SPEED_INDEX;
}

void CarryOldModemName(void) {
    char name[MODEM_TEXT] = "";
    DbReadText(MigrationState.OldMainDb, GID_MODEM_NAME, name, sizeof name);
    // Names of the old form carry the port in parentheses: "Modem X (COM2)" -> "Modem X".
    if (!DbIsNewForm(MigrationState.OldMainDb)) {
        if (char* paren = FindLastCharMb(name, '(')) {
            if (paren > name) paren = (char*)SysCharPrev(name, paren);
            *paren = 0;
        }
    }
    DbWriteText(MigrationState.NewMainDb, GID_MODEM_NAME, name);
    char profile[MODEM_TEXT] = "";
    DbReadText(MigrationState.OldMainDb, GID_MODEM_PROFILE, profile, sizeof profile);
    DbWriteText(MigrationState.NewMainDb, GID_MODEM_PROFILE, profile);
    LogPrintf("Modem carried over: %s (%s)", name, profile);
}

void StoreModemRecords(void) {
    if (InstallSettings.PreviousDir[0]) {
        if (SameName(ModemSettings.profile, LoadCaption(IDS_TCP_PROFILE))) {
            SelectNetworkConnection();
            StoreDefaultModem();
        } else if (MigrationState.OldMainDb &&
                   DbRecordLength(MigrationState.OldMainDb, GID_MODEM_NAME) > 0) {
            CarryOldModemName();
        } else {
            MigrateModemFromIni();
        }
        return;
    }
    char plain[MODEM_TEXT], correction[MODEM_TEXT];
    CopyText(plain, LoadMessage(1, IDS_MODEM_BASIC), sizeof plain);
    CopyText(correction, LoadMessage(1, IDS_MODEM_ERROR_CORRECTION), sizeof correction);
    if (SameName(ModemSettings.description, plain) ||
        SameName(ModemSettings.description, correction)) {
        StoreModem(ModemSettings.description, ModemSettings.profile);
    } else if (SkipModem) {
        StoreDefaultModem();
    } else if (MigratePlatform.detectModem && MigratePlatform.detectModem(&ModemSettings)) {
        StoreModem(ModemSettings.description, ModemSettings.profile);
    } else {
        StoreDefaultModem();
    }
}

void StoreFolders(void) {
    char download[MAX_PATH_TEXT];
    JoinPath(download, InstallSettings.DestDir, LoadCaption(IDS_DOWNLOAD_DIR),
             (const char*)nullptr);
    DbWriteRecord(MigrationState.NewMainDb, GID_DOWNLOAD_FOLDER, download,
                  (uint16_t)strlen(download), DB_TYPE_BINARY);
    DbWriteRecord(MigrationState.NewMainDb, GID_INSTALL_FOLDER, InstallSettings.DestDir,
                  (uint16_t)strlen(InstallSettings.DestDir), DB_TYPE_BINARY);
}

// The old database of an in-place install goes once everything the rules carry from it is
// in the new one; otherwise it stays for the user (or the next run) to recover from.
// A database whose open passed over damage may hold records the index never saw: those are
// nowhere else.
void RemoveOldDatabase(int oldWasOpen, uint32_t oldDamage) {
    char path[MAX_PATH_TEXT];
    JoinPath(path, InstallSettings.PreviousDir, "IDB", "OLD.DB", (const char*)nullptr);
    if (!oldWasOpen) {
        LogPrintf("Keeping %s: it could not be opened", path);
    } else if (oldDamage) {
        LogPrintf("Keeping %s: it is damaged and may hold records that could not be read", path);
    } else if (MigrationState.CarriedRecordsLost) {
        LogPrintf("Keeping %s: %lu records were not carried over", path,
                  (unsigned long)MigrationState.CarriedRecordsLost);
    } else if (JournalActive()) {
        // The earlier installation needs it back until the install is committed.
        char rel[260];
        if (JournalRelative(path, rel, sizeof rel) && JournalWrite(JOURNAL_DISCARD, rel))
            LogPrintf("%s goes when the install is committed", path);
        else LogPrintf("Keeping %s: the journal could not say it goes", path);
    } else {
        char oem[MAX_PATH_TEXT];
        CopyText(oem, path, sizeof oem);
        SysAnsiToOem(oem);
        int ok = SysDelete(oem);
        LogPrintf("Deleted %s%s", path, ok ? "" : " failed");
    }
}

void Register(void) {
    MigratePlatform.setRapidWebDefault();
    if (!MigratePlatform.isWindows95()) return;
    MigratePlatform.mergeHelpContents();
    if (NoDesktopItems) LogPrintf("No desktop items: shortcut choice skipped");
    else if (MigratePlatform.shortcutDialog) MigratePlatform.shortcutDialog();
    MigratePlatform.registerUninstall();
}

}  // namespace

MigrationStateT MigrationState;

int MigrationInPlace(void) {
    return SameFolder(InstallSettings.PreviousDir, InstallSettings.DestDir);
}

void ResetMigrationState(void) {
    CloseMigrationDatabases();
    FreeCopyQueue();
    ForgetTransferRenames();
    MigrationState = {};
}

void CloseMigrationDatabases(void) {
    // Records still waiting belong to a migration that ends here.
    while (PendingRecord* item = MigrationState.PendingRecords) {
        MigrationState.PendingRecords = item->next;
        MemFree(item);
    }
    MigrationState.PendingBytes = 0;
    if (MigrationState.NewMainDb) DbClose(MigrationState.NewMainDb);
    if (MigrationState.OldMainDb) DbClose(MigrationState.OldMainDb);
    // Closing also deletes their companion indexes, which no longer match what was edited.
    if (MigrationState.Db990) DbClose(MigrationState.Db990);
    if (MigrationState.DbEF) DbClose(MigrationState.DbEF);
    MigrationState.NewMainDb = MigrationState.OldMainDb = MigrationState.Db990 =
        MigrationState.DbEF = nullptr;
    CloseProgress();
    ForgetMovedOriginals();
}

void FlushPendingRecords(void) {
    while (PendingRecord* item = MigrationState.PendingRecords) {
        int type = (item->gid >> 24) == ART_GID_TOP ? DB_TYPE_ART : DB_TYPE_BINARY;
        if (DbWriteRecord(MigrationState.NewMainDb, item->gid, item->data, item->length, type)) {
            LogPrintf("Wrote GID %lu (size %u)", (unsigned long)item->gid, item->length);
        } else {
            LogPrintf("Failed to write GID %lu", (unsigned long)item->gid);
            if (MigrationState.CopyingOldRecords) MigrationState.CarriedRecordsLost++;
        }
        MigrationState.PendingRecords = item->next;
        MemFree(item);
        if (UserAbort) break;
        Seat.pump();
    }
    // After a cancel the rest is not written; it is still counted as not carried.
    while (PendingRecord* item = MigrationState.PendingRecords) {
        if (MigrationState.CopyingOldRecords) MigrationState.CarriedRecordsLost++;
        MigrationState.PendingRecords = item->next;
        MemFree(item);
    }
    MigrationState.PendingBytes = 0;
}

int MigrateInstallation(void) {
    LogPrintf("Migrating into %s", InstallSettings.DestDir);
    MigrationState.CarriedRecordsLost = 0;
    MigrationState.CopyingOldRecords = 0;
    MigrationState.SettingsTransferred = 0;
    MigrationState.OldDbVersion[0] = MigrationState.OldDbVersion[1] = 0;
    const int hasPrevious = InstallSettings.PreviousDir[0] != 0;

    // 1-2. Art carried by the package.
    if (!MergeArt(InstallSettings.MergedFilesA, InstallSettings.MergedTableA,
                  MigratePlatform.artLevel(), IDD_GRAPHICS_REQUESTED))
        return 0;
    if (!MergeArt(InstallSettings.MergedFilesB, InstallSettings.MergedTableB, 0xFFFF, IDD_GRAPHICS))
        return 0;

    // 3. The earlier installation.
    if (hasPrevious) {
        MigrationState.MoveOldDownloads = AskNoticeYesNo(Message(IDS_MOVE_DOWNLOADS)) ? 1 : 0;
        LogPrintf("Move old downloads: %s", MigrationState.MoveOldDownloads ? "yes" : "no");
        OpenProgress(IDD_MIGRATE);
        if (!MigrationInPlace()) TransferFolders(0);
        SetGaugePosition(1);
        OpenOldMainDb();
        SetGaugePosition(2);
    }
    Seat.pump();

    // 5-6.
    if (!OpenNewMainDb()) return Fail(FATAL_DB_OPEN);
    static const uint8_t settingsMark[4] = {0, 0, 0, 1};
    DbWriteRecord(MigrationState.NewMainDb, GID_SETTINGS_MARK, settingsMark, sizeof settingsMark,
                  DB_TYPE_BINARY);

    // 7. The user's records and files.
    if (MigrationState.OldMainDb) {
        SetGaugeRange(DbRecordCount(MigrationState.OldMainDb) + MigrationState.CopyQueueCount);
        SetGaugePosition(0);
        MigrationState.CopyingOldRecords = 1;
        DbForEachRecord(MigrationState.OldMainDb, CopyOldRecordFilter);
        if (UserAbort) return Stop();
        FlushPendingRecords();
        MigrationState.CopyingOldRecords = 0;
        if (UserAbort) return Stop();
        ConvertPasswordList();
        RunQueuedCopies();
    } else {
        DropQueuedCopies();
    }

    // 8-10. Version and the texts of the install script.
    if ((InstallSettings.DbVersion[0] || InstallSettings.DbVersion[1]) && !SetNewVersion())
        return 0;
    if (InstallSettings.VersionText[0] &&
        !DbWriteText(MigrationState.NewMainDb, GID_VERSION_TEXT, InstallSettings.VersionText))
        return Fail(FATAL_DB_VERSION_TEXT);
    if (ResourceTag[0] && !DbWriteText(MigrationState.NewMainDb, GID_RESOURCE_TAG, ResourceTag))
        return Fail(FATAL_DB_RESOURCE_TAG);

    // 11.
    EditNewDatabases();
    if (UserAbort) return Stop();

    // 12-16. Modem and settings.
    StoreModemRecords();
    if (InstallSettings.ClientTextA[0])
        DbWriteText(MigrationState.NewMainDb, GID_CLIENT_TEXT_A, InstallSettings.ClientTextA);
    if (InstallSettings.ClientTextB[0])
        DbWriteText(MigrationState.NewMainDb, GID_CLIENT_TEXT_B, InstallSettings.ClientTextB);
    DbWriteNumber(MigrationState.NewMainDb, GID_PORT, (uint32_t)ModemSettings.port);
    DbWriteNumber(MigrationState.NewMainDb, GID_SPEED_INDEX, (uint32_t)ModemSettings.speedIndex);
    DbWriteNumber(MigrationState.NewMainDb, GID_SECOND_SPEED_INDEX,
                  (uint32_t)ModemSettings.speedIndex);
    StoreFolders();
    // A disk-full retry the user declined in the steps above stops the migration here, while
    // the old database is still whole: past this point it may be deleted.
    if (UserAbort) return Stop();

    // 17-18.
    const int oldWasOpen = MigrationState.OldMainDb != nullptr;
    const uint32_t oldDamage = MigrationState.OldMainDb ? MigrationState.OldMainDb->damage : 0;
    MigrationState.SettingsTransferred = oldWasOpen ? 1 : 0;
    DeleteMovedOriginals();
    CloseMigrationDatabases();
    if (MigrationInPlace()) RemoveOldDatabase(oldWasOpen, oldDamage);

    // 19-24. The system learns where the new client lives.
    if (MigrationState.OldDbVersion[0] < OLD_NAMES_VERSION) {
        MigratePlatform.registryDelete(MIGRATE_ROOT_MACHINE, CLIENT_KEY);
        LogPrintf("Cleared INI settings");
    }
    MigrateSoundEvents();
    MigratePlatform.profileWrite("WKOV", "Installed", "US");
    MigratePlatform.profileWrite("WKOV", "AppPath", InstallSettings.DestDir);
    MigratePlatform.registryUpdate(MIGRATE_ROOT_MACHINE, CLIENT_KEY, "AppPath",
                                   InstallSettings.DestDir);
    MigratePlatform.registryUpdate(MIGRATE_ROOT_USER, CLIENT_KEY, "AppPath",
                                   InstallSettings.DestDir);
    Register();
    return 1;
}
