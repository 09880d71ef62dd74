// The wizard: 16-colour warning, earlier-installation search, quick reference guide, a
// destination with room, the modem, the welcome dialog with its optional review of both
// folders, and the install step itself. Every way out either installs or sets
// QuitRequested; the closing phase follows either way.
#include "setup/driver.h"

#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "desktop/desktop.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/rollback.h"
#include "install/space.h"
#include "install/sysfiles.h"
#include "install/state.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "modem/modem.h"
#include "record/installrec.h"
#include "res/resource.h"
#include "setup/answers.h"
#include "ui/dialogs.h"
#include "ui/drives.h"
#include "ui/frame.h"

enum { DRIVE_COUNT = 26, ROOT_LIMIT_OLD = 500, ROOT_LIMIT = 400, RUNTIME_ACCESS_DENIED = 13 };

static void LogModem(void) {
    LogPrintf("Prof = %s, si = %u, port = COM%u", ModemSettings.profile,
              (unsigned)ModemSettings.speedIndex, (unsigned)ModemSettings.port);
}

// Dialog 229 until it ends with something other than Cancel, or the user quits.
static int OfferQuickReference(void) {
    for (;;) {
        if (Seat.runDialog(IDD_QUICKREF, nullptr) != ID_CANCEL) return 1;
        if (ConfirmQuit(NULL)) return 0;
    }
}

// No drive had room: 231, and 232 from there. 1 to look again, 0 when the user gave up.
static int AskForRoom(void) {
    SpaceNeeded = InstallSpaceNeeded(InstallSettings.PreviousDir, InstallSettings.DestDir, 1);
    int answer = Seat.runDialog(IDD_DISKSPACE, nullptr);
    if (answer == ID_QUIT) return 0;
    if (answer != ID_DRIVES) return 1;
    int drive = Seat.runDialog(IDD_DRIVES, nullptr);
    if (drive == ID_QUIT) return 0;
    if (drive >= 0 && drive < DRIVE_COUNT) {
        DriveIndex = drive;
        LogPrintf("User chose drive %c:", 'A' + drive);
    } else if (drive == -1) {
        // Nothing was selected in the list (it was refilled meanwhile): no drive to try.
        LogPrintf("No drive selected");
    }
    return 1;
}

int CheckRootDirectory(const char* path) {
    const char* first = FindCharMb(path, '\\');
    if (first && FindCharMb(first + 1, '\\')) return 1;

    char pattern[8];
    if (path[0] && path[1] == ':') Format(pattern, sizeof pattern, "%c:\\*.*", path[0]);
    else CopyText(pattern, "\\*.*", sizeof pattern);
    unsigned entries = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do entries++;
        while (FindNextFileA(search, &found));
        FindClose(search);
    }

    int existed = PathExists(path);
    SetLastError(0);
    int made = MakePath(path);
    DWORD error = GetLastError();
    if (made && !existed) RecordFolder(path);
    unsigned limit = WindowsMajor == 3 && WindowsMinor <= 11 ? ROOT_LIMIT_OLD : ROOT_LIMIT;
    // The system says only "access denied" when a root directory has no free entry left.
    if (!made && (error == ERROR_ACCESS_DENIED || error == RUNTIME_ACCESS_DENIED) &&
        entries >= limit) {
        LogPrintf("Root directory full: %u entries", entries);
        ShowError(Message(IDS_ROOT_FULL, IDS_ROOT_FULL_ADVICE));
        return 0;
    }
    return 1;
}

// First half of the review: the earlier installation's folder. 1 with it in previous (may
// be empty: no migration), 0 when the user cancelled.
static int ReviewPreviousFolder(char* previous) {
    for (;;) {
        int templateId = previous[0] ? IDD_PREVDIR_FOUND : IDD_PREVDIR_NONE;
        int answer = Seat.runEditDialog(templateId, previous, nullptr);
        if (answer == ID_CANCEL) return 0;
        if (answer == ID_RESTORE) {
            CopyText(previous, InstallSettings.PreviousDir, FOLDER_TEXT_BYTES);
            continue;
        }
        TrimTrailingBlanks(previous);
        if (!previous[0]) return 1;
        ModemSettingsT settings = ModemSettings;
        // Written one way from here on, so that every comparison with the destination holds.
        if (CanonicalFolder(previous, previous, FOLDER_TEXT_BYTES) && PathExists(previous) &&
            CheckCandidateFolder(previous, &settings)) {
            ModemSettings = settings;
            return 1;
        }
        ShowError(Message(IDS_DIR_NOT_CLIENT));
    }
}

// Second half: the destination folder, checked for validity, use, room and the root.
static int ReviewDestFolder(const char* previous, char* dest) {
    for (;;) {
        int templateId = previous[0] ? IDD_DESTDIR_MIGRATE : IDD_DESTDIR;
        int answer = Seat.runEditDialog(templateId, dest, nullptr);
        if (answer == ID_CANCEL) return 0;
        if (answer == ID_RESTORE) {
            CopyText(dest, InstallSettings.DestDir, FOLDER_TEXT_BYTES);
            continue;
        }
        TrimTrailingBlanks(dest);
        if (!CanonicalFolder(dest, dest, FOLDER_TEXT_BYTES)) {
            ShowError(Message(IDS_DIR_INVALID));
            continue;
        }
        if (PathExists(dest) && !CheckCandidateFolder(dest, nullptr)) {
            ShowError(Message(IDS_DIR_IN_USE));
            continue;
        }
        int drive = (UpperName((unsigned char)dest[0]) - 'A');
        if (CheckDiskSpace(drive, previous, dest, nullptr)) {
            if (CheckRootDirectory(dest)) return 1;
            continue;
        }
        uint32_t needed = InstallSpaceNeeded(previous, dest, 1);
        ShowError(Message(IDS_SPACE_NEEDED, IDS_SPACE_FREE, IDS_SPACE_OTHER_DRIVE),
                  (unsigned long)needed);
    }
}

