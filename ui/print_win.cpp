// Quick reference guide printing. The text goes into the hidden edit control 510 of the
// dialog, which wraps it at the width the guide was written for; each edit-control line
// becomes one printed line, or several when the paper is narrower than that line in the
// guide's printing font.
#include "ui/print.h"
#include "res/resource.h"
#include "base/seat.h"
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

HFONT CreateGuideFont(HDC printer, HWND dialog) {
    LOGFONTA font;
    HFONT dialogFont = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
    if (!dialogFont || !GetObjectA(dialogFont, sizeof font, &font)) ZeroMemory(&font, sizeof font);
    font.lfHeight = -MulDiv(PRINT_FONT_POINTS, GetDeviceCaps(printer, LOGPIXELSY), 72);
    font.lfWidth = 0;
    font.lfEscapement = font.lfOrientation = 0;
    return CreateFontIndirectA(&font);
}

int GuideLineBreak(const char* text, int length, int fit) {
    if (fit >= length) return length;
    // Walk whole characters: a double-byte character is never split.
    int blank = 0, end = 0, word = 0;
    for (const char* p = text; p < text + length;) {
        const char* next = CharNextA(p);
        if (next == p || next - text > fit) break;
        // Blanks that indent the line are not a place to break it.
        if (*p != ' ') word = 1;
        else if (word) blank = (int)(p - text);
        end = (int)(next - text);
        p = next;
    }
    // Break at the last blank that fits, or right after the last character when a blank
    // follows it; a word longer than the line is cut where the line ends.
    if (word && end < length && text[end] == ' ') return end;
    if (blank) return blank;
    if (end) return end;
    // Never an empty piece, so that the caller always moves on.
    int first = (int)(CharNextA(text) - text);
    return first > 0 && first <= length ? first : 1;
}

// Where the lines of the guide are drawn on the current page.
struct GuidePage {
    HDC dc;
    HFONT font;
    int x, width, lineHeight, lastLine;
    int n;  // line number of the next line on the page
};

// Draws one printed line; at the page's end, ends it and starts the next. 0 when ending
// the page failed (which includes a cancelled job).
static int PrintOneLine(GuidePage& page, const char* text, int length) {
    TextOutA(page.dc, page.x, page.lineHeight * page.n, text, length);
    page.n++;
    if (page.n > page.lastLine) {
        page.n = PRINT_FIRST_LINE;
        if (!EndPageUnlessCancelled(page.dc)) return 0;
        StartPage(page.dc);
        // Some drivers give every new page a fresh context: the font is selected again.
        SelectObject(page.dc, page.font);
    }
    return 1;
}

// Prints one line of the guide control, cut again at the printable width when the
// printer's font makes it longer than the paper allows.
static int PrintWrapped(GuidePage& page, const char* text, int length) {
    do {
        int fit = 0;
        SIZE size;
        if (!GetTextExtentExPointA(page.dc, text, length, page.width, &fit, NULL, &size))
            fit = length;
        int piece = GuideLineBreak(text, length, fit);
        if (!PrintOneLine(page, text, piece)) return 0;
        text += piece;
        length -= piece;
        // The blanks where the line was cut are not carried to the start of the next.
        while (length > 0 && *text == ' ') text++, length--;
    } while (length > 0);
    return 1;
}

