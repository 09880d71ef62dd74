// The registry and WIN.INI lines of a journal, natively: there is no registry and no WIN.INI
// to put them back into, so they are only named in the log.
#include "record/journal.h"
#include "base/log.h"
#include "install/rollback.h"

int UndoJournalValue(const JournalLine* line) {
    LogPrintf("Journal %s line %s %s %s: no registry or profile here", JournalKindName(line->kind),
              line->field[0], line->field[1], line->field[2]);
    return 1;
}
