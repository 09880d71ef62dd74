// The install driver's decisions: the destination drive and folder, the welcome template,
// the cache choice after the folders changed, the next diskette's command, and the texts
// of the drive list.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "res/resource.h"
#include "setup/driver.h"
#include "sys/sys.h"
#include "tests/host/machine.h"

namespace {

TEST(Driver, FormatThousands) {
    struct {
        uint32_t value;
        unsigned width;
        const char* text;
    } cases[] = {
        {0, 0, "0"},
        {999, 0, "999"},
        {1000, 0, "1,000"},
        {1234567, 0, "1,234,567"},
        {1234, 8, "   1,234"},
        {1234, 3, "1,234"},  // a width below the length pads nothing
        {4294967295u, 0, "4,294,967,295"},
        {100000, 0, "100,000"},
    };
    for (const auto& c : cases) {
        char text[32];
        EXPECT_STREQ(FormatThousands(text, sizeof text, c.value, c.width), c.text)
            << c.value << " width " << c.width;
    }
    // A buffer too small keeps its size, cut and terminated.
    char small[6];
    EXPECT_STREQ(FormatThousands(small, sizeof small, 1234567, 0), "1,234");
    EXPECT_STREQ(FormatThousands(small, sizeof small, 12, 9), "     ");
}

TEST(Driver, TrimTrailingBlanks) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"   ", ""},
        {"C:\\KOV  ", "C:\\KOV"},
        {"C:\\Mes Documents", "C:\\Mes Documents"},
        {" C:\\KOV\t ", " C:\\KOV\t"},  // only spaces, only at the end
    };
    for (const auto& c : cases) {
        char text[64];
        strcpy(text, c.in);
        TrimTrailingBlanks(text);
        EXPECT_STREQ(text, c.out) << '"' << c.in << '"';
    }
}

class ChooseDest : public ::testing::Test {
protected:
    TestMachine machine;
    void SetUp() override {
        strcpy(InstallSettings.DefaultDestDir, "C:\\Kov30I");
        InstallSettings.ExtraSpaceKb = 1024;  // the package needs 1 MB
        machine.Map('D', 5);                  // CD-ROM
        machine.Map('E', 3);
        Room('C', true);
        Room('D', true);
        Room('E', true);
    }
    // 4 KB clusters; 100 MB free or 100 KB free.
    void Room(char letter, bool enough) {
        SysSetDiskGeometry(letter, 8, 512, enough ? 25600 : 25, 100000);
    }
    void Folder(const char* winPath) { ASSERT_TRUE(MakePath(winPath)) << winPath; }
    bool Logged(const char* line) {
        std::string trace = LogTraceText(), wanted = line;
        for (size_t at = trace.find(wanted); at != std::string::npos;
             at = trace.find(wanted, at + 1))
            if ((at == 0 || trace[at - 1] == '\n') &&
                (at + wanted.size() == trace.size() || strchr("\r\n", trace[at + wanted.size()])))
                return true;
        return false;
    }
};

TEST_F(ChooseDest, DefaultFolderOnTheFirstFixedDriveWithRoom) {
    ASSERT_EQ(ChooseDestination(0), 1);
    EXPECT_STREQ(InstallSettings.DestDir, "C:\\Kov30I");
    EXPECT_EQ(DriveIndex, 2);
    EXPECT_TRUE(Logged("Path C:\\Kov30I OK")) << LogTraceText();

    // C: full: the CD-ROM is passed over, E: taken with its own letter.
    Room('C', false);
    ASSERT_EQ(ChooseDestination(0), 1);
    EXPECT_STREQ(InstallSettings.DestDir, "E:\\Kov30I");
    EXPECT_EQ(DriveIndex, 4);

    // No fixed drive with room: nothing set to try.
    Room('E', false);
    EXPECT_EQ(ChooseDestination(0), 0);
}