int ShowDirectories(void) {
    char previous[MAX_PATH_TEXT] = "";
    if (!InstallSettings.NoMigration) {
        CopyText(previous, InstallSettings.PreviousDir, FOLDER_TEXT_BYTES);
        if (!ReviewPreviousFolder(previous)) return 0;
    }
    char dest[MAX_PATH_TEXT] = "";
    CopyText(dest, InstallSettings.DestDir, FOLDER_TEXT_BYTES);
    if (!ReviewDestFolder(previous, dest)) return 0;

    OfferWin31Fallback = 0;
    uint32_t m = InstallSpaceNeeded(previous, dest, 0) >> 20;
    if (InstallSettings.MergedFilesA.count) {
        uint16_t lowered = LowerCacheChoice(CacheChoice, m, InstallState.FreeMegabytes);
        if (lowered != CacheChoice) LogPrintf("Cache choice lowered to %u", (unsigned)lowered);
        CacheChoice = lowered;
    }
    CopyText(InstallSettings.PreviousDir, previous, sizeof InstallSettings.PreviousDir);
    LogPrintf("Old path changed: %s", InstallSettings.PreviousDir);
    CopyText(InstallSettings.DestDir, dest, sizeof InstallSettings.DestDir);
    LogPrintf("Dest path changed: %s", InstallSettings.DestDir);
    return 1;
}

// The install step up to the install record; RunInstall commits it.
static int RunInstallSteps(void) {
    OpenRestsysBatch();
    if (!InstallFiles()) return 0;
    // The library's file is among those the clean-up and the obsolete list delete, and a
    // loaded library's file cannot be deleted: no extraction is left to do by now.
    if (!MigrateInstallation()) {
        FreeDecompressor();
        // An in-place install gets the user's database and renamed files back, or the next
        // run would not find the installation.
        RestorePreviousInstall();
        CleanUpInstall();
        return 0;
    }
    FreeDecompressor();
    DeleteObsoleteFiles();

    char program[MAX_PATH_TEXT];
    DestPath(program, InstallSettings.ClientExeName);
    if (NoDesktopItems != 1) {
        CreateProgramGroup(InstallSettings.GroupName, ClientItemTitle(), program);
        // Without a Programs folder there is no Start menu to mark the install in either.
        if (!CreateProgramsShortcut()) {
            FinishInstallRecord();
            return 1;
        }
    }
    NoteProfileValue("WKOV", "Installed");
    WriteProfileStringA("WKOV", "Installed", "int");
    LogPrintf("Profile mark written");
    FinishInstallRecord();
    return 1;
}

int RunInstall(void) {
    if (!RunInstallSteps()) return 0;
    // Only once the last change of the step is made do the earlier files go.
    CommitInstall();
    return 1;
}

int InstallDriver(void) {
    // A run ended in the middle of an update left a journal: the earlier installation is put
    // back (or the update's commit finished) before anything looks for it.
    RecoverInterruptedInstall();
    if (DisplayDepth == 4) {
        LogPrintf("16-colour display");
        if (Seat.runDialog(IDD_COLOURS16, nullptr) == ID_QUIT) {
            LogPrintf("User quit at the 16-colour warning");
            QuitRequested = 1;
            return 0;
        }
    }

    if (InstallSettings.SkipPreviousSearch) {
        InstallSettings.PreviousDir[0] = 0;
    } else if (PreviousVersionSearch(InstallSettings.PreviousDir, &ModemSettings)) {
        LogModem();
    }
    if (QuitRequested) return 0;

    if (InstallSettings.QuickRefFile[0] && !OfferQuickReference()) return 0;

    if (InstallState.ClusterSize == 0) InstallState.ClusterSize = DEFAULT_CLUSTER_SIZE;
    DriveIndex = 0;
    while (!ChooseDestination(DriveIndex)) {
        if (!AskForRoom()) {
            LogPrintf("User gave up: no drive with room");
            QuitRequested = 1;
            if (InstallSettings.Win31FallbackProgram[0]) OfferWin31Fallback = 1;
            return 0;
        }
    }

    if (!InstallSettings.PreviousDir[0]) {
        SetModemDefaults(&ModemSettings);
        // An answer file that names the port leaves nothing to detect.
        if (!AnsweredModem(&ModemSettings)) {
            if (SkipModem) LogPrintf("Using modem defaults");
            else DetectModem(&ModemSettings);
        }
        LogModem();
    } else {
        NoteModemKept();
    }
    if (QuitRequested) return 0;

    CacheChoice = 0;
    uint32_t needed = InstallSpaceNeeded(InstallSettings.PreviousDir, InstallSettings.DestDir, 0);
    RequiredMegabytes = needed >> 20;
    FreeMegabytes = InstallState.FreeMegabytes;
    int welcome = WelcomeTemplate(needed, InstallState.FreeMegabytes,
                                  InstallSettings.MergedFilesA.count != 0);
    LogPrintf("Welcome dialog %d", welcome);
    for (;;) {
        int answer = Seat.runDialog(welcome, nullptr);
        if (answer == ID_INSTALL) {
            if (CheckRootDirectory(InstallSettings.DestDir)) return RunInstall();
        } else if (answer == ID_SHOWDIRS) {
            if (ShowDirectories()) return RunInstall();
        } else if (ConfirmQuit(NULL)) {
            return 0;
        }
    }
}
