// kovpack: what it builds is read back by the setup's own reader, every stored file is what
// the install loop expects, and descriptions the setup would refuse are refused up front.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <fstream>
#include <iterator>
#include <string>
#include "base/globals.h"
#include "base/path.h"
#include "package/package.h"
#include "sys/sys.h"

namespace {

const std::string kKovpack = std::string(KOV_BINARY_DIR) + "/kovpack";
const std::string kDemo = std::string(KOV_SOURCE_DIR) + "/build/demo";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs a command; returns its exit status and its output.
int RunCommand(const std::string& command, std::string* output) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t n;
    output->clear();
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output->append(buffer, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t Le32(const std::string& s, size_t at) {
    return (uint32_t)(unsigned char)s[at] | (uint32_t)(unsigned char)s[at + 1] << 8 |
           (uint32_t)(unsigned char)s[at + 2] << 16 | (uint32_t)(unsigned char)s[at + 3] << 24;
}
unsigned Le16(const std::string& s, size_t at) {
    return (unsigned char)s[at] | (unsigned char)s[at + 1] << 8;
}

// Checks a stored entry as the decompressor will see it: one deflated member with the bare
// name, whose data inflates to the installed size with the recorded CRC.
::testing::AssertionResult IsOneMemberZip(const std::string& z, const std::string& entry,
                                          uint32_t installed) {
    std::string bare = entry.substr(
        entry.find_last_of('\\') == std::string::npos ? 0 : entry.find_last_of('\\') + 1);
    if (z.size() < 30 + 46 + 22 || Le32(z, 0) != 0x04034b50)
        return ::testing::AssertionFailure() << entry << ": no local header";
    if (Le16(z, 8) != 8) return ::testing::AssertionFailure() << entry << ": method " << Le16(z, 8);
    uint32_t packed = Le32(z, 18), size = Le32(z, 22);
    unsigned nameLength = Le16(z, 26), extra = Le16(z, 28);
    if (z.compare(30, nameLength, bare) != 0 || nameLength != bare.size())
        return ::testing::AssertionFailure()
               << entry << ": member name " << z.substr(30, nameLength);
    if (size != installed)
        return ::testing::AssertionFailure()
               << entry << ": member size " << size << " vs " << installed;
    size_t end = z.size() - 22;
    if (Le32(z, end) != 0x06054b50 || Le16(z, end + 8) != 1 || Le16(z, end + 10) != 1)
        return ::testing::AssertionFailure() << entry << ": end record not of one member";
    std::string data(size, '\0');
    z_stream s = {};
    inflateInit2(&s, -15);
    s.next_in = (Bytef*)z.data() + 30 + nameLength + extra;
    s.avail_in = packed;
    s.next_out = (Bytef*)&data[0];
    s.avail_out = (uInt)data.size() + 0;
    int r = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    if (r != Z_STREAM_END || s.total_out != size)
        return ::testing::AssertionFailure() << entry << ": inflate " << r;
    if ((uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size()) != Le32(z, 14))
        return ::testing::AssertionFailure() << entry << ": CRC";
    return ::testing::AssertionSuccess();
}

// Opens a built file as the setup does (-X, and -T when an offset is given) and checks
// every stored entry.
void CheckPackage(const std::string& path, uint32_t offset) {
    std::string bytes = Slurp(path);
    ResetRunState();
    strcpy(InstallFile, path.c_str());
    InstallFileGiven = 1;
    PackageOffsetGiven = offset != 0;
    PackageOffsetOption = offset;
    ASSERT_EQ(OpenPackage(), 1);
    ASSERT_EQ(ReadInstallScript(), 1) << SetupError;
    ASSERT_GT(FileTable->count, 0);
    const PackageEntry* last = FileTable->entry[FileTable->count - 1];
    EXPECT_EQ((size_t)last->offset + last->storedSize, bytes.size());
    const PackageEntry* first = FileTable->entry[0];
    EXPECT_TRUE(SameName(first->name, "dunzip32.dll"));
    EXPECT_EQ(bytes.compare(first->offset, 2, "MZ"), 0);
    EXPECT_EQ(first->storedSize, first->installedSize);
    for (unsigned i = 1; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        std::string stored = bytes.substr(e->offset, e->storedSize);
        if (SameName(e->name, InstallSettings.QuickRefFile))
            EXPECT_EQ(e->storedSize, e->installedSize);
        else EXPECT_TRUE(IsOneMemberZip(stored, e->name, e->installedSize));
    }
    ClosePackage();
    FreeInstallScript();
}

TEST(Kovpack, DemoSetupReadsBackThroughTheReader) {
    std::string setup = kDemo + "/SETUP.EXE", bare = kDemo + "/package.bin";
    if (!Exists(setup) || !Exists(bare)) GTEST_SKIP() << "no demo package built (make builds it)";
    std::string image = Slurp(setup);
    size_t marker = image.find(std::string("_ZoffZ_\0", 8));
    ASSERT_NE(marker, std::string::npos);
    EXPECT_EQ(image.find(std::string("_ZoffZ_\0", 8), marker + 1), std::string::npos);
    uint32_t offset = Le32(image, marker + 8);
    EXPECT_EQ(image.size() - offset, Slurp(bare).size());
    CheckPackage(setup, offset);
    CheckPackage(bare, 0);
    std::string out;
    EXPECT_EQ(RunCommand(kKovpack + " --list " + setup, &out), 0) << out;
    EXPECT_NE(out.find("mpm\\modem.ini"), std::string::npos);
}

class KovpackBuild : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char t[] = "/tmp/kovpackXXXXXX";
        dir = mkdtemp(t);
        Spit(dir + "/d.dll", "MZ" + std::string(300, 'x'));
        Spit(dir + "/q.txt", "Guide de référence\r\n");
        std::string big;
        for (int i = 0; i < 100000; i++) big += char((unsigned)i * (unsigned)i % 251u);
        Spit(dir + "/big.dat", big);
        Spit(dir + "/empty.ini", "");
    }
    void TearDown() override { RunCommand("rm -rf " + dir, &dir); }
    std::string out_;
    std::string Files() const {
        return "[Files]\ndunzip32.dll = d.dll\nquickref.txt = q.txt\nidb\\main.idx = big.dat\n"
               "mpm\\modem.ini = empty.ini\n";
    }
    int Build(const std::string& description, std::string* out, const std::string& extra = "") {
        Spit(dir + "/p.kovpack", description);
        return RunCommand(
            kKovpack + " -q " + extra + " -o " + dir + "/out.bin " + dir + "/p.kovpack", out);
    }
};

