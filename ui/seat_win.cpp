// The seat's progress on the screen: the modeless dialogs of the dialog manager, their gauge
// and their text items, and the pump that serves them while the work goes on.
#include <windows.h>

#include "res/resource.h"
#include "ui/dialogs.h"
#include "ui/gauge.h"

void CloseProgressDialog(int templateId) { CloseModeless(templateId); }

void SetProgressRange(void* dialog, uint32_t range) {
    if (dialog) SendDlgItemMessageA((HWND)dialog, IDC_GAUGE, GaugeSetRange, 0, (LPARAM)range);
}

void SetProgressGauge(void* dialog, uint32_t position) {
    if (dialog) SendDlgItemMessageA((HWND)dialog, IDC_GAUGE, GaugeSetPos, 0, (LPARAM)position);
}

void SetProgressText(void* dialog, int item, const char* text) {
    if (dialog) SetDlgItemTextA((HWND)dialog, item, text);
}

int PumpProgress(void) { return PumpMessages() ? 1 : 0; }
