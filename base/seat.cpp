// The seat a process starts with, until the setup connects its own.
#include "base/seat.h"

#include "res/strings.h"
#include "sys/sys.h"

int AskWithSystemBox(int kind, unsigned messageId, const char* text) {
    (void)messageId;
    char caption[50];
    SysLoadString(kind == SYS_BOX_NOTICE_YESNO ? IDS_PRODUCT : IDS_CAPTION, caption,
                  sizeof caption);
    return SysMessageBox(kind, text, caption);
}

namespace {

int NoDialog(int, const char*) { return -1; }
int NoEditDialog(int, char*, const char*) { return -1; }
// Not null: the steps that open a progress display take null for a failure to make it.
void* NoProgress(int) { return (void*)1; }
void CloseNothing(int) {}
void GaugeNowhere(void*, uint32_t) {}
void TextNowhere(void*, int, const char*) {}
int PumpNothing(void) { return 1; }

constexpr SeatT kQuiet = {AskWithSystemBox, NoDialog,     NoEditDialog, NoProgress,  CloseNothing,
                          GaugeNowhere,     GaugeNowhere, TextNowhere,  PumpNothing, 0};

}  // namespace

const SeatT QuietSeat = kQuiet;
SeatT Seat = kQuiet;
