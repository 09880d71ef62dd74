// Shared pieces of the install engine's host tests: a machine with the engine's run-wide
// state cleared, a file table built in memory, script lists, and small PE images with and
// without a version resource.
#pragma once
#include <string.h>
#include <sys/stat.h>
#include <utime.h>

#include <string>
#include <utility>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "install/destination.h"
#include "install/space.h"
#include "install/sysfiles.h"
#include "install/state.h"
#include "migrate/internal.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/machine.h"

inline std::string Le16(uint32_t v) { return std::string{char(v), char(v >> 8)}; }
inline std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A one-section PE32 image. With a version, its resources hold one RT_VERSION entry whose
// fixed information carries file version ms.ls; without, it has no resource directory.
inline std::string TestPe(bool versioned, uint32_t ms = 0, uint32_t ls = 0) {
    std::string rsrc;
    if (versioned) {
        auto dir = [](uint32_t id, uint32_t target) {
            return std::string(12, '\0') + Le16(0) + Le16(1) + Le32(id) + Le32(target);
        };
        rsrc += dir(16, 0x80000018);  // type directory at 0x00 -> name directory
        rsrc += dir(1, 0x80000030);   // name directory at 0x18 -> language directory
        rsrc += dir(0x409, 0x48);     // language directory at 0x30 -> data entry
        rsrc += Le32(0x1000 + 0x58) + Le32(92) + Le32(0) + Le32(0);  // data entry at 0x48
        std::string key;
        for (char c : std::string("VS_VERSION_INFO")) key += Le16((unsigned char)c);
        key += Le16(0);
        rsrc += Le16(92) + Le16(52) + Le16(0) + key + Le16(0);  // 6 + 32 bytes, padded to 40
        rsrc += Le32(0xFEEF04BD) + Le32(0x10000) + Le32(ms) + Le32(ls) + Le32(ms) + Le32(ls);
        rsrc += std::string(52 - 24, '\0');
    } else {
        rsrc = std::string(16, '\0');
    }
    std::string pe = "MZ" + std::string(0x3A, '\0') + Le32(0x40);
    pe += "PE" + std::string(2, '\0');
    pe += Le16(0x14C) + Le16(1) + Le32(0) + Le32(0) + Le32(0) + Le16(224) + Le16(0x2102);
    std::string opt = Le16(0x10B) + std::string(90, '\0') + Le32(16);
    for (int i = 0; i < 16; i++) {
        bool res = i == 2 && versioned;
        opt += Le32(res ? 0x1000 : 0) + Le32(res ? (uint32_t)rsrc.size() : 0);
    }
    pe += opt;
    pe += std::string(".rsrc\0\0\0", 8) + Le32((uint32_t)rsrc.size()) + Le32(0x1000) + Le32(0x200) +
          Le32(0x200) + std::string(16, '\0');
    pe.resize(0x200, '\0');
    rsrc.resize(0x200, '\0');
    return pe + rsrc;
}

// Sets a host file's modification time (seconds since 1970, UTC).
inline void SetFileTime(const std::string& hostPath, time_t when) {
    struct utimbuf t = {when, when};
    utime(hostPath.c_str(), &t);
}

// A FileTable in memory; installed as the run's table while it lives.
struct EntryTable {
    std::vector<std::vector<char>> blocks;
    std::vector<PackageEntry*> entries;
    FileTableT table = {};
    EntryTable(std::initializer_list<std::pair<const char*, uint32_t>> files) {
        for (auto& f : files) Add(f.first, f.second);
    }
    void Add(const char* name, uint32_t installed) {
        blocks.emplace_back(sizeof(PackageEntry) + strlen(name) + 1);
        PackageEntry* e = (PackageEntry*)blocks.back().data();
        e->installedSize = e->storedSize = installed;
        strcpy(e->name, name);
        entries.clear();
        table.total = 0;
        for (auto& b : blocks) {
            entries.push_back((PackageEntry*)b.data());
            table.total += entries.back()->installedSize;
        }
        table.count = (uint16_t)entries.size();
        table.entry = entries.data();
        FileTable = &table;
    }
    ~EntryTable() { FileTable = nullptr; }
};

// Fills a script list from (first, second) pairs, in MemAlloc blocks as the script reader
// makes them; an empty second column is left out when every second text is null.
inline void SetList(TextList& list, std::vector<std::pair<const char*, const char*>> rows) {
    list.count = (uint16_t)rows.size();
    list.a = (char**)MemAlloc(rows.size() * sizeof(char*));
    list.b = (char**)MemAlloc(rows.size() * sizeof(char*));
    for (size_t i = 0; i < rows.size(); i++) {
        const char* texts[2] = {rows[i].first, rows[i].second ? rows[i].second : ""};
        char** cols[2] = {list.a, list.b};
        for (int k = 0; k < 2; k++) {
            cols[k][i] = (char*)MemAlloc(strlen(texts[k]) + 1);
            strcpy(cols[k][i], texts[k]);
        }
    }
}

// The host machine with the engine's state at its start values; Windows in C:\WINDOWS.
struct EngineMachine : TestMachine {
    EngineMachine() {
        Clear();
        strcpy(WindowsDir, "C:\\WINDOWS");
        SysSetDiskGeometry('C', 8, 512, 1000000, 1000000);  // room for database writes
        Dir("C:\\WINDOWS\\SYSTEM");
    }
    ~EngineMachine() {
        FreeInstallScript();
        Clear();
    }
    static void Clear() {
        ResetRunState();
        SysSetSystemDir(nullptr);
    }
    void Dir(const char* winPath) const {
        std::string cmd = "mkdir -p '" + Host(winPath) + "'";
        if (system(cmd.c_str()) != 0) {}
    }
    bool Exists(const char* winPath) const {
        struct stat st;
        return stat(Host(winPath).c_str(), &st) == 0;
    }
    // Writes a file, making its folder.
    void Put(const char* winPath, const std::string& data) const {
        std::string folder = winPath;
        folder = folder.substr(0, folder.rfind('\\'));
        Dir(folder.c_str());
        Write(winPath, data);
    }
    static std::string Log() {
        return LogTraceText() ? std::string(LogTraceText(), LogTraceUsed()) : "";
    }
    static bool Logged(const std::string& line) {
        return Log().find(line + "\r\n") != std::string::npos;
    }
};

// A main record database with its version record (byte 1 major, byte 2 minor).
inline void MakeMainDb(const EngineMachine& m, const char* winPath, uint8_t major, uint8_t minor) {
    m.Put(winPath, std::string("KOVDB-25", 8) + '\0' + Le32(0x01000401) + std::string(12, 'x'));
    RecordDb* db = nullptr;
    if (DbOpen(winPath, &db) != 0) return;
    const char version[3] = {0, (char)major, (char)minor};
    DbWriteRecord(db, DB_VERSION_RECORD, version, 3, 0);
    DbClose(db);
}

// A tool module record with its companions (given in script order).
inline ToolModule* AddTool(const char* name, uint32_t minVersion,
                           std::vector<const char*> companions = {}) {
    ToolModule* t = &InstallSettings.ToolModules[InstallSettings.ToolModuleCount++];
    memset(t, 0, sizeof *t);
    strcpy(t->name, name);
    t->minVersion = minVersion;
    for (const char* c : companions) {
        ToolCompanion* node = (ToolCompanion*)MemAlloc(sizeof(ToolCompanion));
        strcpy(node->name, c);
        node->next = t->companions;
        t->companions = node;
        t->companionCount++;
    }
    return t;
}
