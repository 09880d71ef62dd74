// Rollback and commit of an in-place update, from the journal read back from the disk: the
// same code finishes what this run began and what a killed run left.
#include "install/rollback.h"

#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "install/destination.h"
#include "install/space.h"
#include "install/state.h"
#include "package/package.h"
#include "res/strings.h"
#include "sys/sys.h"

namespace {

enum { POINTER_MAX_BYTES = MAX_PATH_TEXT + 2 };

// The path of a relative name read back from a journal; 0 when the name could lead out of
// the destination (a damaged or edited journal touches nothing outside it).
int InsideDest(char* out, const char* dest, const char* rel) {
    if (!rel[0] || strlen(dest) + 1 + strlen(rel) >= MAX_PATH_TEXT ||
        !IsSafeEntryName(rel, (unsigned)strlen(rel)))
        return 0;
    return JoinPath(out, dest, rel, (const char*)nullptr) != nullptr;
}

// A backup is a bare name in the backup folder.
int BackupPath(char* out, const char* folder, const char* name) {
    if (!name[0] || FindCharMb(name, '\\') || FindCharMb(name, '/') ||
        strlen(folder) + 1 + strlen(name) >= MAX_PATH_TEXT ||
        !IsSafeEntryName(name, (unsigned)strlen(name)))
        return 0;
    return JoinPath(out, folder, name, (const char*)nullptr) != nullptr;
}

int Exists(const char* path) { return SysAttributes(path) != SYS_ATTR_NONE; }

// An older line moved an earlier file of that name aside and it has been put back already: a
// NEW line of the same name, undone again by a run that could not mark it undone, must not
// delete the earlier file.
int PutBackAlready(const Journal* j, unsigned index, const char* folder) {
    char backup[MAX_PATH_TEXT];
    for (unsigned i = 1; i < index; i++) {
        const JournalLine* l = &j->lines[i];
        if (l->kind == JOURNAL_MOVED && SameName(l->field[0], j->lines[index].field[0]) &&
            BackupPath(backup, folder, l->field[1]) && !Exists(backup))
            return 1;
    }
    return 0;
}

// Gives back what line index changed. 1 when it is undone (or there was nothing to undo),
// 0 when something stayed: the line is then tried again by the next run.
int UndoLine(const Journal* j, unsigned index, const char* folder) {
    const JournalLine* l = &j->lines[index];
    const char* dest = j->dest;
    char a[MAX_PATH_TEXT], b[MAX_PATH_TEXT];
    switch (l->kind) {
    case JOURNAL_MOVED:
        if (!InsideDest(a, dest, l->field[0]) || !BackupPath(b, folder, l->field[1])) break;
        // No backup: the move never happened, or it was already put back.
        if (!Exists(b)) return 1;
        if (Exists(a) && !SysDelete(a)) {
            LogPrintf("Could not remove %s", a);
            return 0;
        }
        if (!MovePath(b, a)) {
            LogPrintf("Failed to put back %s", a);
            return 0;
        }
        LogPrintf("Put back %s", a);
        return 1;
    case JOURNAL_NEW:
        if (!InsideDest(a, dest, l->field[0])) break;
        if (!Exists(a) || (SysAttributes(a) & SYS_ATTR_DIR) || PutBackAlready(j, index, folder))
            return 1;
        if (!SysDelete(a)) {
            LogPrintf("Could not remove %s", a);
            return 0;
        }
        LogPrintf("Removed %s", a);
        return 1;
    case JOURNAL_OLD_DB:
    case JOURNAL_RENAMED: {
        // The earlier name is field 0 and the name it was given field 1.
        if (!InsideDest(a, dest, l->field[0]) || !InsideDest(b, dest, l->field[1])) break;
        if (!Exists(b)) return 1;
        // What has the database's earlier name now was written by the install.
        if (l->kind == JOURNAL_OLD_DB && Exists(a) && !SysDelete(a)) {
            LogPrintf("Could not remove %s", a);
            return 0;
        }
        if (Exists(a) || !MovePath(b, a)) {
            LogPrintf("Failed to rename %s back to %s", b, a);
            return 0;
        }
        LogPrintf("Renamed %s back to %s", b, a);
        return 1;
    }
    case JOURNAL_NEW_FOLDER:
        if (!InsideDest(a, dest, l->field[0])) break;
        // Only an empty folder goes: what is left in it is named by the lines before.
        if (Exists(a) && SysRemoveDir(a)) LogPrintf("Removed %s", a);
        else if (Exists(a)) LogPrintf("Could not remove %s", a);
        return 1;
    case JOURNAL_VALUE:
    case JOURNAL_PROFILE:
    case JOURNAL_KEY: return UndoJournalValue(l);
    default: return 1;
    }
    LogPrintf("Journal line %s refused: outside %s", JournalKindName(l->kind), dest);
    return 1;
}

void DeletePointer(void) {
    char pointer[MAX_PATH_TEXT];
    JournalPointerPath(pointer, sizeof pointer);
    SysDelete(pointer);
}

// The journal's file, its folder and the pointer go: nothing is left to finish. 0 when the
// journal stays: its pointer stays too, for the next run to finish it.
int RemoveJournal(const char* path) {
    char folder[MAX_PATH_TEXT];
    GetDirPart(folder, path);
    if (!SysDelete(path) && Exists(path)) {
        LogPrintf("Could not remove %s: the next run finishes it", path);
        return 0;
    }
    if (!SysRemoveDir(folder)) LogPrintf("Could not remove %s", folder);
    DeletePointer();
    return 1;
}

int HasLine(const Journal* j, int kind) {
    for (unsigned i = 0; i < j->count; i++)
        if (j->lines[i].kind == kind) return 1;
    return 0;
}

// The earlier files the journal kept, and the files set to go at the commit, are deleted.
int CommitJournal(const char* path, const Journal* j, int doneWritten) {
    char folder[MAX_PATH_TEXT], a[MAX_PATH_TEXT];
    GetDirPart(folder, path);
    // Without the DONE line on the disk a run ended from here on would be rolled back over
    // deleted backups: the journal goes first then.
    if (!doneWritten) {
        SysDelete(path);
        DeletePointer();
    }
    // Nor may the backups go while a journal without that line can still be found.
    if (!doneWritten && Exists(path)) {
        LogPrintf("Install not committed: the journal cannot say it went through; the next run "
                  "rolls it back");
        return 0;
    }
    unsigned deleted = 0, kept = 0;
    for (unsigned i = 0; i < j->count; i++) {
        const JournalLine* l = &j->lines[i];
        int ok = 1;
        if (l->kind == JOURNAL_MOVED && BackupPath(a, folder, l->field[1]) && Exists(a))
            ok = SysDelete(a);
        else if (l->kind == JOURNAL_DISCARD && InsideDest(a, j->dest, l->field[0]) && Exists(a)) {
            ok = SysDelete(a);
            if (ok) LogPrintf("Deleted %s", a);
        } else continue;
        if (ok) deleted++;
        else {
            kept++;
            LogPrintf("Could not delete %s", a);
        }
    }
    if (kept) {
        LogPrintf("Commit incomplete: %u files stay; the next run deletes them", kept);
        return 0;
    }
    LogPrintf("Install committed: %u earlier files deleted", deleted);
    return RemoveJournal(path);
}

// Undoes the journal's lines newest first, each marked once undone, so that a run ended
// during the rollback is finished by the next without undoing a line twice.
int RollBackJournal(const char* path, const Journal* j) {
    char folder[MAX_PATH_TEXT];
    GetDirPart(folder, path);
    char* undone = (char*)MemAlloc(j->count + 1);
    for (unsigned i = 0; i < j->count; i++) {
        const JournalLine* l = &j->lines[i];
        if (l->kind != JOURNAL_UNDONE) continue;
        unsigned long n = 0;
        for (const char* p = l->field[0]; *p >= '0' && *p <= '9' && n < 0xFFFFFF; ++p)
            n = n * 10 + (unsigned long)(*p - '0');
        if (n < j->count) undone[n] = 1;
    }
    // Marks go after the last whole line; a line cut by the kill is dropped.
    int marking = JournalReopen(path, j->dest, j->wholeBytes);
    unsigned left = 0, done = 0;
    for (unsigned i = j->count; i-- > 1;) {
        const JournalLine* l = &j->lines[i];
        if (undone[i] || l->kind == JOURNAL_UNDONE || l->kind == JOURNAL_DISCARD) continue;
        if (!UndoLine(j, i, folder)) {
            left++;
            continue;
        }
        done++;
        char number[16];
        Format(number, sizeof number, "%u", i);
        if (marking) marking = JournalWrite(JOURNAL_UNDONE, number);
    }
    JournalClose();
    MemFree(undone);
    if (left) {
        LogPrintf("Rollback incomplete: %u changes stay; the next run tries again", left);
        return 0;
    }
    JournalMarkRolledBack();
    LogPrintf("Earlier installation rolled back: %u changes undone", done);
    RemoveJournal(path);
    return 1;
}

enum { FINISHED = 1, LEFT_FOR_NEXT_RUN = 0, NOT_A_JOURNAL = -1 };

// Finishes the journal j of the file at path: its commit when it says the install went
// through, else its rollback. Frees j.
int FinishParsed(const char* path, Journal& j) {
    char expected[MAX_PATH_TEXT];
    // A journal speaks for the folder it lies in, and for no other.
    if (!JournalPathIn(expected, j.dest) || !SameName(expected, path) ||
        !CanonicalFolder(expected, j.dest, sizeof expected)) {
        LogPrintf("Journal %s refused: it names %s", path, j.dest);
        FreeJournal(&j);
        return NOT_A_JOURNAL;
    }
    if (j.damaged || j.cut)
        LogPrintf("Journal %s: %u damaged lines skipped, %s", path, j.damaged,
                  j.cut ? "last line cut" : "ends whole");
    int result = HasLine(&j, JOURNAL_DONE) ? CommitJournal(path, &j, 1) : RollBackJournal(path, &j);
    FreeJournal(&j);
    return result;
}

int FinishJournal(const char* path) {
    Journal j;
    if (!ReadJournal(path, &j)) {
        LogPrintf("No journal to finish at %s", path);
        return NOT_A_JOURNAL;
    }
    return FinishParsed(path, j);
}

}  // namespace