TEST_F(KovpackBuild, StubGetsItsOffsetAndTag) {
    std::string stub =
        "MZ" + std::string(500, 's') + std::string("_ZoffZ_\0", 8) + std::string(20, '\0') + "end";
    Spit(dir + "/stub.exe", stub);
    std::string out;
    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\nResourceTag = demo\n" + Files(), &out,
                    "--stub " + dir + "/stub.exe"),
              0)
        << out;
    std::string image = Slurp(dir + "/out.bin");
    EXPECT_EQ(image.compare(0, 502, stub, 0, 502), 0);
    EXPECT_EQ(Le32(image, 510), stub.size());
    EXPECT_EQ(image.compare(514, 5, std::string("demo\0", 5)), 0);
    CheckPackage(dir + "/out.bin", (uint32_t)stub.size());
    EXPECT_EQ(RunCommand(kKovpack + " --list " + dir + "/out.bin", &out), 0) << out;

    // A bare package whose stored guide holds the marker bytes is still listed from offset 0.
    Spit(dir + "/q.txt", std::string("_ZoffZ_\0\x07\0\0\0", 12));
    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\n" + Files(), &out), 0) << out;
    EXPECT_EQ(RunCommand(kKovpack + " --list " + dir + "/out.bin", &out), 0) << out;

    // A stub without the marker, or with two, is refused and nothing is left behind.
    struct {
        std::string stub;
        const char* message;
    } bad[] = {
        {"MZ no marker here", "no package offset marker"},
        {stub + stub, "more than once"},
        {Slurp(dir + "/out.bin"), "already carries a package"},
    };
    for (const auto& b : bad) {
        unlink((dir + "/out.bin").c_str());
        Spit(dir + "/stub.exe", b.stub);
        EXPECT_EQ(Build("[Setup]\n" + Files(), &out, "--stub " + dir + "/stub.exe"), 1);
        EXPECT_NE(out.find(b.message), std::string::npos) << out;
        EXPECT_FALSE(Exists(dir + "/out.bin"));
        EXPECT_FALSE(Exists(dir + "/out.bin.part"));
    }
}

TEST_F(KovpackBuild, RefusesWhatTheSetupWouldRefuse) {
    std::string many65, tools21, addons65;
    for (int i = 0; i < 65; i++) {
        many65 += "1.2\n";
        addons65 += "a.exe | | x\n";
    }
    for (int i = 0; i < 21; i++)
        tools21 += "[ToolModule t" + std::to_string(i) + ".kov]\nMinVersion = 1\n";
    struct {
        std::string description;
        const char* message;
    } cases[] = {
        {"[Setup]\nGroupName = " + std::string(64, 'g') + "\n" + Files(),
         "p.kovpack:2: GroupName: 64 bytes, at most 63"},
        {"[Setup]\nDefaultDestDir = " + std::string(257, 'd') + "\n" + Files(),
         ":2: DefaultDestDir"},
        {"[Setup]\nExpectedDbKind = 12a\n" + Files(), ":2: ExpectedDbKind"},
        {"[Setup]\nSkipModem = 70000\n" + Files(), ":2: SkipModem"},
        {"[Setup]\nDbVersion = 139\n" + Files(), ":2: DbVersion"},
        {"[Setup]\nColour = blue\n" + Files(), ":2: unknown setting Colour"},
        {"[ExactNewerVersions]\n" + many65 + Files(), ":1: ExactNewerVersions: 65 values"},
        {"[AddOnPrograms]\n" + addons65 + Files(), ":1: AddOnPrograms: 65 rows, at most 64"},
        {tools21 + Files(), "more than 20 tool modules"},
        {"[SoundEvents]\nx | " + std::string(128, 'w') + "\n" + Files(),
         ":1: SoundEvents: 128 bytes, at most 127"},
        {Files() + "..\\autoexec.bat = q.txt\n", ":6: file name \"..\\autoexec.bat\""},
        {Files() + "C:\\x.dll = q.txt\n", ":6: file name"},
        {Files() + "\\win.ini = q.txt\n", ":6: file name"},
        {Files() + "MPM\\Modem.ini = q.txt\n",
         ":6: file name \"MPM\\Modem.ini\" given twice (line 5)"},
        {"[Files]\nkov.exe = d.dll\n", ":2: the first file must be dunzip32.dll"},
        {Files() + "missing.txt\n", ":6: cannot read"},
        {"[MergedFilesB]\nidb\\main.idx\n" + Files(), "MergedFilesB needs"},
        {"[ToolModule t.kov]\nCompanion = ..\\win.ini\n" + Files(),
         ":1: ToolModule t.kov: companion \"..\\win.ini\""},
        {Files() + "aide\\ = q.txt\n", ":6: file name \"aide\\\" ends with a separator"},
        {Files() + "mpm/modem.ini = q.txt\n", ":6: file name \"mpm/modem.ini\" given twice"},
        // List texts that become paths stay below their folder, as the reader demands.
        {"[CreateDirs]\n..\\..\\WINDOWS\n" + Files(), ":2: CreateDirs: \"..\\..\\WINDOWS\""},
        {"[DestDirDeletes]\ncache\\*.*\n..\\*.*\n" + Files(), ":3: DestDirDeletes"},
        {"[WindowsDirDeletes]\n..\\*.*\n" + Files(), ":2: WindowsDirDeletes"},
        {"[PreservedFiles]\nC:\\autoexec.bat | move\n" + Files(), ":2: PreservedFiles"},
        {"[SoundEvents]\nBip | ..\\..\\x.wav\n" + Files(), ":2: SoundEvents"},
        {"[AddOnPrograms]\n..\\x.exe | | x\n" + Files(), ":2: AddOnPrograms"},
        {"[ToolModule ..\\t.kov]\n" + Files(), ":1: ToolModule \"..\\t.kov\""},
        // The Windows folder's list names the package's own files; titles are one name.
        {"[WindowsDirDeletes]\npcgame.pif\n*.ini\n" + Files(), ":3: WindowsDirDeletes: \"*.ini\""},
        {"[WindowsDirDeletes]\nsystem\\*.*\n" + Files(), ":2: WindowsDirDeletes: \"system\\*.*\""},
        {"[WindowsDirDeletes]\n*.*\n" + Files(), ":2: WindowsDirDeletes"},
        {"[WindowsDirDeletes]\nWIN.INI\n" + Files(),
         ":2: WindowsDirDeletes: \"WIN.INI\" must name"},
        {"[Setup]\nItemTitle = ..\\..\\Mes documents\\Rapport annuel\n" + Files(),
         ":2: ItemTitle: \"..\\..\\Mes documents\\Rapport annuel\" must be one name"},
        {"[Setup]\nGroupName = ..\n" + Files(), ":2: GroupName"},
        {"[Setup]\nFreshItemTitle = a/b\n" + Files(), ":2: FreshItemTitle"},
    };
    for (const auto& c : cases) {
        unlink((dir + "/out.bin").c_str());
        std::string out;
        EXPECT_EQ(Build(c.description, &out), 1) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos)
            << "expected: " << c.message << "\ngot: " << out;
        EXPECT_FALSE(Exists(dir + "/out.bin")) << c.message;
    }
}

