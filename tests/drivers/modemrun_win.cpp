// Runs the modem search as the install driver does: the frame up, the modem record filled
// with the driver's defaults, then DetectModem. Every line goes at once to C:\setup.log
// (crash mode), so a run that hangs still shows how far it got. The exit code is the
// search's result.
//   modemrun.exe
#include <windows.h>
#include "base/globals.h"
#include "base/log.h"
#include "modem/modem.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

static const char FrameTitle[] = "Configuration de KOV 3.0i avec IE 4.0";

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ResetRunState();
    CrashMode = 1;
    if (!CreateFrameWindow(FrameTitle)) return -1;
    PumpMessages();

    // The driver's defaults for a first installation.
    SetModemDefaults(&ModemSettings);

    int found = DetectModem(&ModemSettings);
    LogPrintf("Prof = %s, si = %u, port = COM%u", ModemSettings.profile,
              (unsigned)ModemSettings.speedIndex, (unsigned)ModemSettings.port);
    LogPrintf("Modem search result %d, description \"%s\", quit %u", found,
              ModemSettings.description, (unsigned)QuitRequested);
    DestroyFrameWindow();
    LogFlush();
    return found;
}
