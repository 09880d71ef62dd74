// Dialog manager: modeless progress dialogs in a four-slot table, the message pump that
// feeds them while long work runs, modal dialogs that return the id of the button that
// ended them, the one-line edit dialog and the quit confirmation.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { MODELESS_SLOTS = 4, EDIT_TEXT_MAX = 255 };
#include "res/resource.h"

struct ModelessSlot {
    int templateId;  // 0 = free
    DLGPROC proc;
    HWND window;  // null once the dialog was destroyed with the frame
};
extern ModelessSlot ModelessSlots[MODELESS_SLOTS];

// What a modal dialog is given through its creation parameter: the extra text for control
// 503 and, for the folder dialogs, the text of control 501. Procedures find it with
// DialogData; a dialog opened without one (the modeless ones) gets null.
struct DialogDataT {
    const char* extraText;         // null or empty: control 503 keeps its template text
    char edit[EDIT_TEXT_MAX + 1];  // the folder field, in and out
};
DialogDataT* DialogData(HWND dialog, UINT message, LPARAM lParam);

// Wizard state read and set by the dialog procedures here, set by the install driver (cache
// choice, free and required megabytes, add-on choice).
extern uint16_t CacheChoice;  // 0 = 5 MB, 1 = 10 MB, 2 = 20 MB
extern uint32_t FreeMegabytes;
extern uint32_t RequiredMegabytes;
extern uint32_t AddOnSkipped[64];

HWND OpenModeless(int templateId, DLGPROC dialogProc);
BOOL CloseModeless(int templateId);
BOOL IsModelessMessage(MSG* message);
// Drops the window of every slot whose dialog no longer exists (its owner, the frame, was
// destroyed); the slot stays taken until its owner closes it.
void ForgetDestroyedModeless(void);
BOOL PumpMessages(void);
// The dialogs on the screen, as the seat shows them (the steps ask through Seat, which an
// unattended run answers instead).
int RunModalDialog(int templateId, const char* extraText);
// text: the caller's buffer of at least 256 bytes; it receives at most 255 characters, and
// only when the dialog ended with 408.
int RunEditDialog(int templateId, char* text, const char* extraText);
// What an unattended run needs to act as a dialog would: whether this edition carries the
// template, the largest cache choice the free space leaves room for (0: 5 MB, 1: 10 MB,
// 2: 20 MB; the welcome dialog preselects it), and the quick reference guide printed on the
// default printer by the dialog, hidden, that lays its text out.
int DialogTemplatePresent(int templateId);
// The seat's progress on the screen (seat_win.cpp); a null dialog is left alone.
void CloseProgressDialog(int templateId);
void SetProgressRange(void* dialog, uint32_t range);
void SetProgressGauge(void* dialog, uint32_t position);
void SetProgressText(void* dialog, int item, const char* text);
int PumpProgress(void);
int CacheThatFits(void);
void PrintGuideHidden(void);
BOOL ConfirmQuit(HWND window);
// The procedure RunModalDialog uses for a template: its own when it has one, otherwise
// DefaultDlgProc.
DLGPROC ModalDialogProc(int templateId);
// Back to the start: modeless dialogs closed, the wizard state and the printing state
// cleared (part of ResetRunState).
void ResetUiState(void);
// 1 when the command is one of the shared end buttons (ID_FIRST_END to ID_LAST_END).
int IsEndId(WPARAM wParam);
// The shape most dialog procedures share: an end button ends the dialog with its id, the
// system Close with ID_CLOSED; TRUE when the message was handled.
INT_PTR EndOnButtons(HWND dialog, UINT message, WPARAM wParam);

INT_PTR CALLBACK DefaultDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CenteredDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK QuickRefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AddOnDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
