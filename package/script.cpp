// The install script: a flat little-endian record read field by field into InstallSettings,
// then the tool modules and the file table. Reader and builder agree on the sequence through
// ScriptFields; there is no tag or version to skip a field.
#include "package/script.h"
#include "package/package.h"
#include "base/bytes.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include <stdlib.h>
#include <string.h>

#define S InstallSettings
// clang-format off
const ScriptField ScriptFields[] = {
    // name                 kind             error               size                cols rules                                target                   also
    {"DefaultDestDir",       SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, FOLDER_TEXT_BYTES,  0, {},                                    S.DefaultDestDir,        nullptr},
    {"GroupName",            SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {NAME_TITLE},                          S.GroupName,             nullptr},
    {"ItemTitle",            SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 128,                0, {NAME_TITLE},                          S.ItemTitle,             nullptr},
    {"FreshItemTitle",       SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 128,                0, {NAME_TITLE},                          S.FreshItemTitle,        nullptr},
    {"ClientExeName",        SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {},                                    S.ClientExeName,         nullptr},
    {"FrameTitle",           SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {},                                    S.FrameTitle,            nullptr},
    {"VersionText",          SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.VersionText,           nullptr},
    {"Reserved9",            SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 512,                0, {},                                    nullptr,                 nullptr},
    {"Reserved10",           SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 256,                0, {},                                    nullptr,                 nullptr},
    {"NextDiskProgram",      SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.NextDiskProgram,       nullptr},
    {"NextDiskLabel",        SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.NextDiskLabel,         nullptr},
    {"ContinuationProgram",  SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.ContinuationProgram,   nullptr},
    {"Reserved14",           SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    nullptr,                 nullptr},
    {"NoContinuationNotice", SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.NoContinuationNotice,  nullptr},
    {"ClientTextA",          SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {},                                    S.ClientTextA,           nullptr},
    {"ClientTextB",          SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {},                                    S.ClientTextB,           nullptr},
    {"Win31FallbackProgram", SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 64,                 0, {},                                    S.Win31FallbackProgram,  nullptr},
    {"QuickRefFile",         SCRIPT_TEXT,     FATAL_SCRIPT_FIELD, 32,                 0, {},                                    S.QuickRefFile,          nullptr},
    {"ExpectedDbKind",       SCRIPT_NUMBER8,  FATAL_DB_KIND,      6,                  0, {},                                    &S.ExpectedDbKind,       nullptr},
    {"ExpectedDbKindCode",   SCRIPT_NUMBER32, FATAL_DB_KIND_CODE, 6,                  0, {},                                    &S.ExpectedDbKindCode,   nullptr},
    {"SkipPreviousSearch",   SCRIPT_YES,      FATAL_SKIP_SEARCH,  6,                  0, {},                                    &S.SkipPreviousSearch,   nullptr},
    {"NoMigration",          SCRIPT_YES,      FATAL_NO_MIGRATION, 6,                  0, {},                                    &S.NoMigration,          &S.SkipPreviousSearch},
    {"SkipModem",            SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &SkipModem,              &SkipModemOption},
    {"NoDesktopItems",       SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &NoDesktopItems,         &NoDesktopItemsOption},
    {"OfferWin31Choice",     SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &OfferWin31Choice,       &OfferWin31ChoiceOption},
    {"ClientUpdateMode",     SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.ClientUpdateMode,     nullptr},
    {"DeferInUseFiles",      SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.DeferInUseFiles,      nullptr},
    {"AlwaysCopyToTemp",     SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.AlwaysCopyToTemp,     nullptr},
    {"AskAddOns",            SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.AskAddOns,            nullptr},
    {"WriteVersionFile",     SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &WriteVersionFile,       nullptr},
    {"DbVersion",            SCRIPT_VERSION,  FATAL_SCRIPT_FIELD, 0,                  0, {},                                    S.DbVersion,             nullptr},
    {"CarriedRecordIds",     SCRIPT_KEYS,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.CarriedRecordIds,     &S.CarriedRecordCount},
    {"SoundEvents",          SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              2, {NAME_FREE, NAME_PLAIN},               &S.SoundEvents,          nullptr},
    {"PreservedFiles",       SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              2, {NAME_PATTERN, NAME_PATTERN_OR_EMPTY}, &S.PreservedFiles,       nullptr},
    {"CreateDirs",           SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_PLAIN},                          &S.CreateDirs,           nullptr},
    {"WindowsDirDeletes",    SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_WINDOWS_FILE},                   &S.WindowsDirDeletes,    nullptr},
    {"DestDirDeletes",       SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_PATTERN},                        &S.DestDirDeletes,       nullptr},
    {"MergedFilesA",         SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_PLAIN},                          &S.MergedFilesA,         &S.MergedTableA},
    {"MergedFilesB",         SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_PLAIN},                          &S.MergedFilesB,         &S.MergedTableB},
    {"ReservedWords",        SCRIPT_WORDS,    FATAL_SCRIPT_FIELD, MAX_SCRIPT_WORDS,   0, {},                                    nullptr,                 nullptr},
    {"ExactNewerVersions",   SCRIPT_WORDS,    FATAL_SCRIPT_FIELD, MAX_SCRIPT_WORDS,   0, {},                                    &S.ExactNewerVersions,   nullptr},
    {"MinimumNewerVersions", SCRIPT_WORDS,    FATAL_SCRIPT_FIELD, MAX_SCRIPT_WORDS,   0, {},                                    &S.MinimumNewerVersions, nullptr},
    {"BrowserInstallers",    SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {NAME_PLAIN},                          &S.BrowserInstallers,    nullptr},
    {"ReservedList45",       SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              3, {},                                    nullptr,                 nullptr},
    {"ReservedList46",       SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              3, {},                                    nullptr,                 nullptr},
    {"AddOnPrograms",        SCRIPT_LIST,     FATAL_SCRIPT_FIELD, MAX_ADDON_PROGRAMS, 3, {NAME_PLAIN},                          &S.AddOnPrograms,        nullptr},
    {"ReservedList48",       SCRIPT_LIST,     FATAL_SCRIPT_FIELD, 65535,              1, {},                                    nullptr,                 nullptr},
    {"ExtraSpaceKb",         SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.ExtraSpaceKb,         nullptr},
    {"RequiredBrowserBuild", SCRIPT_FLAG,     FATAL_SCRIPT_FIELD, 0,                  0, {},                                    &S.RequiredBrowserBuild, nullptr},
    {"ToolModules",          SCRIPT_TOOLS,    FATAL_SCRIPT_FIELD, MAX_TOOL_MODULES,   0, {},                                    S.ToolModules,           &S.ToolModuleCount},
    {"Files",                SCRIPT_FILES,    FATAL_SCRIPT_FIELD, 0,                  0, {},                                    nullptr,                 nullptr},
};
// clang-format on
#undef S
const int ScriptFieldCount = sizeof ScriptFields / sizeof ScriptFields[0];