int BeginRollbackJournal(void) {
    InstallSettingsT& s = InstallSettings;
    char leftover[MAX_PATH_TEXT];
    if (JournalPathIn(leftover, s.DestDir) && Exists(leftover)) {
        LogPrintf("Found the journal of an interrupted install: %s", leftover);
        // One that could not be finished keeps the earlier files it holds: this run then
        // writes over the folder as the setup always did, and leaves the journal alone.
        if (FinishJournal(leftover) == LEFT_FOR_NEXT_RUN) return 0;
    }
    if (!RoomForBackups(s.PreviousDir, s.DestDir)) {
        LogPrintf("No room to keep the earlier files until the end: they are overwritten");
        return 0;
    }
    return JournalBegin(s.DestDir);
}

int RollBackInstall(void) {
    if (!JournalActive()) return 0;
    char path[MAX_PATH_TEXT];
    CopyText(path, JournalState.path, sizeof path);
    Journal j;
    int written = JournalWritten(&j);
    JournalClose();
    int restored = (written ? FinishParsed(path, j) : FinishJournal(path)) == FINISHED;
    if (restored && SetupError) ShowError(Message(IDS_EARLIER_RESTORED));
    return restored;
}

int CommitInstall(void) {
    if (!JournalActive()) return 1;
    char path[MAX_PATH_TEXT];
    CopyText(path, JournalState.path, sizeof path);
    int doneWritten = JournalWrite(JOURNAL_DONE, nullptr);
    Journal j;
    int written = JournalWritten(&j);
    JournalClose();
    if (!written) {
        LogPrintf("Journal %s could not be read back: the earlier files stay in %s", path,
                  JOURNAL_FOLDER);
        if (!doneWritten) RemoveJournal(path);
        ResetJournalState();
        return 0;
    }
    CommitJournal(path, &j, doneWritten);
    FreeJournal(&j);
    ResetJournalState();
    return 1;
}

