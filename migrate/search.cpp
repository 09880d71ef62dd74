// The search for an earlier installation: registry, Windows profile, then every fixed disk.
#include "migrate/search.h"
#include "migrate/internal.h"

#include <string.h>

#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "migrate/platform.h"
#include "res/resource.h"
#include "res/strings.h"

namespace {

const char CLIENT_KEY[] = "SOFTWARE\\Tavelin Online\\KOV\\CurrentVersion";
const char PROFILE_SECTION[] = "WKOV";
const char APP_PATH[] = "AppPath";

// One level of the walk: the folders it is inside, so that a link back to one of them is
// not followed.
struct FolderTrail {
    const FolderTrail* parent;
    SysFolderKey key;
    int known;  // the system could tell the folder's identity
    int depth;
};

int HoldsMainIndex(const char* folder) {
    char path[MAX_PATH_TEXT];
    if (Format(path, sizeof path, "%s\\idb\\main.idx", folder) >= (int)sizeof path - 1) return 0;
    return FileExists(path);
}

// A registry or profile value naming an installation: shown, then tested like a folder
// found on the disk.
void TryNamedFolder(const char* named) {
    LogPrintf("AppPath = %s", named);
    char folder[MAX_PATH_TEXT];
    if (!CanonicalFolder(folder, named, sizeof folder)) {
        LogPrintf("AppPath is not a folder such as C:\\KOV: not used");
        return;
    }
    Seat.progressText(SearchState.SearchDialog, IDC_STATUS, folder);
    CheckCandidateFolder(folder, nullptr);
}

// The version pairs of the install script keep the major number in the low byte.
int PairMatches(uint16_t pair, unsigned major, unsigned minor, int minimum) {
    unsigned wantMajor = pair & 0xFF, wantMinor = pair >> 8;
    if (major != wantMajor) return 0;
    if (wantMinor == 0) return 1;
    return minimum ? wantMinor <= minor : wantMinor == minor;
}

int IsNewerVersion(unsigned major, unsigned minor) {
    const WordTable& exact = InstallSettings.ExactNewerVersions;
    for (unsigned i = 0; i < exact.count && i < MAX_SCRIPT_WORDS; i++)
        if (PairMatches(exact.value[i], major, minor, 0)) return 1;
    const WordTable& minimum = InstallSettings.MinimumNewerVersions;
    for (unsigned i = 0; i < minimum.count && i < MAX_SCRIPT_WORDS; i++)
        if (PairMatches(minimum.value[i], major, minor, 1)) return 1;
    return 0;
}

// The user list is in use unless it is too long to be the client's or still holds the
// placeholder name. Only entries that lie inside the record are looked at.
int UserListInUse(RecordDb* db) {
    uint16_t length = 0;
    uint8_t* names = (uint8_t*)DbReadRecord(db, GID_USER_NAMES, nullptr, &length);
    if (!names) return 0;
    int verdict = names[0] <= MAX_USER_NAMES;
    char placeholder[USER_NAME_FIELD + 1];
    CopyText(placeholder, LoadCaption(IDS_NEW_MARK), sizeof placeholder);
    size_t compared = strlen(placeholder) + 1;  // the name with its terminator
    for (unsigned i = 0; verdict && i < names[0]; i++) {
        unsigned start = 1 + USER_NAME_ENTRY * i;
        if (start + compared > length) break;
        if (memcmp(names + start, placeholder, compared) == 0) verdict = 0;
    }
    MemFree(names);
    return verdict;
}

int WalkFolder(const char* folder, const char* exeName, const FolderTrail* parent) {
    if (SearchState.SearchAbort) return 0;

    FolderTrail here = {parent, {0, 0}, 0, parent ? parent->depth + 1 : 0};
    here.known = SysFolderIdentity(folder, &here.key);
    for (const FolderTrail* up = parent; here.known && up; up = up->parent) {
        if (up->known && up->key.volume == here.key.volume && up->key.index == here.key.index) {
            LogPrintf("Not searching %s again: it leads back to a folder above it", folder);
            return 1;
        }
    }

    Seat.progressText(SearchState.SearchDialog, IDC_STATUS, folder);
    char path[MAX_PATH_TEXT];
    int found = 0;
    JoinPath(path, folder, exeName, (const char*)nullptr);
    if (FileExists(path)) found = CheckCandidateFolder(folder, nullptr);
    Seat.pump();
    if (found) return 1;  // folders below an installation are not searched

    if (here.depth >= MAX_SEARCH_DEPTH) {
        LogPrintf("Not searching below %s: too deep", folder);
        return 1;
    }
    char pattern[MAX_PATH_TEXT];
    if (!JoinPath(pattern, folder, "*.*", (const char*)nullptr) || strlen(pattern) >= 259) return 1;
    SysFindData entry;
    SysFind find = SysFindFirst(pattern, &entry);
    if (!find) return 1;
    do {
        if (!entry.isDir || entry.name[0] == '.') continue;
        // A path cut to fit the buffer would name another folder: such a folder is left out
        // (the client could not be installed there either).
        char sub[MAX_PATH_TEXT];
        if (strlen(folder) + 1 + strlen(entry.name) + 1 + strlen(exeName) >= sizeof sub) {
            LogPrintf("Not searching %s\\%s: path too long", folder, entry.name);
            continue;
        }
        JoinPath(sub, folder, entry.name, (const char*)nullptr);
        WalkFolder(sub, exeName, &here);
        if (SearchState.SearchAbort) break;
    } while (SysFindNext(find, &entry));
    SysFindClose(find);
    return 1;
}

}  // namespace

