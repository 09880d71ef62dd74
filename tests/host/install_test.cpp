// The file installation loop over real packages and the real extraction code: where each
// kind of entry goes, the decompressor's status table with its questions, the size checks,
// labels and gauge, preserved and merged entries, the tool copy, and what a failure or a
// cancel leaves behind (nothing of the package). Most run twice: with a library that reads
// the package itself (the direct entry) and with one that keeps to the command record, which
// gets a temporary archive per entry.
#include <gtest/gtest.h>
#include <dirent.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/seat.h"
#include "dunzip/unzip.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/space.h"
#include "install/state.h"
#include "package/package.h"
#include "record/installrec.h"
#include "res/resource.h"
#include "sys/sys.h"
#include "tests/host/machine.h"
#include "tests/host/native_dunzip.h"
#include "tests/host/zipfile.h"

using namespace std::string_literals;

namespace {

struct PkgFile {
    std::string name;
    std::string stored;
    uint32_t installed;
};

std::string Bare(const std::string& name) {
    size_t slash = name.rfind('\\');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}
PkgFile Zipped(const std::string& name, const std::string& data, ZipKnobs k = {}) {
    return {name, MakeZip(Bare(name), data, k), (uint32_t)data.size()};
}
PkgFile Plain(const std::string& name, const std::string& data) {
    return {name, data, (uint32_t)data.size()};
}
PkgFile Library() { return Plain("dunzip32.dll", "MZ library image"); }

std::string Sample(size_t n, unsigned seed = 1) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245 + 12345;
        s[i] = "KOV modem\r\n"[seed >> 16 & 7];
    }
    return s;
}

// What the user would have seen.
struct Screen {
    std::vector<int> opened, closed;
    std::vector<uint32_t> ranges, positions;
    std::vector<std::string> labels;
    int pumps = 0, interrupted = 0;
    std::function<void(int)> onPump;  // with the pump's number, from 1
};
Screen screen;
int dialogToken;

void* OpenProgress(int id) {
    screen.opened.push_back(id);
    return &dialogToken;
}
void CloseProgress(int id) { screen.closed.push_back(id); }
void SetRange(void* d, uint32_t r) { screen.ranges.push_back(r); }
void SetLabel(void* d, int item, const char* t) { screen.labels.push_back(t); }
int PumpUi(void) {
    screen.pumps++;
    if (screen.onPump) screen.onPump(screen.pumps);
    return 1;
}
int RunDialog(int id, const char*) {
    if (id == IDD_INTERRUPTED) screen.interrupted++;
    return -1;
}
void GaugeTo(void* d, uint32_t v) { screen.positions.push_back(v); }
// The seat the install loop shows its progress on; its questions go to the test machine.
SeatT TestSeat(void) {
    SeatT seat = QuietSeat;
    seat.runDialog = RunDialog;
    seat.openProgress = OpenProgress;
    seat.closeProgress = CloseProgress;
    seat.progressRange = SetRange;
    seat.progressGauge = GaugeTo;
    seat.progressText = SetLabel;
    seat.pump = PumpUi;
    return seat;
}

// A stand-in library: answers from a script of statuses, and extracts for real on 0 and
// 49 (unless told to write something else). Records what it saw at each call.
struct FakeLibrary {
    std::vector<int> statuses;
    size_t calls = 0;
    std::string writeInstead;  // non-empty: write this as the member instead of extracting
    std::vector<bool> targetAbsent;
    std::function<void()> atCall;
} fake;
const TestMachine* fakeMachine;

int FakeDunzip(const unsigned char* record) {
    uint64_t a, t;
    if (ReadUnzipCommand(record, &a, &t) != UNZIP_OK) return UNZIP_BAD_COMMAND;
    std::string archive = (const char*)SysWordAddress(a), dir = (const char*)SysWordAddress(t);
    int status = fake.calls < fake.statuses.size() ? fake.statuses[fake.calls] : 0;
    fake.calls++;
    if (fake.atCall) fake.atCall();
    // Which member: the archive's own name field.
    std::string zip = fakeMachine->Read(archive.c_str());
    std::string member = zip.size() > 30 ? zip.substr(30, (unsigned char)zip[26]) : "";
    std::string target = dir + "\\" + member;
    bool exists;
    ReadHostFile(fakeMachine->Host(target.c_str()), &exists);
    fake.targetAbsent.push_back(!exists);
    if (status != 0 && status != 49) return status;
    if (!fake.writeInstead.empty()) {
        fakeMachine->Write(target.c_str(), fake.writeInstead);
        return status;
    }
    int real = NativeDunzip(record);
    return real ? real : status;
}

std::set<std::string> Listing(const std::string& hostDir) {
    std::set<std::string> out;
    std::vector<std::string> todo = {""};
    while (!todo.empty()) {
        std::string rel = todo.back();
        todo.pop_back();
        DIR* d = opendir((hostDir + rel).c_str());
        if (!d) continue;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (e->d_type == DT_DIR) todo.push_back(rel + "/" + n);
            else out.insert(rel.empty() ? n : rel.substr(1) + "/" + n);
        }
        closedir(d);
    }
    return out;
}

