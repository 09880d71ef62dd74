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
    case IDD_WELCOME_CACHE: return WelcomeProc;
    case IDD_WIN31_FALLBACK: return CenteredProc;
    case IDD_QUICKREF: return QuickRefProc;
    // Our add-on template is run like the others; without its own procedure the list
    // would stay empty and the user's choice would never be recorded.
    case IDD_ADDONS: return AddOnProc;
    }
    return DefaultProc;
}

HWND OpenModeless(int templateId, DLGPROC dialogProc) {
    int i = 0;
    while (i < MODELESS_SLOTS && ModelessSlots[i].templateId != 0) i++;
    if (i == MODELESS_SLOTS) {
        ShowError(LoadMessage(1, IDS_TOO_MANY_DIALOGS));
        return NULL;
    }
    ModelessSlots[i].proc = dialogProc;
    if (!dialogProc) {
        ShowError(LoadMessage(1, IDS_NO_DIALOG_PROC), templateId);
        return NULL;
    }
    HWND window = CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                     dialogProc, 0);
    if (!window) {
        ShowError(LoadMessage(1, IDS_DIALOG_CREATE_FAILED), templateId);
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
            DestroyWindow(ModelessSlots[i].window);
            ModelessSlots[i].window = NULL;
            return TRUE;
        }
    }
    ShowError(LoadMessage(1, IDS_DIALOG_NOT_OPEN));
    return FALSE;
}

BOOL IsModelessMessage(MSG* message) {
    for (int i = 0; i < MODELESS_SLOTS; i++)
        if (ModelessSlots[i].templateId && IsDialogMessageA(ModelessSlots[i].window, message))
            return TRUE;
    return FALSE;
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
    if (result == ID_CONTINUE) lstrcpynA(text, EditText, EDIT_TEXT_MAX + 1);
    return result;
}

BOOL ConfirmQuit(HWND window) {
    if (window) ShowWindow(window, SW_HIDE);
    if (RunModalDialog(IDD_CONFIRMQUIT, NULL) == ID_QUIT) {
        LogPrintf("User exit");
        QuitRequested = 1;
        return TRUE;
    }
    if (window) ShowWindow(window, SW_SHOW);
    return FALSE;
}

static int IsEndId(WPARAM wParam) {
    int id = LOWORD(wParam);
    return id >= ID_FIRST_END && id <= ID_LAST_END;
}

static int IsClose(UINT message, WPARAM wParam) {
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
}

static void ShowExtraText(HWND dialog) {
    if (DialogExtraText[0]) SetDlgItemTextA(dialog, IDC_EXTRA, DialogExtraText);
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
            lstrcpynA(format, LoadMessage(1, IDS_INSERT_DISK), sizeof format);
            Format(text, sizeof text, format, InstallSettings.NextDiskLabel);
            SetDlgItemTextA(dialog, IDC_DISKPROMPT, text);
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
    if (message == WM_COMMAND && LOWORD(wParam) == ID_PRINTNOW) {
        PrintQuickRef(dialog);
        EndDialog(dialog, ID_PRINTNOW);
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK EditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(dialog, IDC_DIRFIELD, EditText);
        ShowExtraText(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && IsEndId(wParam)) {
        GetDlgItemTextA(dialog, IDC_DIRFIELD, EditText, sizeof EditText);
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

// With room for 10 MB of cache but not 20, the 20 MB button goes and the other two are
// spread over the row it leaves.
static void SpreadCacheButtons(HWND dialog) {
    HWND five = GetDlgItem(dialog, IDC_CACHE5), ten = GetDlgItem(dialog, IDC_CACHE10);
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
        EnableWindow(GetDlgItem(dialog, IDC_CACHE10), TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_CACHE20), TRUE);
        if (FreeMegabytes > 0) {
            char text[128];
            char format[512];
            lstrcpynA(format, LoadMessage(1, IDS_FREE_MEGABYTES), sizeof format);
            Format(text, sizeof text, format, (int)FreeMegabytes);
            SetDlgItemTextA(dialog, IDC_FREESPACE, text);
        }
        if (FreeMegabytes >= RequiredMegabytes + 20) {
            CheckDlgButton(dialog, IDC_CACHE20, BST_CHECKED);
            CacheChoice = 2;
        } else if (FreeMegabytes >= RequiredMegabytes + 10) {
            ShowWindow(GetDlgItem(dialog, IDC_CACHE20), SW_HIDE);
            SpreadCacheButtons(dialog);
            CheckDlgButton(dialog, IDC_CACHE10, BST_CHECKED);
            CacheChoice = 1;
        }
        return TRUE;
    }
    if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        if (id >= IDC_CACHE5 && id <= IDC_CACHE20) {
            CacheChoice = (uint16_t)(id - IDC_CACHE5);
            return TRUE;
        }
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK AddOnDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND list = GetDlgItem(dialog, IDC_ADDONLIST);
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
        if (id == ID_INSTALL) {
            int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
            for (int item = 0; item < count; item++) {
                LRESULT row = SendMessageA(list, LB_GETITEMDATA, item, 0);
                if (row < 0 || row >= MAX_ADDON_PROGRAMS) continue;
                AddOnSkipped[row] = SendMessageA(list, LB_GETSEL, item, 0) > 0 ? 0 : 1;
            }
            EndDialog(dialog, ID_INSTALL);
            return TRUE;
        }
        if (id == IDC_SELECTALL) {
            SendMessageA(list, LB_SETSEL, TRUE, -1);
            return TRUE;
        }
    }
    return EndOnButtons(dialog, message, wParam);
}
