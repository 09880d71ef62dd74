// ResetRunState: every subsystem's run-wide state back to the start, in the order that lets
// each free what it holds before the values below it are cleared.
#include "base/globals.h"
#include "clientdb/access.h"
#include "install/state.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "package/package.h"
#include "record/installrec.h"
#include "setup/answers.h"
#include "setup/connect.h"
#include "setup/driver.h"
#ifdef _WIN32
#include "desktop/desktop.h"
#include "modem/modem.h"
#include "ui/dialogs.h"
#endif

void ResetRunState(void) {
#ifdef _WIN32
    ResetDesktopState();
    ResetModemState();
    ResetUiState();
#endif
    ResetMigrationState();
    ResetSearchState();
    ResetInstallState();
    DriveIndex = 0;
    ResetPackageState();
    ResetDbState();
    ResetAnswerState();
    ResetInstallRecord();
    ResetBaseState();
    // The seat and the hooks as a run with a user starts with.
    ConnectRun(0);
}
