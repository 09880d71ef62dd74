// The install script: a flat little-endian record read field by field into InstallSettings,
// then the tool modules and the file table. Reader and builder must agree on the sequence;
// there is no tag or version to skip a field.
#include "package/package.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include <stdlib.h>
#include <string.h>

static int Fail(uint16_t number, const char* field) {
    LogPrintf("Install script: bad %s (error %u)", field, (unsigned)number);
    return SetFatal(number);
}

static int ReadU16(uint16_t* out) {
    unsigned char b[2];
    if (!ReadExact(b, 2)) return 0;
    *out = (uint16_t)(b[0] | b[1] << 8);
    return 1;
}

static int ReadU32(uint32_t* out) {
    unsigned char b[4];
    if (!ReadExact(b, 4)) return 0;
    *out = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    return 1;
}

static int ReadFlag(uint32_t* out) {
    uint16_t v;
    if (!ReadU16(&v)) return 0;
    *out = v;
    return 1;
}

// Fields 24 to 26: an option given on the command line wins over the script.
static int ReadOptionFlag(uint32_t* flag, uint32_t givenOnCommandLine) {
    uint32_t scratch;
    return ReadFlag(givenOnCommandLine ? &scratch : flag);
}

static int ReadWords(WordTableT* table) {
    uint16_t n;
    if (!ReadU16(&n) || n > MAX_SCRIPT_WORDS) return 0;
    table->count = n;
    for (unsigned i = 0; i < n; i++)
        if (!ReadU16(&table->value[i])) return 0;
    return 1;
}

static int ReadList(TextListT* list, int columns) {
    return ReadTextList(&list->count, &list->a, columns > 1 ? &list->b : 0,
                        columns > 2 ? &list->c : 0);
}

// Set when the first three characters are "yes" in any case.
static int IsYes(const char* text) {
    for (int i = 0; i < 3; i++)
        if ((text[i] | 0x20) != "yes"[i]) return 0;
    return 1;
}

static void FreeList(TextListT* list) {
    char** columns[3] = {list->a, list->b, list->c};
    for (int k = 0; k < 3; k++) {
        if (!columns[k]) continue;
        for (unsigned i = 0; i < list->count; i++)
            if (columns[k][i]) MemFree(columns[k][i]);
        MemFree(columns[k]);
    }
    memset(list, 0, sizeof *list);
}

static MergedTableT* NewMergedTable(uint16_t count) {
    MergedTableT* t = (MergedTableT*)MemAlloc(sizeof(MergedTableT) + count * sizeof(PackageEntry*));
    t->count = count;
    t->slot = (PackageEntry**)(t + 1);
    return t;
}

int SameName(const char* a, const char* b) {
    for (;;) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (SysIsLeadByte(x)) {
            if (x != y || a[1] != b[1]) return 0;
            if (!a[1]) return 1;
            a += 2, b += 2;
            continue;
        }
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return 0;
        if (!x) return 1;
        a++, b++;
    }
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
    for (unsigned k = 0; k < base; k++)
        upper[k] = (char)(part[k] >= 'a' && part[k] <= 'z' ? part[k] - 32 : part[k]);
    upper[base] = 0;
    for (const char* d : devices)
        if (strcmp(upper, d) == 0) return 1;
    return base == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

int IsSafeEntryName(const char* name, unsigned length) {
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
        }
    }
    return 1;
}

static int OnList(const TextListT* list, const char* name) {
    for (unsigned i = 0; i < list->count; i++)
        if (SameName(list->a[i], name)) return 1;
    return 0;
}

