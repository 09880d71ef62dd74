// The full-screen frame window: the blue background with the title picture, owner of every
// dialog and message box for the whole run. Creating it also classifies the display,
// builds the palette of 256-colour displays, registers the gauge class and prepares OLE.
#pragma once
#include <windows.h>
#include <stdint.h>

extern HWND FrameWindow;               // null before creation and after destruction
extern uint32_t DisplayDepth;          // 4, 8 or 24
extern uint32_t PaletteMode;           // DisplayDepth is 8: paint through FramePalette
extern HPALETTE FramePalette;          // 32 blues and white, palette mode only
extern COLORREF BlueShades[256];       // blue level -> palette-index colour (palette mode)
extern BITMAPINFOHEADER* TitleBitmap;  // locked bitmap resource 350, null when absent
extern BYTE* TitleMask;                // its pixel bits inverted
extern uint32_t OleInitialized;        // OLE started here, ended by DestroyFrameWindow
extern char FrameClassName[256];

enum { TITLE_SHADOW = 4 };
enum { OLE_MAJOR_BUILD = 23, OLE_MINOR_NO_INIT = 638 };

BOOL CreateFrameWindow(const char* title);
BOOL DestroyFrameWindow(void);
LRESULT CALLBACK FrameWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void DetectDisplayDepth(void);
// The classification behind DetectDisplayDepth, from the screen's bits per pixel, plane
// count and number of colours.
uint32_t ClassifyDisplay(int bitsPixel, int planes, int colours);
// Palette mode: creates FramePalette (32 blues and white) and fills BlueShades from it.
void BuildFramePalette(void);
// Blue level of a gradient row: bright at the top, fading to black at the bottom.
int GradientLevel(int y, int height);
// The OLE part of the frame's creation: check the build, initialise when needed.
BOOL CheckAndInitOle(DWORD buildVersion);

void CenterDialog(HWND owner, HWND window);
BYTE* DibBits(BITMAPINFOHEADER* header);
DWORD DibColorTableSize(const BITMAPINFOHEADER* header);