bool Logged(const std::string& line) {
    const char* t = LogTraceText();
    return t && strstr(t, (line + "\r\n").c_str());
}

void SetList(TextList& list, const std::vector<std::vector<std::string>>& rows) {
    list.count = (uint16_t)rows.size();
    if (rows.empty()) return;
    char*** cols[3] = {&list.a, &list.b, &list.c};
    for (size_t k = 0; k < rows[0].size(); k++) {
        *cols[k] = (char**)MemAlloc(rows.size() * sizeof(char*));
        for (size_t i = 0; i < rows.size(); i++) {
            (*cols[k])[i] = (char*)MemAlloc(rows[i][k].size() + 1);
            strcpy((*cols[k])[i], rows[i][k].c_str());
        }
    }
}

MergedTable* NewTable(uint16_t count) {
    MergedTable* t = (MergedTable*)MemAlloc(sizeof(MergedTable) + count * sizeof(PackageEntry*));
    t->count = count;
    t->slot = (PackageEntry**)(t + 1);
    return t;
}

class Install : public ::testing::Test {
protected:
    std::unique_ptr<TestMachine> m{new TestMachine};
    // A whole fresh machine and run state, for the rows of a table.
    void Fresh() {
        TearDown();
        m.reset();
        m.reset(new TestMachine);
        SetUp();
    }
    // Writes a file of the machine, making its folders.
    void Put(const char* winPath, const std::string& data) {
        std::string host = m->Host(winPath);
        std::string cmd = "mkdir -p '" + host.substr(0, host.rfind('/')) + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        WriteHostFile(host, data);
    }
    void MakeDir(const char* winPath) {
        std::string cmd = "mkdir -p '" + m->Host(winPath) + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void SetUp() override {
        screen = Screen();
        fake = FakeLibrary();
        fakeMachine = m.get();
        ResetRunState();
        ClosePackageHook = 0;
        Seat = TestSeat();
        InstallState.UiRefreshMs = 0;  // every label and position, to compare with the entries
        strcpy(InstallSettings.DestDir, "C:\\Kov30I");
        strcpy(WindowsDir, "C:\\WINDOWS");
        strcpy(InstallSettings.QuickRefFile, "quickref.txt");
        Put("C:\\WINDOWS\\win.ini", "[windows]\r\n");
        MakeDir("C:\\WINDOWS\\SYSTEM");
        UseNativeDunzip(Direct());
    }
    virtual int Direct() { return 0; }
    void TearDown() override {
        ClosePackage();
        FreeInstallScript();
        Seat = QuietSeat;
        UseNativeDunzip();
    }
    // The stand-in library keeps to the command record.
    void UseFake() {
        SysDefineLibraryEntry("dunzip32.dll", "dunzip", (void*)FakeDunzip);
        SysDefineLibraryEntry("dunzip32.dll", DUNZIP_DIRECT_NAME, nullptr);
    }
    // Writes the package's stored bytes to a file of C: and builds the file table over it.
    void Package(const std::vector<PkgFile>& files) {
        std::string data = "package script stands here";
        FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + files.size() * sizeof(void*));
        FileTable->entry = (PackageEntry**)(FileTable + 1);
        for (const PkgFile& f : files) {
            PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + f.name.size() + 1);
            strcpy(e->name, f.name.c_str());
            e->installedSize = f.installed;
            e->storedSize = (uint32_t)f.stored.size();
            e->offset = (uint32_t)data.size();
            data += f.stored;
            FileTable->entry[FileTable->count++] = e;
            FileTable->total += f.installed;
        }
        m->Write("C:\\package.bin", data);
        PackageFile = SysOpen("C:\\package.bin", SYS_READ);
        ASSERT_NE(PackageFile, 0);
    }
    std::set<std::string> Dest() { return Listing(m->Host("C:\\Kov30I")); }
    std::set<std::string> Windows() { return Listing(m->Host("C:\\WINDOWS")); }
};

// The same with the library on either path: 1 reads the package directly.
class InstallBoth : public Install, public ::testing::WithParamInterface<int> {
protected:
    int Direct() override { return GetParam(); }
};
INSTANTIATE_TEST_SUITE_P(Paths, InstallBoth, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::string(i.param ? "Direct" : "TemporaryArchive");
                         });

// A package with one entry of every kind.
std::vector<PkgFile> EveryKind() {
    return {Library(),
            Plain("quickref.txt", "Guide de r\xE9"
                                  "f\xE9rence\r\n\x1A"),
            Zipped("kov.exe", "MZ" + Sample(70000, 2)),
            Zipped("mpm\\modem.ini", Sample(3000, 3)),
            Zipped("windows\\kov.ini", "[KOV]\r\nPath=C:\\Kov30I\r\n"),
            Zipped("DOSGAME.EXE", "MZ game"),
            Zipped("idb\\main.idx", Sample(5000, 4))};
}

}  // namespace

