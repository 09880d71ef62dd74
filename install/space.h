// Disk space estimate: what the package needs on a drive, cluster by cluster, plus what the
// migration will copy out of the previous installation, minus what files already in the
// destination give back when overwritten. Every byte count is 32-bit; larger figures (free
// space of today's disks) are clamped to 0xFFFFFFFF before they are compared or logged.
#pragma once
#include <stdint.h>

enum : uint32_t {
    DEFAULT_CLUSTER_SIZE = 8192,
    MERGE_RESERVE_BYTES = 5242880,   // room the database merge works in
    DB_VERSION_RECORD = 0x14000006,  // main database: byte 1 major, byte 2 minor
};

// 1 when the install fits on drive 'A' + driveIndex; 0 when it does not or the drive cannot
// be examined. neededOut (may be null) receives the total, 0 when none was computed.
int CheckDiskSpace(int driveIndex, const char* previousDir, const char* destDir,
                   uint32_t* neededOut);
uint32_t PackageSpaceNeeded(uint32_t cluster);
uint32_t OldDatabaseSpace(uint32_t cluster, const char* previousDir, const char* destDir);
uint32_t OldOrganizeSpace(uint32_t cluster, const char* previousDir, const char* destDir);
uint32_t ExistingFileSavings(uint32_t cluster, const char* destDir);
// ((size + cluster) / cluster) * cluster: a whole cluster more for an exact multiple.
uint32_t RoundToCluster(uint32_t size, uint32_t cluster);
// A byte count as the estimate handles it: 0xFFFFFFFF for anything larger.
uint32_t ClampBytes(uint64_t bytes);
// Sets InstallState.PreviousDbVersion from the version record of the database file at dbPath;
// 1 when read.
// A file that does not open is logged ("IR:DBO failed on ...") and changes nothing.
int ReadPreviousDbVersion(const char* dbPath);
// 1 when the destination's drive has room for the package while the files it replaces stay
// (moved aside until the install is committed): the estimate without the savings.
int RoomForBackups(const char* previousDir, const char* destDir);