SearchStateT SearchState;

void ResetSearchState(void) { SearchState = {}; }

int PreviousVersionSearch(char* folderOut, ModemSettingsT* settingsOut) {
    if (folderOut) folderOut[0] = 0;
    SearchState.SearchDialog = Seat.openProgress(IDD_PREVSEARCH);
    if (!SearchState.SearchDialog) return 0;
    SearchState.SearchAbort = 0;
    SearchState.BestTime = 0;
    SearchState.BestFolder[0] = 0;

    char named[FOLDER_TEXT_BYTES] = "";
    int registryCounted = 0;
    if (MigratePlatform.registryGet(MIGRATE_ROOT_MACHINE, CLIENT_KEY, APP_PATH, named,
                                    sizeof named) == 0 &&
        named[0] && HoldsMainIndex(named)) {
        TryNamedFolder(named);
        registryCounted = 1;
    }
    if (!registryCounted) {
        named[0] = 0;
        MigratePlatform.profileGet(nullptr, PROFILE_SECTION, APP_PATH, named, sizeof named);
        if (named[0] && HoldsMainIndex(named)) TryNamedFolder(named);
    }

    // Nothing accepted by name (or a named one judged not in use): walk the fixed disks.
    if (SearchState.BestTime == 0) {
        SearchState.BestFolder[0] = 0;
        char exeName[50];
        CopyText(exeName, LoadCaption(IDS_CLIENT_MODULE), sizeof exeName);
        for (int drive = 0; drive < 26 && !SearchState.SearchAbort; drive++) {
            if (DriveType(drive) != 3) continue;
            char root[4] = {(char)('A' + drive), ':', '\\', 0};
            SearchFolderTree(root, exeName);
        }
    }

    Seat.closeProgress(IDD_PREVSEARCH);
    SearchState.SearchDialog = nullptr;
    if (SearchState.SearchAbort) {
        LogPrintf("User aborted disk search");
        return 0;
    }
    if (SearchState.BestTime == 0) {
        LogPrintf("No previous ver found");
        return 0;
    }
    LogPrintf("Most recent = %s", SearchState.BestFolder);
    if (folderOut) CopyText(folderOut, SearchState.BestFolder, sizeof SearchState.BestFolder);
    if (settingsOut) *settingsOut = SearchState.BestSettings;
    return 1;
}

int SearchFolderTree(const char* folder, const char* exeName) {
    return WalkFolder(folder, exeName, nullptr);
}

