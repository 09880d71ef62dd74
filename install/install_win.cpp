// The install loop's dialogs on Windows: the modeless copy progress with its gauge and
// file label, the Cancel question, and the notice that the install was interrupted.
#include <windows.h>

#include "base/globals.h"
#include "base/journal.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "install/install.h"
#include "package/package.h"
#include "res/resource.h"
#include "res/strings.h"
#include "ui/dialogs.h"
#include "ui/gauge.h"

INT_PTR CALLBACK CopyCancelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == ID_CANCEL) {
        // Over the previous installation a cancel leaves neither version usable unless its
        // files were moved aside to be put back: say which.
        int inPlace =
            !ContinuationRun && SameFolder(InstallSettings.PreviousDir, InstallSettings.DestDir);
        int question = !inPlace          ? IDS_CANCEL_INSTALL
                       : JournalActive() ? IDS_CANCEL_RESTORES
                                         : IDS_CANCEL_OVER_OLD;
        if (AskYesNo(LoadMessage(1, question))) {
            LogPrintf("User asked to stop the install");
            UserAbort = 1;
        }
        return TRUE;
    }
    return FALSE;
}

void* OpenCopyDialog(int templateId) { return OpenModeless(templateId, CopyCancelDlgProc); }

void CloseCopyDialog(int templateId) { CloseModeless(templateId); }

void SetCopyRange(void* dialog, uint32_t range) {
    if (dialog) SendDlgItemMessageA((HWND)dialog, IDC_GAUGE, GaugeSetRange, 0, (LPARAM)range);
}

void SetCopyLabel(void* dialog, const char* text) {
    if (dialog) SetDlgItemTextA((HWND)dialog, IDC_EXTRA, text);
}

void PumpCopyDialog(void) { PumpMessages(); }

void ShowInterruptedNotice(void) { RunModalDialog(IDD_INTERRUPTED, NULL); }
