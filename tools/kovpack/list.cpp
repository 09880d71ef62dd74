// Lists a package, or a setup program carrying one, through the setup's own reader.
#include "tools/kovpack/kovpack.h"
#include "base/globals.h"
#include "package/package.h"
#include "package/script.h"
#include <stdio.h>
#include <string.h>
#include <fstream>
#include <iterator>

namespace {

void Text(const char* name, const char* value) { printf("%s=%s\n", name, value); }
void Number(const char* name, long long value) { printf("%s=%lld\n", name, value); }

void PrintList(const char* name, const TextListT& l) {
    printf("[%s] %u\n", name, (unsigned)l.count);
    for (unsigned i = 0; i < l.count; i++) {
        printf("  %s", l.a[i]);
        if (l.b) printf(" | %s", l.b[i]);
        if (l.c) printf(" | %s", l.c[i]);
        printf("\n");
    }
}

void PrintWords(const char* name, const WordTableT& w) {
    printf("[%s] %u\n", name, (unsigned)w.count);
    for (unsigned i = 0; i < w.count; i++)
        printf("  %u.%u\n", w.value[i] & 255u, (unsigned)w.value[i] >> 8);
}

}  // namespace

int ListPackage(const std::string& path) {
    // A setup program carries the offset at its marker; anything else is a bare package.
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "kovpack: cannot read %s\n", path.c_str());
        return 1;
    }
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint32_t offset = 0;
    // The resource comes before the package, so the first marker is the setup's own even
    // when a stored file happens to contain the same bytes. A bare package begins with its
    // script, whose stored files are not searched at all.
    long marker =
        image.compare(0, 2, "RS") == 0 ? -1 : (long)image.find(std::string("_ZoffZ_\0", 8));
    if (marker >= 0 && marker + 12 <= (long)image.size()) {
        for (int i = 0; i < 4; i++)
            offset |= (uint32_t)(unsigned char)image[marker + 8 + i] << (8 * i);
        printf("SetupProgram=%s\nPackageOffset=%lu\nResourceTag=%.16s\n", path.c_str(),
               (unsigned long)offset,
               marker + 28 <= (long)image.size() ? image.c_str() + marker + 12 : "");
        if (offset == 0) {
            fprintf(stderr, "kovpack: %s carries no package (offset 0)\n", path.c_str());
            return 1;
        }
    }

    ResetRunState();
    snprintf(InstallFile, sizeof InstallFile, "%s", path.c_str());
    if (strlen(InstallFile) != path.size()) {
        fprintf(stderr, "kovpack: path too long: %s\n", path.c_str());
        return 1;
    }
    InstallFileGiven = 1;
    PackageOffsetGiven = 1;
    PackageOffsetOption = offset;
    if (!OpenPackage() || !ReadInstallScript()) {
        fprintf(stderr, "kovpack: %s: the setup would stop with fatal error %u\n", path.c_str(),
                (unsigned)SetupError);
        ClosePackage();
        return 1;
    }
    const InstallSettingsT& s = InstallSettings;
    // Settings first, then the lists and tables, each in script order; what the setup reads
    // and drops is not shown.
    printf("[Setup]\n");
    for (int n = 0; n < ScriptFieldCount; n++) {
        const ScriptField& f = ScriptFields[n];
        if (!f.target) continue;
        switch (f.kind) {
        case SCRIPT_TEXT: Text(f.name, (const char*)f.target); break;
        case SCRIPT_NUMBER8: Number(f.name, *(const uint8_t*)f.target); break;
        case SCRIPT_NUMBER32: Number(f.name, *(const int32_t*)f.target); break;
        case SCRIPT_YES:
        case SCRIPT_FLAG: Number(f.name, *(const uint32_t*)f.target); break;
        case SCRIPT_VERSION: {
            const uint8_t* v = (const uint8_t*)f.target;
            printf("%s=%u.%u\n", f.name, v[0], v[1]);
            break;
        }
        }
    }
    for (int n = 0; n < ScriptFieldCount; n++) {
        const ScriptField& f = ScriptFields[n];
        if (!f.target) continue;
        switch (f.kind) {
        case SCRIPT_KEYS: {
            const uint32_t* keys = *(uint32_t* const*)f.target;
            unsigned count = *(const uint16_t*)f.also;
            printf("[%s] %u\n", f.name, count);
            for (unsigned i = 0; i < count; i++) printf("  0x%08lX\n", (unsigned long)keys[i]);
            break;
        }
        case SCRIPT_LIST: PrintList(f.name, *(const TextListT*)f.target); break;
        case SCRIPT_WORDS: PrintWords(f.name, *(const WordTableT*)f.target); break;
        }
    }
    printf("[ToolModules] %u\n", (unsigned)s.ToolModuleCount);
    for (unsigned i = 0; i < s.ToolModuleCount; i++) {
        const ToolModuleT& t = s.ToolModules[i];
        printf("  %s minVersion=0x%08lX keys=%u companions=%u\n", t.name,
               (unsigned long)t.minVersion, (unsigned)t.keyCount, (unsigned)t.companionCount);
        // Lists are held newest first; shown as held.
        for (const ToolKeyT* k = t.keys; k; k = k->next)
            printf("    key 0x%08lX\n", (unsigned long)k->key);
        for (const ToolCompanionT* c = t.companions; c; c = c->next)
            printf("    companion %s\n", c->name);
    }
    printf("[Files] %u, %lu bytes installed, data at %lu\n", (unsigned)FileTable->count,
           (unsigned long)FileTable->total,
           (unsigned long)(FileTable->count ? FileTable->entry[0]->offset : 0));
    printf("  %-40s %10s %10s %10s\n", "name", "installed", "stored", "offset");
    uint64_t end = FileTable->count ? FileTable->entry[0]->offset : 0;
    for (unsigned i = 0; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        printf("  %-40s %10lu %10lu %10lu\n", e->name, (unsigned long)e->installedSize,
               (unsigned long)e->storedSize, (unsigned long)e->offset);
        end = (uint64_t)e->offset + e->storedSize;
    }
    long size = SysFileSize(PackageFile);
    printf("DataEnd=%llu\nFileSize=%ld\n", (unsigned long long)end, size);
    int status = (long long)end == size ? 0 : 1;
    if (status) fprintf(stderr, "kovpack: the file data does not end at the end of the file\n");
    ClosePackage();
    FreeInstallScript();
    return status;
}
