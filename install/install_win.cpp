// The install loop's copy dialog on Windows: its Cancel button and the question behind it.
#include <windows.h>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "install/install.h"
#include "res/resource.h"
#include "res/strings.h"

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
        if (AskYesNo(Message(question))) {
            LogPrintf("User asked to stop the install");
            UserAbort = 1;
        }
        return TRUE;
    }
    return FALSE;
}
