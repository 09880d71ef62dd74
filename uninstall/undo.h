// The uninstaller's portable half: what to do with each line of the install record that
// concerns files and folders, decided and done through the OS seam.
#pragma once
#include "base/installrec.h"

struct UndoContext {
    const InstallRecord* record;
    // Folders under which the record may name things to remove: the destination first,
    // then the Windows folder and the shell folders. A path outside all of them is refused,
    // whatever the record says.
    const char* roots[8];
    int rootCount;
    int removeUserData;  // the user asked to remove the data folders too
    // Tallies for the closing message and the log.
    int removed, gone, kept, failed;
};

// 1 when path is root or lies below it (names compared as the program compares names).
int PathUnder(const char* path, const char* root);
// 1 when path is a user data folder of the record or lies below one.
int IsUserData(const UndoContext* ctx, const char* path);
// Undoes one FILE, DIR, DATA, LINK or HELP line: 1 when the line is of those kinds (done,
// already gone, kept or failed: see the tallies and the log), 0 for any other kind.
int UndoFileItem(UndoContext* ctx, const InstallItem* item);
// Removes a folder with everything in it, below no more than a few levels; 1 when it is gone.
int RemoveTree(const char* path);

// Undoes the whole record, newest line first: every line but the folders, through
// UndoFileItem or, for the other kinds, through other (registry, profile, group; may be
// null); then deletes the record file recordPath; then the folders, so that a folder empties
// before its turn.
void UndoRecord(UndoContext* ctx, const char* recordPath,
                void (*other)(UndoContext* ctx, const InstallItem* item));

// Asks Windows 95 to delete path at its next start: a "NUL=path" line in the [rename]
// section of the wininit file (made when missing). path must be a short (8.3) name, which is
// all that the start-up pass reads. 1 when the line was written.
int AddWininitDelete(const char* wininitPath, const char* path);
