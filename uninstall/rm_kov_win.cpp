// RM_KOV.EXE, the uninstaller the control panel starts from the client's folder. It reads the
// install record the setup left there, asks the user, and takes back what the install did.
//
// A running program cannot delete its own file, and the destination folder cannot go while
// the program lies in it. So the first run copies itself into the temporary folder, starts
// the copy with "-W handle removeData folder" and ends; the copy waits for it, does the
// work from outside the folder and leaves only itself behind, deleted at the next start of
// Windows (wininit.ini on Windows 95, the delayed move on Windows NT).
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "record/installrec.h"
#include "base/log.h"
#include "base/path.h"
#include "registry/registry.h"
#include "sys/sys.h"
#include "uninstall/resource.h"
#include "uninstall/undo.h"

namespace {

const char LOG_NAME[] = "RM_KOV.LOG";
const char TEMP_COPY[] = "RMKOVTMP.EXE";
const char UNINSTALL_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelin Online";
const char SHELL_FOLDERS[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The only place of WIN.INI that the record may have us change (the registry's are
// InClientRegistryArea's): the setup writes nowhere else, and a record is a file anyone
// could have edited.
const char PROFILE_FILE[] = "WIN.INI";
const char PROFILE_SECTION[] = "WKOV";

char WindowsFolder[MAX_PATH_TEXT];
char LogPath[MAX_PATH_TEXT];
int LogStarted;
int LeftForRestart;

void WriteLog(void) {
    if (!LogTraceText() || !LogPath[0]) return;
    SysFile f = LogStarted ? SysOpen(LogPath, SYS_WRITE) : 0;
    if (!f) f = SysCreate(LogPath);
    if (!f) return;
    SysSeek(f, 0, SYS_SEEK_END);
    SysWrite(f, LogTraceText(), LogTraceUsed());
    SysClose(f);
    LogStarted = 1;
    LogReset();
}

const char* Text(unsigned id) {
    static char text[4][512];
    static int next;
    char* out = text[next++ % 4];
    if (!SysLoadString(id, out, sizeof text[0])) out[0] = 0;
    return out;
}

int Ask(unsigned id, UINT flags, const char* arg) {
    char message[800];
    Format(message, sizeof message, Text(id), arg ? arg : "");
    return MessageBoxA(nullptr, message, Text(IDS_RM_CAPTION), flags | MB_SETFOREGROUND);
}

INT_PTR CALLBACK ConfirmDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SetForegroundWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) {
            int* removeData = (int*)GetWindowLongPtrA(dialog, DWLP_USER);
            *removeData = IsDlgButtonChecked(dialog, IDC_RM_REMOVE_DATA) == BST_CHECKED;
            EndDialog(dialog, LOWORD(wParam) == IDYES ? IDYES : IDNO);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// The uninstall entry's own lines: the way back for another try while anything is left.
int IsUninstallEntryLine(const InstallItem* item) {
    return (item->kind == ITEM_KEY || item->kind == ITEM_VALUE) &&
           PathUnder(item->field[1], UNINSTALL_KEY);
}

int InRegistryArea(const char* key) { return InClientRegistryArea(key); }

// Program Manager's own command to drop a group, over DDE.
int DeleteProgramGroup(const char* name) {
    // The name goes inside a command: characters of the command syntax would change it.
    for (const char* p = name; *p; ++p)
        if (strchr("[]()\",", *p) || (unsigned char)*p < 0x20) return 0;
    DWORD instance = 0;
    if (DdeInitializeA(&instance, nullptr, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return 0;
    HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    HCONV conversation = DdeConnect(instance, service, service, nullptr);
    int ok = 0;
    if (conversation) {
        char command[300];
        Format(command, sizeof command, "[DeleteGroup(%s)]", name);
        DWORD result = 0;
        ok = DdeClientTransaction((BYTE*)command, (DWORD)strlen(command) + 1, conversation, 0, 0,
                                  XTYP_EXECUTE, 10000, &result) != 0;
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(instance, service);
    DdeUninitialize(instance);
    return ok;
}

void UndoSystemItem(UndoContext* ctx, const InstallItem* item) {
    switch (item->kind) {
    case ITEM_KEY:
    case ITEM_VALUE: {
        HKEY root = RegistryRootByName(item->field[0]);
        const char* key = item->field[1];
        if (!root || !InRegistryArea(key)) {
            LogPrintf("Refused registry %s %s: not the client's", item->field[0], key);
            ++ctx->failed;
            return;
        }
        LONG status;
        if (item->kind == ITEM_KEY) {
            status = RegistryDeleteEmptyKey(root, key);
            LogPrintf("Registry key %s\\%s removed, status %ld", item->field[0], key, status);
            if (status == ERROR_DIR_NOT_EMPTY) ++ctx->kept;
            else ++(status == ERROR_SUCCESS ? ctx->removed : ctx->failed);
            return;
        }
        const char* name = item->field[2][0] ? item->field[2] : nullptr;
        const char* state = item->field[3];
        if (state[0] == PREVIOUS_ABSENT[0]) {
            status = RegistryDeleteValue(root, key, name);
        } else if (state[0] == PREVIOUS_STRING[0]) {
            status = RegistrySetString(root, key, name, state + 1);
        } else if (state[0] == PREVIOUS_NUMBER[0]) {
            DWORD number = 0;
            for (const char* p = state + 1; *p >= '0' && *p <= '9'; ++p)
                number = number * 10 + (DWORD)(*p - '0');
            status = RegistrySetDword(root, key, name, number);
        } else if (state[0] == PREVIOUS_UNKNOWN[0]) {
            LogPrintf("Registry value %s of %s\\%s left as it is: its earlier state was not kept",
                      name ? name : "(default)", item->field[0], key);
            ++ctx->kept;
            return;
        } else {
            LogPrintf("Unknown earlier state of %s, left alone", item->field[2]);
            ++ctx->failed;
            return;
        }
        LogPrintf("Registry value %s of %s\\%s put back (%s), status %ld",
                  name ? name : "(default)", item->field[0], key,
                  state[0] == PREVIOUS_ABSENT[0] ? "removed" : "earlier value", status);
        ++(status == ERROR_SUCCESS ? ctx->removed : ctx->failed);
        return;
    }
    case ITEM_PROFILE: {
        if (!SameName(item->field[0], PROFILE_FILE) || !SameName(item->field[1], PROFILE_SECTION)) {
            LogPrintf("Refused profile %s [%s]: not the client's", item->field[0], item->field[1]);
            ++ctx->failed;
            return;
        }
        const char* state = item->field[3];
        const char* earlier = state[0] == PREVIOUS_TEXT[0] ? state + 1 : nullptr;
        WriteProfileStringA(item->field[1], item->field[2], earlier);
        // A section the install made and that nothing else uses goes too.
        char rest[64];
        if (!GetProfileSectionA(item->field[1], rest, sizeof rest))
            WriteProfileStringA(item->field[1], nullptr, nullptr);
        LogPrintf("Profile value %s of [%s] put back (%s)", item->field[2], item->field[1],
                  earlier ? "earlier value" : "removed");
        ++ctx->removed;
        return;
    }
    case ITEM_GROUP:
        if (DeleteProgramGroup(item->field[0])) {
            LogPrintf("Program group %s removed", item->field[0]);
            ++ctx->removed;
        } else {
            LogPrintf("Program group %s not removed (no Program Manager answer)", item->field[0]);
        }
        return;
    default: LogPrintf("Line of kind %d ignored", item->kind);
    }
}

// Deletes path at the next start of Windows.
void DeleteAtRestart(const char* path) {
    char shortPath[MAX_PATH_TEXT];
    DWORD n = GetShortPathNameA(path, shortPath, sizeof shortPath);
    if (n == 0 || n >= sizeof shortPath) CopyText(shortPath, path, sizeof shortPath);
    int ok;
    const char* how;
    if (GetVersion() & 0x80000000) {
        // Windows 95 has no delayed move; its start-up pass reads wininit.ini instead.
        char wininit[MAX_PATH_TEXT];
        JoinPath(wininit, WindowsFolder, "WININIT.INI", nullptr);
        ok = AddWininitDelete(wininit, shortPath);
        how = "wininit.ini";
    } else {
        ok = MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        how = "delayed move";
    }
    LogPrintf("%s deleted at the next start of Windows (%s): %s", path, how, ok ? "yes" : "failed");
    LeftForRestart = 1;
}

// The work itself, once the user has agreed.
int Uninstall(const char* dest, int removeData, const char* self, int selfIsCopy) {
    char recordPath[MAX_PATH_TEXT];
    JoinPath(recordPath, dest, INSTALL_RECORD_NAME, nullptr);
    InstallRecord record;
    if (!ReadInstallRecord(recordPath, &record)) {
        LogPrintf("No install record in %s any more", dest);
        Ask(IDS_RM_NO_RECORD, MB_OK | MB_ICONINFORMATION, dest);
        return 0;
    }
    LogPrintf("Uninstalling %s: %d lines, %s, user data %s", dest, record.count,
              record.complete ? "complete" : "damaged", removeData ? "removed" : "kept");
    char shell[3][MAX_PATH_TEXT] = {"", "", ""};
    const char* names[3] = {"Desktop", "Start Menu", "Programs"};
    for (int i = 0; i < 3; ++i)
        if (RegistryGetString(HKEY_CURRENT_USER, SHELL_FOLDERS, names[i], shell[i], sizeof shell[i],
                              0) != ERROR_SUCCESS)
            shell[i][0] = 0;
    // What the record may name outside the destination comes from elsewhere: the help
    // contents file from the Windows folder, the group from the uninstall entry.
    char helpFile[MAX_PATH_TEXT], group[128] = "", uninstaller[MAX_PATH_TEXT];
    JoinPath(helpFile, WindowsFolder, "Help", "Windows.cnt", nullptr);
    if (RegistryGetString(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, UNINSTALL_GROUP_VALUE, group,
                          sizeof group, 0) != ERROR_SUCCESS)
        group[0] = 0;
    JoinPath(uninstaller, dest, UNINSTALLER_NAME, nullptr);
    UndoContext ctx = {};
    ctx.record = &record;
    ctx.roots[ctx.rootCount++] = dest;
    ctx.roots[ctx.rootCount++] = WindowsFolder;
    for (int i = 0; i < 3; ++i) ctx.roots[ctx.rootCount++] = shell[i];
    ctx.removeUserData = removeData;
    ctx.helpFile = helpFile;
    ctx.groupName = group;
    ctx.uninstaller = uninstaller;
    ctx.wayBack = IsUninstallEntryLine;
    int complete = UndoRecord(&ctx, recordPath, UndoSystemItem);
    FreeInstallRecord(&record);

    if (!selfIsCopy && complete && PathExists(self)) {
        // Run in place: this file could not go while it runs, and stays until Windows
        // starts again.
        DeleteAtRestart(self);
        if (ctx.failed > 0) --ctx.failed;
    }
    LogPrintf("Done: %d removed, %d already gone, %d kept, %d failed, %d of them refused",
              ctx.removed, ctx.gone, ctx.kept, ctx.failed, ctx.refused);
    if (ctx.failed > 0) Ask(IDS_RM_SOME_LEFT, MB_OK | MB_ICONEXCLAMATION, LogPath);
    else if (!removeData && PathExists(dest))
        Ask(IDS_RM_DONE_KEPT, MB_OK | MB_ICONINFORMATION, dest);
    else Ask(IDS_RM_DONE, MB_OK | MB_ICONINFORMATION, nullptr);
    if (!selfIsCopy && LeftForRestart) Ask(IDS_RM_RESTART, MB_OK | MB_ICONINFORMATION, nullptr);
    return 1;
}

// Starts the copy in the temporary folder: 1 when it runs and this process may end.
int HandOver(const char* self, const char* dest, int removeData) {
    char temp[MAX_PATH_TEXT], copy[MAX_PATH_TEXT];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) return 0;
    // One fixed name: a copy left from an earlier run waits for its restart, and is simply
    // replaced; one that still runs makes this run work in place.
    Format(copy, sizeof copy, "%s%s", temp, TEMP_COPY);
    if (!CopyFileA(self, copy, FALSE)) {
        LogPrintf("Couldn't copy %s to %s", self, copy);
        return 0;
    }
    HANDLE me = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me, SYNCHRONIZE,
                    TRUE, 0);
    char command[700];
    // A 32-bit handle on the command line: handle values stay below 2^32 on every Windows.
    Format(command, sizeof command, "\"%s\" -W %lu %d %s", copy, (unsigned long)(ULONG_PTR)me,
           removeData, dest);
    HANDLE process = SysStartProgram(copy, command, SYS_SHOW_AS_ASKED, 0, 1, temp);
    if (!process) {
        LogPrintf("Couldn't start %s, error %lu", copy, GetLastError());
        if (me) CloseHandle(me);
        DeleteFileA(copy);
        return 0;
    }
    LogPrintf("Continuing from %s", copy);
    CloseHandle(process);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    UINT n = GetWindowsDirectoryA(WindowsFolder, sizeof WindowsFolder);
    if (n == 0 || n >= sizeof WindowsFolder) WindowsFolder[0] = 0;
    StripTrailingBackslash(WindowsFolder);
    JoinPath(LogPath, WindowsFolder, LOG_NAME, nullptr);
    char self[MAX_PATH_TEXT];
    n = GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return 1;

    // The copy: "-W handle removeData folder".
    const char* p = commandLine;
    while (*p == ' ') ++p;
    if ((p[0] == '-' || p[0] == '/') && (p[1] == 'W' || p[1] == 'w') && p[2] == ' ') {
        char* end;
        unsigned long handle = strtoul(p + 3, &end, 10);
        int removeData = (int)strtol(end, &end, 10);
        while (*end == ' ') ++end;
        char dest[MAX_PATH_TEXT];
        CopyText(dest, end, sizeof dest);
        LogStarted = 1;
        if (handle) {
            DWORD waited = WaitForSingleObject((HANDLE)(ULONG_PTR)handle, 30000);
            LogPrintf("Started from %s for %s, first run %s", self, dest,
                      waited == WAIT_OBJECT_0 ? "ended" : "still running");
            CloseHandle((HANDLE)(ULONG_PTR)handle);
        }
        Uninstall(dest, removeData, self, 1);
        DeleteAtRestart(self);
        WriteLog();
        return 0;
    }

    char dest[MAX_PATH_TEXT];
    GetDirPart(dest, self);
    StripTrailingBackslash(dest);
    LogPrintf("RM_KOV started from %s", self);
    char recordPath[MAX_PATH_TEXT];
    JoinPath(recordPath, dest, INSTALL_RECORD_NAME, nullptr);
    InstallRecord record;
    if (!ReadInstallRecord(recordPath, &record)) {
        LogPrintf("No install record %s: nothing to uninstall", recordPath);
        Ask(IDS_RM_NO_RECORD, MB_OK | MB_ICONINFORMATION, dest);
        WriteLog();
        return 0;
    }
    int complete = record.complete;
    LogPrintf("Install record: %d lines, %d unreadable, %s", record.count, record.skipped,
              complete ? "complete" : "incomplete");
    FreeInstallRecord(&record);
    if (!complete &&
        Ask(IDS_RM_DAMAGED, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, nullptr) != IDYES) {
        LogPrintf("User declined the uninstall of a damaged record");
        WriteLog();
        return 0;
    }
    int removeData = 0;
    INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_RM_CONFIRM), nullptr,
                                     ConfirmDlgProc, (LPARAM)&removeData);
    if (answer != IDYES) {
        LogPrintf("User declined the uninstall");
        WriteLog();
        return 0;
    }
    LogPrintf("User confirmed, user data %s", removeData ? "to be removed" : "kept");
    if (HandOver(self, dest, removeData)) {
        WriteLog();
        return 0;
    }
    Uninstall(dest, removeData, self, 0);
    WriteLog();
    return 0;
}
