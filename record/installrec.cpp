// The install record: notes kept in memory during the run, written as one text file at the
// end of a successful install, read back by the uninstaller.
#include "record/installrec.h"

#include <string.h>

#include "record/escape.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "sys/sys.h"

namespace {

const char HEADER[] = "KOV install record 1";
enum { LINE_MAX = 8192, MAX_ITEMS = 4096 };

// One row per line kind: its name in the file, how many fields it carries, and how many of
// them make its identity (a second note with the same identity is dropped).
struct ItemKindRow {
    int kind;
    const char* name;
    int fields;
    int identity;
};
const ItemKindRow kItemKinds[] = {
    {ITEM_DEST, "DEST", 1, 1}, {ITEM_FILE, "FILE", 1, 1},   {ITEM_DIR, "DIR", 1, 1},
    {ITEM_DATA, "DATA", 1, 1}, {ITEM_GROUP, "GROUP", 1, 1}, {ITEM_LINK, "LINK", 1, 1},
    {ITEM_KEY, "KEY", 2, 2},   {ITEM_VALUE, "VALUE", 4, 3}, {ITEM_PROFILE, "PROFILE", 4, 3},
    {ITEM_HELP, "HELP", 3, 3}, {ITEM_END, "END", 1, 0},
};

const ItemKindRow* KindRow(int kind) {
    for (const ItemKindRow& row : kItemKinds)
        if (row.kind == kind) return &row;
    return nullptr;
}

char** Lines;
int LineCount, LineSlots;

// The identity of a line: its kind and its first identity fields, tab-separated, which is
// a prefix of the line itself.
int SameIdentity(const char* line, const char* other, int identity) {
    int tabs = 0;
    for (int i = 0;; ++i) {
        if (line[i] != other[i]) {
            // Equal up to the end of the identity part of both.
            return tabs == identity && (line[i] == '\t' || !line[i]) &&
                   (other[i] == '\t' || !other[i]);
        }
        if (!line[i]) return 1;
        if (line[i] == '\t' && ++tabs > identity) return 1;
    }
}

void AddLine(int kind, const char* f0, const char* f1, const char* f2, const char* f3) {
    const ItemKindRow* row = KindRow(kind);
    const char* fields[ITEM_FIELDS] = {f0, f1, f2, f3};
    char line[LINE_MAX];
    int used = AppendEscaped(line, 0, sizeof line, row->name);
    for (int i = 0; i < row->fields && used >= 0; ++i) {
        if (used + 1 >= (int)sizeof line) {
            used = -1;
            break;
        }
        line[used++] = '\t';
        used = AppendEscaped(line, used, sizeof line, fields[i]);
    }
    if (used < 0) {
        LogPrintf("Install record: %s line too long, not noted", row->name);
        return;
    }
    if (row->identity) {
        for (int i = 0; i < LineCount; ++i)
            if (SameIdentity(Lines[i], line, row->identity)) return;
    }
    if (LineCount == LineSlots) {
        int slots = LineSlots ? LineSlots * 2 : 64;
        char** grown = (char**)MemAlloc(sizeof(char*) * (unsigned long)slots);
        if (Lines) memcpy(grown, Lines, sizeof(char*) * (unsigned long)LineCount);
        MemFree(Lines);
        Lines = grown;
        LineSlots = slots;
    }
    char* copy = (char*)MemAlloc((unsigned long)used + 1);
    memcpy(copy, line, (size_t)used + 1);
    Lines[LineCount++] = copy;
    // The record is written only at the end of the install: a rollback before then, in this
    // run or after a kill in the next, takes the earlier values from the journal.
    if (JournalActive()) {
        if (kind == ITEM_VALUE) JournalWrite(JOURNAL_VALUE, f0, f1, f2, f3);
        else if (kind == ITEM_PROFILE) JournalWrite(JOURNAL_PROFILE, f0, f1, f2, f3);
        else if (kind == ITEM_KEY) JournalWrite(JOURNAL_KEY, f0, f1);
    }
}

int WriteText(SysFile f, const char* text) {
    unsigned long length = (unsigned long)strlen(text);
    return SysWrite(f, text, length) == (long)length;
}

}  // namespace

