// The install driver: the wizard's order of steps from the earlier-installation search to
// the install step, and the decisions it takes on the way (which drive, which folder, which
// welcome dialog, how large a graphics cache still fits).
#pragma once
#include <stdint.h>

// Drive tried by ChooseDestination; 0 = every fixed drive.
extern int32_t DriveIndex;
// Room the database merge works in, added where the estimate asks for headroom.
enum : uint32_t { MERGE_HEADROOM = 5242880 };

// Removes trailing spaces in place; an empty text stays empty.
void TrimTrailingBlanks(char* text);
// From drive start up to Z: (fixed drives only when start is 0; only drive start otherwise)
// the first with room; DestDir becomes DefaultDestDir on that drive, with a letter
// appended while the folder exists. 1 when DestDir was set.
int ChooseDestination(int start);
// Bytes the install needs with these two folders: the package, the earlier installation's
// databases and organizer files, and the merge headroom when asked for and a merge list is
// named. Clamped to 32 bits.
uint32_t InstallSpaceNeeded(const char* previousDir, const char* destDir, int withHeadroom);
// The welcome template: 223 (with the graphics cache choice) when there is something to
// merge and 10 MB to spare beyond what the install needs, else 201.
int WelcomeTemplate(uint32_t neededBytes, uint32_t freeMegabytes, int mergeListNamed);
// The cache choice lowered to what still fits after the folders changed (m: megabytes the
// install needs).
uint16_t LowerCacheChoice(uint16_t choice, uint32_t m, uint32_t freeMegabytes);
// The next diskette's command: the folder of InstallFile, its program, " -R " when a restart
// is pending, " -P " and DestDir. 0 when it does not fit in size bytes.
int NextDiskCommand(char* out, unsigned size);

#ifdef _WIN32
#include <windows.h>
// The wizard; its result is not used.
int InstallDriver(void);
int ShowDirectories(void);
int CheckRootDirectory(const char* path);
int RunInstall(void);
#endif
