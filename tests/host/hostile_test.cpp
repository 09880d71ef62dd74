// Hostile packages end to end: a package built by kovpack, then damaged the ways an attacker
// or a bad download would (cut anywhere, counts and sizes that lie, archives whose members
// inflate past their size or lie about their check value, texts past their limits), read by
// the setup's own reader and installed. Each must end with its defined error number, write
// nothing outside the destination and the Windows folder, and leave nothing of the package.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "dunzip/unzip.h"
#include "install/install.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/install_fixture.h"
#include "tests/host/native_dunzip.h"
#include "tests/host/zipfile.h"

namespace {

const std::string kKovpack = std::string(KOV_BINARY_DIR) + "/kovpack";

std::string U16(unsigned v) { return std::string{char(v & 255), char(v >> 8 & 255)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
uint32_t Get(const std::string& s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = v << 8 | (unsigned char)s[at + i];
    return v;
}

void Files(const std::string& dir, const std::string& rel,
           std::map<std::string, std::string>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (e->d_type == DT_DIR) Files(dir + "/" + n, rel + n + "/", out);
        else out[rel + n] = ReadHostFile(dir + "/" + n);
    }
    closedir(d);
}

// The package as the reader sees it: the script up to the file table, the table's entries
// and their stored bytes, so a case can change any of them and encode it again.
struct Package {
    std::string script;  // everything before the file count
    struct Entry {
        std::string name;
        uint32_t installed;
        std::string stored;
        uint32_t sizeDelta = 0;  // added to the stored size written
    };
    std::vector<Entry> entries;
    int countDelta = 0;  // added to the count written

    std::string Bytes() const {
        std::string out = script + U16((unsigned)(entries.size() + countDelta));
        for (const Entry& e : entries)
            out += U16((unsigned)e.name.size()) + e.name + U32(e.installed) +
                   U32((uint32_t)e.stored.size() + e.sizeDelta);
        for (const Entry& e : entries) out += e.stored;
        return out;
    }
    Entry& operator[](const char* name) {
        for (Entry& e : entries)
            if (e.name == name) return e;
        ADD_FAILURE() << "no entry " << name;
        return entries[0];
    }
};

std::string Client() {
    std::string s = "MZ client ";
    for (int i = 0; i < 20000; i++) s += char('a' + i * 7 % 26);
    return s;
}

// Builds the package with kovpack once and takes it apart.
Package Built() {
    char t[] = "/tmp/hostileXXXXXX";
    std::string dir = mkdtemp(t);
    auto put = [&](const std::string& name, const std::string& data) {
        mkdir((dir + "/src").c_str(), 0777);
        mkdir((dir + "/src/mpm").c_str(), 0777);
        mkdir((dir + "/src/windows").c_str(), 0777);
        mkdir((dir + "/src/system").c_str(), 0777);
        WriteHostFile(dir + "/src/" + name, data);
    };
    put("dunzip32.dll", "MZ library");
    put("quickref.txt", "Guide\r\n");
    put("kov.exe", Client());
    put("mpm/modem.ini", "[modem]\r\n");
    put("windows/kov.ini", "[KOV]\r\n");
    put("system/pppmac.vxd", "VXD image");
    WriteHostFile(dir + "/p.kovpack",
                  "[Setup]\nQuickRefFile = quickref.txt\n[Files]\ndunzip32.dll\nquickref.txt\n"
                  "kov.exe\nmpm\\modem.ini\nwindows\\kov.ini\nsystem\\pppmac.vxd\n");
    std::string cmd =
        kKovpack + " -q --source " + dir + "/src -o " + dir + "/p.bin " + dir + "/p.kovpack 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
    std::string bytes = ReadHostFile(dir + "/p.bin");
    if (system(("rm -rf '" + dir + "'").c_str()) != 0) {}

    Package p;
    size_t first = bytes.find(U16(12) + "dunzip32.dll");
    EXPECT_NE(first, std::string::npos);
    if (first == std::string::npos) return p;
    p.script = bytes.substr(0, first - 2);
    unsigned count = Get(bytes, first - 2, 2);
    size_t at = first, data = 0;
    std::vector<uint32_t> storedSizes;
    for (unsigned i = 0; i < count; i++) {
        unsigned length = Get(bytes, at, 2);
        Package::Entry e;
        e.name = bytes.substr(at + 2, length);
        e.installed = Get(bytes, at + 2 + length, 4);
        storedSizes.push_back(Get(bytes, at + 6 + length, 4));
        at += 10 + length;
        p.entries.push_back(e);
    }
    data = at;
    for (unsigned i = 0; i < count; i++) {
        p.entries[i].stored = bytes.substr(data, storedSizes[i]);
        data += storedSizes[i];
    }
    EXPECT_EQ(data, bytes.size());
    EXPECT_EQ(p.Bytes(), bytes);  // the encoder here writes what kovpack wrote
    return p;
}

struct Outcome {
    int read;  // 1 when the script was read
    int installed;
    unsigned error;
    std::string problem;  // "" when nothing was left where it must not be
};

// Reads and installs bytes as the package; checks where files went.
Outcome ReadAndInstall(const std::string& bytes, const char* destDir = "C:\\DEST") {
    EngineMachine m;
    UseNativeDunzip();
    m.Put("C:\\WINDOWS\\win.ini", "[windows]\r\n");
    m.Put("C:\\pkg.bin", bytes);
    std::map<std::string, std::string> before;
    Files(m.Host("C:\\"), "", before);
    strcpy(InstallFile, "C:\\pkg.bin");
    Outcome o = {};
    o.read = OpenPackage() && ReadInstallScript();
    if (o.read) {
        strcpy(InstallSettings.DestDir, destDir);
        o.installed = InstallFiles();
    }
    o.error = SetupError;
    std::map<std::string, std::string> after;
    Files(m.Host("C:\\"), "", after);
    std::string dest = destDir + 3;
    for (char& c : dest)
        if (c == '\\') c = '/';
    std::string log = EngineMachine::Log();
    for (auto& f : after) {
        auto b = before.find(f.first);
        if (b != before.end() && b->second == f.second) continue;
        bool inDest = f.first.compare(0, dest.size() + 1, dest + "/") == 0;
        bool inWindows = f.first.compare(0, 8, "WINDOWS/") == 0;
        if (!inDest && !inWindows) o.problem += "outside: " + f.first + "; ";
        else if (!o.installed) {
            // A system file that reached the system folder stays, and the log says so.
            std::string bare = f.first.substr(f.first.rfind('/') + 1);
            if (f.first.compare(0, 15, "WINDOWS/SYSTEM/") == 0 &&
                log.find("System file " + bare + " stays in the system folder") !=
                    std::string::npos)
                continue;
            o.problem += "left: " + f.first + "; ";
        }
    }
    if (!o.problem.empty()) o.problem += "\n" + log;
    ClosePackage();
    return o;
}

}  // namespace

TEST(Hostile, PackagesEndWithTheirErrorAndLeaveNothing) {
    const Package good = Built();
    ASSERT_EQ(good.entries.size(), 6u);
    std::string inflated = Client();
    struct Case {
        const char* what;
        std::function<void(Package&)> change;
        unsigned error;  // 0: installs
    } cases[] = {
        {"as built", [](Package&) {}, 0},
        {"count beyond the table", [](Package& p) { p.countDelta = 1; }, FATAL_SCRIPT_RECORD},
        {"count far beyond the table", [](Package& p) { p.countDelta = 60000; },
         FATAL_SCRIPT_RECORD},
        {"count short of the table", [](Package& p) { p.countDelta = -1; }, FATAL_SCRIPT_RECORD},
        {"stored size past the end", [](Package& p) { p["kov.exe"].sizeDelta = 1; },
         FATAL_SCRIPT_RECORD},
        {"stored size wraps past 4 GB", [](Package& p) { p["kov.exe"].sizeDelta = 0xFFFFFFF0u; },
         FATAL_SCRIPT_RECORD},
        // Sizes that still add up to the package's end but cut the data elsewhere: the
        // archives overlap their neighbours.
        {"data shifted between entries",
         [](Package& p) {
             p["mpm\\modem.ini"].stored =
                 p["kov.exe"].stored.substr(p["kov.exe"].stored.size() - 7) +
                 p["mpm\\modem.ini"].stored;
             p["kov.exe"].stored.resize(p["kov.exe"].stored.size() - 7);
         },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_ARCHIVE},
        {"installed size larger than the archive's",
         [](Package& p) { p["kov.exe"].installed += 1; }, FATAL_FILE_SIZE},
        {"installed size smaller than the archive's",
         [](Package& p) { p["kov.exe"].installed -= 1; }, FATAL_FILE_SIZE},
        {"member inflates past its size",
         [&](Package& p) {
             p["kov.exe"].stored = MakeZip("kov.exe", inflated + "more");
             p["kov.exe"].stored.replace(22, 4, U32((uint32_t)inflated.size()));
         },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_CRC},
        {"zero bomb behind a small size",
         [](Package& p) {
             p["kov.exe"].stored = MakeZeroBomb("kov.exe", 50ul << 20, 4096, false);
             p["kov.exe"].installed = 4096;
         },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_CRC},
        {"check value lies",
         [&](Package& p) {
             ZipKnobs k;
             k.flipData = true;
             p["kov.exe"].stored = MakeZip("kov.exe", inflated, k);
         },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_CRC},
        {"descriptor lies about the size",
         [&](Package& p) {
             ZipKnobs k;
             k.descriptor = true;
             k.descriptorSize = 5;
             p["kov.exe"].stored = MakeZip("kov.exe", inflated, k);
         },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_CRC},
        {"central directory claims more",
         [&](Package& p) {
             ZipKnobs k;
             k.descriptor = true;
             k.centralSize = 1000000;
             p["kov.exe"].stored = MakeZip("kov.exe", inflated, k);
         },
         FATAL_FILE_SIZE},
        {"member named outside its folder",
         [](Package& p) { p["mpm\\modem.ini"].stored = MakeZip("..\\modem.ini", "[modem]\r\n"); },
         FATAL_FILE_SIZE},
        {"archive cut short",
         [](Package& p) { p["kov.exe"].stored.resize(p["kov.exe"].stored.size() / 2); },
         FATAL_DECOMPRESS_BASE + UNZIP_BAD_DATA},
        {"entry name escapes", [](Package& p) { p["kov.exe"].name = "..\\kov.exe"; },
         FATAL_SCRIPT_RECORD},
        // The name fits the table but not a path under the destination.
        {"entry name at its limit",
         [](Package& p) { p["mpm\\modem.ini"].name = std::string(259, 'n'); }, FATAL_FILE_CREATE},
        {"entry name beyond its limit",
         [](Package& p) { p["mpm\\modem.ini"].name = std::string(260, 'n'); }, FATAL_SCRIPT_RECORD},
        {"entry named twice", [](Package& p) { p["quickref.txt"].name = "KOV.EXE"; },
         FATAL_SCRIPT_RECORD},
        {"library not first", [](Package& p) { std::swap(p.entries[0], p.entries[1]); },
         FATAL_NOT_DECOMPRESSOR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Package p = good;
        c.change(p);
        Outcome o = ReadAndInstall(p.Bytes());
        EXPECT_EQ(o.error, c.error) << EngineMachine::Log();
        EXPECT_EQ(o.installed, c.error ? 0 : 1);
        EXPECT_EQ(o.problem, "");
    }
}

TEST(Hostile, PackageCutAnywhere) {
    const std::string bytes = Built().Bytes();
    // Every byte of the script and the table, then a spread over the stored data.
    std::vector<size_t> cuts;
    size_t data = bytes.size() - 1;
    for (size_t at = 0; at < 400 && at < bytes.size(); at++) cuts.push_back(at);
    unsigned seed = 7;
    for (int i = 0; i < 40; i++) {
        seed = seed * 1103515245 + 12345;
        cuts.push_back(400 + (seed >> 8) % (data - 400));
    }
    cuts.push_back(data);
    for (size_t cut : cuts) {
        Outcome o = ReadAndInstall(bytes.substr(0, cut));
        // A script cut short is a field or record error (some fields have numbers of their
        // own); the table sees the data end early.
        EXPECT_TRUE(o.error == FATAL_SCRIPT_FIELD || o.error == FATAL_SCRIPT_RECORD ||
                    o.error == FATAL_SCRIPT_MAGIC || o.error == FATAL_SCRIPT_SEEK ||
                    (o.error >= FATAL_DB_KIND_CODE && o.error <= FATAL_DB_KIND))
            << "cut at " << cut << ": error " << o.error;
        EXPECT_FALSE(o.read) << cut;
        EXPECT_EQ(o.problem, "") << cut;
    }
}

TEST(Hostile, DestinationAtTheLimitOfAPath) {
    const std::string bytes = Built().Bytes();
    // A long destination folder that leaves no room for an entry's path, or for the library's
    // own: refused with its number before any name is cut short, and nothing stays.
    struct {
        size_t length;
        unsigned error;
    } cases[] = {
        {240, 0},
        {246, FATAL_FILE_CREATE},    // "\mpm\modem.ini" makes 260
        {250, FATAL_TARGET_CREATE},  // "\dunzip32.dll" makes 263
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string dest = "C:\\" + std::string(c.length - 3, 'd');
        Outcome o = ReadAndInstall(bytes, dest.c_str());
        EXPECT_EQ(o.error, c.error) << EngineMachine::Log();
        EXPECT_EQ(o.installed, c.error ? 0 : 1);
        EXPECT_EQ(o.problem, "");
    }
}
