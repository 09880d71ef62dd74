// The cost of keeping the earlier files of an in-place update: the demo package installed
// natively over an earlier installation of itself, with the earlier files moved aside into
// the journal's backup folder and deleted at the commit, and without (the install that has
// no room for them overwrites in place). Each run starts from the same earlier tree; time is
// this program's clock around InstallFiles and the commit, bytes written are the process's
// own count of bytes handed to write calls.
//   bench_rollback PACKAGE WORKDIR RUNS
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "install/install.h"
#include "install/rollback.h"
#include "install/state.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/native_dunzip.h"

namespace {

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void Run(const std::string& cmd) {
    if (system(cmd.c_str()) != 0) {
        fprintf(stderr, "failed: %s\n", cmd.c_str());
        exit(1);
    }
}

// Bytes this process has handed to write calls so far.
unsigned long long WrittenBytes() {
    FILE* f = fopen("/proc/self/io", "r");
    unsigned long long n = 0;
    char line[128];
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "wchar: %llu", &n) == 1) break;
    if (f) fclose(f);
    return n;
}

struct Result {
    double seconds;
    unsigned long long bytes;
    unsigned long renames, deletes, writes;
};

// One in-place install over the earlier tree; backups when the drive has room for them.
Result InstallOnce(const std::string& c, bool backups) {
    Run("rm -rf '" + c + "/KOV' && cp -a '" + c + "/EARLIER' '" + c + "/KOV' && sync");
    // Room for everything, or 4 KB free: the estimate without the savings then fails.
    SysSetDiskGeometry('C', 8, 512, backups ? 1000000 : 1, 1000000);
    ResetInstallState();
    LogReset();
    strcpy(InstallSettings.PreviousDir, "C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    SetupError = 0;
    unsigned long renames = SysCallsMade(SYS_FAULT_RENAME),
                  deletes = SysCallsMade(SYS_FAULT_DELETE), writes = SysCallsMade(SYS_FAULT_WRITE);
    unsigned long long bytes = WrittenBytes();
    double t0 = Now();
    int ok = InstallFiles();
    if (ok) CommitInstall();
    double t1 = Now();
    Result r = {t1 - t0, WrittenBytes() - bytes, SysCallsMade(SYS_FAULT_RENAME) - renames,
                SysCallsMade(SYS_FAULT_DELETE) - deletes, SysCallsMade(SYS_FAULT_WRITE) - writes};
    if (!ok || JournalKeepsLogAway()) {
        fprintf(stderr, "install failed or left its journal (error %u)\n%s", SetupError,
                LogTraceText());
        exit(1);
    }
    if (backups != (strstr(LogTraceText(), "Install committed") != nullptr)) {
        fprintf(stderr, "backups %sexpected\n%s", backups ? "" : "not ", LogTraceText());
        exit(1);
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: bench_rollback PACKAGE WORKDIR RUNS\n");
        return 2;
    }
    std::string work = argv[2], c = work + "/C";
    int runs = atoi(argv[3]);
    Run("rm -rf '" + c + "' && mkdir -p '" + c + "/WINDOWS/SYSTEM'");
    SysMapDrive('C', c.c_str(), 3);
    SysSetSystemDir("C:\\WINDOWS\\SYSTEM");
    UseNativeDunzip();
    strcpy(InstallFile, argv[1]);
    InstallFileGiven = 1;
    strcpy(WindowsDir, "C:\\WINDOWS");
    if (!OpenPackage() || !ReadInstallScript()) {
        fprintf(stderr, "cannot read the package (error %u)\n", SetupError);
        return 1;
    }
    // The earlier installation: the same package installed into a folder of its own.
    strcpy(InstallSettings.DestDir, "C:\\EARLIER");
    if (!InstallFiles()) {
        fprintf(stderr, "the earlier installation failed (error %u)\n%s", SetupError,
                LogTraceText());
        return 1;
    }
    std::vector<Result> with, without;
    for (int i = 0; i < runs; i++) {
        with.push_back(InstallOnce(c, true));
        without.push_back(InstallOnce(c, false));
    }
    auto median = [](std::vector<Result> v) {
        std::sort(v.begin(), v.end(),
                  [](const Result& a, const Result& b) { return a.seconds < b.seconds; });
        return v[v.size() / 2];
    };
    Result a = median(with), b = median(without);
    printf("entries %u, installed %.1f MB, %d runs each, medians:\n", FileTable->count,
           FileTable->total / 1e6, runs);
    printf("%-26s %8s %14s %8s %8s %8s\n", "in place", "seconds", "bytes written", "writes",
           "renames", "deletes");
    printf("%-26s %8.3f %14llu %8lu %8lu %8lu\n", "earlier files moved aside", a.seconds, a.bytes,
           a.writes, a.renames, a.deletes);
    printf("%-26s %8.3f %14llu %8lu %8lu %8lu\n", "overwritten (no backups)", b.seconds, b.bytes,
           b.writes, b.renames, b.deletes);
    printf("time ratio %.2f, bytes ratio %.4f\n", a.seconds / b.seconds, (double)a.bytes / b.bytes);
    ClosePackage();
    Run("rm -rf '" + c + "'");
    return 0;
}
