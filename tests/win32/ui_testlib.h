// Helpers of the user-interface tests: a thread timer that acts on the dialogs and message
// boxes of this thread while a modal loop runs, the way a user would, and pixel reads.
#pragma once
#include <windows.h>
#include <functional>
#include <set>
#include <string>

namespace uitest {

// Called for each visible dialog window (class #32770) of this thread that it has not yet
// handled; returns true once it has handled the window.
using Actor = std::function<bool(HWND)>;

inline Actor& CurrentActor() {
    static Actor actor;
    return actor;
}
inline std::set<HWND>& Handled() {
    static std::set<HWND> handled;
    return handled;
}
inline UINT_PTR& TimerId() {
    static UINT_PTR id;
    return id;
}

inline BOOL CALLBACK VisitWindow(HWND window, LPARAM) {
    char cls[32];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") || !IsWindowVisible(window) || Handled().count(window)) return TRUE;
    if (CurrentActor() && CurrentActor()(window)) Handled().insert(window);
    return TRUE;
}

inline void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), VisitWindow, 0);
}

// Acts on dialogs until Stop; start it before the call that runs the modal loop.
inline void Act(Actor actor) {
    CurrentActor() = actor;
    Handled().clear();
    if (!TimerId()) TimerId() = SetTimer(NULL, 0, 40, Tick);
}

inline void Stop() {
    if (TimerId()) KillTimer(NULL, TimerId());
    TimerId() = 0;
    CurrentActor() = nullptr;
}

inline std::string Text(HWND window, int id = 0) {
    char text[1024] = "";
    if (id) GetDlgItemTextA(window, id, text, sizeof text);
    else GetWindowTextA(window, text, sizeof text);
    return text;
}

// The text of a message box.
inline std::string BoxText(HWND box) { return Text(box, 0xFFFF); }

inline void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// Lets pending messages run for a while (painting, posted clicks).
inline void Settle(DWORD ms = 100) {
    DWORD end = GetTickCount() + ms;
    MSG message;
    do {
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while ((LONG)(GetTickCount() - end) < 0);
}

// Pixel of a window's client area, as the window itself painted it.
inline COLORREF Pixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// The text as the string table has it (Windows-1252).
inline std::string Message(unsigned id) {
    char text[512] = "";
    LoadStringA(GetModuleHandleA(NULL), id, text, sizeof text);
    return text;
}

}  // namespace uitest
