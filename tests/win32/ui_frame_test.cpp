// The frame window: display classification, the gradient and the title picture read back
// from the frame's pixels, the class errors, centring and the OLE check.
#include <gtest/gtest.h>
#include <ole2.h>
#include <string>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "base/log.h"
#include "ui/dialogs.h"
#include "ui/frame.h"
#include "ui/gauge.h"

namespace {

TEST(FrameDisplay, Classification) {
    struct Case {
        int bits, planes, colours;
        uint32_t depth;
    };
    const Case cases[] = {
        {4, 1, 16, 4},                     // 16 colours
        {1, 4, 16, 4},                     // 16 colours in four planes
        {8, 1, 256, 8},                    // 256 colours: palette mode
        {8, 1, 20, 8},   {16, 1, -1, 24},  // more than 8 bits: the colour count is -1
        {24, 1, -1, 24}, {32, 1, -1, 24}, {8, 1, -1, 24},  // -1 taken as unsigned is above 256
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyDisplay(c.bits, c.planes, c.colours), c.depth)
            << c.bits << "x" << c.planes << " " << c.colours;
}

TEST(FrameDisplay, TestMachineIsTrueColour) {
    LogReset();
    PaletteMode = 1;
    DetectDisplayDepth();
    EXPECT_EQ(DisplayDepth, 24u);
    EXPECT_EQ(PaletteMode, 0u);
    ASSERT_TRUE(LogTraceText());
    EXPECT_NE(std::string(LogTraceText()).find("Bits per pixel = 24"), std::string::npos);
}

TEST(FrameDib, LayoutOperations) {
    BITMAPINFOHEADER header = {};
    header.biSize = 40;
    struct Case {
        WORD bits;
        DWORD table;
    };
    // Above 8 bits per pixel the colours are in the pixels themselves: no table.
    const Case cases[] = {{1, 8}, {4, 64}, {8, 1024}, {16, 0}, {24, 0}, {32, 0}};
    for (const Case& c : cases) {
        header.biBitCount = c.bits;
        EXPECT_EQ(DibColorTableSize(&header), c.table);
        EXPECT_EQ(DibBits(&header), (BYTE*)&header + 40 + c.table);
    }
}

TEST(FrameGradient, Levels) {
    EXPECT_EQ(GradientLevel(0, 512), 255);
    EXPECT_EQ(GradientLevel(1, 512), 255);
    // 255 x 511 / 512 = 254.5 rounds to 255: the last row is black.
    EXPECT_EQ(GradientLevel(511, 512), 0);
    EXPECT_EQ(GradientLevel(256, 512), 127);
    EXPECT_EQ(GradientLevel(767, 768), 0);
}

class Frame : public ::testing::Test {
protected:
    void SetUp() override { ResetRunState(); }
    void TearDown() override {
        uitest::Stop();
        DestroyFrameWindow();
    }
};

// Gives the frame a client area of the given height, restored from maximised.
static void SetClientHeight(int width, int height) {
    ShowWindow(FrameWindow, SW_RESTORE);
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(FrameWindow, HWND_TOP, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_SHOWWINDOW);
    InvalidateRect(FrameWindow, NULL, TRUE);
    UpdateWindow(FrameWindow);
    uitest::Settle(100);
}

TEST_F(Frame, CreatedMaximisedWithClassesAndDestroyed) {
    ASSERT_TRUE(CreateFrameWindow("Configuration de KOV"));
    ASSERT_TRUE(IsWindow(FrameWindow));
    EXPECT_TRUE(IsZoomed(FrameWindow));
    EXPECT_EQ(uitest::Text(FrameWindow), "Configuration de KOV");
    WNDCLASSA cls;
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(NULL), "_KOVSETUP_Gauge", &cls));
    EXPECT_EQ(cls.cbWndExtra, 8);
    EXPECT_EQ(cls.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(NULL), "_KOVSETUP_Frame", &cls));
    EXPECT_EQ(cls.style, (UINT)(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_EQ(SetupError, 0);

    EXPECT_TRUE(DestroyFrameWindow());
    EXPECT_EQ(FrameWindow, (HWND)NULL);
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(NULL), "_KOVSETUP_Gauge", &cls));
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(NULL), "_KOVSETUP_Frame", &cls));
    EXPECT_EQ(OleInitialized, 0u);
}

