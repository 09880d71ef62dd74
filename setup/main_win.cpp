// The program's entry: hands the instance and the command line to SetupMain.
#include <windows.h>
#include "setup/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return SetupMain(instance, commandLine);
}
