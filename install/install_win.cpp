// The install loop's copy dialog on Windows: its Cancel button and the question behind it.
#include <windows.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "install/install.h"
#include "res/resource.h"
#include "res/strings.h"

INT_PTR CALLBACK CopyCancelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == ID_CANCEL) {
        // Over the previous installation a cancel leaves neither version usable: say so.
        int inPlace =
            !ContinuationRun && SameFolder(InstallSettings.PreviousDir, InstallSettings.DestDir);
        if (AskYesNo(Message(inPlace ? IDS_CANCEL_OVER_OLD : IDS_CANCEL_INSTALL))) {
            LogPrintf("User asked to stop the install");
            UserAbort = 1;
        }
        return TRUE;
    }
    return FALSE;
}
