// Preserved files and the folder transfer. The install script's PreservedFiles pairs
// (pattern, action) name user files of the previous installation: with an empty action they
// are never overwritten by an in-place install (IsPreservedFile, install/destination.h); with
// an action (and, into another folder, also without one) they are carried into the new
// installation: renamed in place before the package is copied (rename mode) or queued for
// copying during the migration.
#pragma once
#include <stdint.h>

// Returns the PreservedFiles count afterwards: found subfolders are appended as new pairs.
uint16_t TransferFolders(int renameMode);
// Undoes the renames of rename mode, newest first (an interrupted in-place install).
void UndoTransferRenames(void);
