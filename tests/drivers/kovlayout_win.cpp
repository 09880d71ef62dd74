// kovlayout.exe DEST UNINSTALLER: lays out an installed client on the test machine the way
// the setup's steps do, noting each thing in the install record through the same calls, and
// writes the record. The uninstaller's end-to-end test takes it back.
#include <windows.h>
#include <objbase.h>
#include <string.h>
#include <initializer_list>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "desktop/desktop.h"
#include "install/destination.h"
#include "migrate/registration.h"
#include "record/installrec.h"
#include "registry/registry.h"

namespace {

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";
const char SOUND_KEY[] = "AppEvents\\Schemes\\Apps\\.Default\\KovMail\\.current";

void Put(const char* name, const char* data) {
    char path[260];
    DestPath(path, name);
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, data, (DWORD)strlen(data), &written, nullptr);
    CloseHandle(f);
    RecordFile(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    CopyText(InstallSettings.DestDir, argv[1], sizeof InstallSettings.DestDir);
    char path[260];
    MakePathRecorded(InstallSettings.DestDir);
    for (const char* folder : {"IDB", "DOWNLOAD", "ORGANIZE", "SPOOL", "TOOL"})
        MakePathRecorded(DestPath(path, folder));
    Put("KOV.EXE", "client");
    Put("KOVRT32.DLL", "runtime");
    Put("IDB\\MAIN.IDX", "records");
    Put("TOOL\\MAIL.KOV", "tool");
    Put("GOTO.INI", "[goto]\r\n");
    DestPath(path, "RM_KOV.EXE");
    CopyFileA(argv[2], path, FALSE);
    RecordFile(path);
    for (const char* folder : {"IDB", "DOWNLOAD", "ORGANIZE"})
        RecordUserData(DestPath(path, folder));

    NoteProfileValue("WKOV", "Installed");
    WriteProfileStringA("WKOV", "Installed", "US");
    NoteProfileValue("WKOV", "AppPath");
    WriteProfileStringA("WKOV", "AppPath", InstallSettings.DestDir);
    NoteRegistryValue(HKEY_LOCAL_MACHINE, CLIENT_KEY, "AppPath");
    RegistryUpdateString(HKEY_LOCAL_MACHINE, CLIENT_KEY, "AppPath", InstallSettings.DestDir);
    NoteRegistryValue(HKEY_CURRENT_USER, CLIENT_KEY, "AppPath");
    RegistryUpdateString(HKEY_CURRENT_USER, CLIENT_KEY, "AppPath", InstallSettings.DestDir);
    NoteRegistryValue(HKEY_CURRENT_USER, SOUND_KEY, nullptr);
    RegistryUpdateString(HKEY_CURRENT_USER, SOUND_KEY, nullptr, DestPath(path, "MAIL.WAV"));
    SetRapidWebDefault();
    MergeHelpContents();
    // The uninstall entry keeps the group's name: the only group the uninstaller may delete.
    CopyText(InstallSettings.GroupName, "KOV", sizeof InstallSettings.GroupName);
    CopyText(InstallSettings.ItemTitle, "KOV 3.0i avec IE 4.0", sizeof InstallSettings.ItemTitle);
    RegisterUninstall();

    // The group through the shell's Program Manager service, and the shortcuts.
    CoInitialize(nullptr);
    RegisterDdeClientClass();
    CreateProgramGroup(InstallSettings.GroupName, InstallSettings.ItemTitle,
                       DestPath(path, "KOV.EXE"));
    CreateProgramsShortcut();
    char desktop[SHELL_PATH_SIZE];
    if (GetShellFolder(desktop, SHELL_DESKTOP))
        CreateClientShortcut(InstallSettings.DestDir, desktop, "KOV.EXE", SHORTCUT_PLAIN);
    RecordFile(DestPath(path, "setup.log"));
    int written = WriteInstallRecord(InstallSettings.DestDir, InstallSettings.DestDir);
    LogFlush();
    return written ? 0 : 1;
}
