// Driver of bench/migrate.sh: runs the migration and the disk walk natively, on a drive C:
// mapped to a host folder, and reports time and memory.
//   migrate_driver migrate DRIVE_DIR   C:\OLD\IDB\MAIN.IDX into C:\NEW\IDB\MAIN.IDX
//   migrate_driver walk DRIVE_DIR [K]  walk C:\ for an installation; with K, Skip at folder K
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/seat.h"
#include "clientdb/access.h"
#include "migrate/migrate.h"
#include "migrate/platform.h"
#include "migrate/search.h"
#include "sys/sys.h"

static double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

static long PeakKb() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

static unsigned g_pumps, g_skipAt, g_pumpsAfterSkip;
static double g_skipTime;
static int CountingPump(void) {
    g_pumps++;
    if (SearchState.SearchAbort) g_pumpsAfterSkip++;
    if (g_skipAt && g_pumps == g_skipAt) {
        SearchState.SearchAbort = 1;  // what the Skip button does
        g_skipTime = Now();
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: migrate_driver migrate|walk DRIVE_DIR [K]\n");
        return 2;
    }
    SysMapDrive('C', argv[2], 3);
    SysSetDiskGeometry('C', 8, 512, 4000000, 8000000);
    ResetRunState();
    InstallSettings.ExpectedDbKind = 255;
    InstallSettings.ExpectedDbKindCode = -1;
    if (!strcmp(argv[1], "migrate")) {
        strcpy(InstallSettings.DestDir, "C:\\NEW");
        strcpy(InstallSettings.PreviousDir, "C:\\OLD");
        long before = PeakKb();
        double t0 = Now();
        int ok = MigrateInstallation();
        double t1 = Now();
        RecordDb* db = nullptr;
        unsigned records = DbOpen("C:\\NEW\\IDB\\MAIN.IDX", &db) == 0 ? DbRecordCount(db) : 0;
        DbClose(db);
        printf("migrate: result %d, %.2f s, %u records in the new database, peak RSS %ld KB "
               "(%ld KB before), trace %u KB\n",
               ok, t1 - t0, records, PeakKb(), before, LogTraceUsed() / 1024);
        return ok ? 0 : 1;
    }
    if (!strcmp(argv[1], "walk")) {
        g_skipAt = argc > 3 ? unsigned(atoi(argv[3])) : 0;
        Seat.pump = CountingPump;
        double t0 = Now();
        char folder[257];
        int found = PreviousVersionSearch(folder, nullptr);
        double t1 = Now();
        printf("walk: result %d (%s), %u folders in %.3f s", found, found ? folder : "none",
               g_pumps, t1 - t0);
        if (g_skipAt)
            printf(", Skip at folder %u: %u folders after it, search ended %.3f ms later", g_skipAt,
                   g_pumpsAfterSkip, (t1 - g_skipTime) * 1000);
        printf(", peak RSS %ld KB\n", PeakKb());
        return 0;
    }
    return 2;
}
