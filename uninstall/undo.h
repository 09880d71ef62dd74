// The uninstaller's portable half: what to do with each line of the install record that
// concerns files and folders, decided and done through the OS seam.
#pragma once
#include "record/installrec.h"

// The record lies in a folder the user can write, so each line is held to what an install
// can make, whatever it says: FILE in the destination, or a file of the Windows folder itself
// that is not one of the system's own; LINK a ".lnk" in a shell folder or a group folder of
// one; HELP the help contents file only; GROUP the package's own group only; DATA in the
// destination; no path with a "." or ".." part; CR and LF in no field (but the appended
// bytes). A refused line is logged and counted, and the rest goes on.
struct UndoContext {
    const InstallRecord* record;
    // Folders under which the record may name things to remove: the destination first,
    // then the Windows folder, then the shell folders. A path outside all of them is
    // refused, whatever the record says.
    const char* roots[8];
    int rootCount;
    int removeUserData;     // the user asked to remove the data folders too
    const char* helpFile;   // the help contents file the install appends to; null: none
    const char* groupName;  // the group the install makes, from outside the record; null: none
    // The way back: the uninstaller's own file (a FILE line) and the lines that wayBack says
    // are of the uninstall entry. They are undone last, and only when nothing else failed or
    // was refused; else they stay, with the record, so that the user can try again.
    const char* uninstaller;
    int (*wayBack)(const InstallItem* item);
    // Tallies for the closing message and the log; failed counts the refused lines too.
    int removed, gone, kept, failed, refused;
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

// 1 when the line may be undone at all (see UndoContext); 0, logged and counted, when not.
int AllowedItem(UndoContext* ctx, const InstallItem* item);

// Undoes the whole record, newest line first: every line but the folders and the way back,
// through UndoFileItem or, for the other kinds, through other (registry, profile, group; may
// be null); then, when nothing failed, the way back and the record file recordPath; then the
// folders, so that a folder empties before its turn. 1 when the uninstall is complete.
int UndoRecord(UndoContext* ctx, const char* recordPath,
               void (*other)(UndoContext* ctx, const InstallItem* item));

// Asks Windows 95 to delete path at its next start: a "NUL=path" line in the [rename]
// section of the wininit file (made when missing). path must be a short (8.3) name, which is
// all that the start-up pass reads. 1 when the line was written.
int AddWininitDelete(const char* wininitPath, const char* path);
