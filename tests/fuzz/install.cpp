// The install loop over damaged packages. The input describes a package: a flags byte, an
// entry count, then per entry a name index, the installed size (32 bits) and the stored
// size (16 bits), all little-endian; the rest is the stored data, entry after entry. Every
// run must end with success, a cancel, or a known fatal number; nothing may be written
// outside the destination and the Windows folder; after a failure or a cancel nothing of
// the package may be left in either.
#include <ctype.h>
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <set>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/seat.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/space.h"
#include "install/state.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/native_dunzip.h"
#include "tests/fuzz/tempdir.h"

namespace {

const char* const kNames[] = {
    "dunzip32.dll",   "DUNZIP32.DLL",       "quickref.txt",     "kov.exe",
    "mpm\\modem.ini", "system\\pppmac.vxd", "windows\\kov.ini", "DOSGAME.EXE",
    "idb\\main.idx",  "idb\\art.idx",       "tool\\chat.kov",   "goto.ini",
};
const unsigned kNameCount = sizeof kNames / sizeof kNames[0];

enum { FLAG_CANCEL = 1, FLAG_MERGE = 2, FLAG_IN_PLACE = 4, FLAG_RETRY = 8 };

std::string Root;
int Pumps, CancelAt;

int Pump(void) {
    if (CancelAt && ++Pumps == CancelAt) UserAbort = 1;
    return 1;
}

void Files(const std::string& dir, const std::string& rel, std::set<std::string>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (e->d_type == DT_DIR) Files(dir + "/" + n, rel + n + "/", out);
        else out.insert(rel + n);
    }
    closedir(d);
}

bool KnownFatal(unsigned n) {
    static const unsigned known[] = {7, 8, 9, 10, 11, 12, 13, 14, 19, 20, 21, 30};
    for (unsigned k : known)
        if (n == k) return true;
    return n > 1000;  // a decompressor status
}

uint32_t Le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = v << 8 | p[i];
    return v;
}

