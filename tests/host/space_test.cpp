// Disk space estimate: cluster rounding and clamping, the verdict and its log lines, the
// previous installation's databases and tool modules, and what existing files give back.
#include <gtest/gtest.h>

#include "tests/host/install_fixture.h"
#include "install/state.h"

namespace {

TEST(Space, RoundToClusterAndClamp) {
    struct Case {
        uint32_t size, cluster, rounded;
    } cases[] = {
        {0, 4096, 4096},
        {4096, 4096, 8192},
        {4097, 4096, 8192},
        {1, 512, 512},
        {0xFFFFF000u, 4096, 0xFFFFFFFFu},  // would wrap past 32 bits
        {0xFFFFFFFFu, 512, 0xFFFFFFFFu},
        {1234, 0, 1234},  // no cluster size: no division by zero
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.rounded, RoundToCluster(c.size, c.cluster)) << c.size << "/" << c.cluster;
    EXPECT_EQ(0xFFFFFFFFu, ClampBytes(0x100000000ull));
    EXPECT_EQ(0xFFFFFFFEu, ClampBytes(0xFFFFFFFEull));
}

// The verdict on drive C: with its log lines, for a package of 1000 + 5000 + 100 bytes.
TEST(Space, VerdictAndLogLines) {
    struct Case {
        const char* what;
        unsigned long bytesPerSector, freeClusters;
        uint32_t extraKb, mergedA;
        int fits;
        uint32_t total;
        const char* driveLine;
    } cases[] = {
        {"fits", 512, 5, 0, 0, 1, 16384, "Drive C: cluster size = 4096, free space = 20480"},
        {"total equal to free", 512, 4, 0, 0, 0, 16384,
         "Drive C: cluster size = 4096, free space = 16384"},
        {"no sector size: 8192-byte clusters", 0, 3, 0, 0, 0, 24576,
         "Drive C: cluster size = 8192, free space = 24576"},
        {"extra space 100 KB", 512, 100, 100, 0, 1, 16384 + 102400,
         "Drive C: cluster size = 4096, free space = 409600"},
        {"merge list: its bytes out, 5 MB in", 512, 2000, 0, 100, 1, 16384 - 100 + 5242880,
         "Drive C: cluster size = 4096, free space = 8192000"},
        {"free space beyond 32 bits", 512, 2000000, 0, 0, 1, 16384,
         "Drive C: cluster size = 4096, free space = 4294967295"},
    };
    for (const Case& c : cases) {
        EngineMachine m;
        EntryTable table{{"dunzip32.dll", 1000}, {"kov.exe", 5000}, {"idb\\main.idx", 100}};
        SysSetDiskGeometry('C', 8, c.bytesPerSector, c.freeClusters, 10000000);
        InstallSettings.ExtraSpaceKb = c.extraKb;
        if (c.mergedA) {
            SetList(InstallSettings.MergedFilesA, {{"main.idx", nullptr}});
            InstallSettings.MergedBytesA = c.mergedA;
        }
        uint32_t needed = 1;
        EXPECT_EQ(c.fits, CheckDiskSpace(2, "", "C:\\KOV", &needed)) << c.what;
        EXPECT_EQ(c.total, needed) << c.what;
        char line[128];
        snprintf(line, sizeof line, "Space needed = %u, extra from old = 0, existing savings = 0",
                 c.total);
        EXPECT_TRUE(m.Logged(c.driveLine)) << c.what << "\n" << m.Log();
        EXPECT_TRUE(m.Logged(line)) << c.what << "\n" << m.Log();
        EXPECT_TRUE(m.Logged("Total = " + std::to_string(c.total))) << c.what;
        EXPECT_TRUE(m.Logged(c.fits ? "It'll fit" : "Won't fit")) << c.what;
        EXPECT_EQ(c.bytesPerSector ? 4096u : 8192u, InstallState.ClusterSize) << c.what;
    }
    EngineMachine m;
    SysSetDiskGeometry('C', 8, 512, 2000000, 10000000);
    EntryTable table{{"dunzip32.dll", 1000}};
    CheckDiskSpace(2, "", "C:\\KOV", nullptr);
    EXPECT_EQ(7812u, InstallState.FreeMegabytes);  // the true figure, not the clamped one
}

TEST(Space, DriveThatCannotBeExamined) {
    EngineMachine m;
    EntryTable table{{"dunzip32.dll", 1000}};
    uint32_t needed = 7;
    EXPECT_EQ(0, CheckDiskSpace('Q' - 'A', "", "C:\\KOV", &needed));  // not mapped
    EXPECT_EQ(0u, needed);
    EXPECT_TRUE(m.Logged("Q:\\ not writable")) << m.Log();
    EXPECT_EQ(0, CheckDiskSpace(99, "", "C:\\KOV", &needed));
}

TEST(Space, ExistingFilesGiveBackTheSmallerRounding) {
    EngineMachine m;
    m.Map('D', 3);
    SysSetDiskGeometry('C', 8, 512, 1000, 1000);
    EntryTable table{{"dunzip32.dll", 1000}, {"kov.exe", 5000}, {"idb\\main.idx", 100}};
    // On D:, while C: is examined: the savings always come from the destination.
    m.Put("D:\\KOV\\kov.exe", std::string(3000, 'k'));        // 4096 < 8192
    m.Put("D:\\KOV\\dunzip32.dll", std::string(20000, 'd'));  // 20480 > 4096
    m.Put("D:\\KOV\\IDB\\MAIN.IDX", std::string(9000, 'm'));  // never a saving
    m.Put("D:\\KOV\\idb\\main.idx", std::string(9000, 'm'));
    EXPECT_EQ(8192u, ExistingFileSavings(4096, "D:\\KOV"));
    EXPECT_EQ(0u, ExistingFileSavings(4096, ""));
    CheckDiskSpace(2, "", "D:\\KOV", nullptr);
    EXPECT_TRUE(m.Logged("Space needed = 16384, extra from old = 0, existing savings = 8192"));
    EXPECT_TRUE(m.Logged("Total = 8192"));

    // Savings as large as the total leave it as it is.
    EntryTable two{{"dunzip32.dll", 1000}, {"kov.exe", 5000}};
    m.Put("D:\\KOV\\kov.exe", std::string(9000, 'k'));
    InstallState.FirstFileIndex = 0;
    LogReset();
    CheckDiskSpace(2, "", "D:\\KOV", nullptr);
    EXPECT_TRUE(m.Logged("Space needed = 12288, extra from old = 0, existing savings = 12288"));
    EXPECT_TRUE(m.Logged("Total = 12288")) << m.Log();
}

TEST(Space, PreviousDatabaseAndOrganizeFolders) {
    EngineMachine m;
    MakeMainDb(m, "C:\\OLD\\IDB\\MAIN.IDX", 3, 1);
    uint32_t mainSize = (uint32_t)m.Read("C:\\OLD\\IDB\\MAIN.IDX").size();
    ASSERT_GT(mainSize, 25u);
    m.Put("C:\\OLD\\IDB\\OTHER.X", std::string(5000, 'o'));
    m.Put("C:\\OLD\\IDB\\EMPTY", "");
    m.Dir("C:\\OLD\\IDB\\SUB");
    m.Put("C:\\OLD\\ORGANIZE\\A.FLD", std::string(10, 'a'));
    EXPECT_EQ(4096u + 8192u, OldDatabaseSpace(4096, "C:\\OLD", "C:\\NEW"));
    EXPECT_EQ(4096u, OldOrganizeSpace(4096, "C:\\OLD", "C:\\NEW"));
    // In place only the main database is kept beside the new one, unrounded.
    EXPECT_EQ(mainSize, OldDatabaseSpace(4096, "C:\\OLD", "c:\\old"));
    EXPECT_EQ(0u, OldOrganizeSpace(4096, "C:\\OLD", "c:\\old"));
    EXPECT_EQ(0u, OldDatabaseSpace(4096, "", "C:\\NEW"));
}

TEST(Space, PreviousInstallationsToolModules) {
    struct Case {
        const char* what;
        uint8_t dbMajor;
        const char* destDir;
        bool marked;
    } cases[] = {
        {"same database version", 3, "C:\\NEW", true},
        {"other database version", 4, "C:\\NEW", false},
        {"in place: tools not looked at", 3, "C:\\OLD", false},
    };
    for (const Case& c : cases) {
        EngineMachine m;
        SysSetDiskGeometry('C', 8, 512, 100000, 100000);
        EntryTable table{{"dunzip32.dll", 1000}};
        MakeMainDb(m, "C:\\OLD\\IDB\\MAIN.IDX", 3, 1);
        m.Put("C:\\OLD\\TOOL\\A.KOV", TestPe(true, 0x00030000, 0x00010005));  // 3.0.1.5
        m.Put("C:\\OLD\\TOOL\\B.KOV", TestPe(true, 0x00020009, 0x00090009));  // 2.9.9.9
        m.Put("C:\\OLD\\TOOL\\C.KOV", "not a tool the script knows");
        m.Put("C:\\OLD\\A.HLP", std::string(777, 'h'));
        InstallSettings.DbVersion[0] = c.dbMajor;
        InstallSettings.DbVersion[1] = 1;
        ToolModule* a = AddTool("a.kov", 0x03000000, {"A.HLP"});
        ToolModule* b = AddTool("B.KOV", 0x03000000);
        InstallState.ToolBytesFromOld = 1234;  // left from an earlier call
        CheckDiskSpace(2, "C:\\OLD", c.destDir, nullptr);
        uint32_t toolSize = (uint32_t)m.Read("C:\\OLD\\TOOL\\A.KOV").size();
        EXPECT_EQ(c.marked, a->presentInOld != 0) << c.what;
        EXPECT_EQ(0u, b->presentInOld) << c.what;
        if (c.marked) {
            EXPECT_EQ(toolSize, a->oldSize);
            EXPECT_EQ(777u, a->companions->size);
            EXPECT_EQ(toolSize + 777, InstallState.ToolBytesFromOld);
        } else {
            EXPECT_EQ(strcmp(c.destDir, "C:\\OLD") == 0 ? 1234u : 0u, InstallState.ToolBytesFromOld)
                << c.what;
        }
        if (strcmp(c.destDir, "C:\\OLD") != 0) {
            EXPECT_EQ(3, InstallState.PreviousDbVersion[0]) << c.what;
            EXPECT_EQ(1, InstallState.PreviousDbVersion[1]) << c.what;
        }
    }
}

}  // namespace
