// Install benchmark driver: installs a bare package natively through InstallFiles (each
// entry copied to a temporary archive, then extracted by the decompressor's entry), then
// the same package by inflating each entry straight from the package file (the in-process
// alternative), then copies the installed tree file by file (the floor). Each is timed by
// this program's own clock around the work.
//   install_driver PACKAGE WORKDIR
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "install/install.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/native_dunzip.h"

namespace {

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void Run(const std::string& cmd) {
    if (system(cmd.c_str()) != 0) {
        fprintf(stderr, "failed: %s\n", cmd.c_str());
        exit(1);
    }
}

void Walk(const std::string& dir, std::vector<std::string>& files, const std::string& rel = "") {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (e->d_type == DT_DIR) Walk(dir + "/" + n, files, rel + n + "/");
        else files.push_back(rel + n);
    }
    closedir(d);
}

unsigned long long TreeBytes(const std::string& dir) {
    std::vector<std::string> files;
    Walk(dir, files);
    unsigned long long total = 0;
    struct stat st;
    for (auto& f : files)
        if (stat((dir + "/" + f).c_str(), &st) == 0) total += (unsigned long long)st.st_size;
    return total;
}

// The in-process alternative: each archive's deflate data inflated from the package file
// straight into the target, no temporary file and no library call.
int InflateEntry(FILE* package, const PackageEntry* e, const std::string& target) {
    std::vector<unsigned char> stored(e->storedSize);
    if (fseek(package, (long)e->offset, SEEK_SET) != 0 ||
        fread(stored.data(), 1, stored.size(), package) != stored.size())
        return 0;
    FILE* out = fopen(target.c_str(), "wb");
    if (!out) return 0;
    const unsigned char* p = stored.data();
    bool zipped = stored.size() >= 30 && p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4;
    if (!zipped) {
        fwrite(p, 1, stored.size(), out);
        return fclose(out) == 0;
    }
    size_t skip = 30 + (p[26] | p[27] << 8) + (p[28] | p[29] << 8);
    z_stream z = {};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = (Bytef*)p + skip;
    z.avail_in = (uInt)(stored.size() - skip);
    static unsigned char buf[32768];
    int r;
    do {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        fwrite(buf, 1, sizeof buf - z.avail_out, out);
    } while (r == Z_OK);
    inflateEnd(&z);
    return fclose(out) == 0 && r == Z_STREAM_END;
}

int CopyFile(const std::string& from, const std::string& to) {
    FILE* in = fopen(from.c_str(), "rb");
    FILE* out = fopen(to.c_str(), "wb");
    if (!in || !out) return 0;
    static char buf[32768];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
    fclose(in);
    return fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: install_driver PACKAGE WORKDIR\n");
        return 2;
    }
    std::string work = argv[2], c = work + "/C";
    Run("rm -rf '" + c + "' && mkdir -p '" + c + "/WINDOWS/SYSTEM'");
    SysMapDrive('C', c.c_str(), 3);
    SysSetSystemDir("C:\\WINDOWS\\SYSTEM");
    UseNativeDunzip();
    strcpy(InstallFile, argv[1]);
    InstallFileGiven = 1;
    strcpy(WindowsDir, "C:\\WINDOWS");
    if (!OpenPackage() || !ReadInstallScript()) {
        fprintf(stderr, "cannot read the package (error %u)\n", SetupError);
        return 1;
    }
    strcpy(InstallSettings.DestDir, "C:\\DEST");

    // 1. InstallFiles: temporary archive per entry, extraction through the library entry.
    double t0 = Now();
    int ok = InstallFiles();
    double t1 = Now();
    if (!ok) {
        fprintf(stderr, "InstallFiles failed (error %u)\n%s", SetupError, LogTraceText());
        return 1;
    }
    unsigned long long written = TreeBytes(c + "/DEST") + TreeBytes(c + "/WINDOWS");

    // 2. The in-process alternative over the same entries (targets in the destination).
    FILE* package = fopen(argv[1], "rb");
    double t2 = Now();
    for (unsigned i = 1; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        std::string name = e->name;
        for (char& ch : name)
            if (ch == '\\') ch = '/';
        std::string target = c + "/INPROC/" + name;
        std::string dir = target.substr(0, target.rfind('/'));
        mkdir((c + "/INPROC").c_str(), 0755);
        for (size_t at = (c + "/INPROC/").size(); at <= dir.size(); at++)
            if (at == dir.size() || dir[at] == '/') mkdir(dir.substr(0, at).c_str(), 0755);
        if (!InflateEntry(package, e, target)) {
            fprintf(stderr, "in-process inflate of %s failed\n", e->name);
            return 1;
        }
    }
    double t3 = Now();
    fclose(package);

    // 3. The floor: a plain copy of the installed tree.
    std::vector<std::string> files;
    Walk(c + "/DEST", files, "DEST/");
    Walk(c + "/WINDOWS", files, "WINDOWS/");
    double t4 = Now();
    for (auto& f : files) {
        std::string to = c + "/COPY/" + f;
        for (size_t at = (c + "/COPY").size(); at < to.size(); at++)
            if (to[at] == '/') mkdir(to.substr(0, at).c_str(), 0755);
        if (!CopyFile(c + "/" + f, to)) {
            fprintf(stderr, "copy of %s failed\n", f.c_str());
            return 1;
        }
    }
    double t5 = Now();
    unsigned long long copied = TreeBytes(c + "/COPY");

    printf("entries %u, installed %.1f MB (%llu bytes written)\n", FileTable->count,
           FileTable->total / 1e6, written);
    printf("InstallFiles (archive + library) %7.3f s  %6.1f MB/s\n", t1 - t0,
           written / 1e6 / (t1 - t0));
    printf("in-process inflate               %7.3f s  %6.1f MB/s\n", t3 - t2,
           written / 1e6 / (t3 - t2));
    printf("plain copy of the tree (floor)   %7.3f s  %6.1f MB/s  (%llu bytes)\n", t5 - t4,
           copied / 1e6 / (t5 - t4), copied);
    printf("ratio InstallFiles / copy %.2f, in-process / copy %.2f\n", (t1 - t0) / (t5 - t4),
           (t3 - t2) / (t5 - t4));
    ClosePackage();
    Run("rm -rf '" + c + "'");
    return 0;
}