TEST_F(ChooseDest, LettersAppendedWhileTheFolderExists) {
    Folder("C:\\Kov30I");
    ASSERT_EQ(ChooseDestination(0), 1);
    EXPECT_STREQ(InstallSettings.DestDir, "C:\\Kov30IA");
    EXPECT_TRUE(Logged("Path C:\\Kov30I exists"));

    Folder("C:\\Kov30IA");
    Folder("C:\\Kov30IB");
    ASSERT_EQ(ChooseDestination(0), 1);
    EXPECT_STREQ(InstallSettings.DestDir, "C:\\Kov30IC");
    EXPECT_TRUE(Logged("Path C:\\Kov30IB exists"));

    for (char c = 'C'; c <= 'Z'; c++) Folder((std::string("C:\\Kov30I") + c).c_str());
    EXPECT_EQ(ChooseDestination(0), 0);
    EXPECT_TRUE(Logged("Path C:\\Kov30IZ exists"));
    EXPECT_TRUE(Logged("Out of paths"));
}

TEST_F(ChooseDest, ChosenDriveAloneWhateverItsType) {
    // The user picked D: in the drive list: only D: is tried, CD-ROM or not.
    ASSERT_EQ(ChooseDestination(3), 1);
    EXPECT_STREQ(InstallSettings.DestDir, "D:\\Kov30I");
    Room('D', false);
    EXPECT_EQ(ChooseDestination(3), 0);  // and E: is not tried after it

    // No line selected in the drive list is not a drive.
    EXPECT_EQ(ChooseDestination(-1), 0);
    EXPECT_EQ(ChooseDestination(26), 0);
}

TEST(Driver, WelcomeTemplate) {
    const uint32_t MB = 1u << 20;
    struct {
        uint32_t needed, freeMb;
        int merge, templateId;
    } cases[] = {
        {12 * MB, 22, 1, IDD_WELCOME_CACHE},           // exactly 10 MB to spare
        {12 * MB + MB - 1, 22, 1, IDD_WELCOME_CACHE},  // whole megabytes, rounded down
        {12 * MB, 21, 1, IDD_WELCOME},
        {12 * MB, 500, 0, IDD_WELCOME},  // nothing to merge: no cache choice
        {0xFFFFFFFFu, 0xFFFFFFFFu, 1, IDD_WELCOME_CACHE},
        {0xFFFFFFFFu, 4100, 1, IDD_WELCOME},  // no wrap past 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(WelcomeTemplate(c.needed, c.freeMb, c.merge), c.templateId)
            << c.needed << " " << c.freeMb;
}

TEST(Driver, CacheChoiceLoweredToWhatStillFits) {
    struct {
        uint16_t choice;
        uint32_t m, freeMb;
        uint16_t lowered;
    } cases[] = {
        {2, 10, 30, 2}, {2, 10, 29, 1}, {2, 10, 20, 1}, {2, 10, 19, 0},
        {1, 10, 20, 1}, {1, 10, 19, 0}, {0, 10, 0, 0},  {2, 0xFFFFFFFFu, 0xFFFFFFFFu, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LowerCacheChoice(c.choice, c.m, c.freeMb), c.lowered)
            << c.choice << " " << c.m << " " << c.freeMb;
}

TEST(Driver, NextDiskCommand) {
    TestMachine machine;
    strcpy(InstallFile, "D:\\SETUP.EXE");
    strcpy(InstallSettings.DestDir, "C:\\Kov30I");
    strcpy(InstallSettings.NextDiskProgram, "DISK2.EXE");
    char command[128];
    RestartWindows = 1;
    ASSERT_TRUE(NextDiskCommand(command, sizeof command));
    EXPECT_STREQ(command, "D:\\DISK2.EXE -R  -P C:\\Kov30I");
    RestartWindows = 0;
    ASSERT_TRUE(NextDiskCommand(command, sizeof command));
    EXPECT_STREQ(command, "D:\\DISK2.EXE -P C:\\Kov30I");

    // The continuation program when no next-disk program is named; the folder of the
    // package file, whatever its depth.
    InstallSettings.NextDiskProgram[0] = 0;
    strcpy(InstallSettings.ContinuationProgram, "SUITE.EXE");
    strcpy(InstallFile, "D:\\KOV95\\SETUP.EXE");
    ASSERT_TRUE(NextDiskCommand(command, sizeof command));
    EXPECT_STREQ(command, "D:\\KOV95\\SUITE.EXE -P C:\\Kov30I");

    // A command that does not fit is refused rather than cut.
    EXPECT_FALSE(NextDiskCommand(command, 20));
}

}  // namespace
