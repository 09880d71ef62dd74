// The file installation loop. Each entry is inflated by the decompression library into its
// folder: straight from the open package when the library has its direct entry, otherwise
// from a temporary archive in the destination, copied out of the package first. Plain
// entries (the quick reference, database files nobody merges) are copied straight to their
// target, and entries the migration merges are only remembered.
#include "install/install.h"

#include <string.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "base/write.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/space.h"
#include "install/sysfiles.h"
#include "install/state.h"
#include "package/package.h"
#include "record/installrec.h"
#include "res/resource.h"
#include "res/strings.h"
#include "sys/sys.h"

namespace {

// Where each entry went in this run, so that a failed or stopped install can take back
// what it wrote outside the folders CleanUpInstall knows.
enum EntryState : unsigned char {
    ENTRY_UNTOUCHED,
    ENTRY_TARGET_WRITTEN,
    ENTRY_DONE,
    ENTRY_IN_SYSTEM_FOLDER  // a system file copied into the system folder
};
enum EntryKind { KIND_PLAIN, KIND_SYSTEM, KIND_WINDOWS };

struct LoopState {
    void* dialog;
    uint32_t done;                // installed bytes so far
    uint32_t scale;               // 1 or 10
    uint32_t range;               // the gauge's range: the progress total divided by scale
    char archive[MAX_PATH_TEXT];  // temporary archive of the current entry, "" when none
    unsigned char* entryState;
    unsigned char* existedBefore;  // the entry's Windows-folder target was there before it
    int pifWritten;
    char madeDir[260];  // the folder made for an earlier entry, "" when none yet
    // What the dialog shows and what it should show (see Refresh).
    char label[260];
    int labelStale;
    uint32_t gaugeWanted, gaugeShown;
    int gaugeSent, refreshed;
    unsigned long refreshedAt;
    // The entry the direct entry is reading, for the gauge inside a large file.
    const PackageEntry* current;
    uint32_t progressShown;
};
LoopState Loop;

uint32_t Figure(uint32_t bytes) {
    return Loop.range ? (uint32_t)((uint64_t)(bytes / Loop.scale) * 100 / Loop.range) : 100;
}

// Brings the label and the gauge up to date. Each change costs a repaint, and under a window
// system a round trip away that is most of a small file's time: they are shown at most every
// UiRefreshMs, the gauge also whenever its percentage changes, and whatever is left over when
// forced (before the dialog closes).
void Refresh(int force) {
    unsigned long now = SysTickCount();
    int due = force || !Loop.refreshed || now - Loop.refreshedAt >= InstallState.UiRefreshMs;
    if (due && !force) {
        Loop.refreshed = 1;
        Loop.refreshedAt = now;
    }
    if (due && Loop.labelStale) {
        Loop.labelStale = 0;
        Seat.progressText(Loop.dialog, IDC_EXTRA, Loop.label);
    }
    int moved = !Loop.gaugeSent || Loop.gaugeWanted != Loop.gaugeShown;
    if (moved && (due || Figure(Loop.gaugeWanted) != Figure(Loop.gaugeShown))) {
        Loop.gaugeSent = 1;
        Loop.gaugeShown = Loop.gaugeWanted;
        Seat.progressGauge(Loop.dialog, Loop.gaugeWanted / Loop.scale);
    }
}
void Gauge(uint32_t bytes) {
    Loop.gaugeWanted = bytes;
    Refresh(0);
}
void Label(const char* text) {
    CopyText(Loop.label, text, sizeof Loop.label);
    Loop.labelStale = 1;
    Refresh(0);
}
// The direct entry reads a large file in many steps: the gauge follows it.
void DirectProgress(uint32_t storedRead) {
    const PackageEntry* e = Loop.current;
    if (!e || !e->storedSize || storedRead - Loop.progressShown < COPY_BLOCK) return;
    Loop.progressShown = storedRead;
    Gauge(Loop.done + (uint32_t)((uint64_t)e->installedSize * storedRead / e->storedSize));
}
// Serves the copy dialog; its Cancel button sets UserAbort.
void Pump(void) { Seat.pump(); }

// Upper case for labels; bytes of double-byte characters stay as they are.
void UpperText(char* text) {
    for (char* p = text; *p; p++) {
        if (SysIsLeadByte((unsigned char)*p) && p[1]) {
            p++;
            continue;
        }
        if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
    }
}

// The per-entry paths: target file, target folder, and the label shown for it.
struct EntryPaths {
    EntryKind kind;
    char target[MAX_PATH_TEXT];
    char targetDir[MAX_PATH_TEXT];
    char label[MAX_PATH_TEXT];
};

int SplitEntry(const PackageEntry* e, EntryPaths* p) {
    char dirPart[MAX_PATH_TEXT];
    GetDirPart(dirPart, e->name);
    const char* bare = GetNamePart(e->name);
    char shortLabel[MAX_PATH_TEXT];
    p->kind = SameName(dirPart, "SYSTEM")    ? KIND_SYSTEM
              : SameName(dirPart, "WINDOWS") ? KIND_WINDOWS
                                             : KIND_PLAIN;
    const char* base = p->kind == KIND_WINDOWS ? WindowsDir : InstallSettings.DestDir;
    const char* rest = p->kind == KIND_PLAIN ? e->name : bare;
    // JoinPath cuts what does not fit; a cut name would be a different file.
    if (strlen(base) + 1 + strlen(rest) >= sizeof p->target) {
        LogPrintf("Path too long for %s", e->name);
        return 0;
    }
    if (p->kind == KIND_PLAIN) {
        DestPath(p->target, e->name);
        if (dirPart[0]) DestPath(p->targetDir, dirPart);
        else CopyText(p->targetDir, InstallSettings.DestDir, sizeof p->targetDir);
        CopyText(shortLabel, p->target, sizeof shortLabel);
        UpperText(shortLabel);
        size_t n = strlen(shortLabel);
        if (n > LABEL_TAIL) memmove(shortLabel, shortLabel + n - LABEL_TAIL, LABEL_TAIL + 1);
        char withDots[MAX_PATH_TEXT] = "...";
        AppendText(withDots, shortLabel, sizeof withDots);
        CopyText(shortLabel, withDots, sizeof shortLabel);
    } else {
        JoinPath(p->target, base, bare, (const char*)0);
        CopyText(p->targetDir, base, sizeof p->targetDir);
        CopyText(shortLabel, bare, sizeof shortLabel);
        UpperText(shortLabel);
    }
    // The path keeps its case (the file systems ignore it); only the label is upper case.
    CopyText(p->label, p->target, sizeof p->label);
    UpperText(p->label);
    if (strlen(p->label) > LABEL_WHOLE_MAX) CopyText(p->label, shortLabel, sizeof p->label);
    return 1;
}

int OnList(const TextList* list, const char* name) {
    for (unsigned i = 0; i < list->count; i++)
        if (SameName(list->a[i], name)) return (int)i;
    return -1;
}

// Saves a copy of the entry in the table slot of its first match on the list.
int HoldBack(const TextList* list, MergedTable* table, const PackageEntry* e) {
    int slot = OnList(list, e->name);
    if (slot < 0 || !table || slot >= table->count) return 0;
    unsigned long size = sizeof(PackageEntry) + strlen(e->name) + 1;
    PackageEntry* copy = (PackageEntry*)MemAlloc(size);
    memcpy(copy, e, size);
    if (table->slot[slot]) MemFree(table->slot[slot]);
    table->slot[slot] = copy;
    LogPrintf("Holding %s back for the merge", e->name);
    return 1;
}

// Runs the library until the member is out or the user gives up; 1 when extracted. With the
// direct entry the library reads the package itself and checks the member's name and size
// against the entry; otherwise it extracts the temporary archive, whose size is checked here.
int Extract(const PackageEntry* e, const EntryPaths* p, unsigned index, int fromPackage) {
    for (;;) {
        // The library creates the target; a fresh install has nothing to delete there.
        if (PathExists(p->target)) SysDelete(p->target);
        Loop.entryState[index] = ENTRY_TARGET_WRITTEN;
        Loop.current = e;
        Loop.progressShown = 0;
        uint32_t status = fromPackage ? RunDecompressorDirect(e, p->target, DirectProgress)
                                      : RunDecompressor(Loop.dialog, Loop.archive, p->targetDir);
        Loop.current = 0;
        if (status == DUNZIP_OK || status == DUNZIP_OK_TOO) break;
        LogPrintf("Decompressor status %lu for %s", (unsigned long)status, e->name);
        if (fromPackage && status == DUNZIP_NOT_PROMISED) {
            // The library wrote nothing: the archive names another file or size.
            LogPrintf("Archive of %s is not the file of %lu bytes the package names", e->name,
                      (unsigned long)e->installedSize);
            return SetFatal(FATAL_FILE_SIZE);
        }
        if (status == DUNZIP_NO_MEMORY || status == DUNZIP_NO_MEMORY_TOO) {
            if (AskRetryCancel(Message(IDS_LOW_MEMORY))) continue;
        } else if (status == DUNZIP_DISK_FULL || status == DUNZIP_DISK_FULL_TOO) {
            if (AskDiskFull()) continue;
            if (InstallSettings.Win31FallbackProgram[0]) OfferWin31Fallback = 1;
        }
        SysDelete(p->target);  // a library may leave a partial file behind
        return SetFatal(FatalDecompressStatus(status > 64535 ? 64535 : status));
    }
    if (fromPackage) return 1;
    uint32_t size = GetFileSizeByName(p->target);
    if (size != e->installedSize) {
        LogPrintf("%s is %lu bytes, expected %lu", p->target, (unsigned long)size,
                  (unsigned long)e->installedSize);
        return SetFatal(FATAL_FILE_SIZE);
    }
    RemoveInstalledFile(Loop.archive);
    Loop.archive[0] = 0;
    return 1;
}

// The entry's file is in place: a system file goes on to its version check, and the entry
// counts as done. 1 to go on, 0 to stop the loop.
int EntryDone(const PackageEntry* e, const EntryPaths* p, unsigned index, int newInWindows) {
    if (p->kind == KIND_SYSTEM) {
        int installed = InstallSystemFile(p->target);
        if (InstallState.SystemFileCopied) Loop.entryState[index] = ENTRY_IN_SYSTEM_FOLDER;
        if (!installed) return SetFatal(FATAL_SYSTEM_FILE);
    }
    // Files for the system folder may have replaced the system's own: they stay.
    if (p->kind == KIND_PLAIN || newInWindows) RecordFile(p->target);
    if (Loop.entryState[index] != ENTRY_IN_SYSTEM_FOLDER) Loop.entryState[index] = ENTRY_DONE;
    Loop.done += e->installedSize;
    return 1;
}

// One entry, steps after the preserved-file test. 1 to go on, 0 to stop the loop.
int InstallEntry(const PackageEntry* e, unsigned index, const char* mergeDir) {
    // The position is shown with the label (Refresh), which comes next.
    Loop.gaugeWanted = Loop.done;
    EntryPaths p;
    int fromPackage = DecompressorDirect();
    Loop.archive[0] = 0;
    if ((!fromPackage && !SysTempFileName(InstallSettings.DestDir, "dec", index, Loop.archive)) ||
        !SplitEntry(e, &p)) {
        Loop.archive[0] = 0;
        return SetFatal(FATAL_FILE_CREATE);
    }
    Label(p.label);
    char gameProgram[50];
    CopyText(gameProgram, LoadCaption(IDS_GAME_PROGRAM), sizeof gameProgram);
    if (SameName(e->name, gameProgram) && CreateGamePif()) Loop.pifWritten = 1;
    // Entries of one folder follow each other: the folder is made once, not per file.
    if (!SameName(p.targetDir, Loop.madeDir)) {
        MakePathRecorded(p.targetDir);
        CopyText(Loop.madeDir, p.targetDir, sizeof Loop.madeDir);
    }
    // A file new to the Windows folder is the client's; one that replaced another stays.
    int newInWindows = p.kind == KIND_WINDOWS && !PathExists(p.target);
    Loop.existedBefore[index] = p.kind == KIND_WINDOWS && !newInWindows;
    // While a journal is kept, an earlier file of the destination is moved aside, not
    // overwritten, and a new one is noted before it is written.
    if (!JournalSetAside(p.target)) return SetFatal(FATAL_FILE_CREATE);

    InstallSettingsT& s = InstallSettings;
    int heldBack = 0, direct = 0;
    SysFile f = 0;
    char targetDirPart[MAX_PATH_TEXT];
    GetDirPart(targetDirPart, p.target);
    if ((s.MergedFilesA.count || s.MergedFilesB.count) && SameName(targetDirPart, mergeDir)) {
        if (s.MergedFilesA.count && HoldBack(&s.MergedFilesA, s.MergedTableA, e)) heldBack = 1;
        if (s.MergedFilesB.count && HoldBack(&s.MergedFilesB, s.MergedTableB, e)) heldBack = 1;
        if (!heldBack) direct = 1;
    }
    if (!heldBack && s.QuickRefFile[0] && SameName(e->name, s.QuickRefFile)) direct = 1;
    if (heldBack) {
        Loop.archive[0] = 0;
        Loop.entryState[index] = ENTRY_DONE;
        return 1;
    }
    if (!direct && fromPackage) {
        // Copy and extraction are one step: the Cancel is seen after the entry.
        if (!Extract(e, &p, index, 1)) return 0;
        return EntryDone(e, &p, index, newInWindows);
    }
    const char* file = direct ? p.target : Loop.archive;
    if (direct) {
        Loop.archive[0] = 0;
        Loop.entryState[index] = ENTRY_TARGET_WRITTEN;
    }
    if (!direct && !JournalSetAside(Loop.archive)) return SetFatal(FATAL_FILE_CREATE);
    f = SysCreate(file);
    if (!f) {
        LogPrintf("Cannot create %s", file);
        return SetFatal(FATAL_FILE_CREATE);
    }
    if (!CopyEntryToFileScaled(f, e, Loop.dialog, Loop.done, Loop.scale)) {
        SysClose(f);
        return 0;
    }
    if (!SysClose(f)) {
        LogPrintf("Cannot close %s", file);
        return SetFatal(FATAL_FILE_CLOSE);
    }
    Refresh(0);
    Pump();
    if (UserAbort) return 0;
    if (!direct) {
        uint32_t declared;
        char member[MAX_PATH_TEXT];
        // The library writes at most what the archive declares, under the name it declares:
        // both must be what the package promised, or a hostile package could fill the disk
        // or leave a file the clean-up does not know.
        if (ReadArchiveMember(e, member, &declared) &&
            (declared != e->installedSize || !SameName(member, GetNamePart(e->name)))) {
            LogPrintf("Archive of %s declares %s of %lu bytes, expected %lu", e->name, member,
                      (unsigned long)declared, (unsigned long)e->installedSize);
            return SetFatal(FATAL_FILE_SIZE);
        }
        if (!Extract(e, &p, index, 0)) return 0;
    }
    return EntryDone(e, &p, index, newInWindows);
}

// Tool modules of an earlier installation of the same database version come over as they
// are; this runs after a stop too.
void CopyOldTools(void) {
    InstallSettingsT& s = InstallSettings;
    if (s.DbVersion[0] != InstallState.PreviousDbVersion[0] ||
        s.DbVersion[1] != InstallState.PreviousDbVersion[1])
        return;
    char folder[50];
    CopyText(folder, LoadCaption(IDS_TOOL_DIR), sizeof folder);
    for (unsigned i = 0; i < s.ToolModuleCount && i < MAX_TOOL_MODULES; i++) {
        ToolModule& t = s.ToolModules[i];
        if (!t.presentInOld || t.kept) continue;
        char from[MAX_PATH_TEXT], to[MAX_PATH_TEXT], label[MAX_PATH_TEXT];
        JoinPath(from, s.PreviousDir, folder, t.name, (const char*)0);
        JoinPath(to, s.DestDir, folder, t.name, (const char*)0);
        CopyText(label, to, sizeof label);
        UpperText(label);
        Label(label);
        if (!SysCopyFile(from, to)) LogPrintf("Cannot copy %s", from);
        else RecordFile(to);
        Loop.done += t.oldSize;
        Gauge(Loop.done);
        for (ToolCompanion* c = t.companions; c; c = c->next) {
            Pump();
            JoinPath(from, s.PreviousDir, c->name, (const char*)0);
            JoinPath(to, s.DestDir, c->name, (const char*)0);
            if (!SysCopyFile(from, to)) LogPrintf("Cannot copy %s", from);
            else RecordFile(to);
            Loop.done += c->size;
            Gauge(Loop.done);
        }
        t.kept = 1;
    }
}

// After a failure or a cancel: what CleanUpInstall does not know about goes too. The
// library is unloaded first, since a loaded library's file cannot be deleted.
void RemovePartialInstall(void) {
    if (Loop.archive[0]) {
        if (RemoveInstalledFile(Loop.archive)) LogPrintf("Removed %s", Loop.archive);
        Loop.archive[0] = 0;
    }
    FreeDecompressor();
    CleanUpInstall();
    for (unsigned i = InstallState.FirstFileIndex; FileTable && i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        EntryPaths p;
        if (Loop.entryState[i] == ENTRY_UNTOUCHED || !SplitEntry(e, &p)) continue;
        if (p.kind == KIND_PLAIN) continue;
        // A file of the Windows folder that was there before is not this install's to take
        // away; its earlier content is gone, so the package's copy stays.
        if (Loop.existedBefore[i]) {
            if (PathExists(p.target))
                LogPrintf("Kept %s: it was there before the install", p.target);
            continue;
        }
        // The extracted copy of a system file is normally gone once it has been handled; one
        // that reached the system folder stays, since the version it replaced is gone.
        if (RemoveInstalledFile(p.target)) LogPrintf("Removed %s", p.target);
        if (Loop.entryState[i] == ENTRY_IN_SYSTEM_FOLDER)
            LogPrintf("System file %s stays in the system folder", GetNamePart(p.target));
    }
    if (Loop.pifWritten) {
        char pif[MAX_PATH_TEXT], name[50];
        CopyText(name, LoadCaption(IDS_GAME_PIF), sizeof name);
        JoinPath(pif, WindowsDir, name, (const char*)0);
        if (RemoveInstalledFile(pif)) LogPrintf("Removed %s", pif);
        Loop.pifWritten = 0;
    }
    RestorePreviousInstall();
}

}  // namespace

