// Fatal errors: the number lives in SetupError (base/globals.h); it is reported once, at
// the end of the run, after the frame window is gone. The log is flushed afterwards, and
// with SetupError set it goes to the root of the first fixed drive.
#pragma once
void ReportFatalError(void);
