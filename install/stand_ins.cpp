// Stand-ins for the destination, space and system-file steps until their code lands here.
#include <stdint.h>
#include <string.h>
#include "base/globals.h"
#include "base/path.h"
#include "package/package.h"
#include "install/destination.h"
#include "install/space.h"
#include "install/sysfiles.h"
#include "migrate/transfer.h"
#include "sys/sys.h"
uint32_t OverwriteInPlace;
uint8_t PreviousDbVersion[2];
uint32_t ToolBytesFromOld;
void PrepareDestination(void) {
    OverwriteInPlace = SameName(InstallSettings.PreviousDir, InstallSettings.DestDir) &&
                       InstallSettings.PreviousDir[0];
    MakePath(InstallSettings.DestDir);
}
void CleanUpInstall(void) {
    char p[260];
    for (unsigned i = 0; FileTable && i < FileTable->count; i++) {
        if (OverwriteInPlace && IsPreservedFile(FileTable->entry[i]->name)) continue;
        DestPath(p, FileTable->entry[i]->name);
        SysDelete(p);
    }
}
void RestorePreviousInstall(void) {}
uint32_t GetFileSizeByName(const char* path) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    long n = SysFileSize(f);
    SysClose(f);
    return (uint32_t)n;
}
int InstallSystemFile(const char* path) { return 1; }
int IsPreservedFile(const char* name) {
    for (unsigned i = 0; i < InstallSettings.PreservedFiles.count; i++)
        if (!InstallSettings.PreservedFiles.b[i][0] &&
            SameName(InstallSettings.PreservedFiles.a[i], name))
            return 1;
    return 0;
}
