// window.exe CLASS [TITLE]: shows a top-level window of class CLASS until it is closed or
// killed, so that a test can put "another program" on the desktop. It writes "READY" to
// its standard output once the window is shown and "ACTIVATED" each time it is brought to
// the foreground.
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

static void Say(const char* text) {
    DWORD written;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, text, lstrlenA(text), &written, NULL);
}

static LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_ACTIVATE && LOWORD(w) != WA_INACTIVE) Say("ACTIVATED\n");
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(h, msg, w, l);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 1;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = argv[1];
    if (!RegisterClassW(&wc)) return 1;
    HWND h = CreateWindowW(argv[1], argc > 2 ? argv[2] : argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           40, 40, 320, 200, NULL, NULL, instance, NULL);
    if (!h) return 1;
    UpdateWindow(h);
    Say("READY\n");
    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
