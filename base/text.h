// User-visible texts from the string table, the message-box kinds and the wait cursor.
#pragma once
#include "res/strings.h"

// Concatenates count string-table entries into a 512-byte static buffer.
const char* LoadMessage(int count, ...);
// One entry, at most 49 characters, in a 50-byte static buffer.
const char* LoadCaption(unsigned id);

// Each formats its text (wsprintf rules) into 512 bytes, beeps and shows a task-modal box
// owned by the frame window with caption 34304. A text that fails to format shows nothing.
int AskRetryCancel(const char* format, ...);     // true on Retry
int AskYesNo(const char* format, ...);           // true on Yes
int AskYesNoDefaultNo(const char* format, ...);  // true on Yes, No is the default
int ShowError(const char* format, ...);          // the box's result
// A notice question: Yes/No with the information icon and caption 34306, owned by nobody
// (it can come before the frame window exists), no beep. True on Yes.
int AskNoticeYesNo(const char* format, ...);
// The wait cursor during a long search, the arrow again after it.
void ShowBusyCursor(int busy);
