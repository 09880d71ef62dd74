// The migration's run-wide state in one place, so that one assignment puts all of it back to
// the start (ResetMigrationState, part of ResetRunState) and no value outlives the run, the
// test or the fuzz input that set it. The previous-version search keeps its own
// (migrate/search.h).
#pragma once
#include <stdint.h>

#include "clientdb/access.h"

// Held by pointer only; their layouts are the migration's own (migrate/internal.h).
struct PendingRecord;
struct CopyQueueItem;

struct MigrationStateT {
    RecordDb* NewMainDb = nullptr;
    RecordDb* OldMainDb = nullptr;
    RecordDb* Db990 = nullptr;  // the two databases edited in the new installation
    RecordDb* DbEF = nullptr;
    void* ProgressDialog = nullptr;
    int ProgressTemplate = 0;  // the open progress dialog, 0 when none
    uint32_t GaugePosition = 0;
    PendingRecord* PendingRecords = nullptr;
    uint32_t PendingBytes = 0;
    int CopyingOldRecords = 0;  // the pending records come from the old database
    // An old database was open: the closing phase then says the settings were carried over.
    uint32_t SettingsTransferred = 0;
    // Records of the old database that the rules carry but that could not be read or
    // written. While any is missing, the old database of an in-place install is kept.
    uint32_t CarriedRecordsLost = 0;
    // The earlier installation's database version (major, minor) as the migration read it;
    // 0.0 when there was none.
    uint16_t OldDbVersion[2] = {0, 0};
    // The folder transfer's copies, newest first, run by the migration's copy phase.
    CopyQueueItem* CopyQueue = nullptr;
    uint16_t CopyQueueCount = 0;
    // The user agreed to move the old download files (set by the migration driver).
    uint32_t MoveOldDownloads = 0;
};
extern MigrationStateT MigrationState;
