// The destination folder before and after the file copy: created with the client's empty
// folders; made ready to be overwritten when it is the previous installation's own folder
// (old main database moved aside as IDB\OLD.DB, tool modules kept or deleted, preserved
// files renamed); emptied of the package's files after a failed or stopped install.
#pragma once
#include <stdint.h>

// The folder transfer lives with the migration, which also queues the copies into another
// folder; an in-place install reaches its rename mode and the undo of those renames through
// these two, which the setup connects (setup/connect.cpp); null until then.
extern uint16_t (*TransferFoldersHook)(int renameMode);
extern void (*UndoTransferRenamesHook)(void);

// name under the destination folder (InstallSettings.DestDir), into out (MAX_PATH_TEXT bytes,
// or null to allocate with MemAlloc); cut when it does not fit.
char* DestPath(char* out, const char* name);

// 1 when name (relative to the installation folder) matches a PreservedFiles pattern with an
// empty action: such a file is never overwritten by an in-place install.
int IsPreservedFile(const char* name);

// 0 with SetupError set when an in-place install cannot go on without writing over the
// user's data: the old main database or a preserved file could not be moved aside. What was
// moved by then is given back by RestorePreviousInstall.
int PrepareDestination(void);
// Deletes a file the install wrote; one that stays is named in the log ("Could not remove").
// 1 when it was there and is gone.
int RemoveInstalledFile(const char* path);
// Deletes the package's files from the destination: the entry names, and the extracted
// copies of "SYSTEM" entries that wait in the destination root (one deferred to restsys.bat
// is still there). Preserved files of an in-place install stay. What the install loop put
// elsewhere (temporary archives, the Windows folder) is the loop's to remove.
void CleanUpInstall(void);
// After an interrupted in-place install (a failed file installation or a failed migration):
// the package's files are cleaned up unless that was done (or none were written yet),
// IDB\OLD.DB goes back to the name it was found under and the renames of the preserved-file
// transfer are undone, newest first, so the previous installation finds its user's data
// again. Nothing otherwise. A CleanUpInstall called after it does nothing, so the two may
// come in either order.
void RestorePreviousInstall(void);
void DeleteObsoleteFiles(void);
void DeleteMatchingFiles(const char* baseDir, char** patterns, uint16_t count);
// Packed file version 0xAABBCCDD of version A.B.C.D (low byte of each word); 0 when none.
uint32_t GetToolVersion(const char* path);
// Size in bytes (low 32 bits); 0 when the file cannot be opened unshared.
uint32_t GetFileSizeByName(const char* path);
// At the end of a successful install: adds the user's data folders (the record databases,
// the downloads, the organize folder), the setup log and the version file (-V) to the
// install record and writes it into the destination for the uninstaller. 1 written.
int FinishInstallRecord(void);
