// Dialogs 231 and 232: what the installation needs when no drive has room, and the list of
// the machine's drives with their type and free space for the user to pick another one.
#include "ui/drives.h"

#include <winnetwk.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "res/resource.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

uint32_t SpaceNeeded;

static const char kShownProp[] = "KovDrivesShown";

enum { DRIVE_COUNT = 26, NETWORK_NAME_SHOWN = 20, DEFAULT_CLUSTER = 8192 };
// Tab stops of the list and its header, in dialog units: network name, type, free space.
enum { TAB_NETWORK = 17, TAB_TYPE = 120, TAB_FREE = 180, TAB_COUNT = 3 };
enum { KIND_UNKNOWN = 0, KIND_REMOVABLE = 2, KIND_FIXED = 3, KIND_REMOTE = 4, KIND_CDROM = 5 };

// Free kilobytes of a drive; 0 when its free space cannot be read. The bytes are clamped to
// 32 bits before the shift, as every byte count of the install is: a large disk lists as
// 4,194,303 KB rather than as whatever its wrapped product happens to be.
static int DriveFreeKilobytes(int index, uint32_t* kilobytes) {
    char root[4] = {(char)('A' + index), ':', '\\', 0};
    DWORD sectors, bytes, freeClusters, total;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &total)) return 0;
    uint64_t cluster = (uint64_t)sectors * bytes;
    if (cluster == 0) cluster = DEFAULT_CLUSTER;
    uint64_t freeBytes = cluster * freeClusters;
    if (freeBytes > 0xFFFFFFFFull) freeBytes = 0xFFFFFFFFull;
    *kilobytes = (uint32_t)(freeBytes >> 10);
    return 1;
}

// Drives that are never offered: unknown type, CD-ROM, and a network share of a CD-ROM.
static int IsOfferedKind(int index, int kind) {
    if (kind == KIND_UNKNOWN || kind == KIND_CDROM) return 0;
    if (kind == KIND_REMOTE && IsCdRomDrive(index)) return 0;
    return 1;
}

int CountUsableDrives(void) {
    // An empty floppy or a missing medium must not raise the system's own box.
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    int count = 0;
    for (int i = 0; i < DRIVE_COUNT; i++) {
        uint32_t kilobytes;
        if (IsOfferedKind(i, DriveType(i)) && DriveFreeKilobytes(i, &kilobytes)) count++;
    }
    SetErrorMode(previous);
    return count;
}

void FillDriveList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_DRIVELIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    for (int i = 0; i < DRIVE_COUNT; i++) {
        int kind = DriveType(i);
        if (!IsOfferedKind(i, kind)) continue;
        char network[NETWORK_NAME_SHOWN + 4] = "";
        char typeText[64] = "";
        if (kind == KIND_REMOTE) {
            CopyText(typeText, LoadCaption(IDS_DRIVE_NETWORK), sizeof typeText);
            char local[3] = {(char)('A' + i), ':', 0};
            char remote[FOLDER_TEXT_BYTES] = "";
            DWORD size = sizeof remote;
            if (WNetGetConnectionA(local, remote, &size) == NO_ERROR) {
                remote[sizeof remote - 1] = 0;
                if (lstrlenA(remote) > NETWORK_NAME_SHOWN) {
                    lstrcpynA(network, remote, NETWORK_NAME_SHOWN + 1);
                    AppendText(network, "...", sizeof network);
                } else {
                    CopyText(network, remote, sizeof network);
                }
            }
        } else if (kind == KIND_FIXED) {
            CopyText(typeText, LoadCaption(IDS_DRIVE_LOCAL), sizeof typeText);
        } else if (kind == KIND_REMOVABLE) {
            CopyText(typeText, LoadCaption(IDS_DRIVE_REMOVABLE), sizeof typeText);
        }
        uint32_t kilobytes;
        if (!DriveFreeKilobytes(i, &kilobytes)) continue;
        char free[32];
        FormatThousands(free, sizeof free, kilobytes, 0);
        char line[160];
        Format(line, sizeof line, "%c:\t%s\t%s\t%s", 'A' + i, network, typeText, free);
        LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line);
        if (at >= 0) SendMessageA(list, LB_SETITEMDATA, (WPARAM)at, (LPARAM)i);
    }
    SetErrorMode(previous);
}

INT_PTR CALLBACK DiskSpaceDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        char text[512];
        Format(text, sizeof text, LoadMessage(1, IDS_SPACE_SHORT), (unsigned long)SpaceNeeded);
        SetDlgItemTextA(dialog, IDC_SPACE_NEEDED, text);
        SetDlgItemTextA(dialog, IDC_SPACE_HOWTO, LoadMessage(1, IDS_SPACE_FREE_RETRY));
        if (CountUsableDrives() == 1) {
            ShowWindow(GetDlgItem(dialog, ID_DRIVES), SW_HIDE);
            SetDlgItemTextA(dialog, IDC_SPACE_NEXT, LoadMessage(1, IDS_SPACE_CANCEL));
        } else {
            ShowWindow(GetDlgItem(dialog, ID_DRIVES), SW_SHOW);
            SetDlgItemTextA(dialog, IDC_SPACE_NEXT, LoadMessage(1, IDS_CHOOSE_DRIVE));
        }
        CenterDialog(FrameWindow, dialog);
        return TRUE;
    }
    return EndOnButtons(dialog, message, wParam);
}

INT_PTR CALLBACK DrivesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetDlgItemTextA(dialog, IDC_SPACE_NEEDED, LoadMessage(1, IDS_CHOOSE_DRIVE));
        CenterDialog(FrameWindow, dialog);
        INT stops[TAB_COUNT] = {TAB_NETWORK, TAB_TYPE, TAB_FREE};
        SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_SETTABSTOPS, TAB_COUNT, (LPARAM)stops);
        SendDlgItemMessageA(dialog, IDC_DRIVEHEADER, EM_SETTABSTOPS, TAB_COUNT, (LPARAM)stops);
        SetDlgItemTextA(dialog, IDC_DRIVEHEADER, LoadCaption(IDS_DRIVE_HEADER));
        FillDriveList(dialog);
        SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_SETCURSEL, 0, 0);
        return TRUE;
    }
    case WM_ACTIVATE:
        // Back from another program (freeing space, say): the figures may have changed. The
        // first activation is the dialog showing: its list is fresh, and its selection stays.
        if (LOWORD(wParam) != WA_INACTIVE) {
            if (GetPropA(dialog, kShownProp)) FillDriveList(dialog);
            else SetPropA(dialog, kShownProp, (HANDLE)1);
        }
        return FALSE;
    case WM_DESTROY: RemovePropA(dialog, kShownProp); return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_SELECT || HIWORD(wParam) == LBN_DBLCLK) {
            LRESULT at = SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_GETCURSEL, 0, 0);
            LRESULT drive = at == LB_ERR
                                ? -1
                                : SendDlgItemMessageA(dialog, IDC_DRIVELIST, LB_GETITEMDATA, at, 0);
            EndDialog(dialog, drive);
            return TRUE;
        }
        if (IsEndId(wParam)) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            EndDialog(dialog, ID_QUIT);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
