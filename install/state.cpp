// The install's run-wide state and its reset.
#include "install/state.h"

#include "record/journal.h"
#include "install/decompress.h"
#include "sys/sys.h"

InstallStateT InstallState;

void ResetInstallState(void) {
    // The batch file of a run that ended without closing it would otherwise stay open.
    if (InstallState.RestsysFile) SysClose(InstallState.RestsysFile);
    FreeDecompressor();
    ResetJournalState();
    InstallState = {};
}