// Every setting at its largest accepted size, written by the builder and read back by the
// setup's reader: a field out of order or a limit that differs shows up as a wrong value.
TEST_F(KovpackBuild, EverySettingReadsBackAsWritten) {
    const InstallSettingsT& s = InstallSettings;
    struct {
        const char* key;
        unsigned size;
        const char* held;
    } texts[] = {
        {"DefaultDestDir", 257, s.DefaultDestDir},
        {"GroupName", 64, s.GroupName},
        {"ItemTitle", 128, s.ItemTitle},
        {"FreshItemTitle", 128, s.FreshItemTitle},
        {"ClientExeName", 64, s.ClientExeName},
        {"FrameTitle", 64, s.FrameTitle},
        {"VersionText", 32, s.VersionText},
        {"Reserved9", 512, nullptr},
        {"Reserved10", 256, nullptr},
        {"NextDiskProgram", 32, s.NextDiskProgram},
        {"NextDiskLabel", 32, s.NextDiskLabel},
        {"ContinuationProgram", 32, s.ContinuationProgram},
        {"Reserved14", 32, nullptr},
        {"NoContinuationNotice", 32, s.NoContinuationNotice},
        {"ClientTextA", 64, s.ClientTextA},
        {"ClientTextB", 64, s.ClientTextB},
        {"Win31FallbackProgram", 64, s.Win31FallbackProgram},
        {"QuickRefFile", 32, s.QuickRefFile},
    };
    struct {
        const char* key;
        const char* value;
        long long expected;
        long long (*held)();
    } numbers[] = {
        {"ExpectedDbKind", "255", 255, [] { return (long long)InstallSettings.ExpectedDbKind; }},
        {"ExpectedDbKindCode", "-1234", -1234,
         [] { return (long long)InstallSettings.ExpectedDbKindCode; }},
        {"SkipPreviousSearch", "yEs", 1,
         [] { return (long long)InstallSettings.SkipPreviousSearch; }},
        {"NoMigration", "NO", 0, [] { return (long long)InstallSettings.NoMigration; }},
        {"SkipModem", "2", 2, [] { return (long long)SkipModem; }},
        {"NoDesktopItems", "3", 3, [] { return (long long)NoDesktopItems; }},
        {"OfferWin31Choice", "4", 4, [] { return (long long)OfferWin31Choice; }},
        {"ClientUpdateMode", "5", 5, [] { return (long long)InstallSettings.ClientUpdateMode; }},
        {"DeferInUseFiles", "6", 6, [] { return (long long)InstallSettings.DeferInUseFiles; }},
        {"AlwaysCopyToTemp", "7", 7, [] { return (long long)InstallSettings.AlwaysCopyToTemp; }},
        {"AskAddOns", "8", 8, [] { return (long long)InstallSettings.AskAddOns; }},
        {"WriteVersionFile", "0x9", 9, [] { return (long long)WriteVersionFile; }},
        {"DbVersion", "139.108", 139 | 108 << 8,
         [] {
             return (long long)(InstallSettings.DbVersion[0] | InstallSettings.DbVersion[1] << 8);
         }},
        {"ExtraSpaceKb", "65535", 65535, [] { return (long long)InstallSettings.ExtraSpaceKb; }},
        // A leading zero is decimal, not octal.
        {"RequiredBrowserBuild", "01300", 1300,
         [] { return (long long)InstallSettings.RequiredBrowserBuild; }},
    };
    std::string d = "[Setup]\n";
    char fill = 'A';
    for (const auto& t : texts)
        d += std::string(t.key) + " = " + std::string(t.size - 1, fill++) + "\n";
    for (const auto& n : numbers) d += std::string(n.key) + " = " + n.value + "\n";
    // Lists: row r, column c holds "<list letter><r>.<c>", one row padded to 127 bytes.
    struct {
        const char* section;
        int columns;
        int rows;
        const TextList* held;
    } lists[] = {
        {"SoundEvents", 2, 2, &s.SoundEvents},
        {"PreservedFiles", 2, 3, &s.PreservedFiles},
        {"CreateDirs", 1, 1, &s.CreateDirs},
        {"WindowsDirDeletes", 1, 2, &s.WindowsDirDeletes},
        {"DestDirDeletes", 1, 3, &s.DestDirDeletes},
        {"MergedFilesA", 1, 2, &s.MergedFilesA},
        {"MergedFilesB", 1, 3, &s.MergedFilesB},
        {"BrowserInstallers", 1, 1, &s.BrowserInstallers},
        {"ReservedList45", 3, 2, nullptr},
        {"ReservedList46", 3, 1, nullptr},
        {"AddOnPrograms", 3, 64, &s.AddOnPrograms},
        {"ReservedList48", 1, 2, nullptr},
    };
    auto cell = [](int list, int r, int c) {
        std::string t =
            std::string(1, char('a' + list)) + std::to_string(r) + "." + std::to_string(c);
        if (list == 5 || list == 6) t = "idb\\" + t;  // merge lists name entries of idb
        return r == 0 && c == 0 ? t + std::string(127 - t.size(), 'z') : t;
    };
    for (int l = 0; l < 12; l++) {
        d += "[" + std::string(lists[l].section) + "]\n";
        for (int r = 0; r < lists[l].rows; r++)
            for (int c = 0; c < lists[l].columns; c++)
                d += cell(l, r, c) + (c + 1 < lists[l].columns ? " | " : "\n");
    }
    d += "[CarriedRecordIds]\n1\n0xFFFFFFFF\n42\n";
    d += "[ReservedWords]\n";
    for (int i = 0; i < 64; i++) d += std::to_string(i) + "\n";
    d += "[ExactNewerVersions]\n3.0\n139.108\n[MinimumNewerVersions]\n";
    for (int i = 0; i < 64; i++) d += "1." + std::to_string(i) + "\n";
    for (int t = 0; t < 20; t++)
        d += "[ToolModule " + (t ? "tool" + std::to_string(t) + ".kov" : std::string(31, 'T')) +
             "]\nMinVersion = 3.0.1.5\nKey = " + std::to_string(t) +
             "\nKey = 0x100\nCompanion = " + std::string(31, 'c') + "\nCompanion = tool\\x" +
             std::to_string(t) + ".dat\n";
    // The guide and the merge lists name entries of the package.
    std::string named = std::string(31, 'R') + " = q.txt\n";
    for (int l : {5, 6})
        for (int r = 0; r < lists[l].rows; r++) named += cell(l, r, 0) + " = big.dat\n";
    ASSERT_EQ(Build(d + Files() + named, &out_), 0) << out_;

    ResetRunState();
    strcpy(InstallFile, (dir + "/out.bin").c_str());
    InstallFileGiven = 1;
    ASSERT_EQ(OpenPackage(), 1);
    ASSERT_EQ(ReadInstallScript(), 1) << SetupError;
    fill = 'A';
    for (const auto& t : texts) {
        std::string want(t.size - 1, fill++);
        if (t.held) EXPECT_EQ(t.held, want) << t.key;
    }
    for (const auto& n : numbers) EXPECT_EQ(n.held(), n.expected) << n.key;
    for (int l = 0; l < 12; l++) {
        const TextList* h = lists[l].held;
        if (!h) continue;
        ASSERT_EQ(h->count, lists[l].rows) << lists[l].section;
        char** columns[3] = {h->a, h->b, h->c};
        for (int c = 0; c < 3; c++) {
            EXPECT_EQ(columns[c] != nullptr, c < lists[l].columns) << lists[l].section;
            for (int r = 0; c < lists[l].columns && r < lists[l].rows; r++)
                EXPECT_EQ(columns[c][r], cell(l, r, c)) << lists[l].section;
        }
    }
    ASSERT_EQ(s.CarriedRecordCount, 3);
    EXPECT_EQ(s.CarriedRecordIds[0], 1u);
    EXPECT_EQ(s.CarriedRecordIds[1], 0xFFFFFFFFu);
    EXPECT_EQ(s.CarriedRecordIds[2], 42u);
    ASSERT_EQ(s.ExactNewerVersions.count, 2);
    EXPECT_EQ(s.ExactNewerVersions.value[1], 139 | 108 << 8);
    ASSERT_EQ(s.MinimumNewerVersions.count, 64);
    EXPECT_EQ(s.MinimumNewerVersions.value[63], 1 | 63 << 8);
    ASSERT_EQ(s.MergedTableB->count, 3);
    ASSERT_EQ(s.ToolModuleCount, 20);
    for (int t = 0; t < 20; t++) {
        const ToolModule& m = s.ToolModules[t];
        EXPECT_STREQ(m.name,
                     (t ? "tool" + std::to_string(t) + ".kov" : std::string(31, 'T')).c_str());
        EXPECT_EQ(m.minVersion, 0x03000105u);
        ASSERT_TRUE(m.keys && m.keys->next && m.companions && m.companions->next);
        EXPECT_EQ(m.keys->key, 0x100u);  // newest first
        EXPECT_EQ(m.keys->next->key, (uint32_t)t);
        EXPECT_EQ(m.companions->name, "tool\\x" + std::to_string(t) + ".dat");
        EXPECT_EQ(m.companions->next->name, std::string(31, 'c'));
    }
    ASSERT_EQ(FileTable->count, 10);
    EXPECT_STREQ(FileTable->entry[3]->name, "mpm\\modem.ini");
    ClosePackage();
    FreeInstallScript();
    // The builder's texts and the reader's buffers end at the same size: one byte more fails.
    for (const auto& t : texts) {
        ASSERT_EQ(Build("[Setup]\n" + std::string(t.key) + " = " + std::string(t.size, 'x') + "\n" +
                            Files(),
                        &out_),
                  1);
        EXPECT_NE(out_.find(std::string(t.key) + ": " + std::to_string(t.size) + " bytes"),
                  std::string::npos)
            << out_;
    }
}

