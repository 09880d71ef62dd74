// The closing phase: what runs after the wizard (or after a start-up check ended the run).
// On a completed install the version file, the network adapter library, the browser
// installers, the add-ons and the next diskette; then the closing notice and the restart
// question; in every case the Windows 3.1 fallback offer, the fatal-error report, the log,
// the end of restsys.bat, and the restart or the client.
#include "setup/closing.h"

#include <stdlib.h>
#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "desktop/desktop.h"
#include "install/sysfiles.h"
#include "migrate/migrate.h"
#include "migrate/state.h"
#include "package/package.h"
#include "registry/registry.h"
#include "res/resource.h"
#include "setup/answers.h"
#include "setup/driver.h"
#include "setup/fatal.h"
#include "sys/sys.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

enum {
    WAIT_SLICE_MS = 500,
    BROWSER_WARNING_FIRST = 1215,  // builds that need the warning program, first and last
    BROWSER_WARNING_LAST = 1300,
    SHOW_NORMAL_EXEC = 5,
    EXEC_STARTED = 32,  // the execute call's results from here up mean started
    NETWORK_NO_ANSWER = 2147483647,
};

static const char kBrowserKey[] = "Software\\Microsoft\\Internet Explorer";
static const char kWarningProgram[] = "PPTWARN.EXE";

// FOLDER\NAME of a program to start; 0 (logged) when it does not fit, since a cut path
// would name some other file.
static int ProgramPath(char* out, const char* folder, const char* name) {
    if (Format(out, MAX_PATH, "%s\\%s", folder, name) != (int)(strlen(folder) + 1 + strlen(name))) {
        LogPrintf("Path too long: %s\\%s", folder, name);
        return 0;
    }
    return 1;
}

HANDLE RunProgram(const char* path, const char* arguments, int show) {
    if (!arguments) arguments = "";
    // A path with a blank is quoted: unquoted, "C:\Mes Programmes\X.EXE" would first be
    // looked for as "C:\Mes.exe".
    const char* quote = strchr(path, ' ') ? "\"" : "";
    char command[1024];
    if ((size_t)Format(command, sizeof command, "%s%s%s %s", quote, path, quote, arguments) !=
        strlen(path) + 2 * strlen(quote) + 1 + strlen(arguments)) {
        LogPrintf("Command too long: %s %s", path, arguments);
        return 0;
    }
    HANDLE process = SysStartProgram(nullptr, command, show, DETACHED_PROCESS, 0, nullptr);
    if (!process) LogPrintf("Could not start %s: error %lu", path, (unsigned long)GetLastError());
    return process;
}

void WaitForProgram(HANDLE process) {
    if (!process) return;
    while (WaitForSingleObject(process, WAIT_SLICE_MS) == WAIT_TIMEOUT) {
        PumpMessages();
        if (SessionEnding) {
            LogPrintf("Session ending: no longer waiting");
            break;
        }
    }
    CloseHandle(process);
}

typedef int32_t(__stdcall* NetworkEntry)(int32_t);
typedef int32_t(__stdcall* NetworkCheck)(void);

void InstallNetworkDriver(void) {
    int32_t result = NETWORK_NO_ANSWER;
    char path[MAX_PATH_TEXT];
    JoinPath(path, InstallSettings.DestDir, "insmac32.dll", (const char*)nullptr);

    // The library finds its companions in the current folder.
    char saved[MAX_PATH_TEXT];
    DWORD got = GetCurrentDirectoryA(sizeof saved, saved);
    SetCurrentDirectoryA(InstallSettings.DestDir);
    HMODULE library = LoadLibraryA(path);
    if (got && got < sizeof saved) SetCurrentDirectoryA(saved);
    if (!library) {
        LogPrintf("No network adapter library");
        return;
    }
    if (NetworkEntry f = (NetworkEntry)GetProcAddress(library, "do_not_reboot")) result = f(1);
    if (NetworkEntry f = (NetworkEntry)GetProcAddress(library, "install_kovmac"))
        result = f((int32_t)(intptr_t)FrameWindow);  // the library takes a 32-bit handle
    if (NetworkCheck f = (NetworkCheck)GetProcAddress(library, "check_reboot_flag")) result = f();
    LogPrintf("Network adapter library: %ld", (long)result);
    if (result != 0) {
        LogPrintf("Network adapter library asks for a restart");
        RestartWindows = 1;
    }
    FreeLibrary(library);
}

