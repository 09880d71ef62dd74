#include "base/globals.h"

#include <string.h>

uint16_t SetupError;
uint32_t QuitRequested, UserAbort, RestartWindows, ContinuationRun, CrashMode, SessionEnding,
    NextDiskLaunched, OfferWin31Fallback, FallbackInstallerNamed;
uint32_t SkipModem, NoDesktopItems, OfferWin31Choice, WriteVersionFile;
uint32_t SkipModemOption, NoDesktopItemsOption, OfferWin31ChoiceOption;
char InstallFile[MAX_PATH_TEXT];
uint32_t InstallFileGiven, PackageOffsetGiven, PackageOffsetOption;
char ContinuationText[258];
char WindowsDir[FOLDER_TEXT_BYTES];
uint32_t WindowsMajor, WindowsMinor;
int32_t InstalledBrowserBuild;
char CommandLineCopy[512];
InstallSettingsT InstallSettings;
ModemSettingsT ModemSettings;

void ResetBaseState(void) {
    SetupError = 0;
    QuitRequested = UserAbort = RestartWindows = ContinuationRun = CrashMode = SessionEnding = 0;
    NextDiskLaunched = OfferWin31Fallback = FallbackInstallerNamed = 0;
    SkipModem = NoDesktopItems = OfferWin31Choice = WriteVersionFile = 0;
    SkipModemOption = NoDesktopItemsOption = OfferWin31ChoiceOption = 0;
    InstallFile[0] = 0;
    InstallFileGiven = PackageOffsetGiven = PackageOffsetOption = 0;
    ContinuationText[0] = 0;
    WindowsDir[0] = 0;
    WindowsMajor = WindowsMinor = 0;
    InstalledBrowserBuild = 0;
    CommandLineCopy[0] = 0;
    memset(&InstallSettings, 0, sizeof InstallSettings);
    memset(&ModemSettings, 0, sizeof ModemSettings);
}
