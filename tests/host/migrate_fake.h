// Test helpers for the search and the migration: a fake system behind the migration's
// platform table and the seat (a registry, the profiles, dialogs and a pump that record what
// was asked of them), beside the database encoder of tests/dbfile.h.
#pragma once
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "migrate/platform.h"
#include "migrate/search.h"
#include "res/resource.h"
#include "tests/dbfile.h"
#include "tests/host/machine.h"

namespace migratetest {

inline void MakeFolders(TestMachine& machine, const std::string& winPath) {
    std::string cmd = "mkdir -p '" + machine.Host(winPath.c_str()) + "'";
    (void)system(cmd.c_str());
}

// Calls fn(header, data, length) for every live record of a database, read back through the
// record database layer; data is null for a record that does not read.
template <typename Fn>
void ForEachLiveRecord(const char* path, Fn fn) {
    RecordDb* db = nullptr;
    if (DbOpen(path, &db) != 0) return;
    for (RecordIndexEntry* e = db->entries; e; e = e->next) {
        if (e->header.flags & DB_FLAG_DELETED) continue;
        uint16_t n = 0;
        char* data = (char*)DbReadRecord(db, e->header.gid, nullptr, &n);
        fn(e->header, data, n);
        if (data) MemFree(data);
    }
    DbClose(db);
}

// The live records of a database that read, by GID.
inline std::map<uint32_t, std::string> LiveRecords(const char* path) {
    std::map<uint32_t, std::string> out;
    ForEachLiveRecord(path, [&](const RecordHeader& h, const char* data, uint16_t n) {
        if (data) out[h.gid] = std::string(data, n);
    });
    return out;
}

inline bool LogHas(const char* text) {
    const char* trace = LogTraceText();
    return trace && strstr(trace, text);
}

struct FakeSystem {
    std::map<std::string, std::string> registry;  // "root|key|name" -> value
    std::map<std::string, std::string> profile;   // "file|section|key" -> value
    std::vector<std::string> deletedKeys, shown, profileWrites;
    std::vector<int> opened, closed;
    std::vector<uint32_t> gaugeRanges, gaugePositions;
    int pumps = 0;
    int abortAtPump = 0;  // sets SearchState.SearchAbort at that pump (the Skip button)
    int askAnswer = 0, asked = 0;
    int shortcutCalls = 0, windows95 = 1, helpMerged = 0, uninstallRegistered = 0;
    unsigned artLevel = 0;
    int detectResult = -1;  // -1: no detection hook; else what the detection returns
    ModemSettingsT detected = {};

    static std::string Key(int root, const char* key, const char* name) {
        return std::to_string(root) + "|" + key + "|" + (name ? name : "");
    }
    void SetRegistry(int root, const char* key, const char* name, const std::string& value) {
        registry[Key(root, key, name)] = value;
    }
    std::string Registry(int root, const char* key, const char* name) {
        auto it = registry.find(Key(root, key, name));
        return it == registry.end() ? "<none>" : it->second;
    }
    void SetProfile(const std::string& file, const char* section, const char* key,
                    const std::string& value) {
        profile[file + "|" + section + "|" + key] = value;
    }
    int Opened(int id) const { return int(std::count(opened.begin(), opened.end(), id)); }
    int Closed(int id) const { return int(std::count(closed.begin(), closed.end(), id)); }

    // Puts this fake in the platform table and the seat.
    void Install();
};

inline FakeSystem* g_fake;

// Keeps the platform table and the seat as they were before a test put a fake in them.
struct PlatformGuard {
    MigratePlatformT saved = MigratePlatform;
    SeatT savedSeat = Seat;
    ~PlatformGuard() {
        MigratePlatform = saved;
        Seat = savedSeat;
    }
};

inline void FakeInstallImpl(FakeSystem* f) {
    g_fake = f;
    SeatT& seat = Seat;
    seat = QuietSeat;
    seat.openProgress = [](int id) -> void* {
        g_fake->opened.push_back(id);
        return (void*)(intptr_t)id;
    };
    seat.closeProgress = [](int id) { g_fake->closed.push_back(id); };
    seat.progressText = [](void*, int, const char* text) { g_fake->shown.push_back(text); };
    seat.progressRange = [](void*, uint32_t r) { g_fake->gaugeRanges.push_back(r); };
    seat.progressGauge = [](void*, uint32_t r) { g_fake->gaugePositions.push_back(r); };
    seat.pump = []() {
        if (++g_fake->pumps == g_fake->abortAtPump) SearchState.SearchAbort = 1;
        return 1;
    };
    // The download-folder question is the fake's; every other goes to the test machine.
    seat.ask = [](int kind, unsigned id, const char* text) {
        if (id != IDS_MOVE_DOWNLOADS) return AskWithSystemBox(kind, id, text);
        g_fake->asked++;
        return g_fake->askAnswer ? (int)SYS_ID_YES : (int)SYS_ID_NO;
    };
    MigratePlatformT& p = MigratePlatform;
    p.registryGet = [](int root, const char* key, const char* name, char* out,
                       unsigned size) -> long {
        auto it = g_fake->registry.find(FakeSystem::Key(root, key, name));
        if (it == g_fake->registry.end()) return 2;
        CopyText(out, it->second.c_str(), size);
        return 0;
    };
    p.registryUpdate = [](int root, const char* key, const char* name, const char* text) -> long {
        g_fake->registry[FakeSystem::Key(root, key, name)] = text;
        return 0;
    };
    p.registryDelete = [](int root, const char* key) -> long {
        g_fake->deletedKeys.push_back(std::to_string(root) + "|" + key);
        return 0;
    };
    p.profileGet = [](const char* file, const char* section, const char* key, char* out,
                      unsigned size) {
        auto it = g_fake->profile.find(std::string(file ? file : "") + "|" + section + "|" + key);
        CopyText(out, it == g_fake->profile.end() ? "" : it->second.c_str(), size);
    };
    p.profileWrite = [](const char* section, const char* key, const char* value) {
        g_fake->profileWrites.push_back(std::string(section) + "|" + key + "=" + value);
        return 1;
    };
    p.artLevel = []() { return g_fake->artLevel; };
    p.isWindows95 = []() { return g_fake->windows95; };
    p.setRapidWebDefault = []() {};
    p.mergeHelpContents = []() { return ++g_fake->helpMerged; };
    p.registerUninstall = []() { return ++g_fake->uninstallRegistered; };
    p.detectModem = nullptr;
    if (f->detectResult >= 0)
        p.detectModem = [](ModemSettingsT* s) {
            if (g_fake->detectResult) *s = g_fake->detected;
            return g_fake->detectResult;
        };
    p.shortcutDialog = []() { g_fake->shortcutCalls++; };
}

inline void FakeSystem::Install() { FakeInstallImpl(this); }

}  // namespace migratetest