int ReadBrowserBuild(void) {
    char text[64];
    if (RegistryGetString(HKEY_LOCAL_MACHINE, kBrowserKey, "Build", text, sizeof text, 0) != 0)
        return 0;
    InstalledBrowserBuild = (int32_t)atol(text);
    return 1;
}

static int NeedsBrowserWarning(void) {
    int32_t b = InstallSettings.RequiredBrowserBuild;
    return b >= BROWSER_WARNING_FIRST && b <= BROWSER_WARNING_LAST;
}

// PPTWARN.EXE from the destination, quietly, then gone.
static void RunBrowserWarning(void) {
    char path[MAX_PATH];
    if (!ProgramPath(path, InstallSettings.DestDir, kWarningProgram)) return;
    LogPrintf("Executing app: %s", path);
    WaitForProgram(RunProgram(path, "/Q:a", 1));
    if (!DeleteFileA(path)) LogPrintf("Could not delete %s", path);
}

// The browser installers, one pass after the other while they fail and the user asks for
// another. 1 when the session is ending and the run must stop at once.
static int RunBrowserInstallers(void) {
    const TextList& installers = InstallSettings.BrowserInstallers;
    if (installers.count) {
        int again;
        do {
            again = 0;
            for (unsigned i = 0; i < installers.count; i++) {
                char path[MAX_PATH];
                if (!ProgramPath(path, InstallSettings.DestDir, installers.a[i])) continue;
                LogPrintf("Executing app: %s", path);
                WaitForProgram(RunProgram(path, nullptr, 1));
            }
            char text[64];
            int read = RegistryGetString(HKEY_LOCAL_MACHINE, kBrowserKey, "Build", text,
                                         sizeof text, 0) == 0;
            if (!read || atol(text) != InstallSettings.RequiredBrowserBuild) {
                LogPrintf("MSIE install failed");
                again = AskYesNo(
                    Message(IDS_BROWSER_FAILED, IDS_BROWSER_UNAVAILABLE, IDS_BROWSER_AGAIN));
            } else {
                LogPrintf("MSIE installed: build %ld", atol(text));
            }
        } while (again && !SessionEnding);
    }
    if (NeedsBrowserWarning()) {
        // The warning program must run even while Windows is ending the session.
        uint32_t ending = SessionEnding;
        SessionEnding = 0;
        RunBrowserWarning();
        SessionEnding = ending;
    }
    return SessionEnding ? 1 : 0;
}

static void RunAddOns(void) {
    const TextList& addOns = InstallSettings.AddOnPrograms;
    if (!addOns.count) return;
    if (!AskYesNo(Message(IDS_ASK_ADDONS))) {
        LogPrintf("User declined the add-ons");
        return;
    }
    if (InstallSettings.AskAddOns && Seat.runDialog(IDD_ADDONS, nullptr) != ID_INSTALL) {
        LogPrintf("Add-on selection not confirmed");
        return;
    }
    WriteProfileStringA("WKOV", "Restart", "");
    for (unsigned i = 0; i < addOns.count && i < MAX_ADDON_PROGRAMS; i++) {
        if (AddOnSkipped[i]) continue;
        char path[MAX_PATH];
        if (!ProgramPath(path, InstallSettings.DestDir, addOns.a[i])) continue;
        const char* arguments = addOns.b && addOns.b[i] ? addOns.b[i] : "";
        LogPrintf("Installing addon app: %s %s", path, arguments);
        WaitForProgram(RunProgram(path, arguments, 1));
    }
    char restart[256] = "";
    GetProfileStringA("WKOV", "Restart", "", restart, sizeof restart);
    if (lstrcmpiA(restart, "YES") == 0) {
        LogPrintf("An add-on asks for a restart");
        RestartWindows = 1;
    }
}