TEST_F(KovpackBuild, StorageFollowsTheInstallLoop) {
    // With merge files the idb folder is stored as it is; without, it is zipped like the rest.
    std::string out;
    ASSERT_EQ(
        Build("[Setup]\nQuickRefFile = quickref.txt\n[MergedFilesA]\nidb\\main.idx\n" + Files(),
              &out),
        0)
        << out;
    ResetRunState();
    strcpy(InstallFile, (dir + "/out.bin").c_str());
    InstallFileGiven = 1;
    ASSERT_TRUE(OpenPackage() && ReadInstallScript());
    EXPECT_EQ(FindPackageEntry("idb\\main.idx")->storedSize, 100000u);
    EXPECT_EQ(InstallSettings.MergedBytesA, 100000u);
    EXPECT_EQ(FindPackageEntry("quickref.txt")->storedSize,
              FindPackageEntry("quickref.txt")->installedSize);
    EXPECT_NE(FindPackageEntry("mpm\\modem.ini")->storedSize,
              0u);  // an empty file is still an archive
    ClosePackage();
    FreeInstallScript();

    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\n" + Files(), &out), 0) << out;
    CheckPackage(dir + "/out.bin", 0);
}

}  // namespace

namespace {

// What a description's bytes mean: its encoding, its comments, and names that must be entries.
TEST_F(KovpackBuild, DescriptionCases) {
    const std::string files = Files();
    const std::string utf16 = std::string("\xFF\xFE[\0S\0", 6);
    struct {
        const char* what;
        std::string description;
        std::string extra;  // options
        int status;
        const char* message;    // in the output; "" for none expected
        const char* groupName;  // as the setup holds it, when built
    } cases[] = {
        {"UTF-8", "[Setup]\nGroupName = Re\xC3\xA7u \xE2\x82\xAC\n" + files, "", 0, "",
         "Re\xE7u \x80"},
        {"UTF-8 with BOM", "\xEF\xBB\xBF[Setup]\nGroupName = Re\xC3\xA7u\n" + files, "", 0, "",
         "Re\xE7u"},
        {"Windows-1252", "[Setup]\nGroupName = Re\xE7u \x80\n" + files, "", 0, "", "Re\xE7u \x80"},
        {"declared Windows-1252 keeps valid UTF-8 bytes",
         "[Setup]\nEncoding = Windows-1252\nGroupName = R\xC3\xA9\n" + files, "", 0, "",
         "R\xC3\xA9"},
        {"UTF-16 with BOM", utf16, "", 1, "UTF-16 text", nullptr},
        {"UTF-16 without BOM", std::string("[\0S\0", 4), "", 1, ":1: a NUL byte", nullptr},
        {"unmappable", "[Setup]\nGroupName = \xE6\x97\xA5\n" + files, "", 1,
         ":2: \"\xE6\x97\xA5\" (U+65E5) has no place in Windows-1252", nullptr},
        {"declared UTF-8, not UTF-8", "[Setup]\nEncoding = UTF-8\nGroupName = Re\xE7u\n" + files,
         "", 1, ":3: not valid UTF-8", nullptr},
        {"BOM against Encoding", "\xEF\xBB\xBF[Setup]\nEncoding = cp1252\n" + files, "", 1,
         ":2: Encoding says Windows-1252", nullptr},
        {"comment after a value", "[Setup]\nGroupName = KOV   ; le groupe\n" + files, "", 0, "",
         "KOV"},
        {"semicolon inside a word", "[Setup]\nGroupName = a;b\n" + files, "", 0, "", "a;b"},
        // A comment cut from a text the user reads is said; from a file name it is not.
        {"text a user reads cut by a comment",
         "[Setup]\nGroupName = Kov ; \xC3\xA9"
         "dition sp\xC3\xA9"
         "ciale\n" +
             files,
         "", 0,
         ":2: warning: GroupName: \"; \xC3\xA9"
         "dition sp\xC3\xA9"
         "ciale\" is taken as a comment",
         "Kov"},
        {"add-on description cut by a comment",
         "[AddOnPrograms]\nmpm\\modem.ini | /s | Mise \xC3\xA0 jour ; rapide\n" + files, "", 0,
         ":2: warning: AddOnPrograms: \"; rapide\"", ""},
        {"cut text, strict",
         "[Setup]\nItemTitle = Kov ; sp\xC3\xA9"
         "ciale\n" +
             files,
         "--strict", 1, "1 warning (warnings are errors with --strict); nothing written", nullptr},
        // Windows-1252 said, UTF-8 written: the line that would install as "Ã‰" is named.
        {"Windows-1252 said, UTF-8 meant",
         "[Setup]\nEncoding = Windows-1252\nDefaultDestDir = C:\\Kov\nGroupName = "
         "\xC3\x89"
         "diteur\n" +
             files,
         "", 0,
         ":4: warning: Encoding says Windows-1252, but the description is valid UTF-8: this "
         "line reads \"GroupName = \xC3\x83\xE2\x80\xB0"
         "diteur\", as UTF-8 \"GroupName = "
         "\xC3\x89"
         "diteur\"",
         "\xC3\x89"
         "diteur"},
        {"Windows-1252 said, UTF-8 meant, strict",
         "[Setup]\nEncoding = Windows-1252\nGroupName = \xC3\x89"
         "diteur\n" +
             files,
         "--strict", 1, "warnings are errors", nullptr},
        {"comment after a tool version",
         "[ToolModule t.kov]\nMinVersion = 3.0.1.5   ; or a packed number\n" + files +
             "tool\\t.kov = q.txt\n",
         "", 0, "", ""},
        {"setting twice", "[Setup]\nGroupName = a\n\nGroupName = b\n" + files, "", 1,
         ":4: GroupName given twice (first at line 2)", nullptr},
        {"section twice", "[Setup]\n" + files + "[setup]\n", "", 1,
         ":7: section [Setup] given twice (first at line 1)", nullptr},
        {"yes/no neither", "[Setup]\nNoMigration = oui\n" + files, "", 1,
         ":2: NoMigration: \"oui\" is neither yes nor no", nullptr},
        {"kind above a byte", "[Setup]\nExpectedDbKind = 300\n" + files, "", 1,
         ":2: ExpectedDbKind: \"300\" is not a number from 0 to 255", nullptr},
        {"kind below zero", "[Setup]\nExpectedDbKind = -1\n" + files, "", 1,
         ":2: ExpectedDbKind: \"-1\" is not a number from 0 to 255", nullptr},
        {"guide not packed", "[Setup]\nQuickRefFile = guide.txt\n" + files, "", 0,
         ":2: warning: QuickRefFile: \"guide.txt\" is not an entry of [Files]", ""},
        {"merge file not packed", "[MergedFilesA]\nidb\\autre.idx\n" + files, "", 1,
         ":2: MergedFilesA: \"idb\\autre.idx\" is not an entry of [Files] in the idb folder",
         nullptr},
        {"merge file outside idb",
         "[MergedFilesB]\nmpm\\modem.ini\n[MergedFilesA]\nidb\\main.idx\n" + files, "", 1,
         ":2: MergedFilesB: \"mpm\\modem.ini\" is not an entry of [Files] in the idb folder",
         nullptr},
        {"client not packed", "[Setup]\nClientExeName = kov.exe\n" + files, "", 0,
         ":2: warning: ClientExeName: \"kov.exe\" is not an entry of [Files]", ""},
        {"client not packed, strict", "[Setup]\nClientExeName = kov.exe\n" + files, "--strict", 1,
         "warnings are errors", nullptr},
        {"sound not packed where the event points", "[SoundEvents]\nBip | modem.ini\n" + files, "",
         0, ":2: warning: SoundEvents: \"modem.ini\" is not an entry of [Files]", ""},
        {"sound packed in its folder", "[SoundEvents]\nBip | mpm\\modem.ini\n" + files, "", 0, "",
         ""},
        {"own version listed as newer",
         "[Setup]\nDbVersion = 139.108\n[ExactNewerVersions]\n139.108\n" + files, "", 0,
         ":4: warning: ExactNewerVersions: \"139.108\" takes in the package's own version", ""},
        {"add-on, browser and tool not packed",
         "[AddOnPrograms]\nextra.exe | /s | Extra\n[BrowserInstallers]\nie.exe\n[ToolModule "
         "m.kov]\n" +
             files,
         "", 0, ":2: warning: AddOnPrograms: \"extra.exe\"", ""},
        {"outside a section", "GroupName = KOV\n" + files, "", 1, ":1: text outside any section",
         nullptr},
    };
    for (const auto& c : cases) {
        unlink((dir + "/out.bin").c_str());
        std::string out;
        EXPECT_EQ(Build(c.description, &out, c.extra), c.status) << c.what << "\n" << out;
        EXPECT_NE(out.find(c.message), std::string::npos)
            << c.what << ": expected " << c.message << "\ngot: " << out;
        EXPECT_EQ(Exists(dir + "/out.bin"), c.status == 0) << c.what;
        if (!c.groupName || c.status) continue;
        ResetRunState();
        strcpy(InstallFile, (dir + "/out.bin").c_str());
        InstallFileGiven = 1;
        ASSERT_TRUE(OpenPackage() && ReadInstallScript()) << c.what;
        EXPECT_STREQ(InstallSettings.GroupName, c.groupName) << c.what;
        ClosePackage();
        FreeInstallScript();
    }
    // A comment after a name the user does not read is no warning.
    std::string out;
    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt ; le guide\n" + files, &out), 0);
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
    // Every warning of the last case is said, each with its line.
    Build(cases[sizeof cases / sizeof cases[0] - 2].description, &out);
    EXPECT_NE(out.find(":4: warning: BrowserInstallers: \"ie.exe\""), std::string::npos) << out;
    EXPECT_NE(out.find(":5: warning: ToolModule m.kov"), std::string::npos) << out;
}

// Source files are found by their names on disk (UTF-8 here) from either encoding, and the
// listing shows texts as UTF-8 on a UTF-8 terminal and as stored with --raw.
TEST_F(KovpackBuild, AccentedNamesAndListing) {
    Spit(dir + "/r\xC3\xA9sum\xC3\xA9.txt", "CV");  // UTF-8 name
    Spit(dir + "/l\xE9gal.txt", "L");               // Windows-1252 name
    std::string out;
    for (const std::string& files : {
             // Windows-1252 and UTF-8 descriptions, each naming both files.
             std::string("docs\\r\xE9sum\xE9.txt = r\xE9sum\xE9.txt\nl\xE9gal.txt\n"),
             std::string("docs\\r\xC3\xA9sum\xC3\xA9.txt = r\xC3\xA9sum\xC3\xA9.txt\n"
                         "l\xC3\xA9gal.txt\n"),
         }) {
        std::string head = files[6] == '\xE9' ? "[Setup]\nGroupName = Re\xE7u\n"
                                              : "[Setup]\nGroupName = Re\xC3\xA7u\n";
        ASSERT_EQ(Build(head + Files() + files, &out), 0) << out;
        ResetRunState();
        strcpy(InstallFile, (dir + "/out.bin").c_str());
        InstallFileGiven = 1;
        ASSERT_TRUE(OpenPackage() && ReadInstallScript());
        EXPECT_NE(FindPackageEntry("docs\\r\xE9sum\xE9.txt"), nullptr);
        EXPECT_NE(FindPackageEntry("l\xE9gal.txt"), nullptr);
        ClosePackage();
        FreeInstallScript();
    }
    EXPECT_EQ(RunCommand("LC_ALL=C.UTF-8 " + kKovpack + " --list " + dir + "/out.bin", &out), 0);
    EXPECT_NE(out.find("Encoding = UTF-8\n"), std::string::npos) << out;
    EXPECT_NE(out.find("GroupName = Re\xC3\xA7u\n"), std::string::npos) << out;
    // Columns are padded by characters: the accented name's comment starts where an
    // unaccented name's does.
    size_t accented = out.find("docs\\r\xC3\xA9sum\xC3\xA9.txt"),
           plain = out.find("mpm\\modem.ini");
    ASSERT_NE(accented, std::string::npos) << out;
    ASSERT_NE(plain, std::string::npos) << out;
    EXPECT_EQ(out.find(" ; ", accented) - accented - 2, out.find(" ; ", plain) - plain) << out;
    EXPECT_EQ(RunCommand("LC_ALL=C.UTF-8 " + kKovpack + " --list --raw " + dir + "/out.bin", &out),
              0);
    EXPECT_NE(out.find("Encoding = Windows-1252\n"), std::string::npos) << out;
    EXPECT_NE(out.find("GroupName = Re\xE7u\n"), std::string::npos) << out;
}

}  // namespace

