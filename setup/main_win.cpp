// The program's entry: hands the instance and the command line to SetupMain. The image has
// no C runtime start-up of its own (it needs no constructors, threads, arguments or exit
// handlers, and the system's C runtime library sets itself up when it is loaded), so this
// is where the process starts and ends.
#include <windows.h>
#include "setup/entry.h"
#include "setup/options.h"

extern "C" void __stdcall SetupStart(void) {
    ExitProcess((UINT)SetupMain(GetModuleHandleA(NULL), CommandTail(GetCommandLineA())));
}
