// The rollback journal: written line by line ahead of each change, read back by a rollback or
// a commit of this run or of the next one.
#include "record/journal.h"

#include <string.h>

#include "base/format.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "record/escape.h"
#include "sys/sys.h"

JournalStateT JournalState;

namespace {

const char HEADER[] = "KOV setup journal 1";
// A line holds at most four escaped fields; a journal holds a line or two per package file.
enum { LINE_MAX = 4 * 3 * JOURNAL_FIELD_SIZE, JOURNAL_MAX_BYTES = 16 * 1024 * 1024 };
const char BACKUP_FORMAT[] = "%05lu.BAK";

// One row per line kind: its name in the file and how many fields it carries.
struct JournalKindRow {
    int kind;
    const char* name;
    int fields;
};
const JournalKindRow kJournalKinds[] = {
    {JOURNAL_DEST, "DEST", 1},       {JOURNAL_MOVED, "MOVED", 2},
    {JOURNAL_NEW, "NEW", 1},         {JOURNAL_OLD_DB, "OLDDB", 2},
    {JOURNAL_RENAMED, "RENAMED", 2}, {JOURNAL_VALUE, "VALUE", 4},
    {JOURNAL_PROFILE, "PROFILE", 4}, {JOURNAL_KEY, "KEY", 2},
    {JOURNAL_DISCARD, "DISCARD", 1}, {JOURNAL_NEW_FOLDER, "FOLDER", 1},
    {JOURNAL_DONE, "DONE", 0},       {JOURNAL_UNDONE, "UNDONE", 1},
};

const JournalKindRow* KindRow(int kind) {
    for (const JournalKindRow& row : kJournalKinds)
        if (row.kind == kind) return &row;
    return nullptr;
}

// One line of the file (without its CR LF) into out; 0 when it is not a line of the format.
int ParseLine(const char* text, int length, JournalLine* out) {
    int at = 0;
    while (at < length && text[at] != '\t') at++;
    const JournalKindRow* row = nullptr;
    for (const JournalKindRow& r : kJournalKinds)
        if ((int)strlen(r.name) == at && !memcmp(r.name, text, (size_t)at)) row = &r;
    if (!row) return 0;
    memset(out, 0, sizeof *out);
    out->kind = row->kind;
    for (int f = 0; f < row->fields; ++f) {
        if (at >= length || text[at] != '\t') return 0;
        int start = ++at;
        while (at < length && text[at] != '\t') at++;
        if (!Unescape(text + start, at - start, out->field[f], JOURNAL_FIELD_SIZE)) return 0;
    }
    return at == length;
}

int WriteAll(SysFile f, const char* text, unsigned long length) {
    return SysWrite(f, text, length) == (long)length;
}

void Forget(void) {
    if (JournalState.file) SysClose(JournalState.file);
    if (JournalState.text) MemFree(JournalState.text);
    JournalState = {};
    LogKeepAwayFromFolder(0);
}

// Keeps a copy of what went to the file.
void Remember(const char* text, uint32_t length) {
    JournalStateT& j = JournalState;
    if (j.textUsed + length + 1 > j.textSize) {
        uint32_t size = (j.textSize ? j.textSize * 2 : 4096) + length;
        char* grown = (char*)MemAlloc(size);
        if (j.text) {
            memcpy(grown, j.text, j.textUsed);
            MemFree(j.text);
        }
        j.text = grown;
        j.textSize = size;
    }
    memcpy(j.text + j.textUsed, text, length);
    j.textUsed += length;
}

// Reads the lines of a journal's text up to its last whole line.
int ParseJournal(const char* text, long size, Journal* out) {
    memset(out, 0, sizeof *out);
    unsigned slots = 0;
    for (long i = 0; i < size; ++i)
        if (text[i] == '\n') slots++;
    out->lines = (JournalLine*)MemAlloc((unsigned long)(slots + 1) * sizeof(JournalLine));
    long start = 0;
    int header = 0;
    for (long i = 0; i + 1 < size; ++i) {
        if (text[i] != '\r' || text[i + 1] != '\n') continue;
        int length = (int)(i - start);
        out->wholeBytes = i + 2;
        if (!header) {
            header = length == (int)strlen(HEADER) && !memcmp(text + start, HEADER, (size_t)length);
            if (!header) break;
        } else if (length < LINE_MAX && ParseLine(text + start, length, &out->lines[out->count])) {
            // The destination line comes first and only once.
            int isDest = out->lines[out->count].kind == JOURNAL_DEST;
            if (isDest == (out->count == 0)) out->count++;
            else out->damaged++;
        } else {
            out->damaged++;
        }
        start = i + 2;
        i++;
    }
    out->cut = out->wholeBytes < size;
    if (!header || out->count == 0) {
        FreeJournal(out);
        return 0;
    }
    CopyText(out->dest, out->lines[0].field[0], sizeof out->dest);
    return 1;
}

}  // namespace