namespace {

// --list --verify inflates every entry and checks the script against the check value kovpack
// sealed into the first archive: one flipped byte anywhere in them is found.
TEST_F(KovpackBuild, VerifyFindsAFlippedByte) {
    std::string out;
    ASSERT_EQ(Build("[Setup]\nGroupName = KOV\nQuickRefFile = quickref.txt\n" + Files(), &out), 0)
        << out;
    const std::string path = dir + "/out.bin", good = Slurp(path);
    ASSERT_EQ(RunCommand(kKovpack + " --list --verify " + path, &out), 0) << out;
    EXPECT_NE(out.find("Verified: 4 entries"), std::string::npos) << out;
    EXPECT_NE(out.find("the script matches its check value"), std::string::npos) << out;

    ResetRunState();
    strcpy(InstallFile, path.c_str());
    InstallFileGiven = 1;
    ASSERT_TRUE(OpenPackage() && ReadInstallScript());
    const PackageEntry* big = FindPackageEntry("idb\\main.idx");
    size_t data = big->offset + big->storedSize / 2, script = good.find("KOV");
    ClosePackage();
    FreeInstallScript();
    struct {
        const char* what;
        size_t at;
        const char* message;
    } flips[] = {
        {"file data", data, "entry idb\\main.idx: "},
        {"a text of the script", script, "the install script differs from what kovpack wrote"},
    };
    for (const auto& f : flips) {
        std::string bad = good;
        bad[f.at] ^= 0x01;
        Spit(path, bad);
        // The plain listing still reads: only --verify looks into the data.
        EXPECT_EQ(RunCommand(kKovpack + " --list " + path, &out), 0) << f.what;
        EXPECT_EQ(RunCommand(kKovpack + " --list --verify " + path, &out), 1) << f.what;
        EXPECT_NE(out.find(f.message), std::string::npos) << f.what << "\n" << out;
    }
    // A damaged file table is the reader's to refuse, in words.
    std::string bad = good;
    bad[good.find("mpm\\modem.ini") - 2] ^= 0x40;
    Spit(path, bad);
    EXPECT_EQ(RunCommand(kKovpack + " --list --verify " + path, &out), 1);
    EXPECT_NE(out.find("the setup would refuse this package: "), std::string::npos) << out;
    EXPECT_NE(out.find("(fatal error "), std::string::npos) << out;
}

// A file above the whole-file limit is deflated in streamed chunks; what comes out is the same
// one-member archive, and the listing verifies it.
TEST_F(KovpackBuild, LargeFilesAreStreamed) {
    std::string big;
    uint32_t x = 1;
    while (big.size() < (3u << 20) + 12345) {
        x = x * 1103515245u + 12345u;
        big += "ligne " + std::to_string(x >> 20) + "\r\n";
    }
    Spit(dir + "/big.dat", big);
    std::string out;
    ASSERT_EQ(
        Build("[Setup]\nQuickRefFile = quickref.txt\n" + Files(), &out, "-j 2 --stream-above 1"), 0)
        << out;
    CheckPackage(dir + "/out.bin", 0);
    EXPECT_EQ(RunCommand(kKovpack + " --list --verify " + dir + "/out.bin", &out), 0) << out;
}

}  // namespace

