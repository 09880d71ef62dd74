// Preserved files and the folder transfer. The install script's PreservedFiles pairs
// (pattern, action) name user files of the previous installation: with an empty action they
// are never overwritten by an in-place install (IsPreservedFile, install/destination.h); with
// an action (and, into another folder, also without one) they are carried into the new
// installation: renamed in place before the package is copied (rename mode) or queued for
// copying during the migration.
#pragma once
#include <stdint.h>

// One queued copy; the queue is newest first and is run by the migration's copy phase.
struct CopyQueueItem {
    char source[257];
    char destination[257];
    uint32_t move;  // delete the source after the copy
    CopyQueueItem* next;
};

// Returns the PreservedFiles count afterwards: found subfolders are appended as new pairs.
uint16_t TransferFolders(int renameMode);
// The new name of fileName under action ("*.old" -> extension "old", other text -> that
// name; "" and "move" keep the name). out: 260 bytes.
char* TransferTargetName(char* out, const char* fileName, const char* action);
// Drops every queued copy without running it.
void FreeCopyQueue(void);
// Undoes the renames of rename mode, newest first (an interrupted in-place install).
void UndoTransferRenames(void);
// Forgets the recorded renames (the install went through).
void ForgetTransferRenames(void);
