// The full-screen frame window: owner of every dialog and message box.
#pragma once
#include <windows.h>

extern HWND FrameWindow;
