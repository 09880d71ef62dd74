// The search and migration on Windows: the procedures of the search dialog and the progress
// dialogs, and the registry layer and the Windows profile behind the platform table.
#include <windows.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/text.h"
#include "migrate/internal.h"
#include "migrate/platform.h"
#include "migrate/platform_win.h"
#include "migrate/registration.h"
#include "migrate/search.h"
#include "record/installrec.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "res/strings.h"
#include "ui/dialogs.h"

namespace {

HKEY Root(int root) { return root == MIGRATE_ROOT_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

long RegistryGet(int root, const char* key, const char* name, char* out, unsigned size) {
    return RegistryGetString(Root(root), key, name, out, size, 0);
}

long RegistryUpdate(int root, const char* key, const char* name, const char* text) {
    NoteRegistryValue(Root(root), key, name);
    return RegistryUpdateString(Root(root), key, name, text);
}

long RegistryDelete(int root, const char* key) { return RegistryDeleteKey(Root(root), key); }

void ProfileGet(const char* file, const char* section, const char* key, char* out, unsigned size) {
    if (!size) return;
    out[0] = 0;
    if (file) GetPrivateProfileStringA(section, key, "", out, size, file);
    else GetProfileStringA(section, key, "", out, size);
}

int ProfileWrite(const char* section, const char* key, const char* value) {
    NoteProfileValue(section, key);
    return WriteProfileStringA(section, key, value) ? 1 : 0;
}

unsigned ArtLevel(void) { return CacheChoice; }

int IsWindows95(void) {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return 0;
    return info.dwPlatformId != VER_PLATFORM_WIN32_NT && info.dwPlatformId != VER_PLATFORM_WIN32s;
}

}  // namespace

MigratePlatformT MigratePlatform = {
    RegistryGet, RegistryUpdate,     RegistryDelete,    ProfileGet,        ProfileWrite, ArtLevel,
    IsWindows95, SetRapidWebDefault, MergeHelpContents, RegisterUninstall, nullptr,      nullptr,
};

INT_PTR CALLBACK PrevSearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    // The whole parameter: a button's click, not some other notification from it.
    if (wParam == ID_QUIT) {
        if (ConfirmQuit(dialog)) SearchState.SearchAbort = 1;
        return TRUE;
    }
    if (wParam == ID_SKIP) {
        if (AskYesNo(Message(IDS_SKIP_SEARCH, IDS_SKIP_SEARCH_ADVICE))) {
            LogPrintf("User skipped the search");
            SearchState.SearchAbort = 1;
        }
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK MigrateProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_INITDIALOG;
}
