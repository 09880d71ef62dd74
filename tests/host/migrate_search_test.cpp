// The search for an earlier installation on a native machine: installations are folders
// with an IDB\MAIN.IDX written by the encoder below (independent of the database code), the
// registry and the Windows profile are the fake system of migrate_fake.h.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "clientdb/format.h"
#include "sys/sys.h"
#include "migrate/internal.h"
#include "migrate/search.h"
#include "tests/host/machine.h"
#include "tests/host/migrate_fake.h"

using namespace migratetest;

namespace {

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";

class Search : public ::testing::Test {
protected:
    PlatformGuard guard;
    TestMachine machine;
    FakeSystem fake;
    void SetUp() override {
        ResetSearchState();
        InstallSettings.ExpectedDbKind = 255;
        InstallSettings.ExpectedDbKindCode = -1;
    }
    // An installation: the client program and a main database with the given records,
    // written at the given time (seconds since 1970; 0 leaves it as written).
    void Install(const char* folder, const std::vector<Rec>& records, time_t when = 0,
                 int form = DB_NEW_FORM) {
        MakeFolders(machine, std::string(folder) + "\\IDB");
        machine.Write((std::string(folder) + "\\WKOV.EXE").c_str(), "MZ");
        std::string db = std::string(folder) + "\\IDB\\MAIN.IDX";
        machine.Write(db.c_str(), DbFile(form, DB_ID_MAIN, records));
        if (when) {
            struct utimbuf t = {when, when};
            utime(machine.Host(db.c_str()).c_str(), &t);
        }
    }
    // Back to an empty C: and a fresh run.
    void Wipe() {
        std::string cleanup =
            "rm -rf '" + machine.Host("C:\\") + "'/* '" + machine.Host("C:\\") + "'/.[!.]*";
        (void)system(cleanup.c_str());
        ResetRunState();
        LogReset();
        SetUp();
        fake = FakeSystem();
        fake.Install();
    }
    void TearDown() override { memset(&InstallSettings, 0, sizeof InstallSettings); }
    int Run(char* folder, ModemSettingsT* settings = nullptr) {
        return PreviousVersionSearch(folder, settings);
    }
};

TEST_F(Search, RegistryProfileOrDiskWalk) {
    struct Case {
        const char* what;
        const char* registry;  // AppPath in the registry, null for none
        const char* profile;   // AppPath in win.ini
        bool registryInUse;    // the registry's installation has a real user
        const char* expect;
        bool walked;
    } cases[] = {
        {"registry, in use: no walk", "C:\\Reg", "", true, "C:\\Reg", false},
        {"registry says NOUVEAU: walk", "C:\\Reg", "", false, "C:\\Disk", true},
        {"registry folder without a database: profile", "C:\\Nothing", "C:\\Reg", true, "C:\\Reg",
         false},
        {"profile only", nullptr, "C:\\Reg", true, "C:\\Reg", false},
        {"nothing named: the walk takes the later one", nullptr, "", true, "C:\\Reg", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wipe();
        Install("C:\\Reg",
                {Names(c.registryInUse ? std::vector<std::string>{"Jean"}
                                       : std::vector<std::string>{"NOUVEAU"})},
                1000000000);
        Install("C:\\Disk", {Names({"Marie"})}, 900000000);
        MakeFolders(machine, "C:\\Nothing");
        if (c.registry) fake.SetRegistry(MIGRATE_ROOT_MACHINE, CLIENT_KEY, "AppPath", c.registry);
        fake.SetProfile("", "WKOV", "AppPath", c.profile);

        char folder[257] = "x";
        ASSERT_EQ(1, Run(folder));
        EXPECT_STREQ(c.expect, folder);
        EXPECT_EQ(c.walked, fake.pumps > 0);
        EXPECT_EQ(1, fake.Opened(IDD_PREVSEARCH));
        EXPECT_EQ(1, fake.Closed(IDD_PREVSEARCH));
        EXPECT_TRUE(LogHas("Most recent = "));
    }
}

TEST_F(Search, NothingFoundLeavesTheFolderEmpty) {
    fake.Install();
    MakeFolders(machine, "C:\\A\\B");
    char folder[257] = "stale";
    EXPECT_EQ(0, Run(folder));
    EXPECT_STREQ("", folder);
    EXPECT_TRUE(LogHas("No previous ver found"));
    EXPECT_GE(fake.pumps, 3);  // C:\, A, B: one pump per folder
}

TEST_F(Search, VerdictFromTheUserList) {
    fake.Install();
    std::vector<std::string> sixteen(16, "Jean"), seventeen(17, "Jean");
    std::string damaged = Names({"Jean", "NOUVEAU"}).data.substr(0, 1 + 22);  // count 2, 1 entry
    struct Case {
        const char* what;
        std::vector<Rec> records;
        int verdict;
    } cases[] = {
        {"0 names", {Names({})}, 1},
        {"one user", {Names({"Jean"})}, 1},
        {"16 names", {Names(sixteen)}, 1},
        {"17 names, whatever they are", {Names(seventeen)}, 0},
        {"NOUVEAU among them", {Names({"Jean", "NOUVEAU"})}, 0},
        {"nouveau is another name", {Names({"nouveau"})}, 1},
        {"no user list", {Number(GID_PORT, 2)}, 0},
        {"count beyond the record", {{GID_USER_NAMES, damaged}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        machine.Write("C:\\J.IDX", DbFile(DB_NEW_FORM, DB_ID_MAIN, c.records));
        EXPECT_EQ(c.verdict, JudgeCandidate("C:\\J.IDX", nullptr));
    }
    EXPECT_EQ(0, JudgeCandidate("C:\\MISSING.IDX", nullptr));
    EXPECT_TRUE(LogHas("IR:DBO failed on C:\\MISSING.IDX"));
}

TEST_F(Search, ModemSettingsOfTheChosenInstallation) {
    fake.Install();
    Install("C:\\KOV",
            {Names({"Jean"}),
             Number(GID_PORT, 3),
             {GID_SPEED_INDEX, std::string("\x09", 1)},
             Text(GID_MODEM_PROFILE, "CLASS31.MDM")},
            1000000000);
    char folder[257];
    ModemSettingsT settings;
    memset(&settings, 0x55, sizeof settings);
    ASSERT_EQ(1, Run(folder, &settings));
    EXPECT_EQ(3, settings.port);
    EXPECT_EQ(9, settings.speedIndex);
    EXPECT_STREQ("CLASS31.MDM", settings.profile);
    EXPECT_STREQ("", settings.description);
    EXPECT_TRUE(LogHas("Prof = CLASS31.MDM, si = 9, port = COM3"));

    // A profile name of 16 bytes or more does not fit: it is left empty.
    machine.Write("C:\\KOV\\IDB\\MAIN.IDX",
                  DbFile(DB_NEW_FORM, DB_ID_MAIN,
                         {Names({"Jean"}), Text(GID_MODEM_PROFILE, "SIXTEEN-CHARS.MD")}));
    EXPECT_EQ(1, JudgeCandidate("C:\\KOV\\IDB\\MAIN.IDX", &settings));
    EXPECT_STREQ("", settings.profile);
}

TEST_F(Search, LatestDatabaseWinsAndTheFirstFoundKeepsATie) {
    machine.Map('E', 3);
    machine.Map('D', 5);  // a CD-ROM is never searched
    fake.Install();
    struct Case {
        const char* what;
        time_t c, e;
        const char* expect;
    } cases[] = {
        {"later on E:", 1000000000, 1000000100, "E:\\KOV"},
        {"later on C:", 1000000100, 1000000000, "C:\\Client\\KOV"},
        {"same time: C: was found first", 1000000000, 1000000000, "C:\\Client\\KOV"},
        {"within the same two seconds", 1000000000, 1000000001, "C:\\Client\\KOV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Install("C:\\Client\\KOV", {Names({"Jean"})}, c.c);
        Install("E:\\KOV", {Names({"Marie"})}, c.e);
        Install("D:\\KOV", {Names({"Paul"})}, c.e + 1000);
        char folder[257];
        ASSERT_EQ(1, Run(folder));
        EXPECT_STREQ(c.expect, folder);
    }
}

TEST_F(Search, WalkSkipsDotFoldersAndStopsAtAnInstallation) {
    fake.Install();
    Install("C:\\.old", {Names({"Jean"})}, 1000000200);
    Install("C:\\A\\.hidden\\KOV", {Names({"Jean"})}, 1000000200);
    Install("C:\\A\\KOV", {Names({"Jean"})}, 1000000000);
    // Below an installation nothing is searched, even a newer one.
    Install("C:\\A\\KOV\\SUB", {Names({"Jean"})}, 1000000300);
    char folder[257];
    ASSERT_EQ(1, Run(folder));
    EXPECT_STREQ("C:\\A\\KOV", folder);
    for (const std::string& shown : fake.shown) {
        EXPECT_EQ(std::string::npos, shown.find("\\.")) << shown;
        EXPECT_EQ(std::string::npos, shown.find("SUB")) << shown;
    }
}

TEST_F(Search, LoopsAndDeepTreesEnd) {
    fake.Install();
    // A link that makes a folder its own descendant, and a link to the drive's root.
    MakeFolders(machine, "C:\\A\\B");
    ASSERT_EQ(0, symlink(machine.Host("C:\\A").c_str(), machine.Host("C:\\A\\B\\UP").c_str()));
    ASSERT_EQ(0, symlink(machine.Host("C:\\").c_str(), machine.Host("C:\\A\\ROOT").c_str()));
    // An installation 50 levels down.
    std::string deep = "C:";
    for (int i = 0; i < 50; i++) deep += "\\d";
    Install(deep.c_str(), {Names({"Jean"})}, 1000000000);

    char folder[257];
    ASSERT_EQ(1, Run(folder));
    EXPECT_EQ(deep, folder);
    EXPECT_TRUE(LogHas("leads back to a folder above it"));
    EXPECT_LT(fake.pumps, 200);  // each real folder once or twice, not around the loops
}

TEST_F(Search, SkipAnswersWithinOneFolder) {
    fake.Install();
    for (int i = 0; i < 30; i++) MakeFolders(machine, "C:\\F" + std::to_string(i) + "\\G");
    Install("C:\\Z\\KOV", {Names({"Jean"})}, 1000000000);
    fake.abortAtPump = 5;  // the user presses Skip while the fifth folder is searched
    char folder[257];
    EXPECT_EQ(0, Run(folder));
    EXPECT_STREQ("", folder);
    EXPECT_EQ(5, fake.pumps);
    EXPECT_EQ(5u, fake.shown.size());  // no folder is entered after the Skip
    EXPECT_TRUE(LogHas("User aborted disk search"));
    EXPECT_EQ(0u, QuitRequested);
}

TEST_F(Search, NewerVersionQuestionAtMostOnce) {
    auto pair = [](unsigned major, unsigned minor) { return uint16_t(major | minor << 8); };
    struct Case {
        const char* what;
        std::vector<uint16_t> exact, minimum;
        std::vector<unsigned> versions;  // major * 10 + minor of each installation
        int asked;
    } cases[] = {
        {"exact 3.0: minor 0 matches any minor", {pair(3, 0)}, {}, {37, 35}, 1},
        {"exact 3.2 against 3.0", {pair(3, 2)}, {}, {30}, 0},
        {"exact 3.2 against 3.2", {pair(3, 2)}, {}, {32}, 1},
        {"minimum 4.2 against 4.1", {}, {pair(4, 2)}, {41}, 0},
        {"minimum 4.2 against 4.2", {}, {pair(4, 2)}, {42}, 1},
        {"minimum 4.2 against 4.5", {}, {pair(4, 2)}, {45}, 1},
        {"minimum 4.2 against 5.5", {}, {pair(4, 2)}, {55}, 0},
        {"two newer installations: asked once", {}, {pair(4, 0)}, {41, 45}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetSearchState();
        QuitRequested = 0;
        InstallSettings.ExactNewerVersions.count = uint16_t(c.exact.size());
        for (size_t i = 0; i < c.exact.size(); i++)
            InstallSettings.ExactNewerVersions.value[i] = c.exact[i];
        InstallSettings.MinimumNewerVersions.count = uint16_t(c.minimum.size());
        for (size_t i = 0; i < c.minimum.size(); i++)
            InstallSettings.MinimumNewerVersions.value[i] = c.minimum[i];
        int yes = SYS_ID_YES;
        SysQueueAnswers(&yes, 1);
        for (size_t i = 0; i < c.versions.size(); i++) {
            std::string path = "C:\\V" + std::to_string(i) + ".IDX";
            machine.Write(path.c_str(), DbFile(DB_NEW_FORM, DB_ID_MAIN,
                                               {Names({"Jean"}),
                                                Version(c.versions[i] / 10, c.versions[i] % 10)}));
            // The answer does not change the verdict.
            EXPECT_EQ(1, JudgeCandidate(path.c_str(), nullptr));
        }
        EXPECT_EQ(c.asked, SysQuestionsAsked());
        EXPECT_EQ(0u, SearchState.SearchAbort);
    }
}

TEST_F(Search, NoToTheNewerVersionEndsTheSearch) {
    fake.Install();
    InstallSettings.ExactNewerVersions.count = 1;
    InstallSettings.ExactNewerVersions.value[0] = 3;  // 3.0
    Install("C:\\KOV", {Names({"Jean"}), Version(3, 7)}, 1000000000);
    fake.SetRegistry(MIGRATE_ROOT_MACHINE, CLIENT_KEY, "AppPath", "C:\\KOV");
    char folder[257];
    EXPECT_EQ(0, Run(folder));  // the default answer is No
    EXPECT_EQ(1, SysQuestionsAsked());
    EXPECT_TRUE(LogHas("User aborted disk search"));
    EXPECT_EQ(1u, QuitRequested);
    EXPECT_EQ(0, fake.pumps);  // the disk walk did not start
}

TEST_F(Search, KindAndCodeOfTheDatabase) {
    auto code = [](uint16_t value) {
        return Rec{GID_DB_KIND_CODE, std::string{0, 0, char(value), char(value >> 8)}};
    };
    auto kind = [](uint8_t value) { return Rec{GID_DB_KIND, std::string(1, char(value))}; };
    struct Case {
        const char* what;
        uint8_t expectedKind;
        int32_t expectedCode;
        std::vector<Rec> records;
        int match;
    } cases[] = {
        {"kind 1, code 0: no records", 1, 0, {}, 1},
        {"kind 1, code -1: kind 1 code 0", 1, -1, {kind(1), code(0)}, 1},
        {"kind 1: kind 2", 1, 0, {kind(2)}, 0},
        {"kind 1: code 3", 1, 0, {code(3)}, 0},
        {"kind 1, expected code 3", 1, 3, {}, 0},
        {"'1' code 7: kind '1' code 7", '1', 7, {kind('1'), code(7)}, 1},
        {"'1' code 7: kind '1' code 8", '1', 7, {kind('1'), code(8)}, 0},
        {"'1' code 2: kind 9 code 2", '1', 2, {kind(9), code(2)}, 1},
        {"'1' code 3: kind 9 code 3", '1', 3, {kind(9), code(3)}, 0},
        {"33 code 1: kind 33 code 1", 33, 1, {kind(33), code(1)}, 1},
        {"33 code 1: no records", 33, 1, {}, 0},
        {"33 code 1: kind 33 only", 33, 1, {kind(33)}, 0},
        {"none given: no records", 255, -1, {}, 1},
        {"none given: kind 33", 255, -1, {kind(33)}, 0},
        {"long kind records are read to their buffers",
         33,
         1,
         {Rec{GID_DB_KIND, std::string("\x21zzzzzzz", 8)},
          Rec{GID_DB_KIND_CODE, std::string("\0\0\x01\0zzzzzz", 10)}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        machine.Write("C:\\K.IDX", DbFile(DB_NEW_FORM, DB_ID_MAIN, c.records));
        EXPECT_EQ(c.match, DatabaseKindMatches(c.expectedCode, c.expectedKind, "C:\\K.IDX"));
    }
}

TEST_F(Search, CandidateFolderAcceptsTheKindWhateverTheVerdict) {
    fake.Install();
    Install("C:\\NEW", {Names({"NOUVEAU"})}, 1000000000, DB_OLD_FORM);
    ModemSettingsT settings;
    memset(&settings, 0x11, sizeof settings);
    EXPECT_EQ(1, CheckCandidateFolder("C:\\NEW", &settings));
    EXPECT_EQ(0x11111111, settings.port);  // a no verdict leaves the caller's settings
    EXPECT_EQ(0u, SearchState.BestTime);
    EXPECT_TRUE(LogHas("CFA:Time for C:\\NEW\\IDB\\MAIN.IDX = "));

    InstallSettings.ExpectedDbKind = 33;
    EXPECT_EQ(0, CheckCandidateFolder("C:\\NEW", nullptr));
    EXPECT_EQ(0, CheckCandidateFolder("C:\\NOWHERE", nullptr));
}

}  // namespace
