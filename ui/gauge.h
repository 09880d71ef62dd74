// The progress bar of the copy and migration dialogs: window class "_KOVSETUP_Gauge",
// a framed bar filled from the left with the percentage centred on it.
#pragma once
#include <windows.h>

enum {
    GaugeSetPos = WM_USER,       // lParam = position; repaints at once
    GaugeSetRange = WM_USER + 1  // lParam = position of a full bar; no repaint
};
enum { GAUGE_EXTRA_BYTES = 8, GAUGE_POS_SLOT = 0, GAUGE_RANGE_SLOT = 4 };

extern char GaugeClassName[256];

LRESULT CALLBACK GaugeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Extent of the first count characters: height in the high word, width in the low word.
DWORD MeasureText(HDC dc, const char* text, int count);

// What a gauge with range R and position P shows: the four characters of the text and the
// split point for an inner rectangle whose right edge is right. Painting uses it as is.
void GaugeLayout(DWORD range, DWORD position, int right, char text[5], int* split);
