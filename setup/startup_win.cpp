// The start-up sequence: from the package to the end of the run. A copy started from a
// CD-ROM moves to a temporary copy first, so that the disc can be changed later on.
#include "setup/startup.h"

#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "desktop/desktop.h"
#include "migrate/platform.h"
#include "modem/modem.h"
#include "package/package.h"
#include "res/resource.h"
#include "setup/answers.h"
#include "setup/closing.h"
#include "setup/driver.h"
#include "sys/sys.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

enum {
    SHOW_NORMAL_EXEC = 5,
    EXEC_STARTED = 32,
    FAST_PROCESSOR = 586,
    ENOUGH_MEMORY = 15000000,
    KOV_FOLDER_CHARS = 5,  // the edition's folder on the disc, "KOV95"
};

static const char kTempName[] = "setupthp.exe";
static const char kRecycled[] = "C:\\RECYCLED";

int CopySelfToTemp(char* pathOut) {
    char folder[MAX_PATH_TEXT];
    if (PathExists(kRecycled)) {
        CopyText(folder, "C:\\RECYCLED\\", sizeof folder);
    } else {
        DWORD n = GetTempPathA(FOLDER_TEXT_BYTES, folder);
        if (n == 0 || n >= FOLDER_TEXT_BYTES) folder[0] = 0;
    }
    char path[300];
    Format(path, sizeof path, "%s%s%s", folder,
           folder[0] && folder[strlen(folder) - 1] != '\\' ? "\\" : "", kTempName);
    if (strlen(path) >= MAX_PATH_TEXT) return SetFatal(FATAL_TARGET_CREATE);

    SysFile target = SysCreate(path);
    if (!target) {
        LogPrintf("Cannot create %s", path);
        return SetFatal(FATAL_TARGET_CREATE);
    }
    // The image is everything before the package.
    PackageEntry* image = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + 1);
    memset(image, 0, sizeof(PackageEntry) + 1);
    image->storedSize = image->installedSize = PackageOffset;
    int copied = CopyEntryToFile(target, image, nullptr, 0);
    MemFree(image);
    if (!SysClose(target)) {
        SysDelete(path);
        return SetFatal(FATAL_TARGET_CLOSE);
    }
    if (!copied) {
        SysDelete(path);
        return 0;
    }
    CopyText(pathOut, path, MAX_PATH_TEXT);
    return 1;
}

// 1 when this run has handed over to a temporary copy of itself and must end now.
static int RelaunchFromTemp(void) {
    char module[MAX_PATH_TEXT] = "";
    DWORD n = GetModuleFileNameA(NULL, module, FOLDER_TEXT_BYTES);
    if (n == 0 || n >= FOLDER_TEXT_BYTES) return 0;
    CharUpperA(module);
    if (InstallFileGiven) return 0;
    int fromCd = module[0] >= 'A' && module[0] <= 'Z' && IsCdRomDrive(module[0] - 'A');
    if (!fromCd && !InstallSettings.AlwaysCopyToTemp) return 0;

    char copy[MAX_PATH_TEXT];
    // A declined disk-full retry of the copy notes a cancel, the Windows 3.1 offer and, when
    // unattended, a stop of the run: none of it concerns the install that goes on from here,
    // which would otherwise end in that offer or in the code of a cancel.
    uint32_t abort = UserAbort, fallback = OfferWin31Fallback, stop = RunStopCode;
    if (!CopySelfToTemp(copy)) {
        // The install can go on from where it was started; a number left here would be
        // reported at the end of an install that worked.
        LogPrintf("Temporary copy failed (error %u); going on from %s", (unsigned)SetupError,
                  module);
        SetupError = 0;
        UserAbort = abort;
        OfferWin31Fallback = fallback;
        RunStopCode = stop;
        return 0;
    }
    // Both paths are quoted when they hold a blank: the copy would otherwise start as the
    // first word of its path, and read the package path only up to its first blank.
    const char* copyQuote = strchr(copy, ' ') ? "\"" : "";
    const char* fileQuote = strchr(InstallFile, ' ') ? "\"" : "";
    char command[1024];
    int length =
        Format(command, sizeof command, "%s%s%s -T %lu -X %s%s%s %s", copyQuote, copy, copyQuote,
               (unsigned long)PackageOffset, fileQuote, InstallFile, fileQuote, CommandLineCopy);
    if (length < 0 || length >= (int)sizeof command - 1) {
        // A cut command would name another package, or lose options.
        LogPrintf("Relaunch command too long; going on from %s", module);
        SysDelete(copy);
        return 0;
    }
    LogPrintf("Relaunching %s", command);
    if (UnattendedMode) {
        // A script waits for this process: it waits for the copy and ends with its code.
        DWORD code = 0;
        if (RunAndWait(command, &code)) {
            QuitRequested = 1;
            SetupExitCode = code;
            return 1;
        }
    } else if (WinExec(command, SHOW_NORMAL_EXEC) >= EXEC_STARTED) {
        QuitRequested = 1;
        SetupExitCode = EXIT_RELAUNCHED;
        return 1;
    }
    LogPrintf("Relaunch failed; going on from %s", module);
    return 0;
}