const ScriptField* FindScriptField(const char* name) {
    for (const ScriptField& f : ScriptFields)
        if (SameName(f.name, name)) return &f;
    return nullptr;
}

static int Fail(uint16_t number, const char* field) {
    LogPrintf("Install script: bad %s (error %u)", field, (unsigned)number);
    return SetFatal(number);
}

// The package file as a byte source: every read of the script goes through ReadExact.
static int ReadFromPackage(void*, void* out, unsigned long n) {
    return n <= 0xFFFF && ReadExact(out, (uint16_t)n);
}

// Set when the first three characters are "yes" in any case.
static int IsYes(const char* text) {
    for (int i = 0; i < 3; i++)
        if ((text[i] | 0x20) != "yes"[i]) return 0;
    return 1;
}

static void FreeList(TextList* list) {
    char** columns[3] = {list->a, list->b, list->c};
    for (int k = 0; k < 3; k++) {
        if (!columns[k]) continue;
        for (unsigned i = 0; i < list->count; i++)
            if (columns[k][i]) MemFree(columns[k][i]);
        MemFree(columns[k]);
    }
    memset(list, 0, sizeof *list);
}

static MergedTable* NewMergedTable(uint16_t count) {
    MergedTable* t = (MergedTable*)MemAlloc(sizeof(MergedTable) + count * sizeof(PackageEntry*));
    t->count = count;
    t->slot = (PackageEntry**)(t + 1);
    return t;
}

