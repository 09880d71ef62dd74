// Dialog manager and the dialog procedures of the wizard.
#include "ui/dialogs.h"
#include "ui/frame.h"
#include "ui/print.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/text.h"

ModelessSlotT ModelessSlots[MODELESS_SLOTS];
char DialogExtraText[512];
char EditText[256];

enum {
    MSG_TOO_MANY_DIALOGS = 34300,
    MSG_NO_DIALOG_PROC = 34301,
    MSG_CREATE_FAILED = 34302,
    MSG_NOT_OPEN = 34303,
    MSG_FREE_MEGABYTES = 34307,
    MSG_INSERT_DISK = 34308,
    ID_EXTRA_TEXT = 503,
    ID_DISK_PROMPT = 513,
    ID_EDIT = 501,
    ID_FREE_SPACE = 508,
    ID_CACHE_5 = 600,
    ID_CACHE_10 = 601,
    ID_CACHE_20 = 602,
    ID_ADDON_LIST = 521,
    ID_ADDON_ALL = 522,
    ID_ADDON_INSTALL = 401,
    ID_PRINT_NOW = 415,
    ID_EDIT_ACCEPT = 408,
    ID_QUIT = 403,
    TEMPLATE_QUIT = 205,
    TEMPLATE_WELCOME_CACHE = 223,
    TEMPLATE_WIN31_OFFER = 226,
    TEMPLATE_QUICK_REF = 229,
    TEMPLATE_ADD_ONS = 235
};

static HINSTANCE ResourceInstance(void) { return GetModuleHandleA(NULL); }

static DLGPROC WelcomeProc, CenteredProc, QuickRefProc, DefaultProc, EditProc, AddOnProc;

void InstallDialogProcs(void) {
    WelcomeProc = WelcomeDlgProc;
    CenteredProc = CenteredDlgProc;
    QuickRefProc = QuickRefDlgProc;
    DefaultProc = DefaultDlgProc;
    EditProc = EditDlgProc;
    AddOnProc = AddOnDlgProc;
}

DLGPROC ModalDialogProc(int templateId) {
    if (!DefaultProc) InstallDialogProcs();
    switch (templateId) {
    case TEMPLATE_WELCOME_CACHE: return WelcomeProc;
    case TEMPLATE_WIN31_OFFER: return CenteredProc;
    case TEMPLATE_QUICK_REF: return QuickRefProc;
    // Our add-on template is run like the others; without its own procedure the list
    // would stay empty and the user's choice would never be recorded.
    case TEMPLATE_ADD_ONS: return AddOnProc;
    }
    return DefaultProc;
}

HWND OpenModeless(int templateId, DLGPROC dialogProc) {
    int i = 0;
    while (i < MODELESS_SLOTS && ModelessSlots[i].templateId != 0) i++;
    if (i == MODELESS_SLOTS) {
        ShowError(LoadMessage(1, MSG_TOO_MANY_DIALOGS));
        return NULL;
    }
    ModelessSlots[i].proc = dialogProc;
    if (!dialogProc) {
        ShowError(LoadMessage(1, MSG_NO_DIALOG_PROC), templateId);
        return NULL;
    }
    HWND window = CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                     dialogProc, 0);
    if (!window) {
        ShowError(LoadMessage(1, MSG_CREATE_FAILED), templateId);
        return NULL;
    }
    ModelessSlots[i].templateId = templateId;
    ModelessSlots[i].window = window;
    return window;
}

BOOL CloseModeless(int templateId) {
    for (int i = 0; i < MODELESS_SLOTS; i++) {
        if (ModelessSlots[i].templateId == templateId) {
            ModelessSlots[i].templateId = 0;
            if (ModelessSlots[i].window) DestroyWindow(ModelessSlots[i].window);
            ModelessSlots[i].window = NULL;
            return TRUE;
        }
    }
    ShowError(LoadMessage(1, MSG_NOT_OPEN));
    return FALSE;
}

BOOL IsModelessMessage(MSG* message) {
    for (int i = 0; i < MODELESS_SLOTS; i++)
        if (ModelessSlots[i].templateId && ModelessSlots[i].window &&
            IsDialogMessageA(ModelessSlots[i].window, message))
            return TRUE;
    return FALSE;
}

void ForgetDestroyedModeless(void) {
    for (int i = 0; i < MODELESS_SLOTS; i++) {
        if (ModelessSlots[i].window && !IsWindow(ModelessSlots[i].window)) {
            LogPrintf("Dialog %d destroyed with its owner", ModelessSlots[i].templateId);
            ModelessSlots[i].window = NULL;
        }
    }
}

BOOL PumpMessages(void) {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return FALSE;
        if (IsModelessMessage(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return TRUE;
}

static void SetExtraText(const char* extraText) {
    lstrcpynA(DialogExtraText, extraText ? extraText : "", sizeof DialogExtraText);
}

int RunModalDialog(int templateId, const char* extraText) {
    SetExtraText(extraText);
    return (int)DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                ModalDialogProc(templateId), 0);
}

int RunEditDialog(int templateId, char* text, const char* extraText) {
    SetExtraText(extraText);
    lstrcpynA(EditText, text, sizeof EditText);
    if (!EditProc) InstallDialogProcs();
    int result = (int)DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                      EditProc, 0);
    if (result == ID_EDIT_ACCEPT) lstrcpynA(text, EditText, EDIT_TEXT_MAX + 1);
    return result;
}

