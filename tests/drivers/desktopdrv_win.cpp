// desktopdrv.exe: runs the desktop steps of the setup on the test machine the way the install
// driver and the migration run them, for the end-to-end tests. Each line the steps log goes
// at once to C:\setup.log (crash mode), which each run starts afresh.
//
//   desktopdrv.exe group SERVICE GROUP TITLE COMMAND   the DDE conversation alone, with the
//                                                      service name given; exit 1 on success
//   desktopdrv.exe final DESTDIR GROUP TITLE           the install's last step: the group with
//                                                      DESTDIR\KOV.EXE, then the shortcut in
//                                                      Programs\GROUP; exit: the step's result
//   desktopdrv.exe dialog DESTDIR TITLE                dialog 217 over the frame; exit: its result
//   desktopdrv.exe resolve LINKFILE                    prints the shortcut's target and
//                                                      description (UTF-8); exit 0 when read
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <stdio.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "desktop/desktop.h"
#include "install/destination.h"
#include "ui/frame.h"

static void SetUp(const char* destDir, const char* group, const char* title) {
    ResetRunState();
    CrashMode = 1;
    CopyText(InstallSettings.DestDir, destDir, sizeof InstallSettings.DestDir);
    CopyText(InstallSettings.GroupName, group, sizeof InstallSettings.GroupName);
    CopyText(InstallSettings.ItemTitle, title, sizeof InstallSettings.ItemTitle);
    RegisterDdeClientClass();
}

static void Print(const WCHAR* label, const WCHAR* text) {
    char utf8[1024];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    char wlabel[32];
    WideCharToMultiByte(CP_UTF8, 0, label, -1, wlabel, sizeof wlabel, NULL, NULL);
    printf("%s=%s\n", wlabel, utf8);
}

static int Resolve(const WCHAR* linkFile) {
    CoInitialize(NULL);
    IShellLinkW* link = NULL;
    int status = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   (void**)&link))) {
        IPersistFile* file = NULL;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
            WCHAR target[MAX_PATH] = L"", description[MAX_PATH] = L"";
            if (SUCCEEDED(file->Load(linkFile, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetDescription(description, MAX_PATH))) {
                Print(L"target", target);
                Print(L"description", description);
                status = 0;
            }
            file->Release();
        }
        link->Release();
    }
    fflush(stdout);
    CoUninitialize();
    return status;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    WCHAR** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 3 && !lstrcmpW(wargv[1], L"resolve")) return Resolve(wargv[2]);
    // The steps take ANSI texts, as the setup has them.
    char argv[6][260] = {};
    for (int i = 0; i < argc && i < 6; i++)
        WideCharToMultiByte(CP_ACP, 0, wargv[i], -1, argv[i], sizeof argv[i], NULL, NULL);
    const char* command = argv[1];

    if (argc == 6 && !lstrcmpA(command, "group")) {
        SetUp("C:\\", argv[3], argv[4]);
        BOOL done = CreateProgramGroupWith(argv[2], argv[3], argv[4], argv[5]);
        LogPrintf("Group result %d", done);
        return done;
    }
    if (argc == 5 && !lstrcmpA(command, "final")) {
        SetUp(argv[2], argv[3], argv[4]);
        if (!CreateFrameWindow("Installation")) return 100;
        char program[260];
        CreateProgramGroup(InstallSettings.GroupName, ClientItemTitle(),
                           DestPath(program, "KOV.EXE"));
        int done = CreateProgramsShortcut();
        LogPrintf("Programs shortcut result %d", done);
        DestroyFrameWindow();
        return done;
    }
    if (argc == 4 && !lstrcmpA(command, "dialog")) {
        SetUp(argv[2], "", argv[3]);
        if (!CreateFrameWindow("Installation")) return 100;
        int result = RunShortcutDialog();
        LogPrintf("Shortcut dialog result %d", result);
        DestroyFrameWindow();
        return result;
    }
    return 99;
}