TEST_P(InstallBoth, EveryKindOfEntryLandsWhereItBelongs) {
    std::vector<PkgFile> files = EveryKind();
    Package(files);
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    EXPECT_EQ(SetupError, 0);
    for (size_t i = 1; i < files.size(); i++) {
        const PkgFile& f = files[i];
        std::string where = f.name.rfind("windows\\", 0) == 0 ? "C:\\WINDOWS\\" + Bare(f.name)
                                                              : "C:\\Kov30I\\" + f.name;
        std::string data = f.name == "quickref.txt" ? f.stored : "";
        if (data.empty()) {
            // The installed bytes are what the archive holds.
            const std::string& zip = f.stored;
            std::string inflated;
            z_stream z = {};
            inflateInit2(&z, -MAX_WBITS);
            inflated.resize(f.installed);
            size_t nameLen = (unsigned char)zip[26];
            z.next_in = (Bytef*)zip.data() + 30 + nameLen;
            z.avail_in = (uInt)(zip.size() - 30 - nameLen);
            z.next_out = (Bytef*)&inflated[0];
            z.avail_out = f.installed;
            inflate(&z, Z_FINISH);
            inflateEnd(&z);
            data = inflated;
        }
        EXPECT_TRUE(m->Read(where.c_str()) == data) << where;
    }
    // No temporary archive stays; the library does (deleting it is the script's business).
    EXPECT_EQ(Dest(), (std::set<std::string>{"dunzip32.dll", "quickref.txt", "kov.exe",
                                             "mpm/modem.ini", "DOSGAME.EXE", "idb/main.idx"}));
    EXPECT_EQ(Windows(), (std::set<std::string>{"win.ini", "kov.ini", "DOSGAME.PIF"}));
    EXPECT_EQ(screen.opened, std::vector<int>{IDD_COPY});
    EXPECT_EQ(screen.closed, std::vector<int>{IDD_COPY});
    uint32_t total = FileTable->total;
    EXPECT_EQ(screen.ranges, std::vector<uint32_t>{total});
    EXPECT_EQ(screen.positions.back(), total);
    EXPECT_EQ(screen.positions.front(), files[0].installed);  // the library counts as done
    EXPECT_TRUE(std::is_sorted(screen.positions.begin(), screen.positions.end()));
    EXPECT_EQ(screen.labels,
              (std::vector<std::string>{"C:\\KOV30I\\QUICKREF.TXT", "C:\\KOV30I\\KOV.EXE",
                                        "C:\\KOV30I\\MPM\\MODEM.INI", "C:\\WINDOWS\\KOV.INI",
                                        "C:\\KOV30I\\DOSGAME.EXE", "C:\\KOV30I\\IDB\\MAIN.IDX"}));
    EXPECT_EQ(screen.interrupted, 0);
    EXPECT_TRUE(Logged("Installing files"));
    EXPECT_TRUE(Logged("Created C:\\WINDOWS\\DOSGAME.PIF"));
    EXPECT_EQ(ClosePackageHook, FreeDecompressor);
    EXPECT_TRUE(DecompressorLoaded());
    ClosePackage();
    EXPECT_FALSE(DecompressorLoaded());
}

// The install record holds the folders the loop made and the files it wrote in the
// destination, and in the Windows folder those that were not there before; never the files
// that may have replaced the system's.
TEST_P(InstallBoth, TheRecordListsWhatTheLoopMade) {
    for (int kovIniThere = 0; kovIniThere < 2; kovIniThere++) {
        // The second pass also finds the first pass's DOSGAME.PIF in the Windows folder.
        SCOPED_TRACE(kovIniThere ? "kov.ini and the PIF were in the Windows folder"
                                 : "fresh Windows folder");
        ResetInstallRecord();
        if (kovIniThere) m->Write("C:\\WINDOWS\\kov.ini", "the user's own");
        Package(EveryKind());
        ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
        ClosePackage();
        ASSERT_TRUE(WriteInstallRecord("C:\\Kov30I", "C:\\Kov30I"));
        InstallRecord record;
        ASSERT_TRUE(ReadInstallRecord("C:\\Kov30I\\" INSTALL_RECORD_NAME, &record));
        std::set<std::string> dirs, files;
        for (int i = 0; i < record.count; i++) {
            if (record.items[i].kind == ITEM_DIR) dirs.insert(record.items[i].field[0]);
            if (record.items[i].kind == ITEM_FILE) files.insert(record.items[i].field[0]);
        }
        FreeInstallRecord(&record);
        ResetInstallRecord();
        std::set<std::string> expected = {"C:\\Kov30I\\dunzip32.dll", "C:\\Kov30I\\quickref.txt",
                                          "C:\\Kov30I\\kov.exe",      "C:\\Kov30I\\mpm\\modem.ini",
                                          "C:\\Kov30I\\DOSGAME.EXE",  "C:\\Kov30I\\idb\\main.idx"};
        if (!kovIniThere) {
            expected.insert("C:\\WINDOWS\\kov.ini");
            expected.insert("C:\\WINDOWS\\DOSGAME.PIF");
        }
        EXPECT_EQ(files, expected);
        if (!kovIniThere)
            EXPECT_EQ(dirs,
                      (std::set<std::string>{"C:\\Kov30I", "C:\\Kov30I\\mpm", "C:\\Kov30I\\idb"}));
    }
}

