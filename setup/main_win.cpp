// The program's entry: hands the instance and the command line to SetupMain. The image has
// no C runtime start-up of its own (it needs no threads, arguments or exit handlers, and the
// system's C runtime library sets itself up when it is loaded), so this is where the process
// starts and ends.
#include <windows.h>
#include "setup/entry.h"
#include "setup/answers.h"
#include "setup/options.h"

// The linker's list of constructors of global objects: -1, the constructors, then 0.
extern "C" void (*__CTOR_LIST__[])(void);

extern "C" void __stdcall SetupStart(void) {
    // None today; should a global object with a constructor appear, it is built here, last
    // listed first, as the start-up code would. Destructors would not run: ExitProcess ends.
    int n = 0;
    while (__CTOR_LIST__[n + 1]) n++;
    for (; n >= 1; n--) __CTOR_LIST__[n]();
    // SetupMain's own result is 0 on every way out; the run's outcome is the exit code.
    SetupMain(GetModuleHandleA(NULL), CommandTail(GetCommandLineA()));
    ExitProcess((UINT)SetupExitCode);
}
