// Log, string texts, message boxes, memory blocks and path helpers.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "base/exitcode.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "install/destination.h"
#include "sys/sys.h"
#include "tests/host/machine.h"

TEST(LogEscape, BytesBecomePrintable) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain", "plain\r\n"},
        {"a\tb", "a\\009b\r\n"},
        {"caf\xE9", "caf\\233\r\n"},
        {"x\r\ny", "x\\r\\ny\r\n"},
        {"\x01\x7F\xFF", "\\001\\127\\255\r\n"},
        {"", "\r\n"},
    };
    for (auto& c : cases) {
        char out[1024];
        int n = EscapeLine(c.in, out, sizeof out);
        EXPECT_STREQ(out, c.out) << c.in;
        EXPECT_EQ(n, (int)strlen(c.out));
    }
}

TEST(LogEscape, LongLineIsCutNotOverflowed) {
    std::string in(767, '\xE9');  // every byte takes four characters
    char out[1024 + 16];
    memset(out, 'Z', sizeof out);
    int n = EscapeLine(in.c_str(), out, 1024);
    EXPECT_LE(n, 1023);
    EXPECT_EQ(out[n], 0);
    EXPECT_EQ(out[1024], 'Z');
    EXPECT_EQ(std::string(out + n - 2, 2), "\r\n");
    EXPECT_EQ(n % 4, 2);  // only whole escapes
}

TEST(Format, FollowsWsprintfRules) {
    struct {
        std::string got, want;
    } cases[] = {
        {[] {
             char b[64];
             Format(b, 64, "Fatal error #%u", 18u);
             return std::string(b);
         }(),
         "Fatal error #18"},
        {[] {
             char b[64];
             Format(b, 64, "%3d%%", 5);
             return std::string(b);
         }(),
         "  5%"},
        {[] {
             char b[64];
             Format(b, 64, "[%-4s|%5s]", "ab", "cd");
             return std::string(b);
         }(),
         "[ab  |   cd]"},
        {[] {
             char b[64];
             Format(b, 64, "%08lX %x %#x", 0xBEEFUL, 255u, 16u);
             return std::string(b);
         }(),
         "0000BEEF ff 0x10"},
        {[] {
             char b[64];
             Format(b, 64, "%d %ld %c", -42, -7L, 'Q');
             return std::string(b);
         }(),
         "-42 -7 Q"},
        {[] {
             char b[64];
             Format(b, 64, "%s|%.2s", (const char*)nullptr, "xyz");
             return std::string(b);
         }(),
         "(null)|xy"},
    };
    for (auto& c : cases) EXPECT_EQ(c.got, c.want);
    char small[8];
    EXPECT_EQ(Format(small, sizeof small, "%s", "0123456789"), 7);
    EXPECT_STREQ(small, "0123456");
    EXPECT_LT(Format(small, sizeof small, nullptr), 0);
}

TEST(Log, TraceIsWrittenToTheDestinationOnlyWhenItExists) {
    TestMachine m;
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    LogPrintf("Line %u", 1u);
    LogFlush();
    EXPECT_EQ(m.Read("C:\\KOV\\setup.log"), "");  // never created: nothing written
    EXPECT_EQ(m.Read("C:\\setup.log"), "");

    MakePath("C:\\KOV");
    LogPrintf("Line %u", 2u);
    LogFlush();
    EXPECT_EQ(m.Read("C:\\KOV\\setup.log"), "Line 2\r\n");
}

