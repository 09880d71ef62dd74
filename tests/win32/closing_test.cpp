// Programs the closing phase starts: a path with a blank must start that program, not the
// first word of it with ".exe" added (a file of that name beside it is a decoy that would
// make the start fail, or run something else).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>

#include "setup/closing.h"

namespace {

TEST(Closing, RunProgramStartsAPathWithABlank) {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    std::string base = std::string(temp) + "kovrun";
    std::string folder = base + " blank";
    std::string program = folder + "\\prog.exe";
    std::string decoy = base + ".exe";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        << folder << " error " << GetLastError();
    std::string self = std::string("\\\\?\\unix") + KOV_BINARY_DIR + "/win32_tests.exe";
    ASSERT_TRUE(CopyFileA(self.c_str(), program.c_str(), FALSE))
        << self << " error " << GetLastError();
    HANDLE f = CreateFileA(decoy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(f, "not a program", 13, &written, nullptr);
    CloseHandle(f);

    HANDLE process = RunProgram(program.c_str(), "--gtest_list_tests --gtest_filter=None", 0);
    ASSERT_NE(process, nullptr) << "the decoy " << decoy << " was taken for the program";
    EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process);

    DeleteFileA(decoy.c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
