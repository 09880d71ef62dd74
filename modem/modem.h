// Modem detection: probes COM1 to COM4 with AT commands behind the search dialog,
// finds the fastest line speed at which the modem answers and its class, and offers Retry,
// Skip and Quit when nothing answers.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "base/globals.h"  // ModemSettingsT, ModemSettings

// Back to the start: no search under way (part of ResetRunState).
void ResetModemState(void);

// The choice made when nothing is known: COM2, speed index 3, the basic class.
void SetModemDefaults(ModemSettingsT* settings);
// Whole search with its dialogs. 1: found, settings updated; 0: skipped, quit (then
// QuitRequested is set) or nothing answered and the user went on without a modem.
int DetectModem(ModemSettingsT* settings);

// The search dialog's procedure: Cancel stops the search. The run's seat opens the dialog with it.
INT_PTR CALLBACK ModemSearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