int RecoverInterruptedInstall(void) {
    char pointer[MAX_PATH_TEXT], path[POINTER_MAX_BYTES + 1];
    JournalPointerPath(pointer, sizeof pointer);
    SysFile f = SysOpen(pointer, SYS_READ);
    if (!f) return 0;
    long got = SysRead(f, path, POINTER_MAX_BYTES);
    SysClose(f);
    path[got > 0 ? got : 0] = 0;
    for (char* p = path; *p; ++p)
        if (*p == '\r' || *p == '\n') *p = 0;
    LogPrintf("Found the journal of an interrupted install: %s", path);
    char folder[MAX_PATH_TEXT];
    GetDirPart(folder, path);
    int ours =
        SameName(GetNamePart(path), JOURNAL_NAME) && SameName(GetNamePart(folder), JOURNAL_FOLDER);
    if (!path[0] || !Exists(path)) {
        LogPrintf("The journal is gone: nothing to finish");
        // A run ended before its journal was written may have left the folder, empty.
        if (ours) SysRemoveDir(folder);
        SysDelete(pointer);
        return 1;
    }
    // A pointer to something that is no journal of its folder is dropped; the file it names
    // is left alone, unless it is the empty journal of a run ended as it began.
    if (FinishJournal(path) == NOT_A_JOURNAL) {
        if (ours && GetFileSizeByName(path) == 0 && SysDelete(path)) SysRemoveDir(folder);
        SysDelete(pointer);
    }
    return 1;
}
