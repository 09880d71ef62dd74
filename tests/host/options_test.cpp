// The command line.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "setup/answers.h"
#include "setup/options.h"

TEST(Options, Table) {
    struct Case {
        const char* line;
        uint32_t crash, modem, desk, cont, restart, win31, version, xGiven, tGiven, offset;
        const char* file;
        const char* continuation;
    } cases[] = {
        {"-C -M -X D:\\SETUP.EXE -T 161280", 1, 1, 0, 0, 0, 0, 0, 1, 1, 161280, "D:\\SETUP.EXE",
         ""},
        {"-x D:\\SETUP.EXE -t 161280", 0, 0, 0, 0, 0, 0, 0, 1, 1, 161280, "D:\\SETUP.EXE", ""},
        {"-P C:\\Some Dir -R", 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, "", "C:\\Some Dir -R"},
        {"-Crash", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        {"/c", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        {"word -d x/m", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, "", ""},
        {"  -S   -V  -R -Q", 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, "", ""},
        {"-XD:\\A.EXE -T", 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, "D:\\A.EXE", ""},
        {"-", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        // A lone "-" or "/" ends at the blank: the next word is an option of its own.
        {"- -C", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        {"/ /m -", 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
        {"-X - -T 5", 0, 0, 0, 0, 0, 0, 0, 1, 1, 5, "-", ""},
        {"", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "", ""},
    };
    for (auto& c : cases) {
        ResetRunState();
        ParseCommandLine(c.line);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(CrashMode, c.crash);
        EXPECT_EQ(SkipModem, c.modem);
        EXPECT_EQ(SkipModemOption, c.modem);
        EXPECT_EQ(NoDesktopItems, c.desk);
        EXPECT_EQ(ContinuationRun, c.cont);
        EXPECT_EQ(RestartWindows, c.restart);
        EXPECT_EQ(OfferWin31Choice, c.win31);
        EXPECT_EQ(WriteVersionFile, c.version);
        EXPECT_EQ(InstallFileGiven, c.xGiven);
        EXPECT_EQ(PackageOffsetGiven, c.tGiven);
        EXPECT_EQ(PackageOffsetOption, c.offset);
        EXPECT_STREQ(InstallFile, c.file);
        EXPECT_STREQ(ContinuationText, c.continuation);
    }
}

// The relaunch quotes a package path with a blank: a quoted -X or -U value is read whole,
// without its quotes, and the options after it still count.
TEST(Options, QuotedValues) {
    struct Case {
        const char* line;
        const char* file;
        const char* answers;
        uint32_t modem;
    } cases[] = {
        {"-T 161280 -X \"D:\\KOV 30I\\SETUP.EXE\" -M", "D:\\KOV 30I\\SETUP.EXE", "", 1},
        {"-X \"C:\\Mes documents\\SETUP.EXE\" -U \"C:\\Mes documents\\a.ini\" -M",
         "C:\\Mes documents\\SETUP.EXE", "C:\\Mes documents\\a.ini", 1},
        {"-X \"\" -M", "", "", 1},
        {"-X \"D:\\A B", "D:\\A B", "", 0},         // no closing quote: the rest of the line
        {"-X D:\\A\"B C\" -M", "D:\\A\"B", "", 1},  // a quote inside a word is plain
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ResetRunState();
        ResetAnswerState();
        ParseCommandLine(c.line);
        EXPECT_EQ(InstallFileGiven, 1u);
        EXPECT_STREQ(InstallFile, c.file);
        EXPECT_STREQ(AnswerFile, c.answers);
        EXPECT_EQ(SkipModem, c.modem);
    }
}

TEST(Options, NullTextDoesNothing) {
    ResetRunState();
    NoDesktopItems = 1;
    ParseCommandLine(nullptr);
    EXPECT_EQ(NoDesktopItems, 1u);
}

TEST(Options, LongWordsAreCut) {
    ResetRunState();
    std::string path(600, 'p');
    std::string rest(600, 'r');
    std::string line = "-X " + path + " -T 12345678901234567890123 -M -P " + rest;
    ParseCommandLine(line.c_str());
    EXPECT_EQ(strlen(InstallFile), 259u);
    EXPECT_EQ(PackageOffsetGiven, 1u);
    EXPECT_EQ(SkipModem, 1u);  // parsing went on after the long words
    EXPECT_EQ(ContinuationRun, 1u);
    EXPECT_EQ(strlen(ContinuationText), 257u);
}

// The program's name is skipped as the system's C runtime skips it: a blank inside quotes
// belongs to the name, and the blanks after it are not part of the options.
TEST(Options, CommandTail) {
    const struct {
        const char* line;
        const char* tail;
    } cases[] = {
        {"D:\\SETUP.EXE -C -M", "-C -M"},
        {"\"C:\\Program Files\\Kov\\SETUP.EXE\"  -P C:\\Some Dir", "-P C:\\Some Dir"},
        {"C:\\\"Some Dir\"\\SETUP.EXE -S", "-S"},
        {"\"D:\\SETUP.EXE\"-C", ""},  // glued to the name, as the runtime took it
        {"SETUP.EXE\t-Q", "-Q"},
        {"SETUP.EXE", ""},
        {"\"unterminated name -C", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(CommandTail(c.line), c.tail) << c.line;
    EXPECT_STREQ(CommandTail(nullptr), "");
}