const char* JournalKindName(int kind) {
    const JournalKindRow* row = KindRow(kind);
    return row ? row->name : nullptr;
}

void ResetJournalState(void) { Forget(); }

void JournalPointerPath(char* out, unsigned size) {
    char path[MAX_PATH_TEXT];
    CopyText(path, CrashLogPath(), sizeof path);
    char* dot = FindLastCharMb(path, '.');
    if (dot) *dot = 0;
    AppendText(path, "." JOURNAL_POINTER_EXT, sizeof path);
    CopyText(out, path, size);
}

int JournalPathIn(char* out, const char* dest) {
    return JoinPath(out, dest, JOURNAL_FOLDER, JOURNAL_NAME, (const char*)nullptr) != nullptr &&
           strlen(dest) + sizeof JOURNAL_FOLDER + sizeof JOURNAL_NAME < MAX_PATH_TEXT;
}

int JournalActive(void) { return JournalState.file != 0; }

int JournalKeepsLogAway(void) { return JournalState.file != 0 || JournalState.rolledBack; }

int JournalWrite(int kind, const char* f0, const char* f1, const char* f2, const char* f3) {
    const JournalKindRow* row = KindRow(kind);
    if (!JournalState.file || !row) return 0;
    const char* fields[JOURNAL_FIELDS] = {f0, f1, f2, f3};
    char* line = (char*)MemAlloc(LINE_MAX);
    int used = AppendEscaped(line, 0, LINE_MAX, row->name);
    for (int i = 0; i < row->fields && used >= 0; ++i) {
        if (used + 1 >= LINE_MAX) used = -1;
        else {
            line[used++] = '\t';
            used = AppendEscaped(line, used, LINE_MAX, fields[i]);
        }
    }
    // A field longer than a field may be would not be read back whole.
    for (int i = 0; i < row->fields && used >= 0; ++i)
        if (fields[i] && strlen(fields[i]) >= JOURNAL_FIELD_SIZE) used = -1;
    int ok = used >= 0 && used + 2 < LINE_MAX;
    if (ok) {
        line[used++] = '\r';
        line[used++] = '\n';
        // Through to the disk before the change it announces is made, when that change puts
        // something earlier out of its place. A new file's line only has to survive a killed
        // process, which a write does; after a power cut the file may stay behind unnamed.
        ok = WriteAll(JournalState.file, line, (unsigned long)used) &&
             (kind == JOURNAL_NEW || kind == JOURNAL_NEW_FOLDER || SysFlush(JournalState.file));
        if (ok) Remember(line, (uint32_t)used);
    }
    if (ok && kind != JOURNAL_DEST) JournalState.entries++;
    if (!ok) LogPrintf("Journal: could not write a %s line", row->name);
    MemFree(line);
    return ok;
}

