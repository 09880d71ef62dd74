// installrun.exe: the install step alone, over the frame window, for the end-to-end tests and
// the benchmark. It opens a bare package, reads its script and runs InstallFiles into the
// given folder with the progress dialog, then writes the log where it is told.
//   installrun.exe PACKAGE DESTDIR LOGFILE [--continuation]
// KOV_LABEL_PAUSE_MS in the environment holds each file label that long, so that a test
// watching the dialog from outside sees the labels go by even when the copy is quick.
// Exit status: 0 installed, 1 stopped by the user, 2 bad arguments, otherwise the fatal
// error number.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "install/install.h"
#include "package/package.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

namespace {

void WriteTrace(const char* path) {
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written;
    if (LogTraceText()) WriteFile(f, LogTraceText(), LogTraceUsed(), &written, NULL);
    CloseHandle(f);
}

DWORD LabelPause;
void (*ShowLabel)(void* dialog, int item, const char* text);

void ShowLabelAndPause(void* dialog, int item, const char* text) {
    ShowLabel(dialog, item, text);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < LabelPause) {
        Seat.pump();
        Sleep(5);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 4) return 2;
    ResetRunState();
    CopyText(InstallFile, __argv[1], sizeof InstallFile);
    InstallFileGiven = 1;
    char pause[16];
    DWORD given = GetEnvironmentVariableA("KOV_LABEL_PAUSE_MS", pause, sizeof pause);
    if (given > 0 && given < sizeof pause) {
        LabelPause = strtoul(pause, NULL, 10);
        ShowLabel = Seat.progressText;
        Seat.progressText = ShowLabelAndPause;
    }
    ContinuationRun = __argc > 4 && strcmp(__argv[4], "--continuation") == 0;
    GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
    int status = 2;
    if (OpenPackage() && ReadInstallScript()) {
        CopyText(InstallSettings.DestDir, __argv[2], sizeof InstallSettings.DestDir);
        CreateFrameWindow(InstallSettings.FrameTitle);
        int ok = InstallFiles();
        status = ok ? 0 : SetupError ? SetupError : 1;
        ClosePackage();
        DestroyFrameWindow();
    } else {
        status = SetupError;
    }
    LogPrintf("installrun ends with %d", status);
    WriteTrace(__argv[3]);
    return status;
}
