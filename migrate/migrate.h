// The migration: after the files are installed, the new installation's main database gets
// the art the package carries, the user's records from the earlier installation, the
// version, the modem choice and a few settings; two further databases are edited, the old
// installation's files are carried over, and the profile and registry learn where the new
// client lives.
#pragma once
#include <stdint.h>

#include "clientdb/access.h"
#include "clientdb/userdb.h"

// Record keys the migration writes (besides those of the search).
enum : uint32_t {
    GID_GRAPH_LIST_INDEX = 0x1400002Eu,  // index from 1 into the GID list of database 0x2000EF
    GID_PASSWORD_LIST = 0x14000032u,
    GID_VERSION_TEXT = 0x14000044u,
    GID_RESOURCE_TAG = 0x14000046u,
    GID_MODEM_NAME = 0x14000048u,
    GID_SETTINGS_MARK = 0x140000D1u,
    GID_CLIENT_TEXT_A = 0x140000D2u,
    GID_CLIENT_TEXT_B = 0x140000D3u,
    GID_SECOND_SPEED_INDEX = 0x14000012u,
    GID_INSTALL_FOLDER = DB_GID_INSTALL_FOLDER,  // written last: the migration's mark
    GID_DOWNLOAD_FOLDER = 0x1402000Eu,
    GID_CONNECTION_LIST = 0x23F1u,  // in database 0x2000EF: 2 bytes, then 4-byte GIDs
};

// 1 on success; 0 with the fatal error number set (22-25, 29), or after a cancel
// (UserAbort set, no number).
int MigrateInstallation(void);
// Closes and frees what the migration's state holds and puts every value of it back to the
// start (MigrationState, migrate/state.h; part of ResetRunState).
void ResetMigrationState(void);