int JournalBegin(const char* dest) {
    Forget();
    char folder[MAX_PATH_TEXT], pointer[MAX_PATH_TEXT];
    if (!JournalPathIn(JournalState.path, dest)) {
        LogPrintf("No rollback journal: %s is too long", dest);
        JournalState = {};
        LogKeepAwayFromFolder(0);
        return 0;
    }
    if (!CanonicalFolder(JournalState.dest, dest, sizeof JournalState.dest))
        CopyText(JournalState.dest, dest, sizeof JournalState.dest);
    GetDirPart(folder, JournalState.path);
    JournalPointerPath(pointer, sizeof pointer);
    // The pointer comes first: a run ended from here on leaves the next one a pointer to a
    // journal that is whole, empty or not there yet, and it knows each of them.
    const char* failed = pointer;
    SysFile p = SysCreate(pointer);
    char line[MAX_PATH_TEXT + 2];
    Format(line, sizeof line, "%s\r\n", JournalState.path);
    int ok = p && WriteAll(p, line, (unsigned long)strlen(line)) && SysFlush(p);
    if (p && !SysClose(p)) ok = 0;
    // MakePath: an "earlier" folder that is not there yet is made with it.
    int madeFolder = ok && !PathExists(folder) && MakePath(folder);
    SysFile f = 0;
    if (ok) {
        failed = JournalState.path;
        f = SysCreate(JournalState.path);
        ok = f != 0;
    }
    if (ok) {
        // The header and the destination line in one write: the journal is empty or whole.
        char head[sizeof HEADER + 2 * MAX_PATH_TEXT], destLine[2 * MAX_PATH_TEXT];
        int used = AppendEscaped(destLine, 0, sizeof destLine, JournalState.dest);
        Format(head, sizeof head, "%s\r\n%s\t%s\r\n", HEADER, JournalKindName(JOURNAL_DEST),
               destLine);
        ok = used >= 0 && WriteAll(f, head, (unsigned long)strlen(head)) && SysFlush(f);
        if (ok) {
            JournalState.file = f;
            LogKeepAwayFromFolder(1);
            Remember(head, (uint32_t)strlen(head));
        }
    }
    if (!ok) {
        LogPrintf("No rollback journal: %s could not be written", failed);
        if (f) SysClose(f);
        SysDelete(JournalState.path);
        if (madeFolder) SysRemoveDir(folder);
        SysDelete(pointer);
        Forget();
        return 0;
    }
    LogPrintf("Rollback journal %s", JournalState.path);
    return 1;
}

int JournalRelative(const char* path, char* rel, unsigned size) {
    // Both written one way, whatever the spelling of the folder the paths were built from.
    char whole[MAX_PATH_TEXT], head[MAX_PATH_TEXT];
    if (!JournalState.dest[0] || !path || !CanonicalFolder(whole, path, sizeof whole)) return 0;
    size_t n = strlen(JournalState.dest);
    if (strlen(whole) <= n + 1 || n >= sizeof head) return 0;
    memcpy(head, whole, n);
    head[n] = 0;
    // The byte after the destination must start a name inside it ("C:\KOV2" is not in C:\KOV).
    if (!SameName(head, JournalState.dest) || whole[n] != '\\') return 0;
    return CopyText(rel, whole + n + 1, size);
}

// Moves path (an existing file of the destination, rel inside it) into the backup folder.
static int MoveAside(const char* path, const char* relAsAsked) {
    char folder[MAX_PATH_TEXT], name[16], backup[MAX_PATH_TEXT], rel[MAX_PATH_TEXT];
    // The file comes back under the name it has on the disk, not the spelling it was asked
    // for by: a rename back would give it the package's capitals.
    CopyText(rel, relAsAsked, sizeof rel);
    SysFindData fd;
    SysFind h = SysFindFirst(path, &fd);
    if (h) {
        char* bare = (char*)GetNamePart(rel);
        if (SameName(bare, fd.name)) CopyText(bare, fd.name, (unsigned)(sizeof rel - (bare - rel)));
        SysFindClose(h);
    }
    GetDirPart(folder, JournalState.path);
    // A name no file of the folder has: a leftover of another run is left alone.
    do {
        Format(name, sizeof name, BACKUP_FORMAT, (unsigned long)++JournalState.backups);
        JoinPath(backup, folder, name, (const char*)nullptr);
    } while (PathExists(backup));
    if (!JournalWrite(JOURNAL_MOVED, rel, name)) return 0;
    if (!MovePath(path, backup)) {
        LogPrintf("Could not move %s aside", path);
        return 0;
    }
    return 1;
}

