// Frame window and background.
#include "ui/frame.h"
#include "res/resource.h"
#include "ui/gauge.h"
#include "ui/dialogs.h"
#include "base/seat.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/text.h"
#include "sys/sys.h"
#include "res/resource.h"
#include <ole2.h>
#include <stdlib.h>

HWND FrameWindow = NULL;
uint32_t DisplayDepth = 0;
uint32_t PaletteMode = 0;
HPALETTE FramePalette = NULL;
COLORREF BlueShades[256];
BITMAPINFOHEADER* TitleBitmap = NULL;
BYTE* TitleMask = NULL;
uint32_t OleInitialized = 0;
char FrameClassName[256] = "_KOVSETUP_Frame";

enum { FRAME_PALETTE_SIZE = 33 };

// Bitmaps of more than 8 bits per pixel carry their colours in the pixels and have no
// table; the shift would also be undefined for 32 bits.
DWORD DibColorTableSize(const BITMAPINFOHEADER* header) {
    if (header->biBitCount > 8) return 0;
    return 4u << header->biBitCount;
}

BYTE* DibBits(BITMAPINFOHEADER* header) { return (BYTE*)header + 40 + DibColorTableSize(header); }

uint32_t ClassifyDisplay(int bitsPixel, int planes, int colours) {
    if (bitsPixel * planes > 8 || (unsigned)colours > 256) return 24;
    if (bitsPixel * planes == 8) return 8;
    return 4;
}

void DetectDisplayDepth(void) {
    PaletteMode = 0;
    HDC screen = GetDC(NULL);
    DisplayDepth = ClassifyDisplay(GetDeviceCaps(screen, BITSPIXEL), GetDeviceCaps(screen, PLANES),
                                   GetDeviceCaps(screen, NUMCOLORS));
    ReleaseDC(NULL, screen);
    if (DisplayDepth == 8) PaletteMode = 1;
    LogPrintf("Bits per pixel = %d", (int)DisplayDepth);
}

int GradientLevel(int y, int height) { return 255 - MulDiv(255, y, height); }

// Width of one row of the title bitmap's bits, padded to four bytes as every DIB row is.
static DWORD DibRowBytes(const BITMAPINFOHEADER* header) {
    DWORD bits = (DWORD)(WORD)header->biWidth * header->biBitCount;
    DWORD bytes = bits / 8 + (bits % 8 ? 1 : 0);
    return (bytes + 3) & ~3u;
}

static void LoadTitleBitmap(HINSTANCE instance) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(IDB_TITLE), (LPCSTR)RT_BITMAP);
    HGLOBAL loaded = found ? LoadResource(instance, found) : NULL;
    TitleBitmap = loaded ? (BITMAPINFOHEADER*)LockResource(loaded) : NULL;
    if (!TitleBitmap) return;
    if (TitleMask) MemFree(TitleMask);
    DWORD size = (DWORD)abs(TitleBitmap->biHeight) * DibRowBytes(TitleBitmap);
    TitleMask = (BYTE*)MemAlloc(size);
    const BYTE* bits = DibBits(TitleBitmap);
    for (DWORD i = 0; i < size; i++) TitleMask[i] = (BYTE)~bits[i];
}

void BuildFramePalette(void) {
    struct {
        WORD version, count;
        PALETTEENTRY entry[FRAME_PALETTE_SIZE];
    } pal;
    pal.version = 0x300;
    pal.count = FRAME_PALETTE_SIZE;
    for (int i = 0; i < 32; i++) {
        PALETTEENTRY e = {0, 0, (BYTE)(i * 8), 0};
        pal.entry[i] = e;
    }
    PALETTEENTRY white = {255, 255, 255, 0};
    pal.entry[32] = white;
    FramePalette = CreatePalette((LOGPALETTE*)&pal);
    for (int level = 0; level < 256; level++)
        BlueShades[level] = PALETTEINDEX(GetNearestPaletteIndex(FramePalette, RGB(0, 0, level)));
}

static BOOL RegisterClasses(HINSTANCE instance) {
    WNDCLASSA gauge;
    ZeroMemory(&gauge, sizeof gauge);
    gauge.style = CS_HREDRAW | CS_VREDRAW;
    gauge.lpfnWndProc = GaugeWndProc;
    gauge.cbWndExtra = GAUGE_EXTRA_BYTES;
    gauge.hInstance = instance;
    gauge.hCursor = LoadCursor(NULL, IDC_ARROW);
    gauge.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    gauge.lpszClassName = GaugeClassName;
    if (!RegisterClassA(&gauge)) {
        LogPrintf("Cannot register window class %s", GaugeClassName);
        return SetFatal(FATAL_GAUGE_CLASS);
    }

    WNDCLASSA frame;
    ZeroMemory(&frame, sizeof frame);
    frame.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    frame.lpfnWndProc = FrameWndProc;
    frame.hInstance = instance;
    frame.hCursor = LoadCursor(NULL, IDC_ARROW);
    frame.hbrBackground = CreateSolidBrush(RGB(0, 0, 128));
    frame.lpszClassName = FrameClassName;
    if (!RegisterClassA(&frame)) {
        LogPrintf("Cannot register window class %s", FrameClassName);
        DeleteObject(frame.hbrBackground);
        return SetFatal(FATAL_FRAME_CLASS);
    }
    return TRUE;
}

