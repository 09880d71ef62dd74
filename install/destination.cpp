// Destination preparation and clean-up, and two file queries used across the install engine.
#include "install/destination.h"

#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/format.h"
#include "base/path.h"
#include "base/text.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "install/rollback.h"
#include "install/space.h"
#include "install/state.h"
#include "package/package.h"
#include "package/script.h"
#include "record/installrec.h"
#include "res/strings.h"
#include "sys/sys.h"

static const char OLD_DB_NAME[] = "IDB\\" DB_OLD_MAIN_NAME;
// Leftover old databases kept under names of their own before an in-place install refuses.
enum { MAX_KEPT_OLD_DBS = 99 };

uint16_t (*TransferFoldersHook)(int renameMode);
void (*UndoTransferRenamesHook)(void);

char* DestPath(char* out, const char* name) {
    return JoinPath(out, InstallSettings.DestDir, name, (const char*)nullptr);
}

int IsPreservedFile(const char* name) {
    const TextList& list = InstallSettings.PreservedFiles;
    if (!name || !list.a) return 0;
    char patternDir[MAX_PATH_TEXT], nameDir[MAX_PATH_TEXT], patternBase[9], nameBase[9],
        patternExt[8], nameExt[8];
    GetDirPart(nameDir, name);
    GetBaseName8(nameBase, name);
    GetExtPart(nameExt, name);
    for (uint16_t i = 0; i < list.count; i++) {
        const char* pattern = list.a[i];
        const char* action = list.b && list.b[i] ? list.b[i] : "";
        if (!pattern || action[0]) continue;
        GetDirPart(patternDir, pattern);
        if (!SameName(patternDir, nameDir)) continue;
        GetBaseName8(patternBase, pattern);
        if (patternBase[0] != '*' && !SameName(patternBase, nameBase)) continue;
        GetExtPart(patternExt, pattern);
        if (patternExt[0] != '*' && !SameName(patternExt, nameExt)) continue;
        return 1;
    }
    return 0;
}

static int SameDbVersion(void) {
    return InstallSettings.DbVersion[0] == InstallState.PreviousDbVersion[0] &&
           InstallSettings.DbVersion[1] == InstallState.PreviousDbVersion[1];
}

// An OLD.DB beside a main database the last migration completed is what that migration
// kept (it could not carry or delete everything), and a database that may be the user's is
// kept whenever the other is chosen: it goes to a free name of its own (OLD1.DB, OLD2.DB...)
// rather than be deleted, since it may hold records nowhere else.
static int KeepLeftoverOldDb(const char* leftover) {
    char idb[MAX_PATH_TEXT], kept[MAX_PATH_TEXT], name[16];
    DestPath(idb, "IDB");
    for (unsigned n = 1; n <= MAX_KEPT_OLD_DBS; n++) {
        Format(name, sizeof name, "OLD%u.DB", n);
        JoinPath(kept, idb, name, (const char*)nullptr);
        if (PathExists(kept)) continue;
        if (!JournalNoteRename(leftover, kept) || !MovePath(leftover, kept)) break;
        LogPrintf("Kept the leftover %s as %s", leftover, kept);
        return 1;
    }
    LogPrintf("Could not keep the leftover %s under another name", leftover);
    return 0;
}

