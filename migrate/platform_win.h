// The dialog procedures of the search (dialog 202) and of the migration's progress dialogs
// (224, 225, 210).
#pragma once
#include <windows.h>

INT_PTR CALLBACK PrevSearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Answers the initialisation and nothing else: the work loop drives the gauge.
INT_PTR CALLBACK MigrateProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
