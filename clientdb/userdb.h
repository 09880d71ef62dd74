// Which main database of an installation holds its user's records. An in-place install
// moves the main database aside as IDB\OLD.DB while the package writes its own MAIN.IDX; the
// migration writes the installation folder record into the new one once every record it
// carries is in it, and only then deletes OLD.DB (or keeps it, when it could not carry or
// delete everything). Every migrated database holds that record. So the record decides,
// never a user list or the order the folder is listed in:
// - a main database that holds it is the user's; an OLD.DB beside it is a leftover;
// - one without it (or one that does not open) beside an OLD.DB that holds it is the
//   package's copy of an install that did not finish: OLD.DB is the user's;
// - when neither holds it, OLD.DB (unless it holds no record), and the other is kept too;
// - when only one of them is there, that one.
#pragma once
#include <stdint.h>

// The record the migration writes last into the new main database: the client's folder.
const uint32_t DB_GID_INSTALL_FOLDER = 0x1400011Bu;
#define DB_OLD_MAIN_NAME "OLD.DB"

enum UserDbKind {
    USER_DB_NONE,  // no main database (DbFindUnreadable says whether files could not be read)
    USER_DB_MAIN,  // the main database under its own name
    USER_DB_OLD,   // OLD.DB
};

// Finds the user's main database in the folder idb: its path in pathOut (MAX_PATH_TEXT
// bytes) and its kind. leftoverOut (MAX_PATH_TEXT bytes, may be null) receives the path of
// the other database when both are there (an OLD.DB that is a leftover, or a MAIN.IDX not
// proven stale), "" when there is none: it is to be kept, never deleted. Logs the decision
// when both are there.
int FindUserMainDb(char* pathOut, const char* idb, char* leftoverOut);
