// Fuzzes the install record: any bytes as RM_KOV.LST, read back and undone over a small
// machine whose C: is a temporary folder. Whatever the record says, nothing outside the
// install's folders may go, and the reader must hold its counts.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "base/log.h"
#include "record/installrec.h"
#include "sys/sys.h"
#include "uninstall/undo.h"
#include "tests/fuzz/tempdir.h"

namespace {

std::string Root;

void Put(const char* relative, const char* data) {
    std::string path = Root + "/" + relative;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fputs(data, f);
    fclose(f);
}

bool Exists(const char* relative) {
    struct stat st;
    return stat((Root + "/" + relative).c_str(), &st) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (Root.empty()) {
        std::string dir = FuzzTempPath("fuzz_installrec_XXXXXX");
        if (!mkdtemp(&dir[0])) abort();
        Root = dir;
        SysMapDrive('C', Root.c_str(), 3);
    }
    // The installed tree, and files of others beside it: C:\KEEP.TXT, C:\KOV2\KEEP.TXT.
    for (const char* folder : {"KOV", "KOV/IDB", "KOV2", "WINDOWS"})
        mkdir((Root + "/" + folder).c_str(), 0755);
    Put("KOV/KOV.EXE", "x");
    Put("KOV/IDB/MAIN.IDX", "x");
    Put("KEEP.TXT", "x");
    Put("KOV2/KEEP.TXT", "x");
    std::string record = Root + "/KOV/RM_KOV.LST";
    FILE* f = fopen(record.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    InstallRecord read;
    if (ReadInstallRecord("C:\\KOV\\RM_KOV.LST", &read)) {
        if (read.count < 0 || (read.complete && read.skipped)) __builtin_trap();
        for (int i = 0; i < read.count; ++i)
            if (read.items[i].kind < 0 || read.items[i].kind >= ITEM_END) __builtin_trap();
        UndoContext ctx = {};
        ctx.record = &read;
        ctx.roots[0] = "C:\\KOV";
        ctx.roots[1] = "C:\\WINDOWS";
        ctx.rootCount = 2;
        ctx.removeUserData = size & 1;
        UndoRecord(&ctx, "C:\\KOV\\RM_KOV.LST", nullptr);
        FreeInstallRecord(&read);
        if (!Exists("KEEP.TXT") || !Exists("KOV2/KEEP.TXT")) __builtin_trap();
    }
    LogReset();
    return 0;
}
