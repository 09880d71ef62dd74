// The disk-space dialog (231) and the drive choice (232) shown when no drive has room for
// the installation.
#pragma once
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>

// Bytes the installation needs on the destination drive, shown by dialog 231; set by the
// install driver before it runs the dialog.
extern uint32_t SpaceNeeded;

// Drives that can take the installation: a known type other than CD-ROM, not a CD-ROM
// reached over the network, and free space that can be read.
int CountUsableDrives(void);
void FillDriveList(HWND dialog);
// The program exports both procedures under these plain names (setup/setup.def), so they
// keep C linkage.
// Dialog 231: ends with 417 (try again), 416 (drives), 403 (cancel), 406 (closed).
extern "C" INT_PTR CALLBACK DiskSpaceDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam);
// Dialog 232: ends with the selected line's drive index (0 to 25), -1 when no line is
// selected, 403 on cancel or close.
extern "C" INT_PTR CALLBACK DrivesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
