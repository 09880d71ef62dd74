// The migration's own declarations, shared by the files of migrate/ and by the tests that
// drive its parts one by one. Nothing outside the folder includes this: the rest of the
// program sees only migrate.h, search.h, transfer.h, platform.h, registration.h and state.h.
#pragma once
#include <stdint.h>

#include "base/globals.h"
#include "base/path.h"
#include "clientdb/access.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/transfer.h"

enum {
    ART_GID_TOP = 0x01,           // top byte of the art records' GIDs
    PENDING_FLUSH_BYTES = 64000,  // pending record data written once the total exceeds it
    CONNECTION_RECORD = 348,      // the records of database 0x2000EF that are edited
    PASSWORD_BLOCK = 514,         // converted name and password list: count and texts
    OLD_NAMES_VERSION = 55,       // earlier majors kept settings the client no longer reads
};

// One record read from a source database, waiting to be written to the new one.
struct PendingRecord {
    PendingRecord* next;
    uint32_t gid;
    uint16_t length;
    uint8_t data[1];  // length bytes
};

// One queued copy; the queue is newest first and is run by the migration's copy phase.
struct CopyQueueItem {
    char source[FOLDER_TEXT_BYTES];
    char destination[FOLDER_TEXT_BYTES];
    uint32_t move;  // delete the source after the copy
    CopyQueueItem* next;
};

// The migration.
// The new installation replaces the earlier one in its own folder: the install has moved
// the old main database aside as IDB\OLD.DB.
int MigrationInPlace(void);

// Closes the main databases (and the two edited ones) and the progress dialog of the
// settings phase, on every way out.
void CloseMigrationDatabases(void);
void FlushPendingRecords(void);

// DbForEachRecord filters: which records are carried into the new main database.
int CopyOldRecordFilter(RecordDb* db, uint32_t gid, uint16_t length);
int CopyArtRecordFilter(RecordDb* db, uint32_t gid, uint16_t length);
// The file copies queued by the folder transfer: 1 when every copy succeeded. What they
// carry from the earlier installation is the user's and is recorded as such. The originals
// of moved files stay until DeleteMovedOriginals, once the migration is through: a migration
// that fails leaves the earlier installation whole.
int RunQueuedCopies(void);
void DeleteMovedOriginals(void);
// Forgets the originals still to delete (a migration that ends without success).
void ForgetMovedOriginals(void);
void MigrateSoundEvents(void);
void MigrateModemFromIni(void);
void ConvertPasswordList(void);

// The folder transfer.
// The new name of fileName under action ("*.old" -> extension "old", other text -> that
// name; "" and "move" keep the name). out: MAX_PATH_TEXT bytes.
char* TransferTargetName(char* out, const char* fileName, const char* action);
// Drops every queued copy without running it.
void FreeCopyQueue(void);
// Forgets the recorded renames (the install went through).
void ForgetTransferRenames(void);

// The previous-version search.
// 0 when the search was stopped before this folder, else 1.
int SearchFolderTree(const char* folder, const char* exeName);
// The verdict on a main database: 1 when its user list says it is in use.
int JudgeCandidate(const char* databasePath, ModemSettingsT* settingsOut);
// 1 when the database at path opens and its user list is in use; asks nothing.
int MainDatabaseInUse(const char* databasePath);
int DatabaseKindMatches(int32_t expectedCode, uint8_t expectedKind, const char* databasePath);
