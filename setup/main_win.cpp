// The program's entry: hands the instance and the command line to SetupMain. The image has
// no C runtime start-up of its own (it needs no constructors, threads, arguments or exit
// handlers, and the system's C runtime library sets itself up when it is loaded), so this
// is where the process starts and ends.
#include <windows.h>
#include "base/answers.h"
#include "setup/entry.h"
#include "setup/options.h"

extern "C" void __stdcall SetupStart(void) {
    // SetupMain's own result is 0 on every way out; the run's outcome is the exit code.
    SetupMain(GetModuleHandleA(NULL), CommandTail(GetCommandLineA()));
    ExitProcess((UINT)SetupExitCode);
}