static void OfferNextDisk(void) {
    for (;;) {
        int answer = Seat.runDialog(IDD_NEXTDISK, nullptr);
        if (answer == ID_OK) {
            LogPrintf("User installing next disk: %s", InstallSettings.NextDiskProgram);
            NextDiskLaunched = 1;
            char command[600];
            if (!NextDiskCommand(command, sizeof command)) {
                LogPrintf("Next disk command too long");
                continue;
            }
            LogPrintf("Executing %s", command);
            if (WinExec(command, SHOW_NORMAL_EXEC) >= EXEC_STARTED) return;
            LogPrintf("Could not start the next disk");
        } else if (answer == ID_QUIT) {
            NextDiskLaunched = 0;
            LogPrintf("User interrupted before the next disk");
            if (InstallSettings.ContinuationProgram[0]) {
                Seat.runDialog(IDD_INTERRUPTED, nullptr);
                RestartWindows = 0;
            }
            return;
        } else {
            NextDiskLaunched = 0;
            return;
        }
    }
}

// The closing notice and the restart question. 1 when the user (or the answer file) agreed
// to restart now: the only way a run restarts Windows.
static int ShowClosingNotice(void) {
    const InstallSettingsT& s = InstallSettings;
    int restartPending = (s.ClientUpdateMode || s.DeferInUseFiles) && RestartWindows;
    if (!NoDesktopItems) {
        if (s.PreviousDir[0] && MigrationState.SettingsTransferred) {
            Seat.runDialog(IDD_FINISHED_MIGRATED, nullptr);
        } else if (!restartPending) {
            // 221, 222 and 234 have no template in this edition: they show nothing.
            int notice = !s.NextDiskProgram[0] && ContinuationRun ? IDD_CONTINUATION_DONE
                         : s.ClientUpdateMode                     ? IDD_UPDATE_DONE
                                                                  : IDD_FINISHED;
            Seat.runDialog(notice, nullptr);
        }
    }
    if (!RestartWindows) return 0;
    if (s.ClientUpdateMode || s.DeferInUseFiles) {
        if (Seat.runDialog(IDD_RESTART_EN, nullptr) != ID_CONTINUE &&
            !AskYesNo(Message(IDS_RESTART_NOW))) {
            LogPrintf("User postponed the restart");
            RestartWindows = 0;
        }
    } else if (Seat.runDialog(IDD_RESTART, nullptr) != ID_CONTINUE) {
        LogPrintf("User postponed the restart");
        RestartWindows = 0;
    }
    return RestartWindows != 0;
}

static void OfferWin31Edition(void) {
    SetupError = 0;
    if (Seat.runDialog(IDD_WIN31_FALLBACK, nullptr) != ID_YES) {
        LogPrintf("User declined the Windows 3.1 edition");
        return;
    }
    char folder[MAX_PATH_TEXT], path[MAX_PATH];
    GetDirPart(folder, InstallFile);
    if (!ProgramPath(path, folder, InstallSettings.Win31FallbackProgram)) return;
    LogPrintf("Executing app: %s", path);
    if (HANDLE process = RunProgram(path, nullptr, 1)) CloseHandle(process);
}