// Prints the lines of the guide control, page after page, in the guide's font. Returns 0
// when ending a page failed (which includes a cancelled job).
static int PrintLines(HDC dc, HWND guide, HFONT font) {
    GuidePage page;
    page.dc = dc;
    page.font = font;
    HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    page.lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    if (page.lineHeight <= 0) page.lineHeight = 1;
    page.lastLine = PrintLastLine(GetDeviceCaps(dc, VERTRES), page.lineHeight);
    page.x = PRINT_LEFT_CHARS * metrics.tmAveCharWidth;
    // The right margin matches the left one.
    page.width = GetDeviceCaps(dc, HORZRES) - 2 * page.x;
    page.n = PRINT_FIRST_LINE;

    // The lines are read from the control's own text, whole: none is cut short.
    int textLength = GetWindowTextLengthA(guide);
    char* text = (char*)MemAlloc((unsigned long)textLength + 1);
    textLength = GetWindowTextA(guide, text, textLength + 1);
    int lines = (int)SendMessageA(guide, EM_GETLINECOUNT, 0, 0);
    LogPrintf("Printing %d lines, %d per page", lines,
              page.lastLine >= PRINT_FIRST_LINE ? page.lastLine - PRINT_FIRST_LINE + 1 : 1);

    int ok = 1;
    for (int i = 0; i < lines && ok; i++) {
        int start = (int)SendMessageA(guide, EM_LINEINDEX, i, 0);
        if (start < 0 || start > textLength) break;
        int length = (int)SendMessageA(guide, EM_LINELENGTH, start, 0);
        if (length < 0) length = 0;
        if (length > textLength - start) length = textLength - start;
        ok = length ? PrintWrapped(page, text + start, length) : PrintOneLine(page, "", 0);
    }
    MemFree(text);
    if (ok) ok = EndPageUnlessCancelled(dc);
    SelectObject(dc, oldFont);
    return ok;
}

// Ends the cancel dialog of a job. Dialog 229 is enabled first, so that the activation
// returns to it and not to another program.
static void EndJobWindows(HWND dialog) {
    EnableWindow(dialog, TRUE);
    DestroyWindow(PrintAbortDialog);
    PrintAbortDialog = NULL;
}

void PrintQuickRef(HWND dialog) {
    // The cancel dialog's message loop could bring a second click here while a job runs.
    if (PrintAbortDialog) {
        LogPrintf("Quick reference guide already printing");
        return;
    }
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
    // Nobody is there to choose: the default printer, without the print dialog.
    if (Seat.unattended) PrintRequest.Flags |= PD_RETURNDEFAULT;
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
        ShowError(MessageT{0, "Unable to start print job - STARTDOC Error #%d"}, (int)error);
        DeleteDC(dc);
        return;
    }

    // The cancel dialog pumps messages while the job runs: dialog 229 takes no clicks
    // meanwhile, so that no second job and no end of the dialog can start under this one.
    EnableWindow(dialog, FALSE);
    PrintAbortDialog =
        CreateDialogParamA(GetModuleHandleA(NULL), IDD_PRINT, dialog, PrintDlgProc, 0);
    if (Seat.unattended && PrintAbortDialog) ShowWindow(PrintAbortDialog, SW_HIDE);
    if (!PrintAbortDialog) {
        LogPrintf("Print job abandoned: no cancel dialog");
        EnableWindow(dialog, TRUE);
        AbandonJob(dc);
        return;
    }

    int result = StartPage(dc);
    if (result <= 0) {
        LogPrintf("Print job abandoned: first page not started (%d)", result);
        EndJobWindows(dialog);
        ShowError(MessageT{0, "Unable to start print job - STARTPAGE Error #%d"}, result);
        AbandonJob(dc);
        return;
    }
    ShowWindow(PrintAbortDialog, SW_SHOWNORMAL);
    UpdateWindow(PrintAbortDialog);
    HFONT font = CreateGuideFont(dc, dialog);
    int pagesEnded = PrintLines(dc, GetDlgItem(dialog, IDC_GUIDE), font);

    if (pagesEnded) {
        EndDoc(dc);
        LogPrintf("Quick reference guide printed");
    } else {
        // The job is not ended; make sure the spooler drops what it holds of it.
        LogPrintf("Quick reference guide printing stopped%s", PrintCancelled ? " by the user" : "");
        AbortDoc(dc);
    }
    EndJobWindows(dialog);
    DeleteDC(dc);
    if (font) DeleteObject(font);
}
