// ResetRunState puts every run-wide value back to its start: a test or a fuzz input that
// follows another must not inherit what the last one left (an in-place flag, a database
// version, an open batch file).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/mem.h"
#include "base/seat.h"
#include "clientdb/access.h"
#include "install/destination.h"
#include "install/state.h"
#include "migrate/internal.h"
#include "migrate/search.h"
#include "migrate/state.h"
#include "setup/answers.h"
#include "setup/connect.h"
#include "sys/sys.h"
#include "tests/host/machine.h"

// Compares a member of the state with the same member of a freshly made state, byte for byte
// (arrays included), naming it on failure.
#define EXPECT_FRESH(state, fresh, member)                                       \
    EXPECT_EQ(0, memcmp(&(state).member, &(fresh).member, sizeof(fresh).member)) \
        << #member " survived ResetRunState"

TEST(ResetRunState, InstallStateBackToItsStart) {
    TestMachine machine;
    InstallStateT& s = InstallState;
    s.ClusterSize = 512;
    s.FreeMegabytes = 7;
    s.ToolBytesFromOld = 1234;
    s.PreviousDbVersion[0] = 3;
    s.PreviousDbVersion[1] = 9;
    s.FirstFileIndex = 1;
    s.UiRefreshMs = 0;
    memset(s.UnzipCommand, 0xA5, sizeof s.UnzipCommand);
    s.OverwriteInPlace = 1;
    strcpy(s.OldDbFoundPath, "C:\\OLD\\IDB\\MAIN.DB");
    s.PreviousInstallRestored = 1;
    s.PackageFilesWritten = 1;
    s.CleanedUp = 1;
    s.SystemFileCopied = 1;
    strcpy(s.RestsysPath, "C:\\restsys.bat");
    s.RestsysFile = SysCreate("C:\\restsys.bat");
    ASSERT_NE(s.RestsysFile, 0);

    ResetRunState();
    const InstallStateT fresh;
    EXPECT_FRESH(s, fresh, ClusterSize);
    EXPECT_FRESH(s, fresh, FreeMegabytes);
    EXPECT_FRESH(s, fresh, ToolBytesFromOld);
    EXPECT_FRESH(s, fresh, PreviousDbVersion);
    EXPECT_FRESH(s, fresh, FirstFileIndex);
    EXPECT_FRESH(s, fresh, UiRefreshMs);
    EXPECT_FRESH(s, fresh, UnzipCommand);
    EXPECT_FRESH(s, fresh, OverwriteInPlace);
    EXPECT_FRESH(s, fresh, OldDbFoundPath);
    EXPECT_FRESH(s, fresh, PreviousInstallRestored);
    EXPECT_FRESH(s, fresh, PackageFilesWritten);
    EXPECT_FRESH(s, fresh, CleanedUp);
    EXPECT_FRESH(s, fresh, SystemFileCopied);
    EXPECT_FRESH(s, fresh, RestsysPath);
    EXPECT_FRESH(s, fresh, RestsysFile);
    EXPECT_EQ(fresh.ClusterSize, (uint32_t)DEFAULT_CLUSTER_SIZE);
}

// An open journal is closed (its file stays on the disk for the next run) and forgotten.
TEST(ResetRunState, JournalStateBackToItsStart) {
    TestMachine machine;
    if (system(("mkdir -p '" + machine.Host("C:\\KOV") + "'").c_str()) != 0) {}
    machine.Write("C:\\KOV\\kov.exe", "MZ");
    ASSERT_TRUE(JournalBegin("C:\\KOV"));
    ASSERT_TRUE(JournalSetAside("C:\\KOV\\kov.exe"));
    JournalState.rolledBack = 1;

    ResetRunState();
    const JournalStateT fresh;
    JournalStateT& s = JournalState;
    EXPECT_FRESH(s, fresh, file);
    EXPECT_FRESH(s, fresh, dest);
    EXPECT_FRESH(s, fresh, path);
    EXPECT_FRESH(s, fresh, entries);
    EXPECT_FRESH(s, fresh, backups);
    EXPECT_FRESH(s, fresh, rolledBack);
    EXPECT_FRESH(s, fresh, text);
    EXPECT_FRESH(s, fresh, textUsed);
    EXPECT_FRESH(s, fresh, textSize);
    bool exists = false;
    ReadHostFile(machine.Host("C:\\KOV\\SETUPBAK\\JOURNAL.TXT"), &exists);
    EXPECT_TRUE(exists);
}

