// The program's entry: hands the instance and the command line to SetupMain.
#include <windows.h>
#include "base/answers.h"
#include "setup/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // SetupMain's own result is 0 on every way out; the run's outcome is the exit code.
    SetupMain(instance, commandLine);
    return (int)SetupExitCode;
}
