// Preserved files and the folder transfer.
#include "migrate/transfer.h"
#include "migrate/internal.h"
#include "migrate/state.h"

#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "package/package.h"
#include "record/installrec.h"
#include "sys/sys.h"

// Renames done in rename mode, newest first, so an interrupted install can undo them.
struct RenameRecord {
    RenameRecord* next;
    char from[MAX_PATH_TEXT];
    char to[MAX_PATH_TEXT];
};
static RenameRecord* renames;

static const char* ActionOf(uint16_t i) {
    const TextList& list = InstallSettings.PreservedFiles;
    return list.b && list.b[i] ? list.b[i] : "";
}

char* TransferTargetName(char* out, const char* fileName, const char* action) {
    if (!action || !action[0] || strcmp(action, "move") == 0) {
        CopyText(out, fileName, MAX_PATH_TEXT);
    } else if (action[0] == '*') {
        // "*.old": everything after the name's first dot becomes "old".
        CopyText(out, fileName, MAX_PATH_TEXT);
        char* dot = FindCharMb(out, '.');
        if (dot) {
            dot[1] = 0;
            AppendText(out, action[1] ? action + 2 : "", MAX_PATH_TEXT);
        }
    } else {
        CopyText(out, action, MAX_PATH_TEXT);
    }
    return out;
}

// Appends (pattern, action) to PreservedFiles: both pointer arrays are replaced by arrays one
// entry longer. 0 when the list is full.
static int AppendPreserved(const char* pattern, const char* action) {
    TextList& list = InstallSettings.PreservedFiles;
    if (list.count == 0xFFFF) return 0;
    uint16_t n = list.count;
    char** a = (char**)MemAlloc((unsigned long)(n + 1) * sizeof(char*));
    char** b = (char**)MemAlloc((unsigned long)(n + 1) * sizeof(char*));
    for (uint16_t i = 0; i < n; i++) {
        a[i] = list.a ? list.a[i] : nullptr;
        b[i] = list.b ? list.b[i] : nullptr;
    }
    a[n] = (char*)MemAlloc(strlen(pattern) + 1);
    strcpy(a[n], pattern);
    b[n] = (char*)MemAlloc(strlen(action) + 1);
    strcpy(b[n], action);
    if (list.a) MemFree(list.a);
    if (list.b) MemFree(list.b);
    list.a = a;
    list.b = b;
    list.count = n + 1;
    return 1;
}

static void QueueCopy(const char* source, const char* destination, uint32_t move) {
    CopyQueueItem* item = (CopyQueueItem*)MemAlloc(sizeof(CopyQueueItem));
    CopyText(item->source, source, sizeof item->source);
    CopyText(item->destination, destination, sizeof item->destination);
    item->move = move;
    item->next = MigrationState.CopyQueue;
    MigrationState.CopyQueue = item;
    MigrationState.CopyQueueCount++;
}

static void RenameInPlace(const char* source, const char* destination) {
    LogPrintf("Rename: %s -> %s", source, destination);
    // A file whose name the action leaves as it is (already "x.old") stays: deleting the
    // destination would delete the file itself.
    if (SameName(source, destination)) return;
    JournalDiscard(destination);
    if (!JournalNoteRename(source, destination) || !MovePath(source, destination)) {
        // The package would write over the file that was to be kept under its new name.
        LogPrintf("Rename failed");
        SetFatal(FATAL_FILE_CREATE);
        return;
    }
    RenameRecord* r = (RenameRecord*)MemAlloc(sizeof(RenameRecord));
    CopyText(r->from, source, sizeof r->from);
    CopyText(r->to, destination, sizeof r->to);
    r->next = renames;
    renames = r;
}

