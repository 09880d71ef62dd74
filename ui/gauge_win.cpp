// Gauge control. Two clipped opaque text outputs and a frame: the filled part shows the
// text white on blue, the rest blue on white, so the figure stays readable as the bar
// passes under it. No off-screen bitmap and no background erase, which keeps it cheap
// enough to repaint after every copied block that changes what it shows.
#include "ui/gauge.h"
#include <stdint.h>

char GaugeClassName[256] = "_KOVSETUP_Gauge";

DWORD MeasureText(HDC dc, const char* text, int count) {
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, text, count, &size);
    return MAKELONG((WORD)size.cx, (WORD)size.cy);
}

void GaugeLayout(DWORD range, DWORD position, int right, char text[5], int* split) {
    if (position > range) position = range;
    // A range of 0 means the position of a full bar is 0, which every position has
    // reached: show it full rather than divide by zero. Products are taken in 64 bits so
    // that a wide bar or a large position cannot wrap around.
    DWORD percent = range ? (DWORD)((uint64_t)position * 100u / range) : 100u;
    WORD r = (WORD)right;
    WORD s = range ? (WORD)((uint64_t)r * position / range + 1) : (WORD)(r + 1);
    wsprintfA(text, "%3d%%", (int)percent);
    *split = (short)s;
}

static void PaintGauge(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    DWORD range = (DWORD)GetWindowLongA(window, GAUGE_RANGE_SLOT);
    DWORD position = (DWORD)GetWindowLongA(window, GAUGE_POS_SLOT);

    RECT inner;
    GetClientRect(window, &inner);
    FrameRect(dc, &inner, (HBRUSH)GetStockObject(BLACK_BRUSH));
    InflateRect(&inner, -1, -1);

    char text[5];
    int split;
    GaugeLayout(range, position, inner.right, text, &split);
    DWORD extent = MeasureText(dc, text, 4);
    int x = (short)((short)inner.right - (short)LOWORD(extent)) / 2;
    int y = (short)((short)inner.bottom - (short)HIWORD(extent)) / 2;

    RECT filled = {inner.left, inner.top, split, inner.bottom};
    RECT rest = {split, inner.top, inner.right, inner.bottom};
    SetBkColor(dc, RGB(0, 0, 255));
    SetTextColor(dc, RGB(255, 255, 255));
    ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &filled, text, 4, NULL);
    // When full, the bar runs one pixel past the inner rectangle and the rest is empty; an
    // inverted rectangle would be normalised by some GDIs and paint over the bar's end.
    if (rest.left < rest.right) {
        SetBkColor(dc, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 255));
        ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &rest, text, 4, NULL);
    }
    EndPaint(window, &ps);
}

// The copy moves the position after every 32 KB block, and a large install moves the bar by
// less than a pixel and the figure by less than a percent each time: the picture depends
// only on the range, the position and the size, so an unchanged picture is not repainted.
static BOOL SamePicture(HWND window, DWORD before, DWORD after) {
    if (before == after) return TRUE;
    RECT inner;
    GetClientRect(window, &inner);
    InflateRect(&inner, -1, -1);
    DWORD range = (DWORD)GetWindowLongA(window, GAUGE_RANGE_SLOT);
    char textBefore[5], textAfter[5];
    int splitBefore, splitAfter;
    GaugeLayout(range, before, inner.right, textBefore, &splitBefore);
    GaugeLayout(range, after, inner.right, textAfter, &splitAfter);
    return splitBefore == splitAfter && lstrcmpA(textBefore, textAfter) == 0;
}

LRESULT CALLBACK GaugeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetWindowLongA(window, GAUGE_RANGE_SLOT, 100);
        SetWindowLongA(window, GAUGE_POS_SLOT, 0);
        return 1;
    case GaugeSetPos: {
        DWORD before = (DWORD)SetWindowLongA(window, GAUGE_POS_SLOT, (LONG)lParam);
        if (SamePicture(window, before, (DWORD)lParam)) return 1;
        InvalidateRect(window, NULL, FALSE);
        UpdateWindow(window);
        return 1;
    }
    case GaugeSetRange: SetWindowLongA(window, GAUGE_RANGE_SLOT, (LONG)lParam); return 1;
    case WM_PAINT: PaintGauge(window); return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
