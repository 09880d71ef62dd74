// Disk space estimate. Sums run in 64 bits and are clamped once, so a package or a previous
// installation near 4 GB, or a disk with more free space than 32 bits hold, gives figures
// that compare and log as 0xFFFFFFFF instead of wrapping round.
#include "install/space.h"

#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "install/destination.h"
#include "install/state.h"
#include "package/package.h"
#include "res/strings.h"
#include "sys/sys.h"

uint32_t ClampBytes(uint64_t bytes) { return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)bytes; }

uint32_t RoundToCluster(uint32_t size, uint32_t cluster) {
    if (cluster == 0) return size;
    return ClampBytes(((uint64_t)size + cluster) / cluster * cluster);
}

int ReadPreviousDbVersion(const char* dbPath) {
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(dbPath, &db) != 0) {
        LogPrintf("IR:DBO failed on %s", dbPath);
        return 0;
    }
    int read = 0;
    uint16_t length = 0;
    uint8_t* data = (uint8_t*)DbReadRecord(db, DB_VERSION_RECORD, nullptr, &length);
    if (data) {
        // A record too short to hold both bytes says nothing about the version.
        if (length >= 3) {
            InstallState.PreviousDbVersion[0] = data[1];
            InstallState.PreviousDbVersion[1] = data[2];
            read = 1;
        }
        MemFree(data);
    }
    DbClose(db);
    return read;
}

static int SameDbVersion(void) {
    return InstallSettings.DbVersion[0] == InstallState.PreviousDbVersion[0] &&
           InstallSettings.DbVersion[1] == InstallState.PreviousDbVersion[1];
}

// Marks the tool modules of the previous installation that the install will copy over and
// counts their bytes (with their companion files) into InstallState.ToolBytesFromOld.
static void CountOldTools(const char* previousDir) {
    char pattern[MAX_PATH_TEXT], path[MAX_PATH_TEXT];
    JoinPath(pattern, previousDir, LoadCaption(IDS_TOOL_PATTERN), (const char*)nullptr);
    char toolDir[MAX_PATH_TEXT];
    GetDirPart(toolDir, pattern);
    uint64_t bytes = 0;
    SysFindData fd;
    SysFind h = SysFindFirst(pattern, &fd);
    if (h) {
        do {
            if (fd.isDir) continue;
            JoinPath(path, toolDir, fd.name, (const char*)nullptr);
            uint32_t version = GetToolVersion(path);
            for (uint16_t i = 0; i < InstallSettings.ToolModuleCount; i++) {
                ToolModule* t = &InstallSettings.ToolModules[i];
                if (!SameName(t->name, fd.name) || t->minVersion > version) continue;
                t->presentInOld = 1;
                t->oldSize = GetFileSizeByName(path);
                bytes += t->oldSize;
                for (ToolCompanion* c = t->companions; c; c = c->next) {
                    char companion[MAX_PATH_TEXT];
                    JoinPath(companion, previousDir, c->name, (const char*)nullptr);
                    c->size = GetFileSizeByName(companion);
                    bytes += c->size;
                }
                break;
            }
        } while (SysFindNext(h, &fd));
        SysFindClose(h);
    }
    InstallState.ToolBytesFromOld = ClampBytes(bytes);
}

