// Quick reference printing: the page arithmetic, and real jobs on the test machine's
// PostScript printer, read back from the spooled output (C:\printer\job-N.ps).
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "base/mem.h"
#include "ui/dialogs.h"
#include "ui/frame.h"
#include "ui/print.h"
#include "package/package.h"
#include "sys/sys.h"

namespace {

#ifndef _WIN64
// The system's 32-bit layout; the 64-bit one has pointer-sized members and its own padding.
static_assert(sizeof(PRINTDLGA) == 66, "the print dialog request is 66 bytes");
#endif

TEST(PrintLayout, LinesPerPage) {
    struct Case {
        int page, line, last, perPage;
    };
    const Case cases[] = {
        {3300, 50, 61, 59},  // lines 3 to 61
        {3300, 100, 28, 26},
        {3300, 51, 59, 57},  // 64.7 lines: truncated
        {6600, 100, 61, 59},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PrintLastLine(c.page, c.line), c.last);
        EXPECT_EQ(PrintLastLine(c.page, c.line) - PRINT_FIRST_LINE + 1, c.perPage);
    }
}

TEST(PrintLayout, LineBreaks) {
    struct Case {
        const char* text;
        int fit, piece;
    };
    const Case cases[] = {
        {"un deux trois", 13, 13},  // it all fits
        {"un deux trois", 20, 13},
        {"un deux trois", 8, 7},    // "un deux" and the blank after it fit
        {"un deux trois", 7, 7},    // the blank after "un deux" starts the cut
        {"un deux trois", 6, 2},    // "deu" does not fit: back to the blank
        {"abcdefgh", 3, 3},         // one word longer than the line: cut inside it
        {"abcdefgh", 0, 1},         // nothing fits: still one character, never an empty line
        {"   retrait long", 5, 5},  // indentation is no place to break
        {"a  b", 2, 2},             // blanks that fit stay on the line
    };
    for (const Case& c : cases)
        EXPECT_EQ(GuideLineBreak(c.text, (int)strlen(c.text), c.fit), c.piece)
            << c.text << " " << c.fit;
}

TEST(QuickRefSource, ReadFromThePackageEntry) {
    // A package file whose entry "quickref.txt" sits after other bytes.
    const char path[] = "C:\\windows\\temp\\quickref-pkg.bin";
    const std::string before(1000, 'x'), guide = "Guide de r\xe9"
                                                 "f\xe9rence\r\nLigne 2\r\n";
    SysFile f = SysCreate(path);
    ASSERT_TRUE(f);
    SysWrite(f, before.data(), before.size());
    SysWrite(f, guide.data(), guide.size());
    SysWrite(f, "tail", 4);
    SysClose(f);

    alignas(PackageEntry) char block[sizeof(PackageEntry) + 16];
    PackageEntry* entry = (PackageEntry*)block;
    entry->installedSize = entry->storedSize = (uint32_t)guide.size();
    entry->offset = (uint32_t)before.size();
    strcpy(entry->name, "QUICKREF.TXT");
    FileTableT table = {1, entry->installedSize, &entry};
    ResetRunState();
    strcpy(InstallSettings.QuickRefFile, "quickref.txt");
    FileTable = &table;
    PackageFile = SysOpen(path, SYS_READ);
    ASSERT_TRUE(PackageFile);

    char* text = ReadQuickRefFromPackage();
    ASSERT_TRUE(text);
    EXPECT_EQ(std::string(text), guide);
    MemFree(text);
    // A size that runs past the end of the file is refused, not allocated and read.
    for (uint32_t size : {0xFFFFFFFFu, (uint32_t)(guide.size() + 5)}) {
        entry->installedSize = size;
        EXPECT_EQ(ReadQuickRefFromPackage(), (char*)NULL) << size;
    }
    entry->installedSize = (uint32_t)guide.size();
    strcpy(InstallSettings.QuickRefFile, "absent.txt");
    EXPECT_EQ(ReadQuickRefFromPackage(), (char*)NULL);

    SysClose(PackageFile);
    PackageFile = 0;
    FileTable = NULL;
    DeleteFileA(path);
}

