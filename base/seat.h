// The user's side of the run. Every question, dialog and progress display of the setup goes
// through the one seat in use, so the code that asks never knows who answers: the user at
// the screen, the answer table of an unattended run (-U) or a test. The seat is chosen and
// filled by the setup (setup/connect.cpp); it sits this low so that every layer can ask.
#pragma once
#include <stdint.h>

struct SeatT {
    // A message box of kind SYS_BOX_* with its text formatted, known by messageId (the first
    // string-table entry of its text, 0 for a text of our own): the button that closed it
    // (SYS_ID_*).
    int (*ask)(int kind, unsigned messageId, const char* text);
    // A modal dialog by template: the id of the button that ended it, -1 when it could not be
    // shown. The edit form takes the folder field in and out (text: at least 256 bytes,
    // changed only when the dialog ended with Continue).
    int (*runDialog)(int templateId, const char* extraText);
    int (*runEditDialog)(int templateId, char* text, const char* extraText);
    // Progress: a modeless dialog by template (null when it could not be made), its gauge's
    // range and position, the text of one of its items, and the pump that serves pending
    // messages while the work goes on (0 when the quit message was taken).
    void* (*openProgress)(int templateId);
    void (*closeProgress)(int templateId);
    void (*progressRange)(void* dialog, uint32_t range);
    void (*progressGauge)(void* dialog, uint32_t position);
    void (*progressText)(void* dialog, int item, const char* text);
    int (*pump)(void);
    // 1 when nobody watches the run: windows stay hidden, the printer is the default one and
    // the log is always left behind.
    int unattended;
};
extern SeatT Seat;

// The seat a process starts with: questions through the system's message box, no dialogs
// (each reads as not shown) and progress that goes nowhere. Its ask is also what the other
// seats use to put a question on the screen.
extern const SeatT QuietSeat;
int AskWithSystemBox(int kind, unsigned messageId, const char* text);