TEST(ResetRunState, MigrationSearchAndDatabaseStateBackToTheirStart) {
    MigrationStateT& s = MigrationState;
    // What the state owns is freed by the reset (the sanitizer reports a leak otherwise).
    auto* copy = (CopyQueueItem*)MemAlloc(sizeof(CopyQueueItem));
    memset(copy, 0, sizeof *copy);
    s.CopyQueue = copy;
    s.CopyQueueCount = 1;
    auto* pending = (PendingRecord*)MemAlloc(sizeof(PendingRecord));
    memset(pending, 0, sizeof *pending);
    s.PendingRecords = pending;
    s.PendingBytes = 100;
    s.GaugePosition = 5;
    s.CopyingOldRecords = 1;
    s.SettingsTransferred = 1;
    s.CarriedRecordsLost = 2;
    s.OldDbVersion[0] = 3;
    s.OldDbVersion[1] = 1;
    s.MoveOldDownloads = 1;
    DbFindUnreadable = 4;
    DbLastResync.scans = 2;
    SearchStateT& search = SearchState;
    search.SearchAbort = search.BestTime = search.NewerVersionAsked = 1;
    strcpy(search.BestFolder, "C:\\OLD");
    memset(&search.BestSettings, 0x5A, sizeof search.BestSettings);
    search.SearchDialog = &search;

    ResetRunState();
    const MigrationStateT fresh;
    EXPECT_FRESH(s, fresh, NewMainDb);
    EXPECT_FRESH(s, fresh, OldMainDb);
    EXPECT_FRESH(s, fresh, Db990);
    EXPECT_FRESH(s, fresh, DbEF);
    EXPECT_FRESH(s, fresh, ProgressDialog);
    EXPECT_FRESH(s, fresh, ProgressTemplate);
    EXPECT_FRESH(s, fresh, GaugePosition);
    EXPECT_FRESH(s, fresh, PendingRecords);
    EXPECT_FRESH(s, fresh, PendingBytes);
    EXPECT_FRESH(s, fresh, CopyingOldRecords);
    EXPECT_FRESH(s, fresh, SettingsTransferred);
    EXPECT_FRESH(s, fresh, CarriedRecordsLost);
    EXPECT_FRESH(s, fresh, OldDbVersion);
    EXPECT_FRESH(s, fresh, CopyQueue);
    EXPECT_FRESH(s, fresh, CopyQueueCount);
    EXPECT_FRESH(s, fresh, MoveOldDownloads);
    EXPECT_EQ(DbFindUnreadable, 0u);
    EXPECT_EQ(DbLastResync.scans, 0u);
    const SearchStateT freshSearch;
    EXPECT_FRESH(search, freshSearch, SearchAbort);
    EXPECT_FRESH(search, freshSearch, BestTime);
    EXPECT_FRESH(search, freshSearch, BestFolder);
    EXPECT_FRESH(search, freshSearch, BestSettings);
    EXPECT_FRESH(search, freshSearch, SearchDialog);
    EXPECT_FRESH(search, freshSearch, NewerVersionAsked);
}

// The unattended seat, or a test's fake, does not outlive its run: the next one starts on the
// seat a run with a user has, with every hook between the subsystems connected.
TEST(ResetRunState, SeatAndHooksBackToTheirStart) {
    TestMachine machine;
    UnattendedMode = 1;
    ConnectRun(1);
    EXPECT_EQ(Seat.unattended, 1);
    Seat.pump = [] { return 0; };
    TransferFoldersHook = nullptr;
    UndoTransferRenamesHook = nullptr;

    ResetRunState();
    EXPECT_EQ(0, memcmp(&Seat, &QuietSeat, sizeof Seat)) << "the seat survived ResetRunState";
    EXPECT_EQ(UnattendedMode, 0u);
    EXPECT_NE(TransferFoldersHook, nullptr);
    EXPECT_NE(UndoTransferRenamesHook, nullptr);
}
