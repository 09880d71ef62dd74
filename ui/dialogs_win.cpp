// Dialog manager and the dialog procedures of the wizard.
#include "ui/dialogs.h"
#include "ui/frame.h"
#include "ui/drives.h"
#include "ui/print.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/seat.h"
#include "base/text.h"
#include <string.h>

ModelessSlot ModelessSlots[MODELESS_SLOTS];

static HINSTANCE ResourceInstance(void) { return GetModuleHandleA(NULL); }

// The templates with a procedure of their own; every other modal template is run by
// DefaultDlgProc. Our add-on template is run like the others: without its own procedure
// the list would stay empty and the user's choice would never be recorded.
static const struct {
    int templateId;
    DLGPROC proc;
} kModalProcs[] = {
    {IDD_WELCOME_CACHE, WelcomeDlgProc}, {IDD_WIN31_FALLBACK, CenteredDlgProc},
    {IDD_QUICKREF, QuickRefDlgProc},     {IDD_ADDONS, AddOnDlgProc},
    {IDD_DISKSPACE, DiskSpaceDlgProc},   {IDD_DRIVES, DrivesDlgProc},
};

DLGPROC ModalDialogProc(int templateId) {
    for (const auto& m : kModalProcs)
        if (m.templateId == templateId) return m.proc;
    return DefaultDlgProc;
}

DialogDataT* DialogData(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return (DialogDataT*)GetWindowLongPtrA(dialog, DWLP_USER);
}

void ResetUiState(void) {
    for (ModelessSlot& slot : ModelessSlots) {
        if (slot.window) DestroyWindow(slot.window);
        slot = ModelessSlot{};
    }
    CacheChoice = 0;
    FreeMegabytes = 0;
    RequiredMegabytes = 0;
    SpaceNeeded = 0;
    memset(AddOnSkipped, 0, sizeof AddOnSkipped);
    ResetPrintState();
}

HWND OpenModeless(int templateId, DLGPROC dialogProc) {
    int i = 0;
    while (i < MODELESS_SLOTS && ModelessSlots[i].templateId != 0) i++;
    if (i == MODELESS_SLOTS) {
        ShowError(Message(IDS_TOO_MANY_DIALOGS));
        return NULL;
    }
    ModelessSlots[i].proc = dialogProc;
    if (!dialogProc) {
        ShowError(Message(IDS_NO_DIALOG_PROC), templateId);
        return NULL;
    }
    HWND window = CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                     dialogProc, 0);
    if (!window) {
        ShowError(Message(IDS_DIALOG_CREATE_FAILED), templateId);
        return NULL;
    }
    // Progress is for someone watching; an unattended run keeps it out of sight.
    if (Seat.unattended) ShowWindow(window, SW_HIDE);
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
    ShowError(Message(IDS_DIALOG_NOT_OPEN));
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

int CacheThatFits(void) {
    return FreeMegabytes >= RequiredMegabytes + 20   ? 2
           : FreeMegabytes >= RequiredMegabytes + 10 ? 1
                                                     : 0;
}

int DialogTemplatePresent(int templateId) {
    return FindResourceA(ResourceInstance(), MAKEINTRESOURCEA(templateId), (LPCSTR)RT_DIALOG) !=
           NULL;
}

void PrintGuideHidden(void) {
    HWND dialog = CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(IDD_QUICKREF),
                                     FrameWindow, DefaultDlgProc, 0);
    if (!dialog) {
        LogPrintf("Quick reference guide not printed: dialog %d not made", IDD_QUICKREF);
        return;
    }
    ShowWindow(dialog, SW_HIDE);
    PrintQuickRef(dialog);
    DestroyWindow(dialog);
}

int RunModalDialog(int templateId, const char* extraText) {
    DialogDataT data = {};
    data.extraText = extraText;
    return (int)DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                ModalDialogProc(templateId), (LPARAM)&data);
}

int RunEditDialog(int templateId, char* text, const char* extraText) {
    DialogDataT data = {};
    data.extraText = extraText;
    lstrcpynA(data.edit, text, sizeof data.edit);
    int result = (int)DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId), FrameWindow,
                                      EditDlgProc, (LPARAM)&data);
    if (result == ID_CONTINUE) lstrcpynA(text, data.edit, EDIT_TEXT_MAX + 1);
    return result;
}

BOOL ConfirmQuit(HWND window) {
    if (window) ShowWindow(window, SW_HIDE);
    if (Seat.runDialog(IDD_CONFIRMQUIT, NULL) == ID_QUIT) {
        LogPrintf("User exit");
        QuitRequested = 1;
        return TRUE;
    }
    if (window) ShowWindow(window, SW_SHOW);
    return FALSE;
}

int IsEndId(WPARAM wParam) {
    int id = LOWORD(wParam);
    return id >= ID_FIRST_END && id <= ID_LAST_END;
}

static int IsClose(UINT message, WPARAM wParam) {
    return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
}

static void ShowExtraText(HWND dialog, const DialogDataT* data) {
    if (data && data->extraText && data->extraText[0])
        SetDlgItemTextA(dialog, IDC_EXTRA, data->extraText);
}

// The procedures below share one shape: initialisation fills texts, an end id or the
// system Close ends the dialog, everything else is left to the dialog manager.
INT_PTR EndOnButtons(HWND dialog, UINT message, WPARAM wParam) {
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
    DialogDataT* data = DialogData(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog, data);
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
    DialogDataT* data = DialogData(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog, data);
        CenterDialog(FrameWindow, dialog);
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK QuickRefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogDataT* data = DialogData(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog, data);
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
    DialogDataT* data = DialogData(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        if (data) SetDlgItemTextA(dialog, IDC_DIRFIELD, data->edit);
        ShowExtraText(dialog, data);
        return TRUE;
    }
    if (message == WM_COMMAND && IsEndId(wParam) && data) {
        GetDlgItemTextA(dialog, IDC_DIRFIELD, data->edit, sizeof data->edit);
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
    DialogDataT* data = DialogData(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        ShowExtraText(dialog, data);
        EnableWindow(GetDlgItem(dialog, IDC_CACHE10), TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_CACHE20), TRUE);
        if (FreeMegabytes > 0) {
            char text[128];
            char format[512];
            lstrcpynA(format, LoadMessage(1, IDS_FREE_MEGABYTES), sizeof format);
            Format(text, sizeof text, format, (int)FreeMegabytes);
            SetDlgItemTextA(dialog, IDC_FREESPACE, text);
        }
        int fits = CacheThatFits();
        if (fits == 2) {
            CheckDlgButton(dialog, IDC_CACHE20, BST_CHECKED);
            CacheChoice = 2;
        } else if (fits == 1) {
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
        const TextList& addOns = InstallSettings.AddOnPrograms;
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
