// The install's run-wide state in one place, so that one assignment puts all of it back to
// the start (ResetInstallState, part of ResetRunState) and no value outlives the run, the
// test or the fuzz input that set it.
#pragma once
#include <stdint.h>

#include "base/path.h"
#include "install/decompress.h"
#include "install/space.h"
#include "sys/sys.h"

// How often the copy dialog's label and gauge are brought up to date while files fly by: as
// often as the eye can follow, and rarely enough that repaints cost little beside the files.
enum { INSTALL_UI_REFRESH_MS = 50 };

struct InstallStateT {
    // Set by every CheckDiskSpace: the examined drive's cluster size and whole free megabytes.
    uint32_t ClusterSize = DEFAULT_CLUSTER_SIZE;
    uint32_t FreeMegabytes = 0;
    // Bytes of tool modules the install copies from the previous installation (same database
    // version); recomputed by every CheckDiskSpace that looks at another folder.
    uint32_t ToolBytesFromOld = 0;
    // Major and minor version of the previous installation's main database, as read by the
    // estimate or by the destination preparation; 0.0 until one was read.
    uint8_t PreviousDbVersion[2] = {0, 0};
    // Index of the install's first package file: 0 until the decompression library (entry 0)
    // has been written, then 1. The estimate and the install loop start there; the
    // decompressor (install/decompress.cpp) owns it.
    uint16_t FirstFileIndex = 0;
    // The install loop shows its label and gauge at most this often (milliseconds); tests
    // set 0 to see every change.
    uint32_t UiRefreshMs = INSTALL_UI_REFRESH_MS;
    // The decompressor's command record, rewritten completely before every call.
    unsigned char UnzipCommand[UNZIP_COMMAND_BYTES] = {};
    // 1 when the destination is the previous installation's folder; decided by
    // PrepareDestination.
    uint32_t OverwriteInPlace = 0;
    // The path the previous main database was found under before it became IDB\OLD.DB; empty
    // when nothing was moved aside.
    char OldDbFoundPath[MAX_PATH_TEXT] = {};
    // RestorePreviousInstall has given the earlier installation its files back: a clean-up
    // from then on would delete them, and does nothing.
    uint32_t PreviousInstallRestored = 0;
    // The install loop has begun writing the package's files (set by InstallFiles): only then
    // is there anything for a clean-up to take away.
    uint32_t PackageFilesWritten = 0;
    // CleanUpInstall has run: a second one (or one after the restore) does nothing.
    uint32_t CleanedUp = 0;
    // 1 when the last InstallSystemFile copied its file into the system folder.
    uint32_t SystemFileCopied = 0;
    // restsys.bat, the deferred system-file replacements: its path and, while open, its file.
    char RestsysPath[MAX_PATH_TEXT] = {};
    SysFile RestsysFile = 0;
};
extern InstallStateT InstallState;

// Closes what the state holds open and puts every value back to its start.
void ResetInstallState(void);
