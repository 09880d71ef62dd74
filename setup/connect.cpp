// Connections between the subsystems: the seat the run answers through, and the hooks of the
// subsystems of one layer, which may not include each other. Each is set here, above them,
// by ConnectRun, which the entry and ResetRunState call.
#include "setup/connect.h"

#include "base/seat.h"
#include "install/destination.h"
#include "migrate/platform.h"
#include "migrate/transfer.h"
#include "setup/answers.h"
#ifdef _WIN32
#include "desktop/desktop.h"
#include "install/install.h"
#include "migrate/platform_win.h"
#include "modem/modem.h"
#include "res/resource.h"
#include "ui/dialogs.h"
#endif

namespace {

#ifdef _WIN32
// The progress dialogs whose procedure lives with the step that shows them; every other one
// (the migration's) takes no clicks.
const struct {
    int templateId;
    DLGPROC proc;
} kProgressProcs[] = {
    {IDD_COPY, CopyCancelDlgProc},
    {IDD_COPY_CONTINUED, CopyCancelDlgProc},
    {IDD_PREVSEARCH, PrevSearchDlgProc},
    {IDD_MODEMSEARCH, ModemSearchDlgProc},
};

void* OpenProgressDialog(int templateId) {
    DLGPROC proc = MigrateProgressDlgProc;
    for (const auto& p : kProgressProcs)
        if (p.templateId == templateId) proc = p.proc;
    return OpenModeless(templateId, proc);
}

// The seat on the screen: the system's message box, the dialog manager and the gauge.
const SeatT kScreenSeat = {
    AskWithSystemBox, RunModalDialog,   RunEditDialog,   OpenProgressDialog, CloseProgressDialog,
    SetProgressRange, SetProgressGauge, SetProgressText, PumpProgress,       0,
};
// Nobody there: the answer table answers, and the windows it still makes stay hidden.
const SeatT kUnattendedSeat = {
    AnswerBoxOrAsk,   AnsweredDialog,   AnsweredEditDialog, OpenProgressDialog, CloseProgressDialog,
    SetProgressRange, SetProgressGauge, SetProgressText,    PumpProgress,       1,
};

// A fresh install whose modem is not known yet asks the modem detection; the migration of a
// Windows 95 installation ends with the shortcut choice, whose result says nothing more.
void ShortcutChoice(void) { RunShortcutDialog(); }
void AnsweredShortcut(void) { AnsweredShortcutChoice(); }
#else
// Natively there is no screen: questions go to the system seam's stand-in, which tests
// script, and the dialogs read as not shown.
SeatT UnattendedSeat(void) {
    SeatT seat = QuietSeat;
    seat.ask = AnswerBoxOrAsk;
    seat.unattended = 1;
    return seat;
}
#endif

}  // namespace

void ConnectRun(int unattended) {
#ifdef _WIN32
    Seat = unattended ? kUnattendedSeat : kScreenSeat;
    MigratePlatform.detectModem = DetectModem;
    MigratePlatform.shortcutDialog = unattended ? AnsweredShortcut : ShortcutChoice;
#else
    Seat = unattended ? UnattendedSeat() : QuietSeat;
#endif
    // The in-place install renames the preserved files with the migration's folder transfer.
    TransferFoldersHook = TransferFolders;
    UndoTransferRenamesHook = UndoTransferRenames;
}
