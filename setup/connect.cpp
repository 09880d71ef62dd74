// Connections between the subsystems of one layer, which may not include each other: each
// hook is defined here, above them, already pointing at its implementation, so no run and
// no test can reach a hook that was never set.
#include "install/destination.h"
#include "migrate/transfer.h"

// The in-place install renames the preserved files with the migration's folder transfer.
uint16_t (*TransferFoldersHook)(int renameMode) = TransferFolders;
void (*UndoTransferRenamesHook)(void) = UndoTransferRenames;
