// The Windows side of the package reader: resource 100 of our own image, our own file name,
// and the gauge message sent to control 502 after each copied block.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>
#include <vector>
#include "base/globals.h"
#include "base/mem.h"
#include "package/package.h"
#include "sys/sys.h"

namespace {

TEST(PackageWin, ResourceOfAnImageWithoutPackage) {
    // This test program carries the same resource as an unpatched setup: offset 0.
    uint32_t offset = 1;
    char tag[32];
    memset(tag, 'x', sizeof tag);
    ASSERT_EQ(LocatePackageResource(&offset, tag, sizeof tag), 1);
    EXPECT_EQ(offset, 0u);
    EXPECT_STREQ(tag, "");

    char own[260];
    ASSERT_EQ(GetOwnFileName(own, sizeof own), 1);
    EXPECT_NE(strstr(own, "win32_tests"), nullptr) << own;

    // So the program refuses to go on without -X: fatal error 1.
    ResetRunState();
    EXPECT_EQ(OpenPackage(), 0);
    EXPECT_EQ(SetupError, 1);
    ClosePackage();
}

std::vector<LPARAM> gaugeValues;
LRESULT CALLBACK GaugeProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER) {
        gaugeValues.push_back(lp);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

TEST(PackageWin, GaugeMessageAfterEachBlock) {
    char dir[MAX_PATH], path[MAX_PATH], out[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "pkg", 0, path);
    GetTempFileNameA(dir, "out", 0, out);
    std::string data(70000 + 10, 'p');
    SysFile f = SysCreate(path);
    ASSERT_NE(f, 0);
    ASSERT_EQ(SysWrite(f, data.data(), (unsigned long)data.size()), (long)data.size());
    SysClose(f);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = GaugeProc;
    wc.hInstance = GetModuleHandleA(0);
    wc.lpszClassName = "PackageTestGauge";
    RegisterClassA(&wc);
    HWND dialog = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, 0, 0, wc.hInstance, 0);
    HWND gauge = CreateWindowA("PackageTestGauge", "", WS_CHILD, 0, 0, 5, 5, dialog, (HMENU)502,
                               wc.hInstance, 0);
    ASSERT_TRUE(dialog && gauge);

    ResetRunState();
    strcpy(InstallFile, path);
    InstallFileGiven = 1;
    ASSERT_EQ(OpenPackage(), 1);
    PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + 1);
    e->offset = 10;
    e->storedSize = 70000;
    SysFile target = SysCreate(out);
    EXPECT_EQ(CopyEntryToFile(target, e, dialog, 7), 1);
    EXPECT_EQ(gaugeValues, (std::vector<LPARAM>{7, 7 + 32768, 7 + 65536}));
    gaugeValues.clear();
    EXPECT_EQ(CopyEntryToFileScaled(target, e, dialog, 7, 10), 1);
    EXPECT_EQ(gaugeValues, (std::vector<LPARAM>{0, 3277, 6554}));
    SysClose(target);
    MemFree(e);
    ClosePackage();

    DestroyWindow(dialog);
    DeleteFileA(path);
    DeleteFileA(out);
}

}  // namespace