int RunAndWait(char* command, unsigned long* exitCode) {
    HANDLE process = SysStartProgram(nullptr, command, SHOW_NORMAL_EXEC, 0, 0, nullptr);
    if (!process) {
        LogPrintf("Could not start %s: error %lu", command, (unsigned long)GetLastError());
        return 0;
    }
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    int got = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (!got) return 0;
    *exitCode = code;
    return 1;
}

// The Windows 3.1 edition's setup, beside this program's folder on the disc.
static void StartWin31Setup(void) {
    char folder[MAX_PATH_TEXT];
    GetDirPart(folder, InstallFile);
    size_t n = strlen(folder);
    folder[n > KOV_FOLDER_CHARS ? n - KOV_FOLDER_CHARS : 0] = 0;
    char path[300];
    Format(path, sizeof path, "%s%s", folder, LoadMessage(1, IDS_WIN31_SETUP));
    LogPrintf("Executing app: %s", path);
    if (HANDLE process = RunProgram(path, nullptr, 1)) CloseHandle(process);
}

// What the two machine questions share: one button starts the Windows 3.1 edition's setup,
// Cancel quits; either ends this run.
static void TakeEditionAnswer(int answer, int otherEdition) {
    if (answer == otherEdition) {
        LogPrintf("User chose the Windows 3.1 edition");
        StartWin31Setup();
        QuitRequested = 1;
    } else if (answer == ID_CANCEL) {
        LogPrintf("User exit");
        QuitRequested = 1;
    }
}

static void CheckMachine(void) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    MEMORYSTATUS memory = {};
    memory.dwLength = sizeof memory;
    GlobalMemoryStatus(&memory);
    LogPrintf("Processor %lu, memory %lu", (unsigned long)system.dwProcessorType,
              (unsigned long)memory.dwTotalPhys);
    if (system.dwProcessorType < FAST_PROCESSOR || memory.dwTotalPhys < ENOUGH_MEMORY)
        TakeEditionAnswer(Seat.runDialog(IDD_SLOWMACHINE, nullptr), ID_OK);
    if (QuitRequested) return;
    TakeEditionAnswer(Seat.runDialog(IDD_WIN95DISK, nullptr), ID_OTHEREDITION);
}

static void CheckBrowserAndSystem(void) {
    if (InstallSettings.RequiredBrowserBuild != 0 && !InstallSettings.BrowserInstallers.count) {
        ReadBrowserBuild();
        if (InstalledBrowserBuild < InstallSettings.RequiredBrowserBuild) {
            LogPrintf("Required MSIE not present");
            ShowError(Message(IDS_BROWSER_NEEDED));
            StopRun(EXIT_REFUSED);
            QuitRequested = 1;
        }
    }
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32s) {
        LogPrintf("Win32s: not supported");
        ShowError(Message(IDS_NEEDS_WIN95));
        StopRun(EXIT_REFUSED);
        QuitRequested = 1;
    } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        LogPrintf("Windows NT: not supported");
        ShowError(Message(IDS_NOT_ON_NT));
        StopRun(EXIT_REFUSED);
        QuitRequested = 1;
    }
}

void StartupSequence(void) {
    RegisterDdeClientClass();

    if (SetupError == 0 && OpenPackage() && !QuitRequested && ReadInstallScript()) {
        if (RelaunchFromTemp()) return;
        if (CreateFrameWindow(InstallSettings.FrameTitle)) {
            if (OfferWin31Choice && !QuitRequested) CheckMachine();
            if (!QuitRequested) CheckBrowserAndSystem();
            if (!QuitRequested) InstallDriver();
        }
    }
    ClosingPhase();
}
