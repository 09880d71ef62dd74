// System files: a package file whose folder is "SYSTEM" replaces the copy in the system
// folder only when it is newer (by version resource, else by date stamp). While the setup
// itself has the old one loaded, the user is asked to close it, or the replacement is
// deferred to restsys.bat, a batch file in the destination that moves it after a restart.
#pragma once
#include <stdint.h>

#include "sys/sys.h"

// CompareFileVersions results.
enum {
    VERSIONS_EQUAL = 0,
    NEW_VERSION_HIGHER = 1,
    EXISTING_VERSION_HIGHER = 2,
    ONLY_EXISTING_VERSIONED = 10,
    ONLY_NEW_VERSIONED = 11,
    NEITHER_VERSIONED = 12,
};

// path: the file extracted into the destination. Non-zero on success (also when the user
// declined the in-use question: UserAbort is set then); 0 when the final copy or the removal
// of the extracted file failed.
int InstallSystemFile(const char* path);
int CompareFileVersions(const char* newPath, const char* existingPath);
// Both words 0 when the file has no version resource.
void GetFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant);

// The deferred-move batch file (InstallState.RestsysFile) is open from the install step to
// the end of the run.
// At the start of the install step: creates DestDir\restsys.bat with "@echo off" when the
// script asks for deferred files (DeferInUseFiles). 1 when the file is open.
int OpenRestsysBatch(void);
// Appends "move FROM TO > nul"; nothing when the batch file is not open.
int AddDeferredMove(const char* from, const char* to);
// In the closing phase: the "tod" clean-up commands (ClientUpdateMode), the batch file's
// own deletion, and close. Nothing when it was never opened.
void FinishRestsysBatch(void);
