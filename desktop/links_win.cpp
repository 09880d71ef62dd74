// Shortcuts to the installed client: the user's shell folders read from the per-user Shell
// Folders table, and the shortcut files made with the shell's published link object.
#include "desktop/desktop.h"
#include "desktop/internal.h"

#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "record/installrec.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "ui/frame.h"

static const char ShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char ClientProgram[] = "KOV.EXE";
static const char TitleCut[] = "Double";

static const struct {
    int kind;
    const char* valueName;
} ShellFolderNames[] = {
    {SHELL_DESKTOP, "Desktop"},
    {SHELL_START_MENU, "Start Menu"},
    {SHELL_PROGRAMS, "Programs"},
    {SHELL_STARTUP, "Startup"},
};

BOOL GetShellFolder(char* buffer, int kind) {
    for (const auto& row : ShellFolderNames) {
        if (row.kind != kind) continue;
        char folder[SHELL_PATH_SIZE] = "";
        if (RegistryGetString(HKEY_CURRENT_USER, ShellFoldersKey, row.valueName, folder,
                              sizeof folder, 0) != ERROR_SUCCESS)
            return FALSE;
        // An empty value would put the shortcut in the root of the current drive.
        if (!folder[0]) return FALSE;
        CopyText(buffer, folder, SHELL_PATH_SIZE);
        return TRUE;
    }
    return FALSE;
}

HRESULT CreateShellLink(const char* target, const char* linkFile, const char* description) {
    IClassFactory* factory = NULL;
    HRESULT result = CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                      NULL, IID_IClassFactory, (void**)&factory);
    if (FAILED(result)) return result;
    IShellLinkA* link = NULL;
    result = factory->CreateInstance(NULL, IID_IShellLinkA, (void**)&link);
    factory->Release();
    if (FAILED(result)) return result;

    result = link->SetPath(target);
    if (SUCCEEDED(result)) result = link->SetDescription(description);
    IPersistFile* file = NULL;
    if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (SUCCEEDED(result)) {
        WCHAR wide[MAX_PATH];
        // A name that does not fit is refused rather than saved under a cut name.
        if (MultiByteToWideChar(CP_ACP, 0, linkFile, -1, wide, MAX_PATH) == 0)
            result = E_INVALIDARG;
        else result = file->Save(wide, FALSE);
        file->Release();
    }
    link->Release();
    return result;
}

const char* ClientItemTitle(void) {
    if (InstallSettings.PreviousDir[0] == 0 && InstallSettings.FreshItemTitle[0] != 0)
        return InstallSettings.FreshItemTitle;
    return InstallSettings.ItemTitle;
}

BOOL CreateClientShortcut(const char* destDir, char* folderBuffer, const char* programName,
                          int kind) {
    char title[sizeof InstallSettings.ItemTitle];
    CopyText(title, ClientItemTitle(), sizeof title);
    if (kind == SHORTCUT_CUT_TITLE) {
        if (char* cut = FindTextMb(title, TitleCut)) *cut = 0;
    }

    char folder[SHELL_PATH_SIZE];
    CopyText(folder, folderBuffer, sizeof folder);
    char program[SHELL_PATH_SIZE];
    CopyText(program, programName, sizeof program);
    CharUpperA(program);

    // A path that does not fit is refused: a cut one would name another file.
    if (lstrlenA(folder) + 1 + lstrlenA(title) + 4 >= SHELL_PATH_SIZE ||
        lstrlenA(destDir) + 1 + lstrlenA(program) >= SHELL_PATH_SIZE) {
        LogPrintf("Shortcut path too long: %s", title);
        return FALSE;
    }
    Format(folderBuffer, SHELL_PATH_SIZE, "%s\\%s.lnk", folder, title);
    char target[SHELL_PATH_SIZE];
    Format(target, sizeof target, "%s\\%s", destDir, program);

    // A shortcut of this name that was there before belongs to an earlier installation in
    // another folder: the uninstaller must not take it away (over the earlier installation
    // itself, whose record this install's replaces, it is ours).
    int theirs = PathExists(folderBuffer) &&
                 !SameFolder(InstallSettings.PreviousDir, InstallSettings.DestDir);
    HRESULT result = CreateShellLink(target, folderBuffer, title);
    if (result != S_OK) {
        LogPrintf("Couldn't create shortcut %s (0x%lx)", folderBuffer, (unsigned long)result);
        return FALSE;
    }
    LogPrintf("Created shortcut %s to %s", folderBuffer, target);
    if (theirs) LogPrintf("Shortcut %s was there before (or noted with its group)", folderBuffer);
    else RecordShortcut(folderBuffer);
    return TRUE;
}

// One shortcut to the client in folder, asked again with the message while it fails and
// the user says Retry. Each try starts from the folder: the buffer CreateClientShortcut
// fills holds the link file's path afterwards, not the folder.
static BOOL ShortcutWithRetry(const char* folder, int kind, unsigned retryMessage) {
    for (;;) {
        char link[SHELL_PATH_SIZE];
        CopyText(link, folder, sizeof link);
        if (CreateClientShortcut(InstallSettings.DestDir, link, ClientProgram, kind)) return TRUE;
        if (!AskRetryCancel(Message(retryMessage))) {
            LogPrintf("Shortcut given up");
            return FALSE;
        }
    }
}

int CreateProgramsShortcut(void) {
    char folder[SHELL_PATH_SIZE];
    if (!GetShellFolder(folder, SHELL_PROGRAMS)) {
        LogPrintf("No Programs folder; no shortcut");
        return 0;
    }
    AppendText(folder, "\\", sizeof folder);
    AppendText(folder, InstallSettings.GroupName, sizeof folder);
    ShortcutWithRetry(folder, SHORTCUT_PLAIN, IDS_DESKTOP_LINK_RETRY);
    return 1;
}

void MakeDialogShortcuts(int startMenu) {
    char folder[SHELL_PATH_SIZE];
    if (!GetShellFolder(folder, SHELL_DESKTOP)) {
        LogPrintf("No Desktop folder; no shortcuts");
        return;
    }
    ShortcutWithRetry(folder, SHORTCUT_PLAIN, IDS_STARTMENU_LINK_RETRY);
    if (!startMenu) return;
    if (!GetShellFolder(folder, SHELL_START_MENU)) {
        LogPrintf("No Start Menu folder; no Start menu shortcut");
        return;
    }
    ShortcutWithRetry(folder, SHORTCUT_CUT_TITLE, IDS_STARTMENU_LINK_RETRY);
}

INT_PTR CALLBACK ShortcutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CheckDlgButton(dialog, IDC_STARTMENU, BST_CHECKED);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == ID_SHORTCUT_OK) {
        MakeDialogShortcuts(IsDlgButtonChecked(dialog, IDC_STARTMENU) == BST_CHECKED);
        EndDialog(dialog, ID_SHORTCUT_OK);
        return TRUE;
    }
    return FALSE;
}

int RunShortcutDialog(void) {
    return (int)DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SHORTCUT), FrameWindow,
                                ShortcutDlgProc, 0);
}