TEST_F(Frame, ClassRegistrationFailures) {
    // A class of the same name already registered by this module makes registration fail.
    struct Case {
        const char* taken;
        uint16_t error;
    };
    const Case cases[] = {{"_KOVSETUP_Gauge", 15}, {"_KOVSETUP_Frame", 16}};
    for (const Case& c : cases) {
        ResetRunState();
        WNDCLASSA cls = {};
        cls.lpfnWndProc = DefWindowProcA;
        cls.hInstance = GetModuleHandleA(NULL);
        cls.lpszClassName = c.taken;
        ASSERT_TRUE(RegisterClassA(&cls));
        EXPECT_FALSE(CreateFrameWindow("x"));
        EXPECT_EQ(SetupError, c.error);
        EXPECT_EQ(FrameWindow, (HWND)NULL);
        UnregisterClassA(c.taken, GetModuleHandleA(NULL));
        DestroyFrameWindow();
    }
}

TEST_F(Frame, GradientReadFromPixels) {
    ASSERT_TRUE(CreateFrameWindow("Gradient"));
    SetClientHeight(600, 512);
    RECT client;
    GetClientRect(FrameWindow, &client);
    ASSERT_EQ(client.bottom, 512);
    // Right of the title picture, up to the last column: no stripe of the class brush.
    for (int x : {400, (int)client.right - 2, (int)client.right - 1}) {
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 0), RGB(0, 0, 255)) << x;
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 1), RGB(0, 0, 255)) << x;
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 256), RGB(0, 0, 127)) << x;
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 511), RGB(0, 0, 0)) << x;
    }
    for (int y = 0; y < 512; y += 37)
        EXPECT_EQ(uitest::Pixel(FrameWindow, 400, y), RGB(0, 0, GradientLevel(y, 512))) << y;
}

// The test display is true colour, so palette mode is switched on by hand: the palette, the
// nearest shade of each level and a gradient painted through the palette.
TEST_F(Frame, PaletteModeShades) {
    ASSERT_TRUE(CreateFrameWindow("Palette"));
    PaletteMode = 1;
    BuildFramePalette();
    ASSERT_TRUE(FramePalette);
    PALETTEENTRY entries[40];
    ASSERT_EQ(GetPaletteEntries(FramePalette, 0, 40, entries), 33u);
    for (int i = 0; i < 32; i++) {
        EXPECT_EQ(entries[i].peRed | entries[i].peGreen | entries[i].peFlags, 0) << i;
        EXPECT_EQ(entries[i].peBlue, i * 8) << i;
    }
    EXPECT_EQ(RGB(entries[32].peRed, entries[32].peGreen, entries[32].peBlue), RGB(255, 255, 255));

    struct Case {
        int level, index;
    };
    const Case cases[] = {{0, 0}, {4, 0}, {5, 1}, {128, 16}, {250, 31}, {255, 31}};
    for (const Case& c : cases) EXPECT_EQ(BlueShades[c.level], PALETTEINDEX(c.index)) << c.level;
    int shades = 1;
    for (int level = 1; level < 256; level++) shades += BlueShades[level] != BlueShades[level - 1];
    EXPECT_EQ(shades, 32);

    SetClientHeight(600, 512);
    for (int x : {598, 599}) {
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 0), RGB(0, 0, 248)) << x;
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 256), RGB(0, 0, 128)) << x;
        EXPECT_EQ(uitest::Pixel(FrameWindow, x, 511), RGB(0, 0, 0)) << x;
    }
    PaletteMode = 0;
}