TEST(QuickRefSource, DamagedSizesAreRefused) {
    // 10 bytes before the guide, then "guide", nothing after: a 15-byte package file.
    const char path[] = "C:\\windows\\temp\\quickref-bad.bin";
    SysFile f = SysCreate(path);
    ASSERT_TRUE(f);
    SysWrite(f, "0123456789guide", 15);
    SysClose(f);

    struct Case {
        uint32_t installedSize, offset;
        const char* text;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, 10, NULL},               // block size would wrap to 0
        {0x7FFFFFFFu, 10, NULL},               // no 2 GB block for a 5-byte guide
        {5, 10, "guide"},        {0, 15, ""},  // an empty guide at the very end
        {3, 15, NULL},                         // runs past the end
        {5, 16, NULL},                         // beyond the end
        {5, 0xFFFFFFF0u, NULL},
    };
    alignas(PackageEntry) char block[sizeof(PackageEntry) + 16];
    PackageEntry* entry = (PackageEntry*)block;
    strcpy(entry->name, "QUICKREF.TXT");
    FileTableT table = {1, 0, &entry};
    ResetRunState();
    strcpy(InstallSettings.QuickRefFile, "quickref.txt");
    FileTable = &table;
    PackageFile = SysOpen(path, SYS_READ);
    ASSERT_TRUE(PackageFile);
    for (const Case& c : cases) {
        entry->installedSize = entry->storedSize = c.installedSize;
        entry->offset = c.offset;
        char* text = ReadQuickRefFromPackage();
        if (!c.text) {
            EXPECT_EQ(text, (char*)NULL) << c.offset;
            continue;
        }
        ASSERT_TRUE(text) << c.installedSize << " " << c.offset;
        EXPECT_STREQ(text, c.text);
        MemFree(text);
    }
    SysClose(PackageFile);
    PackageFile = 0;
    FileTable = NULL;
    DeleteFileA(path);
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::string guideText;
char* GuideFromTest(void) {
    char* text = (char*)MemAlloc(guideText.size() + 1);
    memcpy(text, guideText.data(), guideText.size());
    return text;
}

// One page of spooled PostScript: where each line of text starts, and its text.
struct Page {
    std::vector<std::pair<int, int>> starts;
    std::vector<std::string> texts;
};

// The character a glyph name stands for; '?' for one the tests do not use.
char GlyphChar(const std::string& name) {
    static const char* const digits[] = {"zero", "one", "two",   "three", "four",
                                         "five", "six", "seven", "eight", "nine"};
    if (name.size() == 1) return name[0];
    for (int i = 0; i < 10; i++)
        if (name == digits[i]) return (char)('0' + i);
    static const struct {
        const char* name;
        char c;
    } others[] = {{"space", ' '}, {"period", '.'}, {"comma", ','},
                  {"colon", ':'}, {"hyphen", '-'}, {"eacute", '\xe9'}};
    for (const auto& o : others)
        if (name == o.name) return o.c;
    return '?';
}

std::string ReadFile(const std::string& path) {
    std::string data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return data;
}

// The printer driver draws each text line as "X Y moveto" followed by its glyphs; the
// opaque background of a line is "X Y moveto" followed by a rectangle.
std::vector<Page> ParsePages(const std::string& ps) {
    std::vector<Page> pages;
    size_t pos = 0;
    std::vector<std::string> lines;
    while (pos < ps.size()) {
        size_t end = ps.find('\n', pos);
        if (end == std::string::npos) end = ps.size();
        std::string line = ps.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        pos = end + 1;
    }
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].rfind("%%Page:", 0) == 0) pages.push_back(Page());
        int x, y;
        char word[16];
        if (!pages.empty() && sscanf(lines[i].c_str(), "%d %d %15s", &x, &y, word) == 3 &&
            std::string(word) == "moveto" && i + 1 < lines.size() &&
            lines[i + 1].find("rlineto") == std::string::npos) {
            pages.back().starts.push_back({x, y});
            pages.back().texts.push_back("");
        }
        // The driver draws each character as "/NAME glyphshow".
        char glyph[32];
        if (!pages.empty() && !pages.back().texts.empty() &&
            sscanf(lines[i].c_str(), "/%31s glyphshow", glyph) == 1 &&
            lines[i].find(" glyphshow") != std::string::npos)
            pages.back().texts.back() += GlyphChar(glyph);
    }
    return pages;
}

