// setup.exe with a kill switch, for the kill campaign on the test machine (bench/faults-wine.sh):
// the very same program, but the copy that runs from the temporary folder ends itself at
// the nth call of one kind of file operation, as a task killed there would end.
//   KOV_END_AT="write 120"  ends at the 120th write of the temporary copy (kinds: open_read,
//                           open_write, read, write, seek, truncate, rename, delete, alloc)
//   KOV_FAIL_AT="alloc 40"  the 40th call of that kind and every one after it fail, as when
//                           memory has run out for good
//   KOV_CALLS=PATH          a run that ends normally writes its counts there, one
//                           "kind count" line each, so a campaign knows how far to walk
// Only the temporary copy is armed: the copy the user started does little but copy itself.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "setup/answers.h"
#include "setup/entry.h"
#include "sys/sys.h"

static const char* const kKinds[SYS_FAULT_KINDS] = {
    "open_read", "open_write", "read", "write", "seek", "truncate", "rename", "delete", "alloc"};

static int IsTemporaryCopy(void) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, sizeof module);
    const char* base = strrchr(module, '\\');
    return lstrcmpiA(base ? base + 1 : module, "setupthp.exe") == 0;
}

// Reads "kind nth" from the variable: the kind's number, or -1.
static int ReadPoint(const char* variable, unsigned long* nth) {
    const char* at = getenv(variable);
    char kind[32] = "";
    if (!at || sscanf(at, "%31s %lu", kind, nth) != 2) return -1;
    for (int k = 0; k < SYS_FAULT_KINDS; k++)
        if (strcmp(kind, kKinds[k]) == 0) return k;
    return -1;
}

static void ArmKillSwitch(void) {
    unsigned long nth = 0;
    int kind = ReadPoint("KOV_END_AT", &nth);
    if (kind >= 0) SysEndAtCall(kind, nth);
    kind = ReadPoint("KOV_FAIL_AT", &nth);
    if (kind >= 0) SysFailCalls(kind, nth, ~0ul);
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
    SetupMain(instance, commandLine);
    if (copy) WriteCounts();
    return (int)SetupExitCode;  // as setup.exe ends
}