static int ReadToolModules(void) {
    InstallSettingsT& s = InstallSettings;
    uint16_t count;
    if (!ReadU16(&count) || count > MAX_TOOL_MODULES)
        return Fail(FATAL_SCRIPT_FIELD, "tool module count");
    for (unsigned i = 0; i < count; i++) {
        ToolModuleT* t = &s.ToolModules[i];
        memset(t, 0, sizeof *t);
        if (!ReadText(t->name, sizeof t->name) || !ReadU32(&t->minVersion) ||
            !ReadU16(&t->keyCount))
            return Fail(FATAL_SCRIPT_RECORD, "tool module");
        for (unsigned k = 0; k < t->keyCount; k++) {
            ToolKeyT* node = (ToolKeyT*)MemAlloc(sizeof(ToolKeyT));
            if (!ReadU32(&node->key)) {
                MemFree(node);
                return Fail(FATAL_SCRIPT_RECORD, "tool module key");
            }
            node->next = t->keys;
            t->keys = node;
        }
        if (!ReadU16(&t->companionCount)) return Fail(FATAL_SCRIPT_RECORD, "tool module");
        for (unsigned k = 0; k < t->companionCount; k++) {
            ToolCompanionT* node = (ToolCompanionT*)MemAlloc(sizeof(ToolCompanionT));
            if (!ReadText(node->name, sizeof node->name)) {
                MemFree(node);
                return Fail(FATAL_SCRIPT_RECORD, "tool module companion");
            }
            // A companion is copied to the same name below the destination: it must stay there.
            if (!IsSafeEntryName(node->name, (unsigned)strlen(node->name))) {
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

static int ReadFileTable(void) {
    InstallSettingsT& s = InstallSettings;
    uint16_t count;
    if (!ReadU16(&count)) return Fail(FATAL_SCRIPT_FIELD, "file count");
    FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + count * sizeof(PackageEntry*));
    FileTable->entry = (PackageEntry**)(FileTable + 1);
    s.MergedBytesA = s.MergedBytesB = 0;
    for (unsigned i = 0; i < count; i++) {
        uint16_t length;
        if (!ReadU16(&length)) return Fail(FATAL_SCRIPT_RECORD, "file entry");
        PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + length + 1);
        // Counted as soon as it exists, so that ClosePackage frees it after a failure.
        FileTable->entry[i] = e;
        FileTable->count = (uint16_t)(i + 1);
        if (!ReadExact(e->name, length) || !ReadU32(&e->installedSize) || !ReadU32(&e->storedSize))
            return Fail(FATAL_SCRIPT_RECORD, "file entry");
        e->name[length] = 0;
        // A name that leaves the install target would let a package write anywhere.
        if (!IsSafeEntryName(e->name, length)) {
            LogPrintf("Unsafe file name in package: %s", e->name);
            return Fail(FATAL_SCRIPT_RECORD, "file entry name");
        }
        if (OnList(&s.MergedFilesA, e->name)) s.MergedBytesA += e->installedSize;
        if (OnList(&s.MergedFilesB, e->name)) s.MergedBytesB += e->installedSize;
        FileTable->total += e->installedSize;
    }
    long position = SysSeek(PackageFile, 0, SYS_SEEK_CUR);
    if (position < 0) return Fail(FATAL_SCRIPT_RECORD, "file table end");
    uint32_t running = (uint32_t)position;
    for (unsigned i = 0; i < FileTable->count; i++) {
        FileTable->entry[i]->offset = running;
        running += FileTable->entry[i]->storedSize;
    }
    return 1;
}

int ReadInstallScript(void) {
    InstallSettingsT& s = InstallSettings;
    s.ExpectedDbKind = 255;
    s.ExpectedDbKindCode = -1;
    if (!PackageFile ||
        SysSeek(PackageFile, (long)PackageOffset, SYS_SEEK_SET) != (long)PackageOffset)
        return Fail(FATAL_SCRIPT_SEEK, "package offset");

    char magic[2];
    if (!ReadExact(magic, 2) || magic[0] != 'R' || magic[1] != 'S')
        return Fail(FATAL_SCRIPT_MAGIC, "magic");

    char reserved[512];
    struct {
        char* buffer;
        unsigned size;
        const char* name;
    } texts[] = {
        {s.DefaultDestDir, sizeof s.DefaultDestDir, "DefaultDestDir"},
        {s.GroupName, sizeof s.GroupName, "GroupName"},
        {s.ItemTitle, sizeof s.ItemTitle, "ItemTitle"},
        {s.FreshItemTitle, sizeof s.FreshItemTitle, "FreshItemTitle"},
        {s.ClientExeName, sizeof s.ClientExeName, "ClientExeName"},
        {s.FrameTitle, sizeof s.FrameTitle, "FrameTitle"},
        {s.VersionText, sizeof s.VersionText, "VersionText"},
        {reserved, 512, "reserved text 9"},
        {reserved, 256, "reserved text 10"},
        {s.NextDiskProgram, sizeof s.NextDiskProgram, "NextDiskProgram"},
        {s.NextDiskLabel, sizeof s.NextDiskLabel, "NextDiskLabel"},
        {s.ContinuationProgram, sizeof s.ContinuationProgram, "ContinuationProgram"},
        {reserved, 32, "reserved text 14"},
        {s.NoContinuationNotice, sizeof s.NoContinuationNotice, "NoContinuationNotice"},
        {s.ClientTextA, sizeof s.ClientTextA, "ClientTextA"},
        {s.ClientTextB, sizeof s.ClientTextB, "ClientTextB"},
        {s.Win31FallbackProgram, sizeof s.Win31FallbackProgram, "Win31FallbackProgram"},
        {s.QuickRefFile, sizeof s.QuickRefFile, "QuickRefFile"},
    };
    for (const auto& t : texts)
        if (!ReadText(t.buffer, t.size)) return Fail(FATAL_SCRIPT_FIELD, t.name);

    char number[6];
    if (!ReadText(number, sizeof number)) return Fail(FATAL_DB_KIND, "ExpectedDbKind");
    if (number[0]) s.ExpectedDbKind = (uint8_t)atoi(number);
    if (!ReadText(number, sizeof number)) return Fail(FATAL_DB_KIND_CODE, "ExpectedDbKindCode");
    if (number[0]) s.ExpectedDbKindCode = atoi(number);
    if (!ReadText(number, sizeof number)) return Fail(FATAL_SKIP_SEARCH, "SkipPreviousSearch");
    if (IsYes(number)) s.SkipPreviousSearch = 1;
    if (!ReadText(number, sizeof number)) return Fail(FATAL_NO_MIGRATION, "NoMigration");
    if (IsYes(number)) s.NoMigration = s.SkipPreviousSearch = 1;

    if (!ReadOptionFlag(&SkipModem, SkipModemOption)) return Fail(FATAL_SCRIPT_FIELD, "SkipModem");
    if (!ReadOptionFlag(&NoDesktopItems, NoDesktopItemsOption))
        return Fail(FATAL_SCRIPT_FIELD, "NoDesktopItems");
    if (!ReadOptionFlag(&OfferWin31Choice, OfferWin31ChoiceOption))
        return Fail(FATAL_SCRIPT_FIELD, "OfferWin31Choice");
    struct {
        uint32_t* flag;
        const char* name;
    } flags[] = {
        {&s.ClientUpdateMode, "ClientUpdateMode"}, {&s.DeferInUseFiles, "DeferInUseFiles"},
        {&s.AlwaysCopyToTemp, "AlwaysCopyToTemp"}, {&s.AskAddOns, "AskAddOns"},
        {&WriteVersionFile, "WriteVersionFile"},
    };
    for (const auto& f : flags)
        if (!ReadFlag(f.flag)) return Fail(FATAL_SCRIPT_FIELD, f.name);
    if (!ReadExact(s.DbVersion, 2)) return Fail(FATAL_SCRIPT_FIELD, "DbVersion");

    uint16_t ids;
    if (!ReadU16(&ids)) return Fail(FATAL_SCRIPT_FIELD, "CarriedRecordIds");
    if (ids) {
        s.CarriedRecordIds = (uint32_t*)MemAlloc((unsigned long)ids * 4);
        s.CarriedRecordCount = ids;
        for (unsigned i = 0; i < ids; i++)
            if (!ReadU32(&s.CarriedRecordIds[i]))
                return Fail(FATAL_SCRIPT_FIELD, "CarriedRecordIds");
    }

    if (!ReadList(&s.SoundEvents, 2)) return Fail(FATAL_SCRIPT_FIELD, "SoundEvents");
    if (!ReadList(&s.PreservedFiles, 2)) return Fail(FATAL_SCRIPT_FIELD, "PreservedFiles");
    if (!ReadList(&s.CreateDirs, 1)) return Fail(FATAL_SCRIPT_FIELD, "CreateDirs");
    if (!ReadList(&s.WindowsDirDeletes, 1)) return Fail(FATAL_SCRIPT_FIELD, "WindowsDirDeletes");
    if (!ReadList(&s.DestDirDeletes, 1)) return Fail(FATAL_SCRIPT_FIELD, "DestDirDeletes");
    if (!ReadList(&s.MergedFilesA, 1)) return Fail(FATAL_SCRIPT_FIELD, "MergedFilesA");
    if (s.MergedFilesA.count) s.MergedTableA = NewMergedTable(s.MergedFilesA.count);
    if (!ReadList(&s.MergedFilesB, 1)) return Fail(FATAL_SCRIPT_FIELD, "MergedFilesB");
    if (s.MergedFilesB.count) s.MergedTableB = NewMergedTable(s.MergedFilesB.count);

    WordTableT unusedWords;
    if (!ReadWords(&unusedWords)) return Fail(FATAL_SCRIPT_FIELD, "reserved words 41");
    if (!ReadWords(&s.ExactNewerVersions)) return Fail(FATAL_SCRIPT_FIELD, "ExactNewerVersions");
    if (!ReadWords(&s.MinimumNewerVersions))
        return Fail(FATAL_SCRIPT_FIELD, "MinimumNewerVersions");
    if (!ReadList(&s.BrowserInstallers, 1)) return Fail(FATAL_SCRIPT_FIELD, "BrowserInstallers");
    // The reserved lists are read to move past them and then dropped.
    TextListT unused;
    for (int k = 0; k < 2; k++) {
        memset(&unused, 0, sizeof unused);
        int ok = ReadList(&unused, 3);
        FreeList(&unused);
        if (!ok) return Fail(FATAL_SCRIPT_FIELD, k ? "reserved list 46" : "reserved list 45");
    }
    if (!ReadList(&s.AddOnPrograms, 3) || s.AddOnPrograms.count > MAX_ADDON_PROGRAMS)
        return Fail(FATAL_SCRIPT_FIELD, "AddOnPrograms");
    memset(&unused, 0, sizeof unused);
    int ok = ReadList(&unused, 1);
    FreeList(&unused);
    if (!ok) return Fail(FATAL_SCRIPT_FIELD, "reserved list 48");

    if (!ReadFlag(&s.ExtraSpaceKb)) return Fail(FATAL_SCRIPT_FIELD, "ExtraSpaceKb");
    uint16_t build;
    if (!ReadU16(&build)) return Fail(FATAL_SCRIPT_FIELD, "RequiredBrowserBuild");
    s.RequiredBrowserBuild = build;

    if (!ReadToolModules() || !ReadFileTable()) return 0;
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
    TextListT* lists[] = {&s.SoundEvents,       &s.PreservedFiles,    &s.CreateDirs,
                          &s.WindowsDirDeletes, &s.DestDirDeletes,    &s.MergedFilesA,
                          &s.MergedFilesB,      &s.BrowserInstallers, &s.AddOnPrograms};
    for (TextListT* list : lists) FreeList(list);
    MergedTableT* tables[] = {s.MergedTableA, s.MergedTableB};
    for (MergedTableT* t : tables) {
        if (!t) continue;
        for (unsigned i = 0; i < t->count; i++)
            if (t->slot[i]) MemFree(t->slot[i]);
        MemFree(t);
    }
    s.MergedTableA = s.MergedTableB = 0;
    for (unsigned i = 0; i < MAX_TOOL_MODULES; i++) {
        ToolModuleT* t = &s.ToolModules[i];
        while (ToolKeyT* k = t->keys) {
            t->keys = k->next;
            MemFree(k);
        }
        while (ToolCompanionT* c = t->companions) {
            t->companions = c->next;
            MemFree(c);
        }
    }
    s.ToolModuleCount = 0;
}