int InstallFiles(void) {
    if (!PrepareDestination()) {
        RestorePreviousInstall();
        return 0;
    }
    if (!ExtractDecompressor() || !LoadDecompressor()) {
        // Nothing but the library was written: it goes, and an in-place install gets its
        // database back under its own name.
        FreeDecompressor();
        char library[MAX_PATH_TEXT];
        DestPath(library, "dunzip32.dll");
        if (InstallState.FirstFileIndex == 1 && RemoveInstalledFile(library))
            LogPrintf("Removed %s", library);
        RestorePreviousInstall();
        return 0;
    }
    LogPrintf("Installing files");
    InstallState.PackageFilesWritten = 1;
    UserAbort = 0;
    memset(&Loop, 0, sizeof Loop);
    Loop.entryState = (unsigned char*)MemAlloc(FileTable->count ? FileTable->count : 1);
    Loop.existedBefore = (unsigned char*)MemAlloc(FileTable->count ? FileTable->count : 1);
    int templateId = ContinuationRun ? IDD_COPY_CONTINUED : IDD_COPY;
    Loop.dialog = Seat.openProgress(templateId);

    InstallSettingsT& s = InstallSettings;
    uint32_t total =
        FileTable->total - s.MergedBytesA - s.MergedBytesB + InstallState.ToolBytesFromOld;
    Loop.scale = total > GAUGE_SCALE_LIMIT ? 10 : 1;
    Loop.range = total / Loop.scale;
    Seat.progressRange(Loop.dialog, Loop.range);
    Loop.done = InstallState.FirstFileIndex == 1 ? FileTable->entry[0]->installedSize : 0;
    if (InstallState.FirstFileIndex == 1) Loop.entryState[0] = ENTRY_DONE;
    char mergeDir[MAX_PATH_TEXT];
    DestPath(mergeDir, "IDB");

    for (unsigned i = InstallState.FirstFileIndex; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        if (InstallState.OverwriteInPlace && IsPreservedFile(e->name)) {
            LogPrintf("Not installing %s (preserved)", e->name);
            Loop.done += e->installedSize;
            continue;
        }
        if (!InstallEntry(e, i, mergeDir)) break;
        Pump();
        if (UserAbort) break;
    }

    CopyOldTools();
    if (Loop.done == FileTable->total) {
        Loop.gaugeWanted = Loop.done;
        Loop.gaugeSent = 0;  // once more, as the dialog closes
    }
    Refresh(1);
    Seat.closeProgress(templateId);
    Loop.dialog = 0;
    int result = 1;
    if (SetupError) {
        RemovePartialInstall();
        result = 0;
    } else if (UserAbort) {
        LogPrintf("User stopped install");
        RemovePartialInstall();
        if (!s.Win31FallbackProgram[0]) Seat.runDialog(IDD_INTERRUPTED, nullptr);
        result = 0;
    }
    MemFree(Loop.entryState);
    MemFree(Loop.existedBefore);
    Loop.entryState = Loop.existedBefore = 0;
    return result;
}
