// Which main database of an installation holds its user's records.
#include "clientdb/userdb.h"

#include "base/log.h"
#include "base/path.h"
#include "clientdb/access.h"
#include "clientdb/format.h"

namespace {

// The migration's mark and the number of live records of the database at path; -1 when it
// does not open as a database.
int Inspect(const char* path, uint32_t* recordsOut) {
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(path, &db) != 0) return -1;
    int marked = DbRecordLength(db, DB_GID_INSTALL_FOLDER) > 0;
    *recordsOut = DbRecordCount(db);
    DbClose(db);
    return marked;
}

}  // namespace

int FindUserMainDb(char* pathOut, const char* idb, char* leftoverOut) {
    if (leftoverOut) leftoverOut[0] = 0;
    char old[MAX_PATH_TEXT];
    if (!JoinPath(old, idb, DB_OLD_MAIN_NAME, (const char*)nullptr)) return USER_DB_NONE;
    if (!DbFindFileBesides(pathOut, idb, DB_ID_MAIN, DB_OLD_MAIN_NAME)) return USER_DB_NONE;
    if (SameName(pathOut, old)) return USER_DB_OLD;
    unsigned unreadable = DbFindUnreadable;
    uint32_t mainRecords = 0, oldRecords = 0;
    // An OLD.DB that does not open as a database holds no records to choose.
    int oldMarked = FileExists(old) ? Inspect(old, &oldRecords) : -1;
    int mainMarked = oldMarked < 0 ? 0 : Inspect(pathOut, &mainRecords);
    DbFindUnreadable = unreadable;
    if (oldMarked < 0) return USER_DB_MAIN;
    const char* why;
    int useOld;
    if (mainMarked > 0) {
        why = "the migration went through into it";
        useOld = 0;
    } else if (oldMarked > 0 || mainMarked < 0) {
        why = "the install that moved it aside did not finish";
        useOld = 1;
    } else {
        // Neither carries the mark: a main database that no migration went through is most
        // likely the package's copy of an install that did not finish, but that is not
        // proven, so it is kept too. Only an OLD.DB without a single record gives way.
        useOld = oldRecords > 0 || mainRecords == 0;
        why = useOld ? "neither carries the migration's mark; it was the main database before"
                     : "neither carries the migration's mark; OLD.DB holds no record";
        if (leftoverOut) CopyText(leftoverOut, useOld ? pathOut : old, MAX_PATH_TEXT);
    }
    if (!useOld && leftoverOut) CopyText(leftoverOut, old, MAX_PATH_TEXT);
    LogPrintf("User's main DB is %s: %s", useOld ? old : pathOut, why);
    if (useOld) CopyText(pathOut, old, MAX_PATH_TEXT);
    return useOld ? USER_DB_OLD : USER_DB_MAIN;
}