// Moves the previous main database aside as IDB\OLD.DB, where the migration reads it. 0 when
// it may still be in the folder under its own name: the package's main database would then
// be written over the user's.
static int MoveOldDbAside(void) {
    char idb[MAX_PATH_TEXT], found[MAX_PATH_TEXT], old[MAX_PATH_TEXT], leftover[MAX_PATH_TEXT];
    DestPath(idb, "IDB");
    int kind = FindUserMainDb(found, idb, leftover);
    if (kind == USER_DB_NONE) {
        if (DbFindUnreadable) {
            LogPrintf("Main DB search could not read %u files of %s", DbFindUnreadable, idb);
            return 0;
        }
        LogPrintf("No main DB found");
        return 1;
    }
    ReadPreviousDbVersion(found);
    DestPath(old, OLD_DB_NAME);
    if (kind == USER_DB_OLD) {
        // An earlier run stopped after moving the database aside: it already has the name
        // the migration reads. The main database beside it is the package's, unless that
        // could not be proven: then it is kept, since the package will write over its name.
        LogPrintf("Main DB is already %s", old);
        return !leftover[0] || KeepLeftoverOldDb(leftover);
    }
    if (leftover[0] && !KeepLeftoverOldDb(leftover)) return 0;
    // What else has the name is no database: it holds no records.
    if (!leftover[0]) JournalDiscard(old);
    char foundRel[MAX_PATH_TEXT], oldRel[MAX_PATH_TEXT];
    if (JournalActive() && (!JournalRelative(found, foundRel, sizeof foundRel) ||
                            !JournalRelative(old, oldRel, sizeof oldRel) ||
                            !JournalWrite(JOURNAL_OLD_DB, foundRel, oldRel)))
        return 0;
    if (!MovePath(found, old)) {
        LogPrintf("Failed to rename old DB");
        return 0;
    }
    CopyText(InstallState.OldDbFoundPath, found, sizeof InstallState.OldDbFoundPath);
    return 1;
}

// Tool modules of the destination's tool folder: the ones a record accepts (same database
// version, version at least the record's) are kept, every other one is deleted.
static void KeepOrDeleteTools(void) {
    char pattern[MAX_PATH_TEXT], path[MAX_PATH_TEXT], folder[32];
    DestPath(pattern, LoadCaption(IDS_TOOL_PATTERN));
    CopyText(folder, LoadCaption(IDS_TOOL_DIR), sizeof folder);
    SysFindData fd;
    SysFind h = SysFindFirst(pattern, &fd);
    if (!h) return;
    do {
        if (fd.isDir) continue;
        JoinPath(path, InstallSettings.DestDir, folder, fd.name, (const char*)nullptr);
        int kept = 0;
        if (SameDbVersion()) {
            uint32_t version = GetToolVersion(path);
            for (uint16_t i = 0; i < InstallSettings.ToolModuleCount && !kept; i++) {
                ToolModule* t = &InstallSettings.ToolModules[i];
                if (SameName(t->name, fd.name) && t->minVersion <= version) kept = t->kept = 1;
            }
        }
        if (kept) LogPrintf("Keeping tool module %s", path);
        else if (JournalDiscard(path)) LogPrintf("Deleted tool module %s", path);
        else LogPrintf("Could not delete tool module %s", path);
    } while (SysFindNext(h, &fd));
    SysFindClose(h);
}

int PrepareDestination(void) {
    InstallSettingsT& s = InstallSettings;
    InstallState.OverwriteInPlace = SameFolder(s.PreviousDir, s.DestDir) ? 1 : 0;
    InstallState.OldDbFoundPath[0] = 0;
    InstallState.PreviousInstallRestored = InstallState.PackageFilesWritten =
        InstallState.CleanedUp = 0;
    LogPrintf("Preparing dest dir");
    // The folders the preparation makes in the earlier installation's are the journal's too.
    if (InstallState.OverwriteInPlace) BeginRollbackJournal();
    MakePathRecorded(s.DestDir);
    char path[MAX_PATH_TEXT];
    for (uint16_t i = 0; i < s.CreateDirs.count; i++) {
        // A folder name from the script must stay inside the destination.
        const char* name = s.CreateDirs.a[i];
        if (!name || !IsSafeEntryName(name, (unsigned)strlen(name))) continue;
        MakePathRecorded(DestPath(path, name));
    }
    if (!InstallState.OverwriteInPlace) return 1;
    LogPrintf("Preparing for overwrite");
    if (!MoveOldDbAside()) return SetFatal(FATAL_FILE_CREATE);
    KeepOrDeleteTools();
    if (TransferFoldersHook) TransferFoldersHook(1);
    else LogPrintf("No folder transfer connected; preserved files not renamed");
    // A preserved file that could not be renamed aside would be overwritten by the package.
    return SetupError ? 0 : 1;
}

