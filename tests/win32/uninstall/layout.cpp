// kovlayout.exe DEST UNINSTALLER: lays out an installed client on the test machine the way
// the setup's steps do, noting each thing in the install record through the same calls, and
// writes the record. The uninstaller's end-to-end test takes it back.
#include <windows.h>
#include <string.h>
#include <initializer_list>

#include "base/globals.h"
#include "base/installrec.h"
#include "base/path.h"
#include "migrate/registration.h"
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
    RegisterUninstall();

    char programs[260] = "";
    RegistryGetString(HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      "Programs", programs, sizeof programs, 0);
    if (programs[0]) {
        RecordGroup("KOV");
        AppendText(programs, "\\KOV", sizeof programs);
        MakePathRecorded(programs);
        AppendText(programs, "\\KOV 3.0i avec IE 4.0.lnk", sizeof programs);
        HANDLE f = CreateFileA(programs, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(f);
        RecordShortcut(programs);
    }
    Put("setup.log", "Installing files\r\n");
    return WriteInstallRecord(InstallSettings.DestDir, InstallSettings.DestDir) ? 0 : 1;
}
