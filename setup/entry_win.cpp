// The program's run: refuses to start twice or beside a running client, reads the command
// line and logs the options, then goes on with the start-up sequence.
#include "setup/entry.h"

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "package/package.h"
#include "setup/answers.h"
#include "setup/connect.h"
#include "setup/fatal.h"
#include "setup/options.h"
#include "setup/startup.h"

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

    // Read before anything is asked: an unattended run must not wait on the message below.
    ParseCommandLine(commandLine);
    ConnectRun(UnattendedMode);

    if (HWND other = FindWindowA("_KOVSETUP_Frame", NULL)) {
        SetForegroundWindow(other);
        // An unattended run leaves its log even here; a user's run ends without a word, as
        // before its command line was read (no crash-mode log either).
        if (UnattendedMode) LogPrintf("Another setup is running");
        SetupExitCode = EXIT_REFUSED;
        LogFlush();
        return 0;
    }
    if (IsWindowClassPresent("KOV Frame") || IsWindowClassPresent("KOV Frame25") ||
        GetModuleHandleA(LoadCaption(IDS_CLIENT_MODULE)) != NULL) {
        if (UnattendedMode) LogPrintf("The client is running");
        ShowError(Message(IDS_CLIENT_RUNNING));
        SetupExitCode = EXIT_REFUSED;
        LogFlush();
        return 0;
    }

    GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
    CopyText(CommandLineCopy, commandLine, sizeof CommandLineCopy);

    if (CrashMode) LogPrintf("Opt: Crash mode");
    if (SkipModem) LogPrintf("Opt: Skip modem");
    if (InstallFileGiven) LogPrintf("Opt: Install file = %s", InstallFile);
    if (UnattendedMode) {
        LogPrintf("Opt: Unattended, answers from %s", AnswerFile[0] ? AnswerFile : "the defaults");
        // A bad answer file ends the run before anything is done; the closing phase still
        // writes the log.
        if (AnswerFile[0] && !ReadAnswerFile(AnswerFile)) {
            StopRun(EXIT_BAD_ANSWERS);
            QuitRequested = 1;
        }
        ApplyAnswerOptions();
    }

    StartupSequence();
    return 0;
}
