// Rollback and commit of an in-place update through the journal (record/journal.h): the run
// that fails or is cancelled undoes what it did, newest first; the run that goes through
// deletes the earlier files it kept; and the next start of the setup finishes either one for
// a run that was killed, before it looks for the earlier installation.
#pragma once
#include "record/journal.h"

// In PrepareDestination of an in-place install, before the first change to the folder: a
// journal left in it by a run whose pointer was lost is finished first; then the journal of
// this run is started when the drive has room to keep the earlier files until the end, else
// the install overwrites them as it always did (logged). 1 when the journal is open.
int BeginRollbackJournal(void);
// After a failure or a cancel: undoes the run's journal and, after a failure, tells the user
// the earlier installation is back. 1 when everything was undone (the journal is gone); 0
// when there was no journal or something stayed (logged; the journal waits for the next run).
int RollBackInstall(void);
// At the very end of the install step: the journal says the step went through, then the
// earlier files and the journal go. 1 when there was nothing to commit or it was committed.
int CommitInstall(void);
// At the start of a run: finishes the rollback (or the commit) of a run that was ended before
// it could, from the journal the pointer names. 1 when one was found.
int RecoverInterruptedInstall(void);

// One registry or profile line of a journal put back (the platform's part); 1 when done or
// nothing is to be done, 0 when it should be tried again.
int UndoJournalValue(const JournalLine* line);
