// What the search and the migration need of the registry and the Windows profile, as one
// table. The search and migration code is portable (it runs on the seam and is tested
// natively); on Windows the table holds the real registry and profile calls
// (platform_win.cpp), natively it holds quiet stand-ins that tests replace. What they show
// and ask the user goes to the seat (base/seat.h).
#pragma once
#include <stdint.h>

#include "base/globals.h"

// Registry roots, named without the platform's handles.
enum { MIGRATE_ROOT_MACHINE = 0, MIGRATE_ROOT_USER = 1 };

struct MigratePlatformT {
    // Registry, through the registry layer: its statuses unchanged (0 success, 2 no key).
    long (*registryGet)(int root, const char* key, const char* name, char* out, unsigned size);
    long (*registryUpdate)(int root, const char* key, const char* name, const char* text);
    long (*registryDelete)(int root, const char* key);

    // Profiles: file null means the Windows profile (win.ini). A missing value reads as "".
    void (*profileGet)(const char* file, const char* section, const char* key, char* out,
                       unsigned size);
    int (*profileWrite)(const char* section, const char* key, const char* value);

    // The art level chosen in the welcome dialog (0, 1 or 2): the first merge list's slots
    // 0 to that level are merged.
    unsigned (*artLevel)(void);
    // 1 on Windows 95 (any platform but Windows NT and Win32s).
    int (*isWindows95)(void);
    // The end of the migration: the client's defaults, help contents and uninstall entry.
    void (*setRapidWebDefault)(void);
    int (*mergeHelpContents)(void);
    int (*registerUninstall)(void);

    // The modem detection and the shortcut choice (dialog 217), which live beside the
    // migration: on Windows the setup puts them in (setup/connect.cpp), since only it may
    // reach the modem and desktop folders; null until then and natively (no modem found, no
    // shortcut choice) unless a test puts its own in.
    int (*detectModem)(ModemSettingsT* settings);
    void (*shortcutDialog)(void);
};
extern MigratePlatformT MigratePlatform;
