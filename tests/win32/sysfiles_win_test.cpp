// System files on the test machine: real libraries with version resources (4.0.0.0, 4.0.0.1,
// none) against the system folder, the in-use question answered by a hook, the deferral to
// restsys.bat, and the unshared size query.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "install/destination.h"
#include "install/space.h"
#include "install/state.h"
#include "install/sysfiles.h"

namespace {

const char DEST[] = "C:\\KOVSYS";

// A test library of the build tree: verdll_4000.dll, verdll_4001.dll, verdll_none.dll. The
// machine has no drive for the build tree: it is reached through Wine's unix name space.
std::string Built(const char* which) {
    std::string dir = std::string("\\\\?\\unix") + KOV_BINARY_DIR + "/verdll_" + which + ".dll";
    for (char& c : dir)
        if (c == '/') c = '\\';
    return dir;
}

std::string ReadAll(const std::string& path) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string data(GetFileSize(h, NULL), '\0');
    DWORD got = 0;
    if (!data.empty()) ReadFile(h, &data[0], (DWORD)data.size(), &got, NULL);
    CloseHandle(h);
    return data;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Stamp(const std::string& path, int minute) {
    SYSTEMTIME st = {2020, 1, 3, 1, 12, (WORD)minute, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFileTime(h, NULL, NULL, &ft);
    CloseHandle(h);
}

struct SystemFolder : ::testing::Test {
    std::string system;
    void SetUp() override {
        ResetRunState();
        LogReset();
        GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
        strcpy(InstallSettings.DestDir, DEST);
        CreateDirectoryA(DEST, NULL);
        char dir[MAX_PATH];
        GetSystemDirectoryA(dir, sizeof dir);
        system = dir;
    }
    void TearDown() override {
        if (InstallState.RestsysFile) FinishRestsysBatch();
        for (const char* name : {"KOVVT1.DLL", "KOVVT2.DLL", "restsys.bat", "HELD.BIN"}) {
            DeleteFileA((std::string(DEST) + "\\" + name).c_str());
            DeleteFileA((system + "\\" + name).c_str());
        }
        RemoveDirectoryA(DEST);
    }
    std::string Sys(const char* name) { return system + "\\" + name; }
    std::string Dest(const char* name) { return std::string(DEST) + "\\" + name; }
    bool Logged(const std::string& line) {
        return std::string(LogTraceText(), LogTraceUsed()).find(line + "\r\n") != std::string::npos;
    }
};

TEST_F(SystemFolder, ReplaceOrRetainByRealVersions) {
    struct Case {
        const char *fresh, *existing;
        int freshMinute, existingMinute;
        int comparison;
        bool replaced;
    } cases[] = {
        {"4001", "4000", 0, 0, NEW_VERSION_HIGHER, true},
        {"4000", "4001", 0, 0, EXISTING_VERSION_HIGHER, false},
        {"4000", "4000", 0, 0, VERSIONS_EQUAL, true},
        {"none", "4000", 5, 0, ONLY_EXISTING_VERSIONED, false},
        {"4000", "none", 0, 5, ONLY_NEW_VERSIONED, true},
        {"none", "none", 5, 0, NEITHER_VERSIONED, true},   // the new stamp is later
        {"none", "none", 0, 5, NEITHER_VERSIONED, false},  // the existing stamp is later
    };
    for (const Case& c : cases) {
        std::string what = std::string(c.fresh) + " over " + c.existing;
        ASSERT_TRUE(CopyFileA(Built(c.fresh).c_str(), Dest("KOVVT1.DLL").c_str(), FALSE))
            << Built(c.fresh) << " " << GetLastError();
        ASSERT_TRUE(CopyFileA(Built(c.existing).c_str(), Sys("KOVVT1.DLL").c_str(), FALSE));
        Stamp(Dest("KOVVT1.DLL"), c.freshMinute);
        Stamp(Sys("KOVVT1.DLL"), c.existingMinute);
        EXPECT_EQ(c.comparison,
                  CompareFileVersions(Dest("KOVVT1.DLL").c_str(), Sys("KOVVT1.DLL").c_str()))
            << what;
        LogReset();
        EXPECT_NE(0, InstallSystemFile(Dest("KOVVT1.DLL").c_str())) << what;
        EXPECT_EQ(ReadAll(Built(c.replaced ? c.fresh : c.existing)), ReadAll(Sys("KOVVT1.DLL")))
            << what;
        EXPECT_FALSE(Exists(Dest("KOVVT1.DLL"))) << what;
        EXPECT_TRUE(Logged(c.replaced ? "Replacing existing" : "Retaining existing")) << what;
    }
    uint32_t ms = 0, ls = 0;
    GetFileVersion(Built("4001").c_str(), &ms, &ls);
    EXPECT_EQ(0x00040000u, ms);
    EXPECT_EQ(1u, ls);
    EXPECT_EQ(0x04000001u, GetToolVersion(Built("4001").c_str()));
    EXPECT_EQ(0u, GetToolVersion(Built("none").c_str()));
}

// The hook stands in for the user: it reads each question and presses Retry; at the second
// question it first unloads the library, so that the retry finds it free.
HMODULE heldLibrary;
int questions;
std::string questionText;

BOOL CALLBACK LongestText(HWND child, LPARAM) {
    char text[512] = "";
    GetWindowTextA(child, text, sizeof text);
    if (strlen(text) > questionText.size()) questionText = text;
    return TRUE;
}

LRESULT CALLBACK AnswerInUse(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = (const CWPRETSTRUCT*)lParam;
    char cls[32] = "";
    if (code == HC_ACTION && call->message == WM_INITDIALOG &&
        GetClassNameA(call->hwnd, cls, sizeof cls) && strcmp(cls, "#32770") == 0) {
        // The text is the longest one in the box (its control id differs between systems).
        questionText.clear();
        EnumChildWindows(call->hwnd, LongestText, 0);
        if (++questions == 2 && heldLibrary) {
            FreeLibrary(heldLibrary);
            heldLibrary = NULL;
        }
        PostMessageA(call->hwnd, WM_COMMAND, IDRETRY, 0);
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

TEST_F(SystemFolder, InUseQuestionUntilTheLibraryIsFree) {
    ASSERT_TRUE(CopyFileA(Built("4000").c_str(), Sys("KOVVT2.DLL").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(Built("4001").c_str(), Dest("KOVVT2.DLL").c_str(), FALSE));
    heldLibrary = LoadLibraryA(Sys("KOVVT2.DLL").c_str());
    ASSERT_NE((HMODULE)NULL, heldLibrary);
    questions = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AnswerInUse, NULL, GetCurrentThreadId());
    int ok = InstallSystemFile(Dest("KOVVT2.DLL").c_str());
    UnhookWindowsHookEx(hook);
    if (heldLibrary) FreeLibrary(heldLibrary);
    heldLibrary = NULL;

    EXPECT_NE(0, ok);
    EXPECT_EQ(2, questions);
    char expected[512];
    LoadStringA(GetModuleHandleA(NULL), 34004, expected, sizeof expected);
    EXPECT_EQ(std::string(expected), questionText);
    EXPECT_EQ(ReadAll(Built("4001")), ReadAll(Sys("KOVVT2.DLL")));
    EXPECT_FALSE(Exists(Dest("KOVVT2.DLL")));
    EXPECT_EQ(0u, UserAbort);
    EXPECT_TRUE(Logged("In use; prompt"));
}

TEST_F(SystemFolder, InUseDeferredToTheBatchFile) {
    InstallSettings.DeferInUseFiles = 1;
    ASSERT_EQ(1, OpenRestsysBatch());
    ASSERT_TRUE(CopyFileA(Built("4000").c_str(), Sys("KOVVT2.DLL").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(Built("4001").c_str(), Dest("KOVVT2.DLL").c_str(), FALSE));
    HMODULE lib = LoadLibraryA(Sys("KOVVT2.DLL").c_str());
    ASSERT_NE((HMODULE)NULL, lib);
    questions = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AnswerInUse, NULL, GetCurrentThreadId());
    EXPECT_NE(0, InstallSystemFile(Dest("KOVVT2.DLL").c_str()));
    UnhookWindowsHookEx(hook);
    FreeLibrary(lib);
    FinishRestsysBatch();

    EXPECT_EQ(0, questions);
    EXPECT_EQ(1u, RestartWindows);
    EXPECT_EQ(ReadAll(Built("4001")), ReadAll(Dest("KOVVT2.DLL")));  // waits for the batch
    EXPECT_EQ(ReadAll(Built("4000")), ReadAll(Sys("KOVVT2.DLL")));
    EXPECT_EQ("@echo off\r\n\r\nmove " + Dest("KOVVT2.DLL") + " " + Sys("KOVVT2.DLL") +
                  " > nul\r\n\r\ndel " + Dest("restsys.bat") + "\r\n\r\n",
              ReadAll(Dest("restsys.bat")));
}

TEST_F(SystemFolder, SizeOfAFileHeldOpenWithoutSharing) {
    HANDLE h =
        CreateFileA(Dest("HELD.BIN").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done;
    WriteFile(h, "12345", 5, &done, NULL);
    EXPECT_EQ(0u, GetFileSizeByName(Dest("HELD.BIN").c_str()));
    EXPECT_EQ(0u, GetFileDosTime(Dest("HELD.BIN").c_str()));
    CloseHandle(h);
    EXPECT_EQ(5u, GetFileSizeByName(Dest("HELD.BIN").c_str()));
    EXPECT_NE(0u, GetFileDosTime(Dest("HELD.BIN").c_str()));
}

}  // namespace

// The estimate on the machine's own drives, through the system's write test and geometry.
TEST_F(SystemFolder, SpaceOnTheMachinesDrives) {
    uint32_t needed = 1;
    EXPECT_EQ(1, CheckDiskSpace(2, "", DEST, &needed));
    EXPECT_EQ(0u, needed);  // no package: nothing needed
    std::string log(LogTraceText(), LogTraceUsed());
    EXPECT_NE(std::string::npos, log.find("Drive C: cluster size = ")) << log;
    EXPECT_TRUE(Logged("It'll fit")) << log;
}
