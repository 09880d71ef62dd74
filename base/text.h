// User-visible texts from the string table, the message boxes and the wait cursor.
#pragma once
#include "res/strings.h"

// Concatenates count string-table entries into a 512-byte static buffer.
const char* LoadMessage(int count, ...);
// One entry, at most 49 characters, in a 50-byte static buffer.
const char* LoadCaption(unsigned id);

// A text for a message box and the entry it is known by: the first string-table entry it
// was made of, or 0 for a text of our own (which no answer table can foresee).
struct MessageT {
    unsigned id;
    const char* text;
};
// One to three entries of the string table as one text (LoadMessage's buffer), known by the
// first.
MessageT Message(unsigned first, unsigned second = 0, unsigned third = 0);

// Each formats its text (wsprintf rules) into 512 bytes and asks the seat (base/seat.h): on
// the screen, a beep and a task-modal box owned by the frame window with caption 34304. A
// text that fails to format shows nothing.
int AskRetryCancel(MessageT message, ...);     // true on Retry
int AskYesNo(MessageT message, ...);           // true on Yes
int AskYesNoDefaultNo(MessageT message, ...);  // true on Yes, No is the default
int ShowError(MessageT message, ...);          // the box's result
// A notice question: Yes/No with the information icon and caption 34306, owned by nobody
// (it can come before the frame window exists), no beep. True on Yes.
int AskNoticeYesNo(MessageT message, ...);
// The wait cursor during a long search, the arrow again after it.
void ShowBusyCursor(int busy);
