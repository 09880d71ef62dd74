// setup.exe with a kill switch, for the kill campaign on the test machine (bench/faults-wine.sh):
// the very same program, but the copy that runs from the temporary folder ends itself at
// the nth call of one kind of file operation, as a task killed there would end.
//   KOV_END_AT="write 120"  ends at the 120th write of the temporary copy (kinds: open_read,
//                           open_write, read, write, seek, truncate, rename, delete)
//   KOV_CALLS=PATH          a run that ends normally writes its counts there, one
//                           "kind count" line each, so a campaign knows how far to walk
// Only the temporary copy is armed: the copy the user started does little but copy itself.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "setup/entry.h"
#include "sys/sys.h"

static const char* const kKinds[SYS_FAULT_KINDS] = {"open_read", "open_write", "read",   "write",
                                                    "seek",      "truncate",   "rename", "delete"};

static int IsTemporaryCopy(void) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, sizeof module);
    const char* base = strrchr(module, '\\');
    return lstrcmpiA(base ? base + 1 : module, "setupthp.exe") == 0;
}

static void ArmKillSwitch(void) {
    const char* at = getenv("KOV_END_AT");
    if (!at || !*at) return;
    char kind[32] = "";
    unsigned long nth = 0;
    if (sscanf(at, "%31s %lu", kind, &nth) != 2) return;
    for (int k = 0; k < SYS_FAULT_KINDS; k++)
        if (strcmp(kind, kKinds[k]) == 0) SysEndAtCall(k, nth);
}

static void WriteCounts(void) {
    const char* path = getenv("KOV_CALLS");
    if (!path || !*path) return;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    for (int k = 0; k < SYS_FAULT_KINDS; k++) {
        char line[64];
        int n = snprintf(line, sizeof line, "%s %lu\n", kKinds[k], SysCallsMade(k));
        DWORD done;
        WriteFile(f, line, (DWORD)n, &done, NULL);
    }
    CloseHandle(f);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    int copy = IsTemporaryCopy();
    if (copy) ArmKillSwitch();
    int result = SetupMain(instance, commandLine);
    if (copy) WriteCounts();
    return result;
}
