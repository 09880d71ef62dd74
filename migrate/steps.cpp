// The steps of the migration: which records are carried, the queued file copies, sound
// events, the modem name of an old modem profile, and the user list turned into the new
// client's name and password list.
#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "clientdb/format.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/platform.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "package/package.h"
#include "record/installrec.h"
#include "res/strings.h"

namespace {

enum {
    MODEM_TITLE = 50,
    SOUND_VALUE = 257,
};

int IsCarried(uint32_t gid, int withToolModules) {
    const InstallSettingsT& s = InstallSettings;
    for (unsigned i = 0; i < s.CarriedRecordCount; i++)
        if (s.CarriedRecordIds[i] == gid) return 1;
    if (!withToolModules || s.CarriedRecordCount == 0) return 0;
    for (unsigned m = 0; m < s.ToolModuleCount && m < MAX_TOOL_MODULES; m++)
        for (const ToolKey* key = s.ToolModules[m].keys; key; key = key->next)
            if (key->key == gid) return 1;
    return 0;
}

// The two record filters differ in how far a record moves the gauge and in whether the
// tool modules' keys count as carried.
int CopyRecord(RecordDb* db, uint32_t gid, uint16_t length, uint32_t gaugeStep,
               int withToolModules) {
    if (UserAbort) return 0;
    MigrationState.GaugePosition += gaugeStep;
    if (MigrationState.ProgressDialog)
        Seat.progressGauge(MigrationState.ProgressDialog, MigrationState.GaugePosition);
    Seat.pump();
    if (length == 0) return 1;
    if (!IsCarried(gid, withToolModules) &&
        ((gid >> 24) != ART_GID_TOP || DbRecordLength(MigrationState.NewMainDb, gid) != 0))
        return 1;

    PendingRecord* item = (PendingRecord*)MemAlloc(sizeof(PendingRecord) + length);
    item->gid = gid;
    item->length = length;
    uint16_t got = 0;
    if (!DbReadRecordBounded(db, gid, item->data, length, &got) || got != length) {
        LogPrintf("Couldn't read GID %lu", (unsigned long)gid);
        MemFree(item);
        if (db == MigrationState.OldMainDb) MigrationState.CarriedRecordsLost++;
        return 1;
    }
    item->next = MigrationState.PendingRecords;
    MigrationState.PendingRecords = item;
    MigrationState.PendingBytes += length;
    if (MigrationState.PendingBytes > PENDING_FLUSH_BYTES) FlushPendingRecords();
    return 1;
}

// Cuts an old modem title before its last parenthesis, keeping what precedes it:
// "Modem X (COM2)" -> "Modem X ". A title without one is not a modem title.
void CutModemTitle(char* title) {
    char* paren = FindLastCharMb(title, '(');
    if (paren) *paren = 0;
    else title[0] = 0;
}

// One field of a user entry: at most its 11 bytes, terminated or not.
size_t FieldLength(const uint8_t* field) {
    size_t n = 0;
    while (n < USER_NAME_FIELD && field[n]) n++;
    return n;
}

}  // namespace

int CopyOldRecordFilter(RecordDb* db, uint32_t gid, uint16_t length) {
    return CopyRecord(db, gid, length, 1, 1);
}

int CopyArtRecordFilter(RecordDb* db, uint32_t gid, uint16_t length) {
    return CopyRecord(db, gid, length, length / 10, 0);
}

namespace {

// The originals of moved files, deleted once the migration is through.
struct MovedOriginal {
    MovedOriginal* next;
    char path[MAX_PATH_TEXT];  // OEM characters, as the copy used it
    char shown[MAX_PATH_TEXT];
};
MovedOriginal* MovedOriginals;

}  // namespace

void ForgetMovedOriginals(void) {
    while (MovedOriginal* m = MovedOriginals) {
        MovedOriginals = m->next;
        MemFree(m);
    }
}

void DeleteMovedOriginals(void) {
    while (MovedOriginal* m = MovedOriginals) {
        if (!SysDelete(m->path)) LogPrintf("Couldn't delete %s", m->shown);
        MovedOriginals = m->next;
        MemFree(m);
    }
}

int RunQueuedCopies(void) {
    int allCopied = 1;
    while (CopyQueueItem* item = MigrationState.CopyQueue) {
        LogPrintf("Copy: %s -> %s", item->source, item->destination);
        char from[MAX_PATH_TEXT], to[MAX_PATH_TEXT];
        CopyText(from, item->source, sizeof from);
        CopyText(to, item->destination, sizeof to);
        SysAnsiToOem(from);
        SysAnsiToOem(to);
        if (!SysCopyFile(from, to)) {
            LogPrintf("Copy failed");
            allCopied = 0;
        } else {
            // Carried from the earlier installation: the user's, kept by an uninstall that
            // keeps the user's data.
            RecordUserData(item->destination);
            if (item->move && MigrationState.MoveOldDownloads) {
                MovedOriginal* m = (MovedOriginal*)MemAlloc(sizeof(MovedOriginal));
                CopyText(m->path, from, sizeof m->path);
                CopyText(m->shown, item->source, sizeof m->shown);
                m->next = MovedOriginals;
                MovedOriginals = m;
            }
        }
        MigrationState.GaugePosition++;
        if (MigrationState.ProgressDialog)
            Seat.progressGauge(MigrationState.ProgressDialog, MigrationState.GaugePosition);
        Seat.pump();
        MigrationState.CopyQueue = item->next;
        MemFree(item);
    }
    MigrationState.CopyQueueCount = 0;
    return allCopied;
}