namespace {

// Whichever encoder wins, every archive is plain deflate that zlib inflates back.
TEST_F(KovpackBuild, EveryEncoderWritesPlainDeflate) {
    for (const char* mode : {"", "--fast --level 1", "--smallest -j 1", "--libdeflate-level 1"}) {
        std::string out;
        ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\n" + Files(), &out, mode), 0)
            << mode << "\n"
            << out;
        CheckPackage(dir + "/out.bin", 0);
    }
}

}  // namespace

namespace {

// What a build pipeline needs: names defined on the command line, every error of a run at
// once, a check that writes nothing, and a description and package through pipes.
TEST_F(KovpackBuild, PipelineDefinesAndEveryError) {
    std::string out;
    ASSERT_EQ(Build("[Setup]\nVersionText = ${VER}\nDefaultDestDir = C:\\${DIR}\n"
                    "GroupName = Kov $${VER}\n" +
                        Files(),
                    &out, "-D VER=3.1 -DDIR=Kov\xC3\xA9 -D VER=3.2"),
              0)
        << out;
    ResetRunState();
    strcpy(InstallFile, (dir + "/out.bin").c_str());
    InstallFileGiven = 1;
    ASSERT_TRUE(OpenPackage() && ReadInstallScript());
    EXPECT_STREQ(InstallSettings.VersionText, "3.2");  // the later -D wins
    EXPECT_STREQ(InstallSettings.DefaultDestDir, "C:\\Kov\xE9");
    EXPECT_STREQ(InstallSettings.GroupName, "Kov ${VER}");
    ClosePackage();
    FreeInstallScript();

    // A typo, an undefined name and two missing files: four lines with file and line, one
    // run, nothing written.
    unlink((dir + "/out.bin").c_str());
    EXPECT_EQ(Build("[Setup]\nGroupNme = KOV\nVersionText = ${VERSION}\n" + Files() +
                        "absent1.txt\nabsent2.txt\n",
                    &out, "-D VER=3"),
              1);
    for (const char* line : {"p.kovpack:2: unknown setting GroupNme\n",
                             "p.kovpack:3: ${VERSION} is not defined (give it with -D VERSION=",
                             "p.kovpack:9: cannot read ", "p.kovpack:10: cannot read ",
                             "p.kovpack: 4 errors; nothing written\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_FALSE(Exists(dir + "/out.bin"));
    EXPECT_FALSE(Exists(dir + "/out.bin.part"));
    // Past the limit the run stops, saying so.
    std::string many = "[Setup]\n";
    for (int i = 0; i < 30; i++) many += "Typo" + std::to_string(i) + " = x\n";
    EXPECT_EQ(Build(many + Files(), &out), 1);
    EXPECT_NE(out.find(":21: unknown setting Typo19"), std::string::npos) << out;
    EXPECT_EQ(out.find("Typo20"), std::string::npos) << out;
    EXPECT_NE(out.find("20 errors; stopped there, nothing written"), std::string::npos) << out;

    // --check: every check and every source, nothing written; its errors are a build's.
    Spit(dir + "/p.kovpack", "[Setup]\nQuickRefFile = quickref.txt\n" + Files());
    EXPECT_EQ(RunCommand(kKovpack + " --check " + dir + "/p.kovpack", &out), 0) << out;
    EXPECT_NE(out.find("no errors; 4 files found"), std::string::npos) << out;
    EXPECT_FALSE(Exists(dir + "/out.bin"));
    Spit(dir + "/p.kovpack", "[Setup]\nClientExeName = kov.exe\n" + Files() + "absent.txt\n");
    EXPECT_EQ(RunCommand(kKovpack + " --check " + dir + "/p.kovpack", &out), 1) << out;
    EXPECT_NE(out.find("p.kovpack:8: cannot read"), std::string::npos) << out;
    EXPECT_NE(out.find("p.kovpack:2: warning: ClientExeName"), std::string::npos) << out;
    EXPECT_EQ(RunCommand(kKovpack + " --check -o x " + dir + "/p.kovpack", &out), 2) << out;

    // A description from standard input finds its sources from the current folder; a
    // package to standard output is the very package written to a file.
    std::string description = "[Setup]\nQuickRefFile = quickref.txt\n" + Files();
    Spit(dir + "/p.kovpack", description);
    ASSERT_EQ(RunCommand("cd " + dir + " && " + kKovpack + " -q -o out.bin - < p.kovpack", &out), 0)
        << out;
    ASSERT_EQ(RunCommand("cd " + dir + " && " + kKovpack + " -q -o - p.kovpack > piped.bin", &out),
              0)
        << out;
    EXPECT_EQ(Slurp(dir + "/piped.bin"), Slurp(dir + "/out.bin"));
    EXPECT_FALSE(Exists(dir + "/-"));
    Spit(dir + "/p.kovpack", "[Setup]\nGroupNme = x\n" + Files());
    EXPECT_EQ(RunCommand("cd " + dir + " && " + kKovpack + " -q -o out.bin - < p.kovpack", &out),
              1);
    EXPECT_NE(out.find("<stdin>:2: unknown setting GroupNme"), std::string::npos) << out;
    EXPECT_EQ(RunCommand(kKovpack + " --list -", &out), 2);
}

// The listing is a description: built again from it (with the files laid out by their entry
// names), the package is the same, byte for byte.
TEST_F(KovpackBuild, ListingBuildsTheSamePackage) {
    std::string tree = dir + "/tree";
    for (const char* folder : {"", "/idb", "/mpm", "/tool"})
        ASSERT_EQ(mkdir((tree + folder).c_str(), 0755), 0);
    Spit(tree + "/dunzip32.dll", "MZ" + std::string(300, 'x'));
    Spit(tree + "/quickref.txt", "Guide\r\n");
    Spit(tree + "/idb/main.idx", std::string(5000, 'i'));
    Spit(tree + "/mpm/modem.ini", "");
    Spit(tree + "/tool/mail.kov", "tool");
    Spit(tree + "/kov.exe", "MZ client");
    Spit(tree + "/r\xC3\xA9sum\xC3\xA9.txt", "CV");
    // Files keep their dates in the package: the same on both builds.
    RunCommand("touch -d 2020-01-02 " + tree + "/* " + tree + "/*/*", &out_);
    std::string description =
        "[Setup]\nEncoding = UTF-8\nDefaultDestDir = C:\\Kov\nGroupName = Re\xC3\xA7u $${x}\n"
        "ItemTitle = KOV 3.0i\nClientExeName = kov.exe\nVersionText = 3.0I\n"
        "QuickRefFile = quickref.txt\nExpectedDbKind = 33\nExpectedDbKindCode = -2\n"
        "SkipPreviousSearch = yes\nNoMigration = yes\nSkipModem = 1\nWriteVersionFile = 1\n"
        "DbVersion = 139.108\nExtraSpaceKb = 12\n"
        "[CarriedRecordIds]\n0x00010000\n7\n"
        "[SoundEvents]\nBienvenue | bienvenu.wav\n[PreservedFiles]\n*.ini |\nMAIN.IDX | *.old\n"
        "[MergedFilesA]\nidb\\main.idx\n[ExactNewerVersions]\n3.0\n"
        "[AddOnPrograms]\nkov.exe | /s | Le client\n"
        "[ToolModule mail.kov]\nMinVersion = 3.0.1.5\nKey = 2\nKey = 1\nCompanion = tool\\a.dat\n"
        "Companion = tool\\b.dat\n"
        "[Files]\ndunzip32.dll\nquickref.txt\nidb\\main.idx\nmpm\\modem.ini\ntool\\mail.kov\n"
        "kov.exe\nr\xC3\xA9sum\xC3\xA9.txt\n";
    Spit(dir + "/a.kovpack", description);
    std::string build = kKovpack + " -q --source " + tree + " -o ";
    ASSERT_EQ(RunCommand(build + dir + "/a.bin " + dir + "/a.kovpack", &out_), 0) << out_;
    std::string listing;
    ASSERT_EQ(RunCommand("LC_ALL=C.UTF-8 " + kKovpack + " --list " + dir + "/a.bin 2>/dev/null",
                         &listing),
              0);
    Spit(dir + "/b.kovpack", listing);
    ASSERT_EQ(RunCommand(build + dir + "/b.bin " + dir + "/b.kovpack", &out_), 0) << out_ << "\n"
                                                                                  << listing;
    EXPECT_EQ(Slurp(dir + "/a.bin"), Slurp(dir + "/b.bin")) << listing;
    std::string again;
    RunCommand("LC_ALL=C.UTF-8 " + kKovpack + " --list " + dir + "/b.bin 2>/dev/null", &again);
    EXPECT_EQ(listing, again);
    EXPECT_NE(listing.find("GroupName = Re\xC3\xA7u $${x}\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("[ToolModule mail.kov]\nMinVersion = 3.0.1.5\nKey = 0x00000002\n"
                           "Key = 0x00000001\nCompanion = tool\\a.dat\n"),
              std::string::npos)
        << listing;
}

// --help says where the description format is installed, and `cmake --install` puts it there
// beside the manual pages.
TEST_F(KovpackBuild, FormatIsInstalledWhereTheHelpSays) {
    std::string help;
    ASSERT_EQ(RunCommand(kKovpack + " --help", &help), 0);
    EXPECT_NE(help.find("/share/doc/kovpack/FORMAT.md"), std::string::npos) << help;
    std::string out;
    ASSERT_EQ(RunCommand("cmake --install " + std::string(KOV_BINARY_DIR) + " --prefix " + dir +
                             "/prefix",
                         &out),
              0)
        << out;
    EXPECT_EQ(Slurp(dir + "/prefix/share/doc/kovpack/FORMAT.md"),
              Slurp(std::string(KOV_SOURCE_DIR) + "/tools/kovpack/FORMAT.md"));
    EXPECT_TRUE(Exists(dir + "/prefix/share/man/man1/kovpack.1"));
}

}  // namespace
