// machinfo.exe: prints what a program sees of the machine it runs on, one "name=value" line
// each, to its standard output: version, code page, screen, drives, folders, serial ports.
// The machine check compares them with what the users' PCs have.
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

// Values are ANSI texts of the machine; the host reads UTF-8.
static void Put(const char* name, const char* ansi) {
    wchar_t wide[MAX_PATH + 1];
    char value[3 * MAX_PATH + 1], line[1024];
    if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, MAX_PATH + 1) ||
        !WideCharToMultiByte(CP_UTF8, 0, wide, -1, value, sizeof value, NULL, NULL))
        strcpy(value, "?");
    int n = snprintf(line, sizeof line, "%s=%s\n", name, value);
    if (n < 0) return;
    if (n >= (int)sizeof line) n = sizeof line - 1;
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, n, &written, NULL);
}

static void PutNumber(const char* name, unsigned long value, bool hex = false) {
    char b[32];
    snprintf(b, sizeof b, hex ? "0x%08lX" : "%lu", value);
    Put(name, b);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char b[MAX_PATH + 1], name[64];
    PutNumber("version", GetVersion(), true);
    OSVERSIONINFOA v;
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    PutNumber("platform", v.dwPlatformId);
    snprintf(b, sizeof b, "%lu.%lu.%lu", v.dwMajorVersion, v.dwMinorVersion,
             v.dwBuildNumber & 0xFFFF);
    Put("release", b);
    PutNumber("acp", GetACP());
    GetWindowsDirectoryA(b, sizeof b);
    Put("windir", b);
    GetSystemDirectoryA(b, sizeof b);
    Put("sysdir", b);
    GetTempPathA(sizeof b, b);
    Put("temp", b);
    HDC dc = GetDC(NULL);
    snprintf(b, sizeof b, "%dx%dx%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
             GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES));
    ReleaseDC(NULL, dc);
    Put("screen", b);
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; i++) {
        if (!(drives & (1u << i))) continue;
        char root[4] = {(char)('A' + i), ':', '\\', 0};
        snprintf(name, sizeof name, "drive.%c", 'A' + i);
        PutNumber(name, GetDriveTypeA(root));
    }
    static const struct {
        const char* name;
        int csidl;
    } folders[] = {
        {"Desktop", CSIDL_DESKTOPDIRECTORY},
        {"Start Menu", CSIDL_STARTMENU},
        {"Programs", CSIDL_PROGRAMS},
        {"Startup", CSIDL_STARTUP},
    };
    for (const auto& f : folders) {
        snprintf(name, sizeof name, "folder.%s", f.name);
        if (!SHGetSpecialFolderPathA(NULL, b, f.csidl, FALSE)) strcpy(b, "?");
        Put(name, b);
    }
    // The table setup reads itself, besides what the shell answers.
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        static const char* values[] = {"Desktop", "Start Menu", "Programs", "Startup"};
        for (const char* v : values) {
            DWORD type, size = sizeof b - 1;
            if (RegQueryValueExA(key, v, NULL, &type, (BYTE*)b, &size) != ERROR_SUCCESS)
                strcpy(b, "?");
            b[sizeof b - 1] = 0;
            snprintf(name, sizeof name, "shell.%s", v);
            Put(name, b);
        }
        RegCloseKey(key);
    }
    // absent: cannot be opened; dead: opens but is no serial line; line: a serial line.
    for (int i = 1; i <= 4; i++) {
        snprintf(b, sizeof b, "COM%d", i);
        HANDLE h = CreateFileA(b, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        snprintf(name, sizeof name, "port.COM%d", i);
        DCB dcb;
        dcb.DCBlength = sizeof dcb;
        Put(name, h == INVALID_HANDLE_VALUE ? "absent" : GetCommState(h, &dcb) ? "line" : "dead");
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    return 0;
}
