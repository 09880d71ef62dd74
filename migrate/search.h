// The search for an earlier installation of the client: where it registered itself, its
// Windows-profile entry, and at last a walk of every fixed disk. An installation is a folder
// whose "IDB" subfolder holds the client's main database of the expected kind; among those
// whose user list says they are in use, the one whose database was written last wins.
#pragma once
#include <stdint.h>

#include "base/globals.h"

// Record keys read from a candidate's main database.
enum : uint32_t {
    GID_VERSION = 0x14000006u,      // byte 1 major, byte 2 minor
    GID_USER_NAMES = 0x14000010u,   // count byte, then 22-byte entries: name, password
    GID_SPEED_INDEX = 0x14000011u,  // number
    GID_PORT = 0x14000015u,         // number
    GID_MODEM_PROFILE = 0x1400002Du,
    GID_DB_KIND_CODE = 0x14000068u,  // bytes 2-3: 16-bit kind code
    GID_DB_KIND = 0x1400006Du,       // byte 0: kind
};
enum {
    USER_NAME_ENTRY = 22,  // name (11 bytes) and stored password (11 bytes)
    USER_NAME_FIELD = 11,
    MAX_USER_NAMES = 16,
    NO_DB_KIND = 255,
    NO_DB_KIND_CODE = -1,
    // The walk never goes deeper than this below a drive's root; a folder's path must also
    // fit in a path buffer. Both end a walk that a looping link would make endless.
    MAX_SEARCH_DEPTH = 64,
};

// The search's state in one place, put back to the start as a whole by ResetSearchState (part
// of ResetRunState); a search resets its own part of it when it begins.
struct SearchStateT {
    uint32_t SearchAbort = 0;  // Skip, a confirmed Quit, or No to the newer-version question
    uint32_t BestTime = 0;     // DOS date << 16 | DOS time of the best database; 0 = none
    char BestFolder[FOLDER_TEXT_BYTES] = {};
    ModemSettingsT BestSettings = {};
    void* SearchDialog = nullptr;
    // The newer-version question has been asked in this run (never reset by a search).
    uint32_t NewerVersionAsked = 0;
};
extern SearchStateT SearchState;

// 1 when an installation was chosen: its folder in folderOut (FOLDER_TEXT_BYTES bytes,
// emptied first) and its modem settings in settingsOut; either may be null.
int PreviousVersionSearch(char* folderOut, ModemSettingsT* settingsOut);
// 1 when folder holds a main database of the expected kind (whatever its verdict). A yes
// verdict fills settingsOut and may make the folder the best one.
int CheckCandidateFolder(const char* folder, ModemSettingsT* settingsOut);

// Forgets NewerVersionAsked and the search state (tests, between runs).
void ResetSearchState(void);