void MigrateSoundEvents(void) {
    const TextList& events = InstallSettings.SoundEvents;
    for (unsigned i = 0; i < events.count; i++) {
        const char* label = events.a[i];
        const char* sound = events.b ? events.b[i] : "";
        char value[SOUND_VALUE] = "";
        MigratePlatform.profileGet(nullptr, "sounds", label, value, sizeof value);
        // The user chose another sound for this event: it stays. The script may name the
        // sound with its folder in the installation; its file name is what is compared.
        if (value[0] && FileExists(value) && !SameName(GetNamePart(value), GetNamePart(sound))) {
            LogPrintf("Sound '%s' (%s) remains", value, label);
            continue;
        }
        char key[MAX_PATH_TEXT], path[MAX_PATH_TEXT];
        if (Format(key, sizeof key, "AppEvents\\Schemes\\Apps\\.Default\\%s\\.current", label) >=
            (int)sizeof key - 1) {
            LogPrintf("Sound label %s too long", label);
            continue;
        }
        JoinPath(path, InstallSettings.DestDir, sound, (const char*)nullptr);
        MigratePlatform.registryUpdate(MIGRATE_ROOT_USER, key, nullptr, path);
    }
}

void MigrateModemFromIni(void) {
    if (MigrationInPlace()) return;
    char profile[MAX_PATH_TEXT];
    JoinPath(profile, InstallSettings.PreviousDir, LoadCaption(IDS_MPM_DIR), ModemSettings.profile,
             (const char*)nullptr);
    char title[MODEM_TITLE];
    memset(title, 0, sizeof title);
    MigratePlatform.profileGet(profile, "ID", "Title", title, sizeof title);
    title[sizeof title - 1] = 0;
    CutModemTitle(title);

    char found[MODEM_TITLE] = "";
    if (title[0]) {
        char list[MAX_PATH_TEXT];
        JoinPath(list, InstallSettings.DestDir, LoadCaption(IDS_MPM_DIR), "MODEM.INI",
                 (const char*)nullptr);
        MigratePlatform.profileGet(list, "NAMES", title, found, sizeof found);
    }
    if (!found[0]) {
        LogPrintf("MDM match from old mdm format failed, using defaults");
        return;
    }
    if (DbWriteText(MigrationState.NewMainDb, GID_MODEM_NAME, title)) {
        DbWriteText(MigrationState.NewMainDb, GID_MODEM_PROFILE, found);
        LogPrintf("Storing old MDM name into new DB (%s)", title);
    } else {
        LogPrintf("Storage of old MDM name into new DB failed");
    }
}

void ConvertPasswordList(void) {
    if (DbRecordLength(MigrationState.NewMainDb, GID_PASSWORD_LIST) > 0) return;
    uint16_t length = 0;
    uint8_t* names =
        (uint8_t*)DbReadRecord(MigrationState.OldMainDb, GID_USER_NAMES, nullptr, &length);
    if (!names) return;

    char guest[USER_NAME_FIELD + 1], fresh[USER_NAME_FIELD + 1];
    CopyText(guest, LoadCaption(IDS_GUEST_NAME), sizeof guest);
    CopyText(fresh, LoadCaption(IDS_NEW_NAME), sizeof fresh);
    uint8_t* block = (uint8_t*)MemAlloc(PASSWORD_BLOCK);
    unsigned used = 2, strings = 0;
    for (unsigned i = 0; length > 0 && i < names[0]; i++) {
        unsigned start = 1 + USER_NAME_ENTRY * i;
        if (start + USER_NAME_ENTRY > length) {
            LogPrintf("User list ends after %u names", i);
            break;
        }
        const uint8_t* name = names + start;
        const uint8_t* password = name + USER_NAME_FIELD;
        char nameText[USER_NAME_FIELD + 1] = "";
        size_t nameLength = FieldLength(name), passwordLength = FieldLength(password);
        memcpy(nameText, name, nameLength);
        if (passwordLength == 0 || strcmp(nameText, guest) == 0 || strcmp(nameText, fresh) == 0)
            continue;
        if (used + nameLength + 1 + passwordLength + 1 > PASSWORD_BLOCK) {
            LogPrintf("Password list full after %u names", strings / 2);
            break;
        }
        memcpy(block + used, name, nameLength);
        used += (unsigned)nameLength + 1;
        memcpy(block + used, password, passwordLength);
        used += (unsigned)passwordLength + 1;
        strings += 2;
    }
    block[0] = (uint8_t)strings;
    block[1] = (uint8_t)(strings >> 8);
    if (!DbWriteRecord(MigrationState.NewMainDb, GID_PASSWORD_LIST, block, (uint16_t)used,
                       DB_TYPE_BINARY)) {
        LogPrintf("Failed to write GID %lu", (unsigned long)GID_PASSWORD_LIST);
        MigrationState.CarriedRecordsLost++;
    }
    LogPrintf("Converted passwords (%u names)", strings / 2);
    MemFree(block);
    MemFree(names);
}
