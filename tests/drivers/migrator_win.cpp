// Runs the earlier-installation search or the migration on the test machine, over the
// frame window, for the end-to-end scripts; the robot plays the user.
//   migrator.exe search                 prints RESULT=, FOLDER=, QUIT=
//   migrator.exe migrate DEST PREVIOUS  prints RESULT=, FATAL=, TRANSFERRED=
//   ... -D                               no desktop items
// Then the log, one line each.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/state.h"
#include "ui/frame.h"

namespace {

void Say(const std::string& line) {
    std::string s = line + "\n";
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), (DWORD)s.size(), &written, NULL);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ResetRunState();
    InstallSettings.ExpectedDbKind = 255;
    InstallSettings.ExpectedDbKindCode = -1;
    for (int i = 1; i < __argc; i++)
        if (!strcmp(__argv[i], "-D")) NoDesktopItems = 1;
    if (!CreateFrameWindow("Configuration de KOV")) return 3;
    int result = -1;
    if (__argc >= 2 && !strcmp(__argv[1], "search")) {
        result = PreviousVersionSearch(InstallSettings.PreviousDir, &ModemSettings);
        Say("RESULT=" + std::to_string(result));
        Say(std::string("FOLDER=") + InstallSettings.PreviousDir);
        Say("QUIT=" + std::to_string(QuitRequested));
    } else if (__argc >= 4 && !strcmp(__argv[1], "migrate")) {
        lstrcpynA(InstallSettings.DestDir, __argv[2], sizeof InstallSettings.DestDir);
        lstrcpynA(InstallSettings.PreviousDir, __argv[3], sizeof InstallSettings.PreviousDir);
        if (!lstrcmpiA(InstallSettings.PreviousDir, "-")) InstallSettings.PreviousDir[0] = 0;
        // The title of the shortcuts the closing shortcut choice makes.
        lstrcpynA(InstallSettings.ItemTitle, "KOV", sizeof InstallSettings.ItemTitle);
        ModemSettings.port = 2;
        ModemSettings.speedIndex = 6;
        result = MigrateInstallation();
        Say("RESULT=" + std::to_string(result));
        Say("FATAL=" + std::to_string(SetupError));
        Say("TRANSFERRED=" + std::to_string(MigrationState.SettingsTransferred));
    }
    DestroyFrameWindow();
    if (const char* trace = LogTraceText()) Say(trace);
    return result < 0 ? 2 : 0;
}
