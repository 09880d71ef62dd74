// System files and the deferred-move batch file.
#include "install/sysfiles.h"
#include "install/state.h"

#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "record/installrec.h"
#include "res/strings.h"
#include "sys/sys.h"

void GetFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) {
    uint32_t ms = 0, ls = 0;
    if (!path || !SysFileVersion(path, &ms, &ls)) ms = ls = 0;
    *mostSignificant = ms;
    *leastSignificant = ls;
}

int CompareFileVersions(const char* newPath, const char* existingPath) {
    uint32_t newMs, newLs, oldMs, oldLs;
    GetFileVersion(newPath, &newMs, &newLs);
    GetFileVersion(existingPath, &oldMs, &oldLs);
    int newHas = newMs || newLs, oldHas = oldMs || oldLs;
    if (!newHas && !oldHas) return NEITHER_VERSIONED;
    if (!newHas) return ONLY_EXISTING_VERSIONED;
    if (!oldHas) return ONLY_NEW_VERSIONED;
    if (oldMs != newMs) return oldMs < newMs ? NEW_VERSION_HIGHER : EXISTING_VERSION_HIGHER;
    if (oldLs != newLs) return oldLs < newLs ? NEW_VERSION_HIGHER : EXISTING_VERSION_HIGHER;
    return VERSIONS_EQUAL;
}

static void WriteCommand(const char* format, const char* a, const char* b) {
    char line[1024];
    int n = Format(line, sizeof line, format, a, b);
    if (InstallState.RestsysFile && n > 0)
        SysWrite(InstallState.RestsysFile, line, (unsigned long)n);
}

int OpenRestsysBatch(void) {
    if (!InstallSettings.DeferInUseFiles || !InstallSettings.DestDir[0]) return 0;
    if (InstallState.RestsysFile) return 1;
    // The install step opens it before the file copy has created the destination.
    MakePathRecorded(InstallSettings.DestDir);
    Format(InstallState.RestsysPath, sizeof InstallState.RestsysPath, "%s\\%s",
           InstallSettings.DestDir, "restsys.bat");
    InstallState.RestsysFile = SysCreate(InstallState.RestsysPath);
    if (!InstallState.RestsysFile) {
        LogPrintf("Couldn't create %s", InstallState.RestsysPath);
        return 0;
    }
    RecordFile(InstallState.RestsysPath);
    WriteCommand("@echo off\r\n\r\n", nullptr, nullptr);
    return 1;
}

int AddDeferredMove(const char* from, const char* to) {
    if (!InstallState.RestsysFile) return 0;
    WriteCommand("move %s %s > nul\r\n\r\n", from, to);
    return 1;
}

void FinishRestsysBatch(void) {
    if (!InstallState.RestsysFile) return;
    if (InstallSettings.ClientUpdateMode) {
        static const char* const kinds[] = {"tod", "utf", "aaa", "phx", "exe", "dll"};
        char format[64];
        for (const char* kind : kinds) {
            Format(format, sizeof format, "del %%s\\tod\\*.%s\r\n\r\n", kind);
            WriteCommand(format, InstallSettings.DestDir, nullptr);
        }
    }
    WriteCommand("del %s\r\n\r\n", InstallState.RestsysPath, nullptr);
    SysClose(InstallState.RestsysFile);
    InstallState.RestsysFile = 0;
}

int InstallSystemFile(const char* path) {
    InstallState.SystemFileCopied = 0;
    const char* name = GetNamePart(path);
    char systemDir[MAX_PATH_TEXT], systemPath[MAX_PATH_TEXT], target[MAX_PATH_TEXT];
    if (!SysSystemDir(systemDir, sizeof systemDir))
        JoinPath(systemDir, WindowsDir, "SYSTEM", (const char*)nullptr);
    JoinPath(systemPath, systemDir, name, (const char*)nullptr);

    int isNew = !FileExists(systemPath);
    if (isNew) {
        JoinPath(target, WindowsDir, "SYSTEM", name, (const char*)nullptr);
    } else {
        CopyText(target, systemPath, sizeof target);
        uint32_t current = GetFileDosTime(systemPath), install = GetFileDosTime(path);
        LogPrintf("System file %s exists (current=%lu, install=%lu)", target,
                  (unsigned long)current, (unsigned long)install);
        int c = CompareFileVersions(path, systemPath);
        // Without versions the later stamp wins; the same stamp installs the package's copy.
        int replace = c == NEITHER_VERSIONED
                          ? install >= current
                          : c != EXISTING_VERSION_HIGHER && c != ONLY_EXISTING_VERSIONED;
        if (!replace) {
            LogPrintf("Retaining existing");
            return SysDelete(path);
        }
        LogPrintf("Replacing existing");
        while (SysModuleLoaded(name)) {
            LogPrintf("In use; prompt");
            // Deferred only when the batch file is there to carry the move; otherwise (no
            // batch file, as with ClientUpdateMode alone) the user is asked to free it.
            if (InstallState.RestsysFile) {
                AddDeferredMove(path, systemPath);
                RestartWindows = 1;
                LogPrintf("Deferred to %s", InstallState.RestsysPath);
                return 1;
            }
            if (!AskRetryCancel(Message(IDS_SYSTEM_FILE_IN_USE))) {
                UserAbort = 1;
                return 1;
            }
        }
    }
    LogPrintf("Copy %s -> %s", path, target);
    if (!SysCopyFile(path, target)) {
        LogPrintf("Copy failed");
        // A part of a new file would pass for the system file; where one was replaced, what
        // is there is all that is left of it.
        if (!isNew) LogPrintf("%s may be incomplete", target);
        else if (SysDelete(target)) LogPrintf("Removed %s", target);
        else if (FileExists(target)) LogPrintf("Could not remove %s", target);
        return 0;
    }
    InstallState.SystemFileCopied = 1;
    return SysDelete(path);
}
