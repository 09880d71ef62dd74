// The Program Manager group, made by talking raw DDE to the "PROGMAN" service through a
// hidden "DDEClient" window: the window starts the conversation when it is created, sends
// execute commands one at a time and waits for each acknowledgement, and ends the
// conversation when it is destroyed.
#include "desktop/desktop.h"
#include "desktop/internal.h"

#include <dde.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "record/installrec.h"

const char DdeClientClassName[] = "DDEClient";
uint32_t DdeAckTimeout = DDE_ACK_TIMEOUT_DEFAULT;

enum {
    SERVER_SLOT = 0,           // the extra window bytes: the conversation's server window
    BROADCAST_TIMEOUT = 5000,  // per window, for the initiate broadcast
    WAIT_SLICE = 100,          // the acknowledgement wait looks at the clock this often
    COMMAND_SIZE = 1024,       // one execute command with its terminator
    GROUP_DONE_PAUSE = 500     // lets the shell finish drawing the group
};

static const char ProgmanService[] = "PROGMAN";
static const char ProgmanClass[] = "PROGMAN";

// The client window whose initiate broadcast is under way: acknowledgements it receives
// meanwhile are the servers' answers to the initiate, not to a command.
static HWND InitiatingWindow;

void ResetDesktopState(void) {
    DdeAckTimeout = DDE_ACK_TIMEOUT_DEFAULT;
    InitiatingWindow = NULL;
}

static HWND ServerOf(HWND client) { return (HWND)GetWindowLongPtrA(client, SERVER_SLOT); }

static void SetServer(HWND client, HWND server) {
    SetWindowLongPtrA(client, SERVER_SLOT, (LONG_PTR)server);
}

// Posts a terminate to the server and forgets it; its own terminate in reply comes from
// a window that is no longer ours and is ignored.
static void EndConversation(HWND client) {
    HWND server = ServerOf(client);
    if (!server) return;
    PostMessageA(server, WM_DDE_TERMINATE, (WPARAM)client, 0);
    SetServer(client, NULL);
}

ATOM RegisterDdeClientClass(void) {
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = DdeClientWndProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = DdeClientClassName;
    return RegisterClassA(&wc);
}

BOOL UnregisterDdeClientClass(void) {
    return UnregisterClassA(DdeClientClassName, GetModuleHandleA(NULL));
}

// Waits for the server's acknowledgement of the command just posted, taking only
// acknowledgements for this window from the queue; other posted messages wait their turn.
// Messages sent by other threads are still delivered, so nobody deadlocks on us.
static int WaitForAck(HWND client, HWND server, WORD* status) {
    DWORD start = GetTickCount();
    MSG message;
    for (;;) {
        while (PeekMessageA(&message, client, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
            UINT_PTR low = 0, high = 0;
            UnpackDDElParam(WM_DDE_ACK, message.lParam, &low, &high);
            FreeDDElParam(WM_DDE_ACK, message.lParam);
            if ((HWND)message.wParam != server) continue;  // not our server's: not our answer
            *status = (WORD)low;
            return 1;
        }
        DWORD waited = GetTickCount() - start;
        if (waited >= DdeAckTimeout) {
            LogPrintf("DDE server sent no acknowledgement within %lu ms", (unsigned long)waited);
            return 0;
        }
        if (!IsWindow(server)) {
            // It may have answered just before going away.
            if (PeekMessageA(&message, client, WM_DDE_ACK, WM_DDE_ACK, PM_NOREMOVE)) continue;
            LogPrintf("DDE server went away before acknowledging");
            return 0;
        }
        DWORD slice = DdeAckTimeout - waited;
        if (slice > WAIT_SLICE) slice = WAIT_SLICE;
        MsgWaitForMultipleObjects(0, NULL, FALSE, slice, QS_POSTMESSAGE | QS_SENDMESSAGE);
    }
}

static LRESULT Execute(HWND client, HGLOBAL command) {
    HWND server = ServerOf(client);
    if (!server) return 0;
    if (!PostMessageA(server, WM_DDE_EXECUTE, (WPARAM)client, (LPARAM)command)) {
        LogPrintf("Couldn't post DDE execute");
        EndConversation(client);
        return 0;
    }
    WORD status = 0;
    if (!WaitForAck(client, server, &status)) {
        EndConversation(client);
        return 0;
    }
    return (status & DDE_ACK_POSITIVE) ? 1 : 0;
}

LRESULT CALLBACK DdeClientWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        CREATESTRUCTA* create = (CREATESTRUCTA*)lParam;
        SetServer(window, NULL);
        InitiatingWindow = window;
        // Sent, so that the servers answer during the broadcast; a hung window is skipped
        // rather than waited for.
        DWORD_PTR ignored;
        SendMessageTimeoutA(HWND_BROADCAST, WM_DDE_INITIATE, (WPARAM)window,
                            (LPARAM)create->lpCreateParams, SMTO_ABORTIFHUNG, BROADCAST_TIMEOUT,
                            &ignored);
        InitiatingWindow = NULL;
        return ServerOf(window) ? 0 : -1;
    }

    case WM_DDE_ACK: {
        HWND sender = (HWND)wParam;
        if (InitiatingWindow == window) {
            // The server made these atoms for its answer; they are ours to delete.
            if (LOWORD(lParam)) GlobalDeleteAtom(LOWORD(lParam));
            if (HIWORD(lParam)) GlobalDeleteAtom(HIWORD(lParam));
            if (!ServerOf(window)) {
                SetServer(window, sender);
            } else if (sender != ServerOf(window)) {
                // Only the first server that answers keeps a conversation.
                LogPrintf("Second DDE server answered; terminating it");
                PostMessageA(sender, WM_DDE_TERMINATE, (WPARAM)window, 0);
            }
        } else {
            // An answer that came after its command gave up waiting.
            FreeDDElParam(WM_DDE_ACK, lParam);
        }
        return 0;
    }

    case DDE_EXECUTE_REQUEST: return Execute(window, (HGLOBAL)lParam);

    case WM_DDE_DATA: {
        HWND sender = (HWND)wParam;
        if (sender == ServerOf(window)) return 0;
        // Nobody else has any business sending us data: free what came with it.
        UINT_PTR data = 0, item = 0;
        UnpackDDElParam(WM_DDE_DATA, lParam, &data, &item);
        FreeDDElParam(WM_DDE_DATA, lParam);
        if (data) GlobalFree((HGLOBAL)data);
        if (item) GlobalDeleteAtom((ATOM)item);
        return 0;
    }

    case WM_DDE_TERMINATE:
        // Only our server's terminate ends the conversation; any other is the reply of a
        // server we turned away.
        if ((HWND)wParam == ServerOf(window)) EndConversation(window);
        return DefWindowProcA(window, message, wParam, lParam);

    case WM_DESTROY: EndConversation(window); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL SendDdeCommand(HWND clientWindow, const char* command) {
    int length = lstrlenA(command);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, (SIZE_T)length + 1);
    if (!block) {
        LogPrintf("Couldn't allocate DDE command");
        return FALSE;
    }
    char* text = (char*)GlobalLock(block);
    if (!text) {
        GlobalFree(block);
        return FALSE;
    }
    CopyMemory(text, command, (SIZE_T)length + 1);
    GlobalUnlock(block);
    LRESULT answer = SendMessageA(clientWindow, DDE_EXECUTE_REQUEST, 0, (LPARAM)block);
    GlobalFree(block);
    return answer != 0;
}