TEST_F(Install, DecompressorStatusTable) {
    struct {
        const char* what;
        std::vector<int> statuses;
        std::vector<int> answers;
        bool fallback;
        int result, error, questions;
        const char* question;  // the start of the text asked
    } cases[] = {
        {"ok", {0}, {}, false, 1, 0, 0, ""},
        {"49 is success", {49}, {}, false, 1, 0, 0, ""},
        {"memory, retry", {4, 0}, {SYS_ID_RETRY}, false, 1, 0, 1, "M\xE9moire insuffisante"},
        {"memory, cancel", {5}, {SYS_ID_CANCEL}, false, 0, 1005, 1, "M\xE9moire insuffisante"},
        {"disk full, retry",
         {28, 50, 0},
         {SYS_ID_RETRY, SYS_ID_RETRY},
         false,
         1,
         0,
         2,
         "Espace disque insuffisant"},
        {"disk full, cancel", {50}, {SYS_ID_CANCEL}, true, 0, 1050, 1, "Espace disque"},
        {"other", {1}, {}, false, 0, 1001, 0, ""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        UseFake();
        fake.statuses = c.statuses;
        if (c.fallback) strcpy(InstallSettings.Win31FallbackProgram, "KOV31\\SETUP16.EXE");
        SysQueueAnswers(c.answers.data(), (int)c.answers.size());
        Package({Library(), Zipped("kov.exe", "MZ client")});
        EXPECT_EQ(InstallFiles(), c.result);
        EXPECT_EQ(SetupError, c.error);
        EXPECT_EQ(SysQuestionsAsked(), c.questions);
        if (c.questions) EXPECT_EQ(std::string(SysLastQuestion()).find(c.question), 0u);
        EXPECT_EQ(fake.calls, c.statuses.size());
        // Each call finds the target gone, retries included.
        for (bool absent : fake.targetAbsent) EXPECT_TRUE(absent);
        EXPECT_EQ(OfferWin31Fallback, c.fallback ? 1u : 0u);
        if (c.result) EXPECT_EQ(m->Read("C:\\Kov30I\\kov.exe"), "MZ client");
        else EXPECT_TRUE(Dest().empty()) << *Dest().begin();
    }
}

TEST_F(Install, SizesAreChecked) {
    struct {
        const char* what;
        PkgFile file;
        std::string writeInstead;
        int error;
        size_t calls;
    } cases[] = {
        // The library reports success but the file is not what the package promised.
        {"extracted size differs", Zipped("kov.exe", "MZ client"), "MZ", 21, 1},
        // The archive declares another size than the package: the library is not asked.
        {"archive declares more", Zipped("kov.exe", "MZ client", {false, 1000000}), "", 21, 0},
        // A member under another name would be a file the clean-up does not know.
        {"member named otherwise", {"kov.exe", MakeZip("k&v.exe", "MZ client"), 9}, "", 21, 0},
        {"descriptor, central directory larger",
         Zipped("kov.exe", "MZ client", {true, 0, 0, 1000000}), "", 21, 0},
        // Declared sizes agree but the data inflates to more: the library stops there.
        {"check value wrong", Zipped("kov.exe", "MZ client", {false, 0, 0, 0, true}), "",
         1000 + UNZIP_BAD_CRC, 1},
        {"descriptor lies", Zipped("kov.exe", "MZ client", {true, 0, 5}), "", 1000 + UNZIP_BAD_CRC,
         1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        UseFake();
        fake.writeInstead = c.writeInstead;
        Package({Library(), c.file});
        EXPECT_EQ(InstallFiles(), 0);
        EXPECT_EQ(SetupError, c.error);
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_TRUE(Dest().empty()) << *Dest().begin();
    }
}

TEST_P(InstallBoth, ZipBombStopsAtTheInstalledSize) {
    // 200 MB of zeros behind archives that declare the 4 KB the package promises, in the
    // headers or, with a data descriptor, in the central directory and the descriptor.
    for (bool descriptor : {false, true}) {
        SCOPED_TRACE(descriptor ? "descriptor" : "headers");
        Fresh();
        Package(
            {Library(), {"kov.exe", MakeZeroBomb("kov.exe", 200ul << 20, 4096, descriptor), 4096}});
        EXPECT_EQ(InstallFiles(), 0);
        EXPECT_EQ(SetupError, 1000 + UNZIP_BAD_CRC);
        EXPECT_TRUE(Dest().empty());
    }
}

TEST_P(InstallBoth, LabelsAndGaugeScale) {
    // DestDir "C:\K" + 26 more characters: "C:\K\" is 5, so names of 25 and 26 characters
    // give target paths of exactly 30 and 31.
    std::string n30 = std::string(21, 'a') + ".ini", n31 = std::string(22, 'b') + ".ini";
    strcpy(InstallSettings.DestDir, "C:\\K");
    Package({Library(), Zipped(n30, "x"), Zipped(n31, "y"), Zipped("system\\pppmac.vxd", "vxd"),
             Zipped("windows\\a.ini", "w")});
    // The tool bytes of an earlier installation bring the total to 10,000,001.
    InstallState.ToolBytesFromOld = 10000001 - FileTable->total;
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    std::string full31 = "C:\\K\\" + n31;
    for (char& ch : full31) ch = (char)toupper((unsigned char)ch);
    EXPECT_EQ(screen.labels, (std::vector<std::string>{"C:\\K\\" + std::string(21, 'A') + ".INI",
                                                       "..." + full31.substr(full31.size() - 24),
                                                       "C:\\K\\PPPMAC.VXD", "C:\\WINDOWS\\A.INI"}));
    EXPECT_EQ(screen.ranges, std::vector<uint32_t>{1000000});
    for (uint32_t p : screen.positions) EXPECT_LE(p, 1000000u);
    EXPECT_EQ(screen.positions.back(), FileTable->total / 10);
}

TEST_P(InstallBoth, LongSystemAndWindowsLabelsShowTheBareName) {
    strcpy(InstallSettings.DestDir, "C:\\Program Files\\KOV 3.0i");
    strcpy(WindowsDir, "C:\\WINDOWS\\Long folder name");
    MakeDir("C:\\WINDOWS\\Long folder name\\SYSTEM");
    Package({Library(), Zipped("system\\pppmac.vxd", "vxd"), Zipped("windows\\kov.ini", "w")});
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    EXPECT_EQ(screen.labels, (std::vector<std::string>{"PPPMAC.VXD", "KOV.INI"}));
}

TEST_P(InstallBoth, PreservedFilesOnlyInPlace) {
    for (bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "in place" : "elsewhere");
        Fresh();
        strcpy(InstallSettings.PreviousDir, inPlace ? "C:\\Kov30I" : "C:\\KOV");
        SetList(InstallSettings.PreservedFiles, {{"goto.ini", ""}, {"download\\*.*", "move"}});
        Package({Library(), Zipped("goto.ini", "[goto]"), Zipped("kov.exe", "MZ")});
        ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
        EXPECT_EQ(Dest().count("goto.ini"), inPlace ? 0u : 1u);
        EXPECT_EQ(Logged("Not installing goto.ini (preserved)"), inPlace);
        EXPECT_EQ(screen.positions.back(), FileTable->total);  // counted either way
        EXPECT_EQ(screen.labels.size(), inPlace ? 1u : 2u);
    }
}

TEST_P(InstallBoth, MergeListsHoldBackOrCopyDirectly) {
    std::string db = Sample(4000, 7), org = Sample(300, 8);
    SetList(InstallSettings.MergedFilesA, {{"idb\\main.idx"}});
    SetList(InstallSettings.MergedFilesB, {{"idb\\art.idx"}, {"idb\\main.idx"}});
    InstallSettings.MergedTableA = NewTable(1);
    InstallSettings.MergedTableB = NewTable(2);
    Package({Library(), Zipped("idb\\main.idx", db), Zipped("idb\\art.idx", db),
             Plain("idb\\organize.idx", org), Zipped("idb2\\main.idx", db)});
    InstallSettings.MergedBytesA = 4000;
    InstallSettings.MergedBytesB = 8000;
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    // Held back: nothing written, a copy of the entry in each table that names it.
    EXPECT_EQ(Dest(), (std::set<std::string>{"dunzip32.dll", "idb/organize.idx", "idb2/main.idx"}));
    MergedTable* a = InstallSettings.MergedTableA;
    MergedTable* b = InstallSettings.MergedTableB;
    ASSERT_TRUE(a->slot[0] && b->slot[0] && b->slot[1]);
    EXPECT_STREQ(a->slot[0]->name, "idb\\main.idx");
    EXPECT_STREQ(b->slot[1]->name, "idb\\main.idx");
    EXPECT_STREQ(b->slot[0]->name, "idb\\art.idx");
    EXPECT_EQ(a->slot[0]->offset, FileTable->entry[1]->offset);
    EXPECT_NE(a->slot[0], FileTable->entry[1]);
    // On neither list: written straight from the package, byte for byte.
    EXPECT_EQ(m->Read("C:\\Kov30I\\idb\\organize.idx"), org);
    EXPECT_EQ(m->Read("C:\\Kov30I\\idb2\\main.idx"), db);
    EXPECT_EQ(screen.ranges, std::vector<uint32_t>{FileTable->total - 12000});
    // Held back entries do not count: the last position is from before idb2\main.idx.
    EXPECT_EQ(screen.positions.back(), FileTable->entry[0]->installedSize + org.size());
}

TEST_P(InstallBoth, CancelFinishesTheEntryCopiesToolsAndLeavesNothing) {
    struct {
        const char* what;
        bool fallback;
        int interrupted;
    } cases[] = {{"notice", false, 1}, {"fallback named: no notice", true, 0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        if (c.fallback) strcpy(InstallSettings.Win31FallbackProgram, "KOV31\\SETUP16.EXE");
        // An earlier installation of the same database version with one tool module.
        strcpy(InstallSettings.PreviousDir, "C:\\KOV");
        Put("C:\\KOV\\TOOL\\chat.kov", "chat tool");
        Put("C:\\KOV\\chat.hlp", "chat help");
        InstallSettings.DbVersion[0] = InstallState.PreviousDbVersion[0] = 139;
        InstallSettings.DbVersion[1] = InstallState.PreviousDbVersion[1] = 108;
        ToolModule& t = InstallSettings.ToolModules[0];
        strcpy(t.name, "chat.kov");
        t.presentInOld = 1;
        t.oldSize = 9;
        t.companions = (ToolCompanion*)MemAlloc(sizeof(ToolCompanion));
        strcpy(t.companions->name, "chat.hlp");
        t.companions->size = 9;
        InstallSettings.ToolModuleCount = 1;
        InstallState.ToolBytesFromOld = 18;
        // Through temporary archives two pumps per entry: after its copy and after the
        // entry; the user presses Cancel while DOSGAME.EXE's archive is copied (the PIF and
        // kov.ini are written by then), the copy completes and the loop stops at the pump
        // after it. Read from the package directly, the copy is the extraction: one pump
        // per entry (two for the quick reference, a plain copy), and the loop stops after
        // DOSGAME.EXE.
        int stopAt = GetParam() ? 6 : 9;
        screen.onPump = [stopAt](int n) {
            if (n == stopAt) UserAbort = 1;
        };
        Package(EveryKind());
        Put("C:\\Kov30I\\TOOL\\.keep", "");
        EXPECT_EQ(InstallFiles(), 0);
        EXPECT_EQ(SetupError, 0);
        EXPECT_EQ(UserAbort, 1u);
        EXPECT_TRUE(Logged("User stopped install"));
        EXPECT_EQ(screen.interrupted, c.interrupted);
        EXPECT_EQ(screen.closed, std::vector<int>{IDD_COPY});
        // The tool copy ran (its files are the previous installation's, not the package's).
        EXPECT_EQ(m->Read("C:\\Kov30I\\TOOL\\chat.kov"), "chat tool");
        EXPECT_EQ(m->Read("C:\\Kov30I\\chat.hlp"), "chat help");
        EXPECT_EQ(t.kept, 1u);
        EXPECT_EQ(Dest(), (std::set<std::string>{"TOOL/.keep", "TOOL/chat.kov", "chat.hlp"}));
        EXPECT_EQ(Windows(), std::set<std::string>{"win.ini"});
        EXPECT_FALSE(DecompressorLoaded());
    }
}

TEST_P(InstallBoth, FailuresLeaveNothingOfThePackage) {
    // A damaged archive after entries of every kind; the temporary archive of the damaged
    // one, the library and the files outside the destination go too.
    struct {
        const char* what;
        PkgFile last;
        int error;
    } cases[] = {
        {"bad data", {"zz.dat", MakeZip("zz.dat", "data").substr(0, 40), 4}, 1000 + UNZIP_BAD_DATA},
        {"package ends early", {"zz.dat", "", 0}, 8},
    };
    // A file of the Windows folder that was there before the install is not the install's
    // to delete: the package's copy replaced it and stays, and the log says so.
    for (bool kovIniBefore : {false, true})
        for (auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (kovIniBefore ? ", kov.ini there before" : ""));
            Fresh();
            if (kovIniBefore) Put("C:\\WINDOWS\\kov.ini", "[KOV]\r\nthe user's own\r\n");
            std::vector<PkgFile> files = EveryKind();
            files.push_back(Zipped("system\\pppmac.vxd", "VXD image"));
            files.push_back(c.last);
            Package(files);
            if (c.error == 8)
                FileTable->entry[files.size() - 1]->storedSize = 1000;  // past the end
            EXPECT_EQ(InstallFiles(), 0);
            EXPECT_EQ(SetupError, c.error);
            EXPECT_TRUE(Dest().empty()) << *Dest().begin();
            std::set<std::string> windows = {"SYSTEM/pppmac.vxd", "win.ini"};
            if (kovIniBefore) windows.insert("kov.ini");
            EXPECT_EQ(Windows(), windows);
            if (kovIniBefore) {
                EXPECT_EQ(m->Read("C:\\WINDOWS\\kov.ini"), "[KOV]\r\nPath=C:\\Kov30I\r\n");
                EXPECT_TRUE(Logged("Kept C:\\WINDOWS\\kov.ini: it was there before the install"));
                EXPECT_FALSE(Logged("Removed C:\\WINDOWS\\kov.ini"));
            }
            EXPECT_TRUE(Logged("Removed C:\\WINDOWS\\DOSGAME.PIF"));
            // A system file that reached the system folder stays: what it replaced is gone.
            EXPECT_EQ(m->Read("C:\\WINDOWS\\SYSTEM\\pppmac.vxd"), "VXD image");
            EXPECT_TRUE(Logged("System file pppmac.vxd stays in the system folder"));
            EXPECT_EQ(screen.interrupted, 0);
        }
}

TEST_P(InstallBoth, LibraryStepsFailEarly) {
    struct {
        const char* what;
        PkgFile first;
        bool dropEntry;
        int error;
    } cases[] = {
        {"capitals accepted", Plain("DUNZIP32.DLL", "MZ lib"), false, 0},
        {"not the library", Plain("kov.exe", "MZ lib"), false, 10},
        {"not loadable", Plain("dunzip32.dll", "garbage"), false, 13},
        {"no entry", Plain("dunzip32.dll", "MZ lib"), true, 14},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        if (c.dropEntry) SysDefineLibraryEntry("dunzip32.dll", "dunzip", nullptr);
        Package({c.first, Zipped("kov.exe", "MZ")});
        EXPECT_EQ(InstallFiles(), c.error ? 0 : 1);
        EXPECT_EQ(SetupError, c.error);
        EXPECT_EQ(InstallState.FirstFileIndex, c.error == 10 ? 0 : 1);
        if (c.error) {
            EXPECT_TRUE(screen.opened.empty());  // no dialog
            EXPECT_TRUE(Dest().empty()) << *Dest().begin();
            EXPECT_FALSE(DecompressorLoaded());
        }
    }
}

TEST_F(Install, CommandRecordLayout) {
    UseFake();
    // What the library sees during its call: the record and the texts its words point at.
    std::string record, archive, folder;
    fake.atCall = [&] {
        record.assign((const char*)InstallState.UnzipCommand, UNZIP_COMMAND_BYTES);
        auto text = [&](int at) {
            uint32_t w;
            memcpy(&w, &record[at], 4);
            return std::string((const char*)SysWordAddress(w));
        };
        archive = text(8);
        folder = text(24);
    };
    Package({Library(), Zipped("mpm\\modem.ini", "[modem]")});
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    ASSERT_EQ(record.size(), 142u);
    auto word = [&](int at) {
        const unsigned char* p = (const unsigned char*)&record[at];
        return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    };
    std::vector<std::pair<int, uint32_t>> fixed = {{0, 142}, {4, 8},  {36, 1},
                                                   {40, 1},  {48, 1}, {52, 1}};
    std::set<int> pointers = {8, 24, 68, 100};
    for (int at = 0; at < 108; at += 4) {
        uint32_t want = 0;
        for (auto& f : fixed)
            if (f.first == at) want = f.second;
        if (pointers.count(at)) EXPECT_NE(word(at), 0u) << "offset " << at;
        else EXPECT_EQ(word(at), want) << "offset " << at;
    }
    EXPECT_EQ(record.substr(108), std::string(34, '\0'));
    EXPECT_EQ(archive, "C:\\Kov30I\\dec1.tmp");
    EXPECT_EQ(folder, "C:\\Kov30I\\mpm");
    typedef int32_t (*Three)(uint32_t, uint32_t, uint32_t);
    typedef int32_t (*Seven)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    EXPECT_EQ(((Three)SysWordAddress(word(68)))(1, 2, 3), 1);
    EXPECT_EQ(((Seven)SysWordAddress(word(100)))(1, 2, 3, 4, 5, 6, 7), 1);
}

TEST_F(Install, GamePif) {
    unsigned char pif[PIF_SIZE];
    ASSERT_EQ(BuildGamePif(pif, "C:\\KOV30I\\DOSGAME.EXE"), 1);
    std::string bytes((char*)pif, PIF_SIZE);
    struct {
        unsigned at;
        std::string want;
    } fields[] = {
        {0, std::string("\x00\x13", 2) + "DOS Game" + std::string(22, ' ') + "\x80\x00\x80\x00"s},
        {36, std::string("C:\\KOV30I\\DOSGAME.EXE\0", 22) + std::string(41, ' ') + "\x10"s},
        {100, std::string(2, '\0') + std::string(63, ' ') + std::string(6, '\0') +
                  std::string(58, ' ') + "\x7F\x01\x00\xFF\x19\x50\x00\x00\x07\x00"s},
        {239, std::string(128, '\0') + "\xE0\x60MICROSOFT PIFEX\0\x87\x01\x00\x00\x71\x01"s},
        {391,
         "WINDOWS 386 3.0\0\x05\x02\x9D\x01\x68\x00"s
         "\xFF\xFF\xFF\xFF\xE8\x03\x32\x00\x00\x04\x00\x00\x00\x04\x00\x00\x0C\x20\x02\x00\xC9"s +
             std::string(21, '\0') + std::string(62, ' ')},
        {517, "WINDOWS 286 3.0\0\xFF\xFF\x1B\x02\x06\x00"s + std::string(6, '\0')},
    };
    for (auto& f : fields) EXPECT_EQ(bytes.substr(f.at, f.want.size()), f.want) << f.at;

    // 62 characters fit with their terminator; 63 do not, and no file is written.
    std::string dir62 = "C:\\" + std::string(47, 'd');  // + "\DOSGAME.EXE" = 62
    for (int extra : {0, 1}) {
        std::string dir = dir62 + std::string(extra, 'e');
        strcpy(InstallSettings.DestDir, dir.c_str());
        EXPECT_EQ(CreateGamePif(), extra ? 0 : 1);
        bool exists;
        std::string written = ReadHostFile(m->Host("C:\\WINDOWS\\DOSGAME.PIF"), &exists);
        EXPECT_EQ(exists, !extra);
        if (exists) EXPECT_EQ(written.size(), (size_t)PIF_SIZE);
        unlink(m->Host("C:\\WINDOWS\\DOSGAME.PIF").c_str());
    }
    EXPECT_TRUE(
        Logged("Game PIF not written: " + dir62 + "e\\DOSGAME.EXE is longer than 62 characters"));
}

TEST_F(Install, GamePifComesBeforeTheGameAndContinuationHasItsDialog) {
    UseFake();
    ContinuationRun = 1;
    bool pifFirst = false;
    fake.atCall = [&] {
        bool exists;
        ReadHostFile(m->Host("C:\\WINDOWS\\DOSGAME.PIF"), &exists);
        pifFirst = exists;
    };
    Package({Library(), Zipped("DOSGAME.EXE", "MZ game")});
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    EXPECT_TRUE(pifFirst);
    EXPECT_EQ(screen.opened, std::vector<int>{IDD_COPY_CONTINUED});
    EXPECT_EQ(screen.closed, std::vector<int>{IDD_COPY_CONTINUED});
}

// The run says once which way it goes; read from the package directly, no temporary archive
// is ever created: the setup's own creations are the library, the quick reference and the
// PIF.
TEST_P(InstallBoth, OneLogLineForThePathAndNoArchiveOnTheDirectOne) {
    std::vector<PkgFile> files = EveryKind();
    for (int i = 0; i < 3; i++)
        files.push_back(Zipped("mpm\\extra" + std::to_string(i) + ".ini", Sample(100, i)));
    Package(files);
    unsigned long creates = SysCallsMade(SYS_FAULT_OPEN_WRITE);
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    creates = SysCallsMade(SYS_FAULT_OPEN_WRITE) - creates;
    const char* direct = "Decompressor reads the package directly";
    const char* archives = "Decompressor extracts through temporary archives";
    EXPECT_EQ(Logged(direct), GetParam() == 1);
    EXPECT_EQ(Logged(archives), GetParam() == 0);
    std::string log = LogTraceText();
    EXPECT_EQ(log.find(GetParam() ? direct : archives), log.rfind(GetParam() ? direct : archives));
    // Eight archives: kov.exe, modem.ini, kov.ini, DOSGAME.EXE, main.idx and three in mpm.
    size_t archivesInPackage = 8;
    EXPECT_EQ(creates, 3 + (GetParam() ? 0 : archivesInPackage));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(m->Read(("C:\\Kov30I\\mpm\\extra" + std::to_string(i) + ".ini").c_str()),
                  Sample(100, i));
}

// Shown at most every UiRefreshMs: with a long interval only the first entry's label and
// position go out as the files go by, then what is left over as the dialog closes; the
// Cancel is still looked for after every entry.
TEST_P(InstallBoth, LabelAndGaugeAreThrottledButEveryEntryIsPumped) {
    InstallState.UiRefreshMs = 3600000;
    std::vector<PkgFile> files = {Library()};
    for (int i = 0; i < 20; i++)
        files.push_back(Zipped("data\\f" + std::to_string(i) + ".dat", Sample(10, i)));
    // One large entry of a tenth of the bytes: the gauge's figure moves within it.
    files.push_back(Zipped("data\\big.dat", Sample(400000, 99)));
    Package(files);
    ASSERT_EQ(InstallFiles(), 1) << LogTraceText();
    EXPECT_EQ(screen.labels.front(), "C:\\KOV30I\\DATA\\F0.DAT");
    EXPECT_EQ(screen.labels.back(), "C:\\KOV30I\\DATA\\BIG.DAT");
    EXPECT_LE(screen.labels.size(), 2u);
    EXPECT_EQ(screen.positions.back(), FileTable->total);
    EXPECT_TRUE(std::is_sorted(screen.positions.begin(), screen.positions.end()));
    // The figure changes: the gauge went out more than at the start and the end.
    EXPECT_GT(screen.positions.size(), 2u);
    EXPECT_GE(screen.pumps, 21);
}

// The direct entry makes the checks the setup made before extracting from an archive: the
// member must be the file and size the package names, and it is bounded by that size.
TEST_F(Install, DirectEntryChecksTheMemberAgainstThePackage) {
    struct {
        const char* what;
        PkgFile file;
        int error;
    } cases[] = {
        {"archive declares more", Zipped("kov.exe", "MZ client", {false, 1000000}), 21},
        {"member named otherwise", {"kov.exe", MakeZip("k&v.exe", "MZ client"), 9}, 21},
        {"descriptor, central directory larger",
         Zipped("kov.exe", "MZ client", {true, 0, 0, 1000000}), 21},
        {"member name in other case", {"kov.exe", MakeZip("KOV.EXE", "MZ client"), 9}, 0},
        {"check value wrong", Zipped("kov.exe", "MZ client", {false, 0, 0, 0, true}),
         1000 + UNZIP_BAD_CRC},
        {"descriptor lies", Zipped("kov.exe", "MZ client", {true, 0, 5}), 1000 + UNZIP_BAD_CRC},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        UseNativeDunzip(1);
        Package({Library(), c.file});
        EXPECT_EQ(InstallFiles(), c.error ? 0 : 1);
        EXPECT_EQ(SetupError, c.error);
        if (c.error) EXPECT_TRUE(Dest().empty()) << *Dest().begin();
        else EXPECT_EQ(m->Read("C:\\Kov30I\\kov.exe"), "MZ client");
        if (c.error == 21)
            EXPECT_TRUE(Logged("Archive of kov.exe is not the file of 9 bytes the package names"));
    }
}