std::string Lower(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

bool CaseTwinOfEntry(const std::string& file) {
    for (unsigned i = 0; FileTable && i < FileTable->count; i++) {
        std::string name = FileTable->entry[i]->name;
        for (char& c : name)
            if (c == '\\') c = '/';
        std::string bare =
            name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
        for (const std::string& deleted : {name, bare})
            if (Lower(file) == Lower(deleted) && file != deleted) return true;
    }
    return false;
}

// Removes a host folder's contents in process: a shell per run would cost more than the run.
void Empty(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string path = dir + "/" + n;
        if (e->d_type == DT_DIR) {
            Empty(path);
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
    closedir(d);
}

// A clean machine; false when the harness cannot write its own files (its folder was
// removed under it), which says nothing of the code under test.
bool Fresh() {
    Empty(Root + "/C");
    for (const char* dir : {"/C", "/C/WIN", "/C/WIN/SYSTEM"}) mkdir((Root + dir).c_str(), 0777);
    FILE* f = fopen((Root + "/C/WIN/win.ini").c_str(), "wb");
    if (!f) return false;
    fputs("[windows]\r\n", f);
    return fclose(f) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (Root.empty()) {
        std::string t = FuzzTempPath("fuzzinstall.XXXXXX");
        if (!mkdtemp(&t[0])) {
            perror(t.c_str());
            abort();
        }
        Root = t;
    }
    if (size < 2) return 0;
    uint8_t flags = data[0];
    unsigned count = data[1] % 9;
    size_t at = 2;
    if (size < at + count * 7) return 0;

    if (!Fresh()) return 0;
    ResetRunState();
    LogReset();
    SysMapDrive('C', (Root + "/C").c_str(), 3);
    SysSetSystemDir("C:\\WIN\\SYSTEM");
    UseNativeDunzip();
    int answers[] = {SYS_ID_RETRY, SYS_ID_CANCEL};
    SysQueueAnswers(answers, flags & FLAG_RETRY ? 2 : 0);
    strcpy(InstallSettings.DestDir, "C:\\DEST");
    strcpy(WindowsDir, "C:\\WIN");
    strcpy(InstallSettings.QuickRefFile, "quickref.txt");
    if (flags & FLAG_IN_PLACE) strcpy(InstallSettings.PreviousDir, "C:\\DEST");
    Pumps = 0;
    CancelAt = flags & FLAG_CANCEL ? 1 + (flags >> 4) : 0;
    Seat.pump = Pump;

    InstallSettingsT& s = InstallSettings;
    if (flags & FLAG_MERGE) {
        s.MergedFilesA.count = 1;
        s.MergedFilesA.a = (char**)MemAlloc(sizeof(char*));
        s.MergedFilesA.a[0] = (char*)MemAlloc(16);
        strcpy(s.MergedFilesA.a[0], "idb\\main.idx");
        s.MergedTableA = (MergedTable*)MemAlloc(sizeof(MergedTable) + sizeof(PackageEntry*));
        s.MergedTableA->count = 1;
        s.MergedTableA->slot = (PackageEntry**)(s.MergedTableA + 1);
    }
    if (flags & FLAG_IN_PLACE) {
        s.PreservedFiles.count = 1;
        s.PreservedFiles.a = (char**)MemAlloc(sizeof(char*));
        s.PreservedFiles.b = (char**)MemAlloc(sizeof(char*));
        s.PreservedFiles.a[0] = (char*)MemAlloc(16);
        s.PreservedFiles.b[0] = (char*)MemAlloc(1);
        strcpy(s.PreservedFiles.a[0], "goto.ini");
    }

    // The package file: the stored data as given; the table points into it in order.
    FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + (count ? count : 1) * sizeof(void*));
    FileTable->entry = (PackageEntry**)(FileTable + 1);
    uint32_t offset = 0;
    const uint8_t* table = data + at;
    size_t dataStart = at + count * 7;
    for (unsigned i = 0; i < count; i++) {
        const uint8_t* r = table + i * 7;
        const char* name = kNames[r[0] % kNameCount];
        PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + strlen(name) + 1);
        strcpy(e->name, name);
        e->installedSize = Le(r + 1, 4) & 0xFFFFF;
        e->storedSize = Le(r + 5, 2);
        e->offset = offset;
        offset += e->storedSize;
        FileTable->entry[FileTable->count++] = e;
        FileTable->total += e->installedSize;
    }
    FILE* f = fopen((Root + "/C/package.bin").c_str(), "wb");
    if (!f) {
        FreeInstallScript();
        return 0;
    }
    fwrite(data + dataStart, 1, size - dataStart, f);
    fclose(f);
    PackageFile = SysOpen("C:\\package.bin", SYS_READ);

    int result = InstallFiles();
    if (result == 1 && (SetupError || UserAbort)) abort();
    if (result == 0 && !SetupError && !UserAbort) abort();
    if (SetupError && !KnownFatal(SetupError)) abort();

    // Nothing outside the destination and the Windows folder.
    std::set<std::string> top;
    if (DIR* d = opendir((Root + "/C").c_str())) {
        while (dirent* e = readdir(d)) top.insert(e->d_name);
        closedir(d);
    }
    for (const std::string& n : top)
        if (n != "." && n != ".." && n != "DEST" && n != "WIN" && n != "package.bin") abort();
    if (result == 0) {
        // Nothing of the package stays: the destination is empty, the Windows folder holds
        // what it held, and the system folder at most the system files that were installed.
        std::set<std::string> dest, win;
        Files(Root + "/C/DEST", "", dest);
        Files(Root + "/C/WIN", "", win);
        for (const std::string& n : dest) {
            // Windows names ignore case; this host's do not. A file that differs from an
            // entry's name only in case is the one the clean-up deleted, on Windows.
            if (CaseTwinOfEntry(n)) continue;
            if (getenv("FUZZ_INSTALL_DEBUG"))
                fprintf(stderr, "left %s\n%s\n", n.c_str(), LogTraceText());
            abort();
        }
        for (const std::string& n : win) {
            if (n == "win.ini" || n.compare(0, 7, "SYSTEM/") == 0) continue;
            if (CaseTwinOfEntry(n)) continue;
            if (getenv("FUZZ_INSTALL_DEBUG"))
                fprintf(stderr, "left in Windows %s\n%s\n", n.c_str(), LogTraceText());
            abort();
        }
    }
    ClosePackage();
    FreeInstallScript();
    LogReset();
    return 0;
}
