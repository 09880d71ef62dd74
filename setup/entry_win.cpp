// The program's run: refuses to start twice or beside a running client, reads the command
// line and logs the options, then goes on with the start-up sequence.
#include "setup/entry.h"

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "package/package.h"
#include "setup/fatal.h"
#include "setup/options.h"

HINSTANCE SetupInstance;

int IsWindowClassPresent(const char* className) { return FindWindowA(className, NULL) != NULL; }

int SetupMain(HINSTANCE instance, const char* commandLine) {
    // Give a setup that is just ending (the one that relaunched us) time to go away.
    Sleep(750);

    DWORD version = GetVersion();
    WindowsMajor = LOBYTE(LOWORD(version));
    WindowsMinor = HIBYTE(LOWORD(version));
    NextDiskLaunched = 0;
    SetupInstance = instance;

    if (HWND other = FindWindowA("_KOVSETUP_Frame", NULL)) {
        SetForegroundWindow(other);
        return 0;
    }
    if (IsWindowClassPresent("KOV Frame") || IsWindowClassPresent("KOV Frame25") ||
        GetModuleHandleA(LoadCaption(IDS_CLIENT_MODULE)) != NULL) {
        ShowError(LoadMessage(1, IDS_CLIENT_RUNNING));
        return 0;
    }

    GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
    CopyText(CommandLineCopy, commandLine, sizeof CommandLineCopy);
    ParseCommandLine(commandLine);

    if (CrashMode) LogPrintf("Opt: Crash mode");
    if (SkipModem) LogPrintf("Opt: Skip modem");
    if (InstallFileGiven) LogPrintf("Opt: Install file = %s", InstallFile);

    // The start-up sequence: the package and its install script first. The wizard and the
    // full closing phase build on this; a run ends here for now.
    OpenPackageAndScript();

    ClosePackage();
    ReportFatalError();
    LogFlush();
    return 0;
}