// Realises the frame's palette in a window context; returns the number of entries that
// changed in the system palette.
static UINT RealizeFramePalette(HWND window, BOOL background) {
    HDC dc = GetDC(window);
    HPALETTE old = SelectPalette(dc, FramePalette, background);
    UINT changed = RealizePalette(dc);
    SelectPalette(dc, old, TRUE);
    ReleaseDC(window, dc);
    return changed;
}

BOOL CheckAndInitOle(DWORD buildVersion) {
    if (HIWORD(buildVersion) != OLE_MAJOR_BUILD) {
        LogPrintf("OLE build %u.%u is not usable", HIWORD(buildVersion), LOWORD(buildVersion));
        char text[512];
        lstrcpynA(text, LoadMessage(1, IDS_OLE_TOO_OLD), sizeof text);
        if (!Seat.unattended)
            MessageBoxA(FrameWindow, text, LoadCaption(IDS_PRODUCT), MB_ICONINFORMATION | MB_OK);
        return FALSE;
    }
    if (LOWORD(buildVersion) <= OLE_MINOR_NO_INIT) return TRUE;
    HRESULT result = OleInitialize(NULL);
    if (result != S_OK && result != S_FALSE) {
        LogPrintf("OLE initialisation failed (0x%lx)", (unsigned long)result);
        return FALSE;
    }
    OleInitialized = 1;
    return TRUE;
}

BOOL CreateFrameWindow(const char* title) {
    HINSTANCE instance = GetModuleHandleA(NULL);
    lstrcpynA(GaugeClassName, "_KOVSETUP_Gauge", sizeof GaugeClassName);
    lstrcpynA(FrameClassName, "_KOVSETUP_Frame", sizeof FrameClassName);
    DetectDisplayDepth();

    // The templates and the icon are only locked here, never used: under Win32 resources
    // need no preloading, this just keeps the lookups in one place at start-up.
    for (int id = 200; id <= 235; id++) {
        HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
        if (found) LockResource(LoadResource(instance, found));
    }
    LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));

    LoadTitleBitmap(instance);
    if (PaletteMode) BuildFramePalette();
    if (!RegisterClasses(instance)) return FALSE;

    // An unattended run keeps its frame hidden: nobody is there to look at it.
    DWORD visible = Seat.unattended ? 0 : WS_VISIBLE;
    FrameWindow =
        CreateWindowExA(0, FrameClassName, title, WS_OVERLAPPEDWINDOW | visible, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
    if (!FrameWindow) {
        LogPrintf("Cannot create the frame window");
        return SetFatal(FATAL_FRAME_CREATE);
    }
    SysSetMessageOwner(FrameWindow);
    if (PaletteMode) RealizeFramePalette(FrameWindow, FALSE);
    if (!Seat.unattended) {
        ShowWindow(FrameWindow, SW_SHOWMAXIMIZED);
        UpdateWindow(FrameWindow);
    }

    return CheckAndInitOle(CoBuildVersion());
}

BOOL DestroyFrameWindow(void) {
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (FrameWindow) {
        SysSetMessageOwner(NULL);
        DestroyWindow(FrameWindow);
        FrameWindow = NULL;
    }
    if (FramePalette) {
        DeleteObject(FramePalette);
        FramePalette = NULL;
    }
    if (OleInitialized) {
        OleUninitialize();
        OleInitialized = 0;
    }
    if (TitleMask) {
        MemFree(TitleMask);
        TitleMask = NULL;
    }
    BOOL gauge = UnregisterClassA(GaugeClassName, instance);
    BOOL frame = UnregisterClassA(FrameClassName, instance);
    return gauge && frame;
}

