// Quick reference guide printing. The text goes into the hidden edit control 510 of the
// dialog, which wraps it at the width the guide was written for; each edit-control line
// becomes one printed line.
#include "ui/print.h"
#include "res/resource.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "package/package.h"
#include <commdlg.h>
#include <string.h>

uint32_t PrintCancelled = 0;
HWND PrintAbortDialog = NULL;
PRINTDLGA PrintRequest;
char* (*QuickRefSource)(void) = ReadQuickRefFromPackage;

void ResetPrintState(void) {
    PrintCancelled = 0;
    PrintAbortDialog = NULL;
    memset(&PrintRequest, 0, sizeof PrintRequest);
    QuickRefSource = ReadQuickRefFromPackage;
}

int PrintLastLine(int pageHeight, int lineHeight) {
    return pageHeight / lineHeight - PRINT_BOTTOM_LINES;
}

HDC ChoosePrinter(void) {
    if (!PrintDlgA(&PrintRequest)) {
        CommDlgExtendedError();
        return NULL;
    }
    if (PrintRequest.hDevNames) GlobalFree(PrintRequest.hDevNames);
    if (PrintRequest.hDevMode) GlobalFree(PrintRequest.hDevMode);
    PrintRequest.hDevNames = NULL;
    PrintRequest.hDevMode = NULL;
    PrintRequest.nCopies = 1;
    return PrintRequest.hDC;
}

BOOL CALLBACK PrintAbortProc(HDC dc, int error) {
    if (!PrintAbortDialog) return TRUE;
    MSG message;
    while (!PrintCancelled && PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(PrintAbortDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return !PrintCancelled;
}

INT_PTR CALLBACK PrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetFocus(GetDlgItem(dialog, ID_CANCEL));
        SetDlgItemTextA(dialog, IDC_PRINTDOC, PRINT_DOC_NAME);
        return TRUE;
    case WM_COMMAND: PrintCancelled = 1; return TRUE;
    }
    return FALSE;
}

// Abandons a started job: the document is aborted and the printer context deleted.
static void AbandonJob(HDC dc) {
    AbortDoc(dc);
    DeleteDC(dc);
}

// Ends a page; 0 when that fails or the user cancelled. The abort procedure is also run
// here, before the page goes out: some printer drivers never call it, and the cancel
// dialog would then not answer until the whole job had been spooled.
static int EndPageUnlessCancelled(HDC dc) {
    if (!PrintAbortProc(dc, 0)) return 0;
    return EndPage(dc) > 0;
}

// Prints the lines of the guide control, page after page. Returns 0 when ending a page
// failed (which includes a cancelled job).
static int PrintLines(HDC dc, HWND guide) {
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    if (lineHeight <= 0) lineHeight = 1;
    int lastLine = PrintLastLine(GetDeviceCaps(dc, VERTRES), lineHeight);
    int x = PRINT_LEFT_CHARS * metrics.tmAveCharWidth;
    int lines = (int)SendMessageA(guide, EM_GETLINECOUNT, 0, 0);
    LogPrintf("Printing %d lines, %d per page", lines,
              lastLine >= PRINT_FIRST_LINE ? lastLine - PRINT_FIRST_LINE + 1 : 1);

    int n = PRINT_FIRST_LINE;
    for (int i = 0; i < lines; i++) {
        char line[PRINT_LINE_MAX + 1];
        *(WORD*)line = PRINT_LINE_MAX;
        int length = (int)SendMessageA(guide, EM_GETLINE, i, (LPARAM)line);
        if (length < 0) length = 0;
        if (length > PRINT_LINE_MAX) length = PRINT_LINE_MAX;
        TextOutA(dc, x, lineHeight * n, line, length);
        n++;
        if (n > lastLine) {
            n = PRINT_FIRST_LINE;
            if (!EndPageUnlessCancelled(dc)) return 0;
            StartPage(dc);
        }
    }
    return EndPageUnlessCancelled(dc);
}

void PrintQuickRef(HWND dialog) {
    char* text = QuickRefSource ? QuickRefSource() : NULL;
    if (!text) {
        LogPrintf("No quick reference guide to print");
        return;
    }
    SetDlgItemTextA(dialog, IDC_GUIDE, text);
    MemFree(text);

    ZeroMemory(&PrintRequest, sizeof PrintRequest);
    PrintRequest.lStructSize = sizeof PrintRequest;
    PrintRequest.hwndOwner = dialog;
    PrintRequest.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
    PrintRequest.nCopies = 1;
    char program[MAX_PATH];
    if (GetModuleFileNameA(NULL, program, sizeof program) && program[1] == ':') {
        char letter = program[0];
        if (letter >= 'a' && letter <= 'z') letter = (char)(letter - 'a' + 'A');
        if (letter >= 'A' && letter <= 'Z' && IsCdRomDrive(letter - 'A')) {
            // The print dialog may look at the current directory, which must not stay on
            // a disc the user could be asked to change.
            char temp[MAX_PATH];
            if (GetTempPathA(sizeof temp, temp)) ChangeDir(temp);
        }
    }

    HDC dc = ChoosePrinter();
    if (!dc) {
        LogPrintf("Quick reference guide not printed: no printer chosen");
        return;
    }
    SetAbortProc(dc, PrintAbortProc);
    // Every job starts afresh: a cancel in an earlier job must not abort this one.
    PrintCancelled = 0;

    DOCINFOA document;
    ZeroMemory(&document, sizeof document);
    document.cbSize = sizeof document;
    document.lpszDocName = PRINT_DOC_NAME;
    if (StartDocA(dc, &document) <= 0) {
        DWORD error = GetLastError();
        LogPrintf("Print job not started (error %lu)", (unsigned long)error);
        ShowError("Unable to start print job - STARTDOC Error #%d", (int)error);
        DeleteDC(dc);
        return;
    }

    PrintAbortDialog =
        CreateDialogParamA(GetModuleHandleA(NULL), IDD_PRINT, dialog, PrintDlgProc, 0);
    if (!PrintAbortDialog) {
        LogPrintf("Print job abandoned: no cancel dialog");
        AbandonJob(dc);
        return;
    }

    int result = StartPage(dc);
    if (result <= 0) {
        LogPrintf("Print job abandoned: first page not started (%d)", result);
        ShowError("Unable to start print job - STARTPAGE Error #%d", result);
        AbandonJob(dc);
        DestroyWindow(PrintAbortDialog);
        PrintAbortDialog = NULL;
        return;
    }
    ShowWindow(PrintAbortDialog, SW_SHOWNORMAL);
    UpdateWindow(PrintAbortDialog);
    int pagesEnded = PrintLines(dc, GetDlgItem(dialog, IDC_GUIDE));

    if (pagesEnded) {
        EndDoc(dc);
        LogPrintf("Quick reference guide printed");
    } else {
        // The job is not ended; make sure the spooler drops what it holds of it.
        LogPrintf("Quick reference guide printing stopped%s", PrintCancelled ? " by the user" : "");
        AbortDoc(dc);
    }
    DestroyWindow(PrintAbortDialog);
    PrintAbortDialog = NULL;
    DeleteDC(dc);
}
