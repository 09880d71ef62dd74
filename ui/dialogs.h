// Dialog manager: modeless progress dialogs in a four-slot table, the message pump that
// feeds them while long work runs, modal dialogs that return the id of the button that
// ended them, the one-line edit dialog and the quit confirmation.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { MODELESS_SLOTS = 4, EDIT_TEXT_MAX = 255 };
// Buttons that end a dialog carry an id from 400 to 418, and that id is the result.
enum { FIRST_END_ID = 400, LAST_END_ID = 418, ID_CLOSED = 406 };

struct ModelessSlotT {
    int templateId;  // 0 = free
    DLGPROC proc;
    HWND window;  // null once the dialog was destroyed with the frame
};
extern ModelessSlotT ModelessSlots[MODELESS_SLOTS];
extern char DialogExtraText[512];  // shown in control 503 by the next modal dialog
extern char EditText[256];         // text of control 501 while RunEditDialog runs

// Wizard state read and set by the dialog procedures here; owned by the install driver
// (cache choice, megabytes required, add-on choice) and the disk-space estimate (free
// megabytes).
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
int RunModalDialog(int templateId, const char* extraText);
// text: the caller's buffer of at least 256 bytes; it receives at most 255 characters, and
// only when the dialog ended with 408.
int RunEditDialog(int templateId, char* text, const char* extraText);
BOOL ConfirmQuit(HWND window);
// Picks the procedures RunModalDialog chooses from; called when the frame is created.
void InstallDialogProcs(void);
// The procedure RunModalDialog uses for a template.
DLGPROC ModalDialogProc(int templateId);

INT_PTR CALLBACK DefaultDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CenteredDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK QuickRefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WelcomeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AddOnDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
