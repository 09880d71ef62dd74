// Gallery: shows one dialog template over the frame window, filled with the texts its
// callers put in, and stays until the dialog ends, so that every window of the setup can be
// looked at, driven by the robot and photographed.
//   gallery.exe ID            a template number (200 to 235)
//   gallery.exe RESID_DLG_PRINT
//   gallery.exe frame         the frame alone, until the process is ended (the frame's
//                             close box, as in the setup, does not end it)
// The exit code is the id that ended the dialog (-1 when the template does not exist).
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/text.h"
#include "ui/dialogs.h"
#include "ui/frame.h"
#include "ui/gauge.h"
#include "ui/print.h"
#include "res/resource.h"

namespace {

const char FrameTitle[] = "Configuration de KOV 3.0i avec IE 4.0";
const char SampleFolder[] = "C:\\KOV30I";
const char SampleGuide[] =
    "Guide de r\xe9"
    "f\xe9rence KOV\r\n\r\n"
    "1. Pour vous connecter, double-cliquez sur l'ic\xf4ne KOV puis cliquez sur Connexion.\r\n"
    "2. Pour lire votre courrier, cliquez sur la bo\xeete aux lettres.\r\n"
    "3. Pour quitter KOV, choisissez Quitter dans le menu Fichier.\r\n";

char* SampleGuideText(void) {
    char* text = (char*)MemAlloc(sizeof SampleGuide);
    memcpy(text, SampleGuide, sizeof SampleGuide);
    return text;
}

HWND Modeless = NULL;
int ModelessResult = 0;

void SetMessage(HWND dialog, int control, unsigned id) {
    SetDlgItemTextA(dialog, control, LoadMessage(1, id));
}

// Progress dialogs as their owners fill them: a file name or status line, a gauge part-way.
INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) >= ID_FIRST_END && LOWORD(wParam) <= ID_LAST_END) {
        ModelessResult = LOWORD(wParam);
        DestroyWindow(dialog);
        return TRUE;
    }
    // Escape (or the robot's close) stands for the system Close these dialogs lack.
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        ModelessResult = ID_CLOSED;
        DestroyWindow(dialog);
        return TRUE;
    }
    return FALSE;
}

// The disk-space and drive dialogs with the texts their procedures put in.
INT_PTR CALLBACK DriveTextsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        char text[512], format[512];
        if (GetDlgItem(dialog, IDC_SPACE_HOWTO)) {
            lstrcpynA(format, LoadMessage(1, IDS_SPACE_SHORT), sizeof format);
            Format(text, sizeof text, format, 31457280ul);
            SetDlgItemTextA(dialog, IDC_SPACE_NEEDED, text);
            SetMessage(dialog, IDC_SPACE_HOWTO, IDS_SPACE_FREE_RETRY);
            SetMessage(dialog, IDC_SPACE_NEXT, IDS_CHOOSE_DRIVE);
        } else {
            SetMessage(dialog, IDC_SPACE_NEEDED, IDS_CHOOSE_DRIVE);
            int stops[3] = {17, 120, 180};
            SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_SETTABSTOPS, 3, (LPARAM)stops);
            SendDlgItemMessageA(dialog, IDC_DRIVEHEADER, EM_SETTABSTOPS, 3, (LPARAM)stops);
            SetMessage(dialog, IDC_DRIVEHEADER, IDS_DRIVE_HEADER);
            const char* lines[] = {"C:\t\tLocal\t1,843,200",
                                   "E:\t\\\\SERVEUR\\PARTAGE\tNetwork\t512,000"};
            for (const char* line : lines)
                SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_ADDSTRING, 0, (LPARAM)line);
            SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_SETCURSEL, 0, 0);
        }
        CenterDialog(FrameWindow, dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) >= ID_FIRST_END && LOWORD(wParam) <= ID_LAST_END) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        EndDialog(dialog, ID_CLOSED);
        return TRUE;
    }
    return FALSE;
}

// The shortcut choice ends with its "O&K" (id 1) as well.
INT_PTR CALLBACK ShortcutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CheckDlgButton(dialog, IDC_STARTMENU, BST_CHECKED);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return DefaultDlgProc(dialog, message, wParam, lParam);
}

