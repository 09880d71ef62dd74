// The gauge: its text and split point, and what a real gauge window paints.
#include <gtest/gtest.h>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "ui/frame.h"
#include "ui/gauge.h"

namespace {

TEST(GaugeLayout, TextAndSplit) {
    struct Case {
        DWORD range, position;
        int right;
        const char* text;
        int split;
    };
    const Case cases[] = {
        {100, 0, 201, "  0%", 1},    // a new gauge
        {200, 50, 201, " 25%", 51},  // a quarter of 201 pixels, plus one
        {200, 150, 201, " 75%", 151},
        {100, 100, 201, "100%", 202},  // full: one pixel past the inner rectangle
        {100, 250, 201, "100%", 202},  // beyond the range: shown full
        {3, 1, 300, " 33%", 101},      // truncating
        {0, 0, 201, "100%", 202},      // no division by zero
        {0, 7, 201, "100%", 202},
        // Large positions (a 100 MB copy counted in tens of bytes) keep their proportion.
        {10000000, 5000000, 500, " 50%", 251},
        {4000000000u, 3000000000u, 400, " 75%", 301},
    };
    for (const Case& c : cases) {
        char text[5];
        int split = -1;
        GaugeLayout(c.range, c.position, c.right, text, &split);
        EXPECT_STREQ(text, c.text) << c.range << " " << c.position;
        EXPECT_EQ(split, c.split) << c.range << " " << c.position;
    }
}

class GaugeWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Gauge test"));
    }
    static void TearDownTestSuite() { DestroyFrameWindow(); }
    void SetUp() override {
        host = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 100, 100, 300, 80,
                               FrameWindow, NULL, NULL, NULL);
        // 202 x 40 client pixels: inner rectangle 1..200, so r = 201.
        gauge = CreateWindowExA(0, GaugeClassName, "", WS_CHILD | WS_VISIBLE, 10, 10, 202, 40, host,
                                (HMENU)502, NULL, NULL);
        ASSERT_TRUE(gauge);
        UpdateWindow(host);
        uitest::Settle(50);
    }
    void TearDown() override { DestroyWindow(host); }

    // Where the bar ends, read on the top inner row (above the text): the first white pixel.
    int BarEnd() {
        for (int x = 1; x <= 201; x++)
            if (uitest::Pixel(gauge, x, 1) == RGB(255, 255, 255)) return x;
        return 202;
    }
    // Whether the text shows in a colour somewhere in the middle band of the gauge.
    bool TextPixelsIn(COLORREF colour, int from, int to) {
        for (int y = 8; y < 32; y++)
            for (int x = from; x < to; x++)
                if (uitest::Pixel(gauge, x, y) == colour) return true;
        return false;
    }
    HWND host = NULL, gauge = NULL;
};

TEST_F(GaugeWindow, NewGaugeIsEmptyWithFrame) {
    EXPECT_EQ(GetWindowLongA(gauge, GAUGE_RANGE_SLOT), 100);
    EXPECT_EQ(GetWindowLongA(gauge, GAUGE_POS_SLOT), 0);
    EXPECT_EQ(uitest::Pixel(gauge, 0, 0), RGB(0, 0, 0));  // the frame
    EXPECT_EQ(uitest::Pixel(gauge, 201, 39), RGB(0, 0, 0));
    // Split point 1 = the inner left edge: the filled part is empty.
    EXPECT_EQ(uitest::Pixel(gauge, 1, 1), RGB(255, 255, 255));
    EXPECT_EQ(BarEnd(), 1);
    // "  0%" in blue on white, centred: nothing left of the middle third.
    EXPECT_TRUE(TextPixelsIn(RGB(0, 0, 255), 70, 130));
    EXPECT_FALSE(TextPixelsIn(RGB(0, 0, 255), 1, 60));
}

TEST_F(GaugeWindow, RangeAloneDoesNotRepaintThenPositionShowsQuarter) {
    EXPECT_EQ(SendMessageA(gauge, GaugeSetRange, 0, 200), 1);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(gauge, &update, FALSE));
    EXPECT_EQ(SendMessageA(gauge, GaugeSetPos, 0, 50), 1);
    // Painted at once, without the message loop.
    EXPECT_FALSE(GetUpdateRect(gauge, &update, FALSE));
    EXPECT_EQ(BarEnd(), 201 * 50 / 200 + 1);
    EXPECT_EQ(uitest::Pixel(gauge, 50, 1), RGB(0, 0, 255));
    EXPECT_EQ(uitest::Pixel(gauge, 51, 1), RGB(255, 255, 255));
}

TEST_F(GaugeWindow, BeyondRangeIsFullOverTheRightEdge) {
    SendMessageA(gauge, GaugeSetPos, 0, 250);
    EXPECT_EQ(BarEnd(), 202);
    // The filled part reaches one pixel past the inner rectangle, over the frame.
    EXPECT_EQ(uitest::Pixel(gauge, 201, 1), RGB(0, 0, 255));
    EXPECT_EQ(uitest::Pixel(gauge, 0, 1), RGB(0, 0, 0));
    // "100%" in white on the bar.
    EXPECT_TRUE(TextPixelsIn(RGB(255, 255, 255), 70, 130));
}

// The gauge as the copy drives it: counts its paints.
int Paints = 0;
WNDPROC GaugeProc = NULL;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_PAINT) Paints++;
    return CallWindowProcA(GaugeProc, w, m, wp, lp);
}

TEST_F(GaugeWindow, RepaintsOnlyWhenThePictureChanges) {
    GaugeProc = (WNDPROC)SetWindowLongPtrA(gauge, GWLP_WNDPROC, (LONG_PTR)CountingProc);
    SendMessageA(gauge, GaugeSetRange, 0, 1000000);
    struct Step {
        DWORD position;
        bool painted;
    } steps[] = {
        {50000, true},    // 5%, bar to 11
        {50001, false},   // the same figure and bar end
        {54000, false},   // still 5%, still 11 pixels
        {55000, true},    // bar to 12
        {60000, true},    // 6%
        {60000, false},   // the same position again
        {1000000, true},  // full
    };
    for (const Step& s : steps) {
        int before = Paints;
        SendMessageA(gauge, GaugeSetPos, 0, s.position);
        EXPECT_EQ(Paints > before, s.painted) << s.position;
        RECT update;
        EXPECT_FALSE(GetUpdateRect(gauge, &update, FALSE));
    }
    EXPECT_EQ(BarEnd(), 202);
    SetWindowLongPtrA(gauge, GWLP_WNDPROC, (LONG_PTR)GaugeProc);
}

}  // namespace
