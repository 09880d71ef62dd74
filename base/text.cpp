// Texts of the string table, the message boxes and the wait cursor.
#include "base/text.h"

#include <stdarg.h>

#include "base/format.h"
#include "base/seat.h"
#include "sys/sys.h"

const char* LoadMessage(int count, ...) {
    static char buffer[512];
    const unsigned size = sizeof buffer;
    va_list args;
    va_start(args, count);
    unsigned id = count > 0 ? va_arg(args, unsigned) : 0;
    if (count > 0 && id != 0) {
        int used = 0;
        buffer[0] = 0;
        for (int i = 0; i < count && used < (int)size - 1; i++) {
            if (i > 0) id = va_arg(args, unsigned);
            used += SysLoadString(id, buffer + used, (int)size - used);
        }
    }
    va_end(args);
    return buffer;
}

MessageT Message(unsigned first, unsigned second, unsigned third) {
    int count = third ? 3 : second ? 2 : 1;
    return MessageT{first, LoadMessage(count, first, second, third)};
}

const char* LoadCaption(unsigned id) {
    static char buffer[50];
    SysLoadString(id, buffer, sizeof buffer);
    return buffer;
}

static int Box(int kind, const MessageT& message, va_list args) {
    char text[512];
    if (FormatV(text, sizeof text, message.text, args) < 0) return 0;
    return Seat.ask(kind, message.id, text);
}

int AskRetryCancel(MessageT message, ...) {
    va_list args;
    va_start(args, message);
    int r = Box(SYS_BOX_RETRYCANCEL, message, args);
    va_end(args);
    return r == SYS_ID_RETRY;
}

int AskYesNo(MessageT message, ...) {
    va_list args;
    va_start(args, message);
    int r = Box(SYS_BOX_YESNO, message, args);
    va_end(args);
    return r == SYS_ID_YES;
}

int AskYesNoDefaultNo(MessageT message, ...) {
    va_list args;
    va_start(args, message);
    int r = Box(SYS_BOX_YESNO_DEFNO, message, args);
    va_end(args);
    return r == SYS_ID_YES;
}

int AskNoticeYesNo(MessageT message, ...) {
    va_list args;
    va_start(args, message);
    int r = Box(SYS_BOX_NOTICE_YESNO, message, args);
    va_end(args);
    return r == SYS_ID_YES;
}

void ShowBusyCursor(int busy) { SysShowBusy(busy); }

int ShowError(MessageT message, ...) {
    va_list args;
    va_start(args, message);
    int r = Box(SYS_BOX_ERROR, message, args);
    va_end(args);
    return r;
}
