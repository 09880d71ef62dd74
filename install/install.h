// The file installation loop: every file of the package into the destination, the Windows
// folder or (through the system-file check) the system folder, with a progress dialog the
// user can cancel; after a failure or a cancel nothing of the package is left behind.
#pragma once
#include <stdint.h>

// Gauge values are byte counts; above this total they are divided by 10.
enum : uint32_t { GAUGE_SCALE_LIMIT = 10000000, LABEL_WHOLE_MAX = 30, LABEL_TAIL = 24 };

// 1 when every entry was handled; 0 with SetupError set, or with UserAbort set when the
// user stopped the install. Its progress and the interrupted notice go to the seat
// (base/seat.h); on the screen the copy dialog's Cancel button sets UserAbort.
int InstallFiles(void);
// Writes DOSGAME.PIF into the Windows folder for DOSGAME.EXE in the destination; 1 when
// written. DestDir must leave room for the program path (62 characters).
int CreateGamePif(void);
// The game PIF as written for programPath (at most 62 characters); out holds PIF_SIZE bytes.
enum { PIF_SIZE = 545, PIF_PROGRAM_AT = 36, PIF_PROGRAM_MAX = 62 };
int BuildGamePif(unsigned char* out, const char* programPath);

#ifdef _WIN32
#include <windows.h>
// The copy dialog's procedure: Cancel asks for confirmation, then sets UserAbort.
INT_PTR CALLBACK CopyCancelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