// A component that the file system would not take as a plain name: one made only of dots
// and spaces ("..", ". .", and "..." which older systems read as two levels up, since
// trailing dots and spaces are dropped), or a device name such as "com1" or "nul.txt",
// which would send the file's bytes to a port or nowhere, whatever the folder and extension.
static int IsSpecialComponent(const char* part, unsigned length) {
    unsigned i = 0;
    while (i < length && (part[i] == '.' || part[i] == ' ')) i++;
    if (length > 0 && i == length) return 1;
    unsigned base = 0;
    while (base < length && part[base] != '.') base++;
    while (base > 0 && part[base - 1] == ' ') base--;
    static const char* const devices[] = {"CON",    "PRN",    "AUX",    "NUL",
                                          "CLOCK$", "CONIN$", "CONOUT$"};
    char upper[8];
    if (base == 0 || base >= sizeof upper) return 0;
    for (unsigned k = 0; k < base; k++) upper[k] = (char)UpperName((unsigned char)part[k]);
    upper[base] = 0;
    for (const char* d : devices)
        if (strcmp(upper, d) == 0) return 1;
    return base == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

static int IsSafeName(const char* name, unsigned length, int wildcards) {
    if (length == 0 || length > 259) return 0;
    if (memchr(name, 0, length) || memchr(name, ':', length)) return 0;
    if (name[0] == '\\' || name[0] == '/') return 0;
    // Every component between separators must be a plain name.
    unsigned start = 0;
    for (unsigned i = 0; i <= length; i++) {
        if (i == length || name[i] == '\\' || name[i] == '/') {
            if (IsSpecialComponent(name + start, i - start)) return 0;
            start = i + 1;
        } else if (SysIsLeadByte((unsigned char)name[i]) && i + 1 < length) {
            i++;  // a trail byte is never a separator
        } else if (!wildcards && (name[i] == '*' || name[i] == '?')) {
            return 0;
        }
    }
    return 1;
}

int IsSafeEntryName(const char* name, unsigned length) { return IsSafeName(name, length, 1); }

// A pattern of the Windows folder's delete list names a package's own files there: no folder
// (SYSTEM and the others hold what programs share), something before the first dot that is
// not a wildcard ("*.ini" is every program's settings), and nothing of the system's own.
static int IsWindowsFileName(const char* text) {
    unsigned length = (unsigned)strlen(text);
    if (!IsSafeName(text, length, 1) || FindCharMb(text, '\\') || FindCharMb(text, '/')) return 0;
    int literal = 0;
    for (const char* p = text; *p && *p != '.'; p = SysCharNext(p))
        if (*p != '*' && *p != '?') literal = 1;
    return literal && !IsSystemFileName(text);
}

// A title becomes the name of a shortcut or of a group's folder in a shell folder: one name,
// of characters a file name may hold, that the file system keeps as it is written.
static int IsTitle(const char* text) {
    unsigned length = (unsigned)strlen(text);
    if (length == 0) return 1;
    for (const char* p = text; *p; p = SysCharNext(p)) {
        unsigned char c = (unsigned char)*p;
        if (!SysIsLeadByte(c) && (c < ' ' || strchr("\\/:*?\"<>|", c))) return 0;
    }
    char last = text[length - 1];
    return !IsSpecialComponent(text, length) && last != '.' && last != ' ';
}

int IsSafeListName(int rule, const char* text) {
    switch (rule) {
    case NAME_WINDOWS_FILE: return IsWindowsFileName(text);
    case NAME_TITLE: return IsTitle(text);
    case NAME_PLAIN: return IsSafeName(text, (unsigned)strlen(text), 0);
    case NAME_PATTERN_OR_EMPTY:
        if (!text[0]) return 1;
        // fall through
    case NAME_PATTERN: return IsSafeName(text, (unsigned)strlen(text), 1);
    }
    return 1;
}

static int OnList(const TextList* list, const char* name) {
    for (unsigned i = 0; i < list->count; i++)
        if (SameName(list->a[i], name)) return 1;
    return 0;
}

static int ReadWords(ByteReader* r, WordTable* table, unsigned most) {
    uint16_t n = ReadU16(r);
    if (r->failed || n > most) return 0;
    table->count = n;
    for (unsigned i = 0; i < n; i++) table->value[i] = ReadU16(r);
    return !r->failed;
}

// A list whose texts become paths: each such text gets '\' separators and must stay below
// the folder the list is relative to, so that a damaged or hostile package cannot create,
// delete, rename or move anything elsewhere.
static int CheckListNames(const ScriptField* f, TextList* list) {
    char** columns[3] = {list->a, list->b, list->c};
    for (int k = 0; k < f->columns; k++) {
        if (f->rule[k] == NAME_FREE || !columns[k]) continue;
        for (unsigned i = 0; i < list->count; i++) {
            BackslashSeparators(columns[k][i]);
            if (!IsSafeListName(f->rule[k], columns[k][i])) {
                LogPrintf("Unsafe name in %s: %s", f->name, columns[k][i]);
                return 0;
            }
        }
    }
    return 1;
}

static int ReadList(const ScriptField* f) {
    TextList scratch = {};
    TextList* list = f->target ? (TextList*)f->target : &scratch;
    int ok = ReadTextList(&list->count, &list->a, f->columns > 1 ? &list->b : 0,
                          f->columns > 2 ? &list->c : 0);
    if (ok && list->count > f->size) ok = 0;
    if (ok) ok = CheckListNames(f, list);
    if (!f->target) FreeList(&scratch);
    if (!ok) return Fail(f->error, f->name);
    if (f->also && list->count) *(MergedTable**)f->also = NewMergedTable(list->count);
    return 1;
}

static int ReadToolModules(ByteReader* r, const ScriptField* f) {
    InstallSettingsT& s = InstallSettings;
    uint16_t count = ReadU16(r);
    if (r->failed || count > f->size) return Fail(f->error, "tool module count");
    for (unsigned i = 0; i < count; i++) {
        ToolModule* t = &s.ToolModules[i];
        memset(t, 0, sizeof *t);
        if (!ReadText(t->name, sizeof t->name)) return Fail(FATAL_SCRIPT_RECORD, "tool module");
        t->minVersion = ReadU32(r);
        t->keyCount = ReadU16(r);
        if (r->failed) return Fail(FATAL_SCRIPT_RECORD, "tool module");
        // The module is looked for and kept under this name in the client's TOOL folder.
        BackslashSeparators(t->name);
        if (!IsSafeListName(NAME_PLAIN, t->name)) {
            LogPrintf("Unsafe file name in package: %s", t->name);
            return Fail(FATAL_SCRIPT_RECORD, "tool module name");
        }
        for (unsigned k = 0; k < t->keyCount; k++) {
            uint32_t key = ReadU32(r);
            if (r->failed) return Fail(FATAL_SCRIPT_RECORD, "tool module key");
            ToolKey* node = (ToolKey*)MemAlloc(sizeof(ToolKey));
            node->key = key;
            node->next = t->keys;
            t->keys = node;
        }
        t->companionCount = ReadU16(r);
        if (r->failed) return Fail(FATAL_SCRIPT_RECORD, "tool module");
        for (unsigned k = 0; k < t->companionCount; k++) {
            ToolCompanion* node = (ToolCompanion*)MemAlloc(sizeof(ToolCompanion));
            if (!ReadText(node->name, sizeof node->name)) {
                MemFree(node);
                return Fail(FATAL_SCRIPT_RECORD, "tool module companion");
            }
            // A companion is copied to the same name below the destination: it must stay there.
            BackslashSeparators(node->name);
            if (!IsSafeListName(NAME_PLAIN, node->name)) {
                LogPrintf("Unsafe file name in package: %s", node->name);
                MemFree(node);
                return Fail(FATAL_SCRIPT_RECORD, "tool module companion name");
            }
            node->next = t->companions;
            t->companions = node;
        }
        s.ToolModuleCount = (uint16_t)(i + 1);
    }
    return 1;
}

static int CompareEntryNames(const void* a, const void* b) {
    return CompareNames((*(PackageEntry* const*)a)->name, (*(PackageEntry* const*)b)->name);
}

// Two entries of one name would write one file twice, and FindPackageEntry could only ever
// find the first. Sorted by name so that a large table costs no quadratic scan.
static int HasDuplicateName(const FileTableT* table) {
    if (table->count < 2) return 0;
    unsigned long bytes = (unsigned long)table->count * sizeof(PackageEntry*);
    PackageEntry** sorted = (PackageEntry**)MemAlloc(bytes);
    memcpy(sorted, table->entry, bytes);
    qsort(sorted, table->count, sizeof *sorted, CompareEntryNames);
    int twice = 0;
    for (unsigned i = 1; i < table->count && !twice; i++)
        if (SameName(sorted[i - 1]->name, sorted[i]->name)) {
            LogPrintf("File named twice in package: %s", sorted[i]->name);
            twice = 1;
        }
    MemFree(sorted);
    return twice;
}

static int ReadFileTable(ByteReader* r, const ScriptField* f) {
    InstallSettingsT& s = InstallSettings;
    uint16_t count = ReadU16(r);
    if (r->failed) return Fail(f->error, "file count");
    FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + count * sizeof(PackageEntry*));
    FileTable->entry = (PackageEntry**)(FileTable + 1);
    s.MergedBytesA = s.MergedBytesB = 0;
    for (unsigned i = 0; i < count; i++) {
        uint16_t length = ReadU16(r);
        if (r->failed) return Fail(FATAL_SCRIPT_RECORD, "file entry");
        PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + length + 1);
        // Counted as soon as it exists, so that ClosePackage frees it after a failure.
        FileTable->entry[i] = e;
        FileTable->count = (uint16_t)(i + 1);
        ReadBytes(r, e->name, length);
        e->installedSize = ReadU32(r);
        e->storedSize = ReadU32(r);
        if (r->failed) return Fail(FATAL_SCRIPT_RECORD, "file entry");
        e->name[length] = 0;
        // A name that leaves the install target would let a package write anywhere.
        if (!IsSafeEntryName(e->name, length)) {
            LogPrintf("Unsafe file name in package: %s", e->name);
            return Fail(FATAL_SCRIPT_RECORD, "file entry name");
        }
        BackslashSeparators(e->name);
        if (OnList(&s.MergedFilesA, e->name)) s.MergedBytesA += e->installedSize;
        if (OnList(&s.MergedFilesB, e->name)) s.MergedBytesB += e->installedSize;
        FileTable->total += e->installedSize;
    }
    if (HasDuplicateName(FileTable)) return Fail(FATAL_SCRIPT_RECORD, "file entry name");
    // The stored bytes follow the table in table order and end where the package ends: sizes
    // that run past the end (or wrap past 4 GB back into the script) would copy other bytes.
    long position = SysSeek(PackageFile, 0, SYS_SEEK_CUR);
    long end = SysFileSize(PackageFile);
    if (position < 0 || end < position) return Fail(FATAL_SCRIPT_RECORD, "file table end");
    uint64_t running = (uint64_t)position;
    for (unsigned i = 0; i < FileTable->count; i++) {
        FileTable->entry[i]->offset = (uint32_t)running;
        running += FileTable->entry[i]->storedSize;
        if (running > (uint64_t)end) break;
    }
    if (running != (uint64_t)end) {
        LogPrintf("File data ends at %lu, the package at %ld", (unsigned long)running, end);
        return Fail(FATAL_SCRIPT_RECORD, "file data size");
    }
    return 1;
}

