// machinfo.exe: prints what a program sees of the machine it runs on, one "name=value" line
// each, to its standard output: version, code page, screen, drives, folders, serial ports.
// The machine check compares them with what the users' PCs have.
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

static void Put(const char* name, const char* value)
{
    char line[1024];
    int n = snprintf(line, sizeof line, "%s=%s\n", name, value);
    if (n < 0) return;
    if (n >= (int)sizeof line) n = sizeof line - 1;
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, n, &written, NULL);
}

static void PutNumber(const char* name, unsigned long value, bool hex = false)
{
    char b[32];
    snprintf(b, sizeof b, hex ? "0x%08lX" : "%lu", value);
    Put(name, b);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char b[MAX_PATH + 1], name[64];
    PutNumber("version", GetVersion(), true);
    OSVERSIONINFOA v;
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    PutNumber("platform", v.dwPlatformId);
    snprintf(b, sizeof b, "%lu.%lu.%lu", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber & 0xFFFF);
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
        char root[4] = { (char)('A' + i), ':', '\\', 0 };
        snprintf(name, sizeof name, "drive.%c", 'A' + i);
        PutNumber(name, GetDriveTypeA(root));
    }
    static const struct { const char* name; int csidl; } folders[] = {
        { "Desktop", CSIDL_DESKTOPDIRECTORY }, { "Start Menu", CSIDL_STARTMENU },
        { "Programs", CSIDL_PROGRAMS }, { "Startup", CSIDL_STARTUP },
    };
    for (const auto& f : folders) {
        snprintf(name, sizeof name, "folder.%s", f.name);
        if (!SHGetSpecialFolderPathA(NULL, b, f.csidl, FALSE)) strcpy(b, "?");
        Put(name, b);
    }
    for (int i = 1; i <= 4; i++) {
        snprintf(b, sizeof b, "COM%d", i);
        HANDLE h = CreateFileA(b, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        snprintf(name, sizeof name, "port.COM%d", i);
        Put(name, h == INVALID_HANDLE_VALUE ? "absent" : "present");
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    return 0;
}
