// The search and the migration on the test machine: the real search dialog and its buttons,
// the registry, win.ini, the walk of drive C:, and a migration whose traces in the registry,
// the profile and the files are read back raw. Earlier installations are written by the
// test encoder under C:\kovmig, which is removed afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/platform.h"
#include "migrate/platform_win.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "migrate/state.h"
#include "res/resource.h"
#include "tests/dbfile.h"
#include "tests/win32/reg_fixture.h"
#include "tests/win32/ui_testlib.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

using namespace migratetest;

namespace {

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";
const char COMPANY_KEY[] = "SOFTWARE\\Tavelin Online";
const char UNINSTALL_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelin Online";
const char SOUND_KEY[] = "AppEvents\\Schemes\\Apps\\.Default\\KOVIn";
const char SHELL_FOLDERS[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::string folder = path.substr(0, path.rfind('\\'));
    for (size_t at = 3; at <= folder.size(); at++)
        if (at == folder.size() || folder[at] == '\\')
            CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
    DWORD put;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
    CloseHandle(f);
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

bool FileThere(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// An installation: the client program and its main database, stamped at a given DOS date.
void Install(const std::string& folder, const std::vector<Rec>& records, WORD year) {
    WriteBytes(folder + "\\WKOV.EXE", "MZ");
    std::string db = folder + "\\IDB\\MAIN.IDX";
    WriteBytes(db, DbFile(DB_NEW_FORM, DB_ID_MAIN, records));
    SYSTEMTIME st = {year, 6, 0, 15, 12, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE f = CreateFileA(db.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(f, nullptr, nullptr, &ft);
    CloseHandle(f);
}

bool LogHas(const char* text) {
    const char* trace = LogTraceText();
    return trace && strstr(trace, text);
}

class MigrateWin : public ::testing::Test {
protected:
    regtest::Snapshot machineKey, userKey, uninstall, sounds, shellFolders;
    char profileSaved[300] = "";

    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Migration"));
    }
    static void TearDownTestSuite() { DestroyFrameWindow(); }
    void SetUp() override {
        machineKey.Take(HKEY_LOCAL_MACHINE, COMPANY_KEY);
        userKey.Take(HKEY_CURRENT_USER, COMPANY_KEY);
        uninstall.Take(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
        sounds.Take(HKEY_CURRENT_USER, SOUND_KEY);
        shellFolders.Take(HKEY_CURRENT_USER, SHELL_FOLDERS);
        GetProfileStringA("WKOV", "AppPath", "", profileSaved, sizeof profileSaved);
        regtest::DeleteTree(HKEY_LOCAL_MACHINE, COMPANY_KEY);
        WriteProfileStringA("WKOV", nullptr, nullptr);
        LogReset();
        ResetSearchState();
        ResetMigrationState();
        SetupError = 0;
        QuitRequested = UserAbort = 0;
        InstallSettings.ExpectedDbKind = 255;
        InstallSettings.ExpectedDbKindCode = -1;
    }
    void TearDown() override {
        uitest::Stop();
        for (ModelessSlot& slot : ModelessSlots)
            if (slot.templateId) CloseModeless(slot.templateId);
        // The lists above belong to the test, not to the script reader.
        memset(&InstallSettings, 0, sizeof InstallSettings);
        machineKey.Restore();
        userKey.Restore();
        uninstall.Restore();
        sounds.Restore();
        shellFolders.Restore();
        WriteProfileStringA("WKOV", nullptr, nullptr);
        if (profileSaved[0]) WriteProfileStringA("WKOV", "AppPath", profileSaved);
        RemoveTree("C:\\kovmig");
    }
    // Answers the next message box with button, dialog 205 with quitButton, and the shortcut
    // choice (dialog 217) with its OK, the Start-menu box left as it is.
    void Answer(int button, int quitButton = ID_RESUME) {
        uitest::Act([=](HWND window) {
            if (GetDlgItem(window, ID_SKIP)) return false;  // the search dialog itself
            if (GetDlgItem(window, IDC_STARTMENU)) {        // before its texts pass for a box
                shortcutChoices++;
                uitest::Press(window, ID_SHORTCUT_OK);
                return true;
            }
            if (GetDlgItem(window, ID_RESUME)) {  // the quit confirmation
                uitest::Press(window, quitButton);
                return true;
            }
            if (GetDlgItem(window, 0xFFFF)) {  // a message box
                boxes.push_back(uitest::BoxText(window));
                uitest::Press(window, button);
                return true;
            }
            return false;
        });
    }
    std::vector<std::string> boxes;
    int shortcutChoices = 0;
};

TEST_F(MigrateWin, SearchDialogButtons) {
    struct Case {
        const char* what;
        int button;    // pressed in dialog 202
        int answer;    // to the Skip question
        int quitWith;  // in dialog 205
        uint32_t aborted, quit;
    } cases[] = {
        {"Skip, Yes", ID_SKIP, IDYES, 0, 1, 0},
        {"Skip, No", ID_SKIP, IDNO, 0, 0, 0},
        {"Quit, resume", ID_QUIT, 0, ID_RESUME, 0, 0},
        {"Quit, quit", ID_QUIT, 0, ID_QUIT, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SearchState.SearchAbort = 0;
        QuitRequested = 0;
        boxes.clear();
        HWND dialog = OpenModeless(IDD_PREVSEARCH, PrevSearchDlgProc);
        ASSERT_TRUE(dialog);
        Answer(c.answer, c.quitWith);
        uitest::Press(dialog, c.button);
        uitest::Settle(600);
        EXPECT_EQ(c.aborted, SearchState.SearchAbort);
        EXPECT_EQ(c.quit, QuitRequested);
        if (c.button == ID_SKIP) {
            ASSERT_EQ(1u, boxes.size());
            EXPECT_NE(std::string::npos, boxes[0].find("ignorer cette"));
        }
        // Only a click counts: another notification from the button does nothing.
        SearchState.SearchAbort = 0;
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_SKIP, 1), 0);
        EXPECT_EQ(0u, SearchState.SearchAbort);
        uitest::Stop();
        CloseModeless(IDD_PREVSEARCH);
    }
}

TEST_F(MigrateWin, SearchThroughRegistryProfileAndDrive) {
    Install("C:\\kovmig\\named", {Names({"Jean"}), Number(GID_PORT, 3)}, 2029);
    Install("C:\\kovmig\\disk\\KOV", {Names({"Marie"}), Number(GID_PORT, 4)}, 2030);
    struct Case {
        const char* what;
        bool registry, profile;
        const char* expect;
    } cases[] = {
        {"registry", true, false, "C:\\kovmig\\named"},
        {"profile", false, true, "C:\\kovmig\\named"},
        {"walk of C:", false, false, "C:\\kovmig\\disk\\KOV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        regtest::DeleteTree(HKEY_LOCAL_MACHINE, COMPANY_KEY);
        WriteProfileStringA("WKOV", nullptr, nullptr);
        if (c.registry)
            regtest::PutString(HKEY_LOCAL_MACHINE, CLIENT_KEY, "AppPath", "C:\\kovmig\\named");
        if (c.profile) WriteProfileStringA("WKOV", "AppPath", "C:\\kovmig\\named");
        LogReset();
        char folder[257] = "";
        ModemSettingsT settings = {};
        ASSERT_EQ(1, PreviousVersionSearch(folder, &settings));
        EXPECT_STREQ(c.expect, folder);
        EXPECT_EQ(c.registry || c.profile ? 3 : 4, settings.port);
        EXPECT_EQ(c.registry || c.profile, LogHas("AppPath = C:\\kovmig\\named"));
        EXPECT_EQ(0, ModelessSlots[0].templateId);  // dialog 202 is closed again
    }
}

TEST_F(MigrateWin, SkipDuringTheWalk) {
    // Enough folders that the walk is still running when the user reacts.
    for (int i = 0; i < 300; i++)
        CreateDirectoryA(("C:\\kovmig\\many" + std::to_string(i / 20)).c_str(), nullptr),
            CreateDirectoryA(
                ("C:\\kovmig\\many" + std::to_string(i / 20) + "\\f" + std::to_string(i)).c_str(),
                nullptr);
    Install("C:\\kovmig\\disk\\KOV", {Names({"Marie"})}, 1999);
    uitest::Act([this](HWND window) {
        if (GetDlgItem(window, ID_SKIP)) {  // the search dialog, while it walks
            uitest::Press(window, ID_SKIP);
            return true;
        }
        if (GetDlgItem(window, 0xFFFF)) {  // the question that follows
            boxes.push_back(uitest::BoxText(window));
            uitest::Press(window, IDYES);
            return true;
        }
        return false;
    });
    char folder[257] = "x";
    EXPECT_EQ(0, PreviousVersionSearch(folder, nullptr));
    EXPECT_STREQ("", folder);
    EXPECT_TRUE(LogHas("User aborted disk search"));
    EXPECT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, QuitRequested);
}

TEST_F(MigrateWin, MigrationLeavesItsTracesOnTheMachine) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string contents = std::string(windows) + "\\Help\\Windows.cnt";
    std::string savedContents;
    bool hadContents = FileThere(contents.c_str());
    if (hadContents) {
        HANDLE f = CreateFileA(contents.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        char buf[65536];
        DWORD got = 0;
        ReadFile(f, buf, sizeof buf, &got, nullptr);
        CloseHandle(f);
        savedContents.assign(buf, got);
    }
    WriteBytes(contents, ":Base windows.hlp\r\n");

    strcpy(InstallSettings.DestDir, "C:\\kovmig\\new");
    strcpy(InstallSettings.PreviousDir, "C:\\kovmig\\old");
    WriteBytes("C:\\kovmig\\new\\IDB\\MAIN.IDX",
               DbFile(DB_NEW_FORM, DB_ID_MAIN, {Version(3, 0), {0x01000002, "new", TYPE_P}}));
    WriteBytes("C:\\kovmig\\new\\RM_KOV.EXE", "MZ");
    WriteBytes("C:\\kovmig\\new\\KOVIN.WAV", "RIFF");
    WriteBytes("C:\\kovmig\\old\\IDB\\MAIN.IDX",
               DbFile(DB_OLD_FORM, DB_ID_MAIN,
                      {Names({"Jean"}, {"secret"}),
                       Version(4, 1),
                       {0x01000001, "old", TYPE_P},
                       Text(GID_MODEM_NAME, "Modem Rapide (COM2)"),
                       Text(GID_MODEM_PROFILE, "CLASS31.MDM")}));
    char* labels[] = {(char*)"KOVIn"};
    char* files[] = {(char*)"KOVIN.WAV"};
    InstallSettings.SoundEvents = {1, labels, files, nullptr};
    ModemSettings = {2, 6, "CLASS31.MDM", ""};
    // The shortcut choice at the end is the desktop's own dialog: its shortcuts go to
    // folders of the test's.
    strcpy(InstallSettings.ItemTitle, "KOV Double-cliquez");
    CreateDirectoryA("C:\\kovmig\\Bureau", nullptr);
    CreateDirectoryA("C:\\kovmig\\Menu", nullptr);
    regtest::PutString(HKEY_CURRENT_USER, SHELL_FOLDERS, "Desktop", "C:\\kovmig\\Bureau");
    regtest::PutString(HKEY_CURRENT_USER, SHELL_FOLDERS, "Start Menu", "C:\\kovmig\\Menu");
    Answer(IDYES);

    ASSERT_EQ(1, MigrateInstallation());
    uitest::Stop();
    EXPECT_EQ(1, shortcutChoices);
    EXPECT_TRUE(FileThere("C:\\kovmig\\Bureau\\KOV Double-cliquez.lnk"));
    EXPECT_TRUE(FileThere("C:\\kovmig\\Menu\\KOV .lnk"));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].find("DOWNLOAD"));
    EXPECT_EQ(1u, MigrationState.MoveOldDownloads);
    EXPECT_EQ(1u, MigrationState.SettingsTransferred);

    using regtest::ReadValue;
    EXPECT_EQ("C:\\kovmig\\new", ReadValue(HKEY_LOCAL_MACHINE, CLIENT_KEY, "AppPath").Text());
    EXPECT_EQ("C:\\kovmig\\new", ReadValue(HKEY_CURRENT_USER, CLIENT_KEY, "AppPath").Text());
    char text[300];
    GetProfileStringA("WKOV", "AppPath", "", text, sizeof text);
    EXPECT_STREQ("C:\\kovmig\\new", text);
    GetProfileStringA("WKOV", "Installed", "", text, sizeof text);
    EXPECT_STREQ("US", text);
    EXPECT_EQ("C:\\kovmig\\new\\KOVIN.WAV",
              ReadValue(HKEY_CURRENT_USER, std::string(SOUND_KEY) + "\\.current", nullptr).Text());
    EXPECT_EQ("C:\\kovmig\\new\\RM_KOV.EXE",
              ReadValue(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString").Text());

    RecordDb* db = nullptr;
    ASSERT_EQ(0, DbOpen("C:\\kovmig\\new\\IDB\\MAIN.IDX", &db));
    char name[80] = "";
    EXPECT_STREQ("Modem Rapide", DbReadText(db, GID_MODEM_NAME, name, sizeof name));
    uint16_t length = 0;
    char* art = (char*)DbReadRecord(db, 0x01000001, nullptr, &length);
    ASSERT_TRUE(art);
    EXPECT_EQ(std::string("old"), std::string(art, length));
    EXPECT_EQ('p', DbFindEntry(db, 0x01000001)->header.flags & 0xFF);
    MemFree(art);
    EXPECT_EQ(6u, DbReadNumber(db, GID_SPEED_INDEX));
    EXPECT_EQ(2u + 5 + 7, DbRecordLength(db, 0x14000032));  // Jean, secret
    DbClose(db);

    HANDLE f = CreateFileA(contents.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    char merged[4096];
    DWORD got = 0;
    ReadFile(f, merged, sizeof merged, &got, nullptr);
    CloseHandle(f);
    EXPECT_EQ(":Base windows.hlp\r\n:Index Tavelin Online Help=kov95f.hlp\r\n:Link kov95f.hlp\r\n"
              ":include kov95f.cnt\r\n",
              std::string(merged, got));

    if (hadContents) WriteBytes(contents, savedContents);
    else DeleteFileA(contents.c_str());
}

}  // namespace
