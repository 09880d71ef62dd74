// Package reader and install script: read primitives, copies with progress, every field of
// the script with its error number, the command-line precedence and the file table.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/seat.h"
#include "base/text.h"
#include "base/write.h"
#include "package/package.h"
#include "setup/fatal.h"
#include "sys/sys.h"

namespace {

std::string U16(unsigned v) { return std::string{char(v & 255), char(v >> 8 & 255)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string Text(const std::string& s) { return U16((unsigned)s.size()) + s; }
std::string List(const std::vector<std::vector<std::string>>& rows) {
    std::string out = U16((unsigned)rows.size());
    for (const auto& row : rows)
        for (const auto& t : row) out += Text(t);
    return out;
}
std::string Words(const std::vector<unsigned>& w) {
    std::string out = U16((unsigned)w.size());
    for (unsigned v : w) out += U16(v);
    return out;
}
struct File {
    std::string name;
    std::string data;
    uint32_t installed;
    int64_t stored = -1;  // the size the table gives; -1: the data's own
};
std::string Table(const std::vector<File>& files) {
    std::string out = U16((unsigned)files.size());
    for (const auto& f : files)
        out += Text(f.name) + U32(f.installed) +
               U32((uint32_t)(f.stored >= 0 ? f.stored : (int64_t)f.data.size()));
    return out;
}

// The script as its 52 encoded fields (index 1 to 52) plus the file data; tests replace
// one field at a time.
struct Script {
    std::vector<std::string> field;
    std::vector<File> files;
    Script() : field(53) {
        field[1] = "RS";
        const char* texts[] = {"C:\\Kov30I", "KOV",     "KOV 3.0i avec IE 4.0",
                               "",           "kov.exe", "Configuration de KOV 3.0i avec IE 4.0",
                               "3.0I",       "",        "",
                               "",           "",        "",
                               "",           "",        "",
                               "",           "",        "quickref.txt"};
        for (int i = 0; i < 18; i++) field[2 + i] = Text(texts[i]);
        field[20] = Text("33");
        field[21] = Text("1");
        field[22] = Text("");
        field[23] = Text("");
        for (int i = 24; i <= 31; i++) field[i] = U16(i == 31);
        field[32] = std::string{char(139), char(108)};
        field[33] = U16(2) + U32(0x10001) + U32(0x20002);
        field[34] =
            List({{"Bienvenue", "bienvenu.wav"}, {"Vous avez du courrier", "courrier.wav"}});
        field[35] = List({{"idb\\*.mal", ""}, {"ccl\\*.ccl", "*.old"}, {"download\\*.*", "move"}});
        field[36] = List({{"download"}, {"spool"}, {"organize"}});
        field[37] = List({{"pcgame.pif"}});
        field[38] = List({{"cache\\*.*"}, {"dunzip32.dll"}});
        field[39] = List({});
        field[40] = List({});
        field[41] = Words({});
        field[42] = Words({139 | 108 << 8});
        field[43] = Words({});
        field[44] = List({{"msie30.exe"}});
        field[45] = List({});
        field[46] = List({{"x", "y", "z"}});
        field[47] = List({{"addon.exe", "-q", "Un module"}});
        field[48] = List({{"r"}});
        field[49] = U16(0);
        field[50] = U16(1300);
        field[51] = U16(0);
        files = {{"dunzip32.dll", "MZ" + std::string(98, 'd'), 100},
                 {"quickref.txt", "Guide", 5},
                 {"mpm\\modem.ini", std::string(40, 'z'), 300}};
    }
    size_t DataSize() const {
        size_t n = 0;
        for (const auto& f : files) n += f.data.size();
        return n;
    }
    std::string Bytes() const {
        std::string out;
        for (int i = 1; i <= 51; i++) out += field[i];
        out += Table(files);
        for (const auto& f : files) out += f.data;
        return out;
    }
};

class Package : public ::testing::Test {
protected:
    char path[64];
    void SetUp() override {
        ResetRunState();
        strcpy(path, "/tmp/kovpkgXXXXXX");
        int fd = mkstemp(path);
        close(fd);
    }
    void TearDown() override {
        ClosePackage();
        FreeInstallScript();
        unlink(path);
    }
    // Writes prefix + bytes to the test file and opens it as -X path -T prefix length.
    void Open(const std::string& bytes, const std::string& prefix = "") {
        FILE* f = fopen(path, "wb");
        fwrite(prefix.data(), 1, prefix.size(), f);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        strcpy(InstallFile, path);
        InstallFileGiven = 1;
        if (!prefix.empty()) {
            PackageOffsetGiven = 1;
            PackageOffsetOption = (uint32_t)prefix.size();
        }
        ASSERT_EQ(OpenPackage(), 1);
    }
    int Read(const Script& s, const std::string& prefix = "") {
        Open(s.Bytes(), prefix);
        return ReadInstallScript();
    }
};

TEST_F(Package, ReadTextLimitsAndConsumption) {
    struct {
        std::string bytes;
        unsigned size;
        bool ok;
        long position;
    } cases[] = {
        {Text(std::string(63, 'a')), 64, true, 65},
        {Text(std::string(64, 'a')), 64, false, 2},
        {Text("") + "zz", 64, true, 2},  // empty text takes two bytes only
        {U16(5) + "abc", 64, false, 5},  // short read
        {"\x01", 64, false, -1},         // no full length
    };
    for (const auto& c : cases) {
        ClosePackage();
        Open(c.bytes);
        char buffer[64];
        memset(buffer, 'x', sizeof buffer);
        char* r = ReadText(buffer, c.size);
        EXPECT_EQ(r != 0, c.ok) << c.bytes.size();
        if (c.ok) EXPECT_EQ(strlen(buffer), c.bytes.size() - 2 - (c.bytes.size() == 4 ? 2 : 0));
        if (c.position >= 0) EXPECT_EQ(SysSeek(PackageFile, 0, SYS_SEEK_CUR), c.position);
    }
    // With no buffer a block of the text's length is taken.
    ClosePackage();
    Open(Text("hello"));
    char* block = ReadText(0, 128);
    ASSERT_TRUE(block);
    EXPECT_STREQ(block, "hello");
    MemFree(block);
}

TEST_F(Package, ReadTextListColumnsAndEmptyList) {
    Open(List({}) + List({{"a1", "b1", "c1"}, {"a2", "b2", "c2"}}) +
         List({{std::string(128, 'q')}}));
    uint16_t count = 99;
    char** a = 0;
    char** b = 0;
    char** c = 0;
    ASSERT_EQ(ReadTextList(&count, &a, &b, 0), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    ASSERT_EQ(ReadTextList(&count, &a, &b, &c), 1);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(a[1], "a2");
    EXPECT_STREQ(b[0], "b1");
    EXPECT_STREQ(c[1], "c2");
    for (char** col : {a, b, c}) {
        MemFree(col[0]), MemFree(col[1]), MemFree(col);
    }
    a = 0;
    EXPECT_EQ(ReadTextList(&count, &a, 0, 0), 0);  // 128 bytes exceed the 127 of a list text
    MemFree(a);
}

std::vector<uint32_t> gauge;
void* gaugeDialog;
void RecordGauge(void* dialog, uint32_t value) {
    gaugeDialog = dialog;
    gauge.push_back(value);
}

TEST_F(Package, CopyInBlocksWithGauge) {
    std::string data(70000, 0);
    for (size_t i = 0; i < data.size(); i++) data[i] = char(i * 7);
    Open("head" + data);
    char out[64];
    strcpy(out, "/tmp/kovcopyXXXXXX");
    close(mkstemp(out));
    PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + 1);
    e->offset = 4;
    e->storedSize = 70000;
    Seat.progressGauge = RecordGauge;
    int dialog;

    struct {
        bool scaled;
        void* dialog;
        uint32_t divisor;
        std::vector<uint32_t> expect;
    } cases[] = {
        {false, &dialog, 1, {1000, 1000 + 32768, 1000 + 65536}},
        {false, nullptr, 1, {}},                 // plain form: no dialog, no message
        {true, nullptr, 10, {100, 3376, 6653}},  // scaled form always reports
    };
    for (const auto& c : cases) {
        gauge.clear();
        SysFile f = SysCreate(out);
        int ok = c.scaled ? CopyEntryToFileScaled(f, e, c.dialog, 1000, c.divisor)
                          : CopyEntryToFile(f, e, c.dialog, 1000);
        SysClose(f);
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(gauge, c.expect);
        FILE* in = fopen(out, "rb");
        std::string back(80000, 0);
        back.resize(fread(&back[0], 1, back.size(), in));
        fclose(in);
        EXPECT_TRUE(back == data);
    }
    Seat = QuietSeat;

    // A short entry (beyond the end of the file) fails with 8.
    e->storedSize = 70001;
    SysFile f = SysCreate(out);
    EXPECT_EQ(CopyEntryToFile(f, e, 0, 0), 0);
    EXPECT_EQ(SetupError, 8);
    SysClose(f);
    MemFree(e);
    unlink(out);
}

TEST_F(Package, WriteFailureAsksAndCancelSetsAbort) {
    // A file opened read-only refuses every write.
    Open("data");
    SysFile f = SysOpen(path, SYS_READ);
    int answers[] = {SYS_ID_RETRY, SYS_ID_CANCEL};
    SysQueueAnswers(answers, 2);
    int before = SysQuestionsAsked();
    strcpy(InstallSettings.Win31FallbackProgram, "KOV31\\SETUP.EXE");
    FallbackInstallerNamed = 1;  // as the script reader sets it
    EXPECT_EQ(WriteAllRetry(f, "abcd", 4), 0);
    EXPECT_EQ(SysQuestionsAsked() - before, 2);
    EXPECT_EQ(UserAbort, 1u);
    EXPECT_EQ(OfferWin31Fallback, 1u);
    SysClose(f);

    // The same through a copy: error 9.
    PackageEntry e = {};
    e.storedSize = 4;
    f = SysOpen(path, SYS_READ);
    EXPECT_EQ(CopyEntryToFile(f, &e, 0, 0), 0);
    EXPECT_EQ(SetupError, 9);
    SysClose(f);
}

TEST_F(Package, OpenChoosesOffsetAndFile) {
    Script s;
    // -X without -T reads the script from offset 0.
    EXPECT_EQ(Read(s), 1);
    EXPECT_EQ(PackageOffset, 0u);
    ClosePackage();
    FreeInstallScript();
    // With -T the script starts at the given offset.
    EXPECT_EQ(Read(s, std::string(1000, 'M')), 1);
    EXPECT_EQ(PackageOffset, 1000u);
    EXPECT_EQ(FileTable->entry[0]->offset, 1000 + s.Bytes().size() - s.DataSize());
    ClosePackage();

    // No -X and no resource: 1. A resource but no own file name: 2. No such file: 3.
    struct {
        PackageLocatorFn locator;
        OwnFileNameFn own;
        const char* file;
        uint16_t error;
    } cases[] = {
        {nullptr, nullptr, "", 1},
        {[](uint32_t* o, char* t, unsigned n) {
             *o = 0;
             return 1;
         },
         nullptr, "", 1},
        {[](uint32_t* o, char* t, unsigned n) {
             *o = 5;
             strcpy(t, "TAG");
             return 1;
         },
         nullptr, "", 2},
        {nullptr, nullptr, "/nonexistent/setup.exe", 3},
    };
    FreeInstallScript();
    for (const auto& c : cases) {
        ResetRunState();
        strcpy(InstallFile, c.file);
        InstallFileGiven = c.file[0] != 0;
        PackageLocator = c.locator;
        OwnFileName = c.own;
        EXPECT_EQ(OpenPackage(), 0);
        EXPECT_EQ(SetupError, c.error);
        ClosePackage();
    }
    // Through the resource: offset and tag taken, the own file opened.
    ResetRunState();
    Open(s.Bytes(), "IMAGE");
    ClosePackage();
    ResetRunState();
    static std::string self;
    self = path;
    PackageLocator = [](uint32_t* o, char* t, unsigned n) {
        *o = 5;
        strcpy(t, "TAG");
        return 1;
    };
    OwnFileName = [](char* out, unsigned n) {
        strcpy(out, self.c_str());
        return 1;
    };
    EXPECT_EQ(OpenPackageAndScript(), 1);
    EXPECT_STREQ(ResourceTag, "TAG");
    EXPECT_EQ(PackageOffset, 5u);
    EXPECT_STREQ(InstallSettings.QuickRefFile, "quickref.txt");
    PackageLocator = 0;
    OwnFileName = 0;
}

TEST_F(Package, ScriptFieldsRead) {
    Script s;
    ASSERT_EQ(Read(s), 1) << SetupError;
    const InstallSettingsT& i = InstallSettings;
    EXPECT_STREQ(i.DefaultDestDir, "C:\\Kov30I");
    EXPECT_STREQ(i.FrameTitle, "Configuration de KOV 3.0i avec IE 4.0");
    EXPECT_STREQ(i.VersionText, "3.0I");
    EXPECT_EQ(i.ExpectedDbKind, 33);
    EXPECT_EQ(i.ExpectedDbKindCode, 1);
    EXPECT_EQ(WriteVersionFile, 1u);
    EXPECT_EQ(i.DbVersion[0], 139);
    EXPECT_EQ(i.DbVersion[1], 108);
    ASSERT_EQ(i.CarriedRecordCount, 2);
    EXPECT_EQ(i.CarriedRecordIds[1], 0x20002u);
    ASSERT_EQ(i.SoundEvents.count, 2);
    EXPECT_STREQ(i.SoundEvents.b[1], "courrier.wav");
    EXPECT_STREQ(i.PreservedFiles.b[2], "move");
    EXPECT_EQ(i.CreateDirs.count, 3);
    EXPECT_EQ(i.CreateDirs.b, nullptr);
    EXPECT_EQ(i.MergedFilesA.count, 0);
    EXPECT_EQ(i.MergedTableA, nullptr);
    EXPECT_EQ(i.ExactNewerVersions.count, 1);
    EXPECT_EQ(i.ExactNewerVersions.value[0] & 255, 139);
    EXPECT_STREQ(i.AddOnPrograms.c[0], "Un module");
    EXPECT_STREQ(i.BrowserInstallers.a[0], "msie30.exe");
    EXPECT_EQ(i.RequiredBrowserBuild, 1300);
    ASSERT_TRUE(FileTable);
    ASSERT_EQ(FileTable->count, 3);
    EXPECT_EQ(FileTable->total, 405u);
    // Data starts right after the table and entries follow each other.
    uint32_t start = (uint32_t)(s.Bytes().size() - s.DataSize());
    EXPECT_EQ(FileTable->entry[0]->offset, start);
    EXPECT_EQ(FileTable->entry[1]->offset, start + 100);
    EXPECT_EQ(FileTable->entry[2]->offset, start + 105);
    EXPECT_EQ(FindPackageEntry("MPM\\MODEM.INI"), FileTable->entry[2]);
    EXPECT_EQ(FindPackageEntry("modem.ini"), nullptr);
}

TEST_F(Package, ScriptErrorNumbers) {
    struct {
        int field;
        std::string value;
        uint16_t error;
    } cases[] = {
        {1, "SR", 18},
        {1, "R", 18},
        {2, Text(std::string(256, 'd')), 0},
        {2, Text(std::string(257, 'd')), 5},
        {3, Text(std::string(64, 'g')), 5},
        {9, Text(std::string(511, 'r')), 0},
        {19, Text(std::string(32, 'q')), 5},
        {20, Text("123456"), 34},
        {21, Text("123456"), 31},
        {22, Text("yesyes"), 32},
        {23, Text("no-no-"), 33},
        {33, U16(3) + U32(1), 5},
        {34, List({{"label", std::string(128, 's')}}), 5},
        {41, Words(std::vector<unsigned>(64, 1)), 0},
        {41, Words(std::vector<unsigned>(65, 1)), 5},  // beyond the fixed table: refused
        {43, Words(std::vector<unsigned>(65, 1)), 5},
        {47, List(std::vector<std::vector<std::string>>(65, {"a", "", ""})), 5},
        {51, U16(21), 5},  // more tool modules than slots
        {51, U16(1) + Text(std::string(32, 't')), 6},
        {51, U16(1) + Text("t.kov") + U32(1) + U16(2) + U32(1), 6},
        {51, U16(1) + Text("t.kov") + U32(1) + U16(0) + U16(1) + Text("tool\\t.dat"), 0},
        {51, U16(1) + Text("t.kov") + U32(1) + U16(0) + U16(1) + Text("..\\win.ini"),
         6},  // copied below the destination
        {51, U16(1) + Text("t.kov") + U32(1) + U16(0) + U16(1) + Text(""), 6},
    };
    for (const auto& c : cases) {
        ResetRunState();
        Script s;
        s.field[c.field] = c.value;
        EXPECT_EQ(Read(s), c.error == 0) << "field " << c.field;
        EXPECT_EQ(SetupError, c.error) << "field " << c.field;
        ClosePackage();
        FreeInstallScript();
    }
    // Every field cut one byte in: the number is the one of that field.
    Script cut;
    std::string prefix;
    for (int f = 1; f <= 51; f++) {
        uint16_t expect = f == 1    ? 18
                          : f == 20 ? 34
                          : f == 21 ? 31
                          : f == 22 ? 32
                          : f == 23 ? 33
                                    : 5;
        ResetRunState();
        Open(prefix + cut.field[f].substr(0, 1));
        EXPECT_EQ(ReadInstallScript(), 0) << "field " << f;
        EXPECT_EQ(SetupError, expect) << "field " << f;
        ClosePackage();
        FreeInstallScript();
        prefix += cut.field[f];
    }
    // A script cut anywhere fails; the number tells which part was cut.
    Script s;
    std::string whole = s.Bytes();
    size_t tableStart =
        whole.size() - s.DataSize() - (2 + 12 + 8) - (2 + 12 + 8) - (2 + 13 + 8) - 2;
    struct {
        size_t length;
        uint16_t error;
    } cuts[] = {
        {1, 18}, {3, 5}, {tableStart - 1, 5}, {tableStart + 1, 5}, {tableStart + 5, 6},
    };
    for (const auto& c : cuts) {
        ResetRunState();
        Open(whole.substr(0, c.length));
        EXPECT_EQ(ReadInstallScript(), 0);
        EXPECT_EQ(SetupError, c.error) << c.length;
        ClosePackage();
        FreeInstallScript();
    }
}

TEST_F(Package, NumbersAndYesTexts) {
    struct {
        std::string kind, code, skip, noMigration;
        uint8_t expectKind;
        int32_t expectCode;
        uint32_t expectSkip, expectNoMigration;
    } cases[] = {
        {"", "", "", "", 255, -1, 0, 0},       {"300", "-12", "YES", "", 44, -12, 1, 0},
        {"33", "1", "yEs", "no", 33, 1, 1, 0}, {"x", "7", "Yesno", "", 0, 7, 1, 0},
        {"0", "0", "ye", "yes", 0, 0, 1, 1},  // NoMigration also skips the search
        {"1", "1", "ye", "", 1, 1, 0, 0},
    };
    for (const auto& c : cases) {
        ResetRunState();
        Script s;
        s.field[20] = Text(c.kind);
        s.field[21] = Text(c.code);
        s.field[22] = Text(c.skip);
        s.field[23] = Text(c.noMigration);
        ASSERT_EQ(Read(s), 1);
        EXPECT_EQ(InstallSettings.ExpectedDbKind, c.expectKind) << c.kind;
        EXPECT_EQ(InstallSettings.ExpectedDbKindCode, c.expectCode) << c.code;
        EXPECT_EQ(InstallSettings.SkipPreviousSearch, c.expectSkip) << c.skip;
        EXPECT_EQ(InstallSettings.NoMigration, c.expectNoMigration) << c.noMigration;
        ClosePackage();
        FreeInstallScript();
    }
}

TEST_F(Package, CommandLineOptionsWinOverScript) {
    struct {
        uint32_t option;
        unsigned field;
        uint32_t expect;
    } cases[] = {
        {1, 0, 1},  // -M with a script value of 0: still skipped
        {0, 0, 0},
        {0, 1, 1},
        {1, 1, 1},
    };
    for (const auto& c : cases) {
        ResetRunState();
        SkipModemOption = NoDesktopItemsOption = OfferWin31ChoiceOption = c.option;
        SkipModem = NoDesktopItems = OfferWin31Choice = c.option;
        WriteVersionFile = 1;  // -V is replaced by the script whatever it says
        Script s;
        s.field[24] = s.field[25] = s.field[26] = U16(c.field);
        s.field[31] = U16(0);
        ASSERT_EQ(Read(s), 1);
        EXPECT_EQ(SkipModem, c.expect);
        EXPECT_EQ(NoDesktopItems, c.expect);
        EXPECT_EQ(OfferWin31Choice, c.expect);
        EXPECT_EQ(WriteVersionFile, 0u);
        ClosePackage();
        FreeInstallScript();
    }
}

TEST_F(Package, MergeTablesAndSums) {
    Script s;
    s.field[39] = List({{"idb\\art.idx"}, {"IDB\\ART.IDX"}});  // listed twice
    s.field[40] = List({{"idb\\a.idx"}, {"idb\\b.idx"}, {"idb\\ART.idx"}});
    s.files.push_back({"idb\\art.idx", "A", 1000});
    s.files.push_back({"idb\\b.idx", "B", 20});
    ASSERT_EQ(Read(s), 1);
    ASSERT_TRUE(InstallSettings.MergedTableA);
    ASSERT_TRUE(InstallSettings.MergedTableB);
    EXPECT_EQ(InstallSettings.MergedTableA->count, 2);
    EXPECT_EQ(InstallSettings.MergedTableB->count, 3);
    for (int i = 0; i < 3; i++) EXPECT_EQ(InstallSettings.MergedTableB->slot[i], nullptr);
    EXPECT_EQ(InstallSettings.MergedBytesA, 1000u);
    EXPECT_EQ(InstallSettings.MergedBytesB, 1020u);
    EXPECT_EQ(FileTable->total, 405u + 1020u);
}

TEST_F(Package, ToolModuleListsAreReversed) {
    Script s;
    s.field[51] = U16(2) + Text("listman.kov") + U32(0x00030001) + U16(3) + U32(11) + U32(22) +
                  U32(33) + U16(2) + Text("tool\\lm.dat") + Text("tool\\lm2.dat") +
                  Text("modem.kov") + U32(7) + U16(0) + U16(0);
    ASSERT_EQ(Read(s), 1);
    ASSERT_EQ(InstallSettings.ToolModuleCount, 2);
    const ToolModule& t = InstallSettings.ToolModules[0];
    EXPECT_STREQ(t.name, "listman.kov");
    EXPECT_EQ(t.minVersion, 0x00030001u);
    EXPECT_EQ(t.keyCount, 3);
    std::vector<uint32_t> keys;
    for (ToolKey* k = t.keys; k; k = k->next) keys.push_back(k->key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{33, 22, 11}));
    ASSERT_TRUE(t.companions);
    EXPECT_STREQ(t.companions->name, "tool\\lm2.dat");
    EXPECT_STREQ(t.companions->next->name, "tool\\lm.dat");
    EXPECT_EQ(t.companions->next->next, nullptr);
    EXPECT_EQ(t.kept + t.presentInOld + t.oldSize, 0u);
    EXPECT_STREQ(InstallSettings.ToolModules[1].name, "modem.kov");
    EXPECT_EQ(InstallSettings.ToolModules[1].keys, nullptr);
}

TEST_F(Package, UnsafeNamesRefused) {
    struct {
        std::string name;
        bool safe;
    } cases[] = {
        {"mpm\\modem.ini", true},
        {"system\\pppmac.vxd", true},
        {"a..b\\c..", true},
        {"..\\autoexec.bat", false},
        {"idb\\..\\..\\x", false},
        {"idb/../x", false},
        {"\\windows\\win.ini", false},
        {"/etc/passwd", false},
        {"C:\\x.dll", false},
        {"x.txt:stream", false},
        {"..", false},
        {"", false},
        {std::string(259, 'n'), true},
        {std::string(260, 'n'), false},
        {std::string("a\0b", 3), false},
        // Made only of dots and spaces: parent folders once trailing dots and spaces go.
        {"...\\x", false},
        {"idb\\.. \\..\\x", false},
        {".\\kov.exe", false},
        {"idb\\. .", false},
        {".hidden\\x..y", true},
        // Device names, in any folder and with any extension.
        {"mpm\\com1.ini", false},
        {"NUL", false},
        {"aux .txt", false},
        {"x\\Lpt9", false},
        {"con\\x.txt", false},
        {"clock$", false},
        {"com10.txt", true},
        {"console.txt", true},
        {"lpt0", true},
        {"icon.ico", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSafeEntryName(c.name.data(), (unsigned)c.name.size()), c.safe) << c.name;
        ResetRunState();
        Script s;
        // In place of the last entry: a table naming one file twice is refused on its own.
        s.files.back() = {c.name, "zz", 2};
        EXPECT_EQ(Read(s), c.safe) << c.name;
        EXPECT_EQ(SetupError, c.safe ? 0 : 6) << c.name;
        ClosePackage();
        FreeInstallScript();
    }
}

// Stored sizes place every entry: sizes whose sum wraps past 4 GB would point a later entry
// back into the script, and data that ends before or after the end of the package means the
// sizes are not the ones written.
TEST_F(Package, FileDataMustEndWhereThePackageEnds) {
    Script good;
    ASSERT_EQ(Read(good), 1);
    uint32_t dataStart = FileTable->entry[0]->offset;
    ClosePackage();
    FreeInstallScript();

    struct {
        const char* what;
        std::vector<File> files;
        std::string trailer;
    } cases[] = {
        // 100 + (2^32 - 100 - 40) wraps to 40 bytes before the data: inside the file table.
        {"wraps into the script",
         {{"dunzip32.dll", "MZ" + std::string(98, 'd'), 100},
          {"big.dat", "", 1, 0x100000000LL - 100 - 40},
          {"x.txt", "", 1, 40 + 100}},
         ""},
        {"last entry runs past the end",
         {{"dunzip32.dll", "MZ" + std::string(98, 'd'), 100}, {"x.txt", "xyz", 3, 4}},
         ""},
        {"bytes after the data", {{"dunzip32.dll", "MZ" + std::string(98, 'd'), 100}}, "zz"},
        {"one entry larger than the package",
         {{"dunzip32.dll", "MZ" + std::string(98, 'd'), 100, 0xFFFFFFFFLL}},
         ""},
    };
    for (const auto& c : cases) {
        ResetRunState();
        Script s;
        s.files = c.files;
        Open(s.Bytes() + c.trailer);
        EXPECT_EQ(ReadInstallScript(), 0) << c.what;
        EXPECT_EQ(SetupError, 6) << c.what;
        ClosePackage();
        FreeInstallScript();
    }
    EXPECT_GT(dataStart, 40u);
}

// Texts of the lists that become paths stay below the folder each list is relative to, with
// '\' separators; other texts (labels, arguments, descriptions) are taken as they are.
TEST_F(Package, ListNamesStayBelowTheirFolder) {
    struct {
        int field;
        std::string value;
        uint16_t error;
    } cases[] = {
        {36, List({{"..\\..\\WINDOWS"}}), 5},
        {36, List({{"C:\\x"}}), 5},
        {36, List({{"down*"}}), 5},  // a folder to create, not a pattern
        {38, List({{"..\\*.*"}}), 5},
        {38, List({{"cache/../../x"}}), 5},
        {38, List({{"cache\\*.*"}}), 0},
        {37, List({{"..\\*.*"}}), 5},
        {37, List({{"\\autoexec.bat"}}), 5},
        {35, List({{"C:\\autoexec.bat", "move"}}), 5},
        {35, List({{"ccl\\*.ccl", "..\\*.old"}}), 5},
        {35, List({{"ccl\\*.ccl", "*.old"}, {"idb\\*.mal", ""}}), 0},
        {34, List({{"Bip", "..\\..\\x.wav"}}), 5},
        {34, List({{"..\\label", "bip.wav"}}), 0},  // a label is no path
        {39, List({{"..\\idb\\main.idx"}}), 5},
        {40, List({{"nul"}}), 5},
        {44, List({{"..\\msie30.exe"}}), 5},
        {47, List({{"D:\\addon.exe", "", ""}}), 5},
        {47, List({{"addon.exe", "/S ..\\x", "..\\y"}}), 0},
        {46, List({{"..\\x", "C:\\y", "*"}}), 0},  // read and dropped
        {51, U16(1) + Text("..\\t.kov") + U32(1) + U16(0) + U16(0), 6},
        {51, U16(1) + Text("t*.kov") + U32(1) + U16(0) + U16(0), 6},
    };
    for (const auto& c : cases) {
        ResetRunState();
        Script s;
        s.field[c.field] = c.value;
        EXPECT_EQ(Read(s), c.error == 0) << "field " << c.field << " " << c.value.substr(4);
        EXPECT_EQ(SetupError, c.error) << "field " << c.field << " " << c.value.substr(4);
        ClosePackage();
        FreeInstallScript();
    }

    // '/' becomes '\' in every name, so that names equal after that are one name.
    Script s;
    s.field[36] = List({{"download/new"}});
    s.field[35] = List({{"idb/*.mal", "old/*.old"}});
    s.field[39] = List({{"config/a.ini"}});
    s.field[51] = U16(1) + Text("tool/t.kov") + U32(1) + U16(0) + U16(1) + Text("tool/t.dat");
    s.files.push_back({"config/a.ini", "A", 7});
    ASSERT_EQ(Read(s), 1) << SetupError;
    const InstallSettingsT& is = InstallSettings;
    EXPECT_STREQ(is.CreateDirs.a[0], "download\\new");
    EXPECT_STREQ(is.PreservedFiles.a[0], "idb\\*.mal");
    EXPECT_STREQ(is.PreservedFiles.b[0], "old\\*.old");
    EXPECT_STREQ(is.MergedFilesA.a[0], "config\\a.ini");
    EXPECT_STREQ(is.ToolModules[0].name, "tool\\t.kov");
    EXPECT_STREQ(is.ToolModules[0].companions->name, "tool\\t.dat");
    EXPECT_STREQ(FileTable->entry[3]->name, "config\\a.ini");
    EXPECT_EQ(is.MergedBytesA, 7u);
    EXPECT_EQ(FindPackageEntry("CONFIG\\A.INI"), FileTable->entry[3]);
}

// The Windows folder's delete list names the package's own files there, and titles become one
// name in a shell folder: anything else is refused with error 5, as the other list names are.
TEST_F(Package, WindowsDeletesAndTitlesNameOnlyTheirOwn) {
    const int GROUP = 3, TITLE = 4, FRESH_TITLE = 5, WINDOWS_DELETES = 37;
    struct {
        int field;
        std::string value;
        uint16_t error;
    } cases[] = {
        {WINDOWS_DELETES, List({{"*.ini"}}), 5},
        {WINDOWS_DELETES, List({{"system\\*.*"}}), 5},
        {WINDOWS_DELETES, List({{"*.*"}}), 5},
        {WINDOWS_DELETES, List({{"*"}}), 5},
        {WINDOWS_DELETES, List({{"?*.txt"}}), 5},
        {WINDOWS_DELETES, List({{"win.ini"}}), 5},
        {WINDOWS_DELETES, List({{"System.Ini"}}), 5},
        {WINDOWS_DELETES, List({{"win*.*"}}), 5},  // would match win.ini and win.com
        {WINDOWS_DELETES, List({{"system\\kovold.dll"}}), 5},
        {WINDOWS_DELETES, List({{"Bureau\\These.doc"}}), 5},
        {WINDOWS_DELETES, List({{"pcgame.pif"}, {"pcgame.*"}, {"kov*.ini"}}), 0},
        {GROUP, Text("..\\..\\Mes documents"), 5},
        {GROUP, Text("KOV\\Sub"), 5},
        {GROUP, Text("KOV/Sub"), 5},
        {GROUP, Text("nul"), 5},
        {GROUP, Text("KOV."), 5},
        {GROUP, Text("K:OV"), 5},
        {GROUP, Text("KOV\r\n"), 5},
        {GROUP, Text("Tavelin Online"), 0},
        {TITLE, Text("..\\..\\Mes documents\\Rapport annuel"), 5},
        {TITLE, Text(".."), 5},
        {TITLE, Text("KOV*"), 5},
        {TITLE, Text("com1"), 5},
        {TITLE, Text("KOV 3.0i avec IE 4.0"), 0},
        {FRESH_TITLE, Text("C:\\x"), 5},
        {FRESH_TITLE, Text(""), 0},
    };
    for (const auto& c : cases) {
        ResetRunState();
        Script s;
        s.field[c.field] = c.value;
        EXPECT_EQ(Read(s), c.error == 0) << "field " << c.field << " " << c.value.substr(2);
        EXPECT_EQ(SetupError, c.error) << "field " << c.field << " " << c.value.substr(2);
        ClosePackage();
        FreeInstallScript();
    }
}

// One file named twice, in any spelling the file system takes for the same name, is refused.
TEST_F(Package, FileNamedTwiceRefused) {
    const std::pair<const char*, const char*> twice[] = {
        {"config/a.ini", "config\\a.ini"},
        {"MPM\\MODEM.INI", "mpm\\modem.ini"},
        {"R\xC9"
         "CENT.TXT",
         "r\xE9"
         "cent.txt"},
    };
    for (const auto& t : twice) {
        ResetRunState();
        Script s;
        s.files.push_back({t.first, "A", 1});
        s.files.push_back({"other.txt", "B", 1});
        s.files.push_back({t.second, "C", 1});
        EXPECT_EQ(Read(s), 0) << t.first;
        EXPECT_EQ(SetupError, 6) << t.first;
        ClosePackage();
        FreeInstallScript();
    }
}

// Names compare by the Windows-1252 upper case, whatever the platform: accented letters match
// their capitals in the entry search and in the merge sums.
TEST_F(Package, AccentedNamesMatchTheirCapitals) {
    Script s;
    s.field[39] = List({{"IDB\\R\xC9"
                         "CENT.IDX"}});
    s.files.push_back({"idb\\r\xe9"
                       "cent.idx",
                       "A", 600});
    s.files.push_back({std::string("\x9cuvre\\") + "\xff.txt", "B", 1});
    ASSERT_EQ(Read(s), 1) << SetupError;
    EXPECT_EQ(InstallSettings.MergedBytesA, 600u);
    EXPECT_EQ(FindPackageEntry("IDB\\R\xC9"
                               "CENT.IDX"),
              FileTable->entry[3]);
    EXPECT_EQ(FindPackageEntry((std::string("\x8cUVRE\\") + "\x9f.TXT").c_str()),
              FileTable->entry[4]);
    EXPECT_EQ(FindPackageEntry("idb\\recent.idx"), nullptr);  // an accent is not dropped
}

// One run leaves nothing for the next: the package closed, its tables freed, the hooks and
// the seat back.
TEST_F(Package, ResetRunStateClosesAndRestores) {
    Script s;
    s.field[36] = List({{"download"}});
    ASSERT_EQ(Read(s), 1);
    Seat.progressGauge = [](void*, uint32_t) {};
    ClosePackageHook = [] {};
    unsigned live = LiveBlocks();
    ResetRunState();
    EXPECT_EQ(PackageFile, 0);
    EXPECT_EQ(FileTable, nullptr);
    EXPECT_EQ(CopyBuffer, nullptr);
    EXPECT_EQ(InstallSettings.CreateDirs.count, 0);
    EXPECT_EQ(Seat.progressGauge, QuietSeat.progressGauge);
    EXPECT_EQ(ClosePackageHook, nullptr);
    EXPECT_EQ(PackageOffset, 0u);
    EXPECT_LT(LiveBlocks(), live);
}

TEST_F(Package, FatalErrorReport) {
    int before = SysQuestionsAsked();
    ReportFatalError();  // nothing to report
    EXPECT_EQ(SysQuestionsAsked(), before);
    SetFatal(18);
    SetFatal(5);  // a later number does not replace the first
    ReportFatalError();
    EXPECT_EQ(SysQuestionsAsked(), before + 1);
    char expect[512];
    Format(expect, sizeof expect, LoadMessage(2, 34002, 34003), 18u);
    EXPECT_STREQ(SysLastQuestion(), expect);
    EXPECT_NE(strstr(SysLastQuestion(), "(n\xB0 18)"), nullptr);  // the number in the text
    std::string trace(LogTraceText(), LogTraceUsed());
    EXPECT_NE(trace.find("Fatal error #18\r\n"), std::string::npos);
}

}  // namespace
