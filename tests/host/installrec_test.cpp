// The install record (noting, writing, reading back a sound or damaged file) and the
// uninstaller's portable half over a small installed tree.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "record/installrec.h"
#include "sys/sys.h"
#include "tests/host/machine.h"
#include "uninstall/undo.h"

namespace {

struct RecordTest : ::testing::Test {
    TestMachine machine;
    void SetUp() override {
        ResetInstallRecord();
        LogReset();
        MakePath("C:\\KOV");
    }
    // Writes a file, making its folders first.
    void Put(const char* path, const std::string& data) {
        char folder[260];
        GetDirPart(folder, path);
        MakePath(folder);
        machine.Write(path, data);
    }
    void TearDown() override {
        ResetInstallRecord();
        LogReset();
    }
    bool Exists(const char* path) { return SysAttributes(path) != SYS_ATTR_NONE; }
};

TEST_F(RecordTest, EveryKindReadsBackAsNotedAndRepeatsKeepTheFirstState) {
    RecordFolder("C:\\KOV");
    RecordFile("C:\\KOV\\KOV.EXE");
    RecordUserData("C:\\KOV\\IDB");
    RecordGroup("KOV");
    RecordShortcut("C:\\WINDOWS\\Menu D\xE9marrer\\Programmes\\KOV\\KOV 3.0i.lnk");
    RecordRegistryKey("HKCU", "Software\\Tavelin Online");
    RecordRegistryValue("HKCU", "Software\\Tavelin Online\\KOV", "AppPath", PREVIOUS_STRING,
                        "C:\\OLD\ttab 100%");
    RecordRegistryValue("HKCU", "Software\\Tavelin Online\\KOV", "AppPath", PREVIOUS_ABSENT, "");
    RecordRegistryValue("HKCU", "Software\\Tavelin Online\\KOV", "", PREVIOUS_NUMBER, "7");
    RecordProfileValue("WIN.INI", "WKOV", "AppPath", nullptr);
    RecordProfileValue("WIN.INI", "WKOV", "AppPath", "later");
    RecordProfileValue("WIN.INI", "WKOV", "Installed", "");
    RecordAppended("C:\\WINDOWS\\Help\\Windows.cnt", 42, "\r\n:Link kov95f.hlp\r\n");
    ASSERT_EQ(InstallRecordCount(), 11);
    ASSERT_TRUE(WriteInstallRecord("C:\\KOV", "C:\\KOV"));

    // Every line stays one line: tabs, line breaks and '%' are escaped in the file.
    std::string text = machine.Read("C:\\KOV\\" INSTALL_RECORD_NAME);
    EXPECT_EQ(text.find("KOV install record 1\r\nDEST\tC:\\KOV\r\n"), 0u);
    EXPECT_NE(text.find("\tSC:\\OLD%09tab 100%25"), std::string::npos);
    EXPECT_NE(text.find("%0D%0A:Link kov95f.hlp%0D%0A"), std::string::npos);

    InstallRecord record;
    ASSERT_TRUE(ReadInstallRecord("C:\\KOV\\" INSTALL_RECORD_NAME, &record));
    EXPECT_TRUE(record.complete);
    EXPECT_EQ(record.skipped, 0);
    ASSERT_EQ(record.count, 12);
    struct {
        int kind;
        const char* fields[4];
    } expected[] = {
        {ITEM_DEST, {"C:\\KOV"}},
        {ITEM_DIR, {"C:\\KOV"}},
        {ITEM_FILE, {"C:\\KOV\\KOV.EXE"}},
        {ITEM_DATA, {"C:\\KOV\\IDB"}},
        {ITEM_GROUP, {"KOV"}},
        {ITEM_LINK, {"C:\\WINDOWS\\Menu D\xE9marrer\\Programmes\\KOV\\KOV 3.0i.lnk"}},
        {ITEM_KEY, {"HKCU", "Software\\Tavelin Online"}},
        {ITEM_VALUE, {"HKCU", "Software\\Tavelin Online\\KOV", "AppPath", "SC:\\OLD\ttab 100%"}},
        {ITEM_VALUE, {"HKCU", "Software\\Tavelin Online\\KOV", "", "D7"}},
        {ITEM_PROFILE, {"WIN.INI", "WKOV", "AppPath", "-"}},
        {ITEM_PROFILE, {"WIN.INI", "WKOV", "Installed", "="}},
        {ITEM_HELP, {"C:\\WINDOWS\\Help\\Windows.cnt", "42", "\r\n:Link kov95f.hlp\r\n"}},
    };
    for (int i = 0; i < record.count; ++i) {
        EXPECT_EQ(record.items[i].kind, expected[i].kind) << i;
        for (int f = 0; f < 4; ++f)
            EXPECT_STREQ(record.items[i].field[f],
                         expected[i].fields[f] ? expected[i].fields[f] : "")
                << i << " field " << f;
    }
    FreeInstallRecord(&record);
}

TEST_F(RecordTest, DamagedRecordGivesWhatIsReadableAndSaysSo) {
    RecordFile("C:\\KOV\\A.DLL");
    RecordFile("C:\\KOV\\B.DLL");
    RecordFile("C:\\KOV\\C.DLL");
    ASSERT_TRUE(WriteInstallRecord("C:\\KOV", "C:\\KOV"));
    const std::string sound = machine.Read("C:\\KOV\\" INSTALL_RECORD_NAME);
    const char* record = "C:\\KOV\\" INSTALL_RECORD_NAME;
    std::string many = "KOV install record 1\r\n";
    for (int i = 0; i < 5000; i++) many += "FILE\tC:\\KOV\\X.DLL\r\n";
    struct {
        const char* what;
        std::string text;
        int read, count, skipped;
    } cases[] = {
        {"sound", sound, 1, 4, 0},
        {"cut inside a line", sound.substr(0, sound.find("B.DLL") + 2), 1, 2, 1},
        {"cut before the end line", sound.substr(0, sound.find("END")), 1, 4, 0},
        {"a line of an unknown kind",
         sound.substr(0, sound.find("FILE")) + "WHAT\tx\r\n" + sound.substr(sound.find("FILE")), 1,
         4, 1},
        {"a bad escape",
         sound.substr(0, sound.find("B.DLL")) + "%G1" + sound.substr(sound.find("B.DLL")), 1, 3, 1},
        {"a missing field",
         sound.substr(0, sound.find("FILE")) + "VALUE\tHKCU\tkey\r\n" +
             sound.substr(sound.find("FILE")),
         1, 4, 1},
        {"NUL bytes and no line breaks", std::string("KOV install record 1\0\0\0FILE", 28), 1, 0,
         1},
        {"far more lines than an install makes", many, 1, 4096, 1},
        {"a megabyte of line feeds", "KOV install record 1" + std::string(1000000, '\n'), 1, 0, 0},
        {"more than a megabyte", "KOV install record 1" + std::string(1100000, '\n'), 0, 0, 0},
        {"no header", sound.substr(5), 0, 0, 0},
        {"empty", "", 0, 0, 0},
    };
    for (auto& c : cases) {
        machine.Write(record, c.text);
        InstallRecord read;
        EXPECT_EQ(ReadInstallRecord(record, &read), c.read) << c.what;
        EXPECT_EQ(read.count, c.count) << c.what;
        EXPECT_EQ(read.skipped, c.skipped) << c.what;
        EXPECT_EQ(read.complete, c.read && c.text == sound) << c.what;
        FreeInstallRecord(&read);
    }
    InstallRecord missing;
    EXPECT_EQ(ReadInstallRecord("C:\\KOV\\NONE.LST", &missing), 0);
}

TEST_F(RecordTest, MakePathNotesOnlyTheFoldersItMade) {
    EXPECT_TRUE(MakePathRecorded("C:\\KOV\\IDB\\ART"));
    MakePathRecorded("C:\\KOV\\IDB\\");
    ASSERT_TRUE(WriteInstallRecord("C:\\KOV", "C:\\KOV"));
    InstallRecord record;
    ASSERT_TRUE(ReadInstallRecord("C:\\KOV\\" INSTALL_RECORD_NAME, &record));
    ASSERT_EQ(record.count, 3);
    EXPECT_STREQ(record.items[1].field[0], "C:\\KOV\\IDB");
    EXPECT_STREQ(record.items[2].field[0], "C:\\KOV\\IDB\\ART");
    FreeInstallRecord(&record);
}

TEST(PathUnder, NamesEndAtABackslash) {
    struct {
        const char* path;
        const char* root;
        int under;
    } cases[] = {
        {"C:\\KOV", "C:\\KOV", 1},         {"c:\\kov\\x.dll", "C:\\KOV\\", 1},
        {"C:\\KOV2\\x.dll", "C:\\KOV", 0}, {"C:\\KO", "C:\\KOV", 0},
        {"D:\\KOV\\x", "C:\\KOV", 0},      {"C:\\x", "", 0},
    };
    for (auto& c : cases) EXPECT_EQ(PathUnder(c.path, c.root), c.under) << c.path << " " << c.root;
}

// A small installed tree: the destination with its files, a data folder the user has
// filled, a shortcut in its group folder and lines appended to the help contents.
struct UndoTest : RecordTest {
    const char* dest = "C:\\KOV";
    const char* recordPath = "C:\\KOV\\" INSTALL_RECORD_NAME;
    const std::string helpBefore = ":Base windows.hlp\r\n1 Aide\r\n";
    const std::string added = ":Index Tavelin Online Help=kov95f.hlp\r\n:include kov95f.cnt\r\n";

