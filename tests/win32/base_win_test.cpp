// The foundation over the real Win32 seam, on the test machine.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"

TEST(Win32Drives, MachineHasFixedCAndCdRomD) {
    EXPECT_EQ(DriveType(2), 3);
    EXPECT_TRUE(IsCdRomDrive(3));
    EXPECT_STREQ(CrashLogPath(), "c:\\setup.log");
}

TEST(Win32Paths, CreateMoveAndTest) {
    const char* base = "C:\\KOVTEST\\A\\B";
    EXPECT_EQ(MakePath(base), 1);
    EXPECT_EQ(MakePath(base), 0);
    EXPECT_TRUE(PathExists("C:\\KOVTEST\\A"));
    HANDLE h = CreateFileA("C:\\KOVTEST\\A\\f.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(FileExists("C:\\KOVTEST\\A\\f.txt"));
    EXPECT_FALSE(FileExists("C:\\KOVTEST\\A"));  // a folder is not a file
    EXPECT_TRUE(MovePath("C:\\KOVTEST\\A\\f.txt", "C:\\KOVTEST\\g.txt"));
    EXPECT_TRUE(FileExists("C:\\KOVTEST\\g.txt"));
    EXPECT_TRUE(ChangeDir("C:\\KOVTEST\\A"));
    EXPECT_EQ(CurrentDriveLetter(), 'C');
    EXPECT_STREQ(DriveCurrentDir(0), "C:\\KOVTEST\\A");
    ChangeDir("C:\\");
    DeleteFileA("C:\\KOVTEST\\g.txt");
    RemoveDirectoryA("C:\\KOVTEST\\A\\B");
    RemoveDirectoryA("C:\\KOVTEST\\A");
    RemoveDirectoryA("C:\\KOVTEST");
}

TEST(Win32Paths, AccentedNamesReachTheDiskAsTyped) {
    // Windows-1252 bytes as typed in a folder dialog; checked with the plain ANSI calls.
    const char* top = "C:\\KOVTEST\\R\xE9"
                      "cent";
    const char* dir = "C:\\KOVTEST\\R\xE9"
                      "cent\\Donn\xE9"
                      "es";
    const char* file = "C:\\KOVTEST\\R\xE9"
                       "cent\\Donn\xE9"
                       "es\\a.txt";
    const char* moved = "C:\\KOVTEST\\R\xE9"
                        "cent\\d\xE9j\xE0.txt";
    EXPECT_EQ(MakePath(dir), 1);
    EXPECT_NE(GetFileAttributesA(dir), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(PathExists(dir));
    HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(MovePath(file, moved));
    EXPECT_NE(GetFileAttributesA(moved), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(ChangeDir(dir));
    EXPECT_STREQ(DriveCurrentDir(0), dir);
    ChangeDir("C:\\");
    DeleteFileA(moved);
    RemoveDirectoryA(dir);
    RemoveDirectoryA(top);
    RemoveDirectoryA("C:\\KOVTEST");
}

TEST(Win32Text, StringTableOfTheModule) {
    EXPECT_STREQ(LoadCaption(34007), "WKOV.EXE");
    EXPECT_STREQ(LoadMessage(2, 34007, 34304), "WKOV.EXEInstallation");
    std::string msg = LoadMessage(1, 34001);
    EXPECT_EQ(msg.substr(0, 9), "Veuillez ");
    EXPECT_NE(msg.find("ex\xE9"
                       "cuter"),
              std::string::npos);  // Windows-1252 bytes
}

TEST(Win32Memory, BlocksAreZeroedAndCounted) {
    unsigned live = LiveBlocks();
    char* p = (char*)MemAlloc(100000);
    for (int i = 0; i < 100000; i += 997) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(LiveBlocks(), live + 1);
    MemFree(p);
    EXPECT_EQ(LiveBlocks(), live);
}

TEST(Win32Log, FatalRunWritesRootLog) {
    DeleteFileA("C:\\setup.log");
    LogReset();
    ResetRunState();
    SetupError = 18;
    LogPrintf("caf\xE9\t%u", 7u);
    LogFlush();
    HANDLE h =
        CreateFileA("C:\\setup.log", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[64] = {};
    DWORD n = 0;
    ReadFile(h, buf, sizeof buf - 1, &n, NULL);
    CloseHandle(h);
    EXPECT_STREQ(buf, "caf\\233\\0097\r\n");
    DeleteFileA("C:\\setup.log");
    ResetRunState();
}

// The name comparison's capitals are the ones the users' systems give (code page 1252).
TEST(Win32Names, UpperCaseTableMatchesCharUpper) {
    ASSERT_EQ(GetACP(), 1252u);
    for (int c = 1; c < 256; c++) {
        char b[2] = {(char)c, 0};
        CharUpperBuffA(b, 1);
        EXPECT_EQ(UpperName((unsigned char)c), (unsigned char)b[0]) << "byte " << c;
    }
}
