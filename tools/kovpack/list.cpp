// Lists a package, or a setup program carrying one, through the setup's own reader.
#include "tools/kovpack/kovpack.h"
#include "base/globals.h"
#include "package/package.h"
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
    printf("[Setup]\n");
    Text("DefaultDestDir", s.DefaultDestDir);
    Text("GroupName", s.GroupName);
    Text("ItemTitle", s.ItemTitle);
    Text("FreshItemTitle", s.FreshItemTitle);
    Text("ClientExeName", s.ClientExeName);
    Text("FrameTitle", s.FrameTitle);
    Text("VersionText", s.VersionText);
    Text("NextDiskProgram", s.NextDiskProgram);
    Text("NextDiskLabel", s.NextDiskLabel);
    Text("ContinuationProgram", s.ContinuationProgram);
    Text("NoContinuationNotice", s.NoContinuationNotice);
    Text("ClientTextA", s.ClientTextA);
    Text("ClientTextB", s.ClientTextB);
    Text("Win31FallbackProgram", s.Win31FallbackProgram);
    Text("QuickRefFile", s.QuickRefFile);
    Number("ExpectedDbKind", s.ExpectedDbKind);
    Number("ExpectedDbKindCode", s.ExpectedDbKindCode);
    Number("SkipPreviousSearch", s.SkipPreviousSearch);
    Number("NoMigration", s.NoMigration);
    Number("SkipModem", SkipModem);
    Number("NoDesktopItems", NoDesktopItems);
    Number("OfferWin31Choice", OfferWin31Choice);
    Number("ClientUpdateMode", s.ClientUpdateMode);
    Number("DeferInUseFiles", s.DeferInUseFiles);
    Number("AlwaysCopyToTemp", s.AlwaysCopyToTemp);
    Number("AskAddOns", s.AskAddOns);
    Number("WriteVersionFile", WriteVersionFile);
    printf("DbVersion=%u.%u\n", s.DbVersion[0], s.DbVersion[1]);
    Number("ExtraSpaceKb", s.ExtraSpaceKb);
    Number("RequiredBrowserBuild", s.RequiredBrowserBuild);
    printf("[CarriedRecordIds] %u\n", (unsigned)s.CarriedRecordCount);
    for (unsigned i = 0; i < s.CarriedRecordCount; i++)
        printf("  0x%08lX\n", (unsigned long)s.CarriedRecordIds[i]);
    PrintList("SoundEvents", s.SoundEvents);
    PrintList("PreservedFiles", s.PreservedFiles);
    PrintList("CreateDirs", s.CreateDirs);
    PrintList("WindowsDirDeletes", s.WindowsDirDeletes);
    PrintList("DestDirDeletes", s.DestDirDeletes);
    PrintList("MergedFilesA", s.MergedFilesA);
    PrintList("MergedFilesB", s.MergedFilesB);
    PrintWords("ExactNewerVersions", s.ExactNewerVersions);
    PrintWords("MinimumNewerVersions", s.MinimumNewerVersions);
    PrintList("BrowserInstallers", s.BrowserInstallers);
    PrintList("AddOnPrograms", s.AddOnPrograms);
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