static int ReadField(ByteReader* r, const ScriptField* f) {
    char scratch[512];
    switch (f->kind) {
    case SCRIPT_TEXT: {
        char* text = f->target ? (char*)f->target : scratch;
        if (!ReadText(text, f->size)) return Fail(f->error, f->name);
        if (f->rule[0] != NAME_FREE && !IsSafeListName(f->rule[0], text)) {
            LogPrintf("Unsafe name in %s: %s", f->name, text);
            return Fail(f->error, f->name);
        }
        return 1;
    }
    case SCRIPT_NUMBER8:
    case SCRIPT_NUMBER32:
    case SCRIPT_YES:
        if (!ReadText(scratch, f->size)) return Fail(f->error, f->name);
        if (f->kind == SCRIPT_NUMBER8 && scratch[0]) *(uint8_t*)f->target = (uint8_t)atoi(scratch);
        if (f->kind == SCRIPT_NUMBER32 && scratch[0]) *(int32_t*)f->target = atoi(scratch);
        if (f->kind == SCRIPT_YES && IsYes(scratch)) {
            *(uint32_t*)f->target = 1;
            if (f->also) *(uint32_t*)f->also = 1;
        }
        return 1;
    case SCRIPT_FLAG: {
        uint16_t value = ReadU16(r);
        if (r->failed) return Fail(f->error, f->name);
        // An option given on the command line wins over the script.
        if (!(f->also && *(uint32_t*)f->also)) *(uint32_t*)f->target = value;
        return 1;
    }
    case SCRIPT_VERSION:
        if (!ReadBytes(r, f->target, 2)) return Fail(f->error, f->name);
        return 1;
    case SCRIPT_KEYS: {
        uint16_t count = ReadU16(r);
        if (r->failed) return Fail(f->error, f->name);
        if (count) {
            uint32_t* keys = (uint32_t*)MemAlloc((unsigned long)count * 4);
            *(uint32_t**)f->target = keys;
            *(uint16_t*)f->also = count;
            for (unsigned i = 0; i < count; i++) keys[i] = ReadU32(r);
            if (r->failed) return Fail(f->error, f->name);
        }
        return 1;
    }
    case SCRIPT_LIST: return ReadList(f);
    case SCRIPT_WORDS: {
        WordTable unused;
        if (!ReadWords(r, f->target ? (WordTable*)f->target : &unused, f->size))
            return Fail(f->error, f->name);
        return 1;
    }
    case SCRIPT_TOOLS: return ReadToolModules(r, f);
    case SCRIPT_FILES: return ReadFileTable(r, f);
    }
    return Fail(f->error, f->name);
}