// Watches the printing dialog as it is initialised (it lives only while the job runs, too
// briefly for the timer), and presses its Annuler at once when asked to.
// With clickAgain, "Imprimer maintenant" is clicked once more while the job runs; whether
// dialog 229 takes clicks is noted while the job runs and as the printing dialog goes.
struct AbortWatch {
    HWND owner = NULL, window = NULL;
    std::string caption, docName;
    bool cancel = false, clickAgain = false;
    bool focusOnCancel = false;
    bool ownerEnabledDuring = true, ownerEnabledAtEnd = false;
};
AbortWatch abortWatch;
LRESULT CALLBACK WatchAbortDialog(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = (const CWPRETSTRUCT*)lParam;
    if (code == HC_ACTION && call->message == WM_INITDIALOG &&
        GetDlgItem(call->hwnd, IDC_PRINTDOC)) {
        abortWatch.window = call->hwnd;
        abortWatch.owner = GetWindow(call->hwnd, GW_OWNER);
        abortWatch.caption = uitest::Text(call->hwnd);
        abortWatch.docName = uitest::Text(call->hwnd, IDC_PRINTDOC);
        abortWatch.focusOnCancel = GetFocus() == GetDlgItem(call->hwnd, ID_CANCEL);
        abortWatch.ownerEnabledDuring = IsWindowEnabled(abortWatch.owner);
        if (abortWatch.cancel) uitest::Press(call->hwnd, ID_CANCEL);
        if (abortWatch.clickAgain) uitest::Press(abortWatch.owner, 415);
    }
    if (code == HC_ACTION && call->message == WM_DESTROY && call->hwnd == abortWatch.window)
        abortWatch.ownerEnabledAtEnd = IsWindowEnabled(abortWatch.owner);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

int CountJobs() {
    int n = 0;
    char path[64];
    for (;;) {
        wsprintfA(path, "C:\\printer\\job-%d.ps", n + 1);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return n;
        n++;
    }
}

class Printing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Printing"));
    }
    static void TearDownTestSuite() {
        DestroyFrameWindow();
        QuickRefSource = ReadQuickRefFromPackage;
    }
    void SetUp() override {
        DWORD size = sizeof printerName;
        if (!GetDefaultPrinterA(printerName, &size)) GTEST_SKIP() << "no printer on this machine";
        HDC dc = CreateDCA(NULL, printerName, NULL, NULL);
        ASSERT_TRUE(dc);
        // The guide's font comes from dialog 229's own font.
        HWND quickRef = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(229),
                                           FrameWindow, QuietProc, 0);
        ASSERT_TRUE(quickRef);
        font = CreateGuideFont(dc, quickRef);
        DestroyWindow(quickRef);
        ASSERT_TRUE(font);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        pageWidth = GetDeviceCaps(dc, HORZRES);
        lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
        ascent = metrics.tmAscent;
        left = PRINT_LEFT_CHARS * metrics.tmAveCharWidth;
        lastLine = PrintLastLine(GetDeviceCaps(dc, VERTRES), lineHeight);
        perPage = lastLine - PRINT_FIRST_LINE + 1;
        SelectObject(dc, old);
        DeleteDC(dc);
        QuickRefSource = GuideFromTest;
    }
    void TearDown() override {
        uitest::Stop();
        if (font) DeleteObject(font);
    }

    // Runs dialog 229 as the driver does and presses "Imprimer maintenant", then OK in the
    // print dialog; cancelAbort presses Annuler in the printing dialog as soon as it shows.
    // A guideWidth (pixels) replaces the width of the control that lays the guide out.
    int PrintThroughDialog(bool cancelAbort, int guideWidth = 0, bool clickAgain = false) {
        HWND quickRef = NULL;
        uitest::Act([&](HWND d) {
            if (GetDlgItem(d, IDC_GUIDE) && GetDlgItem(d, 415)) {
                quickRef = d;
                if (guideWidth) MoveWindow(GetDlgItem(d, IDC_GUIDE), 0, 0, guideWidth, 50, FALSE);
                uitest::Press(d, 415);
            } else if (!GetDlgItem(d, IDC_PRINTDOC)) {
                printDialogOwner = GetWindow(d, GW_OWNER);
                uitest::Press(d, IDOK);
            }
            return true;
        });
        abortWatch = AbortWatch();
        abortWatch.cancel = cancelAbort;
        abortWatch.clickAgain = clickAgain;
        HHOOK hook =
            SetWindowsHookExA(WH_CALLWNDPROCRET, WatchAbortDialog, NULL, GetCurrentThreadId());
        int result = RunModalDialog(229, NULL);
        UnhookWindowsHookEx(hook);
        uitest::Stop();
        EXPECT_EQ(abortWatch.owner, quickRef);
        EXPECT_EQ(printDialogOwner, quickRef);
        return result;
    }

    std::vector<Page> WaitForJob(int number) {
        char path[64];
        wsprintfA(path, "C:\\printer\\job-%d.ps", number);
        for (int i = 0; i < 100 && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; i++)
            Sleep(50);
        std::string ps = ReadFile(path);
        EXPECT_FALSE(ps.empty()) << path;
        EXPECT_NE(ps.find("%%Title: " PRINT_DOC_NAME), std::string::npos);
        return ParsePages(ps);
    }

    // Checks every line's position: lines 3 to lastLine of each page, then the next page.
    void ExpectLayout(const std::vector<Page>& pages, int lines) {
        ASSERT_EQ((int)pages.size(), lines / perPage + 1);
        for (size_t p = 0; p < pages.size(); p++) {
            int expected = p + 1 < pages.size() ? perPage : lines % perPage;
            ASSERT_EQ((int)pages[p].starts.size(), expected) << "page " << p + 1;
            for (int i = 0; i < expected; i++) {
                EXPECT_EQ(pages[p].starts[i].first, left);
                EXPECT_EQ(pages[p].starts[i].second, lineHeight * (PRINT_FIRST_LINE + i) + ascent);
            }
        }
    }

    static std::string Guide(int lines) {
        std::string text;
        char line[64];
        for (int i = 1; i <= lines; i++) {
            wsprintfA(line,
                      "Ligne %03d du guide de r\xe9"
                      "f\xe9rence\r\n",
                      i);
            text += line;
        }
        return text;
    }

    int lineHeight = 0, ascent = 0, left = 0, lastLine = 0, perPage = 0, pageWidth = 0;
    HFONT font = NULL;
    char printerName[256] = "";
    HWND printDialogOwner = NULL;
};

