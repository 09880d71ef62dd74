// Small driver for bench/clientdb.sh: times the record database code itself, without a
// process start per operation.
//   clientdb_driver open FILE          open, iterate every entry, close (best of 3)
//   clientdb_driver write FILE N       open, write N new records of 32 bytes, close
#include "clientdb/access.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

static unsigned long g_bytes;
static int Count(RecordDb*, uint32_t, uint16_t length) {
    g_bytes += length;
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: clientdb_driver open FILE | write FILE N\n");
        return 2;
    }
    RecordDb* db = nullptr;
    if (!strcmp(argv[1], "open")) {
        double open = 1e9, iterate = 1e9;
        unsigned count = 0;
        for (int round = 0; round < 3; round++) {
            double t0 = Now();
            if (DbOpen(argv[2], &db) != 0) {
                fprintf(stderr, "cannot open %s\n", argv[2]);
                return 3;
            }
            double t1 = Now();
            g_bytes = 0;
            DbForEachRecord(db, Count);
            double t2 = Now();
            count = DbRecordCount(db);
            DbRelease(db);
            if (t1 - t0 < open) open = t1 - t0;
            if (t2 - t1 < iterate) iterate = t2 - t1;
        }
        printf("open %.3f s, iterate %.3f s (best of 3), %u entries, %lu data bytes\n", open,
               iterate, count, g_bytes);
        return 0;
    }
    if (strcmp(argv[1], "write") || argc < 4) return 2;
    unsigned n = unsigned(atoi(argv[3]));
    double t0 = Now();
    if (DbOpen(argv[2], &db) != 0) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 3;
    }
    double t1 = Now();
    char data[32];
    memset(data, 'w', sizeof data);
    for (unsigned i = 0; i < n; i++) {
        if (!DbWriteRecord(db, 0x20000000u + i, data, sizeof data, 'b')) {
            fprintf(stderr, "write %u failed\n", i);
            return 4;
        }
    }
    double t2 = Now();
    printf("open %.3f s, %u writes %.3f s, %u entries\n", t1 - t0, n, t2 - t1, DbRecordCount(db));
    DbClose(db);
    return 0;
}