    void SetUp() override {
        RecordTest::SetUp();
        SysRemoveDir(dest);
        MakePathRecorded(dest);
        Put("C:\\WINDOWS\\Help\\Windows.cnt", helpBefore + added);
        Put("C:\\KEEP.TXT", "not ours");
        ASSERT_TRUE(SysMakeDir("C:\\WINDOWS\\Programmes"));
        MakePathRecorded("C:\\KOV\\IDB");
        MakePathRecorded("C:\\KOV\\DOWNLOAD");
        MakePathRecorded("C:\\WINDOWS\\Programmes\\KOV");
        for (const char* file : {"C:\\KOV\\KOV.EXE", "C:\\KOV\\IDB\\MAIN.IDX"}) {
            Put(file, "x");
            RecordFile(file);
        }
        Put("C:\\WINDOWS\\Programmes\\KOV\\KOV.lnk", "x");
        RecordGroup("KOV");
        RecordShortcut("C:\\WINDOWS\\Programmes\\KOV\\KOV.lnk");
        RecordAppended("C:\\WINDOWS\\Help\\Windows.cnt", helpBefore.size(), added.c_str());
        RecordFile("C:\\KEEP.TXT");  // outside every folder of the install
        RecordUserData("C:\\KOV\\IDB");
        RecordUserData("C:\\KOV\\DOWNLOAD");
        Put("C:\\KOV\\DOWNLOAD\\MAIL\\NEWS.TXT", "the user's");
        ASSERT_TRUE(WriteInstallRecord(dest, dest));
    }

