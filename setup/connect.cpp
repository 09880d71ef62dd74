// Connections between the subsystems of one layer, which may not include each other: each
// hook is defined here, above them, already pointing at its implementation, so no run and
// no test can reach a hook that was never set.
#include "install/destination.h"
#include "migrate/platform.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#ifdef _WIN32
#include "desktop/desktop.h"
#include "modem/modem.h"
#endif

// The in-place install renames the preserved files with the migration's folder transfer.
uint16_t (*TransferFoldersHook)(int renameMode) = TransferFolders;
void (*UndoTransferRenamesHook)(void) = UndoTransferRenames;

#ifdef _WIN32
// A fresh install whose modem is not known yet asks the modem detection; the migration of
// a Windows 95 installation ends with the shortcut choice, whose result says nothing more.
int MigrateDetectModem(ModemSettingsT* settings) { return DetectModem(settings); }
void MigrateShortcutDialog(void) { RunShortcutDialog(); }
#endif