// Formats and sends one command; a command that would not fit is not sent at all, since a
// cut one could name another group or program.
static BOOL SendFormatted(HWND client, const char* format, const char* first, const char* second) {
    char command[COMMAND_SIZE];
    if (lstrlenA(format) + lstrlenA(first) + (second ? lstrlenA(second) : 0) >= COMMAND_SIZE) {
        LogPrintf("DDE command too long");
        return FALSE;
    }
    Format(command, sizeof command, format, first, second);
    return SendDdeCommand(client, command);
}

HWND CreateDdeClientWindow(const char* service) {
    ATOM application = GlobalAddAtomA(service);
    ATOM topic = GlobalAddAtomA(service);
    HWND client =
        CreateWindowExA(0, DdeClientClassName, "", 0, 0, 0, 0, 0, NULL, NULL,
                        GetModuleHandleA(NULL), (LPVOID)(LONG_PTR)MAKELONG(application, topic));
    if (application) GlobalDeleteAtom(application);
    if (topic) GlobalDeleteAtom(topic);
    return client;
}

BOOL CreateProgramGroupWith(const char* service, const char* groupName, const char* itemTitle,
                            const char* commandLine) {
    BOOL result = TRUE;
    HWND client = CreateDdeClientWindow(service);
    if (!client) {
        LogPrintf("Couldn't create DDE client window");
        return FALSE;
    }

    HWND progman = FindWindowA(ProgmanClass, NULL);
    if (!progman) {
        LogPrintf("Couldn't find PM window");
        DestroyWindow(client);
        return FALSE;
    }
    if (IsIconic(progman)) ShowWindow(progman, SW_RESTORE);
    // The user must not change the group while it is being built.
    EnableWindow(progman, FALSE);

    // A group that was there before is another installation's (an earlier version kept in
    // its own folder): the uninstaller may take back only the item added to it. Over the
    // earlier installation itself, whose record this install's replaces, the group is ours.
    // The item's shortcut is noted whenever the server made it, so that it goes even when no
    // Program Manager answers the uninstaller.
    char folder[SHELL_PATH_SIZE] = "", link[SHELL_PATH_SIZE] = "";
    int known = GetShellFolder(folder, SHELL_PROGRAMS) && AppendText(folder, "\\", sizeof folder) &&
                AppendText(folder, groupName, sizeof folder) &&
                Format(link, sizeof link, "%s\\%s.lnk", folder, itemTitle) > 0;
    int theirs = known && PathExists(folder) &&
                 !SameFolder(InstallSettings.PreviousDir, InstallSettings.DestDir);
    int linkExisted = known && PathExists(link);
    if (!SendFormatted(client, "[CreateGroup(%s)]", groupName, NULL)) {
        LogPrintf("CreateGroup failed");
        result = FALSE;
    } else if (theirs) {
        LogPrintf("Group %s was there before: only the item added is noted", groupName);
    } else RecordGroup(groupName);
    if (!SendFormatted(client, "[AddItem(%s,%s)]", commandLine, itemTitle)) {
        LogPrintf("AddItem failed");
        result = FALSE;
    } else if (!linkExisted && PathExists(link)) {
        RecordShortcut(link);
    }
    if (!SendFormatted(client, "[ShowGroup(%s,7)]", groupName, NULL)) {
        LogPrintf("ShowGroup failed");
        result = FALSE;
    }

    DestroyWindow(client);
    EnableWindow(progman, TRUE);
    Sleep(GROUP_DONE_PAUSE);
    return result;
}

BOOL CreateProgramGroup(const char* groupName, const char* itemTitle, const char* commandLine) {
    return CreateProgramGroupWith(ProgmanService, groupName, itemTitle, commandLine);
}
