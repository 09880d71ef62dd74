// Dialogs 231 and 232 on the test machine (C: fixed, D: a CD-ROM): what they say, the
// drives they list, and what they end with. A thread timer acts as the user.
#include <gtest/gtest.h>
#include <string>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "base/text.h"
#include "ui/dialogs.h"
#include "ui/drives.h"
#include "ui/frame.h"

namespace {

class DriveDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Drives"));
    }
    static void TearDownTestSuite() { DestroyFrameWindow(); }
    void TearDown() override { uitest::Stop(); }
};

std::string ListLine(HWND dialog, int index) {
    char line[256] = "";
    SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_GETTEXT, index, (LPARAM)line);
    return line;
}

TEST_F(DriveDialogs, DiskSpaceSaysWhatIsNeededAndHidesDrivesForOneDrive) {
    SpaceNeeded = 12345678;
    std::string needed, next;
    bool drivesVisible = true;
    int usable = CountUsableDrives();
    uitest::Act([&](HWND d) {
        needed = uitest::Text(d, IDC_SPACE_NEEDED);
        next = uitest::Text(d, IDC_SPACE_NEXT);
        drivesVisible = IsWindowVisible(GetDlgItem(d, ID_DRIVES));
        uitest::Press(d, ID_TRYAGAIN);
        return true;
    });
    EXPECT_EQ(RunModalDialog(IDD_DISKSPACE, nullptr), ID_TRYAGAIN);
    EXPECT_EQ(usable, 1);  // C: alone: the CD-ROM never counts
    EXPECT_NE(needed.find("12345678 octets"), std::string::npos) << needed;
    EXPECT_FALSE(drivesVisible);
    EXPECT_EQ(next, LoadMessage(1, IDS_SPACE_CANCEL));

    uitest::Act([&](HWND d) {
        PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    EXPECT_EQ(RunModalDialog(IDD_DISKSPACE, nullptr), ID_CLOSED);
}

TEST_F(DriveDialogs, DriveListSelectsItsFirstLineUntilARefill) {
    std::string header, first;
    int count = 0;
    uitest::Act([&](HWND d) {
        header = uitest::Text(d, IDC_DRIVEHEADER);
        count = (int)SendDlgItemMessageA(d, IDC_DRIVELIST, LB_GETCOUNT, 0, 0);
        first = ListLine(d, 0);
        uitest::Press(d, ID_SELECT);
        return true;
    });
    EXPECT_EQ(RunModalDialog(IDD_DRIVES, nullptr), 2);  // C:
    EXPECT_EQ(header, "Available Drives\tType\tFree Space(KB)");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(first.rfind("C:\t\tLocal\t", 0), 0u) << first;
    EXPECT_NE(first.find(','), std::string::npos) << first;  // thousands of kilobytes

    // Back from another window: the list is filled again and nothing is selected, so
    // Select gives -1, which is no drive.
    uitest::Act([&](HWND d) {
        SendMessageA(d, WM_ACTIVATE, WA_ACTIVE, 0);
        uitest::Press(d, ID_SELECT);
        return true;
    });
    EXPECT_EQ(RunModalDialog(IDD_DRIVES, nullptr), -1);

    uitest::Act([&](HWND d) {
        PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    EXPECT_EQ(RunModalDialog(IDD_DRIVES, nullptr), ID_QUIT);
}

}  // namespace