BOOL ConfirmQuit(HWND window) {
    if (window) ShowWindow(window, SW_HIDE);
    if (RunModalDialog(TEMPLATE_QUIT, NULL) == ID_QUIT) {
        LogPrintf("User exit");
        QuitRequested = 1;
        return TRUE;
    }
    if (window) ShowWindow(window, SW_SHOW);
    return FALSE;
}

static int IsEndId(WPARAM wParam) {
    int id = LOWORD(wParam);
    return id >= FIRST_END_ID && id <= LAST_END_ID;
}

static int IsClose(UINT message, WPARAM wParam) {
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
}

static void ShowExtraText(HWND dialog) {
    if (DialogExtraText[0]) SetDlgItemTextA(dialog, ID_EXTRA_TEXT, DialogExtraText);
}

// The procedures below share one shape: initialisation fills texts, an end id or the
// system Close ends the dialog, everything else is left to the dialog manager.
static INT_PTR EndOnButtons(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_COMMAND && IsEndId(wParam)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    if (IsClose(message, wParam)) {
        EndDialog(dialog, ID_CLOSED);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK DefaultDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog);
        if (InstallSettings.NextDiskLabel[0]) {
            char text[512];
            char format[512];
            lstrcpynA(format, LoadMessage(1, MSG_INSERT_DISK), sizeof format);
            Format(text, sizeof text, format, InstallSettings.NextDiskLabel);
            SetDlgItemTextA(dialog, ID_DISK_PROMPT, text);
        }
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK CenteredDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog);
        CenterDialog(FrameWindow, dialog);
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK QuickRefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == ID_PRINT_NOW) {
        PrintQuickRef(dialog);
        EndDialog(dialog, ID_PRINT_NOW);
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK EditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(dialog, ID_EDIT, EditText);
        ShowExtraText(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && IsEndId(wParam)) {
        GetDlgItemTextA(dialog, ID_EDIT, EditText, sizeof EditText);
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

// With room for 10 MB of cache but not 20, the 20 MB button goes and the other two are
// spread over the row it leaves.
static void SpreadCacheButtons(HWND dialog) {
    HWND five = GetDlgItem(dialog, ID_CACHE_5), ten = GetDlgItem(dialog, ID_CACHE_10);
    RECT r5, r10;
    GetWindowRect(five, &r5);
    GetWindowRect(ten, &r10);
    MapWindowPoints(NULL, dialog, (POINT*)&r5, 2);
    MapWindowPoints(NULL, dialog, (POINT*)&r10, 2);
    int left = r5.left, width5 = r5.right - r5.left, width10 = r10.right - r10.left;
    int gap = ((r10.right - left) - 2 * width5) / 3 * 2;
    MoveWindow(five, left + 5 * gap, r5.top, width5, r5.bottom - r5.top, TRUE);
    MoveWindow(ten, left + width10 + 6 * gap, r10.top, width10, r10.bottom - r10.top, TRUE);
}

INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog);
        EnableWindow(GetDlgItem(dialog, ID_CACHE_10), TRUE);
        EnableWindow(GetDlgItem(dialog, ID_CACHE_20), TRUE);
        if (FreeMegabytes > 0) {
            char text[128];
            char format[512];
            lstrcpynA(format, LoadMessage(1, MSG_FREE_MEGABYTES), sizeof format);
            Format(text, sizeof text, format, (int)FreeMegabytes);
            SetDlgItemTextA(dialog, ID_FREE_SPACE, text);
        }
        if (FreeMegabytes >= RequiredMegabytes + 20) {
            CheckDlgButton(dialog, ID_CACHE_20, BST_CHECKED);
            CacheChoice = 2;
        } else if (FreeMegabytes >= RequiredMegabytes + 10) {
            ShowWindow(GetDlgItem(dialog, ID_CACHE_20), SW_HIDE);
            SpreadCacheButtons(dialog);
            CheckDlgButton(dialog, ID_CACHE_10, BST_CHECKED);
            CacheChoice = 1;
        }
        return TRUE;
    }
    if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        if (id >= ID_CACHE_5 && id <= ID_CACHE_20) {
            CacheChoice = (uint16_t)(id - ID_CACHE_5);
            return TRUE;
        }
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK AddOnDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND list = GetDlgItem(dialog, ID_ADDON_LIST);
    if (message == WM_INITDIALOG) {
        CenterDialog(FrameWindow, dialog);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        const TextListT& addOns = InstallSettings.AddOnPrograms;
        int count = addOns.count < (int)MAX_ADDON_PROGRAMS ? addOns.count : (int)MAX_ADDON_PROGRAMS;
        for (int i = 0; i < count && addOns.c; i++) {
            LRESULT item =
                SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)(addOns.c[i] ? addOns.c[i] : ""));
            if (item < 0) continue;
            SendMessageA(list, LB_SETITEMDATA, (WPARAM)item, i);
            SendMessageA(list, LB_SETSEL, TRUE, item);
        }
        return TRUE;
    }
    if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        if (id == ID_ADDON_INSTALL) {
            int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
            for (int item = 0; item < count; item++) {
                LRESULT row = SendMessageA(list, LB_GETITEMDATA, item, 0);
                if (row < 0 || row >= MAX_ADDON_PROGRAMS) continue;
                AddOnSkipped[row] = SendMessageA(list, LB_GETSEL, item, 0) > 0 ? 0 : 1;
            }
            EndDialog(dialog, ID_ADDON_INSTALL);
            return TRUE;
        }
        if (id == ID_ADDON_ALL) {
            SendMessageA(list, LB_SETSEL, TRUE, -1);
            return TRUE;
        }
    }
    return EndOnButtons(dialog, message, wParam);
}