void RecordFile(const char* path) { AddLine(ITEM_FILE, path, 0, 0, 0); }
void RecordFolder(const char* path) { AddLine(ITEM_DIR, path, 0, 0, 0); }
void RecordUserData(const char* path) { AddLine(ITEM_DATA, path, 0, 0, 0); }
void RecordGroup(const char* name) { AddLine(ITEM_GROUP, name, 0, 0, 0); }
void RecordShortcut(const char* path) { AddLine(ITEM_LINK, path, 0, 0, 0); }
void RecordRegistryKey(const char* root, const char* key) { AddLine(ITEM_KEY, root, key, 0, 0); }

void RecordRegistryValue(const char* root, const char* key, const char* name,
                         const char* previousKind, const char* previous) {
    char state[ITEM_FIELD_SIZE];
    CopyText(state, previousKind, sizeof state);
    if (strcmp(previousKind, PREVIOUS_STRING) == 0 || strcmp(previousKind, PREVIOUS_NUMBER) == 0)
        AppendText(state, previous, sizeof state);
    AddLine(ITEM_VALUE, root, key, name, state);
}

void RecordProfileValue(const char* file, const char* section, const char* name,
                        const char* previous) {
    char state[ITEM_FIELD_SIZE];
    CopyText(state, previous ? PREVIOUS_TEXT : PREVIOUS_ABSENT, sizeof state);
    if (previous) AppendText(state, previous, sizeof state);
    AddLine(ITEM_PROFILE, file, section, name, state);
}

void RecordAppended(const char* file, unsigned long sizeBefore, const char* bytes) {
    char size[16];
    Format(size, sizeof size, "%lu", sizeBefore);
    AddLine(ITEM_HELP, file, size, bytes, 0);
}

int MakePathRecorded(const char* path) {
    // Which levels are missing now: those that exist afterwards were made here.
    char work[MAX_PATH_TEXT];
    if (!CopyText(work, path, sizeof work)) return MakePath(path);
    StripTrailingBackslash(work);
    char missing[32][MAX_PATH_TEXT];
    int count = 0;
    char* start = work;
    if (work[0] && work[1] == ':') start = work[2] ? work + 3 : work + 2;
    for (char* p = start;; p = (char*)SysCharNext(p)) {
        if (*p != '\\' && *p) continue;
        char saved = *p;
        *p = 0;
        if (work[0] && !PathExists(work) && count < 32)
            CopyText(missing[count++], work, sizeof missing[0]);
        *p = saved;
        if (!saved) break;
    }
    // A rollback takes the folders away again, the innermost first; one the journal cannot
    // name is not made.
    for (int i = 0; i < count; ++i)
        if (!JournalNoteFolder(missing[i])) return 0;
    int result = MakePath(path);
    for (int i = 0; i < count; ++i)
        if (PathExists(missing[i])) RecordFolder(missing[i]);
    return result;
}

int WriteInstallRecord(const char* dir, const char* dest) {
    char path[MAX_PATH_TEXT];
    if (!JoinPath(path, dir, INSTALL_RECORD_NAME, nullptr)) return 0;
    // The earlier installation's record is its uninstaller's until the install is committed.
    if (!JournalSetAside(path)) return 0;
    SysFile f = SysCreate(path);
    if (!f) {
        LogPrintf("Couldn't create install record %s", path);
        return 0;
    }
    char line[LINE_MAX];
    int ok = WriteText(f, HEADER) && WriteText(f, "\r\n");
    CopyText(line, "DEST\t", sizeof line);
    if (AppendEscaped(line, 5, sizeof line, dest) < 0) ok = 0;
    ok = ok && WriteText(f, line) && WriteText(f, "\r\n");
    for (int i = 0; i < LineCount && ok; ++i) ok = WriteText(f, Lines[i]) && WriteText(f, "\r\n");
    // The count covers the DEST line and the notes: a record cut short anywhere shows.
    Format(line, sizeof line, "END\t%d\r\n", LineCount + 1);
    ok = ok && WriteText(f, line);
    SysClose(f);
    if (!ok) {
        LogPrintf("Couldn't write install record %s", path);
        SysDelete(path);
        return 0;
    }
    LogPrintf("Install record %s written (%d lines)", path, LineCount + 1);
    return 1;
}

