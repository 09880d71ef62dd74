// Times the install step alone: the package carried by this image (kovpack --stub), its
// script read as the setup reads it, the frame window up, then InstallFiles into DEST with
// the progress dialog, the decompression library and every per-entry step of the setup.
// The clock is read around the call, outside the log (which has no time stamps).
//
// usage: installstep.exe DEST RESULT
// RESULT receives one line "install_s=SECONDS ok=0|1 error=N" and the run's trace after it.
#include <windows.h>
#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "install/decompress.h"
#include "install/install.h"
#include "package/package.h"
#include "setup/entry.h"
#include "ui/frame.h"

namespace {

// Splits the command line into at most two arguments, quotes allowed.
int SplitArgs(const char* line, char* a, char* b, unsigned size) {
    char* out[2] = {a, b};
    int n = 0;
    while (*line && n < 2) {
        while (*line == ' ') line++;
        if (!*line) break;
        char quote = *line == '"' ? *line++ : ' ';
        unsigned k = 0;
        while (*line && *line != quote) {
            if (k + 1 < size) out[n][k++] = *line;
            line++;
        }
        if (*line) line++;
        out[n++][k] = 0;
    }
    return n;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    char dest[260], result[260];
    if (SplitArgs(commandLine, dest, result, sizeof dest) != 2) return 2;
    SetupInstance = instance;
    GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
    if (!OpenPackageAndScript()) return 3;
    if (!CreateFrameWindow(InstallSettings.FrameTitle)) return 4;
    CopyText(InstallSettings.DestDir, dest, sizeof InstallSettings.DestDir);

    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    int ok = InstallFiles();
    QueryPerformanceCounter(&t1);

    ClosePackage();
    DestroyFrameWindow();
    // Plain Win32 output, so that the driver carries no more runtime than the setup does.
    HANDLE f = CreateFileA(result, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return 5;
    LONGLONG us = (t1.QuadPart - t0.QuadPart) * 1000000 / frequency.QuadPart;
    char line[100];
    int n = wsprintfA(line, "install_s=%lu.%06lu ok=%d error=%u\r\n", (unsigned long)(us / 1000000),
                      (unsigned long)(us % 1000000), ok, (unsigned)SetupError);
    DWORD written;
    WriteFile(f, line, (DWORD)n, &written, NULL);
    if (LogTraceText()) WriteFile(f, LogTraceText(), LogTraceUsed(), &written, NULL);
    CloseHandle(f);
    return ok ? 0 : 1;
}