int ClosingPhase(void) {
    ClosePackage();
    // A restart the install needed, whether or not the user lets it happen now; and whether
    // the user agreed to it. A forced restart closes other programs without saving (and the
    // Windows 3.1 installer started below): never without that answer, so never after a
    // fatal error, a quit or a cancel, nor when the question was not asked at all.
    int restartWanted = 0, restartNow = 0;
    if (QuitRequested != 1 && UserAbort != 1) {
        // After a fatal error nothing was installed (or it was removed again): no version
        // file in an empty or cleaned folder, no library or installer run from it.
        int installed = SetupError == 0 && InstallSettings.DestDir[0];
        if (!installed) LogPrintf("Nothing installed: no version file and no chained programs");
        if (installed && WriteVersionFile == 1) {
            char path[MAX_PATH_TEXT];
            Format(path, sizeof path, "%s\\%s", InstallSettings.DestDir, "VERSION.INF");
            WritePrivateProfileStringA("Application Information", "Application", "kov.exe", path);
            WritePrivateProfileStringA("Application Information", "Version",
                                       InstallSettings.VersionText, path);
            WritePrivateProfileStringA(NULL, NULL, NULL, path);
            LogPrintf("Version file %s written", path);
        }
        if (installed) {
            InstallNetworkDriver();
            ReadBrowserBuild();
            if (InstalledBrowserBuild < InstallSettings.RequiredBrowserBuild) {
                LogPrintf("User needs MSIE to be installed");
                if (RunBrowserInstallers()) {
                    SetupExitCode = RunExitCode(RestartWindows);
                    return 1;
                }
            } else if (NeedsBrowserWarning()) {
                RunBrowserWarning();
            }
        }

        if (SetupError == 0) RunAddOns();
        if ((InstallSettings.NextDiskProgram[0] || InstallSettings.ContinuationProgram[0]) &&
            SetupError == 0)
            OfferNextDisk();
        restartWanted = RestartWindows && !NextDiskLaunched && SetupError == 0;
        if (!NextDiskLaunched && SetupError == 0 && !InstallSettings.ContinuationProgram[0])
            restartNow = ShowClosingNotice();
    } else if (ContinuationRun && !InstallSettings.NoContinuationNotice[0]) {
        if (!NoDesktopItems) Seat.runDialog(IDD_CONTINUATION_NOTE, nullptr);
        SetupError = 0;
    }

    // The offer clears the fatal number, so that no error box follows it; the run failed all
    // the same, and its exit code must not say installed.
    uint16_t failed = SetupError;
    if (OfferWin31Fallback) OfferWin31Edition();
    DestroyFrameWindow();
    LogPrintf("Peak handles = %u", PeakBlocks());
    restartNow = restartNow && RestartWindows && !NextDiskLaunched && QuitRequested != 1 &&
                 UserAbort != 1 && SetupError == 0;
    if (restartNow) LogPrintf("Restarting Windows");
    else if (RestartWindows && !NextDiskLaunched)
        LogPrintf("Windows not restarted: nobody agreed to it");
    // Said again at the end, where whoever reads the log of a failed update looks first.
    if (JournalState.rolledBack)
        LogPrintf("Install rolled back: the earlier installation is as it was");
    // The fatal error, when there is one, stays the log's last line.
    SetupExitCode = failed && !RunStopCode ? failed : RunExitCode(restartWanted);
    LogPrintf("Exit code %lu", (unsigned long)SetupExitCode);
    ReportFatalError();
    LogFlush();
    UnregisterDdeClientClass();
    if (InstallSettings.ClientUpdateMode || InstallSettings.DeferInUseFiles) FinishRestsysBatch();

    // Everything is on disk by now: the system ends this process during the restart.
    if (restartNow) SysRestartWindows();
    if (!RestartWindows && InstallSettings.ClientUpdateMode) {
        char path[MAX_PATH], command[MAX_PATH + 2];
        if (ProgramPath(path, InstallSettings.DestDir, "kov.exe")) {
            const char* quote = strchr(path, ' ') ? "\"" : "";
            Format(command, sizeof command, "%s%s%s", quote, path, quote);
            WinExec(command, SHOW_NORMAL_EXEC);
        }
    }
    QuitRequested = 0;
    return 0;
}