TEST_F(Printing, GuidePrintedPageByPage) {
    ASSERT_GT(perPage, 0);
    int lines = 2 * perPage + 5;
    guideText = Guide(lines);
    // A cancel in an earlier job does not abort this one.
    PrintCancelled = 1;
    int jobs = CountJobs();
    EXPECT_EQ(PrintThroughDialog(false), 415);
    EXPECT_EQ(abortWatch.caption, "Impression...");
    EXPECT_EQ(abortWatch.docName, PRINT_DOC_NAME);
    EXPECT_TRUE(abortWatch.focusOnCancel);
    EXPECT_EQ(PrintAbortDialog, (HWND)NULL);
    std::vector<Page> pages = WaitForJob(jobs + 1);
    ExpectLayout(pages, lines);
    std::printf("printed %d lines: %d per page (line height %d, page %d lines)\n", lines, perPage,
                lineHeight, lastLine);
}

// Lines longer than the paper is wide in the guide's font: a source line wider than the
// dialog, one longer than 127 characters, a word longer than a whole line. They are cut as
// the dialog's control lays them out, and again where the paper ends when the control is
// made much wider than the page. Every character is printed, in order, and every printed
// line ends on the paper.
TEST_F(Printing, LongLinesStayOnThePage) {
    std::string words;
    for (int i = 0; i < 30; i++) words += "mot" + std::to_string(i) + " ";
    guideText = "Guide de r\xe9"
                "f\xe9rence\r\n"
                "Pour vous connecter : un deux trois quatre cinq six sept huit neuf dix onze douze "
                "treize quatorze quinze seize dix-sept dix-huit.\r\n" +
                words + "\r\n\r\n" + std::string(300, 'x') + " fin.\r\n";
    std::string source;
    for (char c : guideText)
        if (c != ' ' && c != '\r' && c != '\n') source += c;

    for (int guideWidth : {0, 20000}) {
        int jobs = CountJobs();
        EXPECT_EQ(PrintThroughDialog(false, guideWidth), 415);
        std::vector<Page> pages = WaitForJob(jobs + 1);
        ASSERT_EQ(pages.size(), 1u) << guideWidth;
        const Page& page = pages[0];

        std::string printed;
        HDC dc = CreateDCA(NULL, printerName, NULL, NULL);
        ASSERT_TRUE(dc);
        HGDIOBJ old = SelectObject(dc, font);
        int line = PRINT_FIRST_LINE - 1;
        for (size_t i = 0; i < page.starts.size(); i++) {
            const std::string& text = page.texts[i];
            for (char c : text)
                if (c != ' ') printed += c;
            SIZE size = {};
            GetTextExtentPoint32A(dc, text.data(), (int)text.size(), &size);
            EXPECT_EQ(page.starts[i].first, left) << text;
            EXPECT_LE(left + size.cx, pageWidth) << "runs off the page: " << text;
            // On the page's line grid, in order (the empty line leaves a gap, drawing nothing).
            int y = page.starts[i].second - ascent;
            EXPECT_EQ(y % lineHeight, 0) << text;
            EXPECT_GT(y / lineHeight, line) << text;
            line = y / lineHeight;
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_LE(line, lastLine);
        EXPECT_EQ(printed, source) << guideWidth;
        EXPECT_GE(page.starts.size(), 8u) << guideWidth;  // the long lines were cut
    }
}

TEST_F(Printing, ExactlyFullPageEndsWithEmptyPage) {
    guideText = Guide(perPage);
    int jobs = CountJobs();
    EXPECT_EQ(PrintThroughDialog(false), 415);
    std::vector<Page> pages = WaitForJob(jobs + 1);
    ExpectLayout(pages, perPage);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[1].starts.empty());
}