    static UndoContext Context(const InstallRecord* record, int removeUserData) {
        UndoContext ctx = {};
        ctx.record = record;
        ctx.roots[0] = "C:\\KOV";
        ctx.roots[1] = "C:\\WINDOWS";
        ctx.roots[2] = "C:\\WINDOWS\\Programmes";
        ctx.roots[3] = "C:\\WINDOWS\\Bureau";
        ctx.rootCount = 4;
        ctx.removeUserData = removeUserData;
        ctx.helpFile = "C:\\WINDOWS\\Help\\Windows.cnt";
        ctx.groupName = "KOV";
        ctx.uninstaller = "C:\\KOV\\" UNINSTALLER_NAME;
        return ctx;
    }
    UndoContext Run(int removeUserData, InstallRecord* record) {
        EXPECT_TRUE(ReadInstallRecord(recordPath, record) || !Exists(recordPath));
        UndoContext ctx = Context(record, removeUserData);
        UndoRecord(&ctx, recordPath, nullptr);
        return ctx;
    }
};

TEST_F(UndoTest, KeepsUserDataAndWhatIsNotOursTakesBackTheRest) {
    InstallRecord record;
    UndoContext ctx = Run(0, &record);
    FreeInstallRecord(&record);
    for (const char* gone : {"C:\\KOV\\KOV.EXE", "C:\\WINDOWS\\Programmes\\KOV"})
        EXPECT_FALSE(Exists(gone)) << gone;
    // The refused line leaves the uninstall incomplete: the record stays for another try.
    for (const char* kept : {"C:\\KOV\\IDB\\MAIN.IDX", "C:\\KOV\\DOWNLOAD\\MAIL\\NEWS.TXT",
                             "C:\\KEEP.TXT", "C:\\WINDOWS\\Programmes", recordPath})
        EXPECT_TRUE(Exists(kept)) << kept;
    EXPECT_EQ(machine.Read("C:\\WINDOWS\\Help\\Windows.cnt"), helpBefore);
    EXPECT_EQ(ctx.failed, 1);  // the refused file
    EXPECT_EQ(ctx.refused, 1);
    EXPECT_NE(std::string(LogTraceText()).find("Refused FILE C:\\KEEP.TXT"), std::string::npos);
}

TEST_F(UndoTest, RemovesUserDataWhenAskedAndASecondRunFindsNothing) {
    // The user deleted a file by hand and added a line after ours.
    ASSERT_TRUE(SysDelete("C:\\KOV\\KOV.EXE"));
    machine.Write("C:\\WINDOWS\\Help\\Windows.cnt", helpBefore + added + ":Link other.hlp\r\n");
    InstallRecord record;
    UndoContext ctx = Run(1, &record);
    for (const char* gone : {"C:\\KOV\\IDB", "C:\\KOV\\DOWNLOAD", "C:\\WINDOWS\\Programmes\\KOV"})
        EXPECT_FALSE(Exists(gone)) << gone;
    // The refused line keeps the record, and so its folder, for another try.
    EXPECT_TRUE(Exists(recordPath));
    EXPECT_TRUE(Exists("C:\\KEEP.TXT"));
    EXPECT_EQ(machine.Read("C:\\WINDOWS\\Help\\Windows.cnt"), helpBefore + ":Link other.hlp\r\n");
    EXPECT_GE(ctx.gone, 1);
    EXPECT_EQ(ctx.failed, 1) << LogTraceText();

    // The same record again (the uninstaller's first run was cut short after its walk).
    UndoContext again = Context(&record, 1);
    UndoRecord(&again, recordPath, nullptr);
    EXPECT_EQ(again.removed, 0);
    EXPECT_EQ(again.failed, 1);
    EXPECT_EQ(machine.Read("C:\\WINDOWS\\Help\\Windows.cnt"), helpBefore + ":Link other.hlp\r\n");
    FreeInstallRecord(&record);
}

TEST_F(UndoTest, RefusesPathsThatLeaveTheInstallFolders) {
    Put("C:\\OTHER\\X.DLL", "x");
    const char* hostile[] = {"C:\\KOV\\..\\OTHER\\X.DLL", "C:\\KOV2\\X.DLL", "\\OTHER\\X.DLL",
                             "OTHER\\X.DLL", "C:\\OTHER"};
    ResetInstallRecord();
    for (const char* path : hostile) RecordFile(path);
    RecordUserData("C:\\WINDOWS");  // data folders lie in the destination only
    RecordFolder("C:\\OTHER");
    ASSERT_TRUE(WriteInstallRecord(dest, dest));
    InstallRecord record;
    UndoContext ctx = Run(1, &record);
    FreeInstallRecord(&record);
    EXPECT_EQ(ctx.removed, 0);
    EXPECT_EQ(ctx.failed, 7);
    EXPECT_TRUE(Exists("C:\\OTHER\\X.DLL"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\Help\\Windows.cnt"));
}

// A record is a file anyone can edit: each line kind is held to what an install makes, a
// refused line is logged and counted, the others are done, and the uninstaller, its record
// and its entry stay for another try. The record is written here by hand, not noted.
TEST_F(UndoTest, HostileRecordLinesActOnlyOnWhatAnInstallMakes) {
    const std::string userDoc = "Mon rapport", addressBook = "Nom: Dupont\r\nNom: Martin\r\n";
    Put("C:\\WINDOWS\\Bureau\\These.doc", userDoc);
    Put("C:\\WINDOWS\\system.ini", "[boot]\r\n");
    Put("C:\\WINDOWS\\WIN.INI", "[windows]\r\n");
    Put("C:\\WINDOWS\\Bureau\\Autre.lnk", "link");
    Put("C:\\WINDOWS\\Bureau\\notes.txt", "notes");
    Put("C:\\WINDOWS\\Programmes\\Accessoires\\Bloc-notes.lnk", "link");
    Put("C:\\KOV\\IDB\\CONTACTS.TXT", addressBook);
    Put("C:\\WINDOWS\\pcgame.pif", "pif");  // a package's own file of the Windows folder
    Put("C:\\KOV\\" UNINSTALLER_NAME, "exe");
    struct Line {
        const char* text;
        bool refused;
    } lines[] = {
        {"FILE\tC:\\WINDOWS\\Bureau\\These.doc", true},
        {"FILE\tC:\\WINDOWS\\system.ini", true},
        {"FILE\tC:\\WINDOWS\\*.ini", true},
        {"FILE\tC:\\KOV\\.\\..\\WINDOWS\\WIN.INI", true},
        {"FILE\tC:\\KOV\\\\KOV.EXE", true},
        {"LINK\tC:\\WINDOWS\\system.ini", true},
        {"LINK\tC:\\WINDOWS\\Bureau\\notes.txt", true},
        {"LINK\tC:\\WINDOWS\\Autre.lnk", true},
        {"HELP\tC:\\KOV\\IDB\\CONTACTS.TXT\t0\tNom: Dupont%0D%0A", true},
        {"HELP\tC:\\WINDOWS\\WIN.INI\t0\t[windows]", true},
        {"GROUP\tAccessoires", true},
        {"PROFILE\tWIN.INI\tWKOV\tInstalled\t=x%0D%0A[windows]%0D%0Aload=evil.exe", true},
        {"VALUE\tHKCU\tSoftware\\Tavelin Online%0D%0Ax\tA\t-", true},
        {"FILE\tC:\\KOV\\KOV.EXE", false},
        {"FILE\tC:\\WINDOWS\\pcgame.pif", false},
        {"LINK\tC:\\WINDOWS\\Programmes\\KOV\\KOV.lnk", false},
        {"FILE\tC:\\KOV\\" UNINSTALLER_NAME, false},
    };
    std::string text = "KOV install record 1\r\nDEST\tC:\\KOV\r\nDATA\tC:\\KOV\\IDB\r\n";
    int count = 2, refused = 0;
    for (const Line& l : lines) {
        text += std::string(l.text) + "\r\n";
        ++count;
        refused += l.refused;
    }
    text += "END\t" + std::to_string(count) + "\r\n";
    machine.Write(recordPath, text);
    InstallRecord record;
    ASSERT_TRUE(ReadInstallRecord(recordPath, &record));
    ASSERT_TRUE(record.complete);
    UndoContext ctx = Context(&record, 0);
    std::string otherKinds;
    static std::string* seen;
    seen = &otherKinds;
    EXPECT_FALSE(UndoRecord(&ctx, recordPath, [](UndoContext*, const InstallItem* item) {
        *seen += std::string(InstallItemName(item->kind)) + " ";
    }));
    FreeInstallRecord(&record);
    EXPECT_EQ(ctx.refused, refused) << LogTraceText();
    EXPECT_EQ(ctx.failed, refused);
    EXPECT_EQ(otherKinds, "");  // no hostile profile, registry or group line got through
    EXPECT_EQ(machine.Read("C:\\WINDOWS\\Bureau\\These.doc"), userDoc);
    EXPECT_EQ(machine.Read("C:\\KOV\\IDB\\CONTACTS.TXT"), addressBook);
    for (const char* kept :
         {"C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\Bureau\\Autre.lnk",
          "C:\\WINDOWS\\Bureau\\notes.txt", "C:\\WINDOWS\\Programmes\\Accessoires\\Bloc-notes.lnk",
          "C:\\KOV\\" UNINSTALLER_NAME, recordPath})
        EXPECT_TRUE(Exists(kept)) << kept;
    for (const char* gone :
         {"C:\\KOV\\KOV.EXE", "C:\\WINDOWS\\pcgame.pif", "C:\\WINDOWS\\Programmes\\KOV\\KOV.lnk"})
        EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_NE(std::string(LogTraceText()).find("Uninstall not complete"), std::string::npos);

    // A field holding a NUL is no line of the format: it would name something shorter.
    machine.Write(recordPath,
                  "KOV install record 1\r\nFILE\tC:\\KOV\\KOV.EXE%00.txt\r\nEND\t1\r\n");
    ASSERT_TRUE(ReadInstallRecord(recordPath, &record));
    EXPECT_EQ(record.count, 0);
    EXPECT_EQ(record.skipped, 1);
    FreeInstallRecord(&record);
}

// With nothing refused, the way back goes last: the uninstaller's file and the record too.
TEST_F(UndoTest, CompleteUninstallTakesTheWayBackLast) {
    ResetInstallRecord();
    Put("C:\\KOV\\" UNINSTALLER_NAME, "exe");
    RecordFile("C:\\KOV\\" UNINSTALLER_NAME);
    RecordFile("C:\\KOV\\KOV.EXE");
    RecordFolder("C:\\");  // a folder above the destination: removed only when empty
    ASSERT_TRUE(WriteInstallRecord(dest, dest));
    InstallRecord record;
    UndoContext ctx = Run(0, &record);
    FreeInstallRecord(&record);
    EXPECT_EQ(ctx.failed, 0) << LogTraceText();
    EXPECT_FALSE(Exists("C:\\KOV\\" UNINSTALLER_NAME));
    EXPECT_FALSE(Exists(recordPath));
    std::string log = LogTraceText();
    EXPECT_LT(log.find("Removed C:\\KOV\\KOV.EXE"), log.find("Removed C:\\KOV\\" UNINSTALLER_NAME));
}

}  // namespace

namespace {

TEST_F(RecordTest, WininitDeleteKeepsEveryEarlierLine) {
    const char* wininit = "C:\\WINDOWS\\WININIT.INI";
    struct {
        const char* before;  // null: no file
        const char* after;
    } cases[] = {
        {nullptr, "[rename]\r\nNUL=C:\\TEMP\\RMK1.EXE\r\n"},
        {"", "[rename]\r\nNUL=C:\\TEMP\\RMK1.EXE\r\n"},
        {"[other]\r\nA=1", "[other]\r\nA=1\r\n[rename]\r\nNUL=C:\\TEMP\\RMK1.EXE\r\n"},
        {"[Rename]\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n[x]\r\n",
         "[Rename]\r\nNUL=C:\\TEMP\\RMK1.EXE\r\nNUL=C:\\OLD.DLL\r\nC:\\A.DLL=C:\\B.DLL\r\n[x]\r\n"},
        {"[rename]", "[rename]\r\nNUL=C:\\TEMP\\RMK1.EXE\r\n"},
    };
    for (auto& c : cases) {
        SysDelete(wininit);
        if (c.before) Put(wininit, c.before);
        else MakePath("C:\\WINDOWS");
        EXPECT_TRUE(AddWininitDelete(wininit, "C:\\TEMP\\RMK1.EXE"))
            << (c.before ? c.before : "none");
        EXPECT_EQ(machine.Read(wininit), c.after) << (c.before ? c.before : "none");
    }
    // A name that would start a line of its own is not written.
    EXPECT_FALSE(AddWininitDelete(wininit, "C:\\A\r\nC:\\WINDOWS\\SYSTEM\\X.DLL"));
}

}  // namespace
