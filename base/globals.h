// Run-wide state shared by every subsystem: the fatal error number, the flags that carry
// the user's wish to stop, the command-line options and the install settings.
#pragma once
#include <stdint.h>

// Fatal error number; 0 = none. A step stores its number and returns 0; callers pass the
// failure up without changing it. Use SetFatal so that a deeper number is never replaced.
extern uint16_t SetupError;
inline int SetFatal(uint16_t number) { if (SetupError == 0) SetupError = number; return 0; }

extern uint32_t QuitRequested;     // end the run without (further) installing
extern uint32_t UserAbort;         // the install was cancelled part-way
extern uint32_t RestartWindows;    // restart Windows at the end
extern uint32_t ContinuationRun;   // -P: started by the previous diskette's run
extern uint32_t CrashMode;         // -C: log lines go straight to the disk
extern uint32_t SessionEnding;     // Windows is ending the session
extern uint32_t NextDiskLaunched;  // the next diskette's program was started
extern uint32_t OfferWin31Fallback;

// Options that the install script may also set (see the script reader for precedence).
extern uint32_t SkipModem;         // -M
extern uint32_t NoDesktopItems;    // -D
extern uint32_t OfferWin31Choice;  // -S
extern uint32_t WriteVersionFile;  // -V
// Which of the three options above came from the command line: the script leaves those alone.
extern uint32_t SkipModemOption, NoDesktopItemsOption, OfferWin31ChoiceOption;

extern char InstallFile[260];        // file that holds the package
extern uint32_t InstallFileGiven;    // -X
extern uint32_t PackageOffsetGiven;  // -T
extern uint32_t PackageOffsetOption;
extern char ContinuationText[258];   // -P value, kept, not consulted
extern char WindowsDir[257];
extern uint32_t WindowsMajor, WindowsMinor;
extern int32_t InstalledBrowserBuild;
extern char CommandLineCopy[512];

// The install settings read from the install script, with the two folders the install
// driver decides. The script reader adds its fields here.
struct InstallSettingsT {
    char DestDir[260];       // destination folder; empty until the driver chooses it
    char PreviousDir[260];   // folder of the earlier installation, empty when none
    char Win31FallbackProgram[64];   // offered after a disk-full cancel when not empty
};
extern InstallSettingsT InstallSettings;

// Clears every run-wide value to its start state (used by tests between runs).
void ResetRunState(void);
