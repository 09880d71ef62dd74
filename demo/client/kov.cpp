// The demo client, kov.exe: a small window that shows the installation it runs from and
// what it reads from its own main database (version, user names, modem), so that what the
// setup installed and carried over can be seen in use. Every start is recorded in
// kovrun.log beside the program: its command line, its current folder and what it read.
//   kov.exe [--close MS]   --close: the window closes itself after MS milliseconds
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/format.h"
#include "base/mem.h"
#include "clientdb/access.h"

namespace {

enum : uint32_t {
    GID_VERSION = 0x14000006u,  // byte 1 major, byte 2 minor
    GID_USER_NAMES = 0x14000010u,
    GID_PORT = 0x14000015u,
    GID_PASSWORD_LIST = 0x14000032u,  // string count (16 bits), then name and password pairs
    GID_VERSION_TEXT = 0x14000044u,
    GID_MODEM_NAME = 0x14000048u,
    GID_INSTALL_FOLDER = 0x1400011Bu,
};
enum { USER_ENTRY = 22, USER_NAME = 11, MAX_USERS = 16, CLOSE_TIMER = 1 };

char Report[4096];  // what the window shows and the log records, line by line

void Add(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    FormatV(line, sizeof line, format, args);
    va_end(args);
    size_t used = strlen(Report);
    _snprintf(Report + used, sizeof Report - used - 1, "%s\r\n", line);
}

void ReadDatabase(const char* folder) {
    char path[MAX_PATH];
    Format(path, sizeof path, "%s\\IDB\\MAIN.IDX", folder);
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(path, &db) != 0 || !db) {
        Add("database: %s cannot be read", path);
        return;
    }
    Add("database: %s, %lu records", path, (unsigned long)DbRecordCount(db));
    uint8_t version[4] = {};
    if (DbReadRecordBounded(db, GID_VERSION, version, sizeof version, nullptr))
        Add("version: %u.%u", version[1], version[2]);
    char text[256];
    if (DbReadText(db, GID_VERSION_TEXT, text, sizeof text)) Add("version text: %s", text);
    if (DbReadText(db, GID_INSTALL_FOLDER, text, sizeof text)) Add("install folder: %s", text);

    uint8_t users[1 + MAX_USERS * USER_ENTRY] = {};
    uint16_t length = 0;
    uint8_t pairs[1024] = {};
    uint16_t pairsLength = 0;
    if (DbReadRecordBounded(db, GID_USER_NAMES, users, sizeof users, &length) && length > 0) {
        unsigned count = users[0];
        for (unsigned i = 0; i < count && 1 + (i + 1) * USER_ENTRY <= length; i++) {
            char name[USER_NAME + 1] = {};
            memcpy(name, users + 1 + i * USER_ENTRY, USER_NAME);
            Add("user: %s", name);
        }
    } else if (DbReadRecordBounded(db, GID_PASSWORD_LIST, pairs, sizeof pairs - 1, &pairsLength) &&
               pairsLength >= 2) {
        // The setup's converted list: names and their passwords, one string after the other.
        if (pairsLength > sizeof pairs - 1) pairsLength = sizeof pairs - 1;
        unsigned strings = pairs[0] | (pairs[1] << 8), at = 2;
        for (unsigned i = 0; i < strings && at < pairsLength; i++) {
            const char* text = (const char*)pairs + at;
            if (i % 2 == 0) Add("user: %s", text);
            at += (unsigned)strnlen(text, pairsLength - at) + 1;
        }
    } else {
        Add("user: none");
    }
    if (DbRecordLength(db, GID_PORT))
        Add("modem port: COM%lu", (unsigned long)DbReadNumber(db, GID_PORT));
    if (DbReadText(db, GID_MODEM_NAME, text, sizeof text)) Add("modem: %s", text);
    DbClose(db);
}

void Record(const char* folder, const char* commandLine) {
    char log[MAX_PATH], cwd[MAX_PATH] = "";
    Format(log, sizeof log, "%s\\kovrun.log", folder);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    FILE* f = fopen(log, "ab");
    if (!f) return;
    fprintf(f, "started cmdline=\"%s\" cwd=\"%s\"\r\n%s", commandLine, cwd, Report);
    fclose(f);
}

LRESULT CALLBACK ClientWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -12, -12);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, Report, -1, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return 1;
    if (char* slash = strrchr(folder, '\\')) *slash = 0;
    Add("KOV 3.0i");
    Add("installation: %s", folder);
    ReadDatabase(folder);
    Record(folder, commandLine);

    unsigned closeAfter = 0;
    if (const char* c = strstr(commandLine, "--close ")) closeAfter = (unsigned)atoi(c + 8);

    WNDCLASSA kind = {};
    kind.lpfnWndProc = ClientWndProc;
    kind.hInstance = instance;
    kind.hCursor = LoadCursor(NULL, IDC_ARROW);
    kind.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    kind.lpszClassName = "KOV Demo Client";
    RegisterClassA(&kind);
    HWND window = CreateWindowA(kind.lpszClassName, "KOV 3.0i", WS_OVERLAPPEDWINDOW, 60, 60, 520,
                                320, NULL, NULL, instance, NULL);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    if (closeAfter) SetTimer(window, CLOSE_TIMER, closeAfter, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