TEST(Log, FatalRunGoesToTheFirstFixedDrive) {
    TestMachine m;
    m.Map('A', 2);
    m.Map('D', 5);
    m.Map('E', 3);
    m.Write("C:\\setup.log", "an older run\r\n");
    EXPECT_STREQ(CrashLogPath(), "c:\\setup.log");
    MakePath("C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    SetupError = 18;
    LogPrintf("Fatal error #%u", 18u);
    LogFlush();
    EXPECT_EQ(m.Read("C:\\setup.log"), "Fatal error #18\r\n");  // replaced, not appended
    EXPECT_EQ(m.Read("C:\\KOV\\setup.log"), "");
}

TEST(Log, NoFixedDriveMeansBareName) {
    TestMachine m;
    SysMapDrive('C', nullptr, 1);
    m.Map('D', 5);
    EXPECT_STREQ(CrashLogPath(), "setup.log");
}

TEST(Log, FlushesEvery64000BytesAndAppendsLater) {
    TestMachine m;
    MakePath("C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    std::string body(98, 'x');  // 100 bytes a line with CR LF
    for (int i = 0; i < 640; i++) LogPrintf("%s", body.c_str());
    // The 640th line brought the total to 64000: the first 639 went to disk.
    EXPECT_EQ(m.Read("C:\\KOV\\setup.log").size(), 63900u);
    EXPECT_EQ(LogTraceUsed(), 100u);
    LogPrintf("last");
    LogFlush();
    std::string all = m.Read("C:\\KOV\\setup.log");
    EXPECT_EQ(all.size(), 64000u + 6u);
    EXPECT_EQ(all.substr(all.size() - 6), "last\r\n");
    EXPECT_EQ(all.find('\0'), std::string::npos);
}

TEST(Log, TraceGrowsBy4000) {
    TestMachine m;
    std::string body(748, 'y');  // 750 bytes a line: the sixth line outgrows 4000
    for (int i = 0; i < 6; i++) LogPrintf("%s", body.c_str());
    EXPECT_EQ(LogTraceUsed(), 4500u);
    EXPECT_EQ(strlen(LogTraceText()), 4500u);
    EXPECT_EQ(std::string(LogTraceText()).substr(3750, 750), body + "\r\n");
}

TEST(Log, CrashModeWritesEachLineAtOnce) {
    TestMachine m;
    m.Write("C:\\setup.log", "stale");
    CrashMode = 1;
    LogPrintf("Opt: Crash mode");
    EXPECT_EQ(m.Read("C:\\setup.log"), "Opt: Crash mode\r\n");
    LogPrintf("Opt: Skip modem");
    EXPECT_EQ(m.Read("C:\\setup.log"), "Opt: Crash mode\r\nOpt: Skip modem\r\n");
    LogFlush();
    LogPrintf("after the flush");  // added, not a new file
    EXPECT_EQ(m.Read("C:\\setup.log"), "Opt: Crash mode\r\nOpt: Skip modem\r\nafter the flush\r\n");
    EXPECT_EQ(LogTraceText(), nullptr);
}

TEST(Log, OverlongArgumentIsBounded) {
    TestMachine m;
    std::string huge(5000, 'p');
    EXPECT_GT(LogPrintf("Path = %s", huge.c_str()), 0);
    EXPECT_LE(LogTraceUsed(), 1023u);
    EXPECT_LT(LogPrintf(nullptr), 0);
}

TEST(Text, MessagesAndCaptions) {
    TestMachine m;
    EXPECT_STREQ(LoadMessage(2, 34007, 34304), "WKOV.EXEInstallation");
    const char* before = LoadMessage(1, 34304);
    EXPECT_STREQ(LoadMessage(0, 34007), "Installation");  // unchanged
    EXPECT_STREQ(LoadMessage(1, 0), before);
    std::string whole = LoadMessage(1, 34001);
    ASSERT_GT(whole.size(), 49u);
    EXPECT_EQ(std::string(LoadCaption(34001)), whole.substr(0, 49));
}

// A text of the test's own, known by no string-table entry.
static MessageT Own(const char* text) { return MessageT{0, text}; }

TEST(Text, MessageBoxesAnswerByKind) {
    TestMachine m;
    int answers[] = {SYS_ID_RETRY, SYS_ID_CANCEL, SYS_ID_YES, SYS_ID_NO,
                     SYS_ID_YES,   SYS_ID_OK,     SYS_ID_YES};
    SysQueueAnswers(answers, 7);
    EXPECT_TRUE(AskRetryCancel(Own("disk %s"), "A:"));
    EXPECT_STREQ(SysLastQuestion(), "disk A:");
    EXPECT_FALSE(AskRetryCancel(Own("again")));
    EXPECT_TRUE(AskYesNo(Own("q")));
    EXPECT_FALSE(AskYesNo(Own("q")));
    EXPECT_TRUE(AskYesNoDefaultNo(Own("q")));
    EXPECT_EQ(ShowError(Own("e")), SYS_ID_OK);
    EXPECT_EQ(SysQuestionsAsked(), 6);
    EXPECT_FALSE(AskYesNo(Own(nullptr)));  // unformattable: nothing shown
    EXPECT_EQ(SysQuestionsAsked(), 6);
    EXPECT_TRUE(AskNoticeYesNo(Own("newer %s"), "3.0"));
    EXPECT_STREQ(SysLastQuestion(), "newer 3.0");
    EXPECT_FALSE(AskNoticeYesNo(Own("again")));  // answers used up: No
}

TEST(Memory, CountsLiveAndPeakBlocks) {
    TestMachine m;
    ResetBlockCounts();
    void* a = MemAlloc(10);
    void* b = MemAlloc(20);
    void* c = MemAlloc(30);
    MemFree(a);
    MemFree(b);
    void* d = MemAlloc(40);
    EXPECT_EQ(LiveBlocks(), 2u);
    EXPECT_EQ(PeakBlocks(), 3u);
    for (int i = 0; i < 40; i++) EXPECT_EQ(((char*)d)[i], 0);
    MemFree(c);
    MemFree(d);
}

TEST(Memory, ExhaustionAsksAndRetries) {
    TestMachine m;
    int retry[] = {SYS_ID_RETRY};
    SysQueueAnswers(retry, 1);
    SysFailNextAllocs(1);
    void* p = MemAlloc(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(SysQuestionsAsked(), 1);
    EXPECT_STREQ(SysLastQuestion(), LoadMessage(1, 34200));
    MemFree(p);
}

TEST(MemoryDeath, CancelEndsTheProcess) {
    EXPECT_EXIT(
        {
            TestMachine m;
            SysFailNextAllocs(1);
            MemAlloc(100);
        },
        // The process ends with its own code (a Unix status keeps its low byte only).
        testing::ExitedWithCode(EXIT_NO_MEMORY & 0xFF), "fatal");
}

// Unattended, the answer to the memory question is logged; the log must not ask again for
// the block it cannot get, question after question until the stack runs out.
TEST(MemoryDeath, UnattendedRunOutOfMemoryEndsWithItsCode) {
    EXPECT_EXIT(
        {
            TestMachine m;
            Seat.unattended = 1;
            LogFlush();  // no trace block left: the next log line needs one
            SysFailCalls(SYS_FAULT_ALLOC, 1, ~0ul);
            MemAlloc(100);
        },
        testing::ExitedWithCode(EXIT_NO_MEMORY & 0xFF), "fatal");
}

TEST(Paths, Splitting) {
    char out[260];
    GetDirPart(out, "SETUP.EXE");
    EXPECT_STREQ(out, "");
    GetDirPart(out, "C:\\KOV\\SETUP.EXE");
    EXPECT_STREQ(out, "C:\\KOV");
    EXPECT_STREQ(GetNamePart("C:\\KOV\\SETUP.EXE"), "SETUP.EXE");
    EXPECT_STREQ(GetNamePart("SETUP.EXE"), "SETUP.EXE");

    struct {
        const char* path;
        const char* ext;
    } exts[] = {
        {"README.TXT", "TXT"},
        {"NAME.HTML", nullptr},
        {"C:\\A.B\\FILE", nullptr},
        {"NOEXT", nullptr},
        {"A.", ""},
    };
    for (auto& e : exts) {
        char* r = GetExtPart(out, e.path);
        if (e.ext) {
            ASSERT_EQ(r, out) << e.path;
            EXPECT_STREQ(out, e.ext);
        } else {
            EXPECT_EQ(r, nullptr) << e.path;
            EXPECT_STREQ(out, "");
        }
    }
    struct {
        const char* path;
        const char* base;
    } bases[] = {
        {"C:\\DIR\\LONGFILENAME.EXE", "LONGFILE"},
        {"idb\\main.idx", "main"},
        {"*.old", "*"},
        {"X", "X"},
    };
    for (auto& b : bases) EXPECT_STREQ(GetBaseName8(out, b.path), b.base);
}

TEST(Paths, Searching) {
    const char* t = "C:\\KOV\\IDB\\MAIN.IDX";
    EXPECT_EQ(FindCharMb(t, '\\'), t + 2);
    EXPECT_EQ(FindLastCharMb(t, '\\'), t + 10);
    EXPECT_EQ(FindCharMb(t, '/'), nullptr);
    EXPECT_EQ(FindCharMb(nullptr, 'a'), nullptr);
    EXPECT_EQ(FindLastCharMb(t, 0), nullptr);
    EXPECT_EQ(FindTextMb(t, "IDB"), t + 7);
    EXPECT_EQ(FindTextMb(t, "idb"), nullptr);  // case-sensitive
    const char* tail = "help kov95f.cnt";
    EXPECT_EQ(FindTextMb(tail, "kov95f.cnt"), tail + 5);  // a match at the very end counts
    EXPECT_EQ(FindTextMb("ab", "abc"), nullptr);
    EXPECT_EQ(FindTextMb(nullptr, "a"), nullptr);
    char p[16] = "C:\\KOV\\";
    StripTrailingBackslash(p);
    EXPECT_STREQ(p, "C:\\KOV");
    StripTrailingBackslash(p);
    EXPECT_STREQ(p, "C:\\KOV");
}

TEST(Paths, Joining) {
    TestMachine m;
    char out[260];
    EXPECT_STREQ(JoinPath(out, "C:\\KOV\\", "", "IDB", (const char*)nullptr), "C:\\KOV\\IDB");
    EXPECT_STREQ(JoinPath(out, "", "a", "b\\", (const char*)nullptr), "a\\b");
    unsigned live = LiveBlocks();
    char* made = JoinPath(nullptr, "C:\\", "setup.log", (const char*)nullptr);
    EXPECT_STREQ(made, "C:\\setup.log");
    EXPECT_EQ(LiveBlocks(), live + 1);
    MemFree(made);
    strcpy(InstallSettings.DestDir, "C:\\Kov30I");
    EXPECT_STREQ(DestPath(out, "setup.log"), "C:\\Kov30I\\setup.log");

    // Parts longer than a path are cut at 259 characters, never overflowing.
    std::string longPart(400, 'q');
    char guarded[270];
    memset(guarded, 'Z', sizeof guarded);
    JoinPath(guarded, "C:\\", longPart.c_str(), (const char*)nullptr);
    EXPECT_EQ(strlen(guarded), 259u);
    EXPECT_EQ(guarded[260], 'Z');
}

TEST(Paths, FileSystem) {
    TestMachine m;
    EXPECT_EQ(MakePath("C:\\KOV\\IDB"), 1);
    EXPECT_EQ(MakePath("C:\\KOV\\IDB"), 0);  // already there: the last creation fails
    EXPECT_TRUE(PathExists("C:\\KOV\\IDB"));
    EXPECT_FALSE(FileExists("C:\\KOV\\IDB\\MAIN.IDX"));
    m.Write("C:\\KOV\\IDB\\MAIN.IDX", "db");
    EXPECT_TRUE(FileExists("C:\\KOV\\IDB\\MAIN.IDX"));
    EXPECT_TRUE(MovePath("C:\\KOV\\IDB\\MAIN.IDX", "C:\\KOV\\MAIN.OLD"));
    EXPECT_FALSE(PathExists("C:\\KOV\\IDB\\MAIN.IDX"));
    EXPECT_EQ(m.Read("C:\\KOV\\MAIN.OLD"), "db");

    m.Map('D', 5);
    m.Map('A', 2);
    EXPECT_EQ(DriveType(0), 2);
    EXPECT_EQ(DriveType(2), 3);
    EXPECT_TRUE(IsCdRomDrive(3));
    EXPECT_FALSE(IsCdRomDrive(2));
    EXPECT_EQ(DriveType(25), 1);

    EXPECT_TRUE(ChangeDir("C:\\KOV"));
    EXPECT_EQ(CurrentDriveLetter(), 'C');
    EXPECT_STREQ(DriveCurrentDir(0), "C:\\KOV");
    EXPECT_TRUE(ChangeDrive('d'));
    EXPECT_EQ(CurrentDriveLetter(), 'D');
    EXPECT_STREQ(DriveCurrentDir('C'), "C:\\KOV");
    EXPECT_FALSE(ChangeDir("C:\\NOWHERE"));
}

TEST(Paths, InstallPathValidation) {
    struct {
        const char* path;
        bool ok;
    } cases[] = {
        {"C:\\", true},     {"C:\\Kov30I", true}, {"d:\\Programmes\\KOV 3", true},
        {"C:KOV", false},   {"1:\\KOV", false},   {"C:\\KOV;X", false},
        {"C:", false},      {"C:\\a*b", false},   {"C:\\a/b", false},
        {"C:\\a:b", false}, {"C:\\a,b", false},   {"C:\\\"q\"", false},
        {"", false},
    };
    for (auto& c : cases) EXPECT_EQ(IsValidInstallPath(c.path), c.ok) << c.path;
    EXPECT_FALSE(IsValidInstallPath(nullptr));
}

// One spelling per folder before anything keeps or compares it: a trailing backslash or a
// doubled one names the same folder, and parts the system reads otherwise than typed are
// refused, in the check of typed folders as well.
TEST(Paths, CanonicalFolders) {
    struct {
        const char* folder;
        const char* canonical;  // null: refused
    } cases[] = {
        {"C:\\", "C:\\"},
        {"c:\\", "c:\\"},
        {"C:\\\\", "C:\\"},
        {"C:\\Kov30I", "C:\\Kov30I"},
        {"C:\\Kov30I\\", "C:\\Kov30I"},
        {"C:\\Kov30I\\\\", "C:\\Kov30I"},
        {"C:\\Programmes\\\\KOV 3\\", "C:\\Programmes\\KOV 3"},
        {"C:\\TMPKOV\\..\\KOVDOTS", nullptr},
        {"C:\\KOV\\.", nullptr},
        {"C:\\.\\KOV", nullptr},
        {"C:\\KOVDOT.", nullptr},
        {"C:\\KOVDOT.\\X", nullptr},
        {"C:\\KOV \\X", nullptr},
        {"C:\\...", nullptr},
        {"C:\\a|b", nullptr},
        {"C:\\a\tb", nullptr},
        {"C:\\.kov", ".kov" /* a name may begin with a dot */},
        {"C:KOV", nullptr},
        {"C:\\a/b", nullptr},
    };
    for (auto& c : cases) {
        char out[260] = "unchanged";
        int ok = CanonicalFolder(out, c.folder, sizeof out);
        EXPECT_EQ(IsValidInstallPath(c.folder), ok) << c.folder;
        if (!c.canonical) {
            EXPECT_FALSE(ok) << c.folder;
            EXPECT_STREQ(out, "unchanged") << c.folder;
        } else if (c.canonical[0] == '.') {
            EXPECT_TRUE(ok) << c.folder;
        } else {
            EXPECT_TRUE(ok) << c.folder;
            EXPECT_STREQ(out, c.canonical) << c.folder;
        }
    }
    // In place, and never cut: a folder that does not fit is refused.
    char same[260] = "C:\\Kov30I\\";
    EXPECT_TRUE(CanonicalFolder(same, same, sizeof same));
    EXPECT_STREQ(same, "C:\\Kov30I");
    char small[8] = "";
    EXPECT_FALSE(CanonicalFolder(small, "C:\\Kov30I", sizeof small));

    struct {
        const char *a, *b;
        bool same;
    } pairs[] = {
        {"C:\\Kov30I", "C:\\Kov30I\\", true},
        {"C:\\Kov30I", "c:\\KOV30I", true},
        {"C:\\", "c:\\", true},
        {"C:\\Kov30I", "C:\\Kov30IA", false},
        {"C:\\Kov30I", "D:\\Kov30I", false},
        {"", "", false},
        {"C:\\Kov30I", "", false},
        {"C:\\KOV.", "C:\\KOV", false},
        {"C:\\Kov\\\\Sub", "C:\\KOV\\SUB\\", true},
    };
    for (auto& p : pairs) EXPECT_EQ(SameFolder(p.a, p.b), p.same) << p.a << " | " << p.b;
}

TEST(Paths, PatternsAndTheSystemsOwnFiles) {
    struct {
        const char *name, *pattern;
        bool match;
    } cases[] = {
        {"WIN.INI", "*.ini", true},
        {"WIN.INI", "*.*", true},
        {"WIN.INI", "*", true},
        {"win.ini", "W?N.INI", true},
        {"WIN.INI", "win*", true},
        {"WIN.INI", "*.in", false},
        {"PCGAME.PIF", "pcgame.*", true},
        {"WIN.INI", "pcgame.*", false},
        {"A", "a*b", false},
        {"ABAB", "*ab", true},
        {"", "*", true},
        {"X", "", false},
    };
    for (auto& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
    for (const char* n :
         {"win.ini", "SYSTEM.INI", "*.ini", "win*.*", "*.*", "*", "?IN.INI", "reg.dat"})
        EXPECT_TRUE(IsSystemFileName(n)) << n;
    for (const char* n : {"pcgame.pif", "pcgame.*", "kovinst.ini", "kov*.ini"})
        EXPECT_FALSE(IsSystemFileName(n)) << n;
}

TEST(Text, BoundedCopies) {
    char small[6];
    EXPECT_EQ(CopyText(small, "abc", sizeof small), 1);
    EXPECT_EQ(AppendText(small, "defgh", sizeof small), 0);
    EXPECT_STREQ(small, "abcde");
}

// The one name comparison: Windows-1252 capitals, '/' as '\', nothing linguistic.
TEST(Names, CompareByTheCodePageCapitals) {
    struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"mpm\\modem.ini", "MPM\\MODEM.INI", true},
        {"config/a.ini", "config\\a.ini", true},
        {"R\xC9"
         "CENT.TXT",
         "r\xE9"
         "cent.txt",
         true},                                  // e acute
        {"\xFF", "\x9F", true},                  // y diaeresis
        {"\x9A\x9C\x9E", "\x8A\x8C\x8E", true},  // s caron, oe, z caron
        {"\xF7", "\xD7", false},                 // division and multiplication signs are no letters
        {"\xDF", "SS", false},                   // sharp s stays itself
        {"\xB5", "M", false},                    // micro sign too
        {"recent.txt",
         "r\xE9"
         "cent.txt",
         false},
        {"a", "ab", false},
        {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameName(c.b, c.a), c.same) << c.b << " / " << c.a;
        EXPECT_EQ(CompareNames(c.a, c.b) == 0, c.same);
        EXPECT_EQ(CompareNames(c.a, c.b), -CompareNames(c.b, c.a));
    }
}

TEST(SysFaults, TheNthCallOfAKindFails) {
    TestMachine m;
    m.Write("C:\\F.BIN", "abcdef");
    SysFile f = SysOpen("C:\\F.BIN", SYS_READWRITE);
    ASSERT_TRUE(f);
    char b[2];
    SysFailCalls(SYS_FAULT_READ, 2, 2);
    unsigned long before = SysCallsMade(SYS_FAULT_READ);
    long got[4];
    for (long& g : got) g = SysRead(f, b, 1);
    EXPECT_EQ(1, got[0]);
    EXPECT_EQ(-1, got[1]);
    EXPECT_EQ(-1, got[2]);
    EXPECT_EQ(1, got[3]);
    EXPECT_EQ(before + 4, SysCallsMade(SYS_FAULT_READ));

    // Kinds are counted apart, and clearing stops every pending fault.
    SysFailCalls(SYS_FAULT_WRITE, 1, 1);
    SysFailCalls(SYS_FAULT_OPEN_WRITE, 1, 1);
    EXPECT_EQ(1, SysRead(f, b, 1));
    EXPECT_TRUE(SysSeek(f, 0, SYS_SEEK_SET) == 0);
    EXPECT_EQ(-1, SysWrite(f, "x", 1));
    EXPECT_EQ(1, SysWrite(f, "y", 1));
    SysFile r = SysOpen("C:\\F.BIN", SYS_READ);  // a read open is not a write open
    EXPECT_TRUE(r);
    SysClose(r);
    EXPECT_FALSE(SysOpen("C:\\F.BIN", SYS_WRITE));
    SysFailCalls(SYS_FAULT_DELETE, 1, ~0ul);
    SysClearFaults();
    SysClose(f);
    EXPECT_EQ(1, SysDelete("C:\\F.BIN"));
}
