// The end-of-run report of a fatal error: one log line and one message box telling the user
// to restart and call customer service. Portable: it only uses the log and the message boxes.
#include "setup/fatal.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/text.h"

void ReportFatalError(void) {
    if (SetupError == 0) return;
    LogPrintf("Fatal error #%u", (unsigned)SetupError);
    ShowError(Message(IDS_FATAL_ERROR, IDS_FATAL_ADVICE), (unsigned)SetupError);
}
