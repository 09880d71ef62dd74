// Printing of the quick reference guide from dialog 229: a printer chosen in the common
// print dialog, the text laid out as a hidden edit control wraps it (and wrapped again
// where the paper is narrower), a small modeless dialog to cancel the job.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "package/package.h"
#include "res/resource.h"

extern uint32_t PrintCancelled;  // set by the cancel dialog's button
extern HWND PrintAbortDialog;    // the cancel dialog while a job runs
extern PRINTDLGA PrintRequest;

enum { PRINT_FIRST_LINE = 3, PRINT_BOTTOM_LINES = 5, PRINT_LEFT_CHARS = 5, PRINT_FONT_POINTS = 10 };
#define PRINT_DOC_NAME "Quick Reference Guide"

// Where the guide's text comes from: a new block (MemAlloc) holding the text with a NUL
// after it, or null when there is no guide. The default is ReadQuickRefFromPackage (the
// package entry named by the install script); tests put their own text here.
extern char* (*QuickRefSource)(void);

void PrintQuickRef(HWND dialog);
// Back to the start: no job, no cancel, the guide read from the package.
void ResetPrintState(void);
HDC ChoosePrinter(void);
BOOL CALLBACK PrintAbortProc(HDC dc, int error);
INT_PTR CALLBACK PrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The page layout: the last line number on a page (lines run from 3 to it).
int PrintLastLine(int pageHeight, int lineHeight);
// The guide's font on a printer: the face of the dialog's own font, 10 points high at the
// printer's resolution. The caller deletes it.
HFONT CreateGuideFont(HDC printer, HWND dialog);
// Where a line that is too long for the page is cut: the number of bytes of `text` to print
// on this line, given that `fit` of them fit across the page. The cut falls at a blank when
// there is one, else inside the word; it is never empty and never splits a character.
int GuideLineBreak(const char* text, int length, int fit);