int RunModeless(int id) {
    Modeless = OpenModeless(id, ProgressProc);
    if (!Modeless) return -1;
    ShowWindow(Modeless, SW_SHOW);
    HWND gauge = GetDlgItem(Modeless, IDC_GAUGE);
    if (gauge) {
        SendMessageA(gauge, GaugeSetRange, 0, 200);
        SendMessageA(gauge, GaugeSetPos, 0, 83);
    }
    if (id == IDD_COPY) SetDlgItemTextA(Modeless, IDC_EXTRA, "kov.exe");
    if (id == IDD_PREVSEARCH) SetDlgItemTextA(Modeless, IDC_STATUS, "C:\\KOV\\IDB\\MAIN.IDX");
    if (id == IDD_MODEMSEARCH) SetMessage(Modeless, IDC_STATUS, IDS_MODEM_SEARCH);
    while (IsWindow(Modeless) && PumpMessages())
        MsgWaitForMultipleObjects(0, NULL, FALSE, 200, QS_ALLINPUT);
    // The window is gone; free its slot as its owner would.
    for (ModelessSlot& slot : ModelessSlots)
        if (slot.window == Modeless) slot.templateId = 0;
    return ModelessResult;
}

int RunPrintDialog(void) {
    PrintAbortDialog =
        CreateDialogParamA(GetModuleHandleA(NULL), IDD_PRINT, FrameWindow, PrintDlgProc, 0);
    if (!PrintAbortDialog) return -1;
    ShowWindow(PrintAbortDialog, SW_SHOWNORMAL);
    CenterDialog(FrameWindow, PrintAbortDialog);
    MSG message;
    while (!PrintCancelled && GetMessageA(&message, NULL, 0, 0)) {
        if (!IsDialogMessageA(PrintAbortDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    DestroyWindow(PrintAbortDialog);
    return ID_CANCEL;
}

void SampleAddOns(void) {
    static char* files[] = {(char*)"shockwave.exe", (char*)"realplay.exe", (char*)"vrml.exe"};
    static char* args[] = {(char*)"/s", (char*)"", (char*)"-q"};
    static char* names[] = {(char*)"Lecteur d'animations", (char*)"Lecteur audio et vid\xe9o",
                            (char*)"Visionneuse 3D"};
    InstallSettings.AddOnPrograms.count = 3;
    InstallSettings.AddOnPrograms.a = files;
    InstallSettings.AddOnPrograms.b = args;
    InstallSettings.AddOnPrograms.c = names;
}

int RunTemplate(int id) {
    char folder[260];
    switch (id) {
    case IDD_COPY:
    case IDD_PREVSEARCH:
    case IDD_MODEMSEARCH:
    case IDD_MIGRATE:
    case IDD_COPY_CONTINUED:
    case IDD_GRAPHICS_REQUESTED:
    case IDD_GRAPHICS: return RunModeless(id);
    case IDD_PREVDIR_FOUND:
    case IDD_PREVDIR_NONE:
    case IDD_DESTDIR_MIGRATE:
    case IDD_DESTDIR:
        lstrcpynA(folder, SampleFolder, sizeof folder);
        return RunEditDialog(id, folder, NULL);
    case IDD_SHORTCUT:
        return (int)DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), FrameWindow,
                                    ShortcutProc, 0);
    case IDD_DISKSPACE:
    case IDD_DRIVES:
        return (int)DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), FrameWindow,
                                    DriveTextsProc, 0);
    case IDD_ADDONS: SampleAddOns(); return RunModalDialog(id, NULL);
    }
    return RunModalDialog(id, NULL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    ResetRunState();
    // What the install driver sets before the welcome dialogs: 35 MB free, 20 needed.
    FreeMegabytes = 35;
    RequiredMegabytes = 20;
    QuickRefSource = SampleGuideText;
    if (!CreateFrameWindow(FrameTitle)) return -1;
    // As in a real run, the frame is up a moment before the first dialog.
    DWORD until = GetTickCount() + 300;
    while ((LONG)(GetTickCount() - until) < 0 && PumpMessages())
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    while (*commandLine == ' ') commandLine++;

    int result;
    if (!lstrcmpiA(commandLine, "frame")) {
        while (IsWindow(FrameWindow) && PumpMessages())
            MsgWaitForMultipleObjects(0, NULL, FALSE, 200, QS_ALLINPUT);
        result = 0;
    } else if (!lstrcmpiA(commandLine, IDD_PRINT)) {
        result = RunPrintDialog();
    } else {
        result = RunTemplate(atoi(commandLine));
    }
    DestroyFrameWindow();
    return result;
}
