// The install driver's decisions that need no window: the destination drive and folder,
// the space the install needs, the welcome template and the cache choice, and the next
// diskette's command.
#include "setup/driver.h"

#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "install/space.h"
#include "install/state.h"
#include "res/resource.h"

int32_t DriveIndex;

enum { DRIVE_COUNT = 26, FIXED_DRIVE = 3 };

void TrimTrailingBlanks(char* text) {
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = 0;
}

// DestDir on the drive: the default folder with its letter, then with 'A', 'B' ... appended
// while a folder of that name exists. 0 when every letter up to 'Z' is taken.
static int PickFreeFolder(int drive) {
    char* dest = InstallSettings.DestDir;
    // The package's default is written the way a typed folder is, so that "C:\KOV\" gets its
    // letters appended to the name and compares with the earlier folder as the same.
    if (!CanonicalFolder(dest, InstallSettings.DefaultDestDir, sizeof InstallSettings.DestDir))
        CopyText(dest, InstallSettings.DefaultDestDir, sizeof InstallSettings.DestDir);
    if (!dest[0]) return 0;
    dest[0] = (char)('A' + drive);
    size_t base = strlen(dest);
    while (PathExists(dest)) {
        LogPrintf("Path %s exists", dest);
        if (base + 1 >= sizeof InstallSettings.DestDir) {
            LogPrintf("Out of paths");
            return 0;
        }
        char letter = dest[base];
        if (!letter) {
            letter = 'A';
        } else if (letter >= 'Z') {
            LogPrintf("Out of paths");
            return 0;
        } else {
            letter++;
        }
        dest[base] = letter;
        dest[base + 1] = 0;
    }
    LogPrintf("Path %s OK", dest);
    return 1;
}

int ChooseDestination(int start) {
    if (start < 0 || start >= DRIVE_COUNT) return 0;
    for (int i = start; i < DRIVE_COUNT; i++) {
        if (start == 0 && DriveType(i) != FIXED_DRIVE) continue;
        DriveIndex = i;
        if (CheckDiskSpace(i, InstallSettings.PreviousDir, InstallSettings.DestDir, nullptr))
            return PickFreeFolder(i);
        if (start != 0) break;
    }
    return 0;
}

uint32_t InstallSpaceNeeded(const char* previousDir, const char* destDir, int withHeadroom) {
    uint64_t total = PackageSpaceNeeded(InstallState.ClusterSize);
    total += OldDatabaseSpace(InstallState.ClusterSize, previousDir, destDir);
    total += OldOrganizeSpace(InstallState.ClusterSize, previousDir, destDir);
    if (withHeadroom && InstallSettings.MergedFilesA.count) total += MERGE_HEADROOM;
    return total > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)total;
}

int WelcomeTemplate(uint32_t neededBytes, uint32_t freeMegabytes, int mergeListNamed) {
    if (mergeListNamed && (uint64_t)(neededBytes >> 20) + 10 <= freeMegabytes)
        return IDD_WELCOME_CACHE;
    return IDD_WELCOME;
}

uint16_t LowerCacheChoice(uint16_t choice, uint32_t m, uint32_t freeMegabytes) {
    uint64_t need = m;
    if (choice == 2 && need + 20 > freeMegabytes) return need + 10 <= freeMegabytes ? 1 : 0;
    if (choice == 1 && need + 10 > freeMegabytes) return 0;
    return choice;
}

int NextDiskCommand(char* out, unsigned size) {
    const char* program = InstallSettings.NextDiskProgram[0] ? InstallSettings.NextDiskProgram
                                                             : InstallSettings.ContinuationProgram;
    char folder[MAX_PATH_TEXT];
    GetDirPart(folder, InstallFile);
    // The next program reads its options from fixed places: the blanks stay as they are.
    char command[1024];
    Format(command, sizeof command, "%s\\%s%s -P %s", folder, program, RestartWindows ? " -R " : "",
           InstallSettings.DestDir);
    if (strlen(command) + 1 > size || strlen(command) + 1 >= sizeof command) return 0;
    CopyText(out, command, size);
    return 1;
}
