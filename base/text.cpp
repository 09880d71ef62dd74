// Texts of the string table, the message-box kinds and the wait cursor.
#include "base/text.h"

#include <stdarg.h>
#include <string.h>

#include "base/answers.h"
#include "base/format.h"
#include "sys/sys.h"

// LoadMessage's text, and the first string it was made of: a message box shown with this
// text as its format is known to the unattended run by that string.
static char messageBuffer[512];
static unsigned messageFirstId;

const char* LoadMessage(int count, ...) {
    char* buffer = messageBuffer;
    const unsigned size = sizeof messageBuffer;
    va_list args;
    va_start(args, count);
    unsigned id = count > 0 ? va_arg(args, unsigned) : 0;
    if (count > 0 && id != 0) {
        messageFirstId = id;
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

const char* LoadCaption(unsigned id) {
    static char buffer[50];
    SysLoadString(id, buffer, sizeof buffer);
    return buffer;
}

static int Box(int kind, const char* format, va_list args) {
    char text[512];
    if (FormatV(text, sizeof text, format, args) < 0) return 0;
    if (UnattendedMode) {
        int answer = AnswerBox(kind, format == messageBuffer ? messageFirstId : 0, text);
        if (answer != ANSWER_ASK_USER) return answer;
    }
    char caption[50];
    strcpy(caption, LoadCaption(kind == SYS_BOX_NOTICE_YESNO ? IDS_PRODUCT : IDS_CAPTION));
    return SysMessageBox(kind, text, caption);
}

int AskRetryCancel(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = Box(SYS_BOX_RETRYCANCEL, format, args);
    va_end(args);
    return r == SYS_ID_RETRY;
}

int AskYesNo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = Box(SYS_BOX_YESNO, format, args);
    va_end(args);
    return r == SYS_ID_YES;
}

int AskYesNoDefaultNo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = Box(SYS_BOX_YESNO_DEFNO, format, args);
    va_end(args);
    return r == SYS_ID_YES;
}

int AskNoticeYesNo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = Box(SYS_BOX_NOTICE_YESNO, format, args);
    va_end(args);
    return r == SYS_ID_YES;
}

void ShowBusyCursor(int busy) { SysShowBusy(busy); }

int ShowError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = Box(SYS_BOX_ERROR, format, args);
    va_end(args);
    return r;
}