int JournalSetAside(const char* path) {
    char rel[MAX_PATH_TEXT];
    if (!JournalActive() || !JournalRelative(path, rel, sizeof rel)) return 1;
    long attributes = SysAttributes(path);
    if (attributes == SYS_ATTR_NONE || (attributes & SYS_ATTR_DIR))
        return JournalWrite(JOURNAL_NEW, rel);
    return MoveAside(path, rel);
}

int JournalNoteFolder(const char* path) {
    char rel[MAX_PATH_TEXT];
    if (!JournalActive() || !JournalRelative(path, rel, sizeof rel)) return 1;
    return JournalWrite(JOURNAL_NEW_FOLDER, rel);
}

int JournalDiscard(const char* path) {
    char rel[MAX_PATH_TEXT];
    if (!JournalActive() || !JournalRelative(path, rel, sizeof rel)) return SysDelete(path);
    long attributes = SysAttributes(path);
    if (attributes == SYS_ATTR_NONE || (attributes & SYS_ATTR_DIR)) return 0;
    return MoveAside(path, rel);
}

int JournalReopen(const char* path, const char* dest, long wholeBytes) {
    Forget();
    SysFile f = SysOpen(path, SYS_WRITE);
    if (!f) return 0;
    if (SysSeek(f, wholeBytes, SYS_SEEK_SET) != wholeBytes || !SysTruncate(f)) {
        SysClose(f);
        return 0;
    }
    JournalState.file = f;
    LogKeepAwayFromFolder(1);
    CopyText(JournalState.path, path, sizeof JournalState.path);
    if (!CanonicalFolder(JournalState.dest, dest, sizeof JournalState.dest))
        CopyText(JournalState.dest, dest, sizeof JournalState.dest);
    return 1;
}

int JournalNoteRename(const char* from, const char* to) {
    char fromRel[MAX_PATH_TEXT], toRel[MAX_PATH_TEXT];
    if (!JournalActive() || !JournalRelative(from, fromRel, sizeof fromRel) ||
        !JournalRelative(to, toRel, sizeof toRel))
        return 1;
    return JournalWrite(JOURNAL_RENAMED, fromRel, toRel);
}

void JournalClose(void) {
    if (JournalState.file) SysClose(JournalState.file);
    JournalState.file = 0;
    LogKeepAwayFromFolder(JournalState.rolledBack);
}

void JournalMarkRolledBack(void) {
    JournalState.rolledBack = 1;
    LogKeepAwayFromFolder(1);
}

int ReadJournal(const char* path, Journal* out) {
    memset(out, 0, sizeof *out);
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    long size = SysFileSize(f);
    if (size <= 0 || size > JOURNAL_MAX_BYTES) {
        SysClose(f);
        return 0;
    }
    char* text = (char*)MemAlloc((unsigned long)size + 1);
    long got = SysRead(f, text, (unsigned long)size);
    SysClose(f);
    int ok = got == size && ParseJournal(text, size, out);
    MemFree(text);
    return ok;
}

int JournalWritten(Journal* out) {
    memset(out, 0, sizeof *out);
    return JournalState.text && ParseJournal(JournalState.text, (long)JournalState.textUsed, out);
}

void FreeJournal(Journal* journal) {
    if (journal->lines) MemFree(journal->lines);
    journal->lines = nullptr;
    journal->count = 0;
}
