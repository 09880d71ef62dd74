// System registration on the test machine: the keys and the help contents file it touches
// are the real ones, so each test takes a copy first and puts everything back afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "base/globals.h"
#include "migrate/registration.h"
#include "tests/win32/reg_fixture.h"

using namespace regtest;

namespace {

const char CLIENT_KEY[] = "Software\\Tavelin Online\\KOV\\CurrentVersion";
const char UNINSTALL_ENTRY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelin Online";
const char HELP_LINES[] =
    ":Index Tavelin Online Help=kov95f.hlp\r\n:Link kov95f.hlp\r\n:include kov95f.cnt\r\n";

bool ReadFileText(const std::string& path, std::string* text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    text->clear();
    char buf[4096];
    DWORD got;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) text->append(buf, got);
    CloseHandle(f);
    return true;
}

void WriteFileText(const std::string& path, const std::string& text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
    DWORD put;
    WriteFile(f, text.data(), (DWORD)text.size(), &put, nullptr);
    CloseHandle(f);
}

TEST(Registration, RapidWebDefaultOnlyWhenUnreadable) {
    Snapshot saved;
    saved.Take(HKEY_CURRENT_USER, "Software\\Tavelin Online");

    enum Prior { NO_KEY, NO_VALUE, DWORD_0, DWORD_5, TOO_LONG };
    struct Case {
        Prior prior;
        bool keyAfter;
        DWORD after;
    } cases[] = {
        {NO_KEY, false, 0},  // not created here
        {NO_VALUE, true, 1},
        {DWORD_0, true, 0},  // the user's choice is kept
        {DWORD_5, true, 5},
        {TOO_LONG, true, 1},  // does not fit four bytes: replaced by the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prior);
        DeleteTree(HKEY_CURRENT_USER, "Software\\Tavelin Online");
        DWORD zero = 0, five = 5;
        const char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        if (c.prior != NO_KEY) PutString(HKEY_CURRENT_USER, CLIENT_KEY, "AppPath", "C:\\Kov30I");
        if (c.prior == DWORD_0)
            PutValue(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb", REG_DWORD, &zero, 4);
        if (c.prior == DWORD_5)
            PutValue(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb", REG_DWORD, &five, 4);
        if (c.prior == TOO_LONG)
            PutValue(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb", REG_BINARY, eight, 8);

        SetRapidWebDefault();

        EXPECT_EQ(c.keyAfter, KeyExists(HKEY_CURRENT_USER, CLIENT_KEY));
        if (c.keyAfter) {
            RawValue v = ReadValue(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb");
            ASSERT_TRUE(v.found);
            EXPECT_EQ(4u, v.data.size());
            if (c.prior != DWORD_0 && c.prior != DWORD_5) {
                EXPECT_EQ((DWORD)REG_DWORD, v.type);
            }
            EXPECT_EQ(c.after, *(const DWORD*)v.data.data());
        }
    }
    saved.Restore();
}

TEST(Registration, HelpContentsMergedOnceAndNeverCreated) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string helpDir = std::string(windows) + "\\Help";
    std::string file = helpDir + "\\Windows.cnt";
    bool madeDir = CreateDirectoryA(helpDir.c_str(), nullptr) != 0;
    std::string original;
    bool hadFile = ReadFileText(file, &original);

    const char* absent = nullptr;
    struct Case {
        const char* before;
        int result;
        std::string after;
    } cases[] = {
        {absent, 0, ""},
        {"", 0, ""},
        {":Base windows.hlp\r\n1 Windows\r\n", 1,
         std::string(":Base windows.hlp\r\n1 Windows\r\n") + HELP_LINES},
        // A last line without its line break keeps its own line.
        {":Base windows.hlp", 1, std::string(":Base windows.hlp\r\n") + HELP_LINES},
        // Already merged, wherever the mention stands.
        {":Base windows.hlp\r\n:Include KOV95F.CNT\r\n:include kov95f.cnt\r\n1 End\r\n", 1,
         ":Base windows.hlp\r\n:Include KOV95F.CNT\r\n:include kov95f.cnt\r\n1 End\r\n"},
        // Case matters: an upper-case mention is someone else's file.
        {":Include KOV95F.CNT\r\n", 1, std::string(":Include KOV95F.CNT\r\n") + HELP_LINES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? c.before : "(no file)");
        DeleteFileA(file.c_str());
        if (c.before) WriteFileText(file, c.before);

        // Two setups in a row: the second one adds nothing.
        EXPECT_EQ(c.result, MergeHelpContents());
        EXPECT_EQ(c.result, MergeHelpContents());

        std::string now;
        bool exists = ReadFileText(file, &now);
        EXPECT_EQ(c.before != nullptr, exists) << "the contents file is never created";
        if (exists) {
            EXPECT_EQ(c.after, now);
        }
    }

    // A file another program has open cannot be merged, whether that program shares it or
    // not: it could be writing lines of its own between our read and our append.
    for (DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        WriteFileText(file, ":Base windows.hlp\r\n");
        HANDLE held = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(0, MergeHelpContents()) << "share " << share;
        CloseHandle(held);
        std::string now;
        ReadFileText(file, &now);
        EXPECT_EQ(":Base windows.hlp\r\n", now) << "share " << share;
    }

    DeleteFileA(file.c_str());
    if (hadFile) WriteFileText(file, original);
    if (madeDir) RemoveDirectoryA(helpDir.c_str());
}

TEST(Registration, UninstallEntryOnlyWithTheUninstaller) {
    Snapshot saved;
    saved.Take(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY);
    DeleteTree(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY);

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dest = std::string(temp) + "KovRegistrationTest";
    CreateDirectoryA(dest.c_str(), nullptr);
    std::string uninstaller = dest + "\\RM_KOV.EXE";
    DeleteFileA(uninstaller.c_str());
    lstrcpynA(InstallSettings.DestDir, dest.c_str(), sizeof InstallSettings.DestDir);

    EXPECT_EQ(0, RegisterUninstall());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY));

    WriteFileText(uninstaller, "MZ");
    EXPECT_EQ(1, RegisterUninstall());
    EXPECT_EQ("Tavelin Online",
              ReadValue(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "DisplayName").Text());
    EXPECT_EQ(uninstaller,
              ReadValue(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "UninstallString").Text());

    // A second install over an entry from an earlier one updates it.
    PutString(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "UninstallString", "C:\\Old\\RM_KOV.EXE");
    EXPECT_EQ(1, RegisterUninstall());
    EXPECT_EQ(uninstaller,
              ReadValue(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY, "UninstallString").Text());

    DeleteFileA(uninstaller.c_str());
    RemoveDirectoryA(dest.c_str());
    InstallSettings.DestDir[0] = '\0';
    saved.Restore();
}

}  // namespace