static void PaintFrame(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    HPALETTE oldPalette = NULL;

    if (DisplayDepth != 4) {
        if (PaletteMode) {
            oldPalette = SelectPalette(dc, FramePalette, TRUE);
            RealizePalette(dc);
        }
        // One pen per distinct level: with 256 levels at most, a tall window reuses the
        // pen for runs of equal rows instead of making one per row.
        HPEN firstPen = NULL, pen = NULL;
        COLORREF last = 0;
        int height = client.bottom;
        for (int y = 0; y < height; y++) {
            int level = GradientLevel(y, height);
            COLORREF colour = PaletteMode ? BlueShades[level] : RGB(0, 0, level);
            if (!pen || colour != last) {
                HPEN next = CreatePen(PS_SOLID, 0, colour);
                HPEN previous = (HPEN)SelectObject(dc, next);
                if (pen) DeleteObject(pen);
                else firstPen = previous;
                pen = next;
                last = colour;
            }
            // A line leaves out its end point: ending at the client width paints every column.
            MoveToEx(dc, 0, y, NULL);
            LineTo(dc, client.right, y);
        }
        if (pen) {
            SelectObject(dc, firstPen);
            DeleteObject(pen);
        }
    }

    if (TitleBitmap) {
        int w = (WORD)TitleBitmap->biWidth, h = abs(TitleBitmap->biHeight);
        const BITMAPINFO* info = (const BITMAPINFO*)TitleBitmap;
        StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, TitleMask, info, DIB_RGB_COLORS, SRCAND);
        StretchDIBits(dc, TITLE_SHADOW, TITLE_SHADOW, w, h, 0, 0, w, h, TitleMask, info,
                      DIB_RGB_COLORS, SRCAND);
        StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, DibBits(TitleBitmap), info, DIB_RGB_COLORS,
                      SRCINVERT);
    }

    if (PaletteMode) SelectPalette(dc, oldPalette, TRUE);
    EndPaint(window, &ps);
}

// What closing the frame means while a progress dialog is open. The user asks to quit, so
// the dialog's own way out is pressed: Quit of the searches, Cancel of the copy. The
// migration must not stop half-way and, between steps, there is nothing to stop: the close
// is then ignored. The first row whose dialog is open decides.
static const struct {
    int templateId;
    int button;  // 0: the close is ignored
} FrameCloseRows[] = {
    {IDD_MIGRATE, 0},
    {IDD_GRAPHICS_REQUESTED, 0},
    {IDD_GRAPHICS, 0},
    {IDD_PREVSEARCH, ID_QUIT},
    {IDD_MODEMSEARCH, ID_QUIT},
    {IDD_COPY, ID_CANCEL},
    {IDD_COPY_CONTINUED, ID_CANCEL},
};

static HWND OpenModelessWindow(int templateId) {
    for (int i = 0; i < MODELESS_SLOTS; i++)
        if (ModelessSlots[i].templateId == templateId) return ModelessSlots[i].window;
    return NULL;
}

// The frame is never destroyed here: it owns every dialog, and only the closing phase of
// the run may take it away.
static void CloseFrameByUser(void) {
    for (const auto& row : FrameCloseRows) {
        HWND dialog = OpenModelessWindow(row.templateId);
        if (!dialog) continue;
        if (!row.button) {
            LogPrintf("Frame close ignored during dialog %d", row.templateId);
            return;
        }
        // Only a button the user could press is pressed on the user's behalf.
        HWND button = GetDlgItem(dialog, row.button);
        if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
            LogPrintf("Frame close ignored: button %d of dialog %d is not available", row.button,
                      row.templateId);
            return;
        }
        LogPrintf("Frame closed by the user: button %d of dialog %d pressed", row.button,
                  row.templateId);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(row.button, BN_CLICKED), (LPARAM)button);
        return;
    }
    LogPrintf("Frame close ignored between steps");
}

LRESULT CALLBACK FrameWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: PaintFrame(window); break;
    case WM_CLOSE: CloseFrameByUser(); return 0;
    case WM_DESTROY:
        // The dialogs the frame owns were destroyed just before it.
        ForgetDestroyedModeless();
        break;
    case WM_NCDESTROY:
        if (window == FrameWindow) FrameWindow = NULL;
        break;
    case WM_QUERYNEWPALETTE:
        if (!FramePalette) return 0;
        if (RealizeFramePalette(window, FALSE)) {
            InvalidateRect(window, NULL, TRUE);
            return 1;
        }
        return 0;
    case WM_PALETTECHANGED:
        if ((HWND)wParam != window && FramePalette) {
            HDC dc = GetDC(window);
            HPALETTE old = SelectPalette(dc, FramePalette, FALSE);
            if (RealizePalette(dc)) InvalidateRect(window, NULL, TRUE);
            SelectPalette(dc, old, TRUE);
            ReleaseDC(window, dc);
        }
        break;
    case WM_QUERYENDSESSION: SessionEnding = 1; return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CenterDialog(HWND owner, HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = rc.left, y = rc.top;
    int refLeft = 0, refTop = 0, refWidth, refHeight;
    RECT ownerRect;
    if (!FrameWindow || !owner || IsIconic(owner) || !GetWindowRect(owner, &ownerRect)) {
        refWidth = GetSystemMetrics(SM_CXSCREEN);
        refHeight = GetSystemMetrics(SM_CYSCREEN);
    } else {
        refLeft = ownerRect.left;
        refTop = ownerRect.top;
        refWidth = ownerRect.right - ownerRect.left;
        refHeight = ownerRect.bottom - ownerRect.top;
    }
    if (refWidth != w) x = refLeft + (refWidth - w) / 2;
    if (refHeight != h) y = refTop + (refHeight - h) / 2;
    MoveWindow(window, x, y, w, h, TRUE);
}
