// Run-wide state shared by every subsystem: the fatal error number, the flags that carry
// the user's wish to stop, the command-line options and the install settings.
#pragma once
#include <stdint.h>

#include "base/path.h"

// The fatal error numbers, the complete table: each is reported to the user by number, so
// none may change. 26 to 28 are not used.
enum FatalError {
    FATAL_NONE = 0,
    FATAL_NO_PACKAGE_OFFSET = 1,    // resource 100 missing, or its offset is 0
    FATAL_NO_OWN_NAME = 2,          // the program's own file name cannot be obtained
    FATAL_PACKAGE_OPEN = 3,         // the package file cannot be opened for reading
    FATAL_SCRIPT_SEEK = 4,          // seek to the package offset failed
    FATAL_SCRIPT_FIELD = 5,         // a text, flag, list or count is short or too long
    FATAL_SCRIPT_RECORD = 6,        // a tool-module record or file-table entry is short or bad
    FATAL_ENTRY_SEEK = 7,           // seek to an entry's stored bytes failed
    FATAL_ENTRY_READ = 8,           // read of an entry's stored bytes came up short
    FATAL_ENTRY_WRITE = 9,          // write of an entry's bytes failed, the user cancelled
    FATAL_NOT_DECOMPRESSOR = 10,    // the package's first entry is not dunzip32.dll
    FATAL_TARGET_CREATE = 11,       // decompressor or temporary copy: target not created
    FATAL_TARGET_CLOSE = 12,        // decompressor or temporary copy: target not closed
    FATAL_DECOMPRESSOR_LOAD = 13,   // the decompression library cannot be loaded
    FATAL_DECOMPRESSOR_ENTRY = 14,  // the library has no entry "dunzip"
    FATAL_GAUGE_CLASS = 15,         // the gauge window class cannot be registered
    FATAL_FRAME_CLASS = 16,         // the frame window class cannot be registered
    FATAL_FRAME_CREATE = 17,        // the frame window cannot be created
    FATAL_SCRIPT_MAGIC = 18,        // the script does not begin with "RS"
    FATAL_FILE_CREATE = 19,         // file installation: a target file cannot be created
    FATAL_FILE_CLOSE = 20,          // file installation: a target file cannot be closed
    FATAL_FILE_SIZE = 21,           // an extracted file's size differs from the entry's
    FATAL_DB_OPEN = 22,             // migration: the new main database cannot be opened
    FATAL_DB_VERSION_WRITE = 23,    // migration: the version record cannot be written back
    FATAL_DB_NO_VERSION = 24,       // migration: no version record while one is to be set
    FATAL_DB_VERSION_TEXT = 25,     // migration: VersionText cannot be stored
    FATAL_DB_RESOURCE_TAG = 29,     // migration: ResourceTag cannot be stored
    FATAL_SYSTEM_FILE = 30,         // file installation: a system file cannot be installed
    FATAL_DB_KIND_CODE = 31,        // script field ExpectedDbKindCode
    FATAL_SKIP_SEARCH = 32,         // script field SkipPreviousSearch
    FATAL_NO_MIGRATION = 33,        // script field NoMigration
    FATAL_DB_KIND = 34,             // script field ExpectedDbKind
    FATAL_DECOMPRESS_BASE = 1000,   // plus the decompression library's failure status
};
// The number of an archive the decompression library failed on with this status.
inline uint16_t FatalDecompressStatus(unsigned status) {
    return (uint16_t)(FATAL_DECOMPRESS_BASE + status);
}

// Fatal error number; 0 = none. A step stores its number and returns 0; callers pass the
// failure up without changing it. Use SetFatal so that a deeper number is never replaced.
extern uint16_t SetupError;
inline int SetFatal(uint16_t number) {
    if (SetupError == 0) SetupError = number;
    return 0;
}

extern uint32_t QuitRequested;     // end the run without (further) installing
extern uint32_t UserAbort;         // the install was cancelled part-way
extern uint32_t RestartWindows;    // restart Windows at the end
extern uint32_t ContinuationRun;   // -P: started by the previous diskette's run
extern uint32_t CrashMode;         // -C: log lines go straight to the disk
extern uint32_t SessionEnding;     // Windows is ending the session
extern uint32_t NextDiskLaunched;  // the next diskette's program was started
extern uint32_t OfferWin31Fallback;
// The install script names a fallback installer (Win31FallbackProgram): set by the script
// reader, read by the write primitive's cancel bookkeeping.
extern uint32_t FallbackInstallerNamed;

// Options that the install script may also set (see the script reader for precedence).
extern uint32_t SkipModem;         // -M
extern uint32_t NoDesktopItems;    // -D
extern uint32_t OfferWin31Choice;  // -S
extern uint32_t WriteVersionFile;  // -V
// Which of the three options above came from the command line: the script leaves those alone.
extern uint32_t SkipModemOption, NoDesktopItemsOption, OfferWin31ChoiceOption;