TEST_F(Printing, CancelledJobIsNotEnded) {
    guideText = Guide(3 * perPage);
    int jobs = CountJobs();
    EXPECT_EQ(PrintThroughDialog(true), 415);
    EXPECT_EQ(PrintCancelled, 1u);
    EXPECT_EQ(PrintAbortDialog, (HWND)NULL);
    // The job is dropped: nothing reaches the printer.
    Sleep(500);
    EXPECT_EQ(CountJobs(), jobs);
}

// A second click on "Imprimer maintenant" while a job runs: dialog 229 is disabled for the
// job's length, and a click that still reaches it starts no job inside the running one.
TEST_F(Printing, SecondClickWhilePrinting) {
    guideText = Guide(2 * perPage);
    int jobs = CountJobs();
    EXPECT_EQ(PrintThroughDialog(false, 0, true), 415);
    EXPECT_FALSE(abortWatch.ownerEnabledDuring);
    EXPECT_TRUE(abortWatch.ownerEnabledAtEnd);
    std::vector<Page> pages = WaitForJob(jobs + 1);
    ExpectLayout(pages, 2 * perPage);
    Sleep(300);
    EXPECT_EQ(CountJobs(), jobs + 1);
}

TEST_F(Printing, NoGuideNoJob) {
    QuickRefSource = []() -> char* { return NULL; };
    int jobs = CountJobs();
    bool printDialogShown = false;
    uitest::Act([&](HWND d) {
        if (GetDlgItem(d, IDC_GUIDE)) uitest::Press(d, 415);
        else {
            printDialogShown = true;
            uitest::Press(d, IDCANCEL);
        }
        return true;
    });
    EXPECT_EQ(RunModalDialog(229, NULL), 415);
    uitest::Stop();
    EXPECT_FALSE(printDialogShown);
    EXPECT_EQ(CountJobs(), jobs);
}

TEST_F(Printing, PrintDialogCancelled) {
    guideText = Guide(10);
    int jobs = CountJobs();
    uitest::Act([&](HWND d) {
        if (GetDlgItem(d, IDC_GUIDE) && GetDlgItem(d, 415)) uitest::Press(d, 415);
        else uitest::Press(d, IDCANCEL);
        return true;
    });
    EXPECT_EQ(RunModalDialog(229, NULL), 415);
    uitest::Stop();
    Sleep(200);
    EXPECT_EQ(CountJobs(), jobs);
}

// Run from a CD-ROM by the end-to-end script (this test program copied to D:); skipped
// anywhere else. The print dialog must not find the current directory on the disc.
TEST_F(Printing, FromCdRomCurrentDirectoryIsTemporary) {
    char own[MAX_PATH];
    GetModuleFileNameA(NULL, own, sizeof own);
    char root[4] = {own[0], ':', '\\', 0};
    if (GetDriveTypeA(root) != DRIVE_CDROM) GTEST_SKIP() << "not started from a CD-ROM";
    SetCurrentDirectoryA(root);
    guideText = Guide(3);
    char during[MAX_PATH] = "";
    uitest::Act([&](HWND d) {
        if (GetDlgItem(d, IDC_GUIDE) && GetDlgItem(d, 415)) {
            uitest::Press(d, 415);
        } else {
            GetCurrentDirectoryA(sizeof during, during);
            uitest::Press(d, IDCANCEL);
        }
        return true;
    });
    EXPECT_EQ(RunModalDialog(229, NULL), 415);
    uitest::Stop();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string expected = temp, seen = during;
    while (!expected.empty() && expected.back() == '\\') expected.pop_back();
    while (!seen.empty() && seen.back() == '\\') seen.pop_back();
    EXPECT_EQ(lstrcmpiA(seen.c_str(), expected.c_str()), 0) << seen << " vs " << expected;
}

}  // namespace