void ResetInstallRecord(void) {
    for (int i = 0; i < LineCount; ++i) MemFree(Lines[i]);
    MemFree(Lines);
    Lines = nullptr;
    LineCount = LineSlots = 0;
}

int InstallRecordCount(void) { return LineCount; }

const char* InstallItemName(int kind) {
    const ItemKindRow* row = KindRow(kind);
    return row ? row->name : nullptr;
}

namespace {

// Parses one line (without its line break) into item; 0 when it is not a line of the format.
int ParseLine(const char* line, int length, InstallItem* item) {
    int tab = 0;
    while (tab < length && line[tab] != '\t') ++tab;
    const ItemKindRow* row = nullptr;
    for (const ItemKindRow& r : kItemKinds)
        if ((int)strlen(r.name) == tab && memcmp(r.name, line, (size_t)tab) == 0) row = &r;
    if (!row) return 0;
    memset(item, 0, sizeof *item);
    item->kind = row->kind;
    int at = tab;
    for (int i = 0; i < row->fields; ++i) {
        if (at >= length || line[at] != '\t') return 0;
        int start = ++at;
        while (at < length && line[at] != '\t') ++at;
        if (!Unescape(line + start, at - start, item->field[i], ITEM_FIELD_SIZE)) return 0;
    }
    return at == length;  // extra fields: not this format
}

}  // namespace

int ReadInstallRecord(const char* path, InstallRecord* out) {
    memset(out, 0, sizeof *out);
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    long size = SysFileSize(f);
    // A record of this program stays far below this; anything bigger is not one.
    if (size < (long)sizeof HEADER - 1 || size > 1024L * 1024) {
        SysClose(f);
        return 0;
    }
    char* text = (char*)MemAlloc((unsigned long)size + 1);
    long got = SysRead(f, text, (unsigned long)size);
    SysClose(f);
    if (got < (long)sizeof HEADER - 1 || memcmp(text, HEADER, sizeof HEADER - 1) != 0) {
        MemFree(text);
        return 0;
    }
    int slots = 0;
    long at = 0;
    int endSeen = 0, endCount = -1;
    while (at < got) {
        long start = at;
        while (at < got && text[at] != '\n') ++at;
        long end = at;
        // A last line without its line break was cut short: a cut path could name some
        // other file, so it does not count.
        if (at == got) {
            if (end > start) ++out->skipped;
            break;
        }
        ++at;  // the line feed
        if (end > start && text[end - 1] == '\r') --end;
        if (start == 0) continue;  // the header
        if (end == start) continue;
        if (out->count == slots) {
            // An install notes a few hundred lines; a record of many more is not one of ours,
            // and its lines must not cost memory without end.
            if (slots == MAX_ITEMS) {
                ++out->skipped;
                break;
            }
            slots = slots ? slots * 2 : 64;
            InstallItem* grown = (InstallItem*)MemAlloc(sizeof(InstallItem) * (unsigned long)slots);
            if (out->count) memcpy(grown, out->items, sizeof(InstallItem) * (size_t)out->count);
            MemFree(out->items);
            out->items = grown;
        }
        InstallItem* item = &out->items[out->count];
        if (end - start >= LINE_MAX || !ParseLine(text + start, (int)(end - start), item)) {
            ++out->skipped;
            continue;
        }
        if (item->kind == ITEM_END) {
            endSeen = 1;
            endCount = 0;
            for (const char* p = item->field[0]; *p >= '0' && *p <= '9' && endCount < 1000000; ++p)
                endCount = endCount * 10 + (*p - '0');
            break;
        }
        ++out->count;
    }
    MemFree(text);
    out->complete = endSeen && endCount == out->count && out->skipped == 0;
    return 1;
}

void FreeInstallRecord(InstallRecord* record) {
    MemFree(record->items);
    record->items = nullptr;
    record->count = 0;
}
