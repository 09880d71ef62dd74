// Which main database of an installation holds its user's records.
#include "clientdb/userdb.h"

#include "base/log.h"
#include "base/path.h"
#include "clientdb/access.h"
#include "clientdb/format.h"

namespace {

// 1 when the database at path holds the installation folder record: a migration carried
// everything into it.
int MigratedInto(const char* path) {
    RecordDb* db = nullptr;
    if (DbOpenReadOnly(path, &db) != 0) return 0;
    int marked = DbRecordLength(db, DB_GID_INSTALL_FOLDER) > 0;
    DbClose(db);
    return marked;
}

}  // namespace

int FindUserMainDb(char* pathOut, const char* idb, char* leftoverOut) {
    if (leftoverOut) leftoverOut[0] = 0;
    char old[260];
    if (!JoinPath(old, idb, DB_OLD_MAIN_NAME, (const char*)nullptr)) return USER_DB_NONE;
    if (!DbFindFileBesides(pathOut, idb, DB_ID_MAIN, DB_OLD_MAIN_NAME)) return USER_DB_NONE;
    if (SameName(pathOut, old)) return USER_DB_OLD;
    // An OLD.DB that does not open as a database holds no records to choose.
    RecordDb* db = nullptr;
    unsigned unreadable = DbFindUnreadable;
    int oldToo = FileExists(old) && DbOpenReadOnly(old, &db) == 0;
    if (db) DbClose(db);
    DbFindUnreadable = unreadable;
    if (!oldToo) return USER_DB_MAIN;
    if (MigratedInto(pathOut)) {
        LogPrintf("%s holds the migration's mark: %s is a leftover", pathOut, old);
        if (leftoverOut) CopyText(leftoverOut, old, 260);
        return USER_DB_MAIN;
    }
    LogPrintf("%s lacks the migration's mark: %s of an install that did not finish is the user's",
              pathOut, old);
    CopyText(pathOut, old, 260);
    return USER_DB_OLD;
}
