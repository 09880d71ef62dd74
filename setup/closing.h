// The end of the run: chained programs, the next diskette, the closing notice and the
// restart question, the fatal-error report, the log and the restart or the client.
#pragma once
#include <windows.h>

// Starts path with "path arguments" (arguments may be null), detached, shown with show.
// The process handle, or 0 when it could not be started. Does not wait.
HANDLE RunProgram(const char* path, const char* arguments, int show);
// Waits in 500 ms slices, serving the frame's messages between them, until the process has
// ended or Windows is ending the session. A null handle returns at once. Closes the handle.
void WaitForProgram(HANDLE process);
// Lets the client's network adapter library install its driver; a restart is asked for
// unless the library says none is needed.
void InstallNetworkDriver(void);
// The browser build the registry holds into InstalledBrowserBuild; 1 when it was read.
int ReadBrowserBuild(void);
// The whole closing phase. 0 normally; 1 when Windows is ending the session and the run
// must end at once, without the log.
int ClosingPhase(void);