int RemoveInstalledFile(const char* path) {
    if (SysDelete(path)) return 1;
    if (PathExists(path)) LogPrintf("Could not remove %s", path);
    return 0;
}

void CleanUpInstall(void) {
    InstallSettingsT& s = InstallSettings;
    // After the restore the entry names are the earlier installation's files again. While a
    // journal is kept, entries the loop did not reach are the earlier installation's too: the
    // journal alone knows what the package wrote.
    if (InstallState.PreviousInstallRestored || JournalActive()) return;
    if (!s.DestDir[0] || !PathExists(s.DestDir)) return;
    LogPrintf("Cleaning up");
    InstallState.CleanedUp = 1;
    char path[MAX_PATH_TEXT], dir[MAX_PATH_TEXT];
    for (uint16_t i = 0; FileTable && i < FileTable->count; i++) {
        const char* name = FileTable->entry[i]->name;
        if (InstallState.OverwriteInPlace && IsPreservedFile(name)) continue;
        RemoveInstalledFile(DestPath(path, name));
        // A "SYSTEM" entry is extracted into the destination root first; one deferred to
        // restsys.bat still waits there.
        GetDirPart(dir, name);
        if (!SameName(dir, "SYSTEM")) continue;
        const char* bare = GetNamePart(name);
        if (InstallState.OverwriteInPlace && IsPreservedFile(bare)) continue;
        RemoveInstalledFile(DestPath(path, bare));
    }
}

void RestorePreviousInstall(void) {
    if (!InstallState.OverwriteInPlace || InstallState.PreviousInstallRestored) return;
    // The journal holds everything the setup did to the folder, the database's move and the
    // transfer's renames among it, and undoes it newest first.
    if (JournalActive()) {
        InstallState.PreviousInstallRestored = 1;
        LogPrintf("Restoring previous installation");
        RollBackInstall();
        InstallState.OldDbFoundPath[0] = 0;
        return;
    }
    // A rename does not replace a file: the package's copies must be out of the way first.
    // Before the loop wrote anything, the entry names are still the earlier installation's.
    if (InstallState.PackageFilesWritten && !InstallState.CleanedUp) CleanUpInstall();
    InstallState.PreviousInstallRestored = 1;
    LogPrintf("Restoring previous installation");
    // Undo in the reverse order of the preparation: the transfer ran after the move aside.
    if (UndoTransferRenamesHook) UndoTransferRenamesHook();
    if (!InstallState.OldDbFoundPath[0]) return;
    char old[MAX_PATH_TEXT];
    DestPath(old, OLD_DB_NAME);
    if (MovePath(old, InstallState.OldDbFoundPath))
        LogPrintf("Renamed %s back to %s", old, InstallState.OldDbFoundPath);
    else LogPrintf("Failed to rename %s back to %s", old, InstallState.OldDbFoundPath);
    InstallState.OldDbFoundPath[0] = 0;
}

void DeleteObsoleteFiles(void) {
    DeleteMatchingFiles(WindowsDir, InstallSettings.WindowsDirDeletes.a,
                        InstallSettings.WindowsDirDeletes.count);
    DeleteMatchingFiles(InstallSettings.DestDir, InstallSettings.DestDirDeletes.a,
                        InstallSettings.DestDirDeletes.count);
}