extern char InstallFile[MAX_PATH_TEXT];  // file that holds the package
extern uint32_t InstallFileGiven;        // -X
extern uint32_t PackageOffsetGiven;      // -T
extern uint32_t PackageOffsetOption;
extern char ContinuationText[258];  // -P value, kept, not consulted
extern char WindowsDir[FOLDER_TEXT_BYTES];
extern uint32_t WindowsMajor, WindowsMinor;
extern int32_t InstalledBrowserBuild;
extern char CommandLineCopy[512];

// A counted list of texts from the install script: one array of count pointers per column
// (columns the list does not have stay null); no arrays at all when count is 0.
struct TextList {
    uint16_t count;
    char** a;  // first column
    char** b;  // second column (two- and three-column lists)
    char** c;  // third column (three-column lists)
};

// A counted table of 16-bit words; versions are stored as two bytes, major then minor, so
// the low byte of a value is the major number.
enum { MAX_SCRIPT_WORDS = 64, MAX_TOOL_MODULES = 20, MAX_ADDON_PROGRAMS = 64 };
struct WordTable {
    uint16_t count;
    uint16_t value[MAX_SCRIPT_WORDS];
};

// Tool modules of the client's TOOL folder. Keys and companions are singly linked lists,
// newest node first, so they run in the reverse of the script's order.
struct ToolKey {
    ToolKey* next;
    uint32_t key;
};
struct ToolCompanion {
    ToolCompanion* next;
    char name[32];
    uint32_t size;  // filled by the disk-space estimate
};
struct ToolModule {
    char name[32];
    uint32_t minVersion;  // packed file version
    uint16_t keyCount;
    uint16_t companionCount;
    ToolKey* keys;
    ToolCompanion* companions;
    uint32_t kept;  // run-time fields, 0 after reading
    uint32_t presentInOld;
    uint32_t oldSize;
};

struct PackageEntry;
// One slot per name of a merge list, filled by the install loop with a copy of the entry.
struct MergedTable {
    uint16_t count;
    PackageEntry** slot;
};

// The install settings read from the install script, with the two folders the install
// driver decides. SkipModem, NoDesktopItems, OfferWin31Choice and WriteVersionFile are the
// run-wide flags above: the script sets them too.
struct InstallSettingsT {
    char DestDir[MAX_PATH_TEXT];      // destination folder; empty until the driver chooses it
    char PreviousDir[MAX_PATH_TEXT];  // folder of the earlier installation, empty when none

    char DefaultDestDir[FOLDER_TEXT_BYTES];
    char GroupName[64];
    char ItemTitle[128];
    char FreshItemTitle[128];
    char ClientExeName[64];
    char FrameTitle[64];
    char VersionText[32];
    char NextDiskProgram[32];
    char NextDiskLabel[32];
    char ContinuationProgram[32];
    char NoContinuationNotice[32];
    char ClientTextA[64];
    char ClientTextB[64];
    char Win31FallbackProgram[64];
    char QuickRefFile[32];
    uint8_t ExpectedDbKind;      // 255 when the script leaves it empty
    int32_t ExpectedDbKindCode;  // -1 when the script leaves it empty
    uint32_t SkipPreviousSearch;
    uint32_t NoMigration;
    uint32_t ClientUpdateMode;
    uint32_t DeferInUseFiles;
    uint32_t AlwaysCopyToTemp;
    uint32_t AskAddOns;
    uint8_t DbVersion[2];  // major, minor
    uint16_t CarriedRecordCount;
    uint32_t* CarriedRecordIds;  // freed by ClosePackage
    TextList SoundEvents;        // a: label, b: sound file
    TextList PreservedFiles;     // a: pattern, b: action ("", "*.old", "move")
    TextList CreateDirs;
    TextList WindowsDirDeletes;
    TextList DestDirDeletes;
    TextList MergedFilesA;
    TextList MergedFilesB;
    MergedTable* MergedTableA;  // null when MergedFilesA is empty
    MergedTable* MergedTableB;
    uint32_t MergedBytesA;  // installed bytes of the entries named on each list
    uint32_t MergedBytesB;
    WordTable ExactNewerVersions;
    WordTable MinimumNewerVersions;
    TextList BrowserInstallers;
    TextList AddOnPrograms;  // a: file, b: arguments, c: description
    uint32_t ExtraSpaceKb;
    int32_t RequiredBrowserBuild;  // 0 disables the browser check
    uint16_t ToolModuleCount;
    ToolModule ToolModules[MAX_TOOL_MODULES];
};
extern InstallSettingsT InstallSettings;

// The modem choice, made by the modem search and carried into the client's settings by the
// migration; its layout (84 bytes) is stored as is.
struct ModemSettingsT {
    int32_t port;        // 1 = COM1 ... 4 = COM4
    int32_t speedIndex;  // row of the search's speed table; the client keeps this number
    char profile[16];    // modem profile file name of the class, e.g. "CLASS33.MDM"
    char description[60];
};
static_assert(sizeof(ModemSettingsT) == 84, "the modem record is 84 bytes");
extern ModemSettingsT ModemSettings;

// Clears every run-wide value of every subsystem to its start state, frees what the package
// reader holds and puts the platform hooks back, so that one run (or test) leaves nothing
// for the next. Defined by setup/reset.cpp, the one place that knows every subsystem.
void ResetRunState(void);
// The part of it that belongs to this folder: the values declared above.
void ResetBaseState(void);