// One match of entry i's pattern: a folder becomes a new entry, a file is renamed or queued.
static void TransferMatch(uint16_t i, const char* folder, const SysFindData& fd, int renameMode) {
    const InstallSettingsT& s = InstallSettings;
    const char* action = ActionOf(i);
    int move = strcmp(action, "move") == 0;
    char path[MAX_PATH_TEXT], pattern[MAX_PATH_TEXT], target[MAX_PATH_TEXT], source[MAX_PATH_TEXT],
        destination[MAX_PATH_TEXT];
    if (fd.isDir) {
        // A pattern cut to the buffer would name a shallower folder, which is found again and
        // again until the list is full: a folder too deep for a path is left where it is.
        if (strlen(folder) + strlen(fd.name) + 6 > sizeof pattern - 1) {
            LogPrintf("Path too long: %s", fd.name);
            return;
        }
        if (folder[0]) Format(pattern, sizeof pattern, "%s\\%s\\*.*", folder, fd.name);
        else Format(pattern, sizeof pattern, "%s\\*.*", fd.name);
        if (!AppendPreserved(pattern, action)) {
            LogPrintf("Too many preserved entries: %s", pattern);
            return;
        }
        // The new entry's own folder, not its pattern, is made under the destination.
        GetDirPart(path, pattern);
        MakePathRecorded(JoinPath(target, InstallSettings.DestDir, path, (const char*)nullptr));
        return;
    }
    TransferTargetName(target, fd.name, action);
    // A new name from the script is one plain file name, never a path.
    if (FindCharMb(target, '\\') || FindCharMb(target, '/') ||
        !IsSafeEntryName(target, (unsigned)strlen(target))) {
        LogPrintf("Unsafe new name skipped: %s", target);
        return;
    }
    int fits = JoinPath(source, s.PreviousDir, folder, fd.name, (const char*)nullptr) &&
               strlen(source) < sizeof MigrationState.CopyQueue->source;
    JoinPath(destination, s.DestDir, folder, target, (const char*)nullptr);
    fits = fits && strlen(destination) < sizeof MigrationState.CopyQueue->destination;
    if (!fits) {
        LogPrintf("Path too long: %s", fd.name);
        return;
    }
    if (!renameMode && SameFolder(source, destination)) {
        LogPrintf("Not copied onto itself: %s", source);
        return;
    }
    if (renameMode && !move) RenameInPlace(source, destination);
    else if (!move || MigrationState.MoveOldDownloads) QueueCopy(source, destination, move ? 1 : 0);
}

uint16_t TransferFolders(int renameMode) {
    const InstallSettingsT& s = InstallSettings;
    char search[MAX_PATH_TEXT], folder[MAX_PATH_TEXT];
    // Copied onto itself a file is emptied, and a move then deletes it.
    if (!renameMode && SameFolder(s.PreviousDir, s.DestDir)) {
        LogPrintf("Earlier and new folder are the same: nothing to copy");
        return s.PreservedFiles.count;
    }
    // The count grows while folders are found: each new entry is walked later in this pass.
    for (uint16_t i = 0; i < s.PreservedFiles.count; i++) {
        const char* pattern = s.PreservedFiles.a ? s.PreservedFiles.a[i] : nullptr;
        if (!pattern || (renameMode && !ActionOf(i)[0])) continue;
        // Patterns come from the package: one that climbs out of its folder is refused.
        if (!IsSafeEntryName(pattern, (unsigned)strlen(pattern)) || !s.PreviousDir[0]) continue;
        JoinPath(search, s.PreviousDir, pattern, (const char*)nullptr);
        GetDirPart(folder, pattern);
        SysFindData fd;
        SysFind h = SysFindFirst(search, &fd);
        if (!h) continue;
        do {
            if (fd.name[0] == '.') continue;
            TransferMatch(i, folder, fd, renameMode);
        } while (SysFindNext(h, &fd));
        SysFindClose(h);
    }
    return s.PreservedFiles.count;
}

void FreeCopyQueue(void) {
    while (CopyQueueItem* item = MigrationState.CopyQueue) {
        MigrationState.CopyQueue = item->next;
        MemFree(item);
    }
    MigrationState.CopyQueueCount = 0;
}

void UndoTransferRenames(void) {
    while (RenameRecord* r = renames) {
        renames = r->next;
        if (MovePath(r->to, r->from)) LogPrintf("Renamed %s back to %s", r->to, r->from);
        else LogPrintf("Failed to rename %s back to %s", r->to, r->from);
        MemFree(r);
    }
}

void ForgetTransferRenames(void) {
    while (RenameRecord* r = renames) {
        renames = r->next;
        MemFree(r);
    }
}