int CheckCandidateFolder(const char* folder, ModemSettingsT* settingsOut) {
    char idb[MAX_PATH_TEXT], path[MAX_PATH_TEXT];
    JoinPath(idb, folder, "IDB", (const char*)nullptr);
    // An install that did not finish leaves the user's database as OLD.DB beside the
    // package's own: the user's is the one judged.
    if (!FindUserMainDb(path, idb, nullptr)) return 0;
    if (!DatabaseKindMatches(InstallSettings.ExpectedDbKindCode, InstallSettings.ExpectedDbKind,
                             path))
        return 0;

    uint32_t time = GetFileDosTime(path);
    if (time == 0) return 1;
    LogPrintf("CFA:Time for %s = %lu", path, (unsigned long)time);
    ModemSettingsT local;
    memset(&local, 0, sizeof local);
    if (JudgeCandidate(path, &local)) {
        if (settingsOut) *settingsOut = local;
        // An equal time does not replace: the first installation found keeps a tie.
        char canonical[sizeof SearchState.BestFolder];
        if (time > SearchState.BestTime && CanonicalFolder(canonical, folder, sizeof canonical)) {
            SearchState.BestTime = time;
            CopyText(SearchState.BestFolder, canonical, sizeof SearchState.BestFolder);
            SearchState.BestSettings = local;
        }
    }
    return 1;
}

// The search only reads: a database opened for reading may be read-only, and closing it
// leaves the client's own index of an earlier installation where it is.
int MainDatabaseInUse(const char* databasePath) {
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(databasePath, &db) != 0) return 0;
    int verdict = UserListInUse(db);
    DbClose(db);
    return verdict;
}

int JudgeCandidate(const char* databasePath, ModemSettingsT* settingsOut) {
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(databasePath, &db) != 0) {
        LogPrintf("IR:DBO failed on %s", databasePath);
        return 0;
    }
    uint8_t version[3] = {0, 0, 0};
    DbReadRecordBounded(db, GID_VERSION, version, sizeof version, nullptr);
    if (!SearchState.NewerVersionAsked && IsNewerVersion(version[1], version[2])) {
        SearchState.NewerVersionAsked = 1;
        LogPrintf("Version %u.%u of %s is newer", version[1], version[2], databasePath);
        if (!AskYesNoDefaultNo(Message(IDS_NEWER_INSTALLED))) {
            SearchState.SearchAbort = 1;
            QuitRequested = 1;
        }
    }

    int verdict = UserListInUse(db);
    if (settingsOut) {
        memset(settingsOut, 0, sizeof *settingsOut);
        settingsOut->port = (int32_t)DbReadNumber(db, GID_PORT);
        settingsOut->speedIndex = (int32_t)DbReadNumber(db, GID_SPEED_INDEX);
        DbReadText(db, GID_MODEM_PROFILE, settingsOut->profile, sizeof settingsOut->profile);
        LogPrintf("Prof = %s, si = %u, port = COM%u", settingsOut->profile,
                  (unsigned)settingsOut->speedIndex, (unsigned)settingsOut->port);
    }
    DbClose(db);
    LogPrintf("IR:Verdict for %s = %s", databasePath, verdict ? "yes" : "no");
    return verdict;
}

int DatabaseKindMatches(int32_t expectedCode, uint8_t expectedKind, const char* databasePath) {
    int32_t code = NO_DB_KIND_CODE;
    unsigned kind = NO_DB_KIND;
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(databasePath, &db) == 0) {
        // Both records are read into buffers of their own size, whatever their length.
        uint8_t codeRecord[4] = {0, 0, 0, 0};
        if (DbReadRecordBounded(db, GID_DB_KIND_CODE, codeRecord, sizeof codeRecord, nullptr))
            code = codeRecord[2] | (codeRecord[3] << 8);
        uint8_t kindRecord[1];
        if (DbReadRecordBounded(db, GID_DB_KIND, kindRecord, sizeof kindRecord, nullptr))
            kind = kindRecord[0];
        DbClose(db);
    }
    switch (expectedKind) {
    case 1:
        return (kind == NO_DB_KIND || kind == 1) && (expectedCode == -1 || expectedCode == 0) &&
               (code == -1 || code == 0);
    case '1': return code == expectedCode && (kind == '1' || expectedCode == 2);
    default: return kind == expectedKind && code == expectedCode;
    }
}
