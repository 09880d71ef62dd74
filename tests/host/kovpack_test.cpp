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
#include "package/package.h"
#include "sys/sys.h"

namespace {

const std::string kKovpack = std::string(KOV_BINARY_DIR) + "/kovpack";
const std::string kDemo = std::string(KOV_SOURCE_DIR) + "/build/demo";

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs a command; returns its exit status and its output.
int RunCommand(const std::string& command, std::string* output)
{
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t n;
    output->clear();
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        output->append(buffer, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t Le32(const std::string& s, size_t at)
{
    return (uint32_t)(unsigned char)s[at] | (uint32_t)(unsigned char)s[at + 1] << 8 |
           (uint32_t)(unsigned char)s[at + 2] << 16 | (uint32_t)(unsigned char)s[at + 3] << 24;
}
unsigned Le16(const std::string& s, size_t at)
{
    return (unsigned char)s[at] | (unsigned char)s[at + 1] << 8;
}

// Checks a stored entry as the decompressor will see it: one deflated member with the bare
// name, whose data inflates to the installed size with the recorded CRC.
::testing::AssertionResult IsOneMemberZip(const std::string& z, const std::string& entry,
                                          uint32_t installed)
{
    std::string bare = entry.substr(entry.find_last_of('\\') == std::string::npos ? 0 : entry.find_last_of('\\') + 1);
    if (z.size() < 30 + 46 + 22 || Le32(z, 0) != 0x04034b50)
        return ::testing::AssertionFailure() << entry << ": no local header";
    if (Le16(z, 8) != 8)
        return ::testing::AssertionFailure() << entry << ": method " << Le16(z, 8);
    uint32_t packed = Le32(z, 18), size = Le32(z, 22);
    unsigned nameLength = Le16(z, 26), extra = Le16(z, 28);
    if (z.compare(30, nameLength, bare) != 0 || nameLength != bare.size())
        return ::testing::AssertionFailure() << entry << ": member name " << z.substr(30, nameLength);
    if (size != installed)
        return ::testing::AssertionFailure() << entry << ": member size " << size << " vs " << installed;
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
void CheckPackage(const std::string& path, uint32_t offset)
{
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
        else
            EXPECT_TRUE(IsOneMemberZip(stored, e->name, e->installedSize));
    }
    ClosePackage();
    FreeInstallScript();
}

TEST(Kovpack, DemoSetupReadsBackThroughTheReader)
{
    std::string setup = kDemo + "/SETUP.EXE", bare = kDemo + "/package.bin";
    if (!Exists(setup) || !Exists(bare))
        GTEST_SKIP() << "no demo package built (make builds it)";
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
    void SetUp() override
    {
        char t[] = "/tmp/kovpackXXXXXX";
        dir = mkdtemp(t);
        Spit(dir + "/d.dll", "MZ" + std::string(300, 'x'));
        Spit(dir + "/q.txt", "Guide de référence\r\n");
        std::string big;
        for (int i = 0; i < 100000; i++)
            big += char((unsigned)i * (unsigned)i % 251u);
        Spit(dir + "/big.dat", big);
        Spit(dir + "/empty.ini", "");
    }
    void TearDown() override { RunCommand("rm -rf " + dir, &dir); }
    std::string Files() const
    {
        return "[Files]\ndunzip32.dll = d.dll\nquickref.txt = q.txt\nidb\\main.idx = big.dat\n"
               "mpm\\modem.ini = empty.ini\n";
    }
    int Build(const std::string& description, std::string* out, const std::string& extra = "")
    {
        Spit(dir + "/p.kovpack", description);
        return RunCommand(kKovpack + " -q " + extra + " -o " + dir + "/out.bin " + dir + "/p.kovpack", out);
    }
};

TEST_F(KovpackBuild, StubGetsItsOffsetAndTag)
{
    std::string stub = "MZ" + std::string(500, 's') + std::string("_ZoffZ_\0", 8) +
                       std::string(20, '\0') + "end";
    Spit(dir + "/stub.exe", stub);
    std::string out;
    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\nResourceTag = demo\n" + Files(), &out,
                    "--stub " + dir + "/stub.exe"), 0) << out;
    std::string image = Slurp(dir + "/out.bin");
    EXPECT_EQ(image.compare(0, 502, stub, 0, 502), 0);
    EXPECT_EQ(Le32(image, 510), stub.size());
    EXPECT_EQ(image.compare(514, 5, std::string("demo\0", 5)), 0);
    CheckPackage(dir + "/out.bin", (uint32_t)stub.size());

    // A stub without the marker, or with two, is refused and nothing is left behind.
    struct { std::string stub; const char* message; } bad[] = {
        { "MZ no marker here", "no package offset marker" },
        { stub + stub, "more than once" },
        { Slurp(dir + "/out.bin"), "already carries a package" },
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

TEST_F(KovpackBuild, RefusesWhatTheSetupWouldRefuse)
{
    std::string many65, tools21, addons65;
    for (int i = 0; i < 65; i++) {
        many65 += "1.2\n";
        addons65 += "a.exe | | x\n";
    }
    for (int i = 0; i < 21; i++)
        tools21 += "[ToolModule t" + std::to_string(i) + ".kov]\nMinVersion = 1\n";
    struct { std::string description; const char* message; } cases[] = {
        { "[Setup]\nGroupName = " + std::string(64, 'g') + "\n" + Files(), "p.kovpack:2: GroupName: 64 bytes, at most 63" },
        { "[Setup]\nDefaultDestDir = " + std::string(257, 'd') + "\n" + Files(), ":2: DefaultDestDir" },
        { "[Setup]\nExpectedDbKind = 12a\n" + Files(), ":2: ExpectedDbKind" },
        { "[Setup]\nSkipModem = 70000\n" + Files(), ":2: SkipModem" },
        { "[Setup]\nDbVersion = 139\n" + Files(), ":2: DbVersion" },
        { "[Setup]\nColour = blue\n" + Files(), ":2: unknown setting Colour" },
        { "[ExactNewerVersions]\n" + many65 + Files(), ":1: ExactNewerVersions: 65 values" },
        { "[AddOnPrograms]\n" + addons65 + Files(), ":1: AddOnPrograms: 65 rows, at most 64" },
        { tools21 + Files(), "more than 20 tool modules" },
        { "[SoundEvents]\nx | " + std::string(128, 'w') + "\n" + Files(), ":1: SoundEvents: 128 bytes, at most 127" },
        { Files() + "..\\autoexec.bat = q.txt\n", ":6: file name \"..\\autoexec.bat\"" },
        { Files() + "C:\\x.dll = q.txt\n", ":6: file name" },
        { Files() + "\\win.ini = q.txt\n", ":6: file name" },
        { Files() + "MPM\\Modem.ini = q.txt\n", ":6: file name \"MPM\\Modem.ini\" given twice (line 5)" },
        { "[Files]\nkov.exe = d.dll\n", ":2: the first file must be dunzip32.dll" },
        { Files() + "missing.txt\n", ":6: cannot read" },
        { "[MergedFilesB]\nidb\\main.idx\n" + Files(), "MergedFilesB needs" },
    };
    for (const auto& c : cases) {
        unlink((dir + "/out.bin").c_str());
        std::string out;
        EXPECT_EQ(Build(c.description, &out), 1) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << "expected: " << c.message << "\ngot: " << out;
        EXPECT_FALSE(Exists(dir + "/out.bin")) << c.message;
    }
}

TEST_F(KovpackBuild, StorageFollowsTheInstallLoop)
{
    // With merge files the idb folder is stored as it is; without, it is zipped like the rest.
    std::string out;
    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\n[MergedFilesA]\nidb\\main.idx\n" + Files(), &out), 0) << out;
    ResetRunState();
    strcpy(InstallFile, (dir + "/out.bin").c_str());
    InstallFileGiven = 1;
    ASSERT_TRUE(OpenPackage() && ReadInstallScript());
    EXPECT_EQ(FindPackageEntry("idb\\main.idx")->storedSize, 100000u);
    EXPECT_EQ(InstallSettings.MergedBytesA, 100000u);
    EXPECT_EQ(FindPackageEntry("quickref.txt")->storedSize, FindPackageEntry("quickref.txt")->installedSize);
    EXPECT_NE(FindPackageEntry("mpm\\modem.ini")->storedSize, 0u);   // an empty file is still an archive
    ClosePackage();
    FreeInstallScript();

    ASSERT_EQ(Build("[Setup]\nQuickRefFile = quickref.txt\n" + Files(), &out), 0) << out;
    CheckPackage(dir + "/out.bin", 0);
}

}  // namespace