void DeleteMatchingFiles(const char* baseDir, char** patterns, uint16_t count) {
    // Without a base folder the patterns would apply to the current folder.
    if (!baseDir || !baseDir[0] || !patterns) return;
    char full[MAX_PATH_TEXT], dir[MAX_PATH_TEXT], path[MAX_PATH_TEXT];
    for (uint16_t i = 0; i < count; i++) {
        const char* pattern = patterns[i];
        // Patterns come from the package: one that climbs out of its folder is refused.
        if (!pattern || !IsSafeEntryName(pattern, (unsigned)strlen(pattern))) {
            LogPrintf("Unsafe delete pattern skipped: %s", pattern ? pattern : "");
            continue;
        }
        // In the Windows folder only the package's own files, whoever filled the list.
        if (SameFolder(baseDir, WindowsDir) && !IsSafeListName(NAME_WINDOWS_FILE, pattern)) {
            LogPrintf("Delete pattern skipped: %s could name the system's files", pattern);
            continue;
        }
        JoinPath(full, baseDir, pattern, (const char*)nullptr);
        GetDirPart(dir, full);
        SysFindData fd;
        SysFind h = SysFindFirst(full, &fd);
        if (!h) continue;
        do {
            // A pattern deletes files: ".", ".." (the folder and its parent) and subfolders are
            // passed over.
            if (fd.isDir || !strcmp(fd.name, ".") || !strcmp(fd.name, "..")) continue;
            JoinPath(path, dir, fd.name, (const char*)nullptr);
            // The log says what happened on the disk, not what was attempted.
            if (JournalDiscard(path)) LogPrintf("Deleted file %s", path);
            else LogPrintf("Could not delete file %s", path);
        } while (SysFindNext(h, &fd));
        SysFindClose(h);
    }
}

uint32_t GetToolVersion(const char* path) {
    if (!path) return 0;
    char dir[MAX_PATH_TEXT];
    GetDirPart(dir, path);
    const char* name = GetNamePart(path);
    // The current folder is put back afterwards, and so is the file's drive's own.
    char* saved = (char*)MemAlloc(MAX_PATH_TEXT);
    char* savedOther = (char*)MemAlloc(MAX_PATH_TEXT);
    int current = CurrentDriveLetter();
    CopyText(saved, DriveCurrentDir(current), MAX_PATH_TEXT);
    int other = dir[0] && dir[1] == ':' ? dir[0] & ~0x20 : 0;
    if (other && other != current) CopyText(savedOther, DriveCurrentDir(other), MAX_PATH_TEXT);
    uint32_t packed = 0, ms = 0, ls = 0;
    // Looked up by bare name from its own folder; a folder that cannot be entered would
    // make the name refer to another file.
    if ((!dir[0] || ChangeDir(dir)) && SysFileVersion(name, &ms, &ls))
        packed = (ms >> 16 & 0xFF) << 24 | (ms & 0xFF) << 16 | (ls >> 16 & 0xFF) << 8 | (ls & 0xFF);
    if (savedOther[0]) ChangeDir(savedOther);
    if (saved[0]) ChangeDir(saved);
    MemFree(savedOther);
    MemFree(saved);
    return packed;
}

uint32_t GetFileSizeByName(const char* path) {
    SysFile f = SysOpenUnshared(path);
    if (!f) return 0;
    long size = SysFileSize(f);
    SysClose(f);
    return size < 0 ? 0 : (uint32_t)size;
}

int FinishInstallRecord(void) {
    // What the client fills with the user's own things: the uninstaller keeps it unless told.
    char download[50];
    CopyText(download, LoadCaption(IDS_DOWNLOAD_DIR), sizeof download);
    const char* const dataFolders[] = {"IDB", download, "ORGANIZE"};
    char path[MAX_PATH_TEXT];
    for (const char* folder : dataFolders) RecordUserData(DestPath(path, folder));
    // The log, and the version file when asked for, are written after the record.
    RecordFile(DestPath(path, "setup.log"));
    if (WriteVersionFile == 1) RecordFile(DestPath(path, "VERSION.INF"));
    return WriteInstallRecord(InstallSettings.DestDir, InstallSettings.DestDir);
}