int ReadInstallScript(void) {
    InstallSettingsT& s = InstallSettings;
    s.ExpectedDbKind = 255;
    s.ExpectedDbKindCode = -1;
    if (!PackageFile ||
        SysSeek(PackageFile, (long)PackageOffset, SYS_SEEK_SET) != (long)PackageOffset)
        return Fail(FATAL_SCRIPT_SEEK, "package offset");

    char magic[2];
    if (!ReadExact(magic, 2) || memcmp(magic, SCRIPT_MAGIC, 2) != 0)
        return Fail(FATAL_SCRIPT_MAGIC, "magic");
    ByteReader r = StreamReader(ReadFromPackage, nullptr);
    for (const ScriptField& f : ScriptFields) {
        int ok = ReadField(&r, &f);
        FallbackInstallerNamed = s.Win31FallbackProgram[0] != 0;
        if (!ok) return 0;
    }
    LogPrintf("Install script read: %u files, %lu bytes installed, %u tool modules",
              (unsigned)FileTable->count, (unsigned long)FileTable->total,
              (unsigned)s.ToolModuleCount);
    return 1;
}

int OpenPackageAndScript(void) {
    if (SetupError) return 0;
    if (!OpenPackage()) return 0;
    if (QuitRequested) return 0;
    return ReadInstallScript();
}

void FreeInstallScript(void) {
    InstallSettingsT& s = InstallSettings;
    for (const ScriptField& f : ScriptFields)
        if (f.kind == SCRIPT_LIST && f.target) FreeList((TextList*)f.target);
    MergedTable* tables[] = {s.MergedTableA, s.MergedTableB};
    for (MergedTable* t : tables) {
        if (!t) continue;
        for (unsigned i = 0; i < t->count; i++)
            if (t->slot[i]) MemFree(t->slot[i]);
        MemFree(t);
    }
    s.MergedTableA = s.MergedTableB = 0;
    for (unsigned i = 0; i < MAX_TOOL_MODULES; i++) {
        ToolModule* t = &s.ToolModules[i];
        while (ToolKey* k = t->keys) {
            t->keys = k->next;
            MemFree(k);
        }
        while (ToolCompanion* c = t->companions) {
            t->companions = c->next;
            MemFree(c);
        }
    }
    s.ToolModuleCount = 0;
}