int CheckDiskSpace(int driveIndex, const char* previousDir, const char* destDir,
                   uint32_t* neededOut) {
    if (neededOut) *neededOut = 0;
    if (!previousDir) previousDir = "";
    if (!destDir) destDir = "";
    if (previousDir[0] && !SameFolder(previousDir, destDir)) {
        char idb[MAX_PATH_TEXT], db[MAX_PATH_TEXT];
        JoinPath(idb, previousDir, "IDB", (const char*)nullptr);
        if (FindUserMainDb(db, idb, nullptr)) ReadPreviousDbVersion(db);
        InstallState.ToolBytesFromOld = 0;
        if (SameDbVersion()) CountOldTools(previousDir);
    }

    InstallState.ClusterSize = DEFAULT_CLUSTER_SIZE;
    if (driveIndex < 0 || driveIndex > 25) return 0;
    char root[4] = {(char)('A' + driveIndex), ':', '\\', 0};
    if (!SysCanWrite(root)) {
        LogPrintf("%s not writable", root);
        return 0;
    }
    unsigned long sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!SysDiskFree(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return 0;
    uint32_t c = ClampBytes((uint64_t)bytesPerSector * sectorsPerCluster);
    if (c == 0) c = DEFAULT_CLUSTER_SIZE;
    InstallState.ClusterSize = c;
    uint64_t freeBytes = (uint64_t)freeClusters * c;
    uint32_t free = ClampBytes(freeBytes);
    // Whole megabytes fit in 32 bits for any disk: the dialog shows the true figure.
    InstallState.FreeMegabytes = ClampBytes(freeBytes >> 20);
    LogPrintf("Drive %c: cluster size = %lu, free space = %lu", root[0], (unsigned long)c,
              (unsigned long)free);

    uint64_t base = (uint64_t)PackageSpaceNeeded(c) + InstallState.ToolBytesFromOld;
    if (InstallSettings.MergedFilesA.count) base += MERGE_RESERVE_BYTES;
    uint32_t needed = ClampBytes(base);
    uint32_t extra = ClampBytes((uint64_t)OldOrganizeSpace(c, previousDir, destDir) +
                                OldDatabaseSpace(c, previousDir, destDir));
    uint32_t savings = ExistingFileSavings(c, destDir);
    LogPrintf("Space needed = %lu, extra from old = %lu, existing savings = %lu",
              (unsigned long)needed, (unsigned long)extra, (unsigned long)savings);

    uint32_t total = ClampBytes((uint64_t)needed + extra);
    if (savings < total) total -= savings;
    LogPrintf("Total = %lu", (unsigned long)total);
    if (neededOut) *neededOut = total;
    if (total < free) {
        LogPrintf("It'll fit");
        return 1;
    }
    LogPrintf("Won't fit");
    return 0;
}

uint32_t PackageSpaceNeeded(uint32_t cluster) {
    int64_t sum = 0;
    if (FileTable)
        for (uint32_t i = InstallState.FirstFileIndex; i < FileTable->count; i++)
            sum += RoundToCluster(FileTable->entry[i]->installedSize, cluster);
    sum -= InstallSettings.MergedBytesA;
    sum -= InstallSettings.MergedBytesB;
    if (sum < 0) sum = 0;
    sum += (int64_t)InstallSettings.ExtraSpaceKb * 1024;
    return ClampBytes((uint64_t)sum);
}

// What the previous installation's folder sub takes once copied: for an in-place install only
// the old main database kept beside the new one, else every file rounded to clusters.
static uint32_t OldFolderSpace(uint32_t cluster, const char* previousDir, const char* destDir,
                               const char* sub) {
    if (!previousDir || !previousDir[0]) return 0;
    char folder[MAX_PATH_TEXT], path[MAX_PATH_TEXT];
    JoinPath(folder, previousDir, sub, (const char*)nullptr);
    if (destDir && destDir[0] && SameFolder(destDir, previousDir))
        return FindUserMainDb(path, folder, nullptr) ? GetFileSizeByName(path) : 0;
    char pattern[MAX_PATH_TEXT];
    JoinPath(pattern, folder, "*.*", (const char*)nullptr);
    uint64_t sum = 0;
    SysFindData fd;
    SysFind h = SysFindFirst(pattern, &fd);
    if (!h) return 0;
    do {
        JoinPath(path, folder, fd.name, (const char*)nullptr);
        uint32_t size = GetFileSizeByName(path);
        if (size) sum += RoundToCluster(size, cluster);
    } while (SysFindNext(h, &fd));
    SysFindClose(h);
    return ClampBytes(sum);
}

uint32_t OldDatabaseSpace(uint32_t cluster, const char* previousDir, const char* destDir) {
    return OldFolderSpace(cluster, previousDir, destDir, "IDB");
}

uint32_t OldOrganizeSpace(uint32_t cluster, const char* previousDir, const char* destDir) {
    return OldFolderSpace(cluster, previousDir, destDir, "ORGANIZE");
}

uint32_t ExistingFileSavings(uint32_t cluster, const char* destDir) {
    // Without a destination the names would be looked up in the current folder.
    if (!FileTable || !destDir || !destDir[0]) return 0;
    uint64_t sum = 0;
    char path[MAX_PATH_TEXT];
    for (uint32_t i = InstallState.FirstFileIndex; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        if (SameName(e->name, "IDB\\MAIN.IDX")) continue;
        JoinPath(path, destDir, e->name, (const char*)nullptr);
        if (!FileExists(path)) continue;
        uint32_t have = RoundToCluster(GetFileSizeByName(path), cluster);
        uint32_t want = RoundToCluster(e->installedSize, cluster);
        sum += have < want ? have : want;
    }
    return ClampBytes(sum);
}

int RoomForBackups(const char* previousDir, const char* destDir) {
    if (!destDir || !destDir[0] || destDir[1] != ':') return 0;
    char root[4] = {destDir[0], ':', '\\', 0};
    unsigned long sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!SysDiskFree(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return 0;
    uint32_t c = ClampBytes((uint64_t)bytesPerSector * sectorsPerCluster);
    if (c == 0) c = DEFAULT_CLUSTER_SIZE;
    uint32_t free = ClampBytes((uint64_t)freeClusters * c);
    // The estimate without the savings: the files the package replaces keep their clusters
    // until the install is committed. The earlier database kept beside the new one is counted
    // as all of the database folder, from its listing: nothing is opened before the journal.
    uint64_t needed = PackageSpaceNeeded(c);
    if (InstallSettings.MergedFilesA.count) needed += MERGE_RESERVE_BYTES;
    char pattern[260];
    JoinPath(pattern, destDir, "IDB", "*.*", (const char*)nullptr);
    SysFindData fd;
    SysFind h = previousDir && previousDir[0] ? SysFindFirst(pattern, &fd) : 0;
    if (h) {
        do
            if (!fd.isDir) needed += RoundToCluster(ClampBytes(fd.size), c);
        while (SysFindNext(h, &fd));
        SysFindClose(h);
    }
    uint32_t total = ClampBytes(needed);
    LogPrintf("Space with the earlier files kept = %lu, free space = %lu", (unsigned long)total,
              (unsigned long)free);
    return total < free;
}