TEST_F(Frame, TitlePictureWithShadow) {
    ASSERT_TRUE(CreateFrameWindow("Title"));
    ASSERT_TRUE(TitleBitmap) << "bitmap 350 missing";
    EXPECT_EQ(TitleBitmap->biBitCount, 1);
    SetClientHeight(600, 512);
    int w = (WORD)TitleBitmap->biWidth, h = TitleBitmap->biHeight;
    DWORD row = ((w + 31) / 32) * 4;
    const BYTE* bits = DibBits(TitleBitmap);
    // Index 0 (white) forms the picture; the bitmap is stored bottom-up.
    auto picture = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= w || py >= h) return false;
        return !(bits[(h - 1 - py) * row + px / 8] & (0x80 >> (px % 8)));
    };
    HDC dc = GetDC(FrameWindow);
    int white = 0, shadow = 0, wrong = 0;
    for (int y = 0; y < h + TITLE_SHADOW; y++) {
        for (int x = 0; x < w + TITLE_SHADOW; x++) {
            COLORREF seen = GetPixel(dc, x, y);
            COLORREF expected;
            if (picture(x, y)) {
                expected = RGB(255, 255, 255);
                white++;
            } else if (picture(x - TITLE_SHADOW, y - TITLE_SHADOW)) {
                expected = RGB(0, 0, 0);
                shadow++;
            } else if (x < w && y < h) expected = RGB(0, 0, GradientLevel(y, 512));
            else continue;  // outside the bitmap's rectangle the background was never touched
            if (seen != expected && wrong++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << seen;
        }
    }
    ReleaseDC(FrameWindow, dc);
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(white, 100);
    EXPECT_GT(shadow, 100);
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Whatever destroys the frame, nothing is left pointing at it or at the dialogs it owned;
// the slot stays taken until its owner closes it, without an error.
TEST_F(Frame, DestroyedFrameLeavesNoStaleHandles) {
    ASSERT_TRUE(CreateFrameWindow("Destroyed"));
    HWND dialog = OpenModeless(200, QuietProc);
    ASSERT_TRUE(dialog);
    DestroyWindow(FrameWindow);
    EXPECT_EQ(FrameWindow, (HWND)NULL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(ModelessSlots[0].templateId, 200);
    EXPECT_EQ(ModelessSlots[0].window, (HWND)NULL);
    MSG message = {};
    message.message = WM_KEYDOWN;
    EXPECT_FALSE(IsModelessMessage(&message));
    EXPECT_TRUE(CloseModeless(200));
    EXPECT_EQ(ModelessSlots[0].templateId, 0);
    EXPECT_TRUE(DestroyFrameWindow());
}

TEST_F(Frame, EndSessionQuery) {
    ASSERT_TRUE(CreateFrameWindow("Session"));
    EXPECT_EQ(SendMessageA(FrameWindow, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SessionEnding, 1u);
}

TEST_F(Frame, CenterDialog) {
    ASSERT_TRUE(CreateFrameWindow("Centre"));
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 100, 50, 400, 300, NULL,
                                 NULL, NULL, NULL);
    HWND dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 7, 9, 101, 60, NULL, NULL,
                                  NULL, NULL);
    struct Case {
        int w, h;
        int x, y;
    };
    const Case cases[] = {
        {101, 60, 100 + (400 - 101) / 2, 50 + (300 - 60) / 2},  // divisions truncate
        {400, 60, 7, 50 + (300 - 60) / 2},                      // same width: x stays
        {101, 300, 100 + (400 - 101) / 2, 9},                   // same height: y stays
    };
    for (const Case& c : cases) {
        MoveWindow(dialog, 7, 9, c.w, c.h, FALSE);
        CenterDialog(owner, dialog);
        RECT rc;
        GetWindowRect(dialog, &rc);
        EXPECT_EQ(rc.left, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(rc.top, c.y) << c.w << "x" << c.h;
        EXPECT_EQ(rc.right - rc.left, c.w);
    }
    // A minimised owner: centred on the screen.
    ShowWindow(owner, SW_MINIMIZE);
    MoveWindow(dialog, 7, 9, 101, 60, FALSE);
    CenterDialog(owner, dialog);
    RECT rc;
    GetWindowRect(dialog, &rc);
    EXPECT_EQ(rc.left, (GetSystemMetrics(SM_CXSCREEN) - 101) / 2);
    EXPECT_EQ(rc.top, (GetSystemMetrics(SM_CYSCREEN) - 60) / 2);
    DestroyWindow(dialog);
    DestroyWindow(owner);
}

TEST_F(Frame, OleBuildOfTheMachine) {
    DWORD build = CoBuildVersion();
    std::printf("OLE build of this machine: %u.%u\n", HIWORD(build), LOWORD(build));
    ASSERT_TRUE(CreateFrameWindow("OLE"));
    EXPECT_EQ(OleInitialized, LOWORD(build) > 638 ? 1u : 0u);
    DestroyFrameWindow();
    EXPECT_EQ(OleInitialized, 0u);
}

TEST_F(Frame, OleChecks) {
    ASSERT_TRUE(CreateFrameWindow("OLE"));
    if (OleInitialized) {
        OleUninitialize();
        OleInitialized = 0;
    }
    // Minor build 638 exactly: nothing to initialise.
    EXPECT_TRUE(CheckAndInitOle(MAKELONG(638, 23)));
    EXPECT_EQ(OleInitialized, 0u);
    // A later minor build: initialised here, ended by DestroyFrameWindow.
    EXPECT_TRUE(CheckAndInitOle(MAKELONG(639, 23)));
    EXPECT_EQ(OleInitialized, 1u);

    // Another major build: the information box owned by the frame, and false.
    std::string text, caption;
    HWND owner = NULL;
    uitest::Act([&](HWND box) {
        text = uitest::BoxText(box);
        caption = uitest::Text(box);
        owner = GetWindow(box, GW_OWNER);
        uitest::Press(box, IDOK);
        return true;
    });
    OleInitialized = 0;
    EXPECT_FALSE(CheckAndInitOle(MAKELONG(700, 22)));
    uitest::Stop();
    EXPECT_EQ(text, uitest::Message(34305));
    EXPECT_EQ(caption, uitest::Message(34306));
    EXPECT_EQ(owner, FrameWindow);
    EXPECT_EQ(SetupError, 0);
    OleUninitialize();
}

}  // namespace
