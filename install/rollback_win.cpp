// The registry and WIN.INI lines of a journal put back, on Windows.
#include <windows.h>

#include "record/installrec.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/path.h"
#include "install/rollback.h"
#include "registry/registry.h"

namespace {

// The one place of WIN.INI the setup writes.
const char PROFILE_FILE[] = "WIN.INI";
const char PROFILE_SECTION[] = "WKOV";

}  // namespace

int UndoJournalValue(const JournalLine* line) {
    const char* const f[JOURNAL_FIELDS] = {line->field[0], line->field[1], line->field[2],
                                           line->field[3]};
    if (line->kind == JOURNAL_PROFILE) {
        if (!SameName(f[0], PROFILE_FILE) || !SameName(f[1], PROFILE_SECTION)) {
            LogPrintf("Journal profile line refused: [%s] of %s is not the client's", f[1], f[0]);
            return 1;
        }
        const char* earlier = f[3][0] == PREVIOUS_TEXT[0] ? f[3] + 1 : nullptr;
        WriteProfileStringA(f[1], f[2], earlier);
        LogPrintf("Profile value %s of [%s] put back (%s)", f[2], f[1],
                  earlier ? "earlier value" : "removed");
        return 1;
    }
    HKEY root = RegistryRootByName(f[0]);
    if (!root || !InClientRegistryArea(f[1])) {
        LogPrintf("Journal registry line refused: %s %s is not the client's", f[0], f[1]);
        return 1;
    }
    LONG status = ERROR_SUCCESS;
    if (line->kind == JOURNAL_KEY) {
        // A key the install made goes once its values are gone; one that holds more stays.
        status = RegistryDeleteEmptyKey(root, f[1]);
        LogPrintf("Registry key %s\\%s removed, status %ld", f[0], f[1], status);
        return 1;
    }
    const char* name = f[2][0] ? f[2] : nullptr;
    const char* state = f[3];
    if (state[0] == PREVIOUS_ABSENT[0]) {
        status = RegistryDeleteValue(root, f[1], name);
    } else if (state[0] == PREVIOUS_STRING[0]) {
        status = RegistrySetString(root, f[1], name, state + 1);
    } else if (state[0] == PREVIOUS_NUMBER[0]) {
        DWORD number = 0;
        for (const char* p = state + 1; *p >= '0' && *p <= '9'; ++p)
            number = number * 10 + (DWORD)(*p - '0');
        status = RegistrySetDword(root, f[1], name, number);
    } else {
        LogPrintf("Registry value %s of %s\\%s left as it is: its earlier state was not kept",
                  name ? name : "(default)", f[0], f[1]);
        return 1;
    }
    LogPrintf("Registry value %s of %s\\%s put back, status %ld", name ? name : "(default)", f[0],
              f[1], status);
    return status == ERROR_SUCCESS;
}
